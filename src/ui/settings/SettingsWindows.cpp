#include "SettingsWindows.h"

#include "ConfigurationDialog.h"
#include "LoginDialog.h"

#include <ui/main/MainWindow.h>

#include <ui/main/ModalWindow.h>

SettingsWindows::SettingsWindows(ProgramState &state, MainWindow &window, MailManager &mail,
                                 Notifier &notifier)
    : QObject(&window), m_state(state), m_window(window), m_configFile(window.activation().configFile()),
      m_mail(mail), m_notifier(notifier)
{
    window.openSettings = [this] { openModal(); };
    window.openSettingsModeless = [this] { openModeless(); };
    window.openLogin = [this] { return openLogin(); };
    // Nobody may go on changing settings in a window the administrator opened once logged out.
    window.activation().services.BeforeLogOut = [this] { return !m_open || m_open->closeForLogOut(); };
    window.mayClose = [this] { return !m_open || m_open->discardChangesForClose(); };
}

SettingsWindows::~SettingsWindows()
{
    m_window.activation().services.BeforeLogOut = nullptr;
    m_window.mayClose = nullptr;
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
    ConfigurationDialog dialog(m_state, m_configFile, m_mail, &m_notifier, &m_window);
    m_open = &dialog;
    ExecModal(dialog);
}

void SettingsWindows::openModeless()
{
    if (raiseOpenWindow())
        return;
    auto *dialog = new ConfigurationDialog(m_state, m_configFile, m_mail, &m_notifier, &m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Polling goes on while it is open: what it saves takes effect at once, all of it.
    connect(dialog, &ConfigurationDialog::settingsSaved, &m_window, [this] { m_window.reactivate(); });
    m_open = dialog;
    raiseOpenWindow();
}

bool SettingsWindows::openLogin()
{
    LoginDialog login(m_state, &m_window);
    return ExecModal(login) == QDialog::Accepted;
}

#include "moc_SettingsWindows.cpp"
