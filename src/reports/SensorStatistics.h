#pragma once

#include "Report.h"

#include <acquisition/SensorRecords.h>

#include <QDateTime>
#include <QList>
#include <QString>

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
