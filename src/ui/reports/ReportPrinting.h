#pragma once

#include <QString>

struct Report;

// Prints the report on the printer of that name (the settings' PrinterName), in the printer's
// own page size. Safe on a worker thread. False with the cause, also when the printer is not
// installed.
bool PrintReportOn(const Report &report, const QString &printerName, QString &error);
