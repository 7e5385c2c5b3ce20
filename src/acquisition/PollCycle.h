#pragma once

#include "PollExchanges.h"

#include <db/Database.h>
#include <db/Records.h>

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class AlarmEvaluation;
class ConfigFile;
class DeviceLink;
class FailureTracking;
class Outbox;
class Notifier;
class ProgramState;
class StatusGridModel;

// One poll cycle (LogRoutine): every enabled device in name order is identified and read, up to
// [poll] parallel devices at the same time, each on its own connection; then, device by device
// in that order, its sensors are evaluated and its outcome written to the status list.
//
// The cycle never waits in a nested event loop: LogRoutine starts it and returns, and each
// device's results are taken when its exchange ends (from a queued signal). A box or window
// opened at any moment runs its own loop while the cycle goes on beneath it.
class PollCycle final : public QObject {
    Q_OBJECT
public:
    static constexpr int DevicePort = 10001;
    // The status line with the last cycle's duration.
    inline static const QString TimeKey = QStringLiteral("Communication Time: ");

    // What a device's exchange came to in a cycle (its line of the status list).
    enum class Outcome { Ok, Busy, Failed };

    PollCycle(ProgramState &state, DeviceLink &link, Database &database, AlarmEvaluation &alarms,
              FailureTracking &failures, Outbox &outbox, ConfigFile &config, StatusGridModel &grid);

    // Starts a cycle and returns; `ended` runs once the cycle is over: every device taken, or
    // monitoring ended on the way, or nothing to poll (then before LogRoutine returns). A start
    // while a cycle runs is a fault: logged and refused, its `ended` never called.
    void LogRoutine(std::function<void()> ended = {});
    bool isRunning() const { return m_running; }
    // Why the last cycle could not poll its devices (the device list could not be read); empty
    // when it could.
    const QString &lastFailure() const { return m_failure; }

    // The monthly report check, run by the scheduled report hook and again at the end of every
    // completed cycle (so a report time missed while no device answered is made up). It must
    // return at once.
    std::function<void()> reportCheck;
    // Called after each completed cycle while monitoring: reminders and escalation steps that are
    // due go out. It must return at once.
    std::function<void()> escalationCheck;
    // The notification channels beside e-mail that take the daily OK and device recoveries; none
    // when null.
    Notifier *notifier = nullptr;

    // Attempts per device: CommunicationRetry when it is 1 to 5, otherwise 3.
    static int AttemptsFor(int communicationRetry);
    // The key of a device's outcome line in the status list.
    static QString OutcomeKey(const ServerRecord &device);

    // The exchanges of the running cycle (the main window shows their progress).
    PollExchanges &exchanges() { return m_exchanges; }

signals:
    // A device has been taken: its outcome line and the status grid's rows of its sensors are
    // written. `at` is when its readings came, or when it was given up.
    void deviceTaken(const ServerRecord &device, PollCycle::Outcome outcome, const QDateTime &at);
    // The cycle is over (after `ended` has run).
    void finished();

private:
    void notifyRecovered(const ServerRecord &device, qint64 episode);

    // Reads the device list and starts the exchanges; false when there is nothing to poll.
    bool startDevices();
    // Brings the device list up to date: read again only when the database may have changed
    // since it was last read. False when it could not be read.
    bool readDeviceList();
    // Takes the devices whose exchanges have ended; ends the cycle when it is over.
    void advance();
    // Calls advance() from the event loop, unless a call is waiting there already.
    void scheduleAdvance();
    // Takes the next device in order when its exchange has ended (and asks to be called again
    // for the one after it); true when the cycle is over (the last device taken and the cycle
    // completed, or monitoring ended on the way).
    bool takeEndedDevices();
    // How long one turn of the event loop takes ended devices before the window gets its turn.
    static constexpr int TakingTurnMs = 8;
    // What follows one device's exchange. False when monitoring ended on the way.
    bool takeDevice(const ServerRecord &device, const DeviceExchange::Result &exchange);
    // The steps after the last device: evaluation's end, "Communication Time: ", announcements.
    void completeCycle();
    void endCycle();
    // Parses a device's replies and, when it answered, evaluates its readings.
    Outcome takeExchange(const ServerRecord &device, const DeviceExchange::Result &exchange);
    // The outcome line, and for a device that failed every attempt its no-data evaluation and
    // failure tracking.
    void recordOutcome(const ServerRecord &device, Outcome outcome, int attempts);
    void readSettings();
    void sendDailySystemOk();
    // Holds the date of the last system-OK e-mail in memory against an older one in the file.
    void keepLatestSystemOkDate();
    void scheduledReportHook();

    ProgramState &m_state;
    DeviceLink &m_link;
    Database &m_database;
    AlarmEvaluation &m_alarms;
    FailureTracking &m_failures;
    Outbox &m_outbox;
    ConfigFile &m_config;
    StatusGridModel &m_grid;
    // When the last system-OK e-mail was decided; a file that could not be saved holds an older
    // date, which must not make the e-mail go out again.
    QDateTime m_lastSystemOk;
    bool m_settingsRead = false; // the settings file was read in this cycle
    // The scale letter each device reported last, for the rows of a device that did not answer.
    QHash<qint64, int> m_deviceScales;
    PollExchanges m_exchanges;
    // The device list as last read: how many devices there are, the enabled ones in name order,
    // and where the database stood before it was read (none when unknown).
    int m_deviceCount = 0;
    QList<ServerRecord> m_enabledDevices;
    std::optional<Database::DevicesMark> m_deviceListMark;

    bool m_advanceQueued = false; // a call of advance() waits in the event loop
    // The running cycle.
    bool m_running = false;
    QList<ServerRecord> m_devices;
    int m_next = 0;
    int m_attempts = 1;
    QDateTime m_start;
    QString m_failure;
    std::function<void()> m_ended;
};
