#include <acquisition/SensorDataFiles.h>

#include <core/DateTimeText.h>

#include <support/TestState.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <limits>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

QDateTime at(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void append(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Text padded to a field, as the record layout stores it.
QByteArray field(const char *text, int width)
{
    QByteArray bytes(text);
    return bytes + QByteArray(width - bytes.size(), ' ');
}

// 72.5 = 0x42910000, 70 = 0x428C0000, little-endian.
const QByteArray k72_5("\x00\x00\x91\x42", 4);
const QByteArray k70("\x00\x00\x8C\x42", 4);
const QByteArray kOne("\x01\x00\x00\x00", 4);

#ifdef Q_OS_LINUX
// How many of this process's descriptors are open on the file at path.
int descriptorsOn(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    for (const QFileInfo &fd :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files))
        count += !target.isEmpty() && fd.symLinkTarget() == target;
    return count;
}
#endif

bool saveAll(TestState &t, const QString &dir, float reading, QString *error = nullptr)
{
    return SaveSensorReadingFiles(t.state, dir, 7, "Freezer 1", "Lab A", QString(QChar(0xB0)) + "F", reading,
                                  error);
}

} // namespace

class TestSensorDataFiles : public QObject {
    Q_OBJECT
private slots:
    void firstReadingCreatesThreeFilesWithExactRecords()
    {
        TestState t;
        t.clock.set(at(2026, 3, 14, 10, 30));
        QVERIFY(saveAll(t, t.dir.path(), 72.5f));
        QVERIFY(t.errors.lines().isEmpty());

        QCOMPARE(QDir(t.dir.path()).entryList(QDir::Files, QDir::Name),
                 QStringList({"Sensor-7 Average.dat", "Sensor-7 Instantaneous Data Created 3-2026.dat",
                              "Sensor-7.dat"}));
        QCOMPARE(contents(t.path("Sensor-7.dat")), field("Lab A", 20) + field("Freezer 1", 20) +
                                                       "\xB0"
                                                       "F ");
        const QByteArray stamp = field("3/14/2026 10:30:00 AM", 25);
        QCOMPARE(contents(t.path("Sensor-7 Average.dat")), stamp + k72_5 + k72_5 + k72_5 + kOne);
        QCOMPARE(contents(t.path("Sensor-7 Instantaneous Data Created 3-2026.dat")), stamp + k72_5);

        // A second reading in the same hour updates the statistics in place and appends a reading.
        t.clock.set(at(2026, 3, 14, 10, 31));
        QVERIFY(saveAll(t, t.dir.path(), 70.0f));
        const QByteArray statistics = contents(t.path("Sensor-7 Average.dat"));
        QCOMPARE(statistics.size(), 41);
        QCOMPARE(statistics.mid(25, 4), QByteArray("\x00\x80\x0E\x43", 4)); // total 142.5
        QCOMPARE(statistics.mid(29, 8), k70 + k72_5);                       // minimum, maximum
        QCOMPARE(statistics.mid(37, 4), QByteArray("\x02\x00\x00\x00", 4));
        QCOMPARE(contents(t.path("Sensor-7 Instantaneous Data Created 3-2026.dat")).mid(29),
                 field("3/14/2026 10:31:00 AM", 25) + k70);
    }

    void headerFollowsRenamesAndStaysOneRecord()
    {
        TestState t;
        QVERIFY(
            SaveSensorDatToFile(t.state, t.dir.path(), 3, "A sensor name longer than twenty", "Dev", "%RH"));
        QCOMPARE(contents(t.path("Sensor-3.dat")), field("Dev", 20) + "A sensor name longer" + "%RH");
        QVERIFY(SaveSensorDatToFile(t.state, t.dir.path(), 3, "Door", "Dev", ""));
        QCOMPARE(contents(t.path("Sensor-3.dat")), field("Dev", 20) + field("Door", 20) + "   ");
        SensorHeaderRecord header;
        QVERIFY(ReadSensorHeader(t.path("Sensor-3.dat"), header));
        QCOMPARE(header, (SensorHeaderRecord{"Dev", "Door", ""}));
    }

