#include "HeadlessPrompts.h"

namespace {
QString answerText(Prompts::Answer answer)
{
    switch (answer) {
    case Prompts::Answer::Ok:
        return QStringLiteral("OK");
    case Prompts::Answer::Cancel:
        return QStringLiteral("Cancel");
    case Prompts::Answer::Yes:
        return QStringLiteral("Yes");
    case Prompts::Answer::No:
        return QStringLiteral("No");
    }
    return QString();
}
} // namespace

Prompts::Answer HeadlessPrompts::ask(const QString &text, const QString &title, Buttons buttons, Icon)
{
    const Answer answer = SafeAnswer(buttons);
    if (report) {
        QString shown = text;
        shown.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        report(QStringLiteral("Message%1 answered %2: %3")
                   .arg(title.isEmpty() ? QString() : QStringLiteral(" \"") + title + QLatin1Char('"'),
                        answerText(answer), shown));
    }
    return answer;
}

QString HeadlessPrompts::saveFileName(const QString &title, const QString &, const QString &)
{
    if (report)
        report(QStringLiteral("File to save for \"%1\" not chosen: no one to ask").arg(title));
    return QString();
}
