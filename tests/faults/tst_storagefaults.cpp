// Storage that fails under the running program: a database file locked by another program or
// made read-only, directories that cannot be written, a full disk, a damaged settings file. The
// healthy device keeps being polled; what can be written is written, the rest is recorded once
// the storage is back, and nothing is reported as done that was not.
#include "support_child.h"
#include "support_rig.h"

#include <acquisition/SensorDataFiles.h>
#include <alarms/AlarmEvaluation.h>
#include <acquisition/StatusGridModel.h>
#include <db/Database.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTest>

#include <functional>

namespace {
// A write lock on the database file held by someone else; released when it goes.
class LockHolder {
public:
    virtual ~LockHolder() = default;
    virtual bool lock(const QString &path) = 0;
    virtual void release() = 0;
};

// A second connection of this program in an exclusive transaction.
class ConnectionLockHolder final : public LockHolder {
public:
    bool lock(const QString &path) override { return m_lock.lock(path); }
    void release() override { m_lock.release(); }

private:
    ConnectionLock m_lock;
};

// Another program: a Python process in an exclusive transaction until its input closes.
class ProcessLock final : public LockHolder {
public:
    ~ProcessLock() override { release(); }
    bool lock(const QString &path) override
    {
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral("-c"),
                         QStringLiteral("import sqlite3, sys\n"
                                        "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                        "c.execute('BEGIN EXCLUSIVE')\n"
                                        "print('locked', flush=True)\n"
                                        "sys.stdin.read()\n"),
                         path});
        return m_process.waitForReadyRead(10000) && m_process.readAll().contains("locked");
    }
    void release() override
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

QString openAlarmOf(qint64 sensorId)
{
    return QStringLiteral("SensorIDNum = %1 AND AlarmEnd IS NULL AND AlarmActive <> 0").arg(sensorId);
}

bool setMode(const QString &path, QFile::Permissions permissions)
{
    return QFile::setPermissions(path, permissions);
}

const QFile::Permissions kReadOnlyDir = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                        QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
const QFile::Permissions kWritableDir = kReadOnlyDir | QFile::WriteOwner;
const QFile::Permissions kReadOnlyFile = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
const QFile::Permissions kWritableFile = kReadOnlyFile | QFile::WriteOwner;

// Every data file of a directory to the given mode.
bool setDataFileModes(const QString &directory, QFile::Permissions permissions)
{
    bool ok = true;
    for (const QString &name : QDir(directory).entryList({QStringLiteral("Sensor-*.dat")}, QDir::Files))
        ok = setMode(QDir(directory).filePath(name), permissions) && ok;
    return ok;
}
} // namespace

