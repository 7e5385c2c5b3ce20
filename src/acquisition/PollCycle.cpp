#include "PollCycle.h"

#include <acquisition/StatusGridModel.h>
#include <alarms/AlarmEvaluation.h>
#include <alarms/FailureTracking.h>
#include <alarms/MailManager.h>
#include <core/Clock.h>
#include <core/ConfigFile.h>
#include <core/DateTimeText.h>
#include <core/ErrorLog.h>
#include <core/LocalWait.h>
#include <core/ProgramState.h>
#include <db/Database.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>
#include <link/ReplyParser.h>

#include <QFile>

namespace {
const QString kWhere = QStringLiteral("Log Routine");
} // namespace

PollCycle::PollCycle(ProgramState &state, DeviceLink &link, Database &database, AlarmEvaluation &alarms,
                     FailureTracking &failures, MailManager &mail, ConfigFile &config, StatusGridModel &grid)
    : m_state(state), m_link(link), m_database(database), m_alarms(alarms), m_failures(failures),
      m_mail(mail), m_config(config), m_grid(grid)
{
}

int PollCycle::AttemptsFor(int communicationRetry)
{
    return communicationRetry >= 1 && communicationRetry <= 5 ? communicationRetry : 3;
}

QString PollCycle::OutcomeKey(const ServerRecord &device)
{
    return QStringLiteral("Communication with server ") + device.ServerName +
           QStringLiteral(" at IP address ") + device.ServerIPAddress;
}

void PollCycle::LogRoutine()
{
    const QDateTime start = m_state.clock().now();
    // Error lines kept back while the database could not be written go in first, and again
    // once the devices are done (the database may have come back during the cycle).
    m_state.errors().flushPending();
    const int attempts = AttemptsFor(m_state.Config.CommunicationRetry);
    QList<ServerRecord> devices;
    int count = 0;
    if (!m_database.RecordServers(devices, count) || devices.isEmpty())
        return;
    m_grid.MoveToFirstRow();
    m_alarms.BeginCycle();

    // Once monitoring has ended (the program is closing, its shutdown e-mail may be out already)
    // nothing more is recorded or sent: the cycle stops at the next step.
    for (const ServerRecord &device : devices) {
        if (!device.isEnabled())
            continue;
        const Outcome outcome = pollDevice(device, attempts);
        if (outcome == Outcome::Stopped || !m_state.MonitoringActive())
            return;
        sendDailySystemOk();
        if (!m_state.MonitoringActive())
            return;
        recordOutcome(device, outcome, attempts);
        if (!m_state.MonitoringActive())
            return;
    }

    m_alarms.FinishCycle();
    m_state.errors().flushPending();
    const qint64 seconds = start.secsTo(m_state.clock().now());
    m_state.UpdateStatus(QStringLiteral("Communication Time: "),
                         QString::number(seconds) + QStringLiteral(" seconds"));
    if (m_state.Config.PopUps == 1)
        m_alarms.AnnounceAlarms();
}

void PollCycle::recordOutcome(const ServerRecord &device, Outcome outcome, int attempts)
{
    const QString key = OutcomeKey(device);
    if (outcome == Outcome::Busy) {
        m_state.UpdateStatus(key, QStringLiteral(": Is busy"));
    } else if (outcome == Outcome::Failed) {
        m_state.UpdateStatus(key, QStringLiteral(": FAILED"));
        m_state.Readings.fill(ProgramState::NoDataValue);
        m_alarms.CompareToEmailLimits(device.IDNum, device.ServerModel);
        // The notice names the requests actually made: a failed device had every attempt.
        if (m_state.MonitoringActive() && !m_failures.TrackServerFailure(device.IDNum, attempts))
            m_state.AddError(kWhere, m_database.lastError());
    } else {
        m_state.UpdateStatus(key, QStringLiteral(": OK"));
    }
}