    void nonAsciiNamesAreSingleBytes()
    {
        TestState t;
        const QString sensor = QString::fromUtf8("K\u00fchlraum \u20ac5");
        const QString device = QString::fromUtf8("Caf\u00e9 \u2013 Nord");
        QVERIFY(SaveSensorDatToFile(t.state, t.dir.path(), 1, sensor, device, QString(QChar(0xB0)) + "C"));
        const QByteArray bytes = contents(t.path("Sensor-1.dat"));
        QCOMPARE(bytes.size(), 43);
        QCOMPARE(bytes.left(11), QByteArray("Caf\xE9 \x96 Nord"));
        QCOMPARE(bytes.mid(20, 11), QByteArray("K\xFChlraum \x80"
                                               "5"));
        QCOMPARE(bytes.mid(40), QByteArray("\xB0"
                                           "C "));
        SensorHeaderRecord header;
        QVERIFY(ReadSensorHeader(t.path("Sensor-1.dat"), header));
        QCOMPARE(header.sensorName, sensor);
        QCOMPARE(header.serverName, device);
    }

    void hourBoundaryDecidesRecords_data()
    {
        QTest::addColumn<QDateTime>("first");
        QTest::addColumn<QDateTime>("second");
        QTest::addColumn<int>("records");
        QTest::newRow("10:59 then 11:00") << at(2026, 3, 14, 10, 59) << at(2026, 3, 14, 11, 0) << 2;
        QTest::newRow("10:00 then 10:59:59") << at(2026, 3, 14, 10, 0) << at(2026, 3, 14, 10, 59, 59) << 1;
        QTest::newRow("same hour next day") << at(2026, 3, 14, 10, 10) << at(2026, 3, 15, 10, 5) << 2;
        QTest::newRow("midnight") << at(2026, 3, 14, 23, 59, 59) << at(2026, 3, 15, 0, 0) << 2;
        QTest::newRow("clock set back") << at(2026, 3, 14, 10, 10) << at(2026, 3, 14, 9, 50) << 2;
    }
    void hourBoundaryDecidesRecords()
    {
        QFETCH(QDateTime, first);
        QFETCH(QDateTime, second);
        QFETCH(int, records);
        TestState t;
        t.clock.set(first);
        QVERIFY(SaveHourlyStatistics(t.state, t.dir.path(), 7, 72.5f));
        t.clock.set(second);
        QVERIFY(SaveHourlyStatistics(t.state, t.dir.path(), 7, 70.0f));

        const QByteArray bytes = contents(t.path("Sensor-7 Average.dat"));
        QCOMPARE(bytes.size(), records * 41);
        if (records == 2) {
            QCOMPARE(bytes.left(41),
                     field(qPrintable(DateTimeText(first)), 25) + k72_5 + k72_5 + k72_5 + kOne);
            QCOMPARE(bytes.mid(41), field(qPrintable(DateTimeText(second)), 25) + k70 + k70 + k70 + kOne);
        }
    }

