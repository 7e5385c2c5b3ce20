#pragma once

#include "Report.h"

#include <acquisition/SensorRecords.h>

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <array>

// The local clock hours of the days a report covers, each day placed in the time zone once
// (a conversion costs far more than the rest of reading a record): how many real hours a clock
// hour has (0 for the hour the clocks skip, 2 for the hour they go back through, else 1) and
// when it first begins. Hours are labelled julian day * 24 + hour.
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
// that a file holding years costs no more than the span asked for. Records are appended in time
// order; reading stops two days before notBefore, which leaves room for a clock set back. A
// record being written while the file is read is not taken (only whole records are). False with
// the cause when the file exists but cannot be read; a missing file is no records.
bool ReadStatisticsFrom(const QString &path, const QDateTime &notBefore,
                        QList<HourlyStatisticsRecord> &records, QString *error = nullptr);

// Fills the figures of summary (readings, minimum, maximum, mean, hours with data, the hourly
// points) from the records whose hour starts inside the period. Records no run could have
// written (a start that is not a date, no readings, a minimum above the maximum, numbers that
// are not finite) are left out and counted in *skipped.
void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    SensorSummary &summary, int *skipped = nullptr);
// The same, with the days' hours kept for the next sensor of the report.
void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    LocalHours &local, SensorSummary &summary, int *skipped = nullptr);
