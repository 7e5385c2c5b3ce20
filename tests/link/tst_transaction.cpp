#include "support_linkrig.h"

#include <link/ReplyParser.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {
const QString DeviceAddress = QStringLiteral("127.0.4.1");
constexpr int Port = Rig::Port;
} // namespace

class TestTransaction : public QObject {
    Q_OBJECT
private slots:
    void identifyAndReadings()
    {
        Rig rig(DeviceAddress, 5, 8, 23);
        QVERIFY2(rig.started, qPrintable(rig.device.errorString()));
        rig.device.setResolutionByte(10);
        rig.device.setRawReading(0, 0x02D5);
        rig.device.setRawReading(8, 0x02D5);
        rig.device.setRawReading(1, -200);
        rig.device.setMinutes(1, 65535);
        rig.device.setAlarmByte(1, 3);
        QSignalSpy colors(&rig.link, &DeviceLink::indicatorColorChanged);
        QSignalSpy cursor(&rig.link, &DeviceLink::busyCursor);
        const CommandCodes &codes = DeviceCommands();

        QByteArray reply;
        QVERIFY(rig.transact(codes.IdentifyCommand, reply));
        QCOMPARE(reply.size(), 60);
        QVERIFY(ParseMessage(rig.t.state, codes.IdentifyCommand, reply));
        QCOMPARE(rig.t.state.FirmwareRevision, 23);
        QVERIFY(rig.transact(codes.DataCommand, reply));
        QVERIFY(ParseMessage(rig.t.state, codes.DataCommand, reply));
        QCOMPARE(rig.t.state.Readings[0], 72.5f);
        QCOMPARE(rig.t.state.Readings[24], 725.0f);
        QCOMPARE(rig.t.state.Readings[3], -20.0f); // FF 38 on a tenths port
        QCOMPARE(rig.t.state.Readings[4], 65535.0f);
        QCOMPARE(rig.t.state.Readings[5], 3.0f);
        QCOMPARE(rig.t.state.TemperatureScale, int(rig.device.temperatureUnit()));

        rig.device.setIdentity(5, 8, 26);
        QVERIFY(rig.transact(codes.IdentifyCommand, reply));
        QCOMPARE(reply.mid(4, 6), QByteArray::fromHex("00050008001A"));
        QVERIFY(ParseMessage(rig.t.state, codes.IdentifyCommand, reply));
        QCOMPARE(rig.t.state.ModelFamily, 5);
        QCOMPARE(rig.t.state.ModelNumber, 8);
        QCOMPARE(rig.t.state.FirmwareRevision, 26);

        // Family 3, model 4: no port in tenths, so FF 38 stays -200.
        rig.device.setIdentity(3, 4, 4);
        rig.device.setResolutionByte(10);
        rig.device.setRawReading(0, -200);
        QVERIFY(rig.transact(codes.IdentifyCommand, reply));
        QVERIFY(ParseMessage(rig.t.state, codes.IdentifyCommand, reply));
        QVERIFY(rig.transact(codes.DataCommand, reply));
        QVERIFY(ParseMessage(rig.t.state, codes.DataCommand, reply));
        QCOMPARE(rig.t.state.Readings[0], -200.0f);

        // Each transaction: green, then grey at rest; hourglass, then arrow; a fresh connection,
        // closed at the end.
        QCOMPARE(colors.size(), 10);
        QCOMPARE(colors.first().at(0).toInt(), DeviceLink::ColorConnected);
        QCOMPARE(colors.last().at(0).toInt(), DeviceLink::ColorIdle);
        QCOMPARE(cursor.size(), 10);
        QCOMPARE(cursor.last().at(1).toBool(), false);
        QCOMPARE(rig.device.connectionCount(), 5);
        QCOMPARE(rig.link.ConnectionState(), DeviceLink::StateClosed);
        QVERIFY(rig.t.status.contains("Connection closed"));
        QVERIFY(rig.t.errors.lines().isEmpty());
    }

    void faults_data()
    {
        QTest::addColumn<SimFault>("fault");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("replySize");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        // Reply time-out 500 ms, connect 1000 ms, close 500 ms.
        QTest::newRow("silent") << SimFault::Silent << false << 0 << 480 << 1200;
        QTest::newRow("refused") << SimFault::Refused << false << 0 << 0 << 400;
        QTest::newRow("short reply") << SimFault::ShortReply << false << 0 << 0 << 1200;
        QTest::newRow("wrong echo") << SimFault::WrongEcho << false << 60 << 0 << 400;
        QTest::newRow("error text") << SimFault::ErrorText << false << -1 << 0 << 400;
        QTest::newRow("garbage") << SimFault::Garbage << false << 60 << 0 << 400;
        QTest::newRow("busy") << SimFault::Busy << false << 60 << 0 << 400;
        QTest::newRow("dribble past the time-out") << SimFault::Dribble << false << 0 << 480 << 1200;
        QTest::newRow("dribble within the time-out") << SimFault::Dribble << true << 60 << 0 << 1000;
        QTest::newRow("reset mid-reply") << SimFault::ResetMidReply << false << 0 << 0 << 400;
        QTest::newRow("slow within the time-out") << SimFault::Slow << true << 60 << 200 << 1000;
        QTest::newRow("overlong with echo") << SimFault::OverlongReply << true << 80 << 0 << 400;
    }

