#pragma once

#include "Cipher.h"
#include "ConfigFile.h"
#include "IniFile.h"

#include <QString>

#include <functional>

class PollTimer;
class ProgramState;

// What the main window's menus show after an activation.
struct MenuRights {
    bool configurationEnabled = true; // mnuTree and mnuOrganization
    bool logInEnabled = true;
    QString logInCaption = QStringLiteral("Log In");
    bool administratorCaption = false; // plain caption + "    ADMINISTRATOR LOGGED IN"
    bool trendingEnabled = false;      // mnuTrending
};

// The steps of the activation sequence that belong to other parts of the engine. Each may be
// left empty; the sequence then skips it.
struct ActivationServices {
    // Runs once both settings files have been read: features kept in "Tallyport.ini" apply their
    // settings (and write their status lines).
    std::function<void()> ApplyIniSettings;
    std::function<void()> SetUpMailManager;
    std::function<void()> UpgradeSchema;
    // The number of named sensors; false when it could not be counted.
    std::function<bool(int &count)> CountNamedSensors;
    std::function<void(int rows)> ConfigureServerStatusGrid;
    std::function<void()> StopTimeout;
    std::function<void()> SendShutdownEmail;
    std::function<void()> CloseWinSocket;
    // Before a log-out: windows that need the administrator close (asking about unsaved
    // changes). False keeps the administrator logged in.
    std::function<bool()> BeforeLogOut;
};

// The engine side of the main window: the start-up and activation sequences and the shutdown.
class Activation {
public:
    static const QString DatabaseFileName;
    static const QString NoConfigLine;
    static const QString ValidateLine;
    static const QString NoDatabaseKey;
    static const QString NoSensorsLine;
    static const QString AdministratorSuffix;

    Activation(ProgramState &state, PollTimer &pollTimer);

    ActivationServices services;

    // Runs the sequence when ReinitOnActivate is set; returns the menu rights to show. While a
    // poll cycle runs (UpdateInProgress) the sequence is held back: it would disarm the running
    // transaction's watchdog, clear the status list and grid and restart the tick mid-cycle.
    // activationDeferred() then says it must run once the cycle has ended.
    MenuRights RunActivationSequence();
    bool activationDeferred() const { return m_deferred; }
    // The rights for the current settings and login, without running the sequence.
    MenuRights CurrentMenuRights() const;
    // Log-out: LoginSucceeded false; the rights that follow. When BeforeLogOut refuses, nothing
    // changes and the current rights are returned.
    MenuRights LogOut();
    // The user confirmed closing: every wait ends at once and no tick starts another cycle.
    void EndMonitoring();
    // After the user confirmed closing: monitoring ends, the shutdown e-mail goes out, the
    // timers stop and the connection closes.
    void Shutdown();

    ConfigFile &configFile() { return m_configFile; }
    IniFile &iniFile() { return m_iniFile; }
    Cipher &cipher() { return m_cipher; }

private:
    void checkDatabaseFile();
    void armPolling();

    ProgramState &m_state;
    PollTimer &m_pollTimer;
    Cipher m_cipher;
    ConfigFile m_configFile;
    IniFile m_iniFile;
    bool m_deferred = false;
};
