#include "HourlyStatistics.h"

#include <core/DateTimeText.h>

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {
constexpr qint64 kStatisticsChunk = 1024;
constexpr qint64 kClockMarginMinutes = 2 * 24 * 60;

// A local date and time in minutes, to compare clock times without placing them in the time zone.
qint64 clockMinutes(const QDate &date, const QTime &time)
{
    return date.toJulianDay() * 24 * 60 + time.hour() * 60 + time.minute();
}

qint64 clockMinutes(const QDateTime &when)
{
    const QDateTime local = when.toLocalTime();
    return clockMinutes(local.date(), local.time());
}

// What reading a statistics file backwards has seen so far, to tell when it may stop: after a
// chunk all of whose records start more than the margin before the span asked for, as long as
// no two successive records from that chunk to the end of the file lie further apart than the
// margin. Hours come in time order, an hour or so apart, except where the clock was set back
// (hours of the span may then lie before older ones) or set right again, or the program did not
// run for days; past such a jump the file is read to its start (a year of hours is 350 kB).
class BackwardScan {
public:
    explicit BackwardScan(qint64 stopBeforeMinutes) : m_stopBefore(stopBeforeMinutes) {}

    // Takes the chunk before those seen; true when no record before it can start in the span.
    bool chunkEndsTheSpan(const QList<HourlyStatisticsRecord> &chunk)
    {
        bool allBefore = true;
        qint64 first = kNone;
        qint64 previous = kNone;
        for (const HourlyStatisticsRecord &r : chunk) {
            QDate date;
            QTime time;
            if (!ReadClockText(r.startText, date, time))
                continue;
            const qint64 minutes = clockMinutes(date, time);
            allBefore = allBefore && minutes < m_stopBefore;
            step(previous, minutes);
            previous = minutes;
            if (first == kNone)
                first = minutes;
        }
        if (first == kNone)
            return false;
        step(previous, m_firstAfter);
        m_firstAfter = first;
        return allBefore && !m_jumped;
    }

private:
    static constexpr qint64 kNone = std::numeric_limits<qint64>::min();

    void step(qint64 earlier, qint64 later)
    {
        if (earlier != kNone && later != kNone && std::abs(later - earlier) > kClockMarginMinutes)
            m_jumped = true;
    }

    qint64 m_stopBefore;
    bool m_jumped = false;
    qint64 m_firstAfter = kNone; // the first record of the chunks seen
};

bool usableHour(const HourlyStatisticsRecord &r)
{
    return r.count > 0 && std::isfinite(r.total) && std::isfinite(r.minimum) && std::isfinite(r.maximum) &&
           r.minimum <= r.maximum;
}
} // namespace

LocalHours::DayHours LocalHours::hoursOfDay(const QDate &day)
{
    DayHours hours;
    const QDateTime midnight(day, QTime(0, 0));
    const QDateTime end(day.addDays(1), QTime(0, 0));
    const qint64 midnightMs = midnight.toMSecsSinceEpoch();
    for (int h = 0; h < 24; ++h) {
        hours.realHours[size_t(h)] = 1;
        hours.startMs[size_t(h)] = midnightMs + qint64(h) * 3600 * 1000;
    }
    if (midnight.offsetFromUtc() == end.offsetFromUtc())
        return hours;
    // A day the clocks change: walked in real time, hour by hour.
    hours.realHours.fill(0);
    for (QDateTime t = midnight; t < end; t = t.addSecs(3600)) {
        if (t.date() != day)
            continue;
        const size_t h = size_t(t.time().hour());
        if (hours.realHours[h]++ == 0)
            hours.startMs[h] = t.toMSecsSinceEpoch();
    }
    return hours;
}

const LocalHours::DayHours &LocalHours::day(qint64 label)
{
    const qint64 julianDay = label / 24;
    auto it = m_days.find(julianDay);
    if (it == m_days.end())
        it = m_days.insert(julianDay, hoursOfDay(QDate::fromJulianDay(julianDay)));
    return *it;
}

int LocalHours::realHours(qint64 label)
{
    return qMax(1, day(label).realHours[size_t(label % 24)]);
}

qint64 LocalHours::startMs(qint64 label)
{
    return day(label).startMs[size_t(label % 24)];
}

bool ReadStatisticsFrom(const QString &path, const QDateTime &notBefore,
                        QList<HourlyStatisticsRecord> &records, QString *error)
{
    records.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    constexpr int size = HourlyStatisticsRecord::Size;
    BackwardScan scan(clockMinutes(notBefore) - kClockMarginMinutes);
    // Whole records only: the cycle may be appending one right now.
    qint64 end = WholeRecords(file.size(), size);
    QList<QList<HourlyStatisticsRecord>> chunks;
    while (end > 0) {
        const qint64 begin = qMax<qint64>(0, end - kStatisticsChunk);
        QByteArray bytes;
        if (file.seek(begin * size))
            bytes = file.read((end - begin) * size);
        if (bytes.size() != (end - begin) * size) {
            if (error)
                *error = file.error() != QFileDevice::NoError
                             ? file.errorString()
                             : QStringLiteral("The file became shorter while it was read");
            return false;
        }
        chunks.prepend(DecodeHourlyStatistics(bytes));
        if (scan.chunkEndsTheSpan(chunks.first()))
            break;
        end = begin;
    }
    for (const QList<HourlyStatisticsRecord> &chunk : std::as_const(chunks))
        records.append(chunk);
    return true;
}

QMap<qint64, HourTotals> MergeHours(const QList<HourlyStatisticsRecord> &records, const QDateTime &from,
                                    const QDateTime &to, int *skipped)
{
    QMap<qint64, HourTotals> hours;
    int left = 0;
    const qint64 fromMinutes = clockMinutes(from);
    const qint64 toMinutes = clockMinutes(to);
    for (const HourlyStatisticsRecord &r : records) {
        QDate date;
        QTime time;
        if (!ReadClockText(r.startText, date, time) || !usableHour(r)) {
            ++left;
            continue;
        }
        const qint64 start = clockMinutes(date, time);
        if (start < fromMinutes || start >= toMinutes)
            continue;
        const qint64 label = date.toJulianDay() * 24 + time.hour();
        auto it = hours.find(label);
        if (it == hours.end()) {
            hours.insert(label, {r.minimum, r.maximum, double(r.total), r.count});
            continue;
        }
        it->minimum = qMin(it->minimum, r.minimum);
        it->maximum = qMax(it->maximum, r.maximum);
        it->total += double(r.total);
        it->count += r.count;
    }
    if (skipped)
        *skipped = left;
    return hours;
}
