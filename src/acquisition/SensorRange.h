#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// A sensor's readings over a span of time, in equal steps: per step the lowest, highest and mean
// reading and how many there were. Spans longer than a day are read from the sensor's hourly
// statistics file (one record per clock hour), so a year costs 8,760 records and not every
// reading of the year; shorter spans from its monthly instantaneous files. Safe on a worker
// thread: it reads files and touches nothing else.

// One step of the span: [start, start + step).
struct SensorRangeStep {
    qint64 start = 0;  // milliseconds since the epoch
    qint64 count = 0;  // readings in the step; 0 is a gap, the other figures then mean nothing
    float minimum = 0; // lowest and highest reading
    float maximum = 0;
    double mean = 0; // of every reading in the step (each hour weighs by its readings)
};

struct SensorRange {
    static constexpr qint64 HourMs = 3600LL * 1000;
    // Spans longer than this are read from the hourly statistics.
    static constexpr qint64 InstantSpanMs = 24 * HourMs;
    static constexpr int DefaultSteps = 2000;

    bool fromHours = false; // read from the hourly statistics, else the instantaneous files
    qint64 stepMs = 0;      // the step used
    // Every step from the first on, in time order, gaps included. From the hourly statistics the
    // first step starts at the clock hour `from` lies in.
    std::vector<SensorRangeStep> steps;
    QStringList errors; // files that could not be read, each with its cause
};

// The readings of the sensor in [from, to) in steps of stepMs, coarsened so that there are no
// more than maxSteps (stepMs 0: as fine as maxSteps allows). From the hourly statistics a step is
// a whole number of hours (an hour's readings fall in the step its clock hour begins in; the hour
// the clocks go back through, one record for two real hours, is shared out between them). Records
// out of time order (the clock set back) fall in their place; the same hour written twice counts
// once with the readings of both. Damaged records and a record still being written are left out.
// An empty or reversed span gives no steps.
SensorRange ReadSensorRange(const QString &directory, int sensorId, const QDateTime &from,
                            const QDateTime &to, qint64 stepMs = 0, int maxSteps = SensorRange::DefaultSteps);
