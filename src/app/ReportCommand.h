#pragma once

#include "CommandLine.h"

#include <QTextStream>

// tallyport --report: makes the report of the days asked for from the program directory's data
// files and database, writes the outputs and returns the exit code: 0 when everything asked for
// was written, 1 for a command line that cannot be followed (a bad date, a missing directory or
// database), 2 when the report could not be made, 3 when an output could not be written. Needs
// a QGuiApplication (the PDF's fonts) and no display.
int RunReportCommand(const CommandLine &line, const QString &programDirectory, QTextStream &out,
                     QTextStream &err);
