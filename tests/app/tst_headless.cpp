// tallyport --headless: the real program, run without a display against simulated devices and
// a real SMTP server, stopped by a signal as a service manager stops it.
#include "support_program.h"

#include "../monitoring/support_monitoring.h"
#include "../notify/support_receiver.h"

#include <core/InstanceLock.h>

#include <support/MqttTestBroker.h>
#include <support/SlowBuild.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <signal.h>

namespace {
const QString kRunning = QStringLiteral("running without a window in ");
const QString kMade = QStringLiteral("an empty one was made from the schema");
const QString kStopped = QStringLiteral("Tallyport stopped");

bool hasSubject(const QList<SmtpTestServer::Received> &mails, const QByteArray &subject)
{
    for (const auto &mail : mails)
        if (mail.header("Subject").contains(subject))
            return true;
    return false;
}
} // namespace

class TestHeadless : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QFile::exists(ProgramRun::BuiltProgram()))
            QSKIP("the tallyport program is not built");
    }

    void refusesWhatItCannotDo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString missing = QDir::temp().filePath(QStringLiteral("tallyport-no-such-dir-140"));
        QTest::newRow("unknown option")
            << QStringList{"--headless", "--bogus"} << 1 << "Unknown option 'bogus'";
        QTest::newRow("stray argument") << QStringList{"--headless", "extra"} << 1 << "Unexpected argument";
        QTest::newRow("--dir without a value") << QStringList{"--headless", "--dir"} << 1 << "Missing value";
        QTest::newRow("--test-notify with --headless")
            << QStringList{"--headless", "--test-notify", "x"} << 1 << "cannot be used with --headless";
        QTest::newRow("missing directory")
            << QStringList{"--headless", "--dir", missing} << 2 << "does not exist";
        QTest::newRow("a file for a directory")
            << QStringList{"--headless", "--dir", ProgramRun::BuiltProgram()} << 2 << "is not a directory";
    }
    void refusesWhatItCannotDo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        ProgramRun run;
        run.start(arguments);
        QVERIFY(run.finish());
        QCOMPARE(run.exitCode(), exitCode);
        QVERIFY2(run.errors().contains(message), qPrintable(run.errors()));
        QVERIFY(run.output().isEmpty());
    }

    void helpAndVersion()
    {
        ProgramRun help;
        help.start({"--help"});
        QVERIFY(help.finish());
        QCOMPARE(help.exitCode(), 0);
        for (const char *option : {"--headless", "--dir", "--version"})
            QVERIFY2(help.output().contains(QLatin1String(option)), option);
        // Whether the program was built with its window, as the tree says.
#ifdef TALLYPORT_PROGRAM_WITHOUT_WINDOWS
        QVERIFY2(help.output().contains("This build has no window"), qPrintable(help.output()));
#else
        QVERIFY2(help.output().contains("the Tallyport window starts"), qPrintable(help.output()));
#endif
        ProgramRun version;
        version.start({"--version"});
        QVERIFY(version.finish());
        QCOMPARE(version.output().trimmed(), QStringLiteral("Tallyport %1.%2.%3")
                                                 .arg(TALLYPORT_VERSION_MAJOR)
                                                 .arg(TALLYPORT_VERSION_MINOR)
                                                 .arg(TALLYPORT_VERSION_PATCH));
#ifdef TALLYPORT_PROGRAM_WITHOUT_WINDOWS
        // Built without the windows, the program says so instead of starting one.
        ProgramRun window;
        window.start({});
        QVERIFY(window.finish());
        QCOMPARE(window.exitCode(), 1);
        QVERIFY2(window.errors().contains("This build has no window"), qPrintable(window.errors()));
#endif
    }

    // --test-notify sends one test message through the channel and says what the receiver answered.
    void testNotifyReportsTheAnswer()
    {
        TestReceiver receiver(QHostAddress(QStringLiteral("127.0.190.30")));
        QTemporaryDir dir;
        {
            QSettings ini(dir.filePath(QStringLiteral("Tallyport.ini")), QSettings::IniFormat);
            ini.setValue(QStringLiteral("notify.hook/type"), QStringLiteral("webhook"));
            ini.setValue(QStringLiteral("notify.hook/url"), receiver.url());
            ini.setValue(QStringLiteral("notify.hook/secret"), QStringLiteral("s3cret"));
        }
        const auto run = [&dir](const QString &name, int exitCode) {
            ProgramRun program;
            program.start({QStringLiteral("--test-notify"), name, QStringLiteral("--dir"), dir.path()});
            if (!program.finish())
                return QStringLiteral("did not finish");
            return program.exitCode() == exitCode ? program.output() + program.errors()
                                                  : QStringLiteral("exit code %1").arg(program.exitCode());
        };
        QVERIFY(run(QStringLiteral("hook"), 0).contains(QStringLiteral("hook: Delivered: HTTP 200")));
        QCOMPARE(receiver.requests.size(), 1);
        QVERIFY(receiver.requests.first().headers.value("x-tallyport-signature").startsWith("sha256="));
        QCOMPARE(QJsonDocument::fromJson(receiver.requests.first().body)["event"].toString(),
                 QStringLiteral("test"));
        receiver.statuses = {401};
        QVERIFY(run(QStringLiteral("hook"), 2).contains(QStringLiteral("hook: Failed: HTTP 401")));
        QVERIFY(
            run(QStringLiteral("nothere"), 1).contains(QStringLiteral("No usable channel [notify.nothere]")));
    }

    // A first start in an empty directory makes the database; SIGINT ends the run as SIGTERM does.
    void firstStartMakesTheDatabase()
    {
        QTemporaryDir dir;
        ProgramRun run;
        run.start({"--headless", "--dir", dir.path()});
        QTRY_VERIFY_WITH_TIMEOUT(run.outputContains("There are no sensors programmed yet"),
                                 15000 * SlowBuildFactor);
        QVERIFY(run.output().contains(kMade));
        QVERIFY(QFile::exists(dir.filePath("wexa.mdb")));
        QVERIFY(QFile::exists(dir.filePath("TallyportConfig.dat")));
        // SIGHUP reads the settings again: remote access turned on by hand starts.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("Tallyport.ini")), 5000 * SlowBuildFactor);
        quint16 port = 0;
        {
            QTcpServer free;
            QVERIFY(free.listen(QHostAddress::LocalHost));
            port = free.serverPort();
        }
        {
            QSettings ini(dir.filePath("Tallyport.ini"), QSettings::IniFormat);
            ini.setValue("web/enabled", true);
            ini.setValue("web/port", port);
        }
        ::kill(pid_t(run.pid()), SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT(run.outputContains("Remote access: serving http://127.0.0.1:"),
                                 10000 * SlowBuildFactor);
        QVERIFY(run.output().contains("SIGHUP received"));
        ::kill(pid_t(run.pid()), SIGINT);
        QVERIFY(run.finish(10000 * SlowBuildFactor));
        QVERIFY(run.exitedNormally());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(run.output().contains("SIGINT received"));

        // The next start finds the database and says nothing of making one. Files that hold
        // credentials and were left readable by others (an older version's, a restored backup)
        // are their owner's alone once the program has read them.
        const QStringList secrets = {"TallyportConfig.dat", "Tallyport.ini", "wexa.mdb"};
        for (const QString &name : secrets)
            QVERIFY(QFile::setPermissions(dir.filePath(name), QFile::ReadOwner | QFile::WriteOwner |
                                                                  QFile::ReadGroup | QFile::ReadOther));
        ProgramRun again;
        again.start({"--headless", "--dir", dir.path()});
        QTRY_VERIFY_WITH_TIMEOUT(again.outputContains(kRunning), 15000 * SlowBuildFactor);
        QTRY_VERIFY_WITH_TIMEOUT(again.outputContains("There are no sensors programmed yet"),
                                 15000 * SlowBuildFactor);
        for (const QString &name : secrets)
            QVERIFY2((QFile::permissions(dir.filePath(name)) &
                      (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)) == 0,
                     qPrintable(name));
        again.terminate();
        QVERIFY(again.finish(10000 * SlowBuildFactor));
        QVERIFY(!again.output().contains(kMade));
    }

    void monitorsMailsAndStopsOnSigterm();
    void sigtermEndsTheWaitOfACycle();
    void lockIsTakenOverAfterACrash();

    // Publishing to MQTT: the program says "online" when it connects; killed, it cannot say
    // goodbye, and the broker publishes the connection's will, "offline".
    void brokerSaysOfflineWhenTheProgramIsKilled()
    {
        MqttTestBroker broker("127.0.182.1", 18834);
        QString error;
        QVERIFY2(broker.start(error), qPrintable(error));
        MqttTestSubscriber sub(broker.address(), broker.port());
        QTRY_VERIFY(sub.isConnected());
        QTemporaryDir dir;
        {
            QSettings ini(dir.filePath("Tallyport.ini"), QSettings::IniFormat);
            ini.setValue("mqtt/enabled", true);
            ini.setValue("mqtt/host", broker.address());
            ini.setValue("mqtt/port", broker.port());
            ini.setValue("mqtt/site", "Killed");
        }
        ProgramRun run;
        run.start({"--headless", "--dir", dir.path()});
        QTRY_COMPARE_WITH_TIMEOUT(sub.last("tallyport/Killed/availability"), QByteArray("online"),
                                  15000 * SlowBuildFactor);
        QTRY_VERIFY_WITH_TIMEOUT(run.outputContains("MQTT: connected to 127.0.182.1 port 18834"),
                                 5000 * SlowBuildFactor);
        run.crash();
        QVERIFY(run.finish(10000 * SlowBuildFactor));
        QTRY_COMPARE_WITH_TIMEOUT(sub.last("tallyport/Killed/availability"), QByteArray("offline"),
                                  10000 * SlowBuildFactor);
    }
};

