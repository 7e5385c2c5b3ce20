#include "ReportQueries.h"

#include "RowReaders.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

ReportQueries::ReportQueries(const QString &databasePath)
    : m_path(databasePath),
      m_connectionName(QStringLiteral("tallyport-report-%1").arg(reinterpret_cast<quintptr>(this), 0, 16))
{
}

ReportQueries::~ReportQueries()
{
    if (m_db.isValid())
        m_db.close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

bool ReportQueries::fail(const QString &text)
{
    m_lastError = text;
    return false;
}

bool ReportQueries::open()
{
    if (m_db.isOpen())
        return true;
    if (!QFileInfo(m_path).isFile())
        return fail(QStringLiteral("The database file %1 is missing.").arg(QDir::toNativeSeparators(m_path)));
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    const QString uri =
        QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath()).toString(QUrl::FullyEncoded);
    m_db.setDatabaseName(uri + QStringLiteral("?mode=ro"));
    // A reader waits a little for a writer that holds the file; with the write-ahead log it
    // never has to.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
    if (!m_db.open())
        return fail(m_db.lastError().text());
    return true;
}

namespace {
ReportSensorRow reportSensorFrom(const QSqlQuery &query)
{
    ReportSensorRow row;
    row.IDNum = query.value(0).toLongLong();
    row.ServerIDNum = query.value(1).toLongLong();
    row.ServerName = query.value(2).toString();
    row.SensorName = query.value(3).toString();
    row.PortNum = query.value(4).toInt();
    row.SensorType = query.value(5).toString();
    return row;
}
} // namespace

template <typename Row>
bool ReportQueries::readAll(const QString &sql, const QVariantList &values, QList<Row> &rows,
                            Row (*read)(const QSqlQuery &))
{
    rows.clear();
    if (!open())
        return false;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return fail(query.lastError().text());
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return fail(query.lastError().text());
    while (query.next())
        rows.append(read(query));
    if (query.lastError().isValid()) {
        rows.clear();
        return fail(query.lastError().text());
    }
    return true;
}

bool ReportQueries::NamedSensors(QList<ReportSensorRow> &rows)
{
    return readAll(
        QStringLiteral(
            "SELECT s.IDNum, s.ServerIDNum, v.ServerName, s.SensorName, s.PortNum, s.SensorType "
            "FROM tblSensors s LEFT JOIN tblServers v ON v.IDNum = s.ServerIDNum "
            "WHERE length(s.SensorName) <> 0 ORDER BY v.ServerName COLLATE NOCASE, v.IDNum, s.PortNum"),
        {}, rows, &reportSensorFrom);
}

bool ReportQueries::AlarmsEndingFrom(const QDateTime &from, QList<AlarmRecord> &rows)
{
    // An end that is not in the sortable form cannot be compared as text: such rows are read.
    return readAll(QStringLiteral("SELECT %1 FROM tblAlarms WHERE AlarmEnd IS NULL OR AlarmEnd >= ? OR "
                                  "AlarmEnd NOT GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] *' "
                                  "ORDER BY AlarmStart, IDNum")
                       .arg(RowReaders::AlarmColumns),
                   {StoredDateTime(from)}, rows, &RowReaders::Alarm);
}

bool ReportQueries::ServerFailures(QList<ServerFailureRecord> &rows)
{
    return readAll(QStringLiteral("SELECT %1 FROM tblServerFailures ORDER BY OffLine, IDNum")
                       .arg(RowReaders::ServerFailureColumns),
                   {}, rows, &RowReaders::ServerFailure);
}
