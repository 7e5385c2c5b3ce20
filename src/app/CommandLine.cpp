#include "CommandLine.h"

#include <QCommandLineParser>

namespace {
const QString kDateForm = QStringLiteral("yyyy-MM-dd");

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
    parser.addOption({QStringLiteral("dir"),
                      QStringLiteral("The program directory (data files, wexa.mdb, settings); the "
                                     "program's own directory when left out."),
                      QStringLiteral("DIR")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")});
}
} // namespace

QString CommandLineHelp()
{
    QCommandLineParser parser;
    addOptions(parser);
    return QStringLiteral(
               "Usage: tallyport [--report --from YYYY-MM-DD --to YYYY-MM-DD [--pdf FILE] [--csv FILE] "
               "[--dir DIR]]\n\nWithout --report the Tallyport window starts and monitoring begins.\n"
               "With neither --pdf nor --csv the report is saved as a PDF in the Reports folder of the "
               "program directory.\n\n") +
           parser.helpText().section(QLatin1Char('\n'), 2);
}

CommandLine ParseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    QCommandLineParser parser;
    addOptions(parser);
    const bool parsed = parser.parse(arguments);
    if (!arguments.contains(QStringLiteral("--report")) && !arguments.contains(QStringLiteral("-report"))) {
        if (parsed && parser.isSet(QStringLiteral("help")))
            line.mode = CommandLine::Mode::Help;
        return line; // the window; Qt takes what it knows of the rest
    }
    line.mode = CommandLine::Mode::Report;
    if (!parsed) {
        line.error = parser.errorText();
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error = QStringLiteral("Unexpected argument \"%1\".").arg(parser.positionalArguments().first());
        return line;
    }
    line.directory = parser.value(QStringLiteral("dir"));
    line.pdfPath = parser.value(QStringLiteral("pdf"));
    line.csvPath = parser.value(QStringLiteral("csv"));
    if (!readDate(parser, QStringLiteral("from"), line.from, line.error) ||
        !readDate(parser, QStringLiteral("to"), line.to, line.error))
        return line;
    if (line.to < line.from)
        line.error = QStringLiteral("--to %1 is before --from %2.")
                         .arg(line.to.toString(kDateForm), line.from.toString(kDateForm));
    return line;
}
