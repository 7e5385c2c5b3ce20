#pragma once

#include "Report.h"

#include <QByteArray>
#include <QString>

// The per-sensor table of a report as CSV: UTF-8 (with a byte-order mark, so that spreadsheet
// programs read "°F" right), one heading line, one line per sensor, lines ending in CR LF. Text
// fields are quoted; numbers are plain, with a point. A sensor without readings has empty
// figures and says so in the last column.
QByteArray ReportCsv(const Report &report);

// Writes the CSV to path, replacing the file only once all of it is written. False with the
// cause otherwise.
bool WriteReportCsv(const Report &report, const QString &path, QString &error);
