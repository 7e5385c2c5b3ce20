#include "KeyFilterInstaller.h"

#include <editors/EditorForm.h>
#include <editors/KeyFilters.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>

KeyFilterInstaller::KeyFilterInstaller(EditorForm &form, Prompts &prompts, QObject *parent)
    : QObject(parent), m_form(form), m_prompts(prompts)
{
}

void KeyFilterInstaller::installOn(QWidget &root)
{
    for (QLineEdit *box : root.findChildren<QLineEdit *>()) {
        if (filterFor(box->objectName()))
            box->installEventFilter(this);
    }
}

std::function<int(int)> KeyFilterInstaller::filterFor(const QString &name) const
{
    static const QRegularExpression pattern(QStringLiteral("^(\\w+?)(?:_(\\d+))?$"));
    const auto match = pattern.match(name);
    const QString control = match.captured(1);
    const int index = match.captured(2).isEmpty() ? -1 : match.captured(2).toInt();
    if (control == u"txtLL" || control == u"txtUL" || control == u"txtActualTemp" ||
        (control == u"txtCF" && index < 8))
        return NumericKeyFilter;
    if (control == u"txtTOL" || control == u"txtCF" || control == u"txtAlarmReminderTimeDelay" ||
        control == u"txtTwoStageDoorAlarmTimeDelay")
        return DigitKeyFilter;
    if (control == u"txtName")
        return [this](int key) { return NameKeyFilter(key, m_prompts); };
    if (control == u"txtPhoneNumber")
        return [index](int key) { return PhoneKeyFilter(key, index); };
    return {};
}

bool KeyFilterInstaller::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *box = qobject_cast<QLineEdit *>(watched);
    auto *keyEvent = static_cast<QKeyEvent *>(event);
    if (!box || keyEvent->modifiers().testFlag(Qt::ControlModifier))
        return false;
    const QString text = keyEvent->text();
    const int key = keyEvent->key() == Qt::Key_Backspace ? BackspaceKey
                    : text.size() == 1                   ? text.at(0).unicode()
                                                         : 0;
    // Keys that type no character (arrows, Delete, Tab) are not filtered.
    if (key == 0 || (key < 32 && key != BackspaceKey) || key == 127)
        return false;
    m_form.setMarked(box->objectName(), false);
    const int kept = filterFor(box->objectName())(key);
    if (kept == key)
        return false;
    if (kept != 0)
        box->insert(QString(QChar(kept)));
    return true;
}

#include "moc_KeyFilterInstaller.cpp"
