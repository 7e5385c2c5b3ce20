#pragma once

#include "ReportPeriod.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// One clock hour of a sensor's readings, as the charts draw it.
struct ReportHour {
    qint64 startMs = 0; // the hour's first minute, in milliseconds since the epoch
    float minimum = 0;
    float maximum = 0;
    double mean = 0;
};

// What a report says about one sensor over its period.
struct SensorSummary {
    qint64 sensorId = 0;
    qint64 deviceId = 0;
    QString device;
    QString sensor;
    QString unit;
    // The sensor is no longer named in the database; what is known of it comes from its data
    // files or its alarms.
    bool removed = false;

    qint64 readings = 0;
    float minimum = 0; // meaningful only when readings > 0
    float maximum = 0;
    double mean = 0; // weighted by each hour's number of readings
    int hoursWithData = 0;
    qint64 alarmSeconds = 0; // time in alarm inside the period (overlapping alarms counted once)
    int alarmCount = 0;      // alarms that overlap the period
    std::vector<ReportHour> hours;
    // Why the data files could not be read, when they could not.
    QString problem;

    bool hasData() const { return readings > 0; }
};

// An alarm that overlaps the period.
struct ReportAlarm {
    qint64 alarmId = 0;
    qint64 sensorId = 0;
    QDateTime start;
    QDateTime end; // invalid while the alarm is open
    qint64 secondsInPeriod = 0;
    QString device;
    QString sensor;
    QString cause;
    QString emailSent;
    QString resolution;
};

// A device failure episode that overlaps the period.
struct ReportFailure {
    qint64 episodeId = 0;
    qint64 deviceId = 0;
    QString device;
    QDateTime offLine;
    QDateTime backOnLine;   // invalid while the device is still failing
    QString backOnLineText; // as stored, for an end that does not read as a date
    qint64 secondsInPeriod = 0;
    QString emailSent;
};

// Who the report is for, from the settings.
struct ReportHeading {
    QString organization;
    QString address;
    QString phone;
};

struct Report {
    ReportHeading heading;
    ReportPeriod period;
    QDateTime made;
    QList<SensorSummary> sensors;
    QList<ReportAlarm> alarms;     // by start
    QList<ReportFailure> failures; // by time off line
    // What could not be read (a data file, a record that is not a date); the report holds the rest.
    QStringList problems;
};
