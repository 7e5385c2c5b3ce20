#pragma once

#include <core/Prompts.h>

#include <QList>
#include <QStringList>

// Prompts for tests: records every text and gives the answers queued by the test. A prompt with
// no queued answer gets Ok / Yes / Cancel-name and is counted as unexpected.
class ScriptedPrompts final : public Prompts {
public:
    Answer ask(const QString &text, const QString &title, Buttons buttons, Icon icon) override;
    Answer askAndAct(const QString &text, const QString &title, Buttons buttons, Icon icon,
                     const std::function<void(Answer)> &onAnswer) override;
    QString saveFileName(const QString &title, const QString &suggested, const QString &filter) override;
    QString directoryName(const QString &title, const QString &start) override;
    void beep() override { ++beeps; }

    void queueAnswer(Answer answer) { m_answers.append(answer); }
    // File and directory names are answered from the same queue.
    void queueFileName(const QString &name) { m_fileNames.append(name); }

    // When set, every question is recorded and then shown by these prompts (real boxes) instead
    // of being answered from the queue.
    Prompts *showWith = nullptr;

    QStringList texts;
    QStringList titles;
    int unexpected = 0;
    int beeps = 0;

private:
    Answer nextAnswer(Buttons buttons);
    QString nextFileName(const QString &title);

    QList<Answer> m_answers;
    QStringList m_fileNames;
};
