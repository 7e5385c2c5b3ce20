#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class EditorForm;
class QWidget;

// Shows an editor form in the widgets of a window and writes what the operator types back into
// it. Widgets are found by objectName: a text box, label or button named like a form key shows
// that key's text; option buttons "name_0", "name_1" and list boxes show a selection; any named
// widget (and an option pair by its name) follows the key's shown and enabled state; a marked
// text box turns yellow.
class FormBinding final : public QObject {
    Q_OBJECT
public:
    // Binds every named widget below root; widgets made later are not bound.
    FormBinding(EditorForm &form, QWidget &root);

    // The widgets a key stands for (one, or both buttons of an option pair).
    QList<QWidget *> widgets(const QString &key) const { return m_widgets.value(key); }

private:
    void bind(QWidget *widget);
    void showText(const QString &key);
    void showChoice(const QString &key);
    void showState(const QString &key);
    void showMark(const QString &key);

    EditorForm &m_form;
    QHash<QString, QList<QWidget *>> m_widgets;
};
