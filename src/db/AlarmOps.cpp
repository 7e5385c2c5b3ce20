// Sensor alarms: tblAlarms.
#include "Database.h"
#include "RowReaders.h"

#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace {
// The stored value of the yes/no column AlarmActive.
constexpr int kTrue = -1;
constexpr int kFalse = 0;

} // namespace

bool Database::AddAlarmRecord(qint64 sensorId, const QDateTime &alarmStart, const QString &serverName,
                              const QString &sensorName, const QString &currentData, qint64 tol, int active,
                              qint64 *newId)
{
    Statement query =
        run(QStringLiteral("INSERT INTO tblAlarms (SensorIDNum, AlarmStart, AlarmActive, Server, "
                           "Sensor, CurrentData, TOL) VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {sensorId, StoredDateTime(alarmStart), active != 0 ? kTrue : kFalse, serverName, sensorName,
             currentData, tol});
    if (!query)
        return failWithLog(QStringLiteral("Error adding alarm record to tblAlarms"));
    if (newId)
        *newId = query->lastInsertId().toLongLong();
    return true;
}

bool Database::RecordAlarm(const AlarmRecord &alarm, qint64 *newId)
{
    const QVariant end = alarm.AlarmEnd.isValid() ? QVariant(StoredDateTime(alarm.AlarmEnd)) : QVariant();
    Statement query =
        run(QStringLiteral(
                "INSERT INTO tblAlarms (SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, EmailSent, "
                "CauseOfAlarm, Server, Sensor, CurrentData, TOL) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {alarm.SensorIDNum, StoredDateTime(alarm.AlarmStart), end, alarm.AlarmActive ? kTrue : kFalse,
             alarm.EmailSent, alarm.CauseOfAlarm, alarm.Server, alarm.Sensor, alarm.CurrentData, alarm.TOL});
    if (!query)
        return false;
    if (newId)
        *newId = query->lastInsertId().toLongLong();
    return true;
}

bool Database::RecordOpenAlarms(const QString &table, const QString &keyColumn, qint64 keyValue,
                                const QString &endColumn, OpenRecords &found)
{
    found = OpenRecords();
    m_lastError.clear();
    if (open()) {
        const QString quotedTable = checkedTable(table);
        const QString quotedKey = quotedTable.isEmpty() ? QString() : checkedColumn(table, keyColumn);
        const QString quotedEnd = quotedKey.isEmpty() ? QString() : checkedColumn(table, endColumn);
        if (!quotedEnd.isEmpty()) {
            // Without an order the last row is the newest one; the count covers all of them.
            Statement query =
                run(QStringLiteral("SELECT COUNT(*), MAX(rowid) FROM %1 WHERE %2 = ? AND %3 IS NULL")
                        .arg(quotedTable, quotedKey, quotedEnd),
                    {keyValue});
            if (query && query->next()) {
                found.count = query->value(0).toInt();
                found.lastId = found.count > 0 ? query->value(1).toLongLong() : 0;
                return true;
            }
            if (query)
                fail(query->lastError().text());
        }
    }
    return failWithLog(QStringLiteral("Error RecordOpenAlarms"));
}

bool Database::RecordActiveAlarms(qint64 sensorId, int &count)
{
    count = 0;
    {
        Statement query =
            run(QStringLiteral("SELECT COUNT(*) FROM tblAlarms WHERE SensorIDNum = ? AND AlarmActive = ?"),
                {sensorId, kTrue});
        if (query && query->next()) {
            count = query->value(0).toInt();
            return true;
        }
        if (query)
            fail(query->lastError().text());
    }
    return failWithLog(QStringLiteral("RecordActiveAlarms"));
}

bool Database::RecordDeviceAlarmCounts(qint64 serverId, QHash<qint64, SensorAlarmCounts> &counts)
{
    if (remembered(&ReadMemo::alarmCounts, serverId, counts,
                   [&](QHash<qint64, SensorAlarmCounts> &read) { return readDeviceAlarmCounts(serverId, read); }))
        return true;
    // Not logged: the caller reads each sensor's counts on their own then, and those reads log.
    counts.clear();
    return false;
}

bool Database::readDeviceAlarmCounts(qint64 serverId, QHash<qint64, SensorAlarmCounts> &counts)
{
    counts.clear();
    // Two selects, so that each finds its rows through its own index as the queries for one
    // sensor do, and plain rows counted here: a grouping or an IN list would make SQLite build a
    // temporary table for every device. The newest open alarm has the highest key.
    Statement query = run(QStringLiteral("SELECT a.SensorIDNum, a.rowid, 1 FROM tblSensors s JOIN tblAlarms a "
                                         "ON a.SensorIDNum = s.IDNum WHERE s.ServerIDNum = ? AND "
                                         "a.AlarmEnd IS NULL UNION ALL SELECT a.SensorIDNum, a.rowid, 0 "
                                         "FROM tblSensors s JOIN tblAlarms a ON a.SensorIDNum = s.IDNum "
                                         "WHERE s.ServerIDNum = ? AND a.AlarmActive = ?"),
                          {serverId, serverId, kTrue});
    if (!query)
        return false;
    while (query->next()) {
        SensorAlarmCounts &sensor = counts[query->value(0).toLongLong()];
        if (query->value(2).toInt() == 1) {
            ++sensor.open.count;
            sensor.open.lastId = qMax(sensor.open.lastId, query->value(1).toLongLong());
        } else {
            ++sensor.active;
        }
    }
    return !query->lastError().isValid() || fail(query->lastError().text());
}

