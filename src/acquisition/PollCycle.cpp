#include "PollCycle.h"

#include <acquisition/StatusGridModel.h>
#include <alarms/AlarmEvaluation.h>
#include <alarms/FailureTracking.h>
#include <alarms/Outbox.h>
#include <core/Clock.h>
#include <core/ConfigFile.h>
#include <core/DateTimeText.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <db/Database.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>
#include <link/ReplyParser.h>
#include <notify/Notifier.h>

#include <QElapsedTimer>
#include <QMetaObject>
#include <QScopeGuard>

#include <utility>

namespace {
const QString kCycleWhere = QStringLiteral("Log Routine");
} // namespace

PollCycle::PollCycle(ProgramState &state, DeviceLink &link, Database &database, AlarmEvaluation &alarms,
                     FailureTracking &failures, Outbox &outbox, ConfigFile &config, StatusGridModel &grid)
    : m_state(state), m_link(link), m_database(database), m_alarms(alarms), m_failures(failures),
      m_outbox(outbox), m_config(config), m_grid(grid), m_exchanges(state)
{
    connect(&m_exchanges, &PollExchanges::exchangeEnded, this, &PollCycle::scheduleAdvance);
    // Monitoring ended while no exchange was left to report it: the cycle still ends.
    connect(&state, &ProgramState::monitoringActiveChanged, this, [this](bool active) {
        if (!active)
            scheduleAdvance();
    });
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

void PollCycle::LogRoutine(std::function<void()> ended)
{
    // Nothing starts a cycle inside one (the poll timer and the update button hold
    // UpdateInProgress). Should something, it is refused; its `ended` is not called, since that
    // would end the update under the cycle that runs, whose own end restarts polling.
    if (m_running) {
        m_state.AddError(kCycleWhere, QStringLiteral("a second cycle was started while one was running; it "
                                                     "was refused"));
        NoNestedWaits::Fault("A second poll cycle was started");
        return;
    }
    m_ended = std::move(ended);
    m_running = true;
    if (!startDevices())
        endCycle();
}

bool PollCycle::startDevices()
{
    const NoNestedWaits noWaits;
    m_start = m_state.clock().now();
    // Error lines kept back while the database could not be written go in first, and again
    // once the devices are done (the database may have come back during the cycle).
    m_state.errors().flushPending();
    // Messages whose retry fell due while the clock was moved by hand, or that the database did
    // not take before, go now; the outbox's own timer does this in between.
    m_outbox.Resume();
    if (notifier)
        notifier->Resume();
    m_settingsRead = false;
    m_attempts = AttemptsFor(m_state.Config.CommunicationRetry);
    m_failure.clear();
    if (!readDeviceList()) {
        m_failure = QStringLiteral("the device list could not be read: ") + m_database.lastError();
        return false;
    }
    if (m_deviceCount == 0)
        return false;
    m_grid.MoveToFirstRow();
    m_alarms.BeginCycle();
    m_devices = m_enabledDevices;
    m_next = 0;
    QStringList addresses;
    for (const ServerRecord &device : m_devices)
        addresses.append(device.ServerIPAddress);
    // The exchanges overlap; what follows each one runs in device order, as the devices come.
    m_exchanges.begin(addresses, m_attempts, m_state.Ini.poll.parallel, m_link.timings());
    // With no enabled device the cycle moves on from the event loop, as it does after an
    // exchange.
    scheduleAdvance();
    return true;
}

bool PollCycle::readDeviceList()
{
    // Reading and sorting thousands of devices took the window's thread for several
    // milliseconds at every cycle's start; the list seldom changes between cycles. The mark is
    // taken before the list is read, so an edit made in between reads the list again next time.
    Database::DevicesMark mark;
    const bool marked = m_database.ReadDevicesMark(mark);
    if (marked && m_deviceListMark == mark)
        return true;
    m_deviceListMark.reset();
    QList<ServerRecord> devices;
    if (!m_database.RecordServers(devices, m_deviceCount)) {
        m_deviceCount = 0;
        m_enabledDevices.clear();
        return false;
    }
    devices.removeIf([](const ServerRecord &device) { return !device.isEnabled(); });
    m_enabledDevices = devices;
    if (marked)
        m_deviceListMark = mark;
    return true;
}

void PollCycle::scheduleAdvance()
{
    // One call waits at a time: every exchange that ends asks for one, and calls queued side by
    // side would each take devices for a whole turn before the window got its own.
    if (m_advanceQueued)
        return;
    m_advanceQueued = true;
    QMetaObject::invokeMethod(this, &PollCycle::advance, Qt::QueuedConnection);
}

void PollCycle::advance()
{
    m_advanceQueued = false;
    if (m_running && takeEndedDevices())
        endCycle();
}

bool PollCycle::takeEndedDevices()
{
    const NoNestedWaits noWaits;
    // Once monitoring has ended (the program is closing, its shutdown e-mail may be out already)
    // nothing more is recorded or sent: the cycle stops at the next step.
    if (!m_state.MonitoringActive())
        return true;
    // Devices whose exchanges have ended are taken for a few milliseconds at a time: the window
    // answers in between even when many exchanges ended at once, and a cycle of thousands of
    // devices does not pay a turn of the event loop (a look at every open socket) for each one.
    QElapsedTimer turn;
    turn.start();
    while (m_next < m_devices.size()) {
        const DeviceExchange::Result *exchange = m_exchanges.resultOf(m_next);
        if (!exchange)
            return false;
        if (exchange->outcome == DeviceExchange::Outcome::Stopped)
            return true;
        const ServerRecord &device = m_devices[m_next++];
        if (!takeDevice(device, *exchange))
            return true;
        if (m_next < m_devices.size() && turn.elapsed() >= TakingTurnMs) {
            scheduleAdvance();
            return false;
        }
    }
    completeCycle();
    return true;
}

bool PollCycle::takeDevice(const ServerRecord &device, const DeviceExchange::Result &exchange)
{
    // Its reads of the database share one read transaction (its writes are committed as they
    // come).
    const Database::ReadBatch reads(m_database);
    // Its readings are filed, and its alarms start and end, at the time its reply came.
    m_state.ReadingsTakenAt = exchange.downloadedAt;
    const auto readingsTaken = qScopeGuard([this] { m_state.ReadingsTakenAt = QDateTime(); });
    const Outcome outcome = takeExchange(device, exchange);
    if (!m_state.MonitoringActive())
        return false;
    sendDailySystemOk();
    if (!m_state.MonitoringActive())
        return false;
    recordOutcome(device, outcome, m_attempts);
    if (!m_state.MonitoringActive())
        return false;
    emit deviceTaken(device, outcome,
                     exchange.downloadedAt.isValid() ? exchange.downloadedAt : m_state.clock().now());
    return m_state.MonitoringActive();
}

void PollCycle::completeCycle()
{
    m_alarms.FinishCycle();
    m_state.errors().flushPending();
    const qint64 seconds = m_start.secsTo(m_state.clock().now());
    m_state.UpdateStatus(TimeKey, QString::number(seconds) + QStringLiteral(" seconds"));
    if (m_state.Config.PopUps == 1)
        m_alarms.AnnounceAlarms();
    if (reportCheck && m_state.MonitoringActive())
        reportCheck();
    if (escalationCheck && m_state.MonitoringActive())
        escalationCheck();
}

void PollCycle::endCycle()
{
    m_running = false;
    m_exchanges.clear();
    m_devices.clear();
    // Whoever started the cycle may start the next one from here.
    const std::function<void()> ended = std::exchange(m_ended, {});
    if (ended)
        ended();
    emit finished();
}

void PollCycle::recordOutcome(const ServerRecord &device, Outcome outcome, int attempts)
{
    const QString key = OutcomeKey(device);
    if (outcome == Outcome::Busy) {
        m_state.UpdateStatus(key, QStringLiteral(": Is busy"));
    } else if (outcome == Outcome::Failed) {
        m_state.UpdateStatus(key, QStringLiteral(": FAILED"));
        m_state.Readings.fill(ProgramState::NoDataValue);
        // Its rows keep the device's own unit, not that of whichever device answered before it.
        const auto scale = m_deviceScales.constFind(device.IDNum);
        if (scale != m_deviceScales.cend())
            m_state.TemperatureScale = *scale;
        m_alarms.CompareToEmailLimits(device.IDNum, device.ServerModel, device.ServerIPAddress);
        // The notice names the requests actually made: a failed device had every attempt.
        if (m_state.MonitoringActive() && !m_failures.TrackServerFailure(device.IDNum, attempts))
            m_state.AddError(kCycleWhere, m_database.lastError());
    } else {
        m_state.UpdateStatus(key, QStringLiteral(": OK"));
    }
}

PollCycle::Outcome PollCycle::takeExchange(const ServerRecord &device, const DeviceExchange::Result &exchange)
{
    const CommandCodes &codes = DeviceCommands();
    // The device's own identify reply sets the model and firmware its readings are scaled by.
    if (!exchange.identifyReply.isEmpty())
        ParseMessage(m_state, codes.IdentifyCommand, exchange.identifyReply);
    if (exchange.downloadedAt.isValid())
        m_state.UpdateStatus(QStringLiteral("Last download data at: "), DateTimeText(exchange.downloadedAt));
    switch (exchange.outcome) {
    case DeviceExchange::Outcome::Busy:
        return Outcome::Busy;
    case DeviceExchange::Outcome::Ok:
        break;
    default:
        return Outcome::Failed;
    }
    if (ParseMessage(m_state, codes.DataCommand, exchange.readingsReply)) {
        m_deviceScales.insert(device.IDNum, m_state.TemperatureScale);
        // Only a failure that was announced has a recovery to announce.
        qint64 announced = 0;
        if (!m_database.MarkServerBackOnLine(device.IDNum, &announced))
            m_state.AddError(kCycleWhere, m_database.lastError());
        else if (announced != 0 && notifier)
            notifyRecovered(device, announced);
        m_alarms.CompareToEmailLimits(device.IDNum, device.ServerModel, device.ServerIPAddress);
        if (m_state.MonitoringActive())
            scheduledReportHook();
    }
    return Outcome::Ok;
}

void PollCycle::readSettings()
{
    // Read once a cycle, after its first device, not after every device. A settings file that
    // can no longer be read (cut short, overwritten, a protected field that does not decrypt)
    // must not replace the settings in use: a garbled sender address would stop every alarm
    // e-mail. The daily e-mail is decided on the settings in use all the same.
    const ConfigRecord inUse = m_state.Config;
    if (!m_config.ReadConfiguration())
        m_state.Config = inUse;
    keepLatestSystemOkDate();
}

void PollCycle::sendDailySystemOk()
{
    if (!m_settingsRead) {
        readSettings();
        m_settingsRead = true;
    }
    if (m_state.Config.SystemOKEmail != 1)
        return;
    const QDateTime now = m_state.clock().now();
    const QDateTime last = ParseDateTimeText(m_state.Config.LastSystemOKEmail);
    if (last.isValid()) {
        if (last.date().daysTo(now.date()) < 1)
            return;
        m_outbox.QueueSystemOkEmail();
        if (notifier) {
            NotifyEvent event;
            event.kind = QStringLiteral("system-ok");
            event.subject = QStringLiteral("Quellmark VKL-E is up and running!");
            event.text = QStringLiteral("Tallyport is up and running.");
            // Sent hours late, "up and running" would mislead, as with the e-mail.
            notifier->Notify(event, QString(), 0, false);
        }
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
    if (!AutoPrintReportOn(c))
        return;
    const QDateTime now = m_state.clock().now();
    const QTime printTime = ScheduledReportTime(c);
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
    // The monthly report check: on the first day of a month last month's report is made (on a
    // thread of its own; the cycle goes on at once).
    if (reportCheck)
        reportCheck();
    m_state.AutoPrintDone = true;
}

void PollCycle::notifyRecovered(const ServerRecord &device, qint64 episode)
{
    NotifyEvent event;
    event.kind = QStringLiteral("device-recovered");
    event.device = device.ServerName;
    event.address = device.ServerIPAddress;
    event.subject = QStringLiteral("Message from Quellmark VKL-E");
    event.text = QStringLiteral("The device: ") + device.ServerName + QStringLiteral(" answers again.");
    notifier->Notify(event, QStringLiteral("tblServerFailures"), episode);
}

#include "moc_PollCycle.cpp"
