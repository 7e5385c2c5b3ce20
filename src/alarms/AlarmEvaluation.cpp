#include "AlarmEvaluation.h"

#include "AlarmResponse.h"
#include "AlarmTexts.h"
#include "UnitText.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/StatusGridModel.h>
#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>
#include <notify/Notifier.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cmath>
#include <utility>

#include <sys/statvfs.h>

const QString AlarmEvaluation::MailErrorKey = QStringLiteral("Error sending Alarm Email");
const QString AlarmEvaluation::BackupErrorKey = QStringLiteral("Backup copy of log files failed: ");

namespace {
const QString kAlarmWhere = QStringLiteral("CompareToEmailLimitsErr");
const QChar kCR = QChar(13);
// Unrecorded alarms kept per sensor at most; a sensor that keeps flapping through a long outage
// loses its oldest ones (logged).
constexpr int kMaxUnrecorded = 100;

bool isCircuitCode(float reading)
{
    return reading == 999.0f || reading == -999.0f || reading == 1000.0f;
}
} // namespace

struct AlarmEvaluation::Sensor {
    qint64 id = 0;
    QString name;
    QString type;
    QString notes;
    QString deviceName;
    QString deviceAddress; // empty: read from the device's record when an event needs it
    int port = 0;
    QString unit;
    QString stateText;
    qint64 minutes = 0;
    float reading = 0;
    std::optional<double> upperLimit;
    std::optional<double> lowerLimit;
};

AlarmEvaluation::AlarmEvaluation(ProgramState &state, Database &database, Outbox &outbox,
                                 StatusGridModel &grid)
    : m_state(state), m_database(database), m_outbox(outbox), m_grid(grid)
{
}

QString AlarmEvaluation::nowText() const
{
    return DateTimeText(m_state.clock().now());
}

QString AlarmEvaluation::mailFailureText(const QString &error) const
{
    return QStringLiteral("There was an error sending an alarm email ") + nowText() + kCR +
           QStringLiteral("The email error is:") + kCR + error;
}

void AlarmEvaluation::BeginCycle()
{
    m_backupCopiesMade = 0;
    m_backupCopyFailed = false;
}

void AlarmEvaluation::FinishCycle()
{
    // Sensors deleted, or of a device that did not answer, have their files closed.
    m_files.releaseIdle();
    // One sensor's copy may fail while the others work (its file locked by another program): the
    // episode stays open until a cycle in which every copy worked, so one outage gives one
    // episode and one notice.
    if (m_backupCopiesMade == 0 || m_backupCopyFailed)
        return;
    OpenRecords open;
    if (m_database.RecordOpenBackupFileErrors(open) && open.count > 0)
        m_database.MarkBackupFileErrorBackOnLine(open.lastId);
    m_state.UpdateStatus(BackupErrorKey, QStringLiteral("delete"));
}

bool AlarmEvaluation::CompareToEmailLimits(qint64 deviceId, const QString &modelText, const QString &address)
{
    QList<SensorRecord> sensors;
    int count = 0;
    if (!m_database.RecordSensors(deviceId, sensors, count) || sensors.isEmpty())
        return true;
    QString deviceName, emailList;
    if (!m_database.ServerNameAndEmail(deviceId, deviceName, emailList)) {
        m_state.AddError(kAlarmWhere, m_database.lastError());
        return false;
    }
    // The alarm counts of all its sensors in one query; where they cannot be read, each sensor's
    // are read on their own (and a failure there is logged).
    m_deviceAlarms.emplace();
    if (!m_database.RecordDeviceAlarmCounts(deviceId, *m_deviceAlarms))
        m_deviceAlarms.reset();
    const auto countsRead = qScopeGuard([this] { m_deviceAlarms.reset(); });
    const SensorFileMemory::Batch readingsOfOneDevice(m_files);
    // A failure with one sensor is logged and the others are still evaluated, so their
    // readings and alarms are not lost with it.
    bool allDone = true;
    for (const SensorRecord &record : std::as_const(sensors)) {
        if (!m_state.MonitoringActive())
            break;
        allDone = evaluateSensor(deviceId, modelText, deviceName, address, emailList, record) && allDone;
    }
    return allDone;
}

bool AlarmEvaluation::openAlarmsOf(qint64 sensorId, OpenRecords &open)
{
    if (m_deviceAlarms && !m_sensorAlarmsWritten) {
        open = m_deviceAlarms->value(sensorId).open;
        return true;
    }
    if (m_database.RecordOpenAlarms(QStringLiteral("tblAlarms"), QStringLiteral("SensorIDNum"), sensorId,
                                    QStringLiteral("AlarmEnd"), open))
        return true;
    m_state.AddError(kAlarmWhere, m_database.lastError());
    return false;
}