    void faults()
    {
        QFETCH(SimFault, fault);
        QFETCH(bool, accepted);
        QFETCH(int, replySize);
        Rig rig(DeviceAddress);
        QVERIFY(rig.started);
        rig.device.faultOptions().slowDelayMs = 250;
        // 60 bytes take 1.2 s, or 0.3 s when the device is to answer in time.
        rig.device.faultOptions().dribbleIntervalMs = accepted ? 5 : 20;
        rig.device.faultOptions().overlongLength = 80;
        rig.device.setFault(fault);
        QSignalSpy colors(&rig.link, &DeviceLink::indicatorColorChanged);
        Heartbeat heartbeat;
        QElapsedTimer clock;
        clock.start();
        QByteArray reply;
        const QByteArray command = BuildCommand(DeviceCommands().IdentifyCommand);
        QCOMPARE(rig.link.ReadFromQM(DeviceAddress, Port, command, reply, 60, {}), accepted);
        const qint64 elapsed = clock.elapsed();
        qInfo("%lld ms", elapsed);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
        if (replySize >= 0)
            QCOMPARE(reply.size(), replySize);
        else
            QVERIFY(reply.size() >= 60);
        if (fault == SimFault::Busy)
            QVERIFY(IsBusyReply(reply));
        if (fault == SimFault::OverlongReply)
            QVERIFY(reply.startsWith(command.left(4)));
        QCOMPARE(rig.link.ConnectionState(), DeviceLink::StateClosed);
        QCOMPARE(rig.link.indicatorColor(), DeviceLink::ColorIdle);
        QVERIFY(!rig.link.transactionRunning());
        QVERIFY2(heartbeat.ticks >= elapsed / 10 / 3, qPrintable(QString::number(heartbeat.ticks)));
        // Red while a refused connection is handled, green otherwise.
        QCOMPARE(colors.first().at(0).toInt(),
                 fault == SimFault::Refused ? DeviceLink::ColorFailed : DeviceLink::ColorConnected);
        // The socket's error line never outlives the transaction.
        QVERIFY(!rig.t.status.contains("Communication Error"));
        // The next exchange with a healthy device succeeds.
        rig.device.clearFault();
        QVERIFY(rig.transact(DeviceCommands().IdentifyCommand, reply));
    }
    void logDownloadWithoutEcho()
    {
        Rig rig(DeviceAddress);
        QVERIFY(rig.started);
        rig.t.state.ActiveFormName = "frmTreeConfiguration";
        QByteArray log(500, '\x11');
        log.replace(100, 5, "ERROR"); // the log is binary: the "error" rule does not apply
        rig.device.setReplyOverride(DeviceCommands().LogDownloadCommand, log);
        QSignalSpy progress(&rig.link, &DeviceLink::downloadProgress);
        QSignalSpy visible(&rig.link, &DeviceLink::progressVisibleChanged);
        QSignalSpy bar(&rig.link, &DeviceLink::progressChanged);

        QByteArray reply;
        QVERIFY(rig.transact(DeviceCommands().LogDownloadCommand, reply, 500, "frmTreeConfiguration"));
        QCOMPARE(reply, log);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toLongLong(), 500);
        QCOMPARE(progress.last().at(1).toInt(), 500);
        // The configuration window's bar runs over the long wait and is hidden afterwards.
        QCOMPARE(bar.first().at(0).toString(), QString("frmTreeConfiguration"));
        QVERIFY(std::any_of(bar.cbegin(), bar.cend(), [](const QList<QVariant> &args) {
            return args.at(2).toInt() == 10; // 1000 ms in tenths
        }));
        QCOMPARE(visible.last().at(1).toBool(), false);

        // More bytes expected than the device sends: refused after the long wait, nothing kept.
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!rig.transact(DeviceCommands().LogDownloadCommand, reply, 501, "frmTreeConfiguration"));
        QVERIFY(clock.elapsed() <= 1500);
        QVERIFY(reply.isEmpty());
        // Any other caller sees no download progress.
        progress.clear();
        QVERIFY(rig.transact(DeviceCommands().LogDownloadCommand, reply, 500));
        QVERIFY(progress.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTransaction)
#include "tst_transaction.moc"
