#pragma once

#include "SensorRecords.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <array>

// Reading the hourly statistics files ("Sensor-<id> Average.dat"): one record per clock hour in
// which the sensor had readings, appended as the hours go by. The reports, the trend chart's long
// spans and anything else that wants a sensor's past beyond a day read them through here.

// The local clock hours of the days looked at, each day placed in the time zone once (a
// conversion costs far more than the rest of reading a record): how many real hours a clock hour
// has (0 for the hour the clocks skip, 2 for the hour they go back through, else 1) and when it
// first begins. Hours are labelled julian day * 24 + hour.
class LocalHours {
public:
    int realHours(qint64 label); // at least 1: an hour with records was lived through
    qint64 startMs(qint64 label);

private:
    struct DayHours {
        std::array<int, 24> realHours{};
        std::array<qint64, 24> startMs{};
    };
    static DayHours hoursOfDay(const QDate &day);
    const DayHours &day(qint64 label);
    QHash<qint64, DayHours> m_days;
};

// The hourly statistics records of a sensor from notBefore on, read from the end of the file, so
// that a file holding years costs no more than the span asked for. The file is read backwards a
// chunk of records at a time. Records are appended in time order except after the clock was set
// back, when later records carry earlier hours. So reading stops after a chunk all of whose
// records start more than two days before notBefore only when no two successive records from
// that chunk to the end of the file lie more than those two days apart; past such a jump (the
// clock set back, or set right after it, or days without readings) the file is read to its
// start. A record being written while the file is read is not taken (only whole records are).
// The records come in file order, and may include some from before notBefore. False with the
// cause when the file exists but cannot be read; a missing file is no records.
bool ReadStatisticsFrom(const QString &path, const QDateTime &notBefore,
                        QList<HourlyStatisticsRecord> &records, QString *error = nullptr);

// The readings of one clock hour, from all its records.
struct HourTotals {
    float minimum = 0;
    float maximum = 0;
    double total = 0;
    qint64 count = 0;
};

// The records whose start, read as a local date and clock time, lies in [from, to), merged by
// clock hour (the same hour twice after the clock was set back is one hour with the readings of
// both), keyed by the hour's label (see LocalHours). Records no run could have written (a start
// that is not a date, no readings, a minimum above the maximum, numbers that are not finite) are
// left out and counted in *skipped.
QMap<qint64, HourTotals> MergeHours(const QList<HourlyStatisticsRecord> &records, const QDateTime &from,
                                    const QDateTime &to, int *skipped = nullptr);
