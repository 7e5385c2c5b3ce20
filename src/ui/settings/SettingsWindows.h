#pragma once

#include "ConfigurationDialog.h"

#include <QObject>
#include <QPointer>

class ConfigFile;
class MailManager;
class MainWindow;
class Notifier;
class ProgramState;

// Opens the settings windows from the main window: the settings dialog modally from the Setup
// menu (polling stopped), or on its own from the notification area (polling goes on; a save
// there takes effect at once), and the login window. Logging out closes it.
class SettingsWindows final : public QObject {
    Q_OBJECT
public:
    SettingsWindows(ProgramState &state, MainWindow &window, MailManager &mail, Notifier &notifier);
    ~SettingsWindows() override;

    void openModal();
    void openModeless();
    bool openLogin();

    // The settings dialog while it is open, however it was opened.
    ConfigurationDialog *openWindow() const { return m_open; }

private:
    bool raiseOpenWindow();

    ProgramState &m_state;
    MainWindow &m_window;
    ConfigFile &m_configFile;
    MailManager &m_mail;
    Notifier &m_notifier;
    QPointer<ConfigurationDialog> m_open;
};
