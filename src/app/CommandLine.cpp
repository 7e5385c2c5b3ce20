#include "CommandLine.h"

#include <core/ProgramVersion.h>

#include <QCommandLineParser>

namespace {
const QString kDateForm = QStringLiteral("yyyy-MM-dd");
const QStringList kReportOptions = {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("pdf"),
                                    QStringLiteral("csv")};

// Options Qt's window system takes from the command line itself; accepted so that they keep
// working, and left out of the help.
const struct {
    const char *name;
    bool takesValue;
} kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"style", true},           {"stylesheet", true},
    {"qwindowgeometry", true}, {"qwindowtitle", true},
    {"qwindowicon", true},     {"session", true},
    {"display", true},         {"geometry", true},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
};

bool readDate(const QCommandLineParser &parser, const QString &name, QDate &date, QString &error)
{
    const QString text = parser.value(name).trimmed();
    if (text.isEmpty()) {
        error = QStringLiteral("--%1 is missing: give the date as YYYY-MM-DD.").arg(name);
        return false;
    }
    date = QDate::fromString(text, kDateForm);
    if (!date.isValid()) {
        error = QStringLiteral("--%1 \"%2\" is not a date of the form YYYY-MM-DD.").arg(name, text);
        return false;
    }
    return true;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QStringLiteral("headless"),
                      QStringLiteral("Monitor without a window: status lines go to standard output; "
                                     "SIGTERM or SIGINT ends the run as closing the window does.")});
    parser.addOption(
        {QStringLiteral("report"), QStringLiteral("Make a report and exit; no monitoring starts.")});
    parser.addOption(
        {QStringLiteral("from"), QStringLiteral("First day of the report."), QStringLiteral("YYYY-MM-DD")});
    parser.addOption(
        {QStringLiteral("to"), QStringLiteral("Last day of the report."), QStringLiteral("YYYY-MM-DD")});
    parser.addOption(
        {QStringLiteral("pdf"), QStringLiteral("Write the report as PDF to FILE."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("csv"), QStringLiteral("Write the per-sensor table as CSV to FILE."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("test-notify"),
                      QStringLiteral("Send a test message through the notification channel [notify.NAME] "
                                     "and exit."),
                      QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("dir"),
                      QStringLiteral("The program directory (data files, wexa.mdb, settings). Left out: "
                                     "the program's own directory, or the user's data folder when "
                                     "Tallyport is installed."),
                      QStringLiteral("DIR")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")});
    parser.addOption({{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version.")});
    for (const auto &qt : kQtOptions) {
        QCommandLineOption option(QString::fromLatin1(qt.name));
        if (qt.takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void readReport(const QCommandLineParser &parser, CommandLine &line)
{
    line.pdfPath = parser.value(QStringLiteral("pdf"));
    line.csvPath = parser.value(QStringLiteral("csv"));
    if (!readDate(parser, QStringLiteral("from"), line.from, line.error) ||
        !readDate(parser, QStringLiteral("to"), line.to, line.error))
        return;
    if (line.to < line.from)
        line.error = QStringLiteral("--to %1 is before --from %2.")
                         .arg(line.to.toString(kDateForm), line.from.toString(kDateForm));
}

// The mode asked for, or an error when the options do not go together.
void chooseMode(const QCommandLineParser &parser, CommandLine &line)
{
    const bool report = parser.isSet(QStringLiteral("report"));
    if (report && parser.isSet(QStringLiteral("headless"))) {
        line.error = QStringLiteral("--headless and --report cannot be used together.");
        return;
    }
    if (parser.isSet(QStringLiteral("test-notify"))) {
        if (report || parser.isSet(QStringLiteral("headless"))) {
            line.error = QStringLiteral("--test-notify cannot be used with --headless or --report.");
            return;
        }
        line.mode = CommandLine::Mode::TestNotify;
        line.notifyChannel = parser.value(QStringLiteral("test-notify")).trimmed();
        if (line.notifyChannel.isEmpty())
            line.error = QStringLiteral("--test-notify needs a channel's name.");
        return;
    }
    for (const QString &name : kReportOptions) {
        if (!report && parser.isSet(name)) {
            line.error = QStringLiteral("--%1 belongs to --report.").arg(name);
            return;
        }
    }
    if (report) {
        line.mode = CommandLine::Mode::Report;
        readReport(parser, line);
    } else if (parser.isSet(QStringLiteral("headless"))) {
        line.mode = CommandLine::Mode::Headless;
    }
}
} // namespace

QString VersionText()
{
    return QStringLiteral("Tallyport ") + ProgramVersion();
}

QString CommandLineHelp()
{
    QCommandLineParser parser;
    addOptions(parser);
#ifdef TALLYPORT_WINDOWS
    const QString withoutOptions =
        QStringLiteral("Without --headless or --report the Tallyport window starts and monitoring begins.");
#else
    const QString withoutOptions = NoWindowText() + QLatin1Char('.');
#endif
    return QStringLiteral("Usage: tallyport [--dir DIR]\n"
                          "  or:  tallyport --headless [--dir DIR]\n"
                          "  or:  tallyport --report --from YYYY-MM-DD --to YYYY-MM-DD [--pdf FILE] [--csv FILE] "
                          "[--dir DIR]\n"
                          "  or:  tallyport --test-notify NAME [--dir DIR]\n\n") +
           withoutOptions +
           QStringLiteral("\nWith --report and neither --pdf nor --csv the report is saved as a PDF in the Reports "
                          "folder of the program directory.\n\n") +
           parser.helpText().section(QLatin1Char('\n'), 2);
}

QString NoWindowText()
{
    return QStringLiteral("This build has no window: run it with --headless, --report or --test-notify");
}

CommandLine ParseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error = QStringLiteral("Unexpected argument \"%1\".").arg(parser.positionalArguments().first());
        return line;
    }
    line.directory = parser.value(QStringLiteral("dir"));
    if (parser.isSet(QStringLiteral("dir")) && line.directory.trimmed().isEmpty()) {
        line.error = QStringLiteral("--dir needs a directory.");
        return line;
    }
    if (parser.isSet(QStringLiteral("help")))
        line.mode = CommandLine::Mode::Help;
    else if (parser.isSet(QStringLiteral("version")))
        line.mode = CommandLine::Mode::Version;
    else
        chooseMode(parser, line);
    return line;
}
