#pragma once

#include <QObject>
#include <QPointer>

#include "ConfigurationDialog.h"

class ConfigFile;

class MailManager;
class MainWindow;
class ProgramState;

// Opens the settings windows from the main window: the settings dialog modally from the Setup
// menu (polling stopped), or on its own from the notification area (polling goes on; a save
// there takes effect when it closes), and the login window.
class SettingsWindows final : public QObject {
    Q_OBJECT
public:
    SettingsWindows(ProgramState &state, MainWindow &window, MailManager &mail);

    void openModal();
    void openModeless();
    bool openLogin();

    // The settings dialog opened from the notification area, while it is open.
    ConfigurationDialog *modelessDialog() const { return m_modeless; }

private:
    ProgramState &m_state;
    MainWindow &m_window;
    ConfigFile &m_configFile;
    MailManager &m_mail;
    QPointer<ConfigurationDialog> m_modeless;
};
