#pragma once

#include <QHash>
#include <QString>

#include <functional>

class QWidget;

// What a parameter editor needs to open for one device.
struct ModelEditorRequest {
    QString editorName; // "frmRX705", ..., or "frmRX705PhoneParameters"
    QString IPAddress;
    qint64 DatabaseID = -1;
    QString ServerName; // the phone parameters window's caption text
    QWidget *owner = nullptr;
};

// The parameter editors the configuration window can open, by editor name. The program
// registers each editor window it has; a name nobody registered opens nothing.
class ModelEditorRegistry {
public:
    // Shows the editor modally; returns when it has closed.
    using Opener = std::function<void(const ModelEditorRequest &)>;

    void add(const QString &editorName, Opener opener) { m_openers.insert(editorName, std::move(opener)); }
    bool has(const QString &editorName) const { return m_openers.contains(editorName); }
    // False, opening nothing, when no editor of that name is registered.
    bool open(const ModelEditorRequest &request) const
    {
        const auto found = m_openers.constFind(request.editorName);
        if (found == m_openers.constEnd())
            return false;
        (*found)(request);
        return true;
    }

private:
    QHash<QString, Opener> m_openers;
};
