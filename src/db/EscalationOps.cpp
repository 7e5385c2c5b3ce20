// The escalation of alarms: tblEscalations, one row per recorded alarm.
#include "Database.h"

#include <QSqlQuery>

const char EscalationsTableSql[] =
    "CREATE TABLE tblEscalations (AlarmID INTEGER PRIMARY KEY, DeviceID INTEGER, "
    "Address TEXT, LinkKey TEXT, "
    "StartedAt TEXT, Reminders INTEGER, StepsDone TEXT, Told TEXT, Closed INTEGER)";

namespace {
const QString kEscalationColumns = QStringLiteral(
    "e.AlarmID, e.LinkKey, e.StartedAt, e.Reminders, e.StepsDone, e.Told, e.Closed, e.DeviceID, "
    "e.Address");

// A start with its offset from UTC, so that a restart in another time zone or after a change of
// daylight saving time counts from the same instant.
QString storedStart(const QDateTime &when)
{
    return when.isValid() ? when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate) : QString();
}

QString stepsText(const QList<int> &steps)
{
    QStringList numbers;
    for (int step : steps)
        numbers.append(QString::number(step));
    return numbers.join(QLatin1Char(','));
}

EscalationRow escalationFrom(const QSqlQuery &query)
{
    EscalationRow row;
    row.AlarmID = query.value(0).toLongLong();
    row.LinkKey = query.value(1).toString();
    row.StartedAt = QDateTime::fromString(query.value(2).toString(), Qt::ISODate);
    row.Reminders = query.value(3).toInt();
    for (const QString &step : query.value(4).toString().split(QLatin1Char(','), Qt::SkipEmptyParts))
        row.StepsDone.append(step.toInt());
    row.Told = query.value(5).toString();
    row.Closed = query.value(6).toInt() != 0;
    row.DeviceID = query.value(7).toLongLong();
    row.Address = query.value(8).toString();
    return row;
}
} // namespace

bool Database::AddEscalation(const EscalationRow &row)
{
    return bool(
        run(QStringLiteral("INSERT INTO tblEscalations (AlarmID, DeviceID, Address, LinkKey, StartedAt, "
                           "Reminders, StepsDone, Told, Closed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {row.AlarmID, row.DeviceID, row.Address, row.LinkKey, storedStart(row.StartedAt), row.Reminders,
             stepsText(row.StepsDone), row.Told, row.Closed ? 1 : 0}));
}

bool Database::SaveEscalation(const EscalationRow &row)
{
    Statement query =
        run(QStringLiteral("UPDATE tblEscalations SET StartedAt = ?, Reminders = ?, StepsDone = ?, "
                           "Told = ?, Closed = ? WHERE AlarmID = ?"),
            {storedStart(row.StartedAt), row.Reminders, stepsText(row.StepsDone), row.Told,
             row.Closed ? 1 : 0, row.AlarmID});
    return query && (query->numRowsAffected() > 0 ||
                     fail(QStringLiteral("Alarm %1 has no escalation row.").arg(row.AlarmID)));
}

bool Database::EscalationOf(qint64 alarmId, EscalationRow &row, bool &found)
{
    found = false;
    Statement query =
        run(QStringLiteral("SELECT %1 FROM tblEscalations e WHERE e.AlarmID = ?").arg(kEscalationColumns),
            {alarmId});
    if (!query)
        return false;
    if (query->next()) {
        row = escalationFrom(*query);
        found = true;
    }
    return true;
}

bool Database::EscalationsOfOpenAlarms(QList<EscalationRow> &rows)
{
    rows.clear();
    Statement query =
        run(QStringLiteral("SELECT %1 FROM tblEscalations e JOIN tblAlarms a ON a.IDNum = e.AlarmID "
                           "WHERE a.AlarmActive = -1 ORDER BY e.AlarmID")
                .arg(kEscalationColumns));
    if (!query)
        return false;
    while (query->next())
        rows.append(escalationFrom(*query));
    return true;
}
