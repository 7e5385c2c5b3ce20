#pragma once

#include "Report.h"

#include <QString>

// The figures of a report as text, the same in the PDF and the CSV. Numbers use a point
// whatever the desktop language.
namespace ReportFormat {
// Minimum and maximum as the device reported them ("72.5").
QString Reading(float value);
// A reading for the printed table: to at most two decimals, so a reading that is not in tenths
// fits its column whole instead of being cut off.
QString PrintedReading(float value);
// The mean, two decimals.
QString Mean(double value);
// The share of the period's hours with readings, in per cent with one decimal ("99.9").
QString CoveragePercent(const SensorSummary &sensor, int periodHours);
// Minutes with one decimal ("12.5"), for the CSV.
QString Minutes(qint64 seconds);
// "2 h 05 min", "45 min", "0 min": whole minutes, rounded.
QString Duration(qint64 seconds);
// A date and time as the program writes them, or the text given for none.
QString DateTime(const QDateTime &when, const QString &none);
// A stored text on one line: line breaks become blanks, runs of blanks one.
QString OneLine(const QString &text);
// What the report says of a sensor without readings in the period.
extern const QString NoData;
// What it says of a sensor no longer named in the database.
extern const QString Removed;
} // namespace ReportFormat
