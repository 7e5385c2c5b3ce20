#include "ScriptedPrompts.h"

Prompts::Answer ScriptedPrompts::ask(const QString &text, const QString &title, Buttons buttons, Icon)
{
    texts.append(text);
    titles.append(title);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    if (buttons != Buttons::Ok)
        ++unexpected;
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

QString ScriptedPrompts::saveFileName(const QString &title, const QString &, const QString &)
{
    texts.append(title);
    if (m_fileNames.isEmpty()) {
        ++unexpected;
        return QString();
    }
    return m_fileNames.takeFirst();
}

QString ScriptedPrompts::directoryName(const QString &title, const QString &start)
{
    return saveFileName(title, start, QString());
}
