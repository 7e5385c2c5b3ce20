// Sensors: tblSensors.
#include "Database.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cmath>

namespace {
SensorRecord sensorFrom(const QSqlQuery &query)
{
    SensorRecord row;
    row.IDNum = query.value(0).toLongLong();
    row.ServerIDNum = query.value(1).toLongLong();
    row.SensorName = query.value(2).toString();
    row.PortNum = query.value(3).toInt();
    row.SensorNotes = query.value(4).toString();
    row.SensorType = query.value(5).toString();
    if (!query.value(6).isNull())
        row.UpperLimit = query.value(6).toDouble();
    if (!query.value(7).isNull())
        row.LowerLimit = query.value(7).toDouble();
    if (!query.value(8).isNull())
        row.TOL = query.value(8).toLongLong();
    return row;
}

// A limit as typed in an editor: a number, or Null when blank or not a number.
QVariant numberOrNull(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? QVariant(value) : QVariant();
}

QVariant wholeNumberOrNull(const QString &text)
{
    const QVariant number = numberOrNull(text);
    return number.isNull() ? number : QVariant(qint64(std::llround(number.toDouble())));
}
} // namespace

bool Database::RecordSensors(qint64 serverId, QList<SensorRecord> &rows, int &count)
{
    count = 0;
    if (!remembered(&ReadMemo::sensors, serverId, rows,
                    [&](QList<SensorRecord> &read) { return readSensorRows(serverId, read); })) {
        rows.clear();
        return failWithLog(QStringLiteral("RecordSensors()"));
    }
    count = int(rows.size());
    return count > 0; // no named sensor: false, nothing to report
}

bool Database::readSensorRows(qint64 serverId, QList<SensorRecord> &rows)
{
    rows.clear();
    Statement query = run(QStringLiteral("SELECT IDNum, ServerIDNum, SensorName, PortNum, SensorNotes, "
                                         "SensorType, UpperLimit, LowerLimit, TOL FROM tblSensors "
                                         "WHERE ServerIDNum = ? AND length(SensorName) <> 0 "
                                         "ORDER BY PortNum, IDNum"),
                          {serverId});
    if (!query)
        return false;
    while (query->next())
        rows.append(sensorFrom(*query));
    return !query->lastError().isValid() || fail(query->lastError().text());
}

bool Database::SensorById(qint64 sensorId, SensorRecord &row, bool &found)
{
    found = false;
    Statement query = run(QStringLiteral("SELECT IDNum, ServerIDNum, SensorName, PortNum, SensorNotes, "
                                         "SensorType, UpperLimit, LowerLimit, TOL FROM tblSensors "
                                         "WHERE IDNum = ? AND length(SensorName) <> 0"),
                          {sensorId});
    if (!query)
        return false;
    if (query->next()) {
        row = sensorFrom(*query);
        found = true;
    }
    return !query->lastError().isValid() || fail(query->lastError().text());
}

bool Database::CountNamedSensors(int &count)
{
    count = 0;
    {
        Statement query =
            run(QStringLiteral("SELECT COUNT(*) FROM tblSensors WHERE length(SensorName) <> 0"));
        if (query && query->next()) {
            count = query->value(0).toInt();
            return count > 0;
        }
        if (query)
            fail(query->lastError().text());
    }
    return failWithLog(QStringLiteral("CountNamedSensors()"));
}

bool Database::SensorExists(qint64 serverId, int port)
{
    Statement query =
        run(QStringLiteral("SELECT 1 FROM tblSensors WHERE ServerIDNum = ? AND PortNum = ? LIMIT 1"),
            {serverId, port});
    return query && query->next();
}

bool Database::GetSensorNotes(qint64 serverId, int port, QString &notes)
{
    notes.clear();
    {
        Statement query = run(QStringLiteral("SELECT SensorNotes FROM tblSensors WHERE ServerIDNum = ? "
                                             "AND PortNum = ? ORDER BY IDNum LIMIT 1"),
                              {serverId, port});
        if (query && query->next()) {
            notes = query->value(0).toString();
            return true;
        }
        if (query && !query->lastError().isValid())
            return true; // no row: empty notes
        if (query)
            fail(query->lastError().text());
    }
    return failWithMessage(QStringLiteral("Error adding server, the error is "));
}

bool Database::SaveSensor(qint64 serverId, const QString &name, int port, const QString &notes,
                          const QString &type, const QString &upperLimit, const QString &lowerLimit,
                          const QString &tol)
{
    SensorColumns columns;
    columns.name = name;
    columns.notes = notes;
    columns.limits = SensorColumns::Limits{upperLimit, lowerLimit, tol};
    return SaveSensorColumns(serverId, port, type, columns);
}

bool Database::SaveSensorColumns(qint64 serverId, int port, const QString &type, const SensorColumns &columns)
{
    if (columns.empty())
        return true;
    QStringList assignments;
    QVariantList values;
    const auto set = [&](const char *column, const QVariant &value) {
        assignments.append(QLatin1String(column) + QStringLiteral(" = ?"));
        values.append(value);
    };
    if (columns.name)
        set("SensorName", *columns.name);
    if (columns.notes)
        set("SensorNotes", *columns.notes);
    QVariant upper, lower, minutes; // Null: no limit
    if (columns.limits) {
        upper = numberOrNull(columns.limits->upper);
        lower = numberOrNull(columns.limits->lower);
        minutes = wholeNumberOrNull(columns.limits->tol);
        set("UpperLimit", upper);
        set("LowerLimit", lower);
        set("TOL", minutes);
    }
    const bool saved = runInTransaction([&] {
        int updated = 0;
        {
            // An existing port keeps the type it was first saved with.
            Statement update =
                run(QStringLiteral("UPDATE tblSensors SET ") + assignments.join(QStringLiteral(", ")) +
                        QStringLiteral(" WHERE ServerIDNum = ? AND PortNum = ?"),
                    values + QVariantList{serverId, port});
            if (!update)
                return false;
            updated = update->numRowsAffected();
        }
        if (updated > 0)
            return true;
        return bool(
            run(QStringLiteral("INSERT INTO tblSensors (ServerIDNum, SensorName, PortNum, SensorNotes, "
                               "SensorType, UpperLimit, LowerLimit, TOL) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                {serverId, columns.name.value_or(QString()), port, columns.notes.value_or(QString()), type,
                 upper, lower, minutes}));
    });
    return saved || failWithMessage(QStringLiteral("Error adding server, the error is "));
}
