#pragma once

#include <QObject>

#include <functional>

class EditorForm;
class Prompts;
class QLineEdit;

// Passes the keys typed into the editors' text boxes through the key filters, by the box's
// name: limits, actual temperatures and correction factors take numbers, times and delays
// digits, names refuse "\" and "/", telephone boxes their own filter. Any key typed into a box
// marked yellow makes it white again. Shortcuts (Ctrl+...) and keys that type nothing pass.
class KeyFilterInstaller final : public QObject {
    Q_OBJECT
public:
    KeyFilterInstaller(EditorForm &form, Prompts &prompts, QObject *parent = nullptr);

    // Installs the filter on every text box below root whose name has one.
    void installOn(QWidget &root);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The filter of a box; an empty function for boxes without one.
    std::function<int(int)> filterFor(const QString &name) const;

    EditorForm &m_form;
    Prompts &m_prompts;
};
