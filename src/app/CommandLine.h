#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

// What the command line asks of the program.
struct CommandLine {
    enum class Mode { Window, Headless, Report, TestNotify, Help, Version };

    Mode mode = Mode::Window;
    QString directory; // --dir: the program directory (data files, wexa.mdb, settings)
    // --report
    QDate from;
    QDate to;
    QString pdfPath;
    QString csvPath;
    // --test-notify: the channel to send a test message through
    QString notifyChannel;
    // Why the command line cannot be followed; empty when it can.
    QString error;
};

// Reads the arguments (the program name first). Every argument must be one of ours (or one of
// the options Qt itself takes for windows, such as -platform or -style). --headless and
// --report exclude each other; the report's options belong to --report, its dates must be real
// dates in the form YYYY-MM-DD and --to must not be before --from.
CommandLine ParseCommandLine(const QStringList &arguments);

// The usage text of the command line.
QString CommandLineHelp();
// What a build without the windows says where the window would start.
QString NoWindowText();
// "Tallyport 1.0.0".
QString VersionText();
