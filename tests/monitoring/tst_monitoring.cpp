#include "support_monitoring.h"

#include <QDir>
#include <QTest>

using Status = StatusGridModel::SensorStatus;

namespace {
const QString kTemperature = QStringLiteral("Temperature Sensor Port 1");
const QString kDoor = QStringLiteral("Door Sensor 1");
} // namespace

class TestMonitoring : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_f = std::make_unique<MonitoringFixture>(6);
        QString error;
        QVERIFY2(m_f->start(error), qPrintable(error));
        m_device = m_f->addDevice("Kitchen", 5, 5, 25,
                                  {{0, "Walk-in Freezer", kTemperature}, {8, "Walk-in Door", kDoor}});
        QVERIFY(m_device);
        m_device->setReading(0, 5.0);
        m_device->setRawReading(8, 0);
        int named = 0;
        QVERIFY(m_f->monitor->database.CountNamedSensors(named));
        m_f->monitor->grid.ConfigureServerStatusGrid(named);
    }
    void cleanup() { m_f.reset(); }

    void alarmOpensOnceSendsOneMailAndEnds()
    {
        GridCheck grid(m_f->monitor->grid);
        m_f->runCycle();
        QCOMPARE(grid.status(0), Status::Normal);
        QCOMPARE(grid.text(0, StatusGridModel::ReadingColumn), QString("5"));
        QCOMPARE(grid.text(0, StatusGridModel::UnitsColumn), QString::fromLatin1("\xB0"
                                                                                 "F"));
        QVERIFY(
            m_f->t.status.lines().contains("Communication with server Kitchen at IP address 127.0.6.1: OK"));

        m_device->setReading(0, 12.5);
        m_device->setMinutes(0, 11);
        m_device->setAlarmByte(0, 1);
        for (int cycle = 0; cycle < 3; ++cycle) {
            m_f->runCycle();
            QCOMPARE(grid.status(0), Status::Alarm);
        }
        QCOMPARE(m_f->count("tblAlarms"), 1);
        QCOMPARE(m_f->count("tblAlarms", "AlarmActive <> 0 AND AlarmEnd IS NULL"), 1);
        QVERIFY(m_f->smtp.waitForMessages(1));
        QTest::qWait(200);
        const auto mails = m_f->smtp.messages();
        QCOMPARE(mails.size(), 1);
        QCOMPARE(mails.first().recipients, QStringList({"alarms@example.com"}));
        const QString emailSent = m_f->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(!emailSent.contains("error"), qPrintable(emailSent));
        QCOMPARE(m_f->value("SELECT TOL FROM tblAlarms").toInt(), 11);

        m_device->setAlarmByte(0, 0);
        m_f->runCycle();
        QCOMPARE(grid.status(0), Status::Normal);
        QCOMPARE(m_f->count("tblAlarms", "AlarmActive = 0 AND AlarmEnd IS NOT NULL"), 1);
    }

    void silentDeviceOpensOneEpisodeAndOneNotice()
    {
        GridCheck grid(m_f->monitor->grid);
        // An alarm that is open before the outage stays open through it.
        m_device->setAlarmByte(0, 1);
        m_f->runCycle();
        QVERIFY(m_f->smtp.waitForMessages(1));

        m_device->setFault(SimFault::Silent);
        m_f->runCycle();
        QVERIFY(m_f->t.status.lines().contains(
            "Communication with server Kitchen at IP address 127.0.6.1: FAILED"));
        QCOMPARE(grid.text(0, StatusGridModel::ReadingColumn), QString("No Data"));
        QCOMPARE(grid.status(0), Status::Alarm);
        QCOMPARE(grid.status(1), Status::NoData);
        QCOMPARE(m_f->count("tblServerFailures"), 1);
        QCOMPARE(m_f->count("tblServerFailures", "EmailSent = 'False'"), 1);

        m_f->runCycle();
        QVERIFY(m_f->smtp.waitForMessages(2));
        m_f->runCycle();
        QTest::qWait(200);
        QCOMPARE(m_f->smtp.messages().size(), 2);
        QCOMPARE(m_f->smtp.messages().last().recipients, QStringList({"admin@example.com"}));
        QCOMPARE(m_f->count("tblServerFailures"), 1);
        QCOMPARE(m_f->count("tblServerFailures", "EmailSent <> 'False' AND BackOnLine = 'False'"), 1);
        QCOMPARE(m_f->count("tblAlarms", "AlarmEnd IS NULL"), 1);

        m_device->clearFault();
        m_f->runCycle();
        QCOMPARE(m_f->count("tblServerFailures", "BackOnLine <> 'False'"), 1);
        QCOMPARE(grid.status(1), Status::Normal);
        QCOMPARE(m_f->count("tblAlarms", "AlarmEnd IS NULL"), 1);
    }

    void busyDeviceRecordsNothing()
    {
        m_device->setFault(SimFault::Busy);
        m_f->runCycle();
        QVERIFY(m_f->t.status.lines().contains(
            "Communication with server Kitchen at IP address 127.0.6.1: Is busy"));
        QCOMPARE(m_f->count("tblServerFailures"), 0);
        QCOMPARE(m_f->count("tblAlarms"), 0);
    }

    void attemptsFollowTheRetrySetting_data()
    {
        QTest::addColumn<int>("retry");
        QTest::addColumn<int>("attempts");
        QTest::newRow("0 gives 3") << 0 << 3;
        QTest::newRow("1") << 1 << 1;
        QTest::newRow("5") << 5 << 5;
        QTest::newRow("7 gives 3") << 7 << 3;
    }
    void attemptsFollowTheRetrySetting()
    {
        QFETCH(int, retry);
        QFETCH(int, attempts);
        m_f->t.state.Config.CommunicationRetry = qint16(retry);
        m_device->setFault(SimFault::ShortReply);
        m_device->clearTraffic();
        m_f->runCycle();
        QCOMPARE(m_device->transactionCount(), attempts);
        QVERIFY(m_f->t.status.contains(": FAILED"));
    }

    void busyOnTheSecondAttemptEndsTheDevice()
    {
        m_f->t.state.Config.CommunicationRetry = 3;
        m_device->setFault(SimFault::ShortReply, 1);
        // The first attempt gets a short reply; from then on the device is on the phone.
        connect(
            m_device, &SimDevice::replySent, m_device, [this] { m_device->setFault(SimFault::Busy); },
            Qt::SingleShotConnection);
        m_device->clearTraffic();
        m_f->runCycle();
        QVERIFY(m_f->t.status.contains(": Is busy"));
        QCOMPARE(m_device->transactionCount(), 2);
        QCOMPARE(m_f->count("tblServerFailures"), 0);
    }

    void readingsAreFiledAndBackupFailuresReportedOnce()
    {
        const QString backup = m_f->t.path("backup");
        m_f->t.state.Config.LogDirectory = backup; // does not exist yet
        m_f->activation->configFile().SaveConfiguration();
        const qint64 freezer = m_f->sensorId("Kitchen", 0);
        m_f->runCycle();
        QVERIFY(QFile::exists(m_f->t.path(QString("Sensor-%1.dat").arg(freezer))));
        QVERIFY(QFile::exists(m_f->t.path(QString("Sensor-%1 Average.dat").arg(freezer))));
        m_f->runCycle();
        QCOMPARE(m_f->count("tblLogFileBackup"), 1);
        QVERIFY(m_f->smtp.waitForMessages(1));
        QTest::qWait(200);
        QCOMPARE(m_f->smtp.messages().size(), 1);

        QVERIFY(QDir().mkpath(backup));
        m_f->runCycle();
        QVERIFY(QFile::exists(QDir(backup).filePath(QString("Sensor-%1.dat").arg(freezer))));
        QCOMPARE(m_f->count("tblLogFileBackup", "BackOnLine IS NOT NULL AND BackOnLine <> 'False'"), 1);
    }

    void readingCodesAndAlarms()
    {
        GridCheck grid(m_f->monitor->grid);
        // Not connected without an alarm indicator: no alarm.
        m_device->setRawReading(8, 9999);
        // An open circuit is an alarm whatever the indicator says (port 0 reports tenths, so
        // the code arrives as 9990).
        m_device->setReading(0, 999.0);
        m_f->runCycle();
        QCOMPARE(grid.text(1, StatusGridModel::ReadingColumn), QString("Not Connected"));
        QCOMPARE(grid.status(1), Status::Normal);
        QCOMPARE(grid.text(0, StatusGridModel::ReadingColumn), QString("Sensor Open"));
        QCOMPARE(grid.status(0), Status::Alarm);
        QCOMPARE(m_f->value("SELECT CurrentData FROM tblAlarms").toString(), QString("Sensor Open"));
        QCOMPARE(m_f->count("tblAlarms"), 1);
    }

    // The cycle keeps its device list from one cycle to the next: each edit of the list, made
    // through the engine's connection or by another program writing the file, reaches the next
    // cycle.
    void deviceEditsReachTheNextCycle()
    {
        const auto line = [](const QString &name, int host, const char *outcome) {
            return QString("Communication with server %1 at IP address 127.0.6.%2: %3")
                .arg(name)
                .arg(host)
                .arg(outcome);
        };
        Database &db = m_f->monitor->database;
        m_f->runCycle();
        SimDevice *bakery = m_f->addDevice("Bakery", 5, 5, 25, {{0, "Oven", kTemperature}});
        QVERIFY(bakery);
        bakery->setReading(0, 5.0);
        m_f->monitor->grid.ConfigureServerStatusGrid(3);
        m_f->runCycle();
        QVERIFY(m_f->t.status.lines().contains(line("Bakery", 2, "OK")));

        m_f->value("UPDATE tblServers SET Enabled = '0' WHERE ServerName = 'Bakery'");
        bakery->clearTraffic();
        m_f->runCycle();
        QCOMPARE(bakery->transactionCount(), 0);

        QVERIFY(db.UpdateServer(m_f->deviceId("Kitchen"), "Galley", m_device->modelText(), "127.0.6.1", "", 1,
                                "", "alarms@example.com", -1));
        m_f->runCycle();
        QVERIFY(m_f->t.status.lines().contains(line("Galley", 1, "OK")));

        QVERIFY(db.DeleteServer(m_f->deviceId("Galley")));
        m_device->clearTraffic();
        m_f->t.status.clear();
        m_f->runCycle();
        QCOMPARE(m_device->transactionCount(), 0);
        QCOMPARE(bakery->transactionCount(), 0);
        QVERIFY(!m_f->t.status.contains("Communication with server "));
        QVERIFY(m_f->t.status.contains("Communication Time: "));
    }

    void noDevicesWritesNoLines()
    {
        MonitoringFixture empty(7);
        QString error;
        QVERIFY2(empty.start(error), qPrintable(error));
        empty.runCycle();
        QVERIFY(!empty.t.status.contains("Communication Time: "));
    }

private:
    // Reads the status grid.
    struct GridCheck {
        explicit GridCheck(StatusGridModel &grid) : m_grid(grid) {}
        Status status(int row) const { return m_grid.status(row); }
        QString text(int row, int column) const { return m_grid.cellText(row, column); }
        StatusGridModel &m_grid;
    };

    std::unique_ptr<MonitoringFixture> m_f;
    SimDevice *m_device = nullptr;
};

QTEST_GUILESS_MAIN(TestMonitoring)
#include "tst_monitoring.moc"
