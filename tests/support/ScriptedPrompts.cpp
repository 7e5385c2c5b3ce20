#include "ScriptedPrompts.h"

#include <core/LocalWait.h>

Prompts::Answer ScriptedPrompts::ask(const QString &text, const QString &title, Buttons buttons, Icon icon)
{
    return askAndAct(text, title, buttons, icon, {});
}

Prompts::Answer ScriptedPrompts::askAndAct(const QString &text, const QString &title, Buttons buttons,
                                           Icon icon, const std::function<void(Answer)> &onAnswer)
{
    // Answered at once here, a real box would wait in a loop of its own.
    NoNestedWaits::Check("A message box");
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
    NoNestedWaits::Check("A file chooser");
    return nextFileName(title);
}

QString ScriptedPrompts::directoryName(const QString &title, const QString &)
{
    NoNestedWaits::Check("A folder chooser");
    return nextFileName(title);
}

QString ScriptedPrompts::nextFileName(const QString &title)
{
    texts.append(title);
    if (m_fileNames.isEmpty()) {
        ++unexpected;
        return QString();
    }
    return m_fileNames.takeFirst();
}
