#include "support_simclient.h"

#include <Simulator.h>

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray scenario(const QByteArray &devices, const QByteArray &events = "[]")
{
    return "{\"timeScale\": 0, \"devices\": " + devices + ", \"events\": " + events + "}";
}

const QByteArray Freezer = R"([{"name": "Freezer", "address": "127.0.251.1", "family": 5, "model": 5,
    "firmware": 23, "sensors": [
      {"port": 0, "type": "temperature", "name": "Box", "base": 0, "lower": -10, "upper": 10, "time": 1},
      {"port": 8, "type": "door", "name": "Lid", "time": 0}]}])";

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT
private slots:
    void refusedScenarios_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("not json") << QByteArray("{\"devices\": [") << "not valid JSON";
        QTest::newRow("no devices") << QByteArray("{}") << "\"devices\" must be a non-empty list";
        QTest::newRow("bad address") << scenario(R"([{"name": "A", "address": "fridge", "family": 5,
            "model": 5, "firmware": 23}])")
                                     << "devices[0] (A): \"address\"";
        QTest::newRow("missing firmware") << scenario(R"([{"name": "A", "address": "127.0.251.1", "family": 5,
            "model": 5}])") << "\"firmware\" must be";
        QTest::newRow("same address") << scenario(R"([
            {"name": "A", "address": "127.0.251.1", "family": 5, "model": 5, "firmware": 23},
            {"name": "B", "address": "127.0.251.1", "family": 5, "model": 8, "firmware": 23}])")
                                      << "devices[1] (B): A uses the same address";
        QTest::newRow("wrong type") << scenario(R"([{"name": "A", "address": "127.0.251.1", "family": 5,
            "model": 8, "firmware": 26, "sensors": [{"port": 8, "type": "door"}]}])")
                                    << "sensors[0]: port 8 of this model is a water input, not door";
        QTest::newRow("no such port") << scenario(R"([{"name": "A", "address": "127.0.251.1", "family": 3,
            "model": 3, "firmware": 5, "sensors": [{"port": 5, "type": "door"}]}])")
                                      << "this model has no port 5";
        QTest::newRow("limits reversed") << scenario(R"([{"name": "A", "address": "127.0.251.1", "family": 5,
            "model": 5, "firmware": 23, "sensors": [{"port": 0, "type": "temperature", "lower": 9,
            "upper": 1}]}])") << "lower not above upper";
        QTest::newRow("long name") << scenario(R"([{"name": "A", "address": "127.0.251.1", "family": 5,
            "model": 5, "firmware": 23, "sensors": [{"port": 0, "type": "temperature",
            "name": "A name far too long for the device"}]}])")
                                   << "more than 20 characters";
        QTest::newRow("unknown device") << scenario(Freezer, R"([{"at": 5, "device": "Fridge",
            "fault": "silent"}])") << "events[0]: no device named \"Fridge\"";
        QTest::newRow("unknown fault") << scenario(Freezer, R"([{"at": 5, "device": "Freezer",
            "fault": "flaky"}])") << "unknown fault \"flaky\"";
        QTest::newRow("overlapping repeat") << scenario(Freezer, R"([{"at": 5, "device": "Freezer",
            "fault": "busy", "every": 60, "for": 60}])")
                                            << "\"for\" must be shorter than \"every\"";
    }
    void refusedScenarios()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        Simulator simulator;
        QVERIFY(simulator.loadJson(scenario(Freezer)));
        QVERIFY(!simulator.loadJson(json));
        QVERIFY2(simulator.errorString().contains(error), qPrintable(simulator.errorString()));
        // The scenario loaded before stays.
        QCOMPARE(simulator.devices().size(), 1);
        QVERIFY(simulator.device("Freezer") != nullptr);
    }

    void scenarioSetsUpTheDevice()
    {
        Simulator simulator;
        QVERIFY2(simulator.loadJson(scenario(Freezer)), qPrintable(simulator.errorString()));
        SimDevice *device = simulator.device("Freezer");
        QCOMPARE(device->deviceName(), QByteArray("Freezer"));
        QCOMPARE(device->sensorName(0), QByteArray("Box"));
        QCOMPARE(device->page(0).mid(8, 6), QByteArray::fromHex("FF9C00640001")); // tenths
        QCOMPARE(device->page(2).mid(29, 11), QByteArray("127.0.251.1"));
        QCOMPARE(device->rawReading(0), qint16(0));
        QCOMPARE(simulator.sensorTable().split('\n').at(1),
                 QString("Freezer\t127.0.251.1\t5\t5\t23\tModel RX700-5: Refrigerator/Freezer Keeper\t0\t"
                         "Temperature Sensor Port 1\tBox\t-10\t10\t1"));

        QVERIFY(simulator.start());
        QCOMPARE(simExchange("127.0.251.1", QByteArray::fromHex("AABBCC03")).reply.mid(8, 3),
                 QByteArray("Box"));
        simulator.stop();
        QVERIFY(simExchange("127.0.251.1", QByteArray::fromHex("AABBCC03")).refused);
    }

    // Events apply at their second, end after "for" and come back every "every" seconds.
    void eventsFollowSimulatedTime()
    {
        Simulator simulator;
        QVERIFY(simulator.loadJson(scenario(Freezer, R"([
            {"at": 60, "every": 300, "for": 120, "device": "Freezer", "fault": "silent"},
            {"at": 30, "for": 90, "device": "Freezer", "port": 0, "value": 20},
            {"at": 30, "device": "Freezer", "port": 8, "value": 0}])")));
        QSignalSpy messages(&simulator, &Simulator::message);
        SimDevice *device = simulator.device("Freezer");
        simulator.advance(59);
        QCOMPARE(device->fault(), SimFault::None);
        QCOMPARE(device->reading(0), 20.0);
        QCOMPARE(device->alarmByte(8), quint8(1)); // lid held open, time 0
        simulator.advance(1);
        QCOMPARE(device->fault(), SimFault::Silent);
        QCOMPARE(device->minutes(0), quint16(0));
        QCOMPARE(device->alarmByte(0), quint8(0));
        simulator.advance(59);
        QCOMPARE(device->alarmByte(0), quint8(1)); // one minute out of limits at 119 s
        simulator.advance(60);
        QCOMPARE(device->fault(), SimFault::Silent);
        simulator.advance(1);
        QCOMPARE(device->fault(), SimFault::None); // 60 + 120
        QCOMPARE(device->reading(0), 0.0);         // released at 30 + 90
        QCOMPARE(device->alarmByte(0), quint8(0));
        simulator.advance(180);
        QCOMPARE(device->fault(), SimFault::Silent); // again at 360
        QCOMPARE(device->alarmByte(8), quint8(1));   // held without end
        QCOMPARE(messages.size(), 6);
        QVERIFY(messages.first().first().toString().startsWith("[00:00:30] Freezer port 0"));
    }

    // The demo must show every model family, alarms that come and go, and a device that stops
    // answering for a while.
    void demoScenarioShowsAlarmsAndAnOutage()
    {
        Simulator simulator;
        QVERIFY2(simulator.loadFile(TALLYPORT_SOURCE_DIR "/resources/demo-scenario.json"),
                 qPrintable(simulator.errorString()));
        QSet<QString> models;
        QMap<QString, int> alarmStarts;
        QMap<QString, int> alarmEnds;
        int silentDevices = 0;
        for (SimDevice *device : simulator.devices()) {
            models.insert(device->modelText());
            QVERIFY(device->address().toString().startsWith("127.0.0."));
            const QString name = simulator.deviceName(device);
            connect(device, &SimDevice::alarmChanged, this,
                    [&, name](int, bool inAlarm) { (inAlarm ? alarmStarts : alarmEnds)[name]++; });
        }
        QVERIFY(models.size() >= 6);
        for (int minute = 0; minute < 15; ++minute) {
            simulator.advance(60);
            for (SimDevice *device : simulator.devices())
                silentDevices += device->fault() == SimFault::Silent ? 1 : 0;
        }
        QVERIFY(!alarmStarts.isEmpty());
        QVERIFY(!alarmEnds.isEmpty());
        QVERIFY(silentDevices > 0);
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
