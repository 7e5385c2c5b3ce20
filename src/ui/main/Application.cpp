#include "Application.h"

#include "DialogPrompts.h"
#include "MainWindow.h"
#include "ModalWindow.h"

#include <ui/config/ModelEditorRegistry.h>
#include <ui/config/TreeConfiguration.h>
#include <ui/editors/EditorRegistration.h>
#include <ui/reports/ReportWindows.h>
#include <ui/settings/SettingsWindows.h>

#include <acquisition/Monitor.h>
#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/InstanceLock.h>
#include <core/ProgramDirectory.h>
#include <core/ProgramState.h>
#include <core/ProgramVersion.h>
#include <core/StatusList.h>
#include <mqtt/MqttPublisher.h>
#include <web/WebService.h>

#include <QApplication>
#include <QTextStream>

int RunTallyport(int argc, char *argv[], const QString &directory)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Tallyport"));
    QApplication::setApplicationVersion(ProgramVersion());

    SystemClock clock;
    DialogPrompts prompts;
    InstanceLock lock;
    ProgramDirectory programDirectory;
    QString made;
    QString error;
    if (!OpenProgramDirectory(directory, QApplication::applicationDirPath(), lock, programDirectory, made,
                              error)) {
        QTextStream(stderr) << "tallyport: " << error << Qt::endl;
        prompts.message(error, QApplication::applicationName(), Prompts::Icon::Critical);
        return 2;
    }
    if (!made.isEmpty())
        prompts.message(made, QApplication::applicationName(), Prompts::Icon::Information);
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(programDirectory.path, clock, prompts, errors, status);

    MainWindow window(state);
    Monitor monitor(state, window.activation(), window.pollTimer());
    window.setMonitor(monitor);
    window.attachEventViews(monitor.database);
    prompts.setParent(&window);
    ModelEditorRegistry editors;
    RegisterModelEditors(editors, {state, monitor.link, &monitor.database});
    window.openDeviceConfiguration = [&] {
        TreeConfiguration tree(state, monitor.database, monitor.link, monitor.mail, editors, &window);
        ExecModal(tree);
    };
    SettingsWindows settingsWindows(state, window, monitor.mail, monitor.notifier);
    // Remote access follows the [web] settings at every activation (off unless enabled).
    WebService web(state, monitor.grid, window.pollTimer(), monitor.database);
    ConnectRemoteAccess(web, window.activation(), window.pollTimer(), monitor.outbox);
    ConnectNotifications(web, monitor.notifier);
    web.setAlarmResponse(monitor.response);
    // Readings and states go to an MQTT broker when [mqtt] is enabled.
    MqttPublisher mqtt(state, monitor.grid, monitor.database);
    ConnectMqtt(mqtt, window.activation(), monitor.cycle);
    ConnectConfigurationLink(mqtt, web);
    ReportWindows reportWindows(state, window, monitor.database, monitor.monthlyReport);
    window.start();
    return app.exec();
}
