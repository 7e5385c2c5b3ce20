#include <mqtt/MqttClient.h>
#include <mqtt/MqttPublisher.h>

#include <support/MqttTestBroker.h>
#include <web/support_webrig.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
const QString kBroker = QStringLiteral("127.0.180.1");
const QString kBase = QStringLiteral("tp/Lab___1"); // prefix "tp", site "Lab/+#1" made safe
const QString kNode = QStringLiteral("tp_lab___1");
const QString kTemperature = QStringLiteral("Temperature Sensor Port 1");

// The web tests' devices (a normal sensor, an alarm, a door, a busy and a silent device) and two
// devices both named "Twin", a broker of the test's own and a publisher wired to the engine.
struct MqttRig {
    explicit MqttRig(quint16 port) : broker(kBroker, port) {}

    bool start(QString &error)
    {
        if (!web.start(error) || !web.addStandardDevices() ||
            !web.f.addDevice("Twin", 5, 5, 25, {{0, "Probe", kTemperature}}) ||
            !web.f.addDevice("Twin 2", 5, 5, 25, {{0, "Probe", kTemperature}}))
            return false;
        // The fixture finds a device by its name; the second one takes the same name afterwards.
        web.f.value("UPDATE tblServers SET ServerName = 'Twin' WHERE ServerName = 'Twin 2'");
        int named = 0;
        web.f.monitor->database.CountNamedSensors(named);
        web.f.monitor->grid.ConfigureServerStatusGrid(named);
        return broker.start(error);
    }

    void makePublisher()
    {
        mqtt = std::make_unique<MqttPublisher>(web.f.t.state, web.f.monitor->grid, web.f.monitor->database);
        ConnectMqtt(*mqtt, *web.f.activation, web.f.monitor->cycle);
        mqtt->setPauses(100, 800);
    }

    MqttIniSettings settings() const
    {
        MqttIniSettings s;
        s.enabled = true;
        s.host = broker.address();
        s.port = broker.port();
        s.prefix = QStringLiteral("tp");
        s.site = QStringLiteral("Lab/+#1");
        return s;
    }

    QString stateTopic(const QString &device, int port)
    {
        return QStringLiteral("%1/%2/%3/state")
            .arg(kBase)
            .arg(web.f.deviceId(device))
            .arg(web.f.sensorId(device, port));
    }
    QString statusTopic(const QString &device)
    {
        return QStringLiteral("%1/%2/status").arg(kBase).arg(web.f.deviceId(device));
    }
    QString configTopic(const QString &component, const QString &device, int port, const QString &suffix = {})
    {
        return QStringLiteral("homeassistant/%1/%2/s%3%4/config")
            .arg(component, kNode)
            .arg(web.f.sensorId(device, port))
            .arg(suffix);
    }
    QString statusLine() const
    {
        const QStringList lines = web.f.t.status.lines().filter(MqttPublisher::StatusKey);
        return lines.isEmpty() ? QString() : lines.first();
    }
    // The engine logs into the database's error table.
    int errorLines(const QString &about = QString())
    {
        return web.f.count("tblErrors", "myFunction = 'MQTT' AND Cause LIKE '%" + about + "%'");
    }

    WebRig web{181};
    MqttTestBroker broker;
    std::unique_ptr<MqttPublisher> mqtt;
};

// Holds every descriptor number below `above` that is free, so the next socket the process opens
// is numbered higher; releases them when it goes.
struct DescriptorFiller {
    explicit DescriptorFiller(int above)
    {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max < rlim_t(above) + 256)
            return;
        limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, rlim_t(above) + 256);
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
            return;
        int fd = -1;
        while ((fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0) {
            held.push_back(fd);
            if (fd >= above)
                return;
        }
    }
    ~DescriptorFiller()
    {
        for (const int fd : held)
            ::close(fd);
    }
    bool filled() const { return !held.empty() && held.back() >= 1024; }
    std::vector<int> held;
};
} // namespace

