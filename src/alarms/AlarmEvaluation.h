#pragma once

#include "AlarmResponse.h"
#include "Outbox.h"

#include <acquisition/SensorDataFiles.h>
#include <db/Database.h>
#include <db/Records.h>

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class Notifier;
class ProgramState;
class StatusGridModel;
struct SensorRecord;

// After every poll of a device: each named sensor's state text, data files, status grid row and
// alarm record, and the alarm e-mail once per alarm. Limits are the device's business; it
// reports per port whether the sensor is in alarm.
class AlarmEvaluation {
public:
    static const QString MailErrorKey;
    // Status line while backup copies fail; its value names the directory and the cause.
    static const QString BackupErrorKey;

    AlarmEvaluation(ProgramState &state, Database &database, Outbox &outbox, StatusGridModel &grid);

    // A poll cycle begins: alarm e-mail outcomes the database refused earlier are written now,
    // and the cycle's backup copies are counted afresh.
    void BeginCycle();
    // Every device of the cycle was evaluated: an open backup episode closes when every copy of
    // the cycle worked.
    void FinishCycle();

    // Evaluates every named sensor of the device from state.Readings. False when a sensor could
    // not be evaluated completely (logged); the other sensors are evaluated all the same. Once
    // monitoring has ended (the program is closing) no further sensor is evaluated and no
    // record is opened or e-mail sent. The address the device was polled at goes with the
    // channels' events (when empty they read it from the device's record).
    bool CompareToEmailLimits(qint64 deviceId, const QString &modelText, const QString &address = QString());

    // The message with the line that links to the alarm's page (none without a link).
    static QString WithLink(const QString &message, const QString &link);

    // Sounds and shows the notice when any grid row is not normal. True when it did.
    bool AnnounceAlarms();
    // How the notice is given (the main window's pop-up and sound).
    std::function<void(const QString &notice)> announce;
    // The notification channels beside e-mail that take alarms, alarm ends and backup failures;
    // none when null.
    Notifier *notifier = nullptr;
    // Who takes the alarms: told when one ends. None when null.
    AlarmResponse *response = nullptr;

private:
    struct Sensor;
    bool evaluateSensor(qint64 deviceId, const QString &modelText, const QString &deviceName,
                        const QString &address, const QString &emailList, const SensorRecord &record);
    void writeDataFiles(const Sensor &sensor, float reading);
    void checkBackupCopy(bool copied, const QString &directory, int sensorId, const QString &cause);
    void openBackupEpisode(const QString &directory, const QString &cause);
    bool openAlarm(qint64 deviceId, const Sensor &sensor, const QString &emailList);
    // Queues the alarm e-mail for the alarm record (0 while it could not be written).
    NotificationOutcome queueAlarmEmail(qint64 deviceId, const Sensor &sensor, const QString &emailList,
                                        const QString &message, qint64 alarmId);
    // Tells the response about a record just written (in its transaction); the link its messages carry.
    QString alarmRecorded(qint64 deviceId, const Sensor &sensor, qint64 alarmId, const QDateTime &start);
    static AlarmResponse::OpenedAlarm opened(qint64 deviceId, const Sensor &sensor, qint64 alarmId,
                                             const QDateTime &start);
    // The message and, unless the outbox keeps it, the e-mail outcome of a recorded alarm.
    bool writeOutcome(qint64 alarmId, const NotificationOutcome &mail, const QString &message);
    bool endAlarm(qint64 deviceId, const Sensor &sensor);
    // The sensor's open and active alarms: from the counts read for its device before its
    // sensors, unless its alarms were written since (or the counts could not be read); from
    // the database otherwise. False (logged) when they could not be read.
    bool openAlarmsOf(qint64 sensorId, OpenRecords &open);
    bool activeAlarmsOf(qint64 sensorId, int &count);
    // Hands an alarm or its end to the notification channels.
    void notifyChannels(const QString &kind, qint64 deviceId, const Sensor &sensor, const QString &text,
                        qint64 alarmId);
    void keepUnrecorded(qint64 deviceId, const Sensor &sensor, const QDateTime &start, const QString &message,
                        const NotificationOutcome &mail);
    // Writes the sensor's unrecorded alarms, oldest first; false (logged) when one still cannot be.
    bool recordUnrecorded(qint64 sensorId);
    bool hasOpenUnrecorded(qint64 sensorId) const;
    QString nowText() const;
    QString mailFailureText(const QString &error) const;

    struct UnrecordedAlarm {
        AlarmRecord record;
        NotificationOutcome mail;
        qint64 deviceId = 0;
        QString address; // the device's, as polled
    };

    ProgramState &m_state;
    Database &m_database;
    Outbox &m_outbox;
    StatusGridModel &m_grid;
    // Alarms seen while their record could not be written (the database locked, read-only or
    // full), by sensor, oldest first: each is written whole, with its start, its end when it
    // ended meanwhile, and how its one e-mail stands, as soon as the database takes it.
    QHash<qint64, QList<UnrecordedAlarm>> m_unrecorded;
    // What the data files were found to hold, and the files kept open, so that a reading costs few
    // file-system calls; the backup directory's part is forgotten when another directory is set.
    SensorFileMemory m_files;
    // The alarm counts of the device under evaluation, and whether the sensor under evaluation
    // had an alarm recorded or ended, which makes its counts stale.
    std::optional<QHash<qint64, Database::SensorAlarmCounts>> m_deviceAlarms;
    bool m_sensorAlarmsWritten = false;
    QString m_backupDirectory;
    // Backup copies of the current cycle: made, and whether any failed.
    int m_backupCopiesMade = 0;
    bool m_backupCopyFailed = false;
};