void TestHeadless::monitorsMailsAndStopsOnSigterm()
{
    MonitoringFixture f(140);
    QString error;
    QVERIFY2(f.start(error), qPrintable(error));
    SimDevice *device =
        f.addDevice("Kitchen", 5, 5, 25, {{0, "Walk-in Freezer", "Temperature Sensor Port 1"}});
    QVERIFY(device);
    device->setReading(0, 12.5);
    device->setMinutes(0, 11);
    device->setAlarmByte(0, 1);
    f.t.state.Config.UpdateRate = 5;
    QVERIFY(f.activation->configFile().SaveConfiguration());
    const qint64 sensor = f.sensorId("Kitchen", 0);

    ProgramRun run;
    run.start({"--headless", "--dir", f.t.dir.path()});
    QTRY_VERIFY_WITH_TIMEOUT(run.outputContains("Update Rate 5 seconds"), 15000 * SlowBuildFactor);
    // One program directory, one Tallyport.
    ProgramRun second;
    second.start({"--headless", "--dir", f.t.dir.path()});
    QVERIFY(second.finish());
    QCOMPARE(second.exitCode(), 2);
    QVERIFY2(second.errors().contains("is already running on"), qPrintable(second.errors()));

    // The first cycle files the reading, records the alarm and mails it.
    QTRY_VERIFY_WITH_TIMEOUT(f.count("tblAlarms") == 1, 20000 * SlowBuildFactor);
    // The device's line follows its alarm evaluation.
    QTRY_VERIFY_WITH_TIMEOUT(
        run.outputContains("Communication with server Kitchen at IP address 127.0.140.1: OK"),
        10000 * SlowBuildFactor);
    QVERIFY(QFile::exists(f.t.path(QStringLiteral("Sensor-%1.dat").arg(sensor))));
    QVERIFY(f.smtp.waitForMessages(1, 15000));
    QCOMPARE(f.smtp.messages().first().recipients, QStringList({"alarms@example.com"}));

    QElapsedTimer stopping;
    stopping.start();
    run.terminate();
    QVERIFY(run.finish(10000 * SlowBuildFactor));
    QVERIFY2(stopping.elapsed() < 5000 * SlowBuildFactor, qPrintable(QString::number(stopping.elapsed())));
    QVERIFY(run.exitedNormally());
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(run.output().contains(kStopped));
    QVERIFY(f.smtp.waitForMessages(2, 5000));
    QVERIFY(hasSubject(f.smtp.messages(), "has been shutdown"));
    QCOMPARE(f.smtp.messages().last().recipients, QStringList({"admin@example.com"}));
    // Every line of the status list went out with its time.
    const QStringList lines = run.output().split('\n', Qt::SkipEmptyParts);
    for (const QString &line : lines)
        QVERIFY2(QDateTime::fromString(line.left(19), "yyyy-MM-dd HH:mm:ss").isValid(), qPrintable(line));
}