class TestMqtt : public QObject {
    Q_OBJECT
private slots:
    // The system's certificates, as OpenSSL finds them, are the file this variable names: set
    // before any thread of the library runs; a test puts its broker's CA there.
    void initTestCase() { qputenv("SSL_CERT_FILE", QFile::encodeName(systemCertificates())); }

    // One cycle over every kind of outcome: the states, the statuses and the discovery configs
    // hold what subscribers and Home Assistant need; a busy device's latest state stands.
    void cyclePublishesStatesStatusesAndDiscovery()
    {
        MqttRig rig(18830);
        QString error;
        QVERIFY2(rig.start(error), qPrintable(error));
        QVERIFY2(rig.web.startWeb(rig.web.localSettings(), error), qPrintable(error));
        MqttTestSubscriber sub(kBroker, rig.broker.port());
        QTRY_VERIFY(sub.isConnected());
        rig.makePublisher();
        ConnectConfigurationLink(*rig.mqtt, *rig.web.web);
        rig.mqtt->Apply(rig.settings());
        QTRY_VERIFY(rig.mqtt->isConnected());
        // The status line follows when the window's thread hears of the connection.
        QTRY_COMPARE(rig.statusLine(), QStringLiteral("MQTT: connected to 127.0.180.1 port 18830"));
        QTRY_COMPARE(sub.last(kBase + "/availability"), QByteArray("online"));
        rig.web.runCycle();

        const QString freezer = rig.stateTopic("Kitchen", 0);
        QTRY_VERIFY(sub.has(rig.stateTopic("Twin", 0)));
        QVariantMap state = sub.json(freezer);
        QCOMPARE(state["device"].toString(), QStringLiteral("Kitchen"));
        QCOMPARE(state["sensor"].toString(), QStringLiteral("Walk-in Freezer"));
        QCOMPARE(state["value"].toDouble(), 5.0);
        QCOMPARE(state["state"].toString(), QStringLiteral("Normal"));
        QCOMPARE(state["alarm"].toBool(), false);
        const QString unit = state["units"].toString();
        QVERIFY2(unit == QStringLiteral("\u00b0F") || unit == QStringLiteral("\u00b0C"), qPrintable(unit));
        const QString time = state["time"].toString();
        QVERIFY(QDateTime::fromString(time, Qt::ISODate).isValid());
        QVERIFY2(time.endsWith('Z') || time.at(time.size() - 6) == '+' || time.at(time.size() - 6) == '-',
                 qPrintable(time));

        state = sub.json(rig.stateTopic("Kitchen", 1));
        QCOMPARE(state["state"].toString(), QStringLiteral("ALARM"));
        QCOMPARE(state["alarm"].toBool(), true);
        QCOMPARE(state["value"].toDouble(), 12.5);
        state = sub.json(rig.stateTopic("Kitchen", 8));
        QCOMPARE(state["reading"].toString(), QStringLiteral("Open"));
        QCOMPARE(state["on"].toBool(), true);
        QVERIFY(state["value"].isNull());
        state = sub.json(rig.stateTopic("Generator", 0));
        QCOMPARE(state["state"].toString(), QStringLiteral("NO DATA"));
        QVERIFY(state["value"].isNull());
        QCOMPARE(sub.json(rig.statusTopic("Generator"))["status"].toString(), QStringLiteral("FAILED"));
        const QVariantMap kitchen = sub.json(rig.statusTopic("Kitchen"));
        QCOMPARE(kitchen["status"].toString(), QStringLiteral("OK"));
        QCOMPARE(kitchen["address"].toString(), QStringLiteral("127.0.181.1"));

        // Two devices of one name: topics and Home Assistant devices of their own.
        const qint64 firstTwin =
            rig.web.f.value("SELECT MIN(IDNum) FROM tblServers WHERE ServerName='Twin'").toLongLong();
        const qint64 secondTwin =
            rig.web.f.value("SELECT MAX(IDNum) FROM tblServers WHERE ServerName='Twin'").toLongLong();
        QVERIFY(firstTwin != secondTwin);
        const QStringList twinStatuses{QStringLiteral("%1/%2/status").arg(kBase).arg(firstTwin),
                                       QStringLiteral("%1/%2/status").arg(kBase).arg(secondTwin)};
        QSet<QString> twinDevices;
        for (const QString &topic : twinStatuses) {
            QCOMPARE(sub.json(topic)["name"].toString(), QStringLiteral("Twin"));
            QTRY_VERIFY2(!sub.topics(topic.chopped(6)).filter("/state").isEmpty(),
                         qPrintable(sub.topics().join(" ")));
            const QString probe = sub.topics(topic.chopped(6)).filter("/state").value(0);
            const QString sensorId = probe.section('/', -2, -2);
            const QVariantMap config = QJsonDocument::fromJson(sub.last("homeassistant/sensor/" + kNode +
                                                                        "/s" + sensorId + "/config"))
                                           .object()
                                           .toVariantMap();
            twinDevices.insert(config["device"].toMap()["identifiers"].toList().value(0).toString());
        }
        QCOMPARE(twinDevices.size(), 2);

        // Discovery: classes, units, ids from the database keys, where the state and availability are.
        QVariantMap config = QJsonDocument::fromJson(sub.last(rig.configTopic("sensor", "Kitchen", 0)))
                                 .object()
                                 .toVariantMap();
        QCOMPARE(config["unique_id"].toString(),
                 kNode + "_s" + QString::number(rig.web.f.sensorId("Kitchen", 0)));
        QCOMPARE(config["device_class"].toString(), QStringLiteral("temperature"));
        QCOMPARE(config["unit_of_measurement"].toString(), unit);
        QCOMPARE(config["state_topic"].toString(), freezer);
        QCOMPARE(config["availability_topic"].toString(), kBase + "/availability");
        QCOMPARE(config["name"].toString(), QStringLiteral("Walk-in Freezer"));
        const QVariantMap device = config["device"].toMap();
        QCOMPARE(device["name"].toString(), QStringLiteral("Kitchen"));
        QCOMPARE(device["sw_version"].toString(), QStringLiteral("25"));
        QVERIFY(!device["model"].toString().isEmpty());
        QCOMPARE(device["configuration_url"].toString(), rig.web.web->url());
        config = QJsonDocument::fromJson(sub.last(rig.configTopic("binary_sensor", "Kitchen", 8)))
                     .object()
                     .toVariantMap();
        QCOMPARE(config["device_class"].toString(), QStringLiteral("door"));
        QCOMPARE(config["state_topic"].toString(), rig.stateTopic("Kitchen", 8));
        config = QJsonDocument::fromJson(sub.last(rig.configTopic("binary_sensor", "Kitchen", 1, "_alarm")))
                     .object()
                     .toVariantMap();
        QCOMPARE(config["device_class"].toString(), QStringLiteral("problem"));
        QCOMPARE(config["device"].toMap()["identifiers"], device["identifiers"]);

        // A busy device: its status says so, its latest state stands (sent once, not again).
        const QByteArray shedBefore = sub.last(rig.stateTopic("Phone Shed", 0));
        rig.web.busy->setFault(SimFault::Busy);
        rig.web.runCycle();
        QTRY_COMPARE(sub.json(rig.statusTopic("Phone Shed"))["status"].toString(), QStringLiteral("busy"));
        QTRY_COMPARE(sub.count(freezer), 2);
        QCOMPARE(sub.last(rig.stateTopic("Phone Shed", 0)), shedBefore);
        QCOMPARE(sub.count(rig.stateTopic("Phone Shed", 0)), 1);
        // The discovery configs did not change, so they were not sent again.
        QCOMPARE(sub.count(rig.configTopic("sensor", "Kitchen", 0)), 1);
        QCOMPARE(rig.errorLines(), 0);

        // Serving every address, the configuration link names this computer, or the address
        // given as [web] publicUrl; never 0.0.0.0, never the token. A publicUrl that could carry
        // a secret is refused.
        const QString kitchenConfig = rig.configTopic("sensor", "Kitchen", 0);
        const auto link = [&sub, &kitchenConfig] {
            return QJsonDocument::fromJson(sub.last(kitchenConfig))
                .object()["device"]
                .toObject()["configuration_url"]
                .toString();
        };
        WebIniSettings network = rig.web.localSettings();
        network.address = "0.0.0.0";
        network.token = "k3y-Of-Sixteen+Chars/x";
        QVERIFY(rig.web.web->Apply(network));
        rig.web.runCycle();
        QTRY_COMPARE(link(), QStringLiteral("http://%1:%2/")
                                 .arg(QSysInfo::machineHostName().toLower())
                                 .arg(rig.web.web->port()));
        network.publicUrl = "https://cold-store.example.com/tallyport";
        QVERIFY(rig.web.web->Apply(network));
        rig.web.runCycle();
        QTRY_COMPARE(link(), QStringLiteral("https://cold-store.example.com/tallyport/"));
        for (const char *secret : {"https://cold-store.example.com/?token=k3y-Of-Sixteen+Chars/x",
                                   "https://admin:pw@cold-store.example.com/", "cold-store.example.com"}) {
            network.publicUrl = secret;
            QVERIFY(!rig.web.web->Apply(network));
            QVERIFY(rig.web.f.t.status.contains("not started: publicUrl"));
        }
    }