class TestStorageFaults : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { m_rig.reset(); }

    void databaseLocked_data()
    {
        QTest::addColumn<bool>("otherProcess");
        QTest::newRow("by a second connection") << false;
        QTest::newRow("by another program") << true;
    }
    // While another program holds the write lock, readings are filed and each alarm e-mail goes
    // out once; the alarm records (one ended meanwhile, one still open) and the error lines are
    // written as soon as the lock is gone, with the times they happened.
    void databaseLocked()
    {
        QFETCH(bool, otherProcess);
        QVERIFY(setUp(62));
        // Alpha's failure episode opens before the lock; its notice falls due under it.
        m_alpha->setFault(SimFault::Silent);
        m_rig->runCycle();
        std::unique_ptr<LockHolder> holder;
        if (otherProcess)
            holder = std::make_unique<ProcessLock>();
        else
            holder = std::make_unique<ConnectionLockHolder>();
        QVERIFY(holder->lock(m_rig->t.path("wexa.mdb")));

        m_bravo->setAlarmByte(0, 1);
        m_rig->runCycle();
        const QDateTime firstSeen = m_rig->t.clock.now();
        m_rig->runCycle();
        m_bravo->setAlarmByte(0, 0);
        m_rig->runCycle();
        const QDateTime firstEnded = m_rig->t.clock.now();
        QCOMPARE(m_rig->monitor->grid.status(2), StatusGridModel::SensorStatus::Normal);
        m_bravo->setAlarmByte(0, 1);
        m_rig->runCycle();
        const QDateTime secondSeen = m_rig->t.clock.now();
        QCOMPARE(m_rig->monitor->grid.status(2), StatusGridModel::SensorStatus::Alarm);
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Bravo", ": OK")));
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 5);
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), 2);
        QCOMPARE(m_rig->count("tblAlarms"), 0);

        holder->release();
        m_rig->runCycle();
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 6);
        QCOMPARE(m_rig->count("tblAlarms"), 2);
        const QString first = "SELECT %1 FROM tblAlarms ORDER BY IDNum LIMIT 1";
        QCOMPARE(m_rig->value(first.arg("AlarmStart")).toString(), StoredDateTime(firstSeen));
        QCOMPARE(m_rig->value(first.arg("AlarmEnd")).toString(), StoredDateTime(firstEnded));
        QCOMPARE(m_rig->value(first.arg("AlarmActive")).toInt(), 0);
        QCOMPARE(m_rig->value(first.arg("EmailSent")).toString(), DateTimeText(firstSeen));
        QVERIFY(m_rig->value(first.arg("CauseOfAlarm")).toString().contains("Bravo Freezer"));
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(m_bravoFreezer)), 1);
        QCOMPARE(m_rig->value("SELECT AlarmStart FROM tblAlarms WHERE AlarmEnd IS NULL").toString(),
                 StoredDateTime(secondSeen));
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), 2);
        // What could not be logged while the file was locked is in the log now.
        QVERIFY(!m_rig->errorLines("Error adding alarm record to tblAlarms|").isEmpty());
        // Alpha's notice went out once, under the lock, and its episode says so.
        QCOMPARE(m_rig->count("tblServerFailures"), 1);
        QCOMPARE(m_rig->value("SELECT EmailSent FROM tblServerFailures").toString(), DateTimeText(firstSeen));
        QCOMPARE(m_rig->mailsWith("The device: Alpha,"), 1);
        QCOMPARE(m_rig->tornFiles(), QStringList());
    }

    // A database file made read-only, then writable again: the program goes on, writes what the
    // file takes once it can, and sends each alarm e-mail once.
    void readOnlyDatabase()
    {
        if (RunningAsRoot()) {
            QString output;
            QVERIFY2(RunTestAsNobody(QStringLiteral("readOnlyDatabase"), output), qPrintable(output));
            return;
        }
        QVERIFY(setUp(62));
        m_rig->runCycle();
        const QString file = m_rig->t.path("wexa.mdb");
        QVERIFY(setMode(file, kReadOnlyFile));
        // As a program started on a read-only file finds it (no other connection of this
        // process may keep the file open for writing meanwhile).
        m_rig->closeReader();
        m_rig->monitor->database.close();

        m_bravo->setAlarmByte(0, 1);
        m_rig->runCycle();
        const QDateTime alarmSeen = m_rig->t.clock.now();
        m_rig->runCycle();
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Bravo", ": OK")));
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 3);
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), 1);
        QCOMPARE(m_rig->count("tblAlarms"), 0);
        m_rig->closeReader();

        QVERIFY(setMode(file, kWritableFile));
        m_rig->runCycle();
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(m_bravoFreezer)), 1);
        QCOMPARE(m_rig->value("SELECT AlarmStart FROM tblAlarms").toString(), StoredDateTime(alarmSeen));
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), 1);
        QVERIFY(!m_rig->errorLines("Error adding alarm record to tblAlarms|").isEmpty());
    }

    // The program directory and its data files cannot be written: every reading still reaches
    // the backup directory, each failed write is logged, and alarms are recorded as usual.
    void dataDirectoryUnwritable()
    {
        if (RunningAsRoot()) {
            QString output;
            QVERIFY2(RunTestAsNobody(QStringLiteral("dataDirectoryUnwritable"), output), qPrintable(output));
            return;
        }
        QVERIFY(setUp(62));
        const QString backup = m_rig->t.path("backup");
        QVERIFY(QDir().mkpath(backup));
        m_rig->t.state.Config.LogDirectory = backup;
        m_rig->saveSettings();
        m_rig->runCycle();
        const QString programDir = m_rig->t.dir.path();
        QVERIFY(setDataFileModes(programDir, kReadOnlyFile));
        QVERIFY(setMode(programDir, kReadOnlyDir));

        m_bravo->setAlarmByte(0, 1);
        m_rig->runCycle();
        m_rig->runCycle();
        const bool restored =
            setMode(programDir, kWritableDir) && setDataFileModes(programDir, kWritableFile);
        QVERIFY(restored);
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer, backup), 3);
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 1);
        // Three files for each of the three sensors in each of the two cycles.
        QCOMPARE(m_rig->errorLines("Error saving data to ").size() +
                     m_rig->errorLines("Function: SaveSensorDatToFile() ").size(),
                 2 * 3 * 3);
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(m_bravoFreezer)), 1);
        QCOMPARE(m_rig->count("tblLogFileBackup"), 0);

        m_rig->runCycle();
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 2);
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer, backup), 4);
        QCOMPARE(m_rig->tornFiles(), QStringList());
    }

    void backupDirectoryUnwritable_data()
    {
        QTest::addColumn<bool>("readOnly"); // else a plain file stands where the directory was
        QTest::newRow("read-only") << true;
        QTest::newRow("replaced by a file") << false;
    }
    // One episode and one notice while the copy fails; the program directory keeps every
    // reading; the episode closes at the first copy that works again.
    void backupDirectoryUnwritable()
    {
        QFETCH(bool, readOnly);
        if (readOnly && RunningAsRoot()) {
            QString output;
            QVERIFY2(RunTestAsNobody(QStringLiteral("backupDirectoryUnwritable:read-only"), output),
                     qPrintable(output));
            return;
        }
        QVERIFY(setUp(62));
        const QString backup = m_rig->t.path("backup");
        QVERIFY(QDir().mkpath(backup));
        m_rig->t.state.Config.LogDirectory = backup;
        m_rig->saveSettings();
        m_rig->runCycle();
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer, backup), 1);

        if (readOnly) {
            QVERIFY(setDataFileModes(backup, kReadOnlyFile));
            QVERIFY(setMode(backup, kReadOnlyDir));
        } else {
            QVERIFY(QDir().rename(backup, m_rig->t.path("backup.away")));
            QFile blocker(backup);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        for (int cycle = 0; cycle < 3; ++cycle)
            m_rig->runCycle();
        QCOMPARE(m_rig->count("tblLogFileBackup"), 1);
        QCOMPARE(m_rig->count("tblLogFileBackup", "BackOnLine = 'False'"), 1);
        const QString noticeSent = m_rig->value("SELECT EmailSent FROM tblLogFileBackup").toString();
        QVERIFY2(ParseDateTimeText(noticeSent).isValid(), qPrintable(noticeSent));
        QCOMPARE(m_rig->mailsWith("error writing data log files to the programmed directory"), 1);
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 4);
        // The status line and the notice say why the copy failed.
        const QStringList lines = m_rig->t.status.lines().filter(AlarmEvaluation::BackupErrorKey);
        QVERIFY2(lines.size() == 1 && lines.first().contains(QDir::toNativeSeparators(backup) + ".  Error is "),
                 qPrintable(m_rig->t.status.lines().join('\n')));
        const QString cause = lines.first().section(".  Error is ", 1);
        QVERIFY(!cause.trimmed().isEmpty());
        QCOMPARE(m_rig->mailsWith(("The error is: " + cause).toUtf8()), 1);

        if (readOnly) {
            QVERIFY(setMode(backup, kWritableDir));
            QVERIFY(setDataFileModes(backup, kWritableFile));
        } else {
            QVERIFY(QFile::remove(backup));
            QVERIFY(QDir().rename(m_rig->t.path("backup.away"), backup));
        }
        m_rig->runCycle();
        QCOMPARE(m_rig->count("tblLogFileBackup", "BackOnLine <> 'False'"), 1);
        QVERIFY(!m_rig->t.status.contains(AlarmEvaluation::BackupErrorKey));
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer, backup), 2);
        QCOMPARE(m_rig->tornFiles(backup), QStringList());
    }

    // No file may grow past a few bytes beyond the first readings: appends fail part-way, the
    // database cannot grow. Files keep whole records; once there is room again the alarm seen
    // meanwhile is recorded and the failures are in the error log.
    void fullDisk()
    {
        QVERIFY(setUp(62));
        m_rig->runCycle();
        const qint64 limit =
            QFileInfo(SensorStatisticsPath(m_rig->t.dir.path(), int(m_bravoFreezer))).size() + 4;
        m_bravo->setAlarmByte(0, 1);
        QDateTime alarmSeen;
        {
            FileSizeLimit full(limit);
            QVERIFY(full.isSet());
            m_rig->runCycle();
            alarmSeen = m_rig->t.clock.now();
            m_rig->runCycle();
        }
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Bravo", ": OK")));
        QCOMPARE(m_rig->tornFiles(), QStringList());
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 1);
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), 1);

        m_rig->runCycle();
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 2);
        QCOMPARE(m_rig->count("tblAlarms", openAlarmOf(m_bravoFreezer)), 1);
        QCOMPARE(m_rig->value("SELECT AlarmStart FROM tblAlarms").toString(), StoredDateTime(alarmSeen));
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), 1);
        QVERIFY(!m_rig->errorLines("Error saving data to ").isEmpty());
        QCOMPARE(m_rig->tornFiles(), QStringList());
    }

    void settingsFileDamaged_data()
    {
        QTest::addColumn<int>("length"); // of random bytes; -1: cut to half its length
        QTest::newRow("cut short") << -1;
        QTest::newRow("emptied") << 0;
        QTest::newRow("garbage") << 1501;
    }
    // A settings file damaged while the program runs: the settings in use stay as they were,
    // the reading failure is logged, alarms still reach their recipients.
    void settingsFileDamaged()
    {
        QFETCH(int, length);
        QVERIFY(setUp(62));
        m_rig->runCycle();
        const ConfigRecord before = m_rig->t.state.Config;
        QFile file(m_rig->activation->configFile().path());
        QByteArray bytes;
        if (length < 0) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            bytes = file.readAll().left(file.size() / 2);
            file.close();
        } else {
            QRandomGenerator random{quint32(length)};
            for (int i = 0; i < length; ++i)
                bytes.append(char(random.bounded(256)));
        }
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();

        m_bravo->setAlarmByte(0, 1);
        m_rig->runCycle();
        m_rig->runCycle();
        QVERIFY(m_rig->t.state.Config == before);
        QVERIFY(!m_rig->errorLines("Error reading configuration parameters from ").isEmpty());
        QCOMPARE(m_rig->mailsWith("Bravo Freezer has generated"), 1);
        const QString emailSent = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(ParseDateTimeText(emailSent).isValid(), qPrintable(emailSent));
        QCOMPARE(m_rig->readingsFiled(m_bravoFreezer), 3);
        QVERIFY(m_rig->statusShows(OutcomeLine(*m_rig, "Alpha", ": OK")));
    }

private:
    bool setUp(int octet)
    {
        m_rig = std::make_unique<FaultRig>(octet);
        QString error;
        if (!m_rig->start(error)) {
            qWarning() << error;
            return false;
        }
        m_alpha = m_rig->addDevice(
            "Alpha", {{0, "Alpha Freezer", FaultRig::Temperature}, {8, "Alpha Door", FaultRig::Door}});
        m_bravo = m_rig->addDevice("Bravo", {{0, "Bravo Freezer", FaultRig::Temperature}});
        if (!m_alpha || !m_bravo)
            return false;
        m_rig->layOutGrid();
        m_bravoFreezer = m_rig->sensorId("Bravo", 0);
        return true;
    }

    std::unique_ptr<FaultRig> m_rig;
    SimDevice *m_alpha = nullptr;
    SimDevice *m_bravo = nullptr;
    qint64 m_bravoFreezer = 0;
};

QTEST_GUILESS_MAIN(TestStorageFaults)
#include "tst_storagefaults.moc"
