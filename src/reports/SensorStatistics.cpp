#include "SensorStatistics.h"

void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    SensorSummary &summary, int *skipped)
{
    LocalHours local;
    SummarizeHours(records, period, local, summary, skipped);
}

void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    LocalHours &local, SensorSummary &summary, int *skipped)
{
    const QMap<qint64, HourTotals> hours = MergeHours(records, period.from, period.to, skipped);
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
}