// A device that never answers holds a cycle for up to 3 x 9 s; the signal ends the wait at once.
void TestHeadless::sigtermEndsTheWaitOfACycle()
{
    MonitoringFixture f(142);
    QString error;
    QVERIFY2(f.start(error), qPrintable(error));
    SimDevice *device = f.addDevice("Attic", 5, 5, 25, {{0, "Attic Air", "Temperature Sensor Port 1"}});
    QVERIFY(device);
    device->setFault(SimFault::Silent);
    f.t.state.Config.UpdateRate = 5;
    f.t.state.Config.TCPTimeOut = 9;
    f.t.state.Config.CommunicationRetry = 3;
    QVERIFY(f.activation->configFile().SaveConfiguration());

    ProgramRun run;
    run.start({"--headless", "--dir", f.t.dir.path()});
    QTRY_VERIFY_WITH_TIMEOUT(run.outputContains("Connection opened"), 20000 * SlowBuildFactor);
    QElapsedTimer stopping;
    stopping.start();
    run.terminate();
    QVERIFY(run.finish(20000));
    QVERIFY2(stopping.elapsed() < 5000 * SlowBuildFactor, qPrintable(QString::number(stopping.elapsed())));
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(!run.output().contains("127.0.142.1: FAILED"));
    QVERIFY(f.smtp.waitForMessages(1, 5000));
    QVERIFY(hasSubject(f.smtp.messages(), "has been shutdown"));
}

void TestHeadless::lockIsTakenOverAfterACrash()
{
    QTemporaryDir dir;
    ProgramRun first;
    first.start({"--headless", "--dir", dir.path()});
    QTRY_VERIFY_WITH_TIMEOUT(first.outputContains(kRunning), 15000 * SlowBuildFactor);
    first.crash();
    QVERIFY(QFile::exists(dir.filePath(InstanceLock::FileName)));

    ProgramRun next;
    next.start({"--headless", "--dir", dir.path()});
    QTRY_VERIFY_WITH_TIMEOUT(next.outputContains(kRunning), 15000 * SlowBuildFactor);
    next.terminate();
    QVERIFY(next.finish(10000 * SlowBuildFactor));
    QCOMPARE(next.exitCode(), 0);
    QVERIFY(!QFile::exists(dir.filePath(InstanceLock::FileName)));
}

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
