// Times the largest on-board log a device can report (65,535 records of 23 bytes, 1.5 MB): from
// the click on "Download all log records" to the grid filled and drawn, then the export to a
// CSV file; prints the memory used. The device is the simulator on 127.0.79.1, the window the
// real device configuration window (offscreen unless a display is given).
//
// bench_devicelog [rounds]
#include "BenchMemory.h"

#include <alarms/MailManager.h>
#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>
#include <core/StatusList.h>
#include <db/Database.h>
#include <link/DeviceLink.h>
#include <ui/config/ModelEditorRegistry.h>
#include <ui/config/TreeConfiguration.h>

#include <SimDevice.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>

namespace {
constexpr int Records = 65535;
const QString Address = QStringLiteral("127.0.79.1");

// Answers every question with Yes/OK and every save dialog with the file given.
class BenchPrompts final : public Prompts {
public:
    QString file;
    Answer ask(const QString &, const QString &, Buttons buttons, Icon) override
    {
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    QString saveFileName(const QString &, const QString &, const QString &) override { return file; }
};

// A full log: one record a minute from 1 January 2026, most out of order by a day, readings that
// vary.
QByteArray fullLog(SimDevice &device)
{
    device.setClock(QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
    device.setUpdateRateMinutes(1);
    for (int port = 0; port < 8; ++port)
        device.setSensor(port, SimSensor{40.0 + port, 5, 90, 0.5});
    device.advance(Records * 60);
    QByteArray log = device.log();
    // Swap each pair of records so the sort has work to do.
    for (int k = 0; k + 1 < Records; k += 2) {
        const QByteArray first = log.mid(qsizetype(k) * 23, 23);
        log.replace(qsizetype(k) * 23, 23, log.mid(qsizetype(k + 1) * 23, 23));
        log.replace(qsizetype(k + 1) * 23, 23, first);
    }
    return log;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    QTemporaryDir dir;
    if (!QFile::copy(QApplication::applicationDirPath() + "/wexa.mdb", dir.filePath("wexa.mdb"))) {
        std::fprintf(stderr, "no wexa.mdb beside bench_devicelog\n");
        return 1;
    }
    SystemClock clock;
    BenchPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(dir.path(), clock, prompts, errors, status);
    state.setMonitoringActive(true);
    state.ActiveFormName = QLatin1String(TreeConfiguration::FormName);
    Database db(state);
    DeviceLink link(state);
    MailManager mail(state);
    ModelEditorRegistry editors;

    SimDevice device(5, 5, 23);
    if (!device.start(Address)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(device.errorString()));
        return 1;
    }
    const QByteArray log = fullLog(device);
    device.setFrozen(true);
    qint64 id = 0;
    db.AddServer(QStringLiteral("Big log"), QString(), Address, QString(), 1, QString(), QString(), -1, &id);

    TreeConfiguration window(state, db, link, mail, editors);
    window.show();
    auto *grid = window.findChild<QTableView *>(QStringLiteral("gridLog"));
    const long startKb = statusKb("VmRSS");
    std::printf("Device log of %d records of 23 bytes (%lld bytes), %d rounds\n", Records,
                static_cast<long long>(log.size()), rounds);
    for (int round = 1; round <= rounds; ++round) {
        device.setLog(log);
        window.tree()->setCurrentItem(window.tree()->topLevelItem(0)->child(0));
        window.findChild<QAction *>(QStringLiteral("mnuEditServer"))->trigger();
        const QString count = window.findChild<QLineEdit *>(QStringLiteral("txtNR"))->text();

        QElapsedTimer timer;
        timer.start();
        window.findChild<QPushButton *>(QStringLiteral("btnGetLogFile"))->click();
        grid->viewport()->repaint();
        const qint64 gridMs = timer.elapsed();
        const int rows = grid->model()->rowCount();

        prompts.file = dir.filePath(QStringLiteral("export-%1.csv").arg(round));
        timer.restart();
        window.findChild<QPushButton *>(QStringLiteral("btnExportLog"))->click();
        const qint64 csvMs = timer.elapsed();
        grid->scrollToBottom();
        grid->viewport()->repaint();
        std::printf("round %d: count %s, %d rows; grid filled and drawn %lld ms, CSV written %lld ms (%lld "
                    "bytes), together %lld ms\n",
                    round, qPrintable(count), rows, gridMs, csvMs,
                    static_cast<long long>(QFile(prompts.file).size()), gridMs + csvMs);
    }
    std::printf("memory: VmRSS %ld kB before the first download, %ld kB after; VmHWM %ld kB\n", startKb,
                statusKb("VmRSS"), statusKb("VmHWM"));
    if (!errors.lines().isEmpty())
        std::printf("errors logged: %s\n", qPrintable(errors.lines().join(QStringLiteral("; "))));
    return 0;
}
