// Times the database operations the poll cycle runs for every sensor, on a tblAlarms of
// 1,000,000 rows. Prints figures; the goal is under 1 ms per call for RecordActiveAlarms and
// RecordOpenAlarms.
//
// bench_db [schema.sql]   (default: copies the wexa.mdb built beside this program)
#include "BenchPrompts.h"

#include <core/Clock.h>
#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>
#include <db/Database.h>
#include <db/SchemaFile.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {
constexpr int kAlarmRows = 1000000;
constexpr int kSensors = 500;
constexpr int kCalls = 20000;

QTextStream out(stdout);

// Every sensor has kAlarmRows / kSensors ended alarms; every other sensor also has one open.
bool fillAlarms(const QString &path)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery query(db);
        // Bulk load: no syncing, the journal in memory, a cache large enough for the indexes.
        query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        query.exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
        query.exec(QStringLiteral("PRAGMA cache_size=-262144"));
        ok = ok && db.transaction();
        ok = ok && query.prepare(
                       QStringLiteral("INSERT INTO tblAlarms (SensorIDNum, AlarmStart, AlarmEnd, "
                                      "AlarmActive, EmailSent, CauseOfAlarm, Server, Sensor, CurrentData, "
                                      "TOL) VALUES (?, ?, ?, ?, ?, ?, 'Lab', 'Freezer', '72.5', 15)"));
        const QDateTime start(QDate(2015, 1, 1), QTime(0, 0));
        for (int i = 0; ok && i < kAlarmRows; ++i) {
            const int sensor = i % kSensors + 1;
            const bool open = i >= kAlarmRows - kSensors && sensor % 2 == 0;
            const QDateTime when = start.addSecs(qint64(i) * 300);
            query.bindValue(0, sensor);
            query.bindValue(1, StoredDateTime(when));
            query.bindValue(2, open ? QVariant() : QVariant(StoredDateTime(when.addSecs(120))));
            query.bindValue(3, open ? -1 : 0);
            query.bindValue(4, QStringLiteral("1/1/2015 12:05:00 AM"));
            query.bindValue(5, QStringLiteral("The temperature sensor Freezer is out of limits."));
            ok = query.exec();
        }
        ok = ok && db.commit();
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

// Mean and slowest call of op over kCalls calls, in microseconds.
void time(const char *name, int calls, const std::function<bool(int)> &op)
{
    std::vector<qint64> ns;
    ns.reserve(calls);
    QElapsedTimer timer;
    int failed = 0;
    for (int i = 0; i < calls; ++i) {
        timer.start();
        failed += op(i) ? 0 : 1;
        ns.push_back(timer.nsecsElapsed());
    }
    std::sort(ns.begin(), ns.end());
    qint64 total = 0;
    for (qint64 v : ns)
        total += v;
    out << QStringLiteral("%1 %2 calls: mean %3 us, median %4 us, 99th %5 us, max %6 us%7\n")
               .arg(QString::fromLatin1(name), -34)
               .arg(calls, 6)
               .arg(double(total) / calls / 1000.0, 8, 'f', 1)
               .arg(double(ns[ns.size() / 2]) / 1000.0, 8, 'f', 1)
               .arg(double(ns[ns.size() * 99 / 100]) / 1000.0, 8, 'f', 1)
               .arg(double(ns.back()) / 1000.0, 8, 'f', 1)
               .arg(failed ? QStringLiteral("  (%1 FAILED)").arg(failed) : QString());
    out.flush();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wexa.mdb"));
    QString error;
    const bool made =
        argc > 1 ? CreateDatabaseFromSchema(QString::fromLocal8Bit(argv[1]), path, false, error)
                 : QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/wexa.mdb"), path);
    if (!made) {
        out << "cannot make a database: "
            << (error.isEmpty() ? QStringLiteral("no wexa.mdb beside bench_db") : error) << "\n";
        return 1;
    }

    QElapsedTimer fillTimer;
    fillTimer.start();
    if (!fillAlarms(path)) {
        out << "cannot fill tblAlarms\n";
        return 1;
    }
    out << "tblAlarms filled with " << kAlarmRows << " rows for " << kSensors << " sensors in "
        << fillTimer.elapsed() << " ms\n";

    SystemClock clock;
    SilentPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(dir.path(), clock, prompts, errors, status);
    Database db(state, path);

    int count = 0;
    OpenRecords open;
    db.RecordActiveAlarms(1, count); // opens the file
    time("RecordActiveAlarms", kCalls, [&](int i) { return db.RecordActiveAlarms(i % kSensors + 1, count); });
    time("RecordOpenAlarms", kCalls, [&](int i) {
        return db.RecordOpenAlarms(QStringLiteral("tblAlarms"), QStringLiteral("SensorIDNum"),
                                   i % kSensors + 1, QStringLiteral("AlarmEnd"), open);
    });
    QVariant value;
    db.AddServer(QStringLiteral("Lab"), QStringLiteral("RX705"), QStringLiteral("10.0.0.1"), {}, 1, {}, {},
                 -1);
    time("GetFieldValue", kCalls, [&](int) {
        return db.GetFieldValue(1, QStringLiteral("tblServers"), QStringLiteral("ServerName"), value);
    });
    time("MarkServerBackOnLine (none open)", kCalls,
         [&](int i) { return db.MarkServerBackOnLine(i % 20 + 1); });
    time("AddAlarmRecord", 200, [&](int i) {
        return db.AddAlarmRecord(kSensors + 1 + i, clock.now(), QStringLiteral("Lab"), QStringLiteral("New"),
                                 QStringLiteral("99.0"), 5, -1);
    });
    time("AddError", 200, [&](int) { return db.AddError(QStringLiteral("bench"), QStringLiteral("cause")); });
    time("CountAlarms", 20, [&](int) { return db.CountAlarms(count); });
    QList<AlarmRecord> rows;
    time("AlarmsNewestFirst, first 100", 200, [&](int) { return db.AlarmsNewestFirst(rows, 0, 100); });
    time("AlarmsNewestFirst, 1 at offset 500000", 20,
         [&](int) { return db.AlarmsNewestFirst(rows, 500000, 1); });
    if (!errors.lines().isEmpty())
        out << "errors: " << errors.lines().join(QStringLiteral("; ")) << "\n";
    return 0;
}
