// Times opening the events view of the main window with 100,000 rows in each of tblAlarms,
// tblErrors and tblServerFailures: the Events menu (the grids read again and the first alarm
// shown) and the first page of each grid drawn; then jumps of the alarm reader and the errors
// tab. Prints figures.
//
// bench_events [--show seconds] [schema.sql]
//   --show keeps the window open on the events view for that long, a third of it on each tab
//   (for screenshots).
#include "BenchPrompts.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ErrorLog.h>
#include <core/LocalWait.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>
#include <db/Database.h>
#include <db/SchemaFile.h>
#include <ui/main/EventViews.h>
#include <ui/main/MainWindow.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <functional>

namespace {
constexpr int kRows = 100000;

QTextStream out(stdout);

// kRows alarms, errors and failure episodes, five minutes apart, ending now.
bool fill(const QString &path)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery alarm(db), error(db), episode(db);
        alarm.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        alarm.exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
        ok = ok && db.transaction();
        ok = ok &&
             alarm.prepare(QStringLiteral(
                 "INSERT INTO tblAlarms (SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, EmailSent, "
                 "CauseOfAlarm, Server, Sensor, CurrentData, TOL) VALUES (?, ?, ?, 0, ?, ?, ?, ?, ?, 15)"));
        ok = ok && error.prepare(
                       QStringLiteral("INSERT INTO tblErrors (myTime, myFunction, Cause) VALUES (?, ?, ?)"));
        ok = ok && episode.prepare(QStringLiteral("INSERT INTO tblServerFailures (ServerName, ServerIDNum, "
                                                  "OffLine, BackOnLine, EmailSent) VALUES (?, ?, ?, ?, ?)"));
        const QDateTime start = QDateTime::currentDateTime().addSecs(-qint64(kRows) * 300);
        const QStringList devices = {QStringLiteral("Server room"), QStringLiteral("Cold store"),
                                     QStringLiteral("Lab 2"), QStringLiteral("Pharmacy")};
        for (int i = 0; ok && i < kRows; ++i) {
            const QDateTime when = start.addSecs(qint64(i) * 300);
            const QString device = devices.at(i % devices.size());
            const QString sensor = QStringLiteral("Freezer %1").arg(i % 40 + 1);
            alarm.bindValue(0, i % 40 + 1);
            alarm.bindValue(1, SortableDateTime(when));
            alarm.bindValue(2, SortableDateTime(when.addSecs(240)));
            alarm.bindValue(3, DateTimeText(when.addSecs(20)));
            alarm.bindValue(4, QStringLiteral("The sensor %1 on %2 reads 12.5 above its upper limit of 10.0.")
                                   .arg(sensor, device));
            alarm.bindValue(5, device);
            alarm.bindValue(6, sensor);
            alarm.bindValue(7, QStringLiteral("22.5"));
            ok = alarm.exec();
            error.bindValue(0, SortableDateTime(when));
            error.bindValue(1, QStringLiteral("Error in ReadFromQM is "));
            error.bindValue(2, QStringLiteral("The device %1 did not answer within 10 seconds.").arg(device));
            ok = ok && error.exec();
            episode.bindValue(0, device);
            episode.bindValue(1, i % devices.size() + 1);
            episode.bindValue(2, SortableDateTime(when));
            episode.bindValue(3, DateTimeText(when.addSecs(600)));
            episode.bindValue(4, i % 10 == 0 ? QStringLiteral("False") : DateTimeText(when.addSecs(60)));
            ok = ok && episode.exec();
        }
        ok = ok && db.commit();
        alarm.finish();
        error.finish();
        episode.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

double msOf(const std::function<void()> &step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const QString &what, double ms)
{
    out << QStringLiteral("%1 %2 ms\n").arg(what, -58).arg(ms, 8, 'f', 1);
    out.flush();
}

// Draws a grid as the screen would, which reads the rows it shows.
void draw(QTableView *grid)
{
    grid->grab();
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyport"));
    QStringList args = QApplication::arguments().mid(1);
    int showSeconds = 0;
    if (args.size() >= 2 && args.first() == QLatin1String("--show")) {
        showSeconds = args.at(1).toInt();
        args = args.mid(2);
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wexa.mdb"));
    QString error;
    const bool made = !args.isEmpty() ? CreateDatabaseFromSchema(args.first(), path, false, error)
                                      : QFile::copy(QApplication::applicationDirPath() + "/wexa.mdb", path);
    if (!made) {
        out << "cannot make a database: " << (error.isEmpty() ? "no wexa.mdb beside bench_events" : error)
            << "\n";
        return 1;
    }
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (!fill(path)) {
        out << "cannot fill the tables\n";
        return 1;
    }
    out << kRows << " rows in each of tblAlarms, tblErrors, tblServerFailures, filled in "
        << fillTimer.elapsed() << " ms\n";

    SystemClock clock;
    SilentPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(dir.path(), clock, prompts, errors, status);
    Database db(state, path);
    MainWindow window(state);
    window.attachEventViews(db);
    window.resize(1200, 760);
    window.show();
    EventViews &views = *window.eventViews();
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabMain"));
    auto *alarms = window.findChild<QTableView *>(QStringLiteral("dbgridAlarms"));
    auto *devices = window.findChild<QTableView *>(QStringLiteral("dbgridDeviceAlarms"));
    auto *systemErrors = window.findChild<QTableView *>(QStringLiteral("dbgridSystemErrors"));
    auto *events = window.findChild<QAction *>(QStringLiteral("mnuAlarmFrame"));

    report("open the database file", msOf([&] { db.open(); }));
    EventExtent extent;
    QList<AlarmRecord> alarmRows;
    report("  size of tblAlarms", msOf([&] { db.AlarmsExtent(extent); }));
    report("  size of tblErrors", msOf([&] { db.ErrorsExtent(extent); }));
    report("  size of tblServerFailures, notified episodes",
           msOf([&] { db.ServerFailuresExtent(true, extent); }));
    report("  size of tblServerFailures, all episodes",
           msOf([&] { db.ServerFailuresExtent(false, extent); }));
    report("  first page of tblAlarms", msOf([&] { db.AlarmsNewestFirst(alarmRows, 0, 200); }));
    report("Events menu, first time (refresh + first alarm)", msOf([&] { events->trigger(); }));
    report("first page of the three grids drawn", msOf([&] {
               draw(alarms);
               draw(devices);
               draw(systemErrors);
           }));
    report("Events menu again, grids drawn", msOf([&] {
               events->trigger();
               draw(alarms);
               draw(devices);
               draw(systemErrors);
           }));
    QScrollBar *alarmNum = views.alarmNum();
    report("alarm reader: alarm 50,000", msOf([&] { alarmNum->setValue(50000); }));
    report("alarm reader: alarm 100,000 (the oldest)", msOf([&] { alarmNum->setValue(kRows); }));
    report("alarm grid scrolled to the bottom and drawn", msOf([&] {
               alarms->scrollToBottom();
               draw(alarms);
           }));
    alarmNum->setValue(1);
    report("errors tab selected (all episodes), grids drawn", msOf([&] {
               tabs->setCurrentIndex(EventViews::ErrorsTab);
               draw(devices);
               draw(systemErrors);
           }));
    out << "pages read: alarms " << views.browser().alarms().pageReads() << ", device alarms "
        << views.browser().deviceAlarms().pageReads() << ", system errors "
        << views.browser().systemErrors().pageReads() << "\n";
    if (!errors.lines().isEmpty())
        out << "errors: " << errors.lines().join(QStringLiteral("; ")) << "\n";
    out.flush();

    if (showSeconds > 0) {
        // Each tab for a third of the time.
        tabs->setCurrentIndex(0);
        alarmNum->setValue(3);
        QTimer::singleShot(showSeconds * 1000 / 3, tabs, [tabs] { tabs->setCurrentIndex(1); });
        QTimer::singleShot(showSeconds * 2000 / 3, tabs, [tabs] { tabs->setCurrentIndex(2); });
        LocalWait().run(showSeconds * 1000);
    }
    return 0;
}
