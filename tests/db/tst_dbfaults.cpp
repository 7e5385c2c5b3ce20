#include "support_db.h"

#include <db/DbErrorLog.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <functional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
// Failing operations give up after the short busy time-out, not after a long wait.
constexpr qint64 kPromptlyMs = 2000;

struct WriteCase {
    const char *name;
    std::function<bool(Database &)> write;
    QString shown;  // message box text it starts with, or
    QString logged; // error log line it starts with, or neither: the caller reports
};

QList<WriteCase> writeCases()
{
    const QString addServer = QStringLiteral("Error adding server, the error is ");
    return {
        {"AddServer",
         [](Database &db) { return db.AddServer("New", "", "10.9.9.9", "", 1, "", "", -1); },
         addServer,
         {}},
        {"UpdateServer",
         [](Database &db) { return db.UpdateServer(1, "X", "", "1", "", 1, "", "", -1); },
         QStringLiteral("Error in UpdateServer is "),
         {}},
        {"EnableDisableServer",
         [](Database &db) { return db.EnableDisableServer(1, 0, 0); },
         QStringLiteral("Error in EnableDisableServer is "),
         {}},
        {"UpdateServerEmail",
         [](Database &db) { return db.UpdateServerEmail(1, "a@b.c,"); },
         QStringLiteral("Error updating email addresses.  The error is: "),
         {}},
        {"SaveSensor",
         [](Database &db) { return db.SaveSensor(1, "S", 0, "", "", "", "", ""); },
         addServer,
         {}},
        {"AddAlarmRecord",
         [](Database &db) { return db.AddAlarmRecord(1, QDateTime::currentDateTime(), "", "", "", 0, -1); },
         {},
         QStringLiteral("Error adding alarm record to tblAlarms|")},
        {"AddBackupFileError",
         [](Database &db) { return db.AddBackupFileError("x"); },
         {},
         QStringLiteral("Error adding alarm record to tblLogFileBackup|")},
        {"DeleteServerErrors",
         [](Database &db) { return db.DeleteServerErrors(); },
         {},
         QStringLiteral("DeleteServerErrors()|")},
        {"DeleteSystemErrors",
         [](Database &db) { return db.DeleteSystemErrors(); },
         {},
         QStringLiteral("DeleteSystemErrors()|")},
        {"EndAlarm", [](Database &db) { return db.EndAlarm(1); }, {}, {}},
        {"MarkServerBackOnLine", [](Database &db) { return db.MarkServerBackOnLine(1); }, {}, {}},
        {"AddError", [](Database &db) { return db.AddError("where", "cause"); }, {}, {}},
    };
}

// Fills a fresh database with one row in each table the write cases touch.
void fill(Database &db)
{
    QVERIFY(db.AddServer("Lab", "RX705", "10.0.0.1", "", 1, "", "", -1));
    QVERIFY(db.SaveSensor(1, "S", 0, "", "temperature", "", "", ""));
    QVERIFY(db.AddAlarmRecord(1, QDateTime::currentDateTime(), "Lab", "S", "", 0, -1));
    QVERIFY(db.AddServerFailure(1, "Lab"));
}

// Every write fails promptly with its own text; reads still work; nothing is left half done.
void checkWritesFail(TestState &t, Database &db, const QString &engineText)
{
    for (const WriteCase &c : writeCases()) {
        t.prompts.texts.clear();
        t.errors.clear();
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(!c.write(db), c.name);
        QVERIFY2(timer.elapsed() < kPromptlyMs, c.name);
        QVERIFY2(db.lastError().contains(engineText),
                 qPrintable(QString::fromLatin1(c.name) + ": " + db.lastError()));
        if (!c.shown.isEmpty()) {
            QCOMPARE(t.prompts.texts.size(), 1);
            QVERIFY2(t.prompts.texts.first().startsWith(c.shown + db.lastError()), c.name);
        } else {
            QVERIFY2(t.prompts.texts.isEmpty(), c.name);
        }
        if (!c.logged.isEmpty()) {
            QCOMPARE(t.errors.lines().size(), 1);
            QVERIFY2(t.errors.lines().first().startsWith(c.logged), c.name);
        } else {
            QVERIFY2(t.errors.lines().isEmpty(), c.name);
        }
    }
    QList<ServerRecord> servers;
    int count = 0;
    QVERIFY(db.RecordServers(servers, count));
    QCOMPARE(count, 1);
    QCOMPARE(servers.first().ServerName, QStringLiteral("Lab"));
    OpenRecords open;
    QVERIFY(db.RecordOpenAlarms("tblAlarms", "SensorIDNum", 1, "AlarmEnd", open));
    QCOMPARE(open.count, 1);
}

