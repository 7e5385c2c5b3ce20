#include "support_linkrig.h"
#include <support/StalledListener.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>

namespace {

const QString DeviceAddress = QStringLiteral("127.0.4.11");
const QString OtherAddress = QStringLiteral("127.0.4.12");
const QString StalledAddress = QStringLiteral("127.0.4.13");
constexpr int Port = Rig::Port;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

class TestWaits : public QObject {
    Q_OBJECT
private slots:
    void connectionThatNeverOpens()
    {
        StalledListener listener(StalledAddress, Port);
        QVERIFY(listener.ready());
        TestState t;
        t.state.Config.TCPTimeOut = 2;
        DeviceLink link(t.state, quickTimings());
        StatusHistory history(t.status);
        QSignalSpy colors(&link, &DeviceLink::indicatorColorChanged);
        QSignalSpy bar(&link, &DeviceLink::progressChanged);
        QElapsedTimer clock;
        clock.start();
        QByteArray reply;
        QVERIFY(!link.ReadFromQM(StalledAddress, Port, BuildCommand(DeviceCommands().IdentifyCommand), reply,
                                 60, {}));
        // The connect wait runs out; with no command sent there is no reply to wait for.
        QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 1400,
                 qPrintable(QString::number(clock.elapsed())));
        QVERIFY(history.seen.contains("Connection could not be established"));
        QCOMPARE(colors.first().at(0).toInt(), DeviceLink::ColorFailed);
        QCOMPARE(link.ConnectionState(), DeviceLink::StateClosed);
        QVERIFY(reply.isEmpty());
        // The main window's bar counted the connect wait in tenths of its 10.
        QVERIFY(std::any_of(bar.cbegin(), bar.cend(), [](const QList<QVariant> &args) {
            return args.at(0).toString() == "frmMain" && args.at(1).toInt() >= 8 && args.at(2).toInt() == 10;
        }));
        QCOMPARE(bar.last().at(1).toInt(), 0);
    }

    void callerMistakesAreLogged()
    {
        TestState t;
        DeviceLink link(t.state, quickTimings());
        QByteArray reply = "old";
        const QByteArray command = BuildCommand(DeviceCommands().IdentifyCommand);
        QVERIFY(!link.ReadFromQM(DeviceAddress, 70000, command, reply, 60, {}));
        QVERIFY(reply.isEmpty());
        QVERIFY(!link.ReadFromQM(DeviceAddress, Port, command, reply, 0, {}));
        QCOMPARE(t.errors.lines().size(), 2);
        QVERIFY(t.errors.lines().at(0).contains("OpenWinSocket()"));
        QVERIFY(t.errors.lines().at(1).contains("Error in ReadFromQM is "));
    }

    void stopEndsEveryWait_data()
    {
        QTest::addColumn<bool>("inConnect");
        QTest::newRow("connect wait") << true;
        QTest::newRow("reply wait") << false;
    }

    void stopEndsEveryWait()
    {
        QFETCH(bool, inConnect);
        StalledListener listener(StalledAddress, Port);
        Rig rig(DeviceAddress);
        QVERIFY(rig.started && listener.ready());
        rig.device.setFault(SimFault::Silent, 1);
        QSignalSpy colors(&rig.link, &DeviceLink::indicatorColorChanged);
        QTimer::singleShot(150, &rig.t.state, [&] { rig.t.state.setMonitoringActive(false); });
        QElapsedTimer clock;
        clock.start();
        QByteArray reply;
        const QString target = inConnect ? StalledAddress : DeviceAddress;
        QVERIFY(
            !rig.link.ReadFromQM(target, Port, BuildCommand(DeviceCommands().DataCommand), reply, 60, {}));
        QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
        // Nothing is tidied up: the connection and the indicator stay as they were.
        if (inConnect) {
            QVERIFY(colors.isEmpty());
        } else {
            QCOMPARE(rig.link.ConnectionState(), DeviceLink::StateConnected);
            QCOMPARE(rig.link.indicatorColor(), DeviceLink::ColorConnected);
        }
        // While monitoring is off every transaction ends at once.
        clock.restart();
        QVERIFY(!rig.transact(DeviceCommands().IdentifyCommand, reply));
        QVERIFY(clock.elapsed() < 100);

        // Back on, a device elsewhere gets a connection of its own.
        rig.t.state.setMonitoringActive(true);
        SimDevice other(3, 6, 5);
        QVERIFY(other.start(OtherAddress, Port));
        QVERIFY(rig.link.ReadFromQM(OtherAddress, Port, BuildCommand(DeviceCommands().IdentifyCommand), reply,
                                    60, {}));
        QCOMPARE(reply.mid(4, 2), QByteArray::fromHex("0003"));
        QCOMPARE(rig.link.ConnectionState(), DeviceLink::StateClosed);
    }

    void openConnectionIsReused()
    {
        Rig rig(DeviceAddress);
        QVERIFY(rig.started);
        rig.device.setFault(SimFault::Silent, 1);
        QTimer::singleShot(100, &rig.t.state, [&] { rig.t.state.setMonitoringActive(false); });
        QByteArray reply;
        QVERIFY(!rig.transact(DeviceCommands().IdentifyCommand, reply));
        rig.t.state.setMonitoringActive(true);
        QVERIFY(rig.transact(DeviceCommands().IdentifyCommand, reply));
        QCOMPARE(rig.device.connectionCount(), 1);
    }