bool AlarmEvaluation::activeAlarmsOf(qint64 sensorId, int &count)
{
    if (m_deviceAlarms && !m_sensorAlarmsWritten) {
        count = m_deviceAlarms->value(sensorId).active;
        return true;
    }
    if (m_database.RecordActiveAlarms(sensorId, count))
        return true;
    m_state.AddError(kAlarmWhere, m_database.lastError());
    return false;
}

bool AlarmEvaluation::evaluateSensor(qint64 deviceId, const QString &modelText, const QString &deviceName,
                                     const QString &address, const QString &emailList,
                                     const SensorRecord &record)
{
    Sensor sensor;
    sensor.id = record.IDNum;
    sensor.name = record.SensorName;
    sensor.type = record.SensorType;
    sensor.notes = record.SensorNotes;
    sensor.deviceName = deviceName;
    sensor.deviceAddress = address.trimmed();
    sensor.unit = UnitTextForPort(modelText, record.PortNum, m_state.TemperatureScale);
    m_grid.WriteSensorIdentity(deviceName, sensor.name, int(sensor.id), sensor.unit);

    // Values exist for ports 0 to 9 only; any other port reads as no data.
    const int port = record.PortNum;
    sensor.port = port;
    const bool knownPort = port >= 0 && port <= 9;
    const auto &r = m_state.Readings;
    const float reading = knownPort ? r[size_t(3 * port)] : ProgramState::NoDataValue;
    sensor.reading = reading;
    sensor.upperLimit = record.UpperLimit;
    sensor.lowerLimit = record.LowerLimit;
    sensor.minutes = knownPort ? std::lround(r[size_t(3 * port + 1)]) : 0;
    const long alarmByte = knownPort ? std::lround(r[size_t(3 * port + 2)]) : 0;

    const bool real = SensorStateText(reading, sensor.type, sensor.stateText);
    if (real)
        writeDataFiles(sensor, reading);
    m_grid.WriteReading(sensor.stateText);

    bool ok = true;
    m_sensorAlarmsWritten = false;
    // The program may have been closed during the backup notice just sent.
    if (reading != ProgramState::NoDataValue && m_state.MonitoringActive()) {
        ok = recordUnrecorded(sensor.id);
        const bool inAlarm = isCircuitCode(reading) || alarmByte > 0;
        ok = (inAlarm ? openAlarm(deviceId, sensor, emailList) : endAlarm(deviceId, sensor)) && ok;
    }

    int active = 0;
    if (!activeAlarmsOf(sensor.id, active))
        ok = false;
    if (hasOpenUnrecorded(sensor.id))
        ++active;
    using Status = StatusGridModel::SensorStatus;
    if (active > 0)
        m_grid.WriteStatus(Status::Alarm);
    else
        m_grid.WriteStatus(reading == ProgramState::NoDataValue ? Status::NoData : Status::Normal);
    m_grid.MoveToNextRow();
    return ok;
}

void AlarmEvaluation::writeDataFiles(const Sensor &sensor, float reading)
{
    SaveSensorReadingFiles(m_state, m_state.programDirectory(), int(sensor.id), sensor.name,
                           sensor.deviceName, sensor.unit, reading, nullptr, &m_files);
    const QString backup = m_state.Config.LogDirectory.trimmed();
    if (backup != m_backupDirectory) {
        m_files.forget(m_backupDirectory);
        m_backupDirectory = backup;
    }
    if (backup.isEmpty())
        return;
    QString cause;
    const bool copied = SaveSensorReadingFiles(m_state, backup, int(sensor.id), sensor.name,
                                               sensor.deviceName, sensor.unit, reading, &cause, &m_files);
    checkBackupCopy(copied, backup, int(sensor.id), cause);
}

namespace {
// Whether any "*.dat" file is in the directory. The header file just written is one, so it is
// looked for first: listing a directory of thousands of data files for every sensor of every
// device would cost far more than the poll itself.
bool holdsDataFile(const QString &directory, int sensorId)
{
    if (QFileInfo(SensorHeaderPath(directory, sensorId)).isFile())
        return true;
    return QDirIterator(directory, {QStringLiteral("*.dat")}, QDir::Files).hasNext();
}

// Why a backup copy failed, in words. The system service sees the whole file system read-only
// but for the directories its unit lists, so there a read-only directory says where to add one.
QString backupFailureCause(const QString &directory, const QString &writeError)
{
    QString cause = writeError.isEmpty() ? QStringLiteral("no data file could be made there") : writeError;
    struct statvfs info = {};
    const bool readOnly =
        statvfs(QFile::encodeName(directory).constData(), &info) == 0 && (info.f_flag & ST_RDONLY) != 0;
    if (readOnly && qEnvironmentVariableIsSet("INVOCATION_ID"))
        cause +=
            QStringLiteral(" (the file system is read-only to the tallyport service: it may write only to "
                           "its program directory and /var/backups/tallyport unless a drop-in adds "
                           "ReadWritePaths= for this directory; see the README)");
    else if (readOnly)
        cause += QStringLiteral(" (the file system is read-only)");
    return cause;
}
} // namespace

