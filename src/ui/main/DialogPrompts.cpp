#include "DialogPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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
// so they open in front of it.
QWidget *DialogPrompts::owner() const
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    return m_parent;
}

Prompts::Answer DialogPrompts::ask(const QString &text, const QString &title, Buttons buttons, Icon icon)
{
    QMessageBox box(boxIcon(icon), title.isEmpty() ? QApplication::applicationName() : title, text,
                    boxButtons(buttons), owner());
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

QString DialogPrompts::saveFileName(const QString &title, const QString &suggested, const QString &filter)
{
    return QFileDialog::getSaveFileName(owner(), title, suggested, filter);
}

QString DialogPrompts::directoryName(const QString &title, const QString &start)
{
    return QFileDialog::getExistingDirectory(owner(), title, start);
}

void DialogPrompts::beep()
{
    QApplication::beep();
}
