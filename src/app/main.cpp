#include "CommandLine.h"
#include "ReportCommand.h"

#include <ui/main/Application.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

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
    return RunReportCommand(line, QCoreApplication::applicationDirPath(), out, err);
}
} // namespace

int main(int argc, char *argv[])
{
    const CommandLine line = ParseCommandLine(argumentList(argc, argv));
    if (line.mode == CommandLine::Mode::Help) {
        QTextStream(stdout) << CommandLineHelp();
        return 0;
    }
    if (line.mode == CommandLine::Mode::Report)
        return runReport(argc, argv, line);
    return RunTallyport(argc, argv);
}
