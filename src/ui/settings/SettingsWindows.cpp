#include "SettingsWindows.h"

#include "ConfigurationDialog.h"
#include "LoginDialog.h"

#include <ui/main/MainWindow.h>

SettingsWindows::SettingsWindows(ProgramState &state, MainWindow &window, MailManager &mail)
    : QObject(&window), m_state(state), m_window(window), m_configFile(window.activation().configFile()),
      m_mail(mail)
{
    window.openSettings = [this] { openModal(); };
    window.openSettingsModeless = [this] { openModeless(); };
    window.openLogin = [this] { return openLogin(); };
}

// One settings window at a time: asked for again, the one already open comes to the front.
bool SettingsWindows::raiseOpenWindow()
{
    if (!m_open)
        return false;
    m_open->setWindowState(m_open->windowState() & ~Qt::WindowMinimized);
    m_open->show();
    m_open->raise();
    m_open->activateWindow();
    return true;
}

void SettingsWindows::openModal()
{
    if (raiseOpenWindow())
        return;
    ConfigurationDialog dialog(m_state, m_configFile, m_mail, &m_window);
    m_open = &dialog;
    dialog.exec();
}

void SettingsWindows::openModeless()
{
    if (raiseOpenWindow())
        return;
    auto *dialog = new ConfigurationDialog(m_state, m_configFile, m_mail, &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Saved settings take effect once the window closes, as after the modal window.
    connect(dialog, &QDialog::finished, &m_window, [this, dialog] {
        if (dialog->saved())
            m_window.reactivate();
    });
    m_open = dialog;
    raiseOpenWindow();
}

bool SettingsWindows::openLogin()
{
    LoginDialog login(m_state, &m_window);
    return login.exec() == QDialog::Accepted;
}
