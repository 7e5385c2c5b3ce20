#include "SensorStatistics.h"

#include <core/DateTimeText.h>

#include <QFile>
#include <QHash>
#include <QMap>

#include <array>

#include <cmath>

namespace {
constexpr qint64 kStatisticsChunk = 1024;
constexpr qint64 kClockMarginSeconds = 2 * 24 * 3600;

// A clock hour as its local date and hour, the way the writer tells hours apart.
qint64 hourLabel(const QDate &date, const QTime &time)
{
    return date.toJulianDay() * 24 + time.hour();
}

// A local date and time in minutes, to compare clock times without placing them in the time zone.
qint64 clockMinutes(const QDate &date, const QTime &time)
{
    return date.toJulianDay() * 24 * 60 + time.hour() * 60 + time.minute();
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

namespace {
bool usableHour(const HourlyStatisticsRecord &r)
{
    return r.count > 0 && std::isfinite(r.total) && std::isfinite(r.minimum) && std::isfinite(r.maximum) &&
           r.minimum <= r.maximum;
}

struct HourTotals {
    float minimum = 0;
    float maximum = 0;
    double total = 0;
    qint64 count = 0;
};
} // namespace

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
    const QDateTime stopBefore = notBefore.addSecs(-kClockMarginSeconds);
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
        const QDateTime first = ParseDateTimeText(chunks.first().value(0).startText);
        if (first.isValid() && first < stopBefore)
            break;
        end = begin;
    }
    for (const QList<HourlyStatisticsRecord> &chunk : std::as_const(chunks))
        records.append(chunk);
    return true;
}

void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    SensorSummary &summary, int *skipped)
{
    LocalHours local;
    SummarizeHours(records, period, local, summary, skipped);
}

void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    LocalHours &local, SensorSummary &summary, int *skipped)
{
    QMap<qint64, HourTotals> hours;
    int left = 0;
    const qint64 from = clockMinutes(period.from.date(), period.from.time());
    const qint64 to = clockMinutes(period.to.date(), period.to.time());
    for (const HourlyStatisticsRecord &r : records) {
        QDate date;
        QTime time;
        if (!ReadClockText(r.startText, date, time) || !usableHour(r)) {
            ++left;
            continue;
        }
        const qint64 start = clockMinutes(date, time);
        if (start < from || start >= to)
            continue;
        // The same clock hour twice (the clock set back): one hour with both records' readings.
        const qint64 label = hourLabel(date, time);
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

    summary.readings = 0;
    summary.hoursWithData = 0;
    summary.hours.clear();
    summary.hours.reserve(hours.size());
    double total = 0;
    for (auto it = hours.cbegin(); it != hours.cend(); ++it) {
        const HourTotals &h = it.value();
        if (summary.readings == 0) {
            summary.minimum = h.minimum;
            summary.maximum = h.maximum;
        }
        summary.minimum = qMin(summary.minimum, h.minimum);
        summary.maximum = qMax(summary.maximum, h.maximum);
        summary.readings += h.count;
        total += h.total;
        summary.hoursWithData += local.realHours(it.key());
        summary.hours.push_back({local.startMs(it.key()), h.minimum, h.maximum, h.total / double(h.count)});
    }
    summary.hoursWithData = qMin(summary.hoursWithData, period.hours());
    summary.mean = summary.readings > 0 ? total / double(summary.readings) : 0.0;
    if (skipped)
        *skipped = left;
}
