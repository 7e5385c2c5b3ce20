// The device's on-board log: decoding records of each size, the grid model, the CSV export and the
// download itself (its length rule) against the simulator.
#include "support_devicerig.h"

#include <config/DataLog.h>
#include <config/DeviceClock.h>
#include <config/LogFiles.h>
#include <link/DeviceCommands.h>

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <ctime>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// One record: the clock without seconds, the values high byte first, the flags byte.
QByteArray record(const QDateTime &time, const QList<int> &values, int flags, int size)
{
    QByteArray request(60, '\0');
    EncodeClock(request, time);
    QByteArray bytes = request.mid(5, 6);
    for (int v = 0; v < (size - 7) / 2; ++v) {
        const int value = v < values.size() ? values.at(v) : 0;
        bytes.append(char((value >> 8) & 0xFF));
        bytes.append(char(value & 0xFF));
    }
    bytes.append(char(flags));
    return bytes;
}

QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 3, day), QTime(hour, minute));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestDataLog : public QObject {
    Q_OBJECT
private slots:
    void wholeRecordsOnly_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("leftover");
        QTest::newRow("22 bytes") << 22 << 2 << 0;
        QTest::newRow("16 bytes") << 16 << 1 << 5;
        QTest::newRow("17 bytes") << 17 << 1 << 6; // never a record made up of six bytes
        QTest::newRow("none") << 0 << 0 << 0;
    }

    void wholeRecordsOnly()
    {
        QFETCH(int, bytes);
        const QByteArray two =
            record(at(1, 8, 0), {700, 350}, 7, 11) + record(at(1, 8, 5), {701, 351}, 7, 11);
        DataLog log = DataLog::forDevice(3, 3, 5);
        log.decode(two.left(bytes));
        QTEST(int(log.records().size()), "rows");
        QTEST(log.leftoverBytes(), "leftover");
    }

    void values_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("not connected, tenths") << 3 << 5 << 10000 << " N\\C";
        QTest::newRow("10000 without tenths") << 3 << 4 << 10000 << "10000.0";
        QTest::newRow("not connected, whole") << 3 << 4 << 1000 << " N\\C";
        QTest::newRow("open") << 5 << 23 << 9990 << "Open";
        QTest::newRow("short") << 5 << 23 << -9990 << "Short";
        QTest::newRow("half a degree") << 5 << 23 << 5 << ".5";
        QTest::newRow("zero") << 3 << 5 << 0 << ".0";
        QTest::newRow("below zero") << 5 << 23 << -125 << "-12.5";
        QTest::newRow("72.5") << 5 << 23 << 725 << "72.5";
    }

    void values()
    {
        QFETCH(int, family);
        QFETCH(int, firmware);
        QFETCH(int, raw);
        QTEST(DataLog::forDevice(family, family == 3 ? 3 : 5, firmware).valueText(qint16(raw)), "text");
    }

    // Records sort by time, invalid ones last; column 0 keeps the download position.
    void sortedRowsOfEachLayout_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("family");
        QTest::addColumn<QStringList>("headings");
        QTest::newRow("Wexa 13") << 3 << 3 << QStringList{"Record #", "Date/Time", "Sensor 1", "Sensor 2",
                                                          "Door 1",   "Door 2",    "Power",    ""};
        QTest::newRow("Wexa 16") << 6 << 3 << QStringList{"Record #", "Date/Time",     "Sensor 1",
                                                          "Sensor 2", "Internal Temp", "Humidity %RH",
                                                          "Door 1",   "Door 2",        "Power",
                                                          ""};
        QTest::newRow("RX700-5") << 5 << 5
                                 << QStringList{"Record #", "Date/Time", "Sensor 1", "Sensor 2", "Sensor 3",
                                                "Sensor 4", "Sensor 5",  "Sensor 6", "Sensor 7", "Sensor 8",
                                                "Door 1",   "Door 2",    "Power",    ""};
    }

    void sortedRowsOfEachLayout()
    {
        QFETCH(int, model);
        QFETCH(int, family);
        QFETCH(QStringList, headings);
        DataLog log = DataLog::forDevice(family, model, 25);
        const int size = log.recordSize();
        QByteArray bad = record(at(2, 9, 0), {1}, 0, size);
        bad[3] = char(0x31); // day 31 of March is fine; month 2 is not
        bad[4] = char(0x02);
        const QByteArray bytes = record(at(2, 9, 0), {725, 10}, 4, size) + bad +
                                 record(at(1, 23, 59), {-50, 20}, 3, size) +
                                 record(at(2, 0, 30), {0, 30}, 0, size);
        log.decode(bytes);
        DataLogModel model_;
        QAbstractItemModelTester tester(&model_);
        model_.setLog(log);
        QCOMPARE(model_.rowCount(), 4);
        QStringList shown;
        for (int c = 0; c < model_.columnCount(); ++c)
            shown.append(model_.headerData(c, Qt::Horizontal).toString());
        QCOMPARE(shown, headings);
        const auto cell = [&](int row, int column) { return model_.index(row, column).data().toString(); };
        QCOMPARE(cell(0, 0) + cell(1, 0) + cell(2, 0) + cell(3, 0), QStringLiteral("3412"));
        QCOMPARE(cell(0, 1), QStringLiteral("3/1/2026 11:59:00 PM"));
        QCOMPARE(cell(1, 1), QStringLiteral("3/2/2026 12:30:00 AM"));
        QCOMPARE(cell(3, 1), QStringLiteral("Invalid Date/Time format"));
        QCOMPARE(cell(3, 2), QString());
        QCOMPARE(cell(3, log.sortKeyColumn()), QStringLiteral("9999999999999"));
        QCOMPARE(cell(2, log.sortKeyColumn()),
                 QString::number(QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC)
                                     .secsTo(QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC))));
        const int doors = 2 + log.valueCount();
        QCOMPARE(cell(0, doors) + cell(0, doors + 1) + cell(0, doors + 2), QStringLiteral("ClosedClosedOff"));
        QCOMPARE(cell(2, doors) + cell(2, doors + 1) + cell(2, doors + 2), QStringLiteral("OpenOpenOn"));
        QCOMPARE(cell(2, 2), QStringLiteral("72.5"));
    }

    void exportAppends()
    {
        TestState t;
        DataLog log = DataLog::forDevice(3, 3, 5);
        log.decode(record(at(2, 9, 0), {725, 10000}, 5, 11) + record(at(1, 8, 0), {-5, 0}, 2, 11));
        const QString path = t.path("Cooler.csv");
        QString error;
        QVERIFY(ExportLog(log, path, error));
        QVERIFY(ExportLog(log, path, error));
        const QByteArray header =
            "\"Record Number\",\"Date/Time\",\"Sensor 1\",\"Sensor 2\",\"Door 1\",\"Door 2\","
            "\"Power\"\r\n";
        const QByteArray rows = "1,\"3/1/2026 8:00:00 AM\",\"-.5\",\".0\",\"Open\",\"Closed\",\"Off\"\r\n"
                                "2,\"3/2/2026 9:00:00 AM\",\"72.5\",\" N\\C\",\"Closed\",\"Open\",\"On\"\r\n";
        QCOMPARE(readFile(path), header + rows + rows);

        DataLog rx = DataLog::forDevice(5, 5, 23);
        rx.decode(record(at(2, 9, 0), {1, 2, 3, 4, 5, 6, 7, 8}, 7, 23));
        const QString other = t.path("rx.csv");
        QVERIFY(ExportLog(rx, other, error));
        QVERIFY(readFile(other).startsWith(
            "\"Record Number\",\"Date/Time\",\"Sensor 1\",\"Sensor 2\",\"Sensor 3\","
            "\"Sensor 4\",\"Sensor 5\",\"Sensor 6\",\"Sensor 7\",\"Sensor 8\","
            "\"Door 1\",\"Door 2\",\"Power\"\r\n1,"));
        DataLog wexa16 = DataLog::forDevice(3, 6, 5);
        const QString third = t.path("w16.csv");
        QVERIFY(ExportLog(wexa16, third, error));
        QCOMPARE(readFile(third),
                 QByteArray("\"Record Number\",\"Date/Time\",\"Sensor 1\",\"Sensor 2\",\"Internal "
                            "Temperature\",\"Internal Humidity %RH\",\"Door 1\",\"Door 2\","
                            "\"Power\"\r\n"));
        QVERIFY(!ExportLog(log, t.path("no/such/dir.csv"), error));
        QVERIFY(!error.isEmpty());
    }

    // Device clocks keep no daylight saving: a time in the hour that the local zone skips in
    // spring (2:30 on 8 March 2026 in New York) is shown and exported as the device gave it, in
    // a zone with daylight saving as in UTC.
    void deviceTimesInEveryZone()
    {
        const QByteArray oldZone = qgetenv("TZ");
        for (const char *zone : {"UTC", "America/New_York"}) {
            qputenv("TZ", zone);
            tzset();
            DataLog log = DataLog::forDevice(3, 3, 5);
            log.decode(hex("3042010803260005000A04") + hex("5941010803260001000204"));
            DataLogModel grid;
            grid.setLog(log);
            QCOMPARE(grid.index(0, 1).data().toString(), QStringLiteral("3/8/2026 1:59:00 AM"));
            QCOMPARE(grid.index(1, 1).data().toString(), QStringLiteral("3/8/2026 2:30:00 AM"));
            TestState t;
            QString error;
            QVERIFY(ExportLog(log, t.path("spring.csv"), error));
            QVERIFY2(readFile(t.path("spring.csv")).contains("2,\"3/8/2026 2:30:00 AM\",\".5\""), zone);
            const ClockReading clock = DecodeClock(BuildCommand(hex("DECADE02") + hex("07304201080326")), 6);
            QCOMPARE(clock.text, QStringLiteral("3/8/2026 2:30:07 AM"));
        }
        qputenv("TZ", oldZone);
        tzset();
    }

    // Downloads of each record size: the count from the clock reply, the records in time order.
    void downloadEachSize_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        QTest::newRow("11-byte records") << 3 << 3 << 5;
        QTest::newRow("15-byte records") << 3 << 6 << 5;
        QTest::newRow("23-byte records") << 5 << 5 << 23;
    }

    void downloadEachSize()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, firmware);
        DeviceRig rig(QStringLiteral("127.0.71.1"), family, model, firmware);
        QVERIFY(rig.started);
        rig.device.setClock(QDateTime(QDate(2026, 3, 1), QTime(0, 0)));
        rig.device.setUpdateRateMinutes(1);
        rig.device.advance(300 * 60);
        const QByteArray stored = rig.device.log();
        const int size = rig.device.logRecordSize();
        QCOMPARE(int(stored.size()), 300 * size);
        QString text;
        int rate = 0;
        int count = 0;
        QVERIFY(ReadClock(rig.link, rig.address, text, rate, count));
        QCOMPARE(count, 300);

        QByteArray buffer;
        QVERIFY(DownloadLog(rig.link, rig.address, false, count, size, QString(), buffer));
        QCOMPARE(buffer, stored);
        DataLog log = DataLog::forDevice(family, model, firmware);
        log.decode(buffer);
        QCOMPARE(int(log.records().size()), 300);
        for (int i = 1; i < log.records().size(); ++i)
            QVERIFY(log.records().at(i - 1).sortKey < log.records().at(i).sortKey);
        QCOMPARE(rig.device.log().size(), stored.size()); // kept without the reset flag

        QVERIFY(DownloadLog(rig.link, rig.address, true, count, size, QString(), buffer));
        QCOMPARE(rig.device.log().size(), 0); // the reset flag empties it
    }

    // The count may be out of date: a device that closes the connection after whole records has
    // sent all it has; a connection that ends within a record is a failed download.
    void downloadEndsWhenTheDeviceCloses()
    {
        DeviceRig rig(QStringLiteral("127.0.71.2"), 3, 3, 5);
        QVERIFY(rig.started);
        rig.device.setLog(QByteArray(5 * 11, '\x11'));
        QByteArray buffer;
        QVERIFY(DownloadLog(rig.link, rig.address, false, 8, 11, QString(), buffer));
        QCOMPARE(buffer.size(), 5 * 11);
        QVERIFY(DownloadLog(rig.link, rig.address, false, 0, 11, QString(), buffer));
        QCOMPARE(buffer.size(), 5 * 11);
        rig.device.setLog(QByteArray(5 * 11 + 4, '\x11'));
        QVERIFY(!DownloadLog(rig.link, rig.address, false, 8, 11, QString(), buffer));
        rig.device.setLog(QByteArray(5 * 11, '\x11'));
        rig.device.faultOptions().resetAfterBytes = 20;
        rig.device.setFault(SimFault::ResetMidReply, 1);
        QVERIFY(!DownloadLog(rig.link, rig.address, false, 5, 11, QString(), buffer));
        QVERIFY(rig.t.errors.lines().isEmpty());
    }

    // How a download ends, with a silence limit of 600 ms and 200 ms of settling after the
    // counted records. The limit counts silence, not the whole download; without the reset flag
    // a short silence after the counted records ends it; with the reset flag (the device clears
    // what it sent) only the device's close does, or the silence limit when it never closes.
    void downloadEndsWhenTheDeviceHasSentEverything()
    {
        DeviceRig rig(QStringLiteral("127.0.71.3"), 3, 3, 5);
        QVERIFY(rig.started);
        LinkTimings timings = quickTimings();
        timings.replyScale = 1.0;
        timings.longReplyMs = 600;
        timings.logSettleMs = 200;
        rig.link.setTimings(timings);
        const QByteArray records = QByteArray(57 * 11, '\x11');
        QByteArray buffer;
        QElapsedTimer clock;

        // A log that trickles in for about 2 s, never longer than the limit silent, arrives whole.
        rig.device.setLog(records.left(3 * 11));
        rig.device.faultOptions().dribbleIntervalMs = 60;
        rig.device.setFault(SimFault::Dribble, 1);
        clock.start();
        QVERIFY(DownloadLog(rig.link, rig.address, false, 3, 11, QString(), buffer));
        QCOMPARE(buffer, records.left(3 * 11));
        QVERIFY2(clock.elapsed() > 1500, qPrintable(QString::number(clock.elapsed())));

        // A device that stays connected after the counted records: 200 ms of silence end it.
        rig.device.setReplyOverride(DeviceCommands().LogDownloadCommand, records.left(5 * 11), 1);
        clock.start();
        QVERIFY(DownloadLog(rig.link, rig.address, false, 5, 11, QString(), buffer));
        QCOMPARE(buffer.size(), 5 * 11);
        QVERIFY2(clock.elapsed() < 550, qPrintable(QString::number(clock.elapsed())));

        // With the reset flag a pause longer than the settling after the counted 55 records does
        // not end the download: the 2 records that follow it are not lost to the reset.
        rig.device.setLog(records);
        rig.device.faultOptions().logPieceBytes = 55 * 11;
        rig.device.faultOptions().logPieceDelayMs = 450;
        QVERIFY(DownloadLog(rig.link, rig.address, true, 55, 11, QString(), buffer));
        QCOMPARE(buffer.size(), 57 * 11);
        QCOMPARE(rig.device.log().size(), 0);

        // A device that never closes ends at the silence limit; the counted records make it whole.
        rig.device.setReplyOverride(DeviceCommands().LogDownloadCommand, records.left(5 * 11), 1);
        clock.start();
        QVERIFY(DownloadLog(rig.link, rig.address, true, 5, 11, QString(), buffer));
        QCOMPARE(buffer.size(), 5 * 11);
        QVERIFY2(clock.elapsed() >= 550, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(rig.t.errors.lines().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDataLog)
#include "tst_datalog.moc"
