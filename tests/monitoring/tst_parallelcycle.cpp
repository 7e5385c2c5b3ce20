// Overlapping device exchanges: the same devices polled one after another and eight at a time
// give the same records, mail, files and status lines in the same order; exchanges hold lanes up
// to the setting, those that only wait step aside, never two run on one device, and the end of
// monitoring ends them all at once.
#include "support_monitoring.h"

#include <acquisition/TrendHistory.h>
#include <db/Records.h>
#include <link/DeviceCommands.h>
#include <support/GuardReports.h>
#include <support/StalledListener.h>

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {
const QString kTemperature = QStringLiteral("Temperature Sensor Port 1");
const QString kTemperature2 = QStringLiteral("Temperature Sensor Port 2");
const QDateTime kStart(QDate(2026, 5, 4), QTime(9, 0, 0));

// Everything a run leaves behind that the operator or a reader of the files could see.
struct RunRecord {
    QStringList statusWrites; // outcome, download and time lines, in the order written
    QStringList grid;
    QStringList alarms;
    QStringList failures;
    QStringList errors;
    QStringList mails;
    QMap<QString, QByteArray> dataFiles;
    // The most bytes a reply the cycle kept had room for.
    qsizetype largestReplyBuffer = 0;
};

// The status lines each write leaves, apart from the connection lines, which follow whichever
// transaction moved last, and the outbox's line, which follows its attempts as they end.
class StatusRecorder {
public:
    explicit StatusRecorder(StatusList &status) : m_status(status)
    {
        QObject::connect(&status, &QAbstractItemModel::dataChanged, &m_context,
                         [this](const QModelIndex &index) { take(index.row()); });
        QObject::connect(&status, &QAbstractItemModel::rowsInserted, &m_context,
                         [this](const QModelIndex &, int first) { take(first); });
    }
    QStringList writes;

private:
    void take(int row)
    {
        const QString &line = m_status.lines().at(row);
        if (!line.startsWith(QLatin1String("Connection ")) &&
            !line.startsWith(QLatin1String("Communication Error")) && !line.startsWith(Outbox::WaitingKey))
            writes << line;
    }
    StatusList &m_status;
    QObject m_context;
};

// One device of the plant: its name, model, scale, what it reads, how it misbehaves.
enum class Behaviour { Answers, Silent, Refuses, Busy, Slow, DiesAfterIdentify };
struct PlantDevice {
    QString name;
    int family, model, firmware;
    char unit;
    double port0, port1;
    Behaviour behaviour;
};

// Devices in name order: dead ones between live ones, tenths and whole-degree models, °C and °F.
const QList<PlantDevice> kPlant = {
    {"Alpha Freezer", 5, 5, 25, 'F', -10.5, 35.5, Behaviour::Answers},        // tenths on ports 0-7
    {"Bravo Silent", 5, 5, 25, 'F', 1, 2, Behaviour::Silent},                 //
    {"Charlie Cooler", 5, 10, 22, 'C', 4, 3, Behaviour::Answers},             // whole degrees
    {"Delta Refusing", 3, 4, 5, 'C', 1, 2, Behaviour::Refuses},               //
    {"Echo Lab", 3, 4, 5, 'C', 21.5, 19.5, Behaviour::Slow},                  // tenths on ports 0-1
    {"Foxtrot Busy", 5, 10, 24, 'F', 1, 2, Behaviour::Busy},                  //
    {"Golf Humidor", 3, 6, 7, 'F', 68.5, 70.5, Behaviour::Answers},           // tenths on ports 0-3
    {"Hotel Dying", 5, 5, 25, 'F', 40.5, 41.5, Behaviour::DiesAfterIdentify}, //
    {"India Store", 5, 10, 22, 'F', 55, 56, Behaviour::Answers},              // whole degrees
};

QString normalised(QString text, int octet)
{
    return text.replace(QStringLiteral("127.0.%1.").arg(octet), QStringLiteral("127.0.N."));
}
} // namespace