    void handlersInsideAWait()
    {
        Rig rig(DeviceAddress);
        QVERIFY(rig.started);
        rig.device.setFault(SimFault::Silent);
        QElapsedTimer clock;
        QByteArray reply;
        // Monitoring stopped and started again by one handler still ends the wait as a stop: the
        // connection is left open.
        QTimer::singleShot(100, &rig.t.state, [&] {
            rig.t.state.setMonitoringActive(false);
            rig.t.state.setMonitoringActive(true);
        });
        clock.start();
        QVERIFY(!rig.transact(DeviceCommands().IdentifyCommand, reply));
        QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rig.link.ConnectionState(), DeviceLink::StateConnected);

        // A handler that closes the link (as monitoring's stop does) ends the next transaction's
        // wait at once, its reply missing, and the connection stays closed.
        StatusHistory history(rig.t.status);
        QTimer::singleShot(100, &rig.t.state, [&] { rig.link.CloseWinSocket(); });
        clock.restart();
        QVERIFY(!rig.transact(DeviceCommands().IdentifyCommand, reply));
        QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(reply.isEmpty());
        QCOMPARE(rig.link.ConnectionState(), DeviceLink::StateClosed);
        QVERIFY(history.seen.contains("Connection closed"));
        QCOMPARE(rig.device.connectionCount(), 1);
        QCOMPARE(rig.device.transactionCount(), 2);
    }

    void replyTimeOutRepair_data()
    {
        QTest::addColumn<int>("configured");
        QTest::addColumn<int>("used");
        QTest::newRow("1 becomes 3") << 1 << 3;
        QTest::newRow("0 becomes 3") << 0 << 3;
        QTest::newRow("10 becomes 3") << 10 << 3;
        QTest::newRow("2 is kept") << 2 << 2;
        QTest::newRow("9 is kept") << 9 << 9;
    }

    void replyTimeOutRepair()
    {
        QFETCH(int, configured);
        QFETCH(int, used);
        Rig rig(DeviceAddress);
        QVERIFY(rig.started);
        LinkTimings timings = quickTimings();
        timings.replyScale = 0.1;
        rig.link.setTimings(timings);
        rig.device.setFault(SimFault::Silent);
        rig.t.state.Config.TCPTimeOut = qint16(configured);
        QElapsedTimer clock;
        clock.start();
        QByteArray reply;
        QVERIFY(!rig.transact(DeviceCommands().IdentifyCommand, reply));
        QCOMPARE(rig.t.state.Config.TCPTimeOut, qint16(used));
        const qint64 waitMs = used * 100;
        QVERIFY2(clock.elapsed() >= waitMs - 20 && clock.elapsed() < waitMs + 400,
                 qPrintable(QString::number(clock.elapsed())));
    }

    void secondTransactionIsRefused()
    {
        Rig rig(DeviceAddress);
        QVERIFY(rig.started);
        rig.device.setFault(SimFault::Slow, 1);
        rig.device.faultOptions().slowDelayMs = 200;
        bool innerResult = true;
        QTimer::singleShot(50, &rig.t.state, [&] {
            QByteArray innerReply;
            innerResult = rig.transact(DeviceCommands().DataCommand, innerReply);
        });
        QByteArray reply;
        QVERIFY(rig.transact(DeviceCommands().IdentifyCommand, reply));
        QVERIFY(!innerResult);
        QCOMPARE(rig.t.errors.lines().size(), 1);
        QVERIFY(rig.t.errors.lines().first().contains("Error in ReadFromQM is "));
        QCOMPARE(rig.device.transactionCount(), 1);

        // The refused call leaves the state of the running one alone: bytes that arrived stay
        // counted.
        rig.t.state.Config.TCPTimeOut = 9;
        rig.device.faultOptions().dribbleIntervalMs = 10;
        rig.device.setFault(SimFault::Dribble, 1);
        qint64 arrivedBefore = 0;
        qint64 arrivedAfter = 0;
        QTimer::singleShot(200, &rig.t.state, [&] {
            arrivedBefore = rig.link.BytesArrived();
            QByteArray innerReply;
            rig.transact(DeviceCommands().DataCommand, innerReply);
            arrivedAfter = rig.link.BytesArrived();
        });
        QVERIFY(rig.transact(DeviceCommands().IdentifyCommand, reply));
        QVERIFY(arrivedBefore > 0);
        QCOMPARE(arrivedAfter, arrivedBefore);
    }

    void waitingUsesNoProcessor()
    {
        Rig rig(DeviceAddress);
        QVERIFY(rig.started);
        LinkTimings timings = quickTimings();
        timings.replyOverrideMs = 3000;
        rig.link.setTimings(timings);
        rig.device.setFault(SimFault::Silent);
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = cpuSeconds();
        QByteArray reply;
        QVERIFY(!rig.transact(DeviceCommands().IdentifyCommand, reply));
        const double cpu = cpuSeconds() - cpuBefore;
        const double wall = clock.elapsed() / 1000.0;
        QVERIFY2(wall >= 2.9, qPrintable(QString::number(wall)));
        qInfo("processor %.3f s over %.3f s", cpu, wall);
        QVERIFY2(cpu < 0.05 * wall, qPrintable(QString::number(cpu / wall)));
    }
};

QTEST_GUILESS_MAIN(TestWaits)
#include "tst_waits.moc"