void AlarmEvaluation::checkBackupCopy(bool copied, const QString &directory, int sensorId,
                                      const QString &writeError)
{
    // The copy counts as made only when this write succeeded: an old file left in a directory
    // that can no longer be written must not hide the failure.
    if (copied && holdsDataFile(directory, sensorId)) {
        ++m_backupCopiesMade;
        return;
    }
    m_backupCopyFailed = true;
    const QString cause = backupFailureCause(directory, writeError);
    m_state.UpdateStatus(BackupErrorKey,
                         QDir::toNativeSeparators(directory) + QStringLiteral(".  Error is ") + cause);
    if (m_state.MonitoringActive())
        openBackupEpisode(directory, cause);
}

void AlarmEvaluation::openBackupEpisode(const QString &directory, const QString &cause)
{
    OpenRecords open;
    if (!m_database.RecordOpenBackupFileErrors(open) || open.count > 0)
        return;
    const QString text =
        QStringLiteral("There was an error writing data log files to the programmed directory ") + directory +
        QStringLiteral(".  A backup copy is being kept in ") +
        QDir::toNativeSeparators(m_state.programDirectory()) + QStringLiteral(".  The error is: ") + cause;
    // The episode and its notice together or not at all (the next failed copy tries again): an
    // open episode whose notice was never queued would keep every later one back.
    QString error;
    m_outbox.StoreWithRecord([&] {
        if (!m_database.AddBackupFileError(QStringLiteral("Failed to write log files to backup directory ") +
                                           directory) ||
            !m_database.RecordOpenBackupFileErrors(open) || open.count == 0)
            return false;
        // Queued, the notice's outcome is the outbox's to keep in the episode.
        const qint64 key =
            m_outbox.QueueTextEmail(text, OutboxEntry::Record::BackupFailure, open.lastId, error);
        if (key != 0)
            return m_outbox.Stored(key);
        return m_database.UpdateBackupFileErrorEmailSent(open.lastId, mailFailureText(error));
    });
    if (!error.isEmpty())
        m_state.UpdateStatus(MailErrorKey, QString());
    // The channels keep their own messages; each channel's outcome goes to the episode.
    if (notifier && open.count > 0) {
        NotifyEvent event;
        event.kind = QStringLiteral("backup");
        event.subject = QStringLiteral("Message from Quellmark VKL-E");
        event.text = text;
        notifier->Notify(event, QStringLiteral("tblLogFileBackup"), open.lastId);
    }
}

bool AlarmEvaluation::openAlarm(qint64 deviceId, const Sensor &sensor, const QString &emailList)
{
    // Its alarm is open already, waiting for its record (the failure is logged).
    if (hasOpenUnrecorded(sensor.id))
        return true;
    OpenRecords open;
    if (!openAlarmsOf(sensor.id, open))
        return false;
    if (open.count > 0)
        return true;
    m_sensorAlarmsWritten = true;

    QString message;
    AlarmMessageText(message, sensor.minutes, sensor.deviceName, sensor.name, sensor.type, sensor.stateText,
                     sensor.unit, sensor.notes);
    const QDateTime start = m_state.readingsTime();
    // The record, its e-mail, the e-mail's outcome in the record and the channels' messages are
    // stored together or not at all; the e-mail is queued once per alarm, even while its record
    // cannot be written.
    NotificationOutcome mail;
    qint64 alarmId = 0;
    const bool recorded = m_outbox.StoreWithRecord([&] {
        if (!m_database.AddAlarmRecord(sensor.id, start, sensor.deviceName, sensor.name, sensor.stateText,
                                       sensor.minutes, -1, &alarmId))
            return false;
        // The messages carry the link to the alarm's page; the record keeps the message alone.
        const QString sent = WithLink(message, alarmRecorded(deviceId, sensor, alarmId, start));
        mail = queueAlarmEmail(deviceId, sensor, emailList, sent, alarmId);
        if (!((!mail.queued() || m_outbox.Stored(mail.outboxKey)) && writeOutcome(alarmId, mail, message)))
            return false;
        notifyChannels(QStringLiteral("alarm"), deviceId, sensor, sent, alarmId);
        return true;
    });
    if (recorded)
        return true;
    const QString recordError = m_database.lastError();
    // Any e-mail queued went with the rolled-back record: queued again, to wait for its record.
    mail = queueAlarmEmail(deviceId, sensor, emailList, message, 0);
    notifyChannels(QStringLiteral("alarm"), deviceId, sensor, message, 0);
    keepUnrecorded(deviceId, sensor, start, message, mail);
    // Nobody can acknowledge it before its record stands: it is reminded and escalated meanwhile.
    if (response)
        response->AlarmUnrecorded(opened(deviceId, sensor, 0, start));
    m_state.AddError(kAlarmWhere, recordError);
    return false;
}

