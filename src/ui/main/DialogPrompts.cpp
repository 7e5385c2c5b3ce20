#include "DialogPrompts.h"

#include <core/LocalWait.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace {
QMessageBox::Icon boxIcon(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Information:
        return QMessageBox::Information;
    case Prompts::Icon::Question:
        return QMessageBox::Question;
    case Prompts::Icon::Exclamation:
        return QMessageBox::Warning;
    case Prompts::Icon::Critical:
        return QMessageBox::Critical;
    case Prompts::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

Prompts::Answer answerOf(int button)
{
    switch (button) {
    case QMessageBox::Cancel:
        return Prompts::Answer::Cancel;
    case QMessageBox::Yes:
        return Prompts::Answer::Yes;
    case QMessageBox::No:
        return Prompts::Answer::No;
    default:
        return Prompts::Answer::Ok;
    }
}

QMessageBox::StandardButtons boxButtons(Prompts::Buttons buttons)
{
    switch (buttons) {
    case Prompts::Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Prompts::Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Prompts::Buttons::Ok:
        break;
    }
    return QMessageBox::Ok;
}
} // namespace

// Boxes belong to the window the user is working in (a settings window over the main window),
// so they open in front of it; never to the start-up splash, which deletes itself after a second.
QWidget *DialogPrompts::owner() const
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    QWidget *active = QApplication::activeWindow();
    if (active && active->windowType() != Qt::SplashScreen)
        return active;
    return m_parent;
}

Prompts::Answer DialogPrompts::ask(const QString &text, const QString &title, Buttons buttons, Icon icon)
{
    return askAndAct(text, title, buttons, icon, {});
}

Prompts::Answer DialogPrompts::askAndAct(const QString &text, const QString &title, Buttons buttons,
                                         Icon icon, const std::function<void(Answer)> &onAnswer)
{
    NoNestedWaits::Check("A message box");
    // On the heap and watched: a window it belongs to may be closed and deleted while the box is
    // open (at shutdown, at Log Out); the box then goes with it and counts as the safe answer.
    QPointer<QMessageBox> box =
        new QMessageBox(boxIcon(icon), title.isEmpty() ? QApplication::applicationName() : title, text,
                        boxButtons(buttons), owner());
    bool answered = false;
    // The answer acts at the click, before exec() has returned.
    QObject::connect(box, &QMessageBox::buttonClicked, box, [&, box](QAbstractButton *button) {
        if (answered || !onAnswer)
            return;
        answered = true;
        onAnswer(answerOf(box->standardButton(button)));
    });
    const int result = box->exec();
    const Answer answer = box ? answerOf(result) : SafeAnswer(buttons);
    delete box;
    if (!answered && onAnswer)
        onAnswer(answer);
    return answer;
}

QString DialogPrompts::saveFileName(const QString &title, const QString &suggested, const QString &filter)
{
    NoNestedWaits::Check("A file chooser");
    return QFileDialog::getSaveFileName(owner(), title, suggested, filter);
}

QString DialogPrompts::directoryName(const QString &title, const QString &start)
{
    NoNestedWaits::Check("A folder chooser");
    return QFileDialog::getExistingDirectory(owner(), title, start);
}

void DialogPrompts::beep()
{
    QApplication::beep();
}
