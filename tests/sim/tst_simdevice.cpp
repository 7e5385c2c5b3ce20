#include "support_simclient.h"

#include <SimDevice.h>

#include <QSignalSpy>
#include <QTest>

namespace {

const QString Address = QStringLiteral("127.0.250.1");

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray storeFrame(int page, const QByteArray &content)
{
    QByteArray frame = hex("DDCCBB") + char(page) + content;
    frame.append(QByteArray(60 - frame.size(), '\0'));
    return frame.left(60);
}

} // namespace

class TestSimDevice : public QObject {
    Q_OBJECT
private slots:
    void identifyCarriesTheIdentity_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("rx708") << 5 << 8 << 26 << hex("00050008001A");
        QTest::newRow("wexa16") << 3 << 6 << 4 << hex("000300060004");
        QTest::newRow("overflowing family") << 0x8005 << 5 << 23 << hex("800500050017");
    }
    void identifyCarriesTheIdentity()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, firmware);
        QFETCH(QByteArray, bytes);
        SimDevice device(5, 5, 20);
        device.setIdentity(quint16(family), quint16(model), quint16(firmware));
        QVERIFY2(device.start(Address), qPrintable(device.errorString()));
        const SimExchange x = simExchange(Address, hex("2ACDDCBA"));
        QCOMPARE(x.reply.size(), 60);
        QCOMPARE(x.reply.left(4), hex("2ACDDCBA"));
        QCOMPARE(x.reply.mid(4, 6), bytes);
        QCOMPARE(x.reply.mid(10), QByteArray(50, '\0'));
        QCOMPARE(device.transactionCount(), 1);
        QCOMPARE(device.connectionCount(), 1);
    }

    void readingsReplyLayout()
    {
        SimDevice device(5, 5, 23);
        QCOMPARE(device.resolutionByte(), quint8(10));
        device.setReading(0, 72.5); // tenths port
        device.setRawReading(1, -200);
        device.setReading(8, 1); // door closed, never scaled
        device.setMinutes(2, 65535);
        device.setAlarmByte(2, 200);
        device.setTemperatureUnit('C');
        QVERIFY(device.start(Address));
        const QByteArray r = simExchange(Address, hex("3FCDDC00")).reply;
        QCOMPARE(r.size(), 60);
        QCOMPARE(r.left(4), hex("3FCDDC00"));
        QCOMPARE(r.mid(4, 2), hex("02D5"));
        QCOMPARE(r.mid(9, 2), hex("FF38"));
        QCOMPARE(r.mid(16, 3), hex("FFFFC8"));
        QCOMPARE(r.mid(44, 2), hex("0001"));
        QCOMPARE(quint8(r[58]), quint8(10));
        QCOMPARE(r[59], 'C');
        QCOMPARE(device.reading(0), 72.5);
    }

    // Ports without a sensor: analog inputs report "not connected" in their own scaling.
    void unconnectedPortsAndScaling_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("raw");
        QTest::newRow("rx705 rev 23 temperature") << 5 << 5 << 23 << 0 << 10000;
        QTest::newRow("rx705 rev 22 temperature") << 5 << 5 << 22 << 0 << 1000;
        QTest::newRow("rx705 door") << 5 << 5 << 23 << 8 << 1;
        QTest::newRow("rx708 humidity") << 5 << 8 << 26 << 1 << 1000;
        QTest::newRow("rx708 water") << 5 << 8 << 26 << 8 << 0;
        QTest::newRow("rx740 power") << 5 << 40 << 25 << 5 << 1;
        QTest::newRow("wexa 14 rev 4") << 3 << 4 << 4 << 0 << 1000;
        QTest::newRow("wexa 15 rev 5") << 3 << 5 << 5 << 1 << 10000;
        QTest::newRow("wexa 16 humidity") << 3 << 6 << 2 << 3 << 10000;
        QTest::newRow("no such port") << 5 << 20 << 23 << 7 << 0;
    }
    void unconnectedPortsAndScaling()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, firmware);
        QFETCH(int, port);
        QFETCH(int, raw);
        SimDevice device(family, model, firmware);
        QCOMPARE(int(device.rawReading(port)), raw);
    }

    void storedPagesAreKeptAndEchoed()
    {
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        const QByteArray store = storeFrame(6, hex("01020304") + QByteArray("Walk-in freezer     "));
        const SimExchange stored = simExchange(Address, store);
        QCOMPARE(stored.reply, store);
        const QByteArray page = simExchange(Address, hex("AABBCC06")).reply;
        QCOMPARE(page.left(4), hex("AABBCC06"));
        QCOMPARE(page.mid(4), store.mid(4));
        QCOMPARE(device.sensorName(6), QByteArray("Walk-in freezer"));
        QCOMPARE(device.page(6), page);

        // A page number beyond the sixteen pages is refused with an error text.
        QVERIFY(simExchange(Address, hex("AABBCC10")).reply.contains("ERROR"));
    }

    void configPageByFamily()
    {
        SimDevice wexa(3, 5, 5);
        QVERIFY(wexa.start(Address));
        wexa.setDeviceName("Lab fridge");
        QByteArray page = simExchange(Address, hex("AABBCC01")).reply;
        QCOMPARE(page.mid(8, 20), QByteArray("Lab fridge          "));
        QCOMPARE(page[28], 'F');
        QCOMPARE(page.mid(29, 20), QByteArray("127.0.250.1         "));
        wexa.stop();

        SimDevice rx(5, 10, 24);
        QVERIFY(rx.start(Address));
        page = simExchange(Address, hex("AABBCC02")).reply;
        QCOMPARE(page.mid(8, 20), QByteArray("RX705               "));
    }

    void factoryDefaultsRestorePages()
    {
        SimDevice device(5, 5, 25);
        device.setSensorName(0, "Freezer");
        device.setLimits(0, -10, 5);
        device.setDeviceName("Kitchen");
        QVERIFY(device.start(Address));
        const SimExchange x = simExchange(Address, hex("DEADDEAD"));
        QCOMPARE(x.reply, simFrame(hex("DEADDEAD")));
        QCOMPARE(device.sensorName(0), QByteArray());
        QCOMPARE(device.page(0).mid(8, 4), hex("015E0352")); // 35.0 and 85.0 in tenths
        QCOMPARE(device.deviceName(), QByteArray("RX705"));
        QCOMPARE(device.page(2).mid(29, 11), QByteArray("127.0.250.1")); // the address stays
        QCOMPARE(device.page(8).mid(48, 8), hex("0001000500000003"));
        QCOMPARE(quint8(device.page(8)[8]), quint8(0x1C));
    }

    // Minutes out of limits count from the moment a port leaves its limits; the alarm byte
    // follows once they reach the port's time out of limits, and both clear on return.
    void alarmsFollowThePagesLimits()
    {
        SimDevice device(5, 5, 23);
        QSignalSpy alarms(&device, &SimDevice::alarmChanged);
        SimSensor warm;
        warm.base = 50;
        device.setSensor(0, warm);
        device.setLimits(0, 35, 45);
        device.setTimeOutOfLimits(0, 2);
        device.advance(180);
        QCOMPARE(device.alarmByte(0), quint8(0)); // no name: the port is disabled
        QCOMPARE(device.minutes(0), quint16(0));

        device.setSensorName(0, "Cooler");
        device.advance(90);
        QCOMPARE(device.minutes(0), quint16(1));
        QCOMPARE(device.alarmByte(0), quint8(0));
        device.advance(30);
        QCOMPARE(device.minutes(0), quint16(2));
        QCOMPARE(device.alarmByte(0), quint8(1));
        QCOMPARE(alarms.size(), 1);

        warm.base = 40;
        device.setSensor(0, warm);
        QCOMPARE(device.alarmByte(0), quint8(0));
        QCOMPARE(device.minutes(0), quint16(0));
        QCOMPARE(alarms.size(), 2);
        QCOMPARE(alarms.last().at(1).toBool(), false);
    }

    void stateInputsAlarm_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("port");
        QTest::addColumn<double>("normal");
        QTest::addColumn<double>("abnormal");
        QTest::newRow("rx705 door open") << 5 << 8 << 1.0 << 0.0;
        QTest::newRow("rx708 water") << 8 << 8 << 0.0 << 1.0;
        QTest::newRow("rx740 power off") << 40 << 4 << 1.0 << 0.0;
        QTest::newRow("rx720 dry contact closed") << 20 << 4 << 0.0 << 1.0;
    }
    void stateInputsAlarm()
    {
        QFETCH(int, model);
        QFETCH(int, port);
        QFETCH(double, normal);
        QFETCH(double, abnormal);
        SimDevice device(5, model, 25);
        device.setSensorName(port, "Input");
        device.setTimeOutOfLimits(port, 0);
        SimSensor input;
        input.base = normal;
        device.setSensor(port, input);
        QCOMPARE(device.alarmByte(port), quint8(0));
        input.base = abnormal;
        device.setSensor(port, input);
        QCOMPARE(device.alarmByte(port), quint8(1));
    }

    void powerNormalStateOff()
    {
        SimDevice device(5, 40, 25);
        device.setSensorName(5, "Spare feed");
        device.setTimeOutOfLimits(5, 0);
        QVERIFY(device.setPowerNormalState(5, 1));
        SimSensor off;
        off.base = 0;
        device.setSensor(5, off);
        QCOMPARE(device.alarmByte(5), quint8(0));
        off.base = 1;
        device.setSensor(5, off);
        QCOMPARE(device.alarmByte(5), quint8(1));
    }

    // Temperatures follow the unit of the configuration page and the correction factor.
    void unitAndCorrection()
    {
        SimDevice device(5, 5, 23);
        SimSensor sensor;
        sensor.base = 20;
        sensor.unit = 'C';
        device.setSensor(0, sensor);
        QCOMPARE(device.reading(0), 68.0);
        device.setTemperatureUnit('C');
        QCOMPARE(device.reading(0), 20.0);
        QVERIFY(device.setCorrection(0, -0.5));
        QCOMPARE(device.page(12).mid(8, 2), hex("FFFB"));
        QCOMPARE(device.reading(0), 19.5);
    }

    void clockStoreAndRead()
    {
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        // 2:07 PM on Wednesday 5 March 2008, update rate 15 minutes.
        QByteArray store = simFrame(hex("DECADE00"));
        store.replace(4, 8, hex("0007620405030800"));
        store[11] = char(15);
        const SimExchange stored = simExchange(Address, store);
        QCOMPARE(stored.reply.left(4), hex("DECADE00"));
        QCOMPARE(stored.reply.mid(4, 8), hex("000762040503080F"));
        QCOMPARE(device.clock(), QDateTime(QDate(2008, 3, 5), QTime(14, 7)));
        QCOMPARE(device.updateRateMinutes(), 15);

        device.advance(3600 + 9);
        const QByteArray read = simExchange(Address, hex("DECADE02")).reply;
        QCOMPARE(read.left(4), hex("DECADE02"));
        QCOMPARE(read.mid(4, 8), hex("0907630405030800").left(7) + char(15));
        QCOMPARE(read.mid(12, 2), hex("0004")); // four records

        // An invalid clock image leaves the clock alone; the rate still applies.
        store.replace(4, 7, hex("00073004050308"));
        store[11] = char(1);
        simExchange(Address, store);
        QCOMPARE(device.clock(), QDateTime(QDate(2008, 3, 5), QTime(15, 7, 9)));
        QCOMPARE(device.updateRateMinutes(), 1);
    }

    void logGrowsAndDownloads_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("recordSize");
        QTest::addColumn<QByteArray>("values");
        QTest::newRow("wexa 13 rev 5") << 3 << 3 << 5 << 11 << hex("019F2710");
        QTest::newRow("wexa 14 rev 4") << 3 << 4 << 4 << 11 << hex("002A03E8");
        QTest::newRow("wexa 16") << 3 << 6 << 5 << 15 << hex("019F2710");
        QTest::newRow("rx705 rev 23") << 5 << 5 << 23 << 23 << hex("019F2710");
        QTest::newRow("rx705 rev 22") << 5 << 5 << 22 << 0 << QByteArray();
    }
    void logGrowsAndDownloads()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, firmware);
        QFETCH(int, recordSize);
        QFETCH(QByteArray, values);
        SimDevice device(family, model, firmware);
        device.setClock(QDateTime(QDate(2024, 12, 31), QTime(23, 58, 30)));
        device.setUpdateRateMinutes(1);
        device.setReading(0, 41.5);
        device.setReading(1, 1000);
        device.advance(3 * 60);
        QCOMPARE(device.logRecordSize(), recordSize);
        QCOMPARE(device.log().size(), 3 * recordSize);
        if (recordSize == 0)
            return;
        const QByteArray first = device.log().left(recordSize);
        QCOMPARE(first.left(6), hex("597103311224")); // 11:59 PM, Tuesday 31 Dec 2024
        QCOMPARE(first.mid(6, 4), values);
        QCOMPARE(quint8(first[recordSize - 1]), quint8(7));             // both doors closed, mains on
        QCOMPARE(device.log().mid(recordSize, 6), hex("005204010125")); // 12:00 AM, 1 Jan 2025

        QVERIFY(device.start(Address));
        QByteArray download = simFrame(hex("DECADE04"));
        download[4] = char(1);
        const SimExchange x = simExchange(Address, download, 3 * recordSize);
        QCOMPARE(x.reply.size(), 3 * recordSize);
        QCOMPARE(x.reply.left(recordSize), first);
        QCOMPARE(device.log().size(), 0); // emptied after sending
    }

    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("expectedSize");
        QTest::addColumn<bool>("echoes");
        QTest::addColumn<bool>("closed");
        QTest::newRow("busy") << int(SimFault::Busy) << 60 << false << false;
        QTest::newRow("silent") << int(SimFault::Silent) << 0 << false << false;
        QTest::newRow("short") << int(SimFault::ShortReply) << 30 << true << false;
        QTest::newRow("overlong") << int(SimFault::OverlongReply) << 80 << true << false;
        QTest::newRow("garbage") << int(SimFault::Garbage) << 60 << false << false;
        QTest::newRow("error") << int(SimFault::ErrorText) << 60 << true << false;
        QTest::newRow("wrong echo") << int(SimFault::WrongEcho) << 60 << false << false;
        QTest::newRow("reset") << int(SimFault::ResetMidReply) << 20 << true << true;
        QTest::newRow("slow") << int(SimFault::Slow) << 60 << true << false;
    }
    void faults()
    {
        QFETCH(int, fault);
        QFETCH(int, expectedSize);
        QFETCH(bool, echoes);
        QFETCH(bool, closed);
        SimDevice device(5, 8, 26);
        device.faultOptions().slowDelayMs = 300;
        QVERIFY(device.start(Address));
        device.setFault(SimFault(fault), 1);
        const SimExchange x = simExchange(Address, hex("3FCDDC00"), 1000, 700);
        QVERIFY(x.connected);
        QCOMPARE(x.reply.size(), expectedSize);
        QCOMPARE(x.reply.startsWith(hex("3FCDDC00")), echoes);
        QCOMPARE(x.closedByDevice, closed);
        QCOMPARE(x.reply.toLower().contains("error"), SimFault(fault) == SimFault::ErrorText);
        if (SimFault(fault) == SimFault::Busy)
            QCOMPARE(x.reply, simFrame(hex("B55EB55E")));
        // The fault was for one transaction only.
        QCOMPARE(device.fault(), SimFault::None);
        QCOMPARE(simExchange(Address, hex("3FCDDC00")).reply, device.readingsReply());
    }

    void faultedCommandsAreNotExecuted()
    {
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        for (SimFault fault : {SimFault::Busy, SimFault::ErrorText, SimFault::Garbage}) {
            device.setFault(fault, 1);
            simExchange(Address, storeFrame(3, QByteArray(4, '\0') + "Never stored"), 60, 300);
        }
        QCOMPARE(device.sensorName(0), QByteArray());
        QCOMPARE(device.transactionCount(), 3);
    }

    void dribbleIsSlowerThanATimeOut()
    {
        SimDevice device(5, 5, 23);
        device.faultOptions().dribbleIntervalMs = 20;
        QVERIFY(device.start(Address));
        device.setFault(SimFault::Dribble);
        const SimExchange early = simExchange(Address, hex("2ACDDCBA"), 60, 300);
        QVERIFY(early.reply.size() > 0);
        QVERIFY(early.reply.size() < 60);
        const SimExchange full = simExchange(Address, hex("2ACDDCBA"), 60, 3000);
        QCOMPARE(full.reply.left(4), hex("2ACDDCBA"));
        QCOMPARE(full.reply.size(), 60);
        QCOMPARE(device.fault(), SimFault::Dribble); // lasts until cleared
    }

    void refusedStopAndStart()
    {
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        device.setFault(SimFault::Refused);
        QVERIFY(!device.isListening());
        QVERIFY(simExchange(Address, hex("2ACDDCBA")).refused);
        device.clearFault();
        QVERIFY(simExchange(Address, hex("2ACDDCBA")).reply.startsWith(hex("2ACDDCBA")));
        device.stop();
        QVERIFY(simExchange(Address, hex("2ACDDCBA")).refused);
        QVERIFY(device.start(Address));
        QCOMPARE(simExchange(Address, hex("2ACDDCBA")).reply.size(), 60);
        QCOMPARE(device.transactionCount(), 2);
    }

    void overrideSendsExactBytes()
    {
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        const QByteArray odd = hex("2ACDDCBA0005") + QByteArray("error");
        device.setReplyOverride(hex("2ACDDCBA"), odd, 1);
        QCOMPARE(simExchange(Address, hex("2ACDDCBA"), 60, 300).reply, odd);
        QCOMPARE(simExchange(Address, hex("2ACDDCBA")).reply.size(), 60);
    }

    void twoCommandsOnOneConnection()
    {
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        const SimExchange x =
            simExchange(Address, simFrame(hex("2ACDDCBA")) + simFrame(hex("3FCDDC00")), 120);
        QCOMPARE(x.reply.size(), 120);
        QCOMPARE(x.reply.mid(60, 4), hex("3FCDDC00"));
        QCOMPARE(device.connectionCount(), 1);
        QCOMPARE(device.transactionCount(), 2);
    }

    // The record of commands keeps each command's own 60 bytes, not the connection's read
    // buffer it arrived in: a simulator polled for days must not grow by kilobytes a command.
    void recordedCommandsHoldOnlyTheirBytes()
    {
        SimDevice device(5, 5, 23);
        QVERIFY(device.start(Address));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(simExchange(Address, hex("2ACDDCBA")).reply.size(), 60);
        QCOMPARE(device.commands().size(), 3);
        for (const QByteArray &command : device.commands()) {
            QCOMPARE(command, simFrame(hex("2ACDDCBA")));
            QVERIFY2(command.capacity() < 2 * SimDevice::CommandSize,
                     qPrintable(QString::number(command.capacity())));
        }
    }

    void faultNamesRoundTrip()
    {
        for (int i = int(SimFault::None); i <= int(SimFault::ResetMidReply); ++i) {
            SimFault parsed = SimFault::None;
            QVERIFY(SimDevice::faultFromName(SimDevice::faultName(SimFault(i)), &parsed));
            QCOMPARE(parsed, SimFault(i));
        }
        SimFault parsed;
        QVERIFY(!SimDevice::faultFromName("sometimes", &parsed));
    }
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_simdevice.moc"