QString AlarmEvaluation::WithLink(const QString &message, const QString &link)
{
    if (link.isEmpty())
        return message;
    return message + kCR + QStringLiteral("See or acknowledge this alarm: ") + link + kCR;
}

AlarmResponse::OpenedAlarm AlarmEvaluation::opened(qint64 deviceId, const Sensor &sensor, qint64 alarmId,
                                                   const QDateTime &start)
{
    AlarmResponse::OpenedAlarm opened;
    opened.alarmId = alarmId;
    opened.sensorId = sensor.id;
    opened.deviceId = deviceId;
    opened.deviceName = sensor.deviceName;
    opened.sensorName = sensor.name;
    opened.address = sensor.deviceAddress;
    opened.start = start;
    opened.port = sensor.port;
    return opened;
}

QString AlarmEvaluation::alarmRecorded(qint64 deviceId, const Sensor &sensor, qint64 alarmId,
                                       const QDateTime &start)
{
    return response ? response->AlarmRecorded(opened(deviceId, sensor, alarmId, start)) : QString();
}

bool AlarmEvaluation::writeOutcome(qint64 alarmId, const NotificationOutcome &mail, const QString &message)
{
    if (mail.queued())
        return m_database.UpdateAlarmCause(alarmId, message);
    return m_database.UpdateAlarmEmailSent(alarmId, mail.text, message);
}

void AlarmEvaluation::keepUnrecorded(qint64 deviceId, const Sensor &sensor, const QDateTime &start,
                                     const QString &message, const NotificationOutcome &mail)
{
    AlarmRecord alarm;
    alarm.SensorIDNum = sensor.id;
    alarm.AlarmStart = start;
    alarm.AlarmActive = true;
    alarm.CauseOfAlarm = message;
    alarm.Server = sensor.deviceName;
    alarm.Sensor = sensor.name;
    alarm.CurrentData = sensor.stateText;
    alarm.TOL = sensor.minutes;
    QList<UnrecordedAlarm> &alarms = m_unrecorded[sensor.id];
    alarms.append({alarm, mail, deviceId, sensor.deviceAddress});
    if (alarms.size() > kMaxUnrecorded) {
        const UnrecordedAlarm given = alarms.takeFirst();
        const AlarmRecord &lost = given.record;
        // Its e-mail still goes out, but no longer waits for the record.
        if (given.mail.queued())
            m_outbox.DetachRecord(given.mail.outboxKey);
        m_state.AddError(kAlarmWhere, QStringLiteral("The alarm of %1 that started %2 could not be recorded")
                                          .arg(lost.Sensor, DateTimeText(lost.AlarmStart)));
    }
}

bool AlarmEvaluation::recordUnrecorded(qint64 sensorId)
{
    const auto found = m_unrecorded.find(sensorId);
    if (found == m_unrecorded.end())
        return true;
    QList<UnrecordedAlarm> &alarms = *found;
    m_sensorAlarmsWritten = true;
    while (!alarms.isEmpty()) {
        UnrecordedAlarm &alarm = alarms.first();
        // The e-mail's outcome as it stands now; the outbox keeps it up to date from here on.
        alarm.record.EmailSent = alarm.mail.recordText(m_outbox);
        const bool recorded = m_outbox.StoreWithRecord([&] {
            qint64 alarmId = 0;
            if (!m_database.RecordAlarm(alarm.record, &alarmId))
                return false;
            if (response && alarm.record.AlarmActive)
                response->AlarmRecorded({alarmId, alarm.record.SensorIDNum, alarm.deviceId,
                                         alarm.record.Server, alarm.record.Sensor, alarm.address,
                                         alarm.record.AlarmStart});
            if (!alarm.mail.queued())
                return true;
            m_outbox.AttachRecord(alarm.mail.outboxKey, alarmId);
            return m_outbox.Stored(alarm.mail.outboxKey) ||
                   m_outbox.RecordText(alarm.mail.outboxKey).isNull();
        });
        if (!recorded) {
            m_state.AddError(kAlarmWhere, m_database.lastError());
            return false;
        }
        alarms.removeFirst();
    }
    m_unrecorded.erase(found);
    return true;
}