    // A renamed sensor gets its config replaced under the same unique id; a removed sensor or
    // device gets its messages cleared; a clean stop says "offline", and a new run keeps the ids.
    void renameRemoveAndRestart()
    {
        MqttRig rig(18831);
        QString error;
        QVERIFY2(rig.start(error), qPrintable(error));
        MqttTestSubscriber sub(kBroker, rig.broker.port());
        QTRY_VERIFY(sub.isConnected());
        rig.makePublisher();
        rig.mqtt->Apply(rig.settings());
        QTRY_VERIFY(rig.mqtt->isConnected());
        rig.web.runCycle();
        const QString freezerConfig = rig.configTopic("sensor", "Kitchen", 0);
        QTRY_VERIFY(sub.has(freezerConfig));
        const QString uniqueId = sub.json(freezerConfig)["unique_id"].toString();
        const QString fridgeState = rig.stateTopic("Kitchen", 1);
        const QString fridgeConfig = rig.configTopic("sensor", "Kitchen", 1);
        const QString fridgeAlarm = rig.configTopic("binary_sensor", "Kitchen", 1, "_alarm");
        const QString generatorStatus = rig.statusTopic("Generator");
        const QString engineState = rig.stateTopic("Generator", 0);
        QTRY_VERIFY(sub.has(engineState));

        rig.web.f.value(QStringLiteral("UPDATE tblSensors SET SensorName = 'Blast Freezer' WHERE IDNum = %1")
                            .arg(rig.web.f.sensorId("Kitchen", 0)));
        rig.web.f.value(QStringLiteral("UPDATE tblSensors SET SensorName = '' WHERE IDNum = %1")
                            .arg(rig.web.f.sensorId("Kitchen", 1)));
        QVERIFY(rig.web.f.monitor->database.DeleteServer(rig.web.f.deviceId("Generator")));
        rig.web.runCycle();
        QTRY_COMPARE(sub.json(freezerConfig)["name"].toString(), QStringLiteral("Blast Freezer"));
        QCOMPARE(sub.json(freezerConfig)["unique_id"].toString(), uniqueId);
        for (const QString &topic : {fridgeState, fridgeConfig, fridgeAlarm, generatorStatus, engineState}) {
            QTRY_VERIFY2(sub.has(topic) && sub.last(topic).isEmpty(), qPrintable(topic));
        }

        rig.mqtt.reset();
        QTRY_COMPARE(sub.last(kBase + "/availability"), QByteArray("offline"));
        rig.makePublisher();
        rig.mqtt->Apply(rig.settings());
        QTRY_COMPARE(sub.last(kBase + "/availability"), QByteArray("online"));
        const int configsBefore = sub.count(freezerConfig);
        rig.web.runCycle();
        QTRY_COMPARE(sub.count(freezerConfig), configsBefore + 1);
        QCOMPARE(sub.json(freezerConfig)["unique_id"].toString(), uniqueId);
        QVERIFY(sub.last(fridgeConfig).isEmpty());
    }

