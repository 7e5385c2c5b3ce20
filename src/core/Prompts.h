#pragma once

#include <QString>

#include <functional>

// Every message box, question and file dialog of the program goes through this interface. The
// program shows real dialogs; tests install a scripted implementation that records each text
// and gives the answer the test chose. Engine code never shows a dialog itself.
class Prompts {
public:
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Icon { None, Information, Question, Exclamation, Critical };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompts() = default;

    virtual Answer ask(const QString &text, const QString &title, Buttons buttons, Icon icon) = 0;
    // As ask(), and onAnswer runs once with the answer as soon as the user gives it: from the
    // button itself, inside whatever wait is running at that moment (a poll cycle that started
    // while the question was open), before ask() returns.
    virtual Answer askAndAct(const QString &text, const QString &title, Buttons buttons, Icon icon,
                             const std::function<void(Answer)> &onAnswer)
    {
        const Answer answer = ask(text, title, buttons, icon);
        if (onAnswer)
            onAnswer(answer);
        return answer;
    }
    // A file name to save to; empty when the user cancelled.
    virtual QString saveFileName(const QString &title, const QString &suggested, const QString &filter) = 0;
    // An existing directory, exactly as chosen; empty when the user cancelled (and where no one
    // can choose).
    virtual QString directoryName(const QString &, const QString &) { return QString(); }
    // An audible signal (used when reading the settings fails).
    virtual void beep() {}

    // The answer that changes nothing, given where no one can answer: OK, Cancel or No.
    static Answer SafeAnswer(Buttons buttons)
    {
        switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
        }
        return Answer::Cancel;
    }

    void message(const QString &text, const QString &title = QString(), Icon icon = Icon::None)
    {
        ask(text, title, Buttons::Ok, icon);
    }
};
