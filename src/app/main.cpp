#include "CommandLine.h"
#include "Headless.h"
#include "NotifyCommand.h"
#include "ReportCommand.h"

#ifdef TALLYPORT_WINDOWS
#include <ui/main/Application.h>
#endif

#include <core/DescriptorLimit.h>
#include <core/EventLoopChoice.h>
#include <core/ProgramDirectory.h>

#include <QGuiApplication>
#include <QTextStream>

namespace {
QStringList argumentList(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The report is drawn without a window: with no display to talk to, Qt draws off screen.
void drawOffScreenWithoutDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
}

int runReport(int argc, char *argv[], const CommandLine &line)
{
    drawOffScreenWithoutDisplay();
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Without --dir the report reads the program directory the window would use.
    ProgramDirectory directory;
    QString error;
    if (line.directory.isEmpty() &&
        !ChooseProgramDirectory(QString(), QCoreApplication::applicationDirPath(), directory, error)) {
        err << error << "\n";
        return 1;
    }
    return RunReportCommand(line, directory.path, out, err);
}

int runNotifyTest(int argc, char *argv[], const CommandLine &line)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    ProgramDirectory directory;
    QString error;
    if (!ChooseProgramDirectory(line.directory, QCoreApplication::applicationDirPath(), directory, error)) {
        err << error << "\n";
        return 1;
    }
    return RunNotifyTestCommand(line.notifyChannel, directory.path, out, err);
}
} // namespace

int main(int argc, char *argv[])
{
    PreferQtEventLoop();
    // Data files of thousands of sensors stay open between readings where the limit allows.
    RaiseDescriptorLimit();
    QCoreApplication::setApplicationName(QStringLiteral("Tallyport"));
    QCoreApplication::setApplicationVersion(VersionText().section(QLatin1Char(' '), 1));
    const CommandLine line = ParseCommandLine(argumentList(argc, argv));
    if (!line.error.isEmpty()) {
        QTextStream(stderr) << "tallyport: " << line.error << "\nTry tallyport --help.\n";
        return 1;
    }
    switch (line.mode) {
    case CommandLine::Mode::Help:
        QTextStream(stdout) << CommandLineHelp();
        return 0;
    case CommandLine::Mode::Version:
        QTextStream(stdout) << VersionText() << "\n";
        return 0;
    case CommandLine::Mode::Headless:
        return RunHeadless(argc, argv, line);
    case CommandLine::Mode::Report:
        return runReport(argc, argv, line);
    case CommandLine::Mode::TestNotify:
        return runNotifyTest(argc, argv, line);
    case CommandLine::Mode::Window:
        break;
    }
#ifdef TALLYPORT_WINDOWS
    return RunTallyport(argc, argv, line.directory);
#else
    QTextStream(stderr) << "tallyport: " << NoWindowText() << ".\nTry tallyport --help.\n";
    return 1;
#endif
}
