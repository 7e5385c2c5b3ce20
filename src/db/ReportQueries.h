#pragma once

#include "Records.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

class QSqlQuery;

// A named sensor with the name of its device, as a report lists it.
struct ReportSensorRow {
    qint64 IDNum = 0;
    qint64 ServerIDNum = 0;
    QString ServerName; // empty when the device row is gone
    QString SensorName;
    int PortNum = 0;
    QString SensorType;
};

// The reads a report makes of the database, on a connection of its own that only reads: it may
// live on any thread (the one that makes it uses it and destroys it) and never waits on, or
// holds up, the writes of the poll cycle. Failures come back as false with lastError(); nothing
// is logged here, so a worker thread touches nothing of the program's.
class ReportQueries {
public:
    explicit ReportQueries(const QString &databasePath);
    ~ReportQueries();
    ReportQueries(const ReportQueries &) = delete;
    ReportQueries &operator=(const ReportQueries &) = delete;

    // Every named sensor, by device name (case-insensitive) and port.
    bool NamedSensors(QList<ReportSensorRow> &rows);
    // The alarms that may overlap [from, to): every alarm that is open or ended at or after
    // from. Whether it began before to is for the caller to decide (rows written by older tools
    // hold dates that do not sort as text).
    bool AlarmsEndingFrom(const QDateTime &from, QList<AlarmRecord> &rows);
    // Every device failure episode (their end is a text that does not sort).
    bool ServerFailures(QList<ServerFailureRecord> &rows);

    const QString &lastError() const { return m_lastError; }

private:
    bool open();
    bool fail(const QString &text);
    // Runs sql with values bound in order and reads every row with read.
    template <typename Row>
    bool readAll(const QString &sql, const QVariantList &values, QList<Row> &rows,
                 Row (*read)(const QSqlQuery &));

    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
    QString m_lastError;
};
