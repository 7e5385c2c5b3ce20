#include "Headless.h"

#include "StopSignals.h"
#include <core/HeadlessPrompts.h>

#include <acquisition/Monitor.h>
#include <core/Activation.h>
#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/InstanceLock.h>
#include <core/PollTimer.h>
#include <core/ProgramDirectory.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>
#include <core/StatusPrinter.h>
#include <link/LinkStatus.h>
#include <mqtt/MqttPublisher.h>
#include <web/WebService.h>

#include <QDir>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

namespace {
// Everything one headless run holds, made once the program directory is open.
class HeadlessRun {
public:
    HeadlessRun(const QString &directory, QTextStream &out)
        : m_state(directory, m_clock, m_prompts, m_errors, m_status), m_printer(m_status, m_clock, out),
          m_pollTimer(m_state), m_activation(m_state, m_pollTimer),
          m_monitor(m_state, m_activation, m_pollTimer),
          m_web(m_state, m_monitor.grid, m_pollTimer, m_monitor.database),
          m_mqtt(m_state, m_monitor.grid, m_monitor.database)
    {
        // The lines each cycle steps through stay quiet; every other line is written on change.
        m_printer.setProgressKeys({LinkStatus::ConnectionKey, LinkStatus::ErrorKey, PollCycle::TimeKey});
        m_prompts.report = [this](const QString &line) {
            m_printer.print(line);
            m_state.AddError(QStringLiteral("Headless"), line);
        };
        ConnectRemoteAccess(m_web, m_activation, m_pollTimer, m_monitor.outbox);
        ConnectNotifications(m_web, m_monitor.notifier);
        m_web.setAlarmResponse(m_monitor.response);
        ConnectMqtt(m_mqtt, m_activation, m_monitor.cycle);
        ConnectConfigurationLink(m_mqtt, m_web);
        connectStopSignals();
        connectReload();
    }

    void start()
    {
        m_state.ReinitOnActivate = true;
        m_activation.RunActivationSequence();
    }

    StatusPrinter &printer() { return m_printer; }

private:
    // SIGHUP reads Tallyport.ini and the settings file again, as an activation does; during a
    // cycle the activation waits for the cycle's end.
    void connectReload()
    {
        QObject::connect(&m_signals, &StopSignals::reloadRequested, &m_printer, [this] {
            if (m_stopping)
                return;
            m_printer.print(QStringLiteral("SIGHUP received: reading the settings again"));
            start();
        });
        QObject::connect(&m_pollTimer, &PollTimer::updateEnded, &m_printer, [this] {
            if (m_activation.activationDeferred())
                start();
        });
    }

    void connectStopSignals()
    {
        QObject::connect(&m_signals, &StopSignals::stopRequested, &m_printer, [this](const QString &name) {
            if (m_stopping)
                return;
            m_stopping = true;
            m_printer.print(name + QStringLiteral(" received: stopping"));
            // As the window's close on Yes: every wait ends, the shutdown e-mail goes out, the
            // connection closes. The loop quits once every wait below has unwound.
            m_activation.Shutdown();
            m_web.Stop();
            m_mqtt.Stop(2000);
            m_printer.print(QStringLiteral("Tallyport stopped"));
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        });
    }

    SystemClock m_clock;
    HeadlessPrompts m_prompts;
    MemoryErrorLog m_errors;
    StatusList m_status;
    ProgramState m_state;
    StatusPrinter m_printer;
    PollTimer m_pollTimer;
    Activation m_activation;
    Monitor m_monitor;
    WebService m_web;
    MqttPublisher m_mqtt;
    StopSignals m_signals;
    bool m_stopping = false;
};
} // namespace

int RunHeadless(int argc, char *argv[], const CommandLine &line)
{
    // Nothing is shown, so no display is needed (and none is used when there is one).
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QTextStream out(stdout);
    QTextStream err(stderr);

    InstanceLock lock;
    ProgramDirectory directory;
    QString made;
    QString error;
    if (!OpenProgramDirectory(line.directory, QCoreApplication::applicationDirPath(), lock, directory, made,
                              error)) {
        err << "tallyport: " << error << Qt::endl;
        return 2;
    }
    HeadlessRun run(directory.path, out);
    run.printer().print(VersionText() + QStringLiteral(" running without a window in ") +
                        QDir::toNativeSeparators(directory.path));
    if (!made.isEmpty())
        run.printer().print(made);
    QTimer::singleShot(0, &app, [&run] { run.start(); });
    return app.exec();
}