const char kReadOnlyChild[] = "TALLYPORT_READ_ONLY_DATABASE";
} // namespace

class TestDbFaults : public QObject {
    Q_OBJECT
private slots:
    void lockedFileFailsWritesPromptly()
    {
        DbFixture f;
        fill(f.db);
        OtherConnection other(f.path());
        QVERIFY(other.exec("BEGIN EXCLUSIVE"));
        checkWritesFail(f.t, f.db, QStringLiteral("database is locked"));

        // The error log stays silent while it cannot write, and keeps the line until it can.
        DbErrorLog log(f.db);
        f.t.state.setErrorLog(log);
        f.t.prompts.texts.clear();
        f.t.state.AddError("where", "while locked");
        QVERIFY(f.t.prompts.texts.isEmpty());
        QCOMPARE(log.pendingCount(), 1);

        QVERIFY(other.exec("ROLLBACK"));
        QVERIFY(f.db.AddServer("New", "", "10.9.9.9", "", 1, "", "", -1));
        f.t.state.AddError("where", "after the lock");
        QList<ErrorRecord> errors;
        QVERIFY(f.db.ErrorsNewestFirst(errors));
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.first().Cause, QStringLiteral("after the lock"));
        QCOMPARE(errors.last().Cause, QStringLiteral("while locked"));
        QCOMPARE(log.pendingCount(), 0);
    }

    // Reads that share one read transaction see the file as it was at the first of them; a
    // write of this connection after another's is neither refused as stale nor held back: it
    // ends the shared read and is committed at once, and the reads after it see both.
    void sharedReadsNeverHoldBackAWrite()
    {
        DbFixture f;
        fill(f.db);
        OtherConnection other(f.path());
        QList<ServerRecord> servers;
        int count = 0;
        {
            const Database::ReadBatch reads(f.db);
            QVERIFY(f.db.RecordServers(servers, count));
            QCOMPARE(count, 1);
            QVERIFY(other.exec("INSERT INTO tblServers (ServerName) VALUES ('other')"));
            QVERIFY(f.db.RecordServers(servers, count));
            QCOMPARE(count, 1);
            QVERIFY2(f.db.AddServer("New", "", "10.9.9.9", "", 1, "", "", -1), qPrintable(f.db.lastError()));
            QCOMPARE(other.scalar("SELECT COUNT(*) FROM tblServers").toInt(), 3);
            QVERIFY(f.db.RecordServers(servers, count));
            QCOMPARE(count, 3);
            // Another program's exclusive hold waits for nothing of this batch.
            QVERIFY(other.exec("BEGIN EXCLUSIVE"));
            QVERIFY(other.exec("ROLLBACK"));
        }
        QVERIFY(other.exec("BEGIN EXCLUSIVE"));
        QVERIFY(other.exec("DELETE FROM tblServers WHERE ServerName = 'other'"));
        QVERIFY(other.exec("COMMIT"));
        QVERIFY(f.db.RecordServers(servers, count));
        QCOMPARE(count, 2);
    }

    // What a device's evaluation reads at every cycle is kept between cycles, and follows every
    // change to the file all the same: another connection's commits, this connection's own
    // writes, a rolled-back transaction; a shared read still sees the file as at its first read.
    void keptReadsFollowEveryChange()
    {
        DbFixture f;
        fill(f.db);
        OtherConnection other(f.path());
        const auto sensorNames = [&] {
            QList<SensorRecord> rows;
            int count = 0;
            f.db.RecordSensors(1, rows, count);
            QStringList names;
            for (const SensorRecord &row : rows)
                names << row.SensorName;
            return names.join(',');
        };
        const auto openAlarms = [&] {
            QHash<qint64, Database::SensorAlarmCounts> counts;
            return f.db.RecordDeviceAlarmCounts(1, counts) ? counts.value(1).open.count : -1;
        };
        QString name, email;
        qint64 announced = -1;
        QCOMPARE(sensorNames(), QStringLiteral("S"));
        QCOMPARE(openAlarms(), 1);
        QVERIFY(f.db.ServerNameAndEmail(1, name, email));
        QVERIFY(f.db.MarkServerBackOnLine(1, &announced)); // ends the episode, never announced
        QCOMPARE(announced, 0);

        QVERIFY(other.exec("UPDATE tblSensors SET SensorName = 'T'"));
        QVERIFY(other.exec("UPDATE tblAlarms SET AlarmEnd = 'ended'"));
        QVERIFY(other.exec("UPDATE tblServers SET ServerName = 'Lab 2', EmailAddress = 'a@b.c'"));
        QVERIFY(other.exec("INSERT INTO tblServerFailures (ServerIDNum, BackOnLine, EmailSent) "
                           "VALUES (1, 'False', 'Yes')"));
        QCOMPARE(sensorNames(), QStringLiteral("T"));
        QCOMPARE(openAlarms(), 0);
        QVERIFY(f.db.ServerNameAndEmail(1, name, email));
        QCOMPARE(name + ' ' + email, QStringLiteral("Lab 2 a@b.c"));
        QVERIFY(f.db.MarkServerBackOnLine(1, &announced));
        QVERIFY(announced > 0);
        QVERIFY(f.db.MarkServerBackOnLine(1, &announced)); // its own stamp is seen
        QCOMPARE(announced, 0);

        {
            const Database::ReadBatch reads(f.db);
            QCOMPARE(sensorNames(), QStringLiteral("T"));
            QVERIFY(other.exec("UPDATE tblSensors SET SensorName = 'U'"));
            QCOMPARE(sensorNames(), QStringLiteral("T"));
        }
        QCOMPARE(sensorNames(), QStringLiteral("U"));
        QVERIFY(f.db.SaveSensor(1, "V", 0, "", "temperature", "", "", ""));
        QCOMPARE(sensorNames(), QStringLiteral("V"));
        QVERIFY(!f.db.runInTransaction([&] {
            return f.db.SaveSensor(1, "W", 0, "", "temperature", "", "", "") && sensorNames() == "W" &&
                   openAlarms() == 0 && false;
        }));
        QCOMPARE(sensorNames(), QStringLiteral("V"));
        QCOMPARE(f.t.errors.lines(), QStringList());
    }

    // Another program holds the file from before the first operation: nothing can be read,
    // every operation fails with the engine's text, and all works once the lock is gone.
    void fileLockedBeforeFirstUseRecovers()
    {
        DbFixture f;
        OtherConnection other(f.path());
        QVERIFY(other.exec("BEGIN EXCLUSIVE"));
        QVERIFY(other.exec("INSERT INTO tblServers (ServerName) VALUES ('held')"));
        int count = -1;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!f.db.CountNamedSensors(count));
        QVERIFY(timer.elapsed() < kPromptlyMs);
        QVERIFY2(f.db.lastError().contains("database is locked"), qPrintable(f.db.lastError()));
        QVariant value;
        QVERIFY(!f.db.GetFieldValue(1, "tblServers", "ServerName", value));
        QVERIFY2(f.db.lastError().contains("database is locked"), qPrintable(f.db.lastError()));

        QVERIFY(other.exec("COMMIT"));
        QVERIFY(f.db.GetFieldValue(1, "tblServers", "ServerName", value));
        QCOMPARE(value.toString(), QStringLiteral("held"));
        QVERIFY(f.db.SaveSensor(1, "S", 0, "", "", "1", "2", "3"));
        QVERIFY(f.db.CountNamedSensors(count));
        QCOMPARE(count, 1);
    }

    // A read-only file: reads work, writes fail with their texts. Root ignores file modes, so
    // as root the check runs in a child process under an unprivileged user.
    void readOnlyFileFailsWrites()
    {
        const QString childPath = qEnvironmentVariable(kReadOnlyChild);
        if (!childPath.isEmpty()) {
            TestState t;
            Database db(t.state, childPath);
            checkWritesFail(t, db, QStringLiteral("readonly"));
            return;
        }
        DbFixture f;
        fill(f.db);
        f.db.close();
        QVERIFY(QFile::setPermissions(f.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
#ifdef Q_OS_UNIX
        if (::geteuid() == 0) {
            // The unprivileged user needs the directory (for the WAL index) but not the file.
            QVERIFY(QFile::setPermissions(f.t.dir.path(), QFile::Permissions(0x7777)));
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QString::fromLatin1(kReadOnlyChild), f.path());
            child.setProcessEnvironment(env);
            child.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("readOnlyFileFailsWrites")});
            QVERIFY(child.waitForFinished(60000));
            QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());
            return;
        }
#endif
        Database db(f.t.state, f.path());
        checkWritesFail(f.t, db, QStringLiteral("readonly"));
    }
};

QTEST_GUILESS_MAIN(TestDbFaults)
#include "tst_dbfaults.moc"
