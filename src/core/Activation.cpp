#include "Activation.h"

#include "PollTimer.h"
#include "ProgramState.h"
#include "Prompts.h"
#include "StatusList.h"

#include <QDir>
#include <QFile>

const QString Activation::DatabaseFileName = QStringLiteral("wexa.mdb");
const QString Activation::NoConfigLine =
    QStringLiteral("Configuration file not found.  Please run configuration");
const QString Activation::ValidateLine =
    QStringLiteral("Please click on Setup and then Configure Tallyport and verify all parameters.");
const QString Activation::NoDatabaseKey =
    QStringLiteral("Wexa.mdb is not present in the application directory.");
const QString Activation::NoSensorsLine = QStringLiteral("There are no sensors programmed yet");
const QString Activation::AdministratorSuffix = QStringLiteral("    ADMINISTRATOR LOGGED IN");

Activation::Activation(ProgramState &state, PollTimer &pollTimer)
    : m_state(state), m_pollTimer(pollTimer), m_configFile(state, m_cipher), m_iniFile(state)
{
}

MenuRights Activation::RunActivationSequence()
{
    if (!m_state.ReinitOnActivate)
        return CurrentMenuRights();
    m_deferred = m_state.UpdateInProgress;
    if (m_deferred)
        return CurrentMenuRights();
    m_state.status().clear();
    m_cipher.InitCipher();

    const bool read = m_configFile.ReadConfiguration();
    // A file that was read but holds a protected field that cannot be decrypted has a status
    // line of its own, naming the field.
    const bool found = read || !m_configFile.undecryptedFields().isEmpty();
    m_state.UpdateStatus(NoConfigLine, found ? QStringLiteral("delete") : QString());
    const bool valid = m_configFile.ValidateConfiguration();
    m_state.UpdateStatus(ValidateLine, valid ? QStringLiteral("delete") : QString());
    // Its problems are in the error log; the defaults stand in for what could not be read.
    m_iniFile.Read();
    if (services.ApplyIniSettings)
        services.ApplyIniSettings();

    m_state.LogDirectory = m_state.Config.LogDirectory.trimmed();
    if (!m_state.LogDirectory.isEmpty())
        m_state.UpdateStatus(QStringLiteral("Backup copy of log files stored to: "), m_state.LogDirectory);

    if (services.SetUpMailManager)
        services.SetUpMailManager();
    checkDatabaseFile();
    if (services.UpgradeSchema)
        services.UpgradeSchema();
    armPolling();

    m_state.FirstCycle = true;
    m_state.setMonitoringActive(true);
    return CurrentMenuRights();
}

void Activation::checkDatabaseFile()
{
    if (QFile::exists(m_state.programFile(DatabaseFileName))) {
        m_state.UpdateStatus(NoDatabaseKey, QStringLiteral("delete"));
        return;
    }
    m_state.prompts().message(QStringLiteral("The program file Wexa.mdb is not present in the ") +
                              QDir::toNativeSeparators(m_state.programDirectory()) +
                              QStringLiteral(" directory.  Please copy Wexa.mdb into this directory before "
                                             "running this program."));
    m_state.UpdateStatus(NoDatabaseKey, QStringLiteral("  Tallyport requires this file."));
}

void Activation::armPolling()
{
    int count = 0;
    const bool counted = services.CountNamedSensors && services.CountNamedSensors(count);
    if (counted && count > 0) {
        if (services.ConfigureServerStatusGrid)
            services.ConfigureServerStatusGrid(count);
        m_state.TrendingEnabled = m_state.Config.EnableTrending == 1;
        m_state.UpdateStatus(NoSensorsLine, QStringLiteral("delete"));
        if (services.StopTimeout)
            services.StopTimeout();
        m_pollTimer.StopPollTimer();
        m_pollTimer.setTicksPerCycle(PollTimer::TicksFor(m_state.Config.UpdateRate));
        m_pollTimer.StartPollTimer();
        m_state.UpdateStatus(QStringLiteral("Update Rate "),
                             QString::number(m_state.Config.UpdateRate) + QStringLiteral(" seconds"));
        return;
    }
    m_pollTimer.StopPollTimer();
    if (services.ConfigureServerStatusGrid)
        services.ConfigureServerStatusGrid(0);
    m_state.UpdateStatus(NoSensorsLine, QString());
    m_state.TrendingEnabled = false;
}

MenuRights Activation::CurrentMenuRights() const
{
    MenuRights rights;
    rights.trendingEnabled = m_state.TrendingEnabled;
    // Blank because it could not be decrypted is not "no login set": Setup stays locked, and no
    // login can succeed against the blank values (the status list says how to recover).
    if (m_configFile.administratorLoginDamaged()) {
        rights.configurationEnabled = false;
        rights.logInEnabled = false;
        return rights;
    }
    const bool credentialsSet = !m_state.Config.AdminUserName.trimmed().isEmpty() &&
                                !m_state.Config.AdminPassword.trimmed().isEmpty();
    if (!credentialsSet)
        return rights;
    if (m_state.LoginSucceeded) {
        rights.logInCaption = QStringLiteral("Log Out");
        rights.administratorCaption = true;
        return rights;
    }
    rights.configurationEnabled = false;
    return rights;
}

MenuRights Activation::LogOut()
{
    if (services.BeforeLogOut && !services.BeforeLogOut())
        return CurrentMenuRights();
    m_state.LoginSucceeded = false;
    MenuRights rights = CurrentMenuRights();
    rights.configurationEnabled = false;
    rights.logInCaption = QStringLiteral("Log In");
    rights.administratorCaption = false;
    return rights;
}

void Activation::EndMonitoring()
{
    m_state.setMonitoringActive(false);
    m_pollTimer.StopPollTimer();
}

void Activation::Shutdown()
{
    // No tick may start a cycle while the shutdown e-mail is being sent.
    EndMonitoring();
    if (services.SendShutdownEmail)
        services.SendShutdownEmail();
    if (services.StopTimeout)
        services.StopTimeout();
    if (services.CloseWinSocket)
        services.CloseWinSocket();
}
