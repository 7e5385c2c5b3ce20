#include "ScriptedPrompts.h"

Prompts::Answer ScriptedPrompts::ask(const QString &text, const QString &title, Buttons buttons, Icon icon)
{
    return askAndAct(text, title, buttons, icon, {});
}

Prompts::Answer ScriptedPrompts::askAndAct(const QString &text, const QString &title, Buttons buttons,
                                           Icon icon, const std::function<void(Answer)> &onAnswer)
{
    texts.append(text);
    titles.append(title);
    if (showWith)
        return showWith->askAndAct(text, title, buttons, icon, onAnswer);
    const Answer answer = nextAnswer(buttons);
    if (onAnswer)
        onAnswer(answer);
    return answer;
}

Prompts::Answer ScriptedPrompts::nextAnswer(Buttons buttons)
{
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
