// A program killed while it writes: a child process writes readings, hourly statistics or the
// settings file as fast as it can and is killed at a random moment. Whatever it left must read
// back whole, and a restarted writer must carry on from it without losing or doubling a record.
#include <acquisition/SensorDataFiles.h>
#include <core/Cipher.h>
#include <core/ConfigFile.h>
#include <core/DateTimeText.h>

#include <support/TestState.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {
const char kLoopVariable[] = "TALLYPORT_WRITE_LOOP"; // "<kind>|<directory>" in the child
constexpr int kSensor = 7;
const QDateTime kStart(QDate(2026, 3, 14), QTime(10, 0, 0));

// The writer of one kind, over a program state on the given directory.
class Writer {
public:
    explicit Writer(const QString &directory) : m_state(directory, m_clock, m_prompts, m_errors, m_status)
    {
        m_cipher.InitCipher();
    }

    // Writes the next record after those already in the files (reading n for the n-th).
    bool writeNext(const QString &kind)
    {
        const QString dir = m_state.programDirectory();
        if (kind == QLatin1String("readings") || kind == QLatin1String("kept files")) {
            const QFileInfo file(SensorInstantaneousPath(dir, kSensor, kStart.date()));
            const qint64 n = file.exists() ? WholeRecords(file.size(), InstantaneousRecord::Size) : 0;
            m_clock.set(kStart.addSecs(n));
            if (kind == QLatin1String("readings"))
                return SaveInstantaneousReading(m_state, dir, kSensor, float(n));
            // All three files, the statistics and the readings kept open between writes.
            return SaveSensorReadingFiles(m_state, dir, kSensor, QStringLiteral("Freezer"),
                                          QStringLiteral("Lab"), QStringLiteral("F"), float(n), nullptr,
                                          &m_files);
        }
        if (kind == QLatin1String("statistics")) {
            // Each reading is 1, ten minutes apart from the hour: six to a record.
            m_clock.set(m_resumed ? m_clock.now().addSecs(600) : resumeTime(dir));
            m_resumed = true;
            // With the memory of the last record the program keeps between readings.
            return SaveHourlyStatistics(m_state, dir, kSensor, 1.0f, nullptr, &m_statistics);
        }
        ConfigFile config(m_state, m_cipher);
        config.ReadConfiguration();
        const int n = m_state.Config.OrgName.section(QLatin1Char(' '), 1, 1).toInt();
        m_state.Config.OrgName = QStringLiteral("Org %1").arg(n + 1);
        m_state.Config.SMTPPassword = QStringLiteral("secret %1").arg(n + 1);
        return config.SaveConfiguration();
    }

private:
    // After a restart: just past the last statistics record's readings.
    QDateTime resumeTime(const QString &dir)
    {
        QList<HourlyStatisticsRecord> records;
        ReadHourlyStatistics(SensorStatisticsPath(dir, kSensor), records);
        if (records.isEmpty())
            return kStart;
        const HourlyStatisticsRecord &last = records.last();
        return ParseDateTimeText(last.startText).addSecs(600 * last.count);
    }

    ManualClock m_clock{kStart};
    ScriptedPrompts m_prompts;
    MemoryErrorLog m_errors;
    StatusList m_status;
    ProgramState m_state;
    Cipher m_cipher;
    bool m_resumed = false;
    std::optional<SensorFileMemory::Statistics> m_statistics;
    SensorFileMemory m_files;
};

// The child: writes until it is killed.
int RunWriteLoop(const QString &job)
{
    const QString kind = job.section(QLatin1Char('|'), 0, 0);
    Writer writer(job.section(QLatin1Char('|'), 1));
    std::fputs("writing\n", stdout);
    std::fflush(stdout);
    for (;;)
        if (!writer.writeNext(kind))
            return 1;
}
} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT
private slots:
    void killedWhileWriting_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("instantaneous readings") << "readings";
        QTest::newRow("hourly statistics") << "statistics";
        QTest::newRow("reading files kept open") << "kept files";
        QTest::newRow("settings file") << "settings";
    }
    void killedWhileWriting()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QRandomGenerator random(4242);
        for (int round = 0; round < 4; ++round) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QString::fromLatin1(kLoopVariable), kind + QLatin1Char('|') + dir.path());
            child.setProcessEnvironment(env);
            child.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(child.waitForReadyRead(10000));
            QTest::qWait(int(random.bounded(20, 200)));
            QCOMPARE(child.state(), QProcess::Running); // still writing when killed
            child.kill();
            QVERIFY(child.waitForFinished(5000));
            checkAfterKill(kind, dir.path());
            // A restarted program carries on from what the killed one left.
            Writer restarted(dir.path());
            QVERIFY(restarted.writeNext(kind));
            checkAfterKill(kind, dir.path());
        }
    }

private:
    static void checkAfterKill(const QString &kind, const QString &dir)
    {
        if (kind == QLatin1String("kept files")) {
            QList<HourlyStatisticsRecord> hours;
            QVERIFY(ReadHourlyStatistics(SensorStatisticsPath(dir, kSensor), hours));
            for (const HourlyStatisticsRecord &record : hours)
                QVERIFY(ParseDateTimeText(record.startText).isValid() && record.count >= 1);
        }
        if (kind == QLatin1String("readings") || kind == QLatin1String("kept files")) {
            QList<InstantaneousRecord> records;
            QVERIFY(ReadInstantaneousReadings(SensorInstantaneousPath(dir, kSensor, kStart.date()), records));
            QVERIFY(records.size() > 0);
            for (int i = 0; i < records.size(); ++i) {
                QCOMPARE(records.at(i).reading, float(i));
                QCOMPARE(ParseDateTimeText(records.at(i).timeText), kStart.addSecs(i));
            }
        } else if (kind == QLatin1String("statistics")) {
            QList<HourlyStatisticsRecord> records;
            QVERIFY(ReadHourlyStatistics(SensorStatisticsPath(dir, kSensor), records));
            QVERIFY(records.size() > 0);
            for (const HourlyStatisticsRecord &record : records) {
                QVERIFY(ParseDateTimeText(record.startText).isValid());
                QVERIFY(record.count >= 1 && record.count <= 6);
                QCOMPARE(record.total, float(record.count));
                QCOMPARE(record.minimum, 1.0f);
                QCOMPARE(record.maximum, 1.0f);
            }
        } else {
            TestState t;
            const QString path = QDir(dir).filePath(ConfigFile::FileName);
            QVERIFY(QFile::copy(path, t.path(ConfigFile::FileName)));
            Cipher cipher;
            QVERIFY(cipher.InitCipher());
            ConfigFile config(t.state, cipher);
            QVERIFY(config.ReadConfiguration());
            QCOMPARE(QFileInfo(path).size(), qint64(ConfigLayout::RecordSize));
            const QString n = t.state.Config.OrgName.trimmed().section(QLatin1Char(' '), 1, 1);
            QVERIFY(n.toInt() > 0);
            QCOMPARE(t.state.Config.SMTPPassword.trimmed(), QStringLiteral("secret ") + n);
        }
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString loop = qEnvironmentVariable(kLoopVariable);
    if (!loop.isEmpty())
        return RunWriteLoop(loop);
    TestCrashSafety test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
