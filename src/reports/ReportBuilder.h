#pragma once

#include "Report.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>

// What a report is to cover and where its data is.
struct ReportRequest {
    QString dataDirectory; // where the sensors' data files are (the program directory)
    QString databasePath;
    ReportPeriod period;
    QDateTime now; // the time the report is made; open alarms and failures count up to it
    ReportHeading heading;
    // The sensors to report on; empty means every sensor, also those no longer named in the
    // database that have readings or alarms in the period.
    QList<qint64> sensorIds;
};

// Called after each sensor is read: how many are done of how many.
using ReportProgress = std::function<void(int done, int total)>;

// Makes the report: the figures of every sensor from its hourly statistics file, its alarms and
// the device failure episodes from the database. Safe on a worker thread: it reads files and
// its own database connection and touches nothing else. False with the cause when the
// database cannot be read or the period is empty, or when *cancel became true; a data file that
// cannot be read is a problem the report names, not a failure.
bool BuildReport(const ReportRequest &request, Report &report, QString &error,
                 const ReportProgress &progress = {}, const std::atomic_bool *cancel = nullptr);

// The seconds of [from, to) covered by at least one of the intervals (overlaps count once).
qint64 SecondsCovered(QList<std::pair<QDateTime, QDateTime>> intervals, const QDateTime &from,
                      const QDateTime &to);
