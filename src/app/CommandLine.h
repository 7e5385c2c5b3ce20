#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// What the command line asks of the program.
struct CommandLine {
    enum class Mode { Window, Report, Help };

    Mode mode = Mode::Window;
    QString directory; // --dir: the program directory (data files, wexa.mdb, settings)
    // --report
    QDate from;
    QDate to;
    QString pdfPath;
    QString csvPath;
    // Why the command line cannot be followed; empty when it can.
    QString error;
};

// Reads the arguments (the program name first). Without --report the window starts and the
// arguments are left to Qt. With it every argument must be one of the report's, the dates
// must be real dates in the form YYYY-MM-DD and --to must not be before --from.
CommandLine ParseCommandLine(const QStringList &arguments);

// The usage text of the command line.
QString CommandLineHelp();