class TestParallelCycle : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_timings = {};
        m_timings.connectMs = 1000;
        m_timings.closeMs = 500;
        m_timings.retryPauseMs = 100;
        m_timings.replyOverrideMs = 500;
    }
    void cleanup() { m_f.reset(); }

    // Three cycles of a plant with every kind of device, one after another and eight at a time:
    // an alarm opens and ends, dead devices open episodes and get their notices.
    void overlappedCycleMatchesOneAfterAnother()
    {
        const RunRecord one = runPlant(100, 1);
        const RunRecord eight = runPlant(101, 8);

        QCOMPARE(eight.statusWrites, one.statusWrites);
        QCOMPARE(eight.grid, one.grid);
        QCOMPARE(eight.alarms, one.alarms);
        QCOMPARE(eight.failures, one.failures);
        QCOMPARE(eight.errors, one.errors);
        QCOMPARE(eight.mails, one.mails);
        QCOMPARE(eight.dataFiles.keys(), one.dataFiles.keys());
        for (auto it = one.dataFiles.constBegin(); it != one.dataFiles.constEnd(); ++it)
            QVERIFY2(eight.dataFiles.value(it.key()) == it.value(), qPrintable(it.key()));

        // And what both show is right: each device's readings scaled by its own model and
        // firmware, shown in its own scale.
        QVERIFY(one.grid.contains(QString::fromUtf8("Alpha Freezer|Alpha Freezer 0|-10.5|°F|Normal")));
        QVERIFY(one.grid.contains(QString::fromUtf8("Charlie Cooler|Charlie Cooler 0|4|°C|Normal")));
        QVERIFY(one.grid.contains(QString::fromUtf8("Echo Lab|Echo Lab 0|21.5|°C|Normal")));
        QVERIFY(one.grid.contains(QString::fromUtf8("Golf Humidor|Golf Humidor 1|70.5|°F|Normal")));
        QVERIFY(one.grid.contains(QString::fromUtf8("India Store|India Store 0|55|°F|Normal")));
        QCOMPARE(one.alarms.size(), 1);
        QCOMPARE(one.failures.size(), 3); // silent, refusing, dying
        QCOMPARE(one.mails.size(), 4);    // one alarm, three notices
        const QStringList outcomes =
            one.statusWrites.filter("Communication with server").mid(0, kPlant.size());
        QCOMPARE(outcomes.size(), kPlant.size());
        for (int i = 0; i < kPlant.size(); ++i)
            QVERIFY2(outcomes[i].contains(kPlant[i].name), qPrintable(outcomes[i]));
        QVERIFY(outcomes[5].endsWith(": Is busy"));
        // A cycle keeps every device's replies until it has taken the device: a reply holds its
        // own bytes, not the socket's read buffer.
        QVERIFY(one.largestReplyBuffer > 0);
        QVERIFY2(one.largestReplyBuffer < 1024, qPrintable(QString::number(one.largestReplyBuffer)));
        QVERIFY2(eight.largestReplyBuffer < 1024, qPrintable(QString::number(eight.largestReplyBuffer)));
    }

    // A device that stops answering keeps its own unit in the grid, whatever the device polled
    // before it reports.
    void silentDeviceKeepsItsOwnScale()
    {
        startFixture(105);
        SimDevice *fahrenheit = m_f->addDevice("Alpha", 5, 5, 25, {{0, "Alpha Probe", kTemperature}});
        SimDevice *celsius = m_f->addDevice("Bravo", 5, 5, 25, {{0, "Bravo Probe", kTemperature}});
        QVERIFY(fahrenheit && celsius);
        fahrenheit->setTemperatureUnit('F');
        celsius->setTemperatureUnit('C');
        m_f->monitor->grid.ConfigureServerStatusGrid(2);
        m_f->runCycle();
        QCOMPARE(m_f->monitor->grid.cellText(1, StatusGridModel::UnitsColumn), QString::fromUtf8("°C"));
        celsius->setFault(SimFault::Refused);
        m_f->runCycle();
        QCOMPARE(m_f->monitor->grid.cellText(1, StatusGridModel::ReadingColumn), QString("No Data"));
        QCOMPARE(m_f->monitor->grid.cellText(1, StatusGridModel::UnitsColumn), QString::fromUtf8("°C"));
    }

    // A device that is switched off (its connection never opens) costs the cycle its connect
    // wait; the devices beside it are read meanwhile.
    void switchedOffDeviceFailsAfterItsConnectWait()
    {
        startFixture(107);
        StalledListener off(QStringLiteral("127.0.107.50"), DeviceLink::DevicePort);
        QVERIFY(off.ready());
        qint64 id = 0;
        QVERIFY(m_f->monitor->database.AddServer("Annex", "Model RX700-5: Refrigerator/Freezer Keeper",
                                                 "127.0.107.50", "", 1, "", "", -1, &id));
        QVERIFY(m_f->monitor->database.SaveSensor(id, "Annex Probe", 0, "", kTemperature, "", "", ""));
        QVERIFY(m_f->addDevice("Kitchen", 5, 5, 25, {{0, "Freezer", kTemperature}}));
        StatusRecorder status(m_f->t.status);
        QElapsedTimer cycle;
        cycle.start();
        m_f->runCycle();
        QVERIFY(cycle.elapsed() >= m_timings.connectMs);
        QCOMPARE(status.writes.filter("Communication with server").size(), 2);
        QVERIFY(status.writes.filter("Communication with server")
                    .first()
                    .endsWith("Annex at IP address "
                              "127.0.107.50: FAILED"));
        QVERIFY(m_f->t.status.lines().contains(
            "Communication with server Kitchen at IP address 127.0.107.1: OK"));
        QCOMPARE(m_f->count("tblServerFailures"), 1);
    }

    // A device read early in a cycle but taken late (it waits behind a slow device before it in
    // the list) has its readings filed, and its alarm started, at the time its reply came.
    void readingsAreFiledAtTheTimeTheyWereRead()
    {
        m_timings.replyOverrideMs = 3000;
        startFixture(109);
        SimDevice *slow = m_f->addDevice("Alpha", 5, 5, 25, {{0, "Alpha Probe", kTemperature}});
        SimDevice *quick = m_f->addDevice("Bravo", 5, 5, 25, {{0, "Bravo Probe", kTemperature}});
        QVERIFY(slow && quick);
        slow->faultOptions().slowDelayMs = 1200;
        slow->setFault(SimFault::Slow);
        slow->setReading(0, 38.5);
        quick->setReading(0, 41.5);
        quick->setAlarmByte(0, 1);
        m_f->monitor->grid.ConfigureServerStatusGrid(2);
        const QDateTime readAt = m_f->t.clock.now().addSecs(60);
        // Bravo has answered by then; Alpha has not.
        QTimer::singleShot(600, [this] { m_f->t.clock.advanceSeconds(30); });
        m_f->runCycle();
        QCOMPARE(ParseStoredDateTime(m_f->value("SELECT AlarmStart FROM tblAlarms")), readAt);
        const auto lastFiled = [this](const QString &device) {
            const TrendHistory history =
                ReadTrendHistory(m_f->t.dir.path(), int(m_f->sensorId(device, 0)),
                                 m_f->t.clock.now().addSecs(-3600), m_f->t.clock.now().addSecs(1), 60000);
            return history.times.empty() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(history.times.back());
        };
        QCOMPARE(lastFiled("Bravo"), readAt);
        QCOMPARE(lastFiled("Alpha"), readAt.addSecs(30));
    }

    // Exchanges hold lanes up to the setting and no more; one that only waits on a silent device
    // gives its lane to the next, so ten silent devices wait side by side and every one of them
    // is reported.
    void exchangesOverlapUpToTheSetting()
    {
        m_timings.laneMs = 50;
        startFixture(102);
        for (int i = 1; i <= 10; ++i) {
            SimDevice *device = m_f->addDevice(QStringLiteral("Silent %1").arg(i, 2, 10, QLatin1Char('0')), 5,
                                               5, 25, {{0, "Probe", kTemperature}});
            QVERIFY(device);
            device->setFault(SimFault::Silent);
        }
        m_f->t.state.Ini.poll.parallel = 4;
        int mostInLanes = 0;
        int mostRunning = 0;
        QTimer sample;
        connect(&sample, &QTimer::timeout, [&] {
            mostInLanes = qMax(mostInLanes, m_f->monitor->cycle.exchanges().inLanes());
            mostRunning = qMax(mostRunning, m_f->monitor->cycle.exchanges().running());
        });
        sample.start(5);
        m_f->runCycle();
        QCOMPARE(mostInLanes, 4);
        QCOMPARE(mostRunning, 10);
        QCOMPARE(m_f->t.status.lines().filter(": FAILED").size(), 10);
        QCOMPARE(m_f->count("tblServerFailures"), 10);
        for (const auto &device : m_f->devices)
            QCOMPARE(device->transactionCount(), 1);
    }

    // Two records with one address (older data): their exchanges take turns on the device, also
    // while the first waits beside the lanes on a slow or a silent device; both are read, and
    // the device after them is read meanwhile.
    void oneConnectionToADeviceAtATime()
    {
        m_timings.laneMs = 20;
        startFixture(103);
        SimDevice *device = m_f->addDevice("Kitchen", 5, 5, 25, {{0, "Freezer", kTemperature}});
        QVERIFY(device);
        QVERIFY(m_f->addDevice("Larder", 5, 5, 25, {{0, "Shelf", kTemperature}}));
        SimDevice *silent = m_f->addDevice("Mill", 5, 5, 25, {{0, "Bin", kTemperature}});
        QVERIFY(silent);
        QVERIFY(m_f->addDevice("Nook", 5, 5, 25, {{0, "Rack", kTemperature}}));
        SimDevice *oven = m_f->addDevice("Oven", 5, 5, 25, {{0, "Door", kTemperature}});
        QVERIFY(oven);
        m_f->value(QStringLiteral(
            "UPDATE tblServers SET ServerIPAddress = '127.0.103.1' WHERE ServerName = 'Larder'"));
        m_f->value(QStringLiteral(
            "UPDATE tblServers SET ServerIPAddress = '127.0.103.3' WHERE ServerName = 'Nook'"));
        device->faultOptions().slowDelayMs = 150;
        device->setFault(SimFault::Slow);
        silent->setFault(SimFault::Silent);
        QElapsedTimer clock;
        QList<qint64> slowCommands;
        QStringList slowKinds;
        QList<qint64> silentCommands;
        qint64 ovenRead = -1;
        connect(device, &SimDevice::commandReceived, [&](const QByteArray &command) {
            slowCommands << clock.elapsed();
            slowKinds << (command == BuildCommand(DeviceCommands().IdentifyCommand) ? "identify"
                                                                                    : "readings");
        });
        connect(silent, &SimDevice::commandReceived, [&] { silentCommands << clock.elapsed(); });
        connect(oven, &SimDevice::replySent, [&] { ovenRead = clock.elapsed(); });
        clock.start();
        m_f->runCycle();
        // Each device's second exchange began only after the first had its last reply, or had
        // waited out its reply time-out.
        QCOMPARE(slowKinds.join(' '), QString("identify readings identify readings"));
        QVERIFY2(slowCommands[2] - slowCommands[1] >= device->faultOptions().slowDelayMs,
                 qPrintable(QString::number(slowCommands[2] - slowCommands[1])));
        QCOMPARE(silentCommands.size(), 2);
        QVERIFY2(silentCommands[1] - silentCommands[0] >= m_timings.replyOverrideMs,
                 qPrintable(QString::number(silentCommands[1] - silentCommands[0])));
        QVERIFY(ovenRead >= 0 && ovenRead < silentCommands[1]);
        QCOMPARE(m_f->t.status.lines().filter(": OK").size(), 3);
        QCOMPARE(m_f->t.status.lines().filter(": FAILED").size(), 2);
    }

    // The tick and the update button start no second cycle while the exchanges of one run.
    void noSecondCycleWhileOneRuns()
    {
        startFixture(106);
        for (int i = 1; i <= 3; ++i) {
            SimDevice *device =
                m_f->addDevice(QStringLiteral("Slow %1").arg(i), 5, 5, 25, {{0, "Probe", kTemperature}});
            QVERIFY(device);
            device->faultOptions().slowDelayMs = 150;
            device->setFault(SimFault::Slow);
        }
        PollTimer &timer = *m_f->pollTimer;
        int cycles = 0;
        timer.runCycle = [this, &cycles](std::function<void()> ended) {
            ++cycles;
            m_f->monitor->cycle.LogRoutine(std::move(ended));
        };
        timer.setTicksPerCycle(1);
        QTimer::singleShot(100, [&timer] {
            timer.Tick();
            timer.UpdateNow();
        });
        timer.UpdateNow();
        QTRY_VERIFY_WITH_TIMEOUT(!timer.cycleRunning(), 10000);
        QCOMPARE(cycles, 1);
        for (const auto &device : m_f->devices)
            QCOMPARE(device->transactionCount(), 2);
        QCOMPARE(m_f->t.status.lines().filter(": OK").size(), 3);

        // Should anything start the cycle itself while it runs, the second start is refused: it
        // is logged (and ends a test run), and only the first caller learns of the end, once.
        PollCycle &cycle = m_f->monitor->cycle;
        int firstEnded = 0;
        int secondEnded = 0;
        GuardReports reports;
        cycle.LogRoutine([&] { ++firstEnded; });
        QVERIFY(cycle.isRunning());
        cycle.LogRoutine([&] { ++secondEnded; });
        QCOMPARE(reports.messages.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!cycle.isRunning(), 10000);
        QTest::qWait(50);
        QCOMPARE(firstEnded, 1);
        QCOMPARE(secondEnded, 0);
        const QStringList logged = m_f->rows("SELECT Cause FROM tblErrors WHERE myFunction = 'Log Routine'");
        QCOMPARE(logged.size(), 1);
        QVERIFY2(logged.first().contains("second cycle was started"), qPrintable(logged.first()));
    }

    // Closing the program ends every exchange at once: nothing waits for a device's time-out,
    // and nothing more is recorded.
    void endOfMonitoringEndsEveryExchange()
    {
        m_timings.replyOverrideMs = 20000;
        startFixture(104);
        for (int i = 1; i <= 6; ++i)
            QVERIFY(
                m_f->addDevice(QStringLiteral("Silent %1").arg(i), 5, 5, 25, {{0, "Probe", kTemperature}}));
        for (const auto &device : m_f->devices)
            device->setFault(SimFault::Silent);
        QTimer::singleShot(300, [this] { m_f->t.state.setMonitoringActive(false); });
        QElapsedTimer elapsed;
        elapsed.start();
        m_f->runCycle();
        QVERIFY2(elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(m_f->monitor->cycle.exchanges().running(), 0);
        QVERIFY(!m_f->t.status.contains("Communication with server"));
        QVERIFY(!m_f->t.status.contains("Communication Time: "));
        QCOMPARE(m_f->count("tblServerFailures"), 0);
    }

private:
    void startFixture(int octet)
    {
        m_f = std::make_unique<MonitoringFixture>(octet);
        m_f->timings = m_timings;
        QString error;
        QVERIFY2(m_f->start(error), qPrintable(error));
    }

    SimDevice *addPlantDevice(const PlantDevice &plant)
    {
        SimDevice *device =
            m_f->addDevice(plant.name, plant.family, plant.model, plant.firmware,
                           {{0, plant.name + " 0", kTemperature}, {1, plant.name + " 1", kTemperature2}});
        if (!device)
            return nullptr;
        device->setTemperatureUnit(plant.unit);
        device->setReading(0, plant.port0);
        device->setReading(1, plant.port1);
        device->faultOptions().slowDelayMs = 200;
        switch (plant.behaviour) {
        case Behaviour::Answers:
            break;
        case Behaviour::Silent:
            device->setFault(SimFault::Silent);
            break;
        case Behaviour::Refuses:
            device->setFault(SimFault::Refused);
            break;
        case Behaviour::Busy:
            device->setFault(SimFault::Busy);
            break;
        case Behaviour::Slow:
            device->setFault(SimFault::Slow);
            break;
        case Behaviour::DiesAfterIdentify:
            connect(
                device, &SimDevice::replySent, device, [device] { device->setFault(SimFault::Silent); },
                Qt::SingleShotConnection);
            break;
        }
        return device;
    }

    RunRecord runPlant(int octet, int parallel)
    {
        RunRecord record;
        startFixture(octet);
        if (!m_f)
            return record;
        m_f->t.clock.set(kStart);
        m_f->t.state.Config.CommunicationRetry = 2;
        m_f->activation->configFile().SaveConfiguration();
        m_f->t.state.Ini.poll.parallel = parallel;
        QList<SimDevice *> devices;
        for (const PlantDevice &plant : kPlant)
            devices << addPlantDevice(plant);
        if (devices.contains(nullptr))
            return record;
        int named = 0;
        m_f->monitor->database.CountNamedSensors(named);
        m_f->monitor->grid.ConfigureServerStatusGrid(named);

        StatusRecorder status(m_f->t.status);
        PollExchanges &exchanges = m_f->monitor->cycle.exchanges();
        QObject context;
        connect(&m_f->monitor->cycle, &PollCycle::deviceTaken, &context, [&] {
            for (int i = 0; const DeviceExchange::Result *result = exchanges.resultOf(i); ++i)
                record.largestReplyBuffer =
                    std::max({record.largestReplyBuffer, result->identifyReply.capacity(),
                              result->readingsReply.capacity()});
        });
        m_f->runCycle();
        devices[0]->setMinutes(0, 7);
        devices[0]->setAlarmByte(0, 1);
        m_f->runCycle();
        devices[0]->setAlarmByte(0, 0);
        m_f->runCycle();

        m_f->smtp.waitForMessages(4);
        QTest::qWait(200);
        record.statusWrites = status.writes;
        for (QString &line : record.statusWrites)
            line = normalised(line, octet);
        record.grid = gridRows();
        record.alarms =
            m_f->rows("SELECT SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, EmailSent, CauseOfAlarm, "
                      "Server, Sensor, CurrentData, TOL FROM tblAlarms ORDER BY IDNum");
        record.failures = m_f->rows("SELECT ServerName, ServerIDNum, OffLine, BackOnLine, EmailSent "
                                    "FROM tblServerFailures ORDER BY IDNum");
        record.errors = m_f->rows("SELECT myTime, myFunction, Cause FROM tblErrors ORDER BY ErrorID");
        for (const SmtpTestServer::Received &mail : m_f->smtp.messages())
            record.mails << normalised(QString::fromUtf8(mail.header("Subject") + "\n" + mail.body()),
                                       octet) +
                                "\n" + mail.recipients.join(',');
        QDir dir(m_f->t.dir.path());
        for (const QString &name : dir.entryList({"*.dat"}, QDir::Files)) {
            if (name == QLatin1String("TallyportConfig.dat"))
                continue;
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                record.dataFiles.insert(name, file.readAll());
        }
        m_f.reset();
        return record;
    }

    QStringList gridRows() const
    {
        QStringList rows;
        const StatusGridModel &grid = m_f->monitor->grid;
        for (int row = 0; row < grid.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column <= StatusGridModel::StatusColumn; ++column)
                cells << grid.cellText(row, column);
            rows << cells.join('|');
        }
        return rows;
    }

    LinkTimings m_timings;
    std::unique_ptr<MonitoringFixture> m_f;
};

QTEST_GUILESS_MAIN(TestParallelCycle)
#include "tst_parallelcycle.moc"
