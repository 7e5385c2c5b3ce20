#include "SensorRange.h"

#include "HourlyStatistics.h"
#include "SensorDataFiles.h"
#include "TrendHistory.h"

#include <QDir>

#include <algorithm>
#include <cmath>

namespace {
constexpr qint64 kHourMs = SensorRange::HourMs;

qint64 ceilDiv(qint64 a, qint64 b)
{
    return (a + b - 1) / b;
}

// The steps of [first, end), filled a reading or an hour at a time; `mean` holds the total until
// done. The last step may reach past the end, but nothing from the end on is taken.
class StepSums {
public:
    StepSums(qint64 first, qint64 end, qint64 step)
        : m_first(first), m_end(end), m_step(step), m_steps(size_t(ceilDiv(end - first, step)))
    {
        for (size_t i = 0; i < m_steps.size(); ++i)
            m_steps[i].start = first + qint64(i) * step;
    }

    void add(qint64 time, float minimum, float maximum, double total, qint64 count)
    {
        if (time < m_first || time >= m_end || count <= 0)
            return;
        SensorRangeStep &step = m_steps[size_t((time - m_first) / m_step)];
        step.minimum = step.count == 0 ? minimum : std::min(step.minimum, minimum);
        step.maximum = step.count == 0 ? maximum : std::max(step.maximum, maximum);
        step.mean += total;
        step.count += count;
    }

    std::vector<SensorRangeStep> take()
    {
        for (SensorRangeStep &step : m_steps)
            step.mean = step.count > 0 ? step.mean / double(step.count) : 0.0;
        return std::move(m_steps);
    }

private:
    qint64 m_first;
    qint64 m_end;
    qint64 m_step;
    std::vector<SensorRangeStep> m_steps;
};

// The hours of the statistics file placed at their real start. The hour the clocks go back
// through holds two real hours in one record; its readings are shared out between them, so
// neither shows as a gap and the counts still add up.
void addHours(const QString &path, qint64 first, const QDateTime &to, StepSums &sums, QStringList &errors)
{
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(first);
    QList<HourlyStatisticsRecord> records;
    QString error;
    if (!ReadStatisticsFrom(path, from, records, &error)) {
        errors << QDir::toNativeSeparators(path) + QStringLiteral(": ") + error;
        return;
    }
    // By the clock, an hour either side: which hours really lie in the span their start decides.
    const QMap<qint64, HourTotals> hours = MergeHours(records, from.addSecs(-3600), to.addSecs(3600));
    LocalHours local;
    for (auto it = hours.cbegin(); it != hours.cend(); ++it) {
        const HourTotals &h = it.value();
        const qint64 start = local.startMs(it.key());
        if (local.realHours(it.key()) < 2 || h.count < 2) {
            sums.add(start, h.minimum, h.maximum, h.total, h.count);
            continue;
        }
        const qint64 firstShare = (h.count + 1) / 2;
        const double firstTotal = h.total * double(firstShare) / double(h.count);
        sums.add(start, h.minimum, h.maximum, firstTotal, firstShare);
        sums.add(start + kHourMs, h.minimum, h.maximum, h.total - firstTotal, h.count - firstShare);
    }
}

void addReadings(const QString &directory, int sensorId, const QDateTime &from, const QDateTime &to,
                 StepSums &sums, QStringList &errors)
{
    const TrendHistory history = ReadTrendHistory(directory, sensorId, from, to, 0);
    errors << history.errors;
    for (size_t i = 0; i < history.times.size(); ++i) {
        const float value = history.values[i];
        if (!std::isnan(value))
            sums.add(history.times[i], value, value, double(value), 1);
    }
}
} // namespace

SensorRange ReadSensorRange(const QString &directory, int sensorId, const QDateTime &from,
                            const QDateTime &to, qint64 stepMs, int maxSteps)
{
    SensorRange range;
    if (!from.isValid() || !to.isValid() || to <= from)
        return range;
    const qint64 toMs = to.toMSecsSinceEpoch();
    qint64 first = from.toMSecsSinceEpoch();
    range.fromHours = toMs - first > SensorRange::InstantSpanMs;
    if (range.fromHours) {
        // Steps of whole hours begin where a clock hour does.
        const QTime clock = from.toLocalTime().time();
        first -= (clock.minute() * 60LL + clock.second()) * 1000 + clock.msec();
    }
    qint64 step = std::max<qint64>({stepMs, ceilDiv(toMs - first, std::max(maxSteps, 1)), 1});
    if (range.fromHours)
        step = ceilDiv(step, kHourMs) * kHourMs;
    range.stepMs = step;
    StepSums sums(first, toMs, step);
    if (range.fromHours)
        addHours(SensorStatisticsPath(directory, sensorId), first, to, sums, range.errors);
    else
        addReadings(directory, sensorId, from, to, sums, range.errors);
    range.steps = sums.take();
    return range;
}
