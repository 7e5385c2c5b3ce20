#include <alarms/AlarmTexts.h>

#include <QTest>

namespace {
const QString CR(QChar(13));
} // namespace

class TestAlarmTexts : public QObject {
    Q_OBJECT
private slots:
    void numberText_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("one decimal") << 72.5f << "72.5";
        QTest::newRow("whole") << 68.0f << "68";
        QTest::newRow("negative") << -4.3f << "-4.3";
        QTest::newRow("float noise hidden") << 72.1f << "72.1";
        QTest::newRow("below one") << 0.05f << "0.05";
        QTest::newRow("zero") << 0.0f << "0";
        QTest::newRow("negative zero") << -0.0f << "0";
        QTest::newRow("seven digits kept") << 1234.567f << "1234.567";
        QTest::newRow("eighth digit rounded") << 12345.678f << "12345.68";
        QTest::newRow("large, no exponent") << 12345678.0f << "12345680";
        QTest::newRow("small, no exponent") << 0.0000125f << "0.0000125";
    }
    void numberText()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        QCOMPARE(NumberText(value), text);
    }

    void sensorStateText_data()
    {
        QTest::addColumn<float>("reading");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("real");
        QTest::newRow("1000 not connected") << 1000.0f << "Temperature"
                                            << "Not Connected" << false;
        QTest::newRow("9999 not connected") << 9999.0f << "Temperature"
                                            << "Not Connected" << false;
        QTest::newRow("999 open") << 999.0f << "Temperature"
                                  << "Sensor Open" << false;
        QTest::newRow("-999 shorted") << -999.0f << "Humidity"
                                      << "Sensor Shorted" << false;
        QTest::newRow("no data") << -999991.0f << "Temperature"
                                 << "No Data" << false;
        QTest::newRow("door reading the open code") << 999.0f << "Door Sensor"
                                                    << "Sensor Open" << false;
        QTest::newRow("door 0") << 0.0f << "Door Sensor"
                                << "Open" << true;
        QTest::newRow("door 1, any case") << 1.0f << "DOOR SWITCH"
                                          << "Closed" << true;
        QTest::newRow("dry contact input 0") << 0.0f << "Dry Contact Input"
                                             << "Open" << true;
        QTest::newRow("dry contact alarm input 1") << 1.0f << "dry contact alarm input"
                                                   << "Closed" << true;
        QTest::newRow("water 0") << 0.0f << "Water Sensor Input"
                                 << "Water Not Detected" << true;
        QTest::newRow("water 1") << 1.0f << "Water Sensor Input"
                                 << "Water Detected" << true;
        QTest::newRow("power 1") << 1.0f << "Power Sensor"
                                 << "Power On" << true;
        QTest::newRow("power 0") << 0.0f << "Power Sensor"
                                 << "Power Off" << true;
        QTest::newRow("power 2") << 2.0f << "Power Sensor"
                                 << "Power Off" << true;
        QTest::newRow("temperature") << 72.5f << "Temperature"
                                     << "72.5" << true;
        // Unexpected readings on digital inputs show their own number, never a stale word.
        QTest::newRow("door 2") << 2.0f << "Door Sensor"
                                << "2" << true;
        QTest::newRow("dry contact 0.5") << 0.5f << "Dry Contact Input"
                                         << "0.5" << true;
        QTest::newRow("water 3") << 3.0f << "Water Sensor Input"
                                 << "3" << true;
    }
    void sensorStateText()
    {
        QFETCH(float, reading);
        QFETCH(QString, type);
        QFETCH(QString, state);
        QFETCH(bool, real);
        QString text = QStringLiteral("left over from the previous sensor");
        QCOMPARE(SensorStateText(reading, type, text), real);
        QCOMPARE(text, state);
    }

    void alarmMessageText_data()
    {
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("message");

        QTest::newRow("water short") << qint64(1) << "Water Sensor Input"
                                     << "Water Detected"
                                     << ""
                                     << "Water has been detected." + CR;
        QTest::newRow("water long") << qint64(2) << "Water Sensor Input"
                                    << "Water Detected"
                                    << ""
                                    << "Water has been detected for: 2 minutes." + CR;
        QTest::newRow("power off short") << qint64(0) << "Power Sensor"
                                         << "Power Off"
                                         << ""
                                         << "Power is off." + CR;
        QTest::newRow("power on long") << qint64(7) << "Power Sensor"
                                       << "Power On"
                                       << ""
                                       << "Power has been on for: 7 minutes." + CR;
        QTest::newRow("door open short") << qint64(1) << "Door Sensor"
                                         << "Open"
                                         << ""
                                         << "The door is open." + CR;
        QTest::newRow("door closed long") << qint64(30) << "Door Sensor"
                                          << "Closed"
                                          << ""
                                          << "The door has been closed for: 30 minutes." + CR;
        // The open-circuit code is not the word "Open": the door texts read it as closed.
        QTest::newRow("door open-circuit code") << qint64(0) << "Door Sensor"
                                                << "Sensor Open"
                                                << ""
                                                << "The door is closed." + CR;
        QTest::newRow("dry contact open") << qint64(1) << "Dry Contact Input"
                                          << "Open"
                                          << ""
                                          << "The Back Gate input is open." + CR;
        QTest::newRow("dry contact closed long")
            << qint64(3) << "Dry Contact Input"
            << "Closed"
            << ""
            << "The Back Gate input has been closed for: 3 minutes." + CR;
        // "door" alone is a measuring sensor here (no "door sensor" in the type).
        QTest::newRow("door switch open") << qint64(4) << "Door Switch"
                                          << "Open"
                                          << ""
                                          << " The sensor has open circuited." + CR + CR;
        QTest::newRow("shorted") << qint64(4) << "Temperature"
                                 << "Sensor Shorted"
                                 << ""
                                 << " The sensor has short circuited." + CR + CR;
        QTest::newRow("not connected") << qint64(4) << "Temperature"
                                       << "Not Connected"
                                       << ""
                                       << " The sensor is not connected." + CR + CR;
        QTest::newRow("code number 1000") << qint64(4) << "Temperature"
                                          << "1000"
                                          << ""
                                          << " The sensor is not connected." + CR + CR;
        QTest::newRow("no reading") << qint64(4) << "Temperature"
                                    << "-999991"
                                    << ""
                                    << " Data was not returned by: Lab." + CR + CR;
        QTest::newRow("measuring 0 minutes") << qint64(0) << "Temperature"
                                             << "12.5"
                                             << ""
                                             << "Back Gate is out of limits and is currently reading: 12.5 "
                                                "\u00b0F and has been out of limits for: 0 minute." +
                                                    CR + CR;
        QTest::newRow("measuring 1 minute") << qint64(1) << "Temperature"
                                            << "12.5"
                                            << ""
                                            << "Back Gate is out of limits and is currently reading: 12.5 "
                                               "\u00b0F and has been out of limits for: 1 minute." +
                                                   CR + CR;
        QTest::newRow("measuring 15 minutes with notes")
            << qint64(15) << "Temperature"
            << "12.5"
            << "Call facilities."
            << "Back Gate is out of limits and is currently reading: 12.5 \u00b0F and has been out of limits "
               "for: "
               "15 minutes." +
                   CR + CR + "Notes for Back Gate:" + CR + "Call facilities.";
        QTest::newRow("blank notes add nothing") << qint64(2) << "Humidity"
                                                 << "Sensor Open"
                                                 << "   "
                                                 << " The sensor has open circuited." + CR + CR;
        // Only measuring sensors carry the notes.
        QTest::newRow("notes ignored on a door") << qint64(1) << "Door Sensor"
                                                 << "Open"
                                                 << "Check lock."
                                                 << "The door is open." + CR;
    }
    void alarmMessageText()
    {
        QFETCH(qint64, minutes);
        QFETCH(QString, type);
        QFETCH(QString, state);
        QFETCH(QString, notes);
        QFETCH(QString, message);
        QString built = QStringLiteral("stale");
        QVERIFY(AlarmMessageText(built, minutes, QStringLiteral("Lab"), QStringLiteral("Back Gate"), type,
                                 state, QStringLiteral("\u00b0F"), notes));
        QCOMPARE(built, message);
        QVERIFY(!built.contains(QLatin1Char('\n')));
    }
};

QTEST_GUILESS_MAIN(TestAlarmTexts)
#include "tst_alarmtexts.moc"
