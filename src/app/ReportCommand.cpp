#include "ReportCommand.h"

#include <core/Cipher.h>
#include <core/Clock.h>
#include <core/ConfigFile.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>
#include <db/Database.h>
#include <reports/ReportJob.h>

#include <QDir>
#include <QFileInfo>

namespace {
// No one to ask: the command line answers nothing and shows nothing.
class NoPrompts final : public Prompts {
public:
    Answer ask(const QString &, const QString &, Buttons, Icon) override { return Answer::Ok; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
};

// The organisation's name, address and phone from the settings file, when there is one.
ReportHeading headingFrom(const QString &directory)
{
    SystemClock clock;
    NoPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(directory, clock, prompts, errors, status);
    Cipher cipher;
    cipher.InitCipher();
    ConfigFile(state, cipher).ReadConfiguration();
    const ConfigRecord &c = state.Config;
    return {c.OrgName.trimmed(), c.OrgAddress.trimmed(), c.OrgPhoneNumber.trimmed()};
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// The outputs asked for, or a PDF in the Reports folder when none was.
bool chooseOutputs(const CommandLine &line, const QString &directory, ReportOutputs &outputs, QString &error)
{
    outputs.pdfPath = line.pdfPath;
    outputs.csvPath = line.csvPath;
    if (outputs.pdfPath.isEmpty() && outputs.csvPath.isEmpty()) {
        const QString reports = QDir(directory).filePath(QStringLiteral("Reports"));
        if (!QDir().mkpath(reports)) {
            error = QStringLiteral("The folder %1 could not be made.").arg(shown(reports));
            return false;
        }
        outputs.pdfPath =
            QDir(reports).filePath(QStringLiteral("Report %1 to %2.pdf")
                                       .arg(line.from.toString(Qt::ISODate), line.to.toString(Qt::ISODate)));
    }
    for (const QString &path : {outputs.pdfPath, outputs.csvPath}) {
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        if (!info.absoluteDir().exists()) {
            error = QStringLiteral("The folder of %1 does not exist.").arg(shown(path));
            return false;
        }
        if (info.exists() && (info.isDir() || !info.isWritable())) {
            error = QStringLiteral("%1 cannot be written.").arg(shown(path));
            return false;
        }
    }
    return true;
}
} // namespace

int RunReportCommand(const CommandLine &line, const QString &programDirectory, QTextStream &out,
                     QTextStream &err)
{
    if (!line.error.isEmpty()) {
        err << line.error << "\n"
            << "Try tallyport --help.\n";
        return 1;
    }
    const QString directory = line.directory.isEmpty() ? programDirectory : line.directory;
    if (!QFileInfo(directory).isDir()) {
        err << "The directory " << shown(directory) << " does not exist.\n";
        return 1;
    }
    if (!DatabaseFileExists(directory)) {
        err << "There is no " << DatabaseFileName << " in " << shown(directory)
            << ": give the program directory with --dir.\n";
        return 1;
    }
    ReportOutputs outputs;
    QString error;
    if (!chooseOutputs(line, directory, outputs, error)) {
        err << error << "\n";
        return 1;
    }

    ReportRequest request;
    request.dataDirectory = directory;
    request.databasePath = QDir(directory).filePath(QString::fromLatin1(DatabaseFileName));
    request.period = DaysPeriod(line.from, line.to);
    request.now = QDateTime::currentDateTime();
    request.heading = headingFrom(directory);
    const ReportResult result = ReportJob::Make(request, outputs);
    if (!result.built) {
        err << "The report could not be made: " << result.error << "\n";
        return 2;
    }
    for (const QString &problem : result.report->problems)
        err << "Note: " << problem << "\n";
    for (const QString &failure : result.failures)
        err << failure << "\n";
    if (result.pdfSaved)
        out << "PDF written to " << shown(outputs.pdfPath) << "\n";
    if (result.csvSaved)
        out << "CSV written to " << shown(outputs.csvPath) << "\n";
    out << result.report->sensors.size() << " sensors, " << result.report->alarms.size() << " alarms, "
        << result.report->failures.size() << " device failures from " << request.period.text() << ".\n";
    return result.failures.isEmpty() ? 0 : 3;
}
