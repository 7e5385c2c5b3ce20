// Rules of the poll cycle: the pause after failed attempts, the status lines, the alarm pop-up,
// the daily system-OK e-mail, the device failure and backup notices, and sensors that keep their
// grid row and chart series when another device is busy.
#include "support_monitoring.h"

#include <acquisition/TrendData.h>
#include <core/ConfigFile.h>
#include <core/DateTimeText.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <cmath>

using Status = StatusGridModel::SensorStatus;

namespace {
const QString kTemperature = QStringLiteral("Temperature Sensor Port 1");
const QString kDoor = QStringLiteral("Door Sensor 1");
const QByteArray kOkSubject = "Quellmark VKL-E is up and running!";

int mailsWith(SmtpTestServer &smtp, const QByteArray &text)
{
    // A message is reported by the server just before its last reply; let the report arrive.
    smtp.waitForMessages(int(smtp.messages().size()) + 1, 150);
    int found = 0;
    for (const SmtpTestServer::Received &mail : smtp.messages())
        found += mail.data.contains(text) ? 1 : 0;
    return found;
}
} // namespace

class TestCycleRules : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_f = std::make_unique<MonitoringFixture>(10);
        m_f->timings.retryPauseMs = 400;
    }
    void cleanup() { m_f.reset(); }

    // Every failed attempt, the last one included, is followed by the pause before the device
    // is reported failed.
    void pauseFollowsEveryFailedAttempt_data()
    {
        QTest::addColumn<int>("attempts");
        QTest::newRow("one attempt") << 1;
        QTest::newRow("two attempts") << 2;
    }
    void pauseFollowsEveryFailedAttempt()
    {
        QFETCH(int, attempts);
        SimDevice *device = start({{"Kitchen", {{0, "Freezer", kTemperature}}}});
        QVERIFY(device);
        m_f->t.state.Config.CommunicationRetry = qint16(attempts);
        saveSettings();
        // A reply that says "error" ends each attempt at once, so what follows is the pause.
        device->setFault(SimFault::ErrorText);
        QElapsedTimer sinceLastReply;
        connect(device, &SimDevice::replySent, [&] { sinceLastReply.start(); });
        qint64 failedAfter = -1;
        connect(&m_f->t.status, &QAbstractItemModel::dataChanged, [&] {
            if (failedAfter < 0 && m_f->t.status.contains(": FAILED"))
                failedAfter = sinceLastReply.elapsed();
        });
        connect(&m_f->t.status, &QAbstractItemModel::rowsInserted, [&] {
            if (failedAfter < 0 && m_f->t.status.contains(": FAILED"))
                failedAfter = sinceLastReply.elapsed();
        });
        QElapsedTimer cycle;
        cycle.start();
        m_f->runCycle();
        QCOMPARE(device->transactionCount(), attempts);
        QVERIFY2(failedAfter >= 380, qPrintable(QString::number(failedAfter)));
        QVERIFY(cycle.elapsed() >= attempts * 380);
    }

    // "Last download data at: " is written after each device's readings transaction, "Communication
    // Time: " after the last device with the whole seconds the cycle took.
    void downloadAndCommunicationTimeLines()
    {
        SimDevice *device = start({{"Kitchen", {{0, "Freezer", kTemperature}}}});
        QVERIFY(device);
        QDateTime readingsAt;
        // Every reply takes the clock on by 7 s: the identify and readings replies, 14 s.
        connect(device, &SimDevice::replySent, [this, &readingsAt] {
            m_f->t.clock.advanceSeconds(7);
            readingsAt = m_f->t.clock.now();
        });
        m_f->runCycle();
        const QStringList &lines = m_f->t.status.lines();
        QVERIFY(lines.contains("Last download data at: " + DateTimeText(readingsAt)));
        QVERIFY(lines.contains("Communication Time: 14 seconds"));
    }

    void popUpsFollowTheSetting_data()
    {
        QTest::addColumn<int>("popUps");
        QTest::addColumn<bool>("alarm");
        QTest::addColumn<int>("notices");
        QTest::newRow("on, alarm") << 1 << true << 1;
        QTest::newRow("on, all normal") << 1 << false << 0;
        QTest::newRow("off, alarm") << 0 << true << 0;
    }
    void popUpsFollowTheSetting()
    {
        QFETCH(int, popUps);
        QFETCH(bool, alarm);
        QFETCH(int, notices);
        SimDevice *device = start({{"Kitchen", {{0, "Freezer", kTemperature}}}}, QString());
        QVERIFY(device);
        m_f->t.state.Config.PopUps = qint16(popUps);
        saveSettings();
        device->setAlarmByte(0, alarm ? 1 : 0);
        QStringList shown;
        m_f->monitor->alarms.announce = [&shown](const QString &notice) { shown << notice; };
        m_f->runCycle();
        QCOMPARE(shown.size(), notices);
        if (notices > 0)
            QCOMPARE(shown.first(),
                     QString("There is a temperature alarm.  Please view status on Tallyport."));
    }

    // An empty date is set and saved without an e-mail; a day later one e-mail goes out, however
    // many devices follow; the same day none.
    void dailySystemOkEmail()
    {
        QVERIFY(start({{"Alpha", {{0, "Alpha Freezer", kTemperature}}},
                       {"Bravo", {{0, "Bravo Freezer", kTemperature}}}}));
        m_f->t.state.Config.SystemOKEmail = 1;
        m_f->t.state.Config.LastSystemOKEmail = QString();
        saveSettings();
        m_f->runCycle();
        QCOMPARE(mailsWith(m_f->smtp, kOkSubject), 0);
        QCOMPARE(savedLastSystemOk(), DateTimeText(m_f->t.clock.now()));

        m_f->runCycle(3600);
        QCOMPARE(mailsWith(m_f->smtp, kOkSubject), 0);
        m_f->runCycle(24 * 3600);
        QCOMPARE(mailsWith(m_f->smtp, kOkSubject), 1);
        QCOMPARE(savedLastSystemOk(), DateTimeText(m_f->t.clock.now()));
        m_f->runCycle(60);
        QCOMPARE(mailsWith(m_f->smtp, kOkSubject), 1);
    }

    // The device failure notice names the device, the requests actually made and its address.
    void deviceFailureNoticeText_data()
    {
        QTest::addColumn<int>("attempts");
        QTest::newRow("one attempt") << 1;
        QTest::newRow("three attempts") << 3;
    }
    void deviceFailureNoticeText()
    {
        QFETCH(int, attempts);
        m_f->timings.retryPauseMs = 20;
        SimDevice *device = start({{"Kitchen", {{0, "Freezer", kTemperature}}}});
        QVERIFY(device);
        m_f->t.state.Config.CommunicationRetry = qint16(attempts);
        saveSettings();
        device->setFault(SimFault::ShortReply);
        m_f->runCycle();
        m_f->runCycle();
        QVERIFY(m_f->smtp.waitForMessages(1));
        const SmtpTestServer::Received notice = m_f->smtp.messages().first();
        QCOMPARE(notice.recipients, QStringList({"admin@example.com"}));
        QCOMPARE(notice.header("Subject"), QByteArray("Message from Quellmark VKL-E"));
        const QByteArray text =
            QStringLiteral(" The device: Kitchen, did not respond to %1 request(s) for data.  "
                           "The servers's IP address is: 127.0.10.1.\r\n")
                .arg(attempts)
                .toUtf8();
        QVERIFY2(notice.body().contains(text), notice.body().constData());
    }

    // One sensor's backup copy fails while the others' work: one episode and one notice for the
    // whole outage, with the notice's text; the episode closes after a cycle in which every copy
    // worked.
    void backupNoticeOncePerOutage()
    {
        QVERIFY(start({{"Alpha", {{0, "Alpha Freezer", kTemperature}, {1, "Alpha Cooler", kTemperature}}}}));
        const QString backup = m_f->t.path("backup");
        QVERIFY(QDir().mkpath(backup));
        m_f->t.state.Config.LogDirectory = backup;
        saveSettings();
        m_f->runCycle();
        QCOMPARE(m_f->count("tblLogFileBackup"), 0);

        // Another program holds the cooler's statistics file: here a directory stands in its place.
        const qint64 cooler = m_f->sensorId("Alpha", 1);
        const QString blocked = QDir(backup).filePath(QString("Sensor-%1 Average.dat").arg(cooler));
        QVERIFY(QFile::remove(blocked));
        QVERIFY(QDir().mkpath(blocked));
        for (int cycle = 0; cycle < 3; ++cycle)
            m_f->runCycle();
        QCOMPARE(m_f->count("tblLogFileBackup"), 1);
        QCOMPARE(m_f->count("tblLogFileBackup", "BackOnLine = 'False'"), 1);
        QCOMPARE(mailsWith(m_f->smtp, "error writing data log files"), 1);
        // The notice names the directories and, after them, why the copy failed.
        const QByteArray text =
            (" There was an error writing data log files to the programmed directory " + backup +
             ".  A backup copy is being kept in " + QDir::toNativeSeparators(m_f->t.dir.path()) +
             ".  The error is: ")
                .toUtf8();
        const QByteArray body = m_f->smtp.messages().first().body();
        QVERIFY2(body.contains(text), body.constData());
        QVERIFY2(body.contains(".  The error is: Is a directory"), body.constData());

        QVERIFY(QDir(blocked).removeRecursively());
        m_f->runCycle();
        QCOMPARE(m_f->count("tblLogFileBackup", "BackOnLine <> 'False'"), 1);
        QCOMPARE(m_f->count("tblLogFileBackup"), 1);
    }

    // A busy device's sensors are not evaluated: the other sensors keep their grid rows and chart
    // series, and the busy sensors' series have a gap for that cycle.
    void busyDeviceLeavesRowsAndSeriesInPlace()
    {
        SimDevice *alpha =
            start({{"Alpha", {{0, "Alpha Freezer", kTemperature}, {1, "Alpha Cooler", kTemperature}}},
                   {"Bravo", {{0, "Bravo Freezer", kTemperature}}}});
        QVERIFY(alpha);
        SimDevice *bravo = m_f->devices.last().get();
        alpha->setReading(0, 1.0);
        alpha->setReading(1, 2.0);
        bravo->setReading(0, 3.0);
        StatusGridModel &grid = m_f->monitor->grid;
        TrendData trend(m_f->t.clock);
        trend.setModel(&grid);
        m_f->runCycle();
        trend.Build();
        trend.AddReadings();
        QCOMPARE(trend.seriesCount(), 3);
        const QStringList rows = {grid.cellText(0, 1), grid.cellText(1, 1), grid.cellText(2, 1)};
        QCOMPARE(rows, QStringList({"Alpha Freezer", "Alpha Cooler", "Bravo Freezer"}));

        alpha->setFault(SimFault::Busy);
        bravo->setReading(0, 4.0);
        m_f->runCycle();
        trend.AddReadings();
        QVERIFY(m_f->t.status.contains("Alpha at IP address 127.0.10.1: Is busy"));
        QCOMPARE(grid.cellText(2, StatusGridModel::SensorColumn), QString("Bravo Freezer"));
        QCOMPARE(grid.cellText(2, StatusGridModel::ReadingColumn), QString("4"));
        QCOMPARE(grid.cellText(0, StatusGridModel::SensorColumn), QString("Alpha Freezer"));
        QVERIFY(std::isnan(trend.series(0).values.back()));
        QVERIFY(std::isnan(trend.series(1).values.back()));
        QCOMPARE(trend.series(2).values, (std::vector<float>{3.0f, 4.0f}));

        alpha->clearFault();
        m_f->runCycle();
        trend.AddReadings();
        QCOMPARE(trend.series(0).values.back(), 1.0f);
        QCOMPARE(trend.series(2).values.back(), 4.0f);
    }