    void statisticsAccumulate()
    {
        TestState t;
        t.clock.set(at(2026, 3, 14, 10, 0));
        for (float reading : {70.0f, 75.0f, 65.0f, 65.0f, 68.5f}) {
            QVERIFY(SaveHourlyStatistics(t.state, t.dir.path(), 2, reading));
            t.clock.advanceSeconds(60);
        }
        QList<HourlyStatisticsRecord> records;
        QVERIFY(ReadHourlyStatistics(t.path("Sensor-2 Average.dat"), records));
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0], (HourlyStatisticsRecord{"3/14/2026 10:00:00 AM", 343.5f, 65.0f, 75.0f, 5}));
    }

    void newMonthStartsNewInstantaneousFile()
    {
        TestState t;
        t.clock.set(at(2026, 12, 31, 23, 59, 30));
        QVERIFY(SaveInstantaneousReading(t.state, t.dir.path(), 4, 1.0f));
        t.clock.set(at(2027, 1, 1, 0, 0, 10));
        QVERIFY(SaveInstantaneousReading(t.state, t.dir.path(), 4, 2.0f));
        QVERIFY(SaveInstantaneousReading(t.state, t.dir.path(), 4, 3.0f));

        QList<InstantaneousRecord> december, january;
        QVERIFY(
            ReadInstantaneousReadings(t.path("Sensor-4 Instantaneous Data Created 12-2026.dat"), december));
        QVERIFY(ReadInstantaneousReadings(t.path("Sensor-4 Instantaneous Data Created 1-2027.dat"), january));
        QCOMPARE(december, QList<InstantaneousRecord>({{"12/31/2026 11:59:30 PM", 1.0f}}));
        QCOMPARE(january, QList<InstantaneousRecord>(
                              {{"1/1/2027 12:00:10 AM", 2.0f}, {"1/1/2027 12:00:10 AM", 3.0f}}));
    }

    // The second directory's path as a user may type it: not ASCII, with ".." and a trailing
    // separator.
    void secondDirectoryGetsAnIdenticalCopy()
    {
        TestState t;
        QTemporaryDir temporary;
        QVERIFY(QDir(temporary.path()).mkdir(QStringLiteral("Kühlraum")));
        const QDir backup(temporary.filePath(QStringLiteral("Kühlraum")));
        const QString typed = temporary.path() + QStringLiteral("/Kühlraum/../Kühlraum/");
        for (int minute : {10, 40, 70}) {
            t.clock.set(at(2026, 3, 14, 10, 0).addSecs(minute * 60));
            QVERIFY(saveAll(t, t.dir.path(), 60.0f + minute));
            QVERIFY(saveAll(t, typed, 60.0f + minute));
        }
        const QStringList names = QDir(t.dir.path()).entryList(QDir::Files);
        QCOMPARE(names.size(), 3);
        QCOMPARE(backup.entryList(QDir::Files), names);
        for (const QString &name : names)
            QCOMPARE(contents(backup.filePath(name)), contents(t.path(name)));
    }

    // The writer that remembers what it wrote writes the same bytes as the one that reads the
    // files every time, also when someone else deletes, replaces or lengthens a file meanwhile:
    // what it remembers is used only for the very file it wrote, and a deleted header comes back
    // at the first reading of the next hour (at once when the name changes).
    void rememberedFilesMatchFreshReadsAfterChangesFromOutside()
    {
        TestState t;
        QTemporaryDir fresh;
        SensorFileMemory memory;
        const QString remembering = t.dir.path();
        const QString average = "Sensor-7 Average.dat";
        const auto both = [&](const QDateTime &when, float reading, const char *name = "Freezer 1") {
            t.clock.set(when);
            const QString unit = QString(QChar(0xB0)) + "F";
            QVERIFY(SaveSensorReadingFiles(t.state, remembering, 7, name, "Lab A", unit, reading, nullptr,
                                           &memory));
            QVERIFY(SaveSensorReadingFiles(t.state, fresh.path(), 7, name, "Lab A", unit, reading));
        };
        const auto same = [&](const QString &name) {
            QCOMPARE(contents(QDir(remembering).filePath(name)), contents(QDir(fresh.path()).filePath(name)));
        };
        // Done to both directories alike.
        const auto replaceAverage = [&](const QByteArray &bytes) {
            for (const QString &dir : {remembering, fresh.path()}) {
                QFile other(QDir(dir).filePath("other.dat"));
                QVERIFY(other.open(QIODevice::WriteOnly));
                other.write(bytes);
                other.close();
                QVERIFY(QFile::remove(QDir(dir).filePath(average)));
                QVERIFY(QFile::rename(other.fileName(), QDir(dir).filePath(average)));
            }
        };

        for (int minute = 0; minute < 130; minute += 10)
            both(at(2026, 3, 31, 22, 30).addSecs(minute * 60), 50.0f + float(minute % 7));
        for (const QString &name : {average, QString("Sensor-7 Instantaneous Data Created 3-2026.dat"),
                                    QString("Sensor-7 Instantaneous Data Created 4-2026.dat")})
            same(name);
        QCOMPARE(contents(QDir(remembering).filePath(average)).size(), 3 * 41);

        // Replaced by a file of another length, then by one of the same length with other numbers.
        const QByteArray three = contents(QDir(fresh.path()).filePath(average));
        replaceAverage(three.left(41));
        both(at(2026, 4, 1, 0, 45), 1.0f);
        same(average);
        QByteArray other = contents(QDir(fresh.path()).filePath(average));
        other.replace(41 + 25, 4, k70); // the last record's total
        replaceAverage(other);
        both(at(2026, 4, 1, 0, 50), 2.0f);
        same(average);
        // Lengthened in place by a torn record.
        for (const QString &dir : {remembering, fresh.path()})
            append(QDir(dir).filePath(average), "torn");
        both(at(2026, 4, 1, 0, 55), 3.0f);
        same(average);
        QCOMPARE(contents(QDir(remembering).filePath(average)).size(), 2 * 41);

        // A deleted header: back at the next hour's first reading, or at once with another name.
        const QString header = QDir(remembering).filePath("Sensor-7.dat");
        QVERIFY(QFile::remove(header));
        both(at(2026, 4, 1, 0, 58), 4.0f);
        QVERIFY(!QFile::exists(header));
        both(at(2026, 4, 1, 1, 0), 5.0f);
        same("Sensor-7.dat");
        QVERIFY(QFile::remove(header));
        both(at(2026, 4, 1, 1, 5), 6.0f, "Freezer 2");
        same("Sensor-7.dat");
        QCOMPARE(contents(header).mid(20, 20), field("Freezer 2", 20));
        same(average);
        same("Sensor-7 Instantaneous Data Created 4-2026.dat");
        QVERIFY(t.errors.lines().isEmpty());
    }