namespace {
QString noRowText(qint64 id)
{
    return QStringLiteral("There is no alarm number %1.").arg(id);
}
} // namespace

bool Database::UpdateAlarmEmailSent(qint64 alarmId, const QString &emailSent, const QString &causeOfAlarm)
{
    Statement query =
        run(QStringLiteral("UPDATE tblAlarms SET EmailSent = ?, CauseOfAlarm = ? WHERE IDNum = ?"),
            {emailSent, causeOfAlarm, alarmId});
    return query && (query->numRowsAffected() > 0 || fail(noRowText(alarmId)));
}

bool Database::UpdateAlarmCause(qint64 alarmId, const QString &causeOfAlarm)
{
    Statement query =
        run(QStringLiteral("UPDATE tblAlarms SET CauseOfAlarm = ? WHERE IDNum = ?"), {causeOfAlarm, alarmId});
    return query && (query->numRowsAffected() > 0 || fail(noRowText(alarmId)));
}

bool Database::EndAlarm(qint64 alarmId, const QDateTime &end)
{
    Statement query =
        run(QStringLiteral("UPDATE tblAlarms SET AlarmEnd = ?, AlarmActive = ? WHERE IDNum = ?"),
            {end.isValid() ? StoredDateTime(end) : storedNow(), kFalse, alarmId});
    return query && (query->numRowsAffected() > 0 || fail(noRowText(alarmId)));
}

bool Database::SaveAlarmResolution(qint64 alarmId, const QString &resolution)
{
    Statement query =
        run(QStringLiteral("UPDATE tblAlarms SET Resolution = ? WHERE IDNum = ?"), {resolution, alarmId});
    return query && (query->numRowsAffected() > 0 || fail(noRowText(alarmId)));
}

bool Database::CountAlarms(int &count)
{
    count = 0;
    Statement query = run(QStringLiteral("SELECT COUNT(*) FROM tblAlarms"));
    if (!query)
        return false;
    if (!query->next())
        return fail(query->lastError().text());
    count = query->value(0).toInt();
    return true;
}

bool Database::AlarmsNewestFirst(QList<AlarmRecord> &rows, int offset, int limit, qint64 upToId)
{
    return alarmsWhere(QStringLiteral("IDNum <= ? ORDER BY AlarmStart DESC, IDNum DESC LIMIT ? OFFSET ?"),
                       {upToId > 0 ? upToId : std::numeric_limits<qint64>::max(), limit, offset}, rows);
}

bool Database::ActiveAlarmsNewestFirst(QList<AlarmRecord> &rows)
{
    return alarmsWhere(QStringLiteral("AlarmActive = ? ORDER BY AlarmStart DESC, IDNum DESC"), {kTrue}, rows);
}

bool Database::SensorAlarmsBetween(qint64 sensorId, const QDateTime &from, const QDateTime &to, int limit,
                                   QList<AlarmRecord> &rows)
{
    return alarmsWhere(
        QStringLiteral("SensorIDNum = ? AND AlarmStart < ? AND (AlarmActive = ? OR AlarmEnd >= ?) "
                       "ORDER BY AlarmStart, IDNum LIMIT ?"),
        {sensorId, StoredDateTime(to), kTrue, StoredDateTime(from), limit}, rows);
}

bool Database::alarmsWhere(const QString &condition, const QVariantList &values, QList<AlarmRecord> &rows)
{
    rows.clear();
    if (!open())
        return false;
    // A file the upgrade could not add the acknowledgements to (it was read-only) still shows its
    // alarms, none acknowledged.
    const bool withAcks = m_columns.contains(QStringLiteral("tblalarmacks"));
    Statement query =
        withAcks ? run(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                           .arg(RowReaders::AlarmWithAckColumns, RowReaders::AlarmWithAckTables, condition),
                       values)
                 : run(QStringLiteral("SELECT %1 FROM tblAlarms WHERE %2")
                           .arg(RowReaders::AlarmColumns, condition),
                       values);
    if (!query)
        return false;
    while (query->next())
        rows.append(withAcks ? RowReaders::AlarmWithAck(*query) : RowReaders::Alarm(*query));
    if (query->lastError().isValid()) {
        rows.clear();
        return fail(query->lastError().text());
    }
    return true;
}
