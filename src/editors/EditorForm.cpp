#include "EditorForm.h"

void EditorForm::setText(const QString &key, const QString &text)
{
    if (m_texts.value(key) == text && m_texts.contains(key))
        return;
    m_texts.insert(key, text);
    emit textChanged(key);
}

void EditorForm::setChoice(const QString &key, int index)
{
    if (choice(key) == index && m_choices.contains(key))
        return;
    m_choices.insert(key, index);
    emit choiceChanged(key);
}

namespace {
// Adds or removes a key; true when the set changed.
bool putInSet(QSet<QString> &set, const QString &key, bool inside)
{
    if (set.contains(key) == inside)
        return false;
    if (inside)
        set.insert(key);
    else
        set.remove(key);
    return true;
}
} // namespace

void EditorForm::setShown(const QString &key, bool shown)
{
    if (putInSet(m_hidden, key, !shown))
        emit shownChanged(key);
}

void EditorForm::setEnabled(const QString &key, bool enabled)
{
    if (putInSet(m_disabled, key, !enabled))
        emit enabledChanged(key);
}

void EditorForm::setMarked(const QString &key, bool marked)
{
    if (putInSet(m_marked, key, marked))
        emit markedChanged(key);
}

void EditorForm::setStatusText(const QString &text)
{
    if (m_statusText == text)
        return;
    m_statusText = text;
    emit statusTextChanged(text);
}

void EditorForm::addMessage(const QString &message)
{
    m_messages.append(message);
    emit messageAdded(message);
}

void EditorForm::clearMessages()
{
    m_messages.clear();
    emit messagesCleared();
}

#include "moc_EditorForm.cpp"