    // The broker away for several cycles: polling goes on at its pace, nothing is handed over,
    // the status line says why, the error log says it once; when the broker is back the latest
    // state of every sensor arrives.
    void brokerAwayForCycles()
    {
        MqttRig rig(18832);
        QString error;
        QVERIFY2(rig.start(error), qPrintable(error));
        rig.makePublisher();
        rig.mqtt->Apply(rig.settings());
        QTRY_VERIFY(rig.mqtt->isConnected());
        rig.web.runCycle();
        rig.broker.stop();
        QTRY_VERIFY(!rig.mqtt->isConnected());
        QTRY_VERIFY2(rig.statusLine().startsWith("MQTT: not connected to 127.0.180.1 port 18832: "),
                     qPrintable(rig.statusLine()));
        QElapsedTimer longest;
        qint64 slowest = 0;
        for (int cycle = 0; cycle < 4; ++cycle) {
            rig.web.kitchen->setReading(0, 6.0 + cycle);
            longest.start();
            rig.web.runCycle();
            slowest = std::max(slowest, longest.elapsed());
            QTest::qWait(300); // several connection attempts in between
        }
        // The silent device's time-out is the longest wait of a cycle.
        QVERIFY2(slowest < 5000, qPrintable(QString::number(slowest)));
        QCOMPARE(rig.web.f.monitor->grid
                     .cellText(rig.web.f.monitor->grid.rowOfSensor(int(rig.web.f.sensorId("Kitchen", 0))),
                               StatusGridModel::ReadingColumn)
                     .toDouble(),
                 9.0);
        // One line for the lost connection, one for the refused attempts that followed.
        QCOMPARE(rig.errorLines("refused"), 1);
        QCOMPARE(rig.errorLines(), 2);

        QVERIFY2(rig.broker.start(error), qPrintable(error));
        MqttTestSubscriber sub(kBroker, rig.broker.port());
        QTRY_VERIFY_WITH_TIMEOUT(rig.mqtt->isConnected(), 5000);
        QTRY_VERIFY(sub.has(rig.stateTopic("Kitchen", 0)));
        QCOMPARE(sub.json(rig.stateTopic("Kitchen", 0))["value"].toDouble(), 9.0);
        QTRY_VERIFY(sub.has(rig.statusTopic("Generator")));
        QVERIFY(sub.has(rig.configTopic("sensor", "Kitchen", 0)));
        QCOMPARE(sub.last(kBase + "/availability"), QByteArray("online"));
        QCOMPARE(rig.statusLine(), QStringLiteral("MQTT: connected to 127.0.180.1 port 18832"));
    }

