#pragma once

#include <QHash>
#include <QString>

#include <functional>

class Database;
class MailManager;
class ProgramState;
class StatusGridModel;
struct SensorRecord;

// After every poll of a device: each named sensor's state text, data files, status grid row and
// alarm record, and the alarm e-mail once per alarm. Limits are the device's business; it
// reports per port whether the sensor is in alarm.
class AlarmEvaluation {
public:
    static const QString MailErrorKey;

    AlarmEvaluation(ProgramState &state, Database &database, MailManager &mail, StatusGridModel &grid);

    // Evaluates every named sensor of the device from state.Readings. False when a sensor could
    // not be evaluated completely (logged); the other sensors are evaluated all the same.
    bool CompareToEmailLimits(qint64 deviceId, const QString &modelText);

    // Sounds and shows the notice when any grid row is not normal. True when it did.
    bool AnnounceAlarms();
    // How the notice is given (the main window's pop-up and sound).
    std::function<void(const QString &notice)> announce;

private:
    struct Sensor;
    bool evaluateSensor(qint64 deviceId, const QString &modelText, const QString &deviceName,
                        const QString &emailList, const SensorRecord &record);
    void writeDataFiles(const Sensor &sensor, float reading);
    void checkBackupCopy(bool copied, const QString &directory, int sensorId);
    bool openAlarm(qint64 deviceId, const Sensor &sensor, const QString &emailList);
    QString sendAlarmEmail(qint64 deviceId, const Sensor &sensor, const QString &emailList,
                           const QString &message);
    bool endAlarm(qint64 sensorId);
    QString nowText() const;
    QString mailFailureText(const QString &error) const;

    ProgramState &m_state;
    Database &m_database;
    MailManager &m_mail;
    StatusGridModel &m_grid;
    // Alarm e-mails that went out while their record could not be written: the EmailSent text
    // the record gets once it can be, so the e-mail is not sent twice.
    QHash<qint64, QString> m_mailWithoutRecord;
};
