#pragma once

#include "Report.h"

#include <acquisition/HourlyStatistics.h>
#include <acquisition/SensorRecords.h>

#include <QList>

// Fills the figures of summary (readings, minimum, maximum, mean, hours with data, the hourly
// points) from the records whose hour starts inside the period (see MergeHours; records no run
// could have written are counted in *skipped).
void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    SensorSummary &summary, int *skipped = nullptr);
// The same, with the days' hours kept for the next sensor of the report.
void SummarizeHours(const QList<HourlyStatisticsRecord> &records, const ReportPeriod &period,
                    LocalHours &local, SensorSummary &summary, int *skipped = nullptr);