    // TLS with the broker's certificate checked, and a user and password: a wrong password or a
    // certificate from a stranger gives a status line and one error-log line, and attempts
    // that slow down; the right ones connect and publish.
    void tlsAndPassword()
    {
        MqttRig rig(18833);
        QString error;
        QVERIFY2(rig.broker.useTls(error), qPrintable(error));
        QVERIFY2(rig.broker.requirePassword("tally", "right horse", error), qPrintable(error));
        QVERIFY2(rig.start(error), qPrintable(error));
        rig.makePublisher();
        MqttIniSettings settings = rig.settings();
        settings.tls = true;
        settings.cafile = rig.broker.caFile();
        settings.user = QStringLiteral("tally");
        settings.password = QStringLiteral("wrong");
        rig.mqtt->Apply(settings);
        QTRY_VERIFY2(rig.statusLine().contains("not authorised"), qPrintable(rig.statusLine()));
        QTest::qWait(1500); // attempts at 0.1, 0.2, 0.4, 0.8 s: a handful, not a flood
        QVERIFY(!rig.mqtt->isConnected());
        QCOMPARE(rig.errorLines(), 1);

        const QString stranger = rig.web.f.t.path("stranger.pem");
        QVERIFY2(rig.broker.makeStrangerCa(stranger, error), qPrintable(error));
        settings.password = QStringLiteral("right horse");
        settings.cafile = stranger;
        rig.mqtt->Apply(settings);
        QTRY_VERIFY2(rig.statusLine().contains("TLS"), qPrintable(rig.statusLine()));

        settings.cafile = rig.broker.caFile();
        rig.mqtt->Apply(settings);
        QTRY_VERIFY(rig.mqtt->isConnected());
        MqttTestSubscriber sub(kBroker, rig.broker.port(), rig.broker.caFile(), "tally", "right horse");
        QTRY_VERIFY(sub.isConnected());
        rig.web.runCycle();
        QTRY_COMPARE(sub.json(rig.stateTopic("Kitchen", 0))["value"].toDouble(), 5.0);
    }