bool AlarmEvaluation::hasOpenUnrecorded(qint64 sensorId) const
{
    const auto found = m_unrecorded.constFind(sensorId);
    return found != m_unrecorded.constEnd() && !found->isEmpty() && found->last().record.AlarmActive;
}

NotificationOutcome AlarmEvaluation::queueAlarmEmail(qint64 deviceId, const Sensor &sensor,
                                                     const QString &emailList, const QString &message,
                                                     qint64 alarmId)
{
    if (emailList.trimmed().isEmpty())
        return {0,
                QStringLiteral("An attempt to send an alarm email was made at: ") + nowText() + kCR +
                    QStringLiteral("The email could not be sent as no email addresses have been programmed "
                                   "for this device.")};
    QString error;
    const qint64 key = m_outbox.QueueAlarmEmail(int(deviceId), sensor.name, message, alarmId, error);
    if (key != 0)
        return {key, QString()};
    m_state.UpdateStatus(MailErrorKey, QStringLiteral("See Alarm Tab for details"));
    return {0, mailFailureText(error)};
}

void AlarmEvaluation::notifyChannels(const QString &kind, qint64 deviceId, const Sensor &sensor,
                                     const QString &text, qint64 alarmId)
{
    if (!notifier || !notifier->HasChannels())
        return;
    NotifyEvent event;
    event.kind = kind;
    event.time = m_state.readingsTime();
    event.device = sensor.deviceName;
    event.address = sensor.deviceAddress;
    QVariant address;
    if (event.address.isEmpty() && m_database.GetFieldValue(deviceId, QStringLiteral("tblServers"),
                                                            QStringLiteral("ServerIPAddress"), address))
        event.address = address.toString().trimmed();
    event.port = sensor.port;
    event.sensor = sensor.name;
    event.sensorId = sensor.id;
    if (!isCircuitCode(sensor.reading))
        event.reading = double(sensor.reading);
    event.units = sensor.unit;
    event.state = sensor.stateText;
    event.upperLimit = sensor.upperLimit;
    event.lowerLimit = sensor.lowerLimit;
    event.alarmNumber = alarmId;
    const bool start = kind == QLatin1String("alarm");
    event.subject =
        QStringLiteral("Sensor: ") + sensor.name +
        (start ? QStringLiteral(" has generated an alarm!") : QStringLiteral(" is back to normal"));
    event.text = text;
    event.text.replace(kCR, QLatin1Char('\n'));
    notifier->Notify(event, alarmId > 0 ? QStringLiteral("tblAlarms") : QString(), alarmId);
}

bool AlarmEvaluation::endAlarm(qint64 deviceId, const Sensor &sensor)
{
    const qint64 sensorId = sensor.id;
    // An alarm still waiting for its record ends there; the record is written whole later.
    if (hasOpenUnrecorded(sensorId)) {
        AlarmRecord &alarm = m_unrecorded[sensorId].last().record;
        alarm.AlarmEnd = m_state.readingsTime();
        alarm.AlarmActive = false;
        if (response)
            response->UnrecordedEnded(sensorId);
        return true;
    }
    OpenRecords open;
    if (!openAlarmsOf(sensorId, open))
        return false;
    if (open.count == 0)
        return true;
    m_sensorAlarmsWritten = true;
    // The end and the channels' messages about it are one commit (or none: the next cycle ends
    // the alarm again).
    const bool ended = m_database.runInTransaction([&] {
        if (!m_database.EndAlarm(open.lastId, m_state.readingsTime()))
            return false;
        notifyChannels(QStringLiteral("alarm-end"), deviceId, sensor,
                       sensor.name + QStringLiteral(" connected to server ") + sensor.deviceName +
                           QStringLiteral(" is back to normal: ") + sensor.stateText,
                       open.lastId);
        return true;
    });
    if (!ended)
        m_state.AddError(kAlarmWhere, m_database.lastError());
    else if (response)
        response->AlarmEnded(sensorId, open.lastId);
    return ended;
}

bool AlarmEvaluation::AnnounceAlarms()
{
    if (!m_grid.AnyRowAlarming())
        return false;
    if (announce)
        announce(QStringLiteral("There is a temperature alarm.  Please view status on Tallyport."));
    return true;
}