#ifdef Q_OS_LINUX
    // Files kept open between readings: within their budget, closed when their month ends or
    // their sensor has a cycle without a reading, and never written once another file, or none,
    // stands at their path (replaced, moved away, deleted).
    void keptFilesFollowTheirPaths()
    {
        TestState t;
        SensorFileMemory memory(3);
        const auto save = [&](int sensor, const QDateTime &when, float reading) {
            t.clock.set(when);
            QVERIFY(SaveSensorReadingFiles(t.state, t.dir.path(), sensor, "Freezer", "Lab A", "F", reading,
                                           nullptr, &memory));
        };
        const QString average7 = t.path("Sensor-7 Average.dat");
        const QString march7 = t.path("Sensor-7 Instantaneous Data Created 3-2026.dat");
        const auto readings = [](const QString &path) {
            QList<InstantaneousRecord> records;
            ReadInstantaneousReadings(path, records);
            return records;
        };

        save(7, at(2026, 3, 31, 22, 5), 1.0f);
        save(8, at(2026, 3, 31, 22, 5), 2.0f);
        QCOMPARE(memory.keptFiles(), 3);
        QCOMPARE(descriptorsOn(average7) + descriptorsOn(march7), 2);
        QCOMPARE(descriptorsOn(t.path("Sensor-8 Average.dat")), 1);
        QCOMPARE(descriptorsOn(t.path("Sensor-8 Instantaneous Data Created 3-2026.dat")), 0);

        // Replaced by another file: the reading goes to the file now at the path. Where a device's
        // readings share one look at the watch, a file replaced after them is noticed at the next
        // device's.
        const QString other = t.path("other.dat");
        const auto replaceMarch7 = [&] {
            QVERIFY(QFile::copy(march7, other));
            QVERIFY(QFile::remove(march7) && QFile::rename(other, march7));
        };
        const auto device = [&](int minute, float reading) {
            const SensorFileMemory::Batch readingsOfOneDevice(memory);
            save(7, at(2026, 3, 31, 22, minute), reading);
            save(8, at(2026, 3, 31, 22, minute), 2.5f);
        };
        for (int minute : {10, 12}) {
            replaceMarch7();
            device(minute, 3.0f);
        }
        QCOMPARE(readings(march7).size(), 3);
        // Moved away, then deleted: a new file at the path takes the reading.
        QVERIFY(QFile::rename(march7, other));
        QVERIFY(QFile::remove(average7));
        save(7, at(2026, 3, 31, 22, 15), 4.0f);
        QCOMPARE(readings(other).size(), 3);
        QCOMPARE(readings(march7), QList<InstantaneousRecord>({{"3/31/2026 10:15:00 PM", 4.0f}}));
        QList<HourlyStatisticsRecord> hours;
        QVERIFY(ReadHourlyStatistics(average7, hours));
        QCOMPARE(hours, QList<HourlyStatisticsRecord>({{"3/31/2026 10:15:00 PM", 4.0f, 4.0f, 4.0f, 1}}));

        // A cycle without sensor 8 closes its file; a new month closes the old month's.
        memory.releaseIdle();
        save(7, at(2026, 3, 31, 22, 20), 5.0f);
        memory.releaseIdle();
        QCOMPARE(descriptorsOn(t.path("Sensor-8 Average.dat")), 0);
        QCOMPARE(memory.keptFiles(), 2);
        save(7, at(2026, 4, 1, 0, 5), 6.0f);
        QCOMPARE(descriptorsOn(march7), 0);
        QCOMPARE(descriptorsOn(t.path("Sensor-7 Instantaneous Data Created 4-2026.dat")), 1);
        QCOMPARE(memory.keptFiles(), 2);
        memory.forget(t.dir.path());
        QCOMPARE(memory.keptFiles(), 0);
        QCOMPARE(descriptorsOn(average7), 0);
        QVERIFY(t.errors.lines().isEmpty());
    }

    // A parent of the directory renamed and the path made again: the watch sees nothing, but at
    // the end of the cycle the files, kept or opened in the directory held open, follow the path.
    void filesFollowTheirPathWhenAParentIsRenamed()
    {
        TestState t;
        SensorFileMemory memory(1); // one file kept, the other opened for each reading
        QVERIFY(QDir(t.dir.path()).mkpath(QStringLiteral("site/data")));
        const QString data = t.path("site/data");
        const auto save = [&](int minute, float reading) {
            t.clock.set(at(2026, 3, 31, 22, minute));
            QVERIFY(SaveSensorReadingFiles(t.state, data, 7, "Freezer", "Lab A", "F", reading, nullptr, &memory));
        };
        const auto readings = [](const QString &directory) {
            QList<InstantaneousRecord> records;
            ReadInstantaneousReadings(directory + "/Sensor-7 Instantaneous Data Created 3-2026.dat", records);
            QList<HourlyStatisticsRecord> hours;
            ReadHourlyStatistics(directory + "/Sensor-7 Average.dat", hours);
            return QPair<qsizetype, int>(records.size(), hours.isEmpty() ? 0 : hours.last().count);
        };
        save(5, 1.0f);
        save(6, 2.0f);
        QCOMPARE(memory.keptFiles(), 1);
        QVERIFY(QDir(t.dir.path()).rename(QStringLiteral("site"), QStringLiteral("site-old")));
        QVERIFY(QDir(t.dir.path()).mkpath(QStringLiteral("site/data")));
        memory.releaseIdle();
        save(7, 3.0f);
        QCOMPARE(readings(t.path("site-old/data")), (QPair<qsizetype, int>(2, 2)));
        QCOMPARE(readings(data), (QPair<qsizetype, int>(1, 1)));
        QVERIFY(t.errors.lines().isEmpty());
    }