    // With no cafile the broker's certificate is checked against the system's certificates. One
    // that nobody trusts fails the attempts; once the broker shows a good one, the next attempt
    // connects.
    void tlsWithTheSystemCertificatesRecoversFromAFailure()
    {
        MqttRig rig(18834);
        QString error;
        QVERIFY2(rig.broker.useTls(error), qPrintable(error));
        QFile::remove(systemCertificates());
        QVERIFY(QFile::copy(rig.broker.caFile(), systemCertificates()));
        QVERIFY2(rig.broker.useStrangerCertificate(error), qPrintable(error));
        QVERIFY2(rig.start(error), qPrintable(error));
        rig.makePublisher();
        MqttIniSettings settings = rig.settings();
        settings.tls = true;
        rig.mqtt->Apply(settings);
        QTRY_VERIFY2(rig.statusLine().contains("TLS connection failed"), qPrintable(rig.statusLine()));
        QTest::qWait(800); // several attempts fail the same way
        QVERIFY(!rig.mqtt->isConnected());
        QVERIFY2(rig.errorLines() == 1,
                 qPrintable(rig.web.f.value("SELECT group_concat(Cause, ' | ') FROM tblErrors").toString()));

        rig.broker.stop();
        rig.broker.useOwnCertificate();
        QVERIFY2(rig.broker.start(error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(rig.statusLine(),
                                  QStringLiteral("MQTT: connected to 127.0.180.1 port 18834"), 5000);
        QVERIFY(rig.mqtt->isConnected());
        MqttTestSubscriber sub(kBroker, rig.broker.port(), rig.broker.caFile());
        QTRY_COMPARE(sub.last(kBase + "/availability"), QByteArray("online"));
        QVERIFY2(rig.errorLines("Invalid") == 0, "an attempt failed on the library's own state");
    }

    // A collector with thousands of devices uses descriptors above 1023, where select() cannot
    // wait: the client still connects, publishes every cycle and says goodbye.
    void connectsWithDescriptorsAbove1023()
    {
        MqttRig rig(18835);
        QString error;
        QVERIFY2(rig.start(error), qPrintable(error));
        MqttTestSubscriber sub(kBroker, rig.broker.port());
        QTRY_VERIFY(sub.isConnected());
        const DescriptorFiller filler(1100);
        if (!filler.filled())
            QSKIP("the descriptor limit does not allow 1,100 open files");
        rig.makePublisher();
        rig.mqtt->Apply(rig.settings());
        QTRY_VERIFY2(rig.mqtt->isConnected(), qPrintable(rig.statusLine()));
        rig.web.runCycle();
        QTRY_COMPARE(sub.json(rig.stateTopic("Kitchen", 0))["value"].toDouble(), 5.0);
        rig.web.kitchen->setReading(0, 7.5);
        rig.web.runCycle();
        QTRY_COMPARE(sub.json(rig.stateTopic("Kitchen", 0))["value"].toDouble(), 7.5);
        rig.mqtt.reset();
        QTRY_COMPARE(sub.last(kBase + "/availability"), QByteArray("offline"));
        QCOMPARE(rig.errorLines(), 0);
    }

    // Every connection the tests made has let its library client go. The leak check of the
    // sanitizer build leaves the library's own allocations out, so this is the check on ours.
    void cleanupTestCase() { QTRY_COMPARE(MqttClient::liveLibraryClients(), 0); }

private:
    QString systemCertificates() const { return m_certificates.filePath("system-ca.pem"); }

    QTemporaryDir m_certificates;
};

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
