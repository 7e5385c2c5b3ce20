// The device clock: its register image both ways, and the clock commands against a device.
#include "support_devicerig.h"

#include <config/DeviceClock.h>
#include <link/DeviceCommands.h>

#include <QElapsedTimer>
#include <QTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A clock reply: header, the 7-byte image, update rate, record count.
QByteArray clockReply(const QByteArray &image, const char *header = "DECADE02")
{
    return BuildCommand(hex(header) + image + hex("0F0003"));
}
} // namespace

class TestDeviceClock : public QObject {
    Q_OBJECT
private slots:
    void encode_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QByteArray>("image");
        // Wednesday 5 March 2008: day of week 4.
        const QDate day(2008, 3, 5);
        QTest::newRow("14:07 is 2 PM") << QDateTime(day, QTime(14, 7, 33)) << hex("00076204050308");
        QTest::newRow("09:30") << QDateTime(day, QTime(9, 30)) << hex("00304904050308");
        QTest::newRow("12:15 is 12 PM") << QDateTime(day, QTime(12, 15)) << hex("00157204050308");
        QTest::newRow("00:30 is 12 AM") << QDateTime(day, QTime(0, 30)) << hex("00305204050308");
        QTest::newRow("23:59 on a Sunday")
            << QDateTime(QDate(2099, 12, 27), QTime(23, 59)) << hex("00597101271299");
    }

    void encode()
    {
        QFETCH(QDateTime, now);
        QFETCH(QByteArray, image);
        QByteArray request = BuildCommand(hex("DECADE00"));
        QVERIFY(EncodeClock(request, now));
        QCOMPARE(request.mid(4, 7), image);
        QCOMPARE(request.left(4), hex("DECADE00"));
        QCOMPARE(request.mid(11), QByteArray(49, '\0'));
        // What is sent reads back as the same minute.
        const ClockReading back = DecodeClock(request, 6);
        QVERIFY(back.valid);
        QCOMPARE(back.date, now.date());
        QCOMPARE(back.time, QTime(now.time().hour(), now.time().minute()));
        QCOMPARE(ToBCD(59), quint8(0x59));
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("text");
        QTest::newRow("afternoon") << hex("09076204050308") << "3/5/2008 2:07:09 PM";
        QTest::newRow("noon") << hex("00157201010126") << "1/1/2026 12:15:00 PM";
        QTest::newRow("midnight hour") << hex("59305201311299") << "12/31/2099 12:30:59 AM";
        QTest::newRow("hour 0, as an older clock may hold")
            << hex("00304001010126") << "1/1/2026 12:30:00 AM";
        QTest::newRow("minutes not BCD") << hex("001A6204050308") << "Reset Time";
        QTest::newRow("seconds not BCD") << hex("F0076204050308") << "Reset Time";
        QTest::newRow("24-hour mode") << hex("00071404050308") << "Reset Time";
        QTest::newRow("hour 13") << hex("00075304050308") << "Reset Time";
        QTest::newRow("30 February") << hex("00076204300208") << "Reset Time";
        QTest::newRow("month 13") << hex("00076204051308") << "Reset Time";
    }

    void decode()
    {
        QFETCH(QByteArray, image);
        QFETCH(QString, text);
        const ClockReading reading = DecodeClock(clockReply(image), 6);
        QCOMPARE(reading.text, text);
        QCOMPARE(reading.valid, text != "Reset Time");
        QCOMPARE(DecodeClock(hex("0762"), 6).text, QStringLiteral("Reset Time")); // too short
    }

    // A log record has no seconds: its time shows ":00".
    void recordTime()
    {
        const QByteArray record = hex("0762040503080102030407");
        const ClockReading reading = DecodeClock(record, 1);
        QVERIFY(reading.valid);
        QCOMPARE(reading.text, QStringLiteral("3/5/2008 2:07:00 PM"));
    }

    void clockCommands()
    {
        DeviceRig rig(QStringLiteral("127.0.70.1"), 5, 5, 23);
        QVERIFY(rig.started);
        rig.device.setClock(QDateTime(QDate(2020, 1, 1), QTime(1, 2, 3)));
        rig.device.setUpdateRateMinutes(5);
        for (int i = 0; i < 3; ++i)
            rig.device.appendLogRecord();
        QString text;
        int rate = -1;
        int count = -1;
        QVERIFY(ReadClock(rig.link, rig.address, text, rate, count));
        QCOMPARE(text, QStringLiteral("1/1/2020 1:02:03 AM"));
        QCOMPARE(rate, 5);
        QCOMPARE(count, 3);

        const QDateTime now(QDate(2026, 3, 14), QTime(14, 7, 45));
        QVERIFY(StoreClock(rig.link, rig.address, 15, now, text));
        QCOMPARE(rig.device.lastCommand().left(12), hex("DECADE00000762") + char(7) + hex("1403260F"));
        QCOMPARE(rig.device.clock(), QDateTime(now.date(), QTime(14, 7)));
        QCOMPARE(rig.device.updateRateMinutes(), 15);
        QCOMPARE(text, QStringLiteral("3/14/2026 2:07:00 PM"));

        // A device that keeps more than 32767 records still counts them right.
        rig.device.setLog(QByteArray(40000 * 23, '\x01'));
        QVERIFY(ReadClock(rig.link, rig.address, text, rate, count));
        QCOMPARE(count, 40000);
    }

    void silentDevice()
    {
        DeviceRig rig(QStringLiteral("127.0.70.2"), 3, 3, 5);
        QVERIFY(rig.started);
        rig.device.setFault(SimFault::Silent);
        QElapsedTimer clock;
        clock.start();
        QString text;
        int rate = 7;
        int count = 9;
        QVERIFY(ReadClock(rig.link, rig.address, text, rate, count));
        QCOMPARE(text, "Failed to read date and time from " + rig.address);
        QCOMPARE(rate + count, 16);
        QVERIFY(!StoreClock(rig.link, rig.address, 10, rig.t.clock.now(), text));
        QCOMPARE(text, QStringLiteral("Upload failed"));
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        // A reply holding no valid clock: the store counts as done, the time as "Reset Time".
        rig.device.clearFault();
        rig.device.setReplyOverride(hex("DECADE00"), clockReply(hex("00071404050308"), "DECADE00"));
        QVERIFY(StoreClock(rig.link, rig.address, 10, rig.t.clock.now(), text));
        QCOMPARE(text, QStringLiteral("Reset Time"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceClock)
#include "tst_deviceclock.moc"
