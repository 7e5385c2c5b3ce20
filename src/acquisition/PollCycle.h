#pragma once

#include "PollExchanges.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>

class AlarmEvaluation;
class ConfigFile;
class Database;
class DeviceLink;
class FailureTracking;
class Outbox;
class ProgramState;
class StatusGridModel;
struct ServerRecord;

// One poll cycle (LogRoutine): every enabled device in name order is identified and read, up to
// [poll] parallel devices at the same time, each on its own connection; then, device by device
// in that order, its sensors are evaluated and its outcome written to the status list.
class PollCycle {
public:
    static constexpr int DevicePort = 10001;

    PollCycle(ProgramState &state, DeviceLink &link, Database &database, AlarmEvaluation &alarms,
              FailureTracking &failures, Outbox &outbox, ConfigFile &config, StatusGridModel &grid);

    void LogRoutine();

    // The monthly report check, run by the scheduled report hook and again at the end of every
    // completed cycle (so a report time missed while no device answered is made up). It must
    // return at once.
    std::function<void()> reportCheck;

    // Attempts per device: CommunicationRetry when it is 1 to 5, otherwise 3.
    static int AttemptsFor(int communicationRetry);
    // The key of a device's outcome line in the status list.
    static QString OutcomeKey(const ServerRecord &device);

    // The exchanges of the running cycle (the main window shows their progress).
    PollExchanges &exchanges() { return m_exchanges; }

private:
    enum class Outcome { Ok, Busy, Failed };

    // Runs the devices' exchanges and, in device order, what follows each one. False when
    // monitoring ended on the way.
    bool pollDevices(const QList<ServerRecord> &devices, int attempts);
    // Parses a device's replies and, when it answered, evaluates its readings.
    Outcome takeExchange(const ServerRecord &device, const DeviceExchange::Result &exchange);
    // The outcome line, and for a device that failed every attempt its no-data evaluation and
    // failure tracking.
    void recordOutcome(const ServerRecord &device, Outcome outcome, int attempts);
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
    // The scale letter each device reported last, for the rows of a device that did not answer.
    QHash<qint64, int> m_deviceScales;
    PollExchanges m_exchanges;
};
