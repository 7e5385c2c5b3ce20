#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// The recent past of one sensor for the trending chart, read from its monthly instantaneous data
// files. Safe on a worker thread: it reads files and touches nothing else.

struct TrendHistory {
    std::vector<qint64> times; // milliseconds since the epoch, in time order
    std::vector<float> values; // NaN where the line breaks
    QStringList errors;        // files that could not be read, each with its cause
    // Two readings further apart than this were not successive: twice their median spacing
    // (the given break while there are too few to tell). 0 joins any two.
    qint64 breakMs = 0;
};

// The readings of the sensor taken in [from, to), from the file of every month the span touches.
// The files hold real readings only: where two readings lie more than twice their usual (median)
// spacing apart the sensor was not read in between, and the line breaks there (a NaN between
// them); breakMs stands in for that spacing when there are fewer than three readings. Records whose time
// does not read as a date, or whose value is not a number, are left out. The files are read
// from their end, so a long month costs no more than the span asked for.
TrendHistory ReadTrendHistory(const QString &directory, int sensorId, const QDateTime &from,
                              const QDateTime &to, qint64 breakMs);
