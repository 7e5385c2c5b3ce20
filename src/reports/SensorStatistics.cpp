#include "SensorStatistics.h"

#include <core/DateTimeText.h>

#include <QFile>
#include <QHash>
#include <QMap>

#include <array>

#include <cmath>

namespace {
constexpr qint64 kChunkRecords = 1024;
constexpr qint64 kClockMarginSeconds = 2 * 24 * 3600;

// A clock hour as its local date and hour, the way the writer tells hours apart.
qint64 hourLabel(const QDateTime &when)
{
    return when.date().toJulianDay() * 24 + when.time().hour();
}

QDateTime labelStart(qint64 label)
{
    return QDateTime(QDate::fromJulianDay(label / 24), QTime(int(label % 24), 0));
}

// How many real hours each local clock hour of the day has: 0 for the hour the clocks skip, 2
// for the hour they go back through, 1 for the others. Counted in real time from midnight, so
// no local time that occurs twice has to be resolved.
std::array<int, 24> realHoursOfDay(const QDate &day)
{
    std::array<int, 24> hours{};
    const QDateTime end(day.addDays(1), QTime(0, 0));
    for (QDateTime t(day, QTime(0, 0)); t < end; t = t.addSecs(3600))
        if (t.date() == day)
            ++hours[size_t(t.time().hour())];
    return hours;
}

int realHours(qint64 label, QHash<qint64, std::array<int, 24>> &days)
{
    const qint64 julianDay = label / 24;
    auto it = days.find(julianDay);
    if (it == days.end())
        it = days.insert(julianDay, realHoursOfDay(QDate::fromJulianDay(julianDay)));
    return qMax(1, (*it)[size_t(label % 24)]);
}

bool usable(const HourlyStatisticsRecord &r)
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
        const qint64 begin = qMax<qint64>(0, end - kChunkRecords);
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
    QMap<qint64, HourTotals> hours;
    int left = 0;
    for (const HourlyStatisticsRecord &r : records) {
        const QDateTime start = ParseDateTimeText(r.startText);
        if (!start.isValid() || !usable(r)) {
            ++left;
            continue;
        }
        if (start < period.from || start >= period.to)
            continue;
        // The same clock hour twice (the clock set back): one hour with both records' readings.
        auto it = hours.find(hourLabel(start));
        if (it == hours.end()) {
            hours.insert(hourLabel(start), {r.minimum, r.maximum, double(r.total), r.count});
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
    QHash<qint64, std::array<int, 24>> days;
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
        summary.hoursWithData += realHours(it.key(), days);
        summary.hours.push_back({labelStart(it.key()), h.minimum, h.maximum, h.total / double(h.count)});
    }
    summary.hoursWithData = qMin(summary.hoursWithData, period.hours());
    summary.mean = summary.readings > 0 ? total / double(summary.readings) : 0.0;
    if (skipped)
        *skipped = left;
}