PollCycle::Outcome PollCycle::pollDevice(const ServerRecord &device, int attempts)
{
    const CommandCodes &codes = DeviceCommands();
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        QByteArray identify;
        if (transaction(device, codes.IdentifyCommand, identify)) {
            ParseMessage(m_state, codes.IdentifyCommand, identify);
            QByteArray readings;
            const bool read = transaction(device, codes.DataCommand, readings);
            if (!m_state.MonitoringActive())
                return Outcome::Stopped;
            m_state.UpdateStatus(QStringLiteral("Last download data at: "),
                                 DateTimeText(m_state.clock().now()));
            if (IsBusyReply(readings))
                return Outcome::Busy;
            if (read) {
                if (ParseMessage(m_state, codes.DataCommand, readings)) {
                    if (!m_database.MarkServerBackOnLine(device.IDNum))
                        m_state.AddError(kWhere, m_database.lastError());
                    m_alarms.CompareToEmailLimits(device.IDNum, device.ServerModel);
                    if (m_state.MonitoringActive())
                        scheduledReportHook();
                }
                return Outcome::Ok;
            }
        } else if (!m_state.MonitoringActive()) {
            return Outcome::Stopped;
        } else if (IsBusyReply(identify)) {
            // A device on a telephone call answers every command with the busy reply; it is
            // busy, not failed.
            return Outcome::Busy;
        }
        if (!pauseAfterFailure())
            return Outcome::Stopped;
    }
    return Outcome::Failed;
}

bool PollCycle::transaction(const ServerRecord &device, const QByteArray &code, QByteArray &reply)
{
    return m_link.ReadFromQM(device.ServerIPAddress, DevicePort, BuildCommand(code), reply,
                             CommandCodes::FrameLength, QString());
}

bool PollCycle::pauseAfterFailure()
{
    m_link.StartTimeout(m_link.timings().retryPauseMs);
    LocalWait wait(&m_state);
    const LocalWait::Outcome outcome = wait.run(m_link.timings().retryPauseMs);
    m_link.StopTimeout();
    return outcome != LocalWait::Outcome::Stopped && m_state.MonitoringActive();
}

void PollCycle::sendDailySystemOk()
{
    // A settings file that can no longer be read (cut short, overwritten, a protected field that
    // does not decrypt) must not replace the settings in use: a garbled sender address would stop
    // every alarm e-mail. The daily e-mail is decided on the settings in use all the same.
    const ConfigRecord inUse = m_state.Config;
    if (!m_config.ReadConfiguration())
        m_state.Config = inUse;
    keepLatestSystemOkDate();
    if (m_state.Config.SystemOKEmail != 1)
        return;
    const QDateTime now = m_state.clock().now();
    const QDateTime last = ParseDateTimeText(m_state.Config.LastSystemOKEmail);
    if (last.isValid()) {
        if (last.date().daysTo(now.date()) < 1)
            return;
        m_mail.SendSytemOKEmail();
    }
    // The date is kept whether or not the file takes it; a save that failed is logged by the
    // save, once, since the date is not due again until tomorrow.
    m_lastSystemOk = now;
    m_state.Config.LastSystemOKEmail = DateTimeText(now);
    m_config.SaveConfiguration();
}

void PollCycle::keepLatestSystemOkDate()
{
    const QDateTime inFile = ParseDateTimeText(m_state.Config.LastSystemOKEmail);
    if (m_lastSystemOk.isValid() && (!inFile.isValid() || inFile < m_lastSystemOk))
        m_state.Config.LastSystemOKEmail = DateTimeText(m_lastSystemOk);
    else if (inFile.isValid())
        m_lastSystemOk = inFile;
}

void PollCycle::scheduledReportHook()
{
    const ConfigRecord &c = m_state.Config;
    if (!c.AutoPrintReport.trimmed().toLower().contains(QLatin1String("yes")))
        return;
    const QDateTime now = m_state.clock().now();
    const QTime printTime = QTime::fromString(
        c.TimeToPrint.trimmed() + QStringLiteral(":00 ") + c.AMPM.trimmed(), QStringLiteral("h:mm AP"));
    if (!printTime.isValid())
        return;
    const qint64 minutes = now.secsTo(QDateTime(now.date(), printTime)) / 60;
    if (minutes >= 1)
        return;
    if (minutes < -60) {
        m_state.AutoPrintDone = false;
        return;
    }
    if (m_state.AutoPrintDone)
        return;
    // The monthly report check: on the first day of a month, whether last month's file exists.
    // No report is produced from it.
    if (now.date().day() == 1) {
        const QDate previous = now.date().addMonths(-1);
        QFile::exists(
            m_state.programFile(QStringLiteral("%1-%2.dat").arg(previous.month()).arg(previous.year())));
    }
    m_state.AutoPrintDone = true;
}
