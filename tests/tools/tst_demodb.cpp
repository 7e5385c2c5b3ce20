// tallyport-demodb run as a program: the devices, sensors and settings it leaves in a program
// directory, read back through the program's own database and settings code.
#include <core/Cipher.h>
#include <core/ConfigFile.h>
#include <db/Database.h>
#include <support/TestState.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

const QString kTool = QStringLiteral(TALLYPORT_BINARY_DIR "/bin/tallyport-demodb");
const QString kDemoScenario = QStringLiteral(TALLYPORT_SOURCE_DIR "/resources/demo-scenario.json");

struct Run {
    int exitCode = -1;
    QString errors;
};

Run runTool(const QStringList &args)
{
    QProcess process;
    process.start(kTool, args);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QString writeScenario(const QTemporaryDir &dir, const QByteArray &json)
{
    const QString path = dir.filePath(QStringLiteral("scenario.json"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(json);
    return path;
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

const ServerRecord *findServer(const QList<ServerRecord> &rows, const QString &name)
{
    for (const ServerRecord &row : rows) {
        if (row.ServerName == name)
            return &row;
    }
    return nullptr;
}

} // namespace

class TestDemoDb : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(kTool), "build tallyport-demodb first");
        QVERIFY(m_program.dir.isValid());
        const Run run = runTool({kDemoScenario, m_program.dir.path()});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
    }

    void everyDemoDeviceIsEnabledWithItsModelText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("namedSensors");
        QTest::newRow("RX705") << "Kitchen Freezers"
                               << "127.0.0.11"
                               << "Model RX700-5: Refrigerator/Freezer Keeper" << 5;
        QTest::newRow("RX708") << "Server Room"
                               << "127.0.0.12"
                               << "Model RX700-8: Computer Room Keeper" << 5;
        QTest::newRow("RX720") << "Boiler Room"
                               << "127.0.0.13"
                               << "Model RX720: High Temperature Keeper" << 3;
        QTest::newRow("RX740") << "Generator Shed"
                               << "127.0.0.14"
                               << "Model RX740: Temperature and Power Keeper" << 4;
        QTest::newRow("Wexa 15") << "Pharmacy"
                                 << "127.0.0.15"
                                 << "Wexa 15: Refrigerator/Freezer LanKeeper" << 3;
        QTest::newRow("Wexa 16") << "Lab Storage"
                                 << "127.0.0.16"
                                 << "Wexa 16: Refrigerator/Freezer/Humidity LanKeeper" << 5;
        QTest::newRow("RX700-10") << "Warehouse"
                                  << "127.0.0.17"
                                  << "Model RX700-10: Property Keeper" << 3;
    }

    void everyDemoDeviceIsEnabledWithItsModelText()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, model);
        QFETCH(int, namedSensors);
        Database db(m_program.state);
        QList<ServerRecord> rows;
        int count = 0;
        QVERIFY(db.RecordServers(rows, count));
        QCOMPARE(count, 7);
        const ServerRecord *server = findServer(rows, name);
        QVERIFY(server);
        QCOMPARE(server->ServerIPAddress, address);
        QCOMPARE(server->ServerModel, model);
        QVERIFY(server->isEnabled());
        QVERIFY(server->isCommOn());
        QCOMPARE(server->EmailAddress, QStringLiteral("alarms@example.com,"));

        QList<SensorRecord> sensors;
        QVERIFY(db.RecordSensors(server->IDNum, sensors, count));
        QCOMPARE(count, namedSensors);
    }

    // Sensor types as the model's parameter editor names each port; their words decide how a
    // reading is shown and judged.
    void sensorsCarryTheirPortTypeAndLimits_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QVariant>("lower");
        QTest::addColumn<QVariant>("upper");
        QTest::addColumn<qint64>("tol");
        const QVariant none;
        QTest::newRow("RX705 temperature")
            << "Kitchen Freezers" << 0 << "Walk-in Freezer"
            << "Temperature Sensor Port 1" << QVariant(-20.0) << QVariant(10.0) << qint64(10);
        QTest::newRow("RX705 door") << "Kitchen Freezers" << 9 << "Back Door"
                                    << "Door Sensor 2" << none << none << qint64(5);
        QTest::newRow("RX708 humidity")
            << "Server Room" << 3 << "Rack B Humidity"
            << "Zone 2 Humidity Sensor" << QVariant(30.0) << QVariant(60.0) << qint64(10);
        QTest::newRow("RX708 water") << "Server Room" << 8 << "Floor Water"
                                     << "Water Sensor" << none << none << qint64(0);
        QTest::newRow("RX720 dry contact") << "Boiler Room" << 4 << "Burner Fault"
                                           << "Dry Contact Alarm Input (NO)" << none << none << qint64(0);
        QTest::newRow("RX740 power") << "Generator Shed" << 5 << "Generator Output"
                                     << "Power Sensor Port 2" << none << none << qint64(1);
        QTest::newRow("RX740 dry contact") << "Generator Shed" << 8 << "Transfer Switch"
                                           << "Dry Contact Input 1" << none << none << qint64(0);
        QTest::newRow("Wexa door") << "Pharmacy" << 2 << "Fridge Door"
                                   << "Door Sensor 1" << none << none << qint64(3);
        QTest::newRow("Wexa 16 internal humidity")
            << "Lab Storage" << 3 << "Lab Humidity"
            << "Internal Humidity Sensor" << QVariant(20.0) << QVariant(60.0) << qint64(15);
        QTest::newRow("Wexa 16 door") << "Lab Storage" << 4 << "Freezer Door"
                                      << "Door Sensor 1" << none << none << qint64(2);
    }

    void sensorsCarryTheirPortTypeAndLimits()
    {
        QFETCH(QString, device);
        QFETCH(int, port);
        QFETCH(QString, name);
        QFETCH(QString, type);
        QFETCH(QVariant, lower);
        QFETCH(QVariant, upper);
        QFETCH(qint64, tol);
        Database db(m_program.state);
        QList<ServerRecord> rows;
        int count = 0;
        QVERIFY(db.RecordServers(rows, count));
        const ServerRecord *server = findServer(rows, device);
        QVERIFY(server);
        QList<SensorRecord> sensors;
        QVERIFY(db.RecordSensors(server->IDNum, sensors, count));
        const auto sensor = std::find_if(sensors.cbegin(), sensors.cend(),
                                         [port](const SensorRecord &s) { return s.PortNum == port; });
        QVERIFY(sensor != sensors.cend());
        QCOMPARE(sensor->SensorName, name);
        QCOMPARE(sensor->SensorType, type);
        QCOMPARE(sensor->LowerLimit.has_value(), lower.isValid());
        QCOMPARE(sensor->UpperLimit.has_value(), upper.isValid());
        if (lower.isValid())
            QCOMPARE(*sensor->LowerLimit, lower.toDouble());
        if (upper.isValid())
            QCOMPARE(*sensor->UpperLimit, upper.toDouble());
        QCOMPARE(sensor->TOL.value_or(-1), tol);
    }

    // Unused ports of a model are rows with an empty name, so naming one later keeps its type.
    void unusedPortsAreUnnamedRowsOfTheModel()
    {
        TestState t;
        QCOMPARE(runTool({kDemoScenario, t.dir.path()}).exitCode, 0);
        Database db(t.state);
        int named = 0;
        QVERIFY(db.CountNamedSensors(named));
        QCOMPARE(named, 28);
        QList<ServerRecord> rows;
        int count = 0;
        QVERIFY(db.RecordServers(rows, count));
        const ServerRecord *warehouse = findServer(rows, QStringLiteral("Warehouse"));
        QVERIFY(warehouse);
        QVERIFY(db.SensorExists(warehouse->IDNum, 5));
        QVERIFY(db.SaveSensor(warehouse->IDNum, "Cooler 3", 5, "", "ignored", "", "", "5"));
        QList<SensorRecord> sensors;
        QVERIFY(db.RecordSensors(warehouse->IDNum, sensors, count));
        QCOMPARE(count, 4);
        QCOMPARE(sensors.at(2).SensorName, QStringLiteral("Cooler 3"));
        QCOMPARE(sensors.at(2).SensorType, QStringLiteral("Temperature Sensor Port 6"));
        const ServerRecord *pharmacy = findServer(rows, QStringLiteral("Pharmacy"));
        QVERIFY(pharmacy);
        QVERIFY(db.SensorExists(pharmacy->IDNum, 3));  // Wexa 15: ports 0 to 3
        QVERIFY(!db.SensorExists(pharmacy->IDNum, 4)); // no such port on the model
    }

    void settingsSuitTheDemoAndNeedNoRepair()
    {
        Cipher cipher;
        QVERIFY(cipher.InitCipher());
        ConfigFile file(m_program.state, cipher);
        QVERIFY(file.ReadConfiguration());
        const ConfigRecord &c = m_program.state.Config;
        QCOMPARE(c.UpdateRate, qint16(10));
        QCOMPARE(c.TCPTimeOut, qint16(2));
        QCOMPARE(c.CommunicationRetry, qint16(1));
        QCOMPARE(c.SMTPHost.trimmed(), QStringLiteral("127.0.0.1"));
        QCOMPARE(c.SMTPPort, qint16(2525));
        QCOMPARE(c.FromAddress.trimmed(), QStringLiteral("tallyport@example.com"));
        QCOMPARE(c.AdminEmailAddress.trimmed(), QStringLiteral("admin@example.com"));
        QCOMPARE(c.EnableTrending, qint16(1));
        QCOMPARE(c.AuthenticationRequired, qint16(0));
        QCOMPARE(c.UseSSL, qint16(0));
        // No administrator login locks the configuration menus.
        QVERIFY(c.AdminUserName.trimmed().isEmpty());
        QVERIFY(c.AdminPassword.trimmed().isEmpty());
        const QByteArray before = fileHash(file.path());
        QVERIFY(file.ValidateConfiguration());
        QCOMPARE(fileHash(file.path()), before);
    }

    void existingFilesAreKeptUnlessReplacing()
    {
        TestState t;
        QVERIFY(runTool({kDemoScenario, t.dir.path()}).exitCode == 0);
        Database(t.state).AddError("where", "an error the next run must not lose");
        const QString dbPath = t.path(QStringLiteral("wexa.mdb"));
        const QByteArray before = fileHash(dbPath);

        const Run refused = runTool({kDemoScenario, t.dir.path()});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.errors.contains(QStringLiteral("wexa.mdb")), qPrintable(refused.errors));
        QVERIFY2(refused.errors.contains(QStringLiteral("--replace")), qPrintable(refused.errors));
        QCOMPARE(fileHash(dbPath), before);

        QFile::remove(dbPath);
        QCOMPARE(runTool({kDemoScenario, t.dir.path()}).exitCode, 1); // the settings file alone counts

        const Run replaced = runTool({"--replace", kDemoScenario, t.dir.path()});
        QVERIFY2(replaced.exitCode == 0, qPrintable(replaced.errors));
        QList<ServerRecord> rows;
        int count = 0;
        QVERIFY(Database(t.state).RecordServers(rows, count));
        QCOMPARE(count, 7);
    }

    void smallScenarioKeepsNamesIntactAndMakesTheDirectory()
    {
        TestState t;
        const QString scenario = writeScenario(t.dir, R"({"devices": [
            {"name": "Bob's \"Cold\" Room", "address": "127.0.0.40", "family": 3, "model": 3,
             "firmware": 5, "sensors": [{"port": 3, "type": "door", "name": "O'Hare Door", "time": 4}]}]})");
        const QString programDir = t.path(QStringLiteral("new/program dir"));
        const Run run = runTool({scenario, programDir});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));

        ProgramState &state = t.state;
        Database db(state, QDir(programDir).filePath(QStringLiteral("wexa.mdb")));
        QList<ServerRecord> rows;
        int count = 0;
        QVERIFY(db.RecordServers(rows, count));
        QCOMPARE(count, 1);
        QCOMPARE(rows.at(0).ServerName, QStringLiteral("Bob's \"Cold\" Room"));
        QCOMPARE(rows.at(0).ServerModel, QStringLiteral("Wexa 13: Refrigerator/Freezer LanKeeper"));
        QList<SensorRecord> sensors;
        QVERIFY(db.RecordSensors(rows.at(0).IDNum, sensors, count));
        QCOMPARE(count, 1);
        QCOMPARE(sensors.at(0).SensorName, QStringLiteral("O'Hare Door"));
        QCOMPARE(sensors.at(0).SensorType, QStringLiteral("Door Sensor 2"));
        QVERIFY(QFile::exists(QDir(programDir).filePath(QStringLiteral("TallyportConfig.dat"))));
    }

    void refusedScenariosLeaveNothingBehind_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("{ devices: ") << QString();
        QTest::newRow("port the program cannot reach") << QByteArray(R"({"devices": [
                 {"name": "A", "address": "127.0.0.41", "family": 5, "model": 20, "firmware": 23, "sensors": []},
                 {"name": "B", "address": "127.0.0.41", "port": 10002, "family": 5, "model": 20,
                  "firmware": 23, "sensors": []}]})") << QStringLiteral("port 10002");
    }

    void refusedScenariosLeaveNothingBehind()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        TestState t;
        const QString programDir = t.path(QStringLiteral("program"));
        QVERIFY(QDir().mkpath(programDir));
        const Run run = runTool({writeScenario(t.dir, json), programDir});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.errors.contains(reason), qPrintable(run.errors));
        QCOMPARE(QDir(programDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

private:
    TestState m_program;
};

QTEST_GUILESS_MAIN(TestDemoDb)
#include "tst_demodb.moc"
