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

void SettingsWindows::openModal()
{
    // One settings window at a time: the one already open comes to the front.
    if (m_modeless) {
        m_modeless->raise();
        m_modeless->activateWindow();
        return;
    }
    ConfigurationDialog dialog(m_state, m_configFile, m_mail, &m_window);
    dialog.exec();
}

void SettingsWindows::openModeless()
{
    if (!m_modeless) {
        m_modeless = new ConfigurationDialog(m_state, m_configFile, m_mail, &m_window);
        m_modeless->setAttribute(Qt::WA_DeleteOnClose);
        // Saved settings take effect once the window closes, as after the modal window.
        connect(m_modeless, &QDialog::finished, &m_window, [this] {
            if (m_modeless && m_modeless->saved())
                m_window.reactivate();
        });
    }
    m_modeless->setWindowState(m_modeless->windowState() & ~Qt::WindowMinimized);
    m_modeless->show();
    m_modeless->raise();
    m_modeless->activateWindow();
}

bool SettingsWindows::openLogin()
{
    LoginDialog login(m_state, &m_window);
    return login.exec() == QDialog::Accepted;
}