private:
    using Sensors = QList<std::tuple<int, QString, QString>>;

    // Starts the engine with the devices (in name order) and lays out the grid; the first device.
    SimDevice *start(const QList<std::pair<QString, Sensors>> &devices,
                     const QString &emailList = QStringLiteral("alarms@example.com"))
    {
        QString error;
        if (!m_f->start(error)) {
            qWarning() << error;
            return nullptr;
        }
        SimDevice *first = nullptr;
        for (const auto &[name, sensors] : devices) {
            SimDevice *device = m_f->addDevice(name, 5, 5, 25, sensors, emailList);
            if (!device)
                return nullptr;
            for (const auto &[port, sensorName, type] : sensors)
                device->setReading(port, 5.0 + port);
            first = first ? first : device;
        }
        int named = 0;
        m_f->monitor->database.CountNamedSensors(named);
        m_f->monitor->grid.ConfigureServerStatusGrid(named);
        return first;
    }
    void saveSettings() { m_f->activation->configFile().SaveConfiguration(); }
    QString savedLastSystemOk()
    {
        ConfigRecord saved;
        std::swap(saved, m_f->t.state.Config);
        m_f->activation->configFile().ReadConfiguration();
        std::swap(saved, m_f->t.state.Config);
        return saved.LastSystemOKEmail;
    }

    std::unique_ptr<MonitoringFixture> m_f;
};

QTEST_GUILESS_MAIN(TestCycleRules)
#include "tst_cyclerules.moc"