#endif

    void unwritableDirectoryFailsAndLosesNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("a file") << "file";
        QTest::newRow("read-only") << "read-only";
    }
    void unwritableDirectoryFailsAndLosesNothing()
    {
        QFETCH(QString, kind);
        TestState t;
        QTemporaryDir other;
        QString bad = other.filePath("backup");
        if (kind == "file") {
            append(bad, "x");
        } else if (kind == "read-only") {
            QVERIFY(QDir().mkdir(bad));
            QFile::setPermissions(bad, QFile::ReadOwner | QFile::ExeOwner);
            QFile probe(QDir(bad).filePath("probe"));
            if (probe.open(QIODevice::WriteOnly))
                QSKIP("Permissions are not enforced for this user");
        }

        QVERIFY(saveAll(t, t.dir.path(), 72.5f));
        const QStringList names = QDir(t.dir.path()).entryList(QDir::Files);
        QList<QByteArray> before;
        for (const QString &name : names)
            before.append(contents(t.path(name)));

        QString error;
        QVERIFY(!saveAll(t, bad, 72.5f, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFileInfo::exists(bad) || QFileInfo(bad).isFile() || QDir(bad).isEmpty());
        // One log line per writer, each naming its file.
        QCOMPARE(t.errors.lines().size(), 3);
        const QString shown = QDir::toNativeSeparators(bad);
        QVERIFY(t.errors.lines()[0].startsWith("Function: SaveSensorDatToFile() " + shown));
        QVERIFY(t.errors.lines()[1].startsWith("Error saving data to " + shown));
        QVERIFY(t.errors.lines()[2].startsWith("Error saving data to " + shown));

        QCOMPARE(QDir(t.dir.path()).entryList(QDir::Files), names);
        for (int i = 0; i < names.size(); ++i)
            QCOMPARE(contents(t.path(names[i])), before[i]);
        QFile::setPermissions(bad, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

#ifdef Q_OS_UNIX
    // A write refused part-way (disk full, quota) is a failure and leaves the whole records as
    // they were. The file size limit of the process stands in for a full disk.
    void refusedWriteKeepsWholeRecords()
    {
        TestState t;
        t.clock.set(at(2026, 3, 14, 10, 30));
        QVERIFY(saveAll(t, t.dir.path(), 72.5f));
        const QString statisticsPath = t.path("Sensor-7 Average.dat");
        const QString instantaneousPath = t.path("Sensor-7 Instantaneous Data Created 3-2026.dat");
        const QByteArray statistics = contents(statisticsPath);
        const QByteArray readings = contents(instantaneousPath);

        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto savedSignal = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = 50;
        setrlimit(RLIMIT_FSIZE, &limit);
        t.clock.set(at(2026, 3, 14, 11, 30));
        QString error;
        const bool statisticsSaved = SaveHourlyStatistics(t.state, t.dir.path(), 7, 70.0f, &error);
        const bool readingSaved = SaveInstantaneousReading(t.state, t.dir.path(), 7, 70.0f);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, savedSignal);

        QVERIFY(!statisticsSaved);
        QVERIFY(!readingSaved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(t.errors.lines().size(), 2);
        QCOMPARE(contents(statisticsPath), statistics);
        QCOMPARE(contents(instantaneousPath), readings);
    }
#endif

    // A crash in the middle of an append leaves part of a record at the end; the next write
    // goes over it and every earlier record is kept.
    void tornRecordAtTheEndIsOverwritten_data()
    {
        QTest::addColumn<int>("tail");
        QTest::newRow("1 byte") << 1;
        QTest::newRow("over half a record") << 20;
        QTest::newRow("all but one byte") << 28;
    }
    void tornRecordAtTheEndIsOverwritten()
    {
        QFETCH(int, tail);
        TestState t;
        t.clock.set(at(2026, 3, 14, 10, 30));
        QVERIFY(saveAll(t, t.dir.path(), 72.5f));
        const QString statisticsPath = t.path("Sensor-7 Average.dat");
        const QString instantaneousPath = t.path("Sensor-7 Instantaneous Data Created 3-2026.dat");
        const QByteArray firstStatistics = contents(statisticsPath);
        const QByteArray firstReading = contents(instantaneousPath);
        append(statisticsPath, QByteArray(tail, '\x7F'));
        append(instantaneousPath, QByteArray(tail, '\x7F'));

        QList<HourlyStatisticsRecord> statistics;
        QVERIFY(ReadHourlyStatistics(statisticsPath, statistics));
        QCOMPARE(statistics.size(), 1);

        t.clock.set(at(2026, 3, 14, 11, 5));
        QVERIFY(saveAll(t, t.dir.path(), 70.0f));
        QCOMPARE(contents(statisticsPath),
                 firstStatistics + field("3/14/2026 11:05:00 AM", 25) + k70 + k70 + k70 + kOne);
        QCOMPARE(contents(instantaneousPath), firstReading + field("3/14/2026 11:05:00 AM", 25) + k70);

        // Same hour: the update in place also drops the torn tail.
        append(statisticsPath, QByteArray(tail, '\x7F'));
        t.clock.set(at(2026, 3, 14, 11, 6));
        QVERIFY(SaveHourlyStatistics(t.state, t.dir.path(), 7, 70.0f));
        QVERIFY(ReadHourlyStatistics(statisticsPath, statistics));
        QCOMPARE(contents(statisticsPath).size(), 82);
        QCOMPARE(statistics[1].count, 2);
    }

    void unreadableStartTimeStartsANewRecord()
    {
        TestState t;
        const QString path = t.path("Sensor-9 Average.dat");
        const QByteArray broken = HourlyStatisticsRecord::first("14.03.2026 10:00:00", 1.0f).encode();
        append(path, broken);
        t.clock.set(at(2026, 3, 14, 10, 30));
        QVERIFY(SaveHourlyStatistics(t.state, t.dir.path(), 9, 5.0f));
        QCOMPARE(t.errors.lines().size(), 1);
        QVERIFY(t.errors.lines()[0].contains("14.03.2026 10:00:00"));
        QVERIFY(SaveHourlyStatistics(t.state, t.dir.path(), 9, 7.0f));
        QCOMPARE(t.errors.lines().size(), 1);

        QList<HourlyStatisticsRecord> records;
        QVERIFY(ReadHourlyStatistics(path, records));
        QCOMPARE(records.size(), 2);
        QCOMPARE(contents(path).left(41), broken);
        QCOMPARE(records[1], (HourlyStatisticsRecord{"3/14/2026 10:30:00 AM", 12.0f, 5.0f, 7.0f, 2}));
    }

    // A count a damaged file holds (too large to take another reading, or none at all) closes
    // the record instead of overflowing or going on from nonsense.
    void impossibleCountStartsANewRecord_data()
    {
        QTest::addColumn<qint32>("count");
        QTest::newRow("largest") << std::numeric_limits<qint32>::max();
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << std::numeric_limits<qint32>::min();
    }
    void impossibleCountStartsANewRecord()
    {
        QFETCH(qint32, count);
        TestState t;
        const QString path = t.path("Sensor-9 Average.dat");
        const QByteArray damaged =
            HourlyStatisticsRecord{"3/14/2026 10:00:00 AM", 1.0f, 1.0f, 1.0f, count}.encode();
        append(path, damaged);
        t.clock.set(at(2026, 3, 14, 10, 30));
        QVERIFY(SaveHourlyStatistics(t.state, t.dir.path(), 9, 5.0f));
        QCOMPARE(t.errors.lines().size(), 1);
        QVERIFY(t.errors.lines()[0].contains(QString::number(count)));

        QList<HourlyStatisticsRecord> records;
        QVERIFY(ReadHourlyStatistics(path, records));
        QCOMPARE(records.size(), 2);
        QCOMPARE(contents(path).left(41), damaged);
        QCOMPARE(records[1], HourlyStatisticsRecord::first("3/14/2026 10:30:00 AM", 5.0f));
    }

    void csvExport()
    {
        TestState t;
        const QString csv = SensorCsvPath(t.dir.path(), 7);
        QCOMPARE(QFileInfo(csv).fileName(), "Sensor-7.csv");
        QVERIFY(ExportHourlyStatistics(t.state, csv, {"3/14/2026 10:00:00 AM", 343.5f, 65.0f, 75.0f, 5}));
        QVERIFY(ExportHourlyStatistics(t.state, csv, {"3/14/2026 11:00:00 AM", -2.5f, -2.5f, -2.5f, 1}));
        QCOMPARE(contents(csv),
                 QByteArray("\"Date/Time    \",\"Avg over 1 hr  \",\"Max    \",\"Min   \",\"Num Samples  \","
                            "\"Total of readings\"\r\n"
                            "\"3/14/2026 10:00:00 AM    \",\"69\",75,65,5,343.5\r\n"
                            "\"3/14/2026 11:00:00 AM    \",\"-3\",-2.5,-2.5,1,-2.5\r\n"));

        // A failure shows in the status list until an export succeeds again.
        const QString bad = t.path("missing/Sensor-7.csv");
        QString error;
        QVERIFY(!ExportHourlyStatistics(t.state, bad, {"x", 1, 1, 1, 1}, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(t.status.lines(), QStringList({"Error saving data to " + QDir::toNativeSeparators(bad) +
                                                ".  Error is " + error}));
        QVERIFY(ExportHourlyStatistics(t.state, csv, {"x", 1, 1, 1, 1}));
        QVERIFY(t.status.lines().isEmpty());
    }

    void readersRejectWhatIsNotThere()
    {
        TestState t;
        QString error;
        QList<InstantaneousRecord> readings;
        QVERIFY(!ReadInstantaneousReadings(t.path("none.dat"), readings, &error));
        QVERIFY(!error.isEmpty());
        append(t.path("short.dat"), "Lab A");
        SensorHeaderRecord header;
        QVERIFY(!ReadSensorHeader(t.path("short.dat"), header, &error));
    }
};

QTEST_GUILESS_MAIN(TestSensorDataFiles)
#include "tst_sensordatafiles.moc"
