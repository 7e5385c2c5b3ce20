#include "TrendTimeTicks.h"

#include <QDateTime>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <array>

namespace {
const QString kTimeFormat = QStringLiteral("h:mm AP");
const QString kDateFormat = QStringLiteral("M/d");
constexpr int kMinutesPerDay = 24 * 60;

// Steps between labels within a day, in minutes; each divides a day evenly.
constexpr std::array<int, 11> kMinuteSteps{1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720};
// Steps of whole days.
constexpr std::array<int, 6> kDaySteps{1, 2, 7, 14, 28, 56};

// Labels at every stepMinutes of local wall time within [from, to].
QList<qint64> minuteTicks(const QDateTime &from, const QDateTime &to, int stepMinutes)
{
    QList<qint64> ticks;
    const qint64 stepMs = stepMinutes * 60000LL;
    for (QDate day = from.date(); day <= to.date(); day = day.addDays(1)) {
        // The first day starts at the first step not before `from`.
        int minute = day == from.date()
                         ? int((from.time().msecsSinceStartOfDay() + stepMs - 1) / stepMs) * stepMinutes
                         : 0;
        for (; minute < kMinutesPerDay; minute += stepMinutes) {
            const QTime wall(minute / 60, minute % 60);
            const QDateTime when(day, wall);
            // A wall time the clock skipped (the start of summer time) has no tick.
            if (!when.isValid() || when.time() != wall || when < from)
                continue;
            if (when > to)
                return ticks;
            ticks.append(when.toMSecsSinceEpoch());
        }
    }
    return ticks;
}

// Labels at the local midnights of every stepDays-th day within [from, to] (weeks start on
// Mondays).
QList<qint64> dayTicks(const QDateTime &from, const QDateTime &to, int stepDays)
{
    QList<qint64> ticks;
    for (QDate day = from.date(); day <= to.date(); day = day.addDays(1)) {
        if (day.toJulianDay() % stepDays != 0)
            continue;
        const QDateTime midnight = day.startOfDay();
        if (midnight >= from && midnight <= to)
            ticks.append(midnight.toMSecsSinceEpoch());
    }
    return ticks;
}

QList<qint64> tickTimes(const QDateTime &from, const QDateTime &to, int maxLabels, bool &byDays)
{
    const double minutes = double(from.msecsTo(to)) / 60000.0;
    byDays = false;
    // A span of n steps has up to n + 1 labels.
    for (int step : kMinuteSteps)
        if (minutes / step + 1 <= maxLabels)
            return minuteTicks(from, to, step);
    byDays = true;
    for (int step : kDaySteps)
        if (minutes / (step * kMinutesPerDay) + 1 <= maxLabels)
            return dayTicks(from, to, step);
    const int step = int(minutes / kMinutesPerDay / maxLabels) + 1;
    return dayTicks(from, to, step);
}
} // namespace

QList<TrendTimeTick> TrendTimeTicks(qint64 from, qint64 to, int maxLabels)
{
    QList<TrendTimeTick> ticks;
    if (to < from)
        return ticks;
    const QLocale c = QLocale::c();
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(from);
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(to);
    const bool crossesMidnight = start.date() != end.date();
    // Within a day a time reads only once; over a longer span every label needs its date.
    const bool everyDate = start.msecsTo(end) >= 24LL * 3600 * 1000;
    bool byDays = false;
    const QList<qint64> times = tickTimes(start, end, std::max(maxLabels, 1), byDays);
    QSet<QString> used;
    QDate labelledDay;
    for (qint64 time : times) {
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(time);
        QString label;
        if (byDays) {
            label = c.toString(when.date(), kDateFormat);
        } else {
            label = c.toString(when.time(), kTimeFormat);
            if (everyDate || (crossesMidnight && when.date() != labelledDay))
                label = c.toString(when.date(), kDateFormat) + QLatin1Char(' ') + label;
        }
        labelledDay = when.date();
        // The hour the clock repeats when summer time ends would read twice; it is labelled once.
        if (used.contains(label))
            continue;
        used.insert(label);
        ticks.append({time, label});
    }
    return ticks;
}
