// The RX705 editor engine against a simulated device: download, upload, firmware differences,
// busy devices, refused values and calibration.
#include "support_editorrig.h"

#include <editors/ModelLayouts.h>
#include <link/PageValues.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {

const QString Busy = "This device is currently on the phone.  Please wait and try again later.";
const QByteArray BusyReply = QByteArray::fromHex("B55EB55E") + QByteArray(56, '\0');

QString address(int host)
{
    return QStringLiteral("127.0.40.%1").arg(host);
}

int word(const QByteArray &page, int position)
{
    return PageInt16(page, position - 1).value_or(-99999);
}

} // namespace

class TestRx705Editor : public QObject {
    Q_OBJECT
private slots:
    void downloadShowsTheDeviceAndTheNotes()
    {
        EditorRig rig(address(1), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Freezer");
        rig.device.setLimits(0, -20, 10);
        rig.device.setTimeOutOfLimits(0, 15);
        rig.device.setReading(0, -15.3);
        rig.device.setSensorName(8, "Back Door");
        rig.device.setRawReading(8, 1);
        rig.device.setRawReading(1, 10000); // "not connected" in tenths
        rig.device.setBatteryByte(92);
        rig.db.SaveSensor(rig.deviceId, "Freezer", 0, "by the dock", "Temperature Sensor Port 1", "", "", "");
        rig.db.SaveSensor(rig.deviceId, "", 1, "old note", "Temperature Sensor Port 2", "", "", "");

        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(editor.GetLimits());
        const EditorForm &f = rig.form;
        QCOMPARE(f.text("txtName_0"), QString("Freezer"));
        QCOMPARE(f.text("txtLL_0"), QString("-20.0"));
        QCOMPARE(f.text("txtUL_0"), QString("10.0"));
        QCOMPARE(f.text("txtTOL_0"), QString("15"));
        QCOMPARE(f.text("txtReading_0"), QString("-15.3"));
        QCOMPARE(f.text("txtReading_1"), QString("Not Connected"));
        QCOMPARE(f.text("txtReading_8"), QString("Closed"));
        QCOMPARE(f.text("txtName_8"), QString("Back Door"));
        QCOMPARE(f.text("txtTOL_8"), QString("5"));
        QCOMPARE(f.text("txtTOL_9"), QString("5")); // door times show without a name
        QCOMPARE(f.text("txtLL_1"), QString());     // no name, no limits
        QCOMPARE(f.text("txtBattV"), QString("9.2"));
        QCOMPARE(f.text("txtNotes_0"), QString("by the dock"));
        QCOMPARE(f.text("txtNotes_1"), QString()); // an unnamed sensor shows no notes
        QCOMPARE(f.choice("optRelayLogic"), 0);
        QCOMPARE(f.choice("optEnableBuzzer"), 0);
        QVERIFY(editor.TenthsMode());
        QCOMPARE(f.messages(), QStringList{" Download complete"});
        QCOMPARE(f.statusText(), QString());
        QCOMPARE(rig.readPages(), QList<int>({3, 4, 5, 6, 7, 0, 1, 12}));
        QVERIFY(rig.device.commands().first().startsWith(QByteArray::fromHex("2ACDDCBA")));
    }

    void editedValuesReachTheDeviceAndTheDatabase()
    {
        EditorRig rig(address(2), 5, 10, 25);
        QVERIFY(rig.ready);
        // Bytes the editor does not interpret carry marks that must come back unchanged.
        QByteArray page0 = rig.device.page(0);
        page0.replace(4, 4, "KEEP");
        page0.replace(58, 2, "ME");
        rig.device.setPage(0, page0);
        QByteArray page7 = rig.device.page(7);
        page7.replace(48, 12, "untouched..");
        rig.device.setPage(7, page7);
        const QByteArray page12 = rig.device.page(12);

        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(editor.GetLimits());
        EditorForm &f = rig.form;
        f.setText("txtName_1", "Bob's walk-in");
        f.setText("txtLL_1", "33.5");
        f.setText("txtUL_1", "41");
        f.setText("txtTOL_1", "20");
        f.setText("txtNotes_1", "checked daily");
        f.setText("txtName_9", "Side Door");
        f.setText("txtTOL_9", "3");
        f.setText("txtName_2", "\t \t"); // white space alone names nothing
        f.setChoice("optRelayLogic", 1);
        f.setChoice("optEnableBuzzer", 1);
        rig.device.clearTraffic();
        QVERIFY(editor.SaveLimits(false));
        QCOMPARE(f.messages().last(), QString("Upload complete"));
        QCOMPARE(rig.storedPages(), QList<int>({12, 0, 1, 3, 4, 5, 6, 7}));

        double lower = 0, upper = 0;
        QVERIFY(rig.device.limits(1, &lower, &upper));
        QCOMPARE(lower, 33.5);
        QCOMPARE(upper, 41.0);
        QCOMPARE(rig.device.timeOutOfLimits(1), 20);
        QCOMPARE(rig.device.sensorName(1), QByteArray("Bob's walk-in"));
        QCOMPARE(rig.device.sensorName(9), QByteArray("Side Door"));
        QCOMPARE(rig.device.page(4).mid(8, 20), QByteArray(20, ' '));
        QCOMPARE(rig.sensorColumn(2, "SensorName").toString(), QString());
        QCOMPARE(rig.device.timeOutOfLimits(9), 3);
        const QByteArray stored0 = rig.device.page(0);
        QCOMPARE(stored0.mid(4, 4), QByteArray("KEEP"));
        QCOMPARE(stored0.mid(56, 4), QByteArray("\x01\x00ME", 4)); // relay off at alarm, buzzer off
        QCOMPARE(word(stored0, 9), 350); // sensor 0 unnamed: its limits stay as the device had them
        QCOMPARE(rig.device.page(7).mid(48, 11), QByteArray("untouched.."));
        QCOMPARE(rig.device.page(12).toHex(), page12.toHex());

        QCOMPARE(rig.sensorColumn(1, "SensorName").toString(), QString("Bob's walk-in"));
        QCOMPARE(rig.sensorColumn(1, "SensorNotes").toString(), QString("checked daily"));
        QCOMPARE(rig.sensorColumn(1, "SensorType").toString(), QString("Temperature Sensor Port 2"));
        QCOMPARE(rig.sensorColumn(1, "LowerLimit").toDouble(), 33.5);
        QCOMPARE(rig.sensorColumn(1, "UpperLimit").toDouble(), 41.0);
        QCOMPARE(rig.sensorColumn(1, "TOL").toInt(), 20);
        QCOMPARE(rig.sensorColumn(9, "SensorType").toString(), QString("Door Sensor 2"));
        QVERIFY(rig.sensorColumn(9, "UpperLimit").isNull());

        EditorForm again;
        EditorSession reopened(rig.services(), Rx705Layout(), again);
        reopened.IPAddress = rig.address;
        reopened.DatabaseID = rig.deviceId;
        QVERIFY(reopened.GetLimits());
        QCOMPARE(again.text("txtName_1"), QString("Bob's walk-in"));
        QCOMPARE(again.text("txtLL_1"), QString("33.5"));
        QCOMPARE(again.text("txtUL_1"), QString("41.0"));
        QCOMPARE(again.text("txtNotes_1"), QString("checked daily"));
        QCOMPARE(again.choice("optEnableBuzzer"), 1);
    }

    void firmwareDecidesWhatIsShownAndStored_data()
    {
        QTest::addColumn<int>("firmware");
        QTest::addColumn<bool>("page12");
        QTest::addColumn<bool>("relay");
        QTest::addColumn<bool>("battery");
        QTest::addColumn<bool>("filters");
        QTest::newRow("22") << 22 << false << false << false << true;
        QTest::newRow("23") << 23 << true << false << false << true;
        QTest::newRow("24") << 24 << true << true << false << false;
        QTest::newRow("25") << 25 << true << true << true << true;
    }
    void firmwareDecidesWhatIsShownAndStored()
    {
        QFETCH(int, firmware);
        QFETCH(bool, page12);
        QFETCH(bool, relay);
        QFETCH(bool, battery);
        QFETCH(bool, filters);
        EditorRig rig(address(3), 5, 5, firmware);
        QVERIFY(rig.ready);
        rig.t.state.FirmwareRevision = 0; // the editor identifies the device itself
        rig.device.setSensorName(0, "Cooler");
        rig.device.setLimits(0, 35.5, 40);
        EditorSession &editor = rig.session(Rx705Layout());
        editor.Activate();
        const EditorForm &f = rig.form;
        QCOMPARE(rig.readPages().contains(12), page12);
        QCOMPARE(f.enabled("btnCal"), page12);
        QVERIFY(f.enabled("btnSave"));
        QCOMPARE(f.enabled("optRelayLogic"), relay);
        QCOMPARE(f.shown("txtBattV"), battery);
        QCOMPARE(f.shown("lblBattV"), battery);
        QCOMPARE(f.enabled("optEnableBuzzer"), battery);
        QCOMPARE(f.shown("frmRX705rev23"), filters);
        // Tenths from firmware 23: the limit shows with its tenth, or as the device's whole number.
        QCOMPARE(f.text("txtLL_0"), page12 ? QString("35.5") : QString("36"));

        rig.device.clearTraffic();
        QVERIFY(editor.SaveLimits(false));
        QCOMPARE(rig.storedPages().contains(12), page12);
        QCOMPARE(rig.storedPages().first(), page12 ? 12 : 0);
    }

    void busyDeviceStopsTheDownloadBeforeAnyLimit()
    {
        EditorRig rig(address(4), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Freezer");
        rig.device.setReplyOverride(QByteArray::fromHex("AABBCC03"), BusyReply);
        EditorSession &editor = rig.session(Rx705Layout());
        editor.Activate();
        QCOMPARE(rig.form.messages(), QStringList{Busy});
        QCOMPARE(rig.form.text("txtName_0"), QString());
        QCOMPARE(rig.form.text("txtLL_0"), QString());
        QCOMPARE(rig.readPages(), QList<int>{3});
        QCOMPARE(rig.form.statusText(), QString());
        QVERIFY(rig.form.enabled("btnSave"));

        // Nothing was downloaded, so nothing may be stored, and the database keeps its rows.
        rig.db.SaveSensor(rig.deviceId, "Freezer", 0, "", "Temperature Sensor Port 1", "", "", "");
        rig.device.clearReplyOverrides();
        rig.device.clearTraffic();
        QVERIFY(!editor.SaveLimits(false)); // nothing stored is no success
        QVERIFY(rig.storedPages().isEmpty());
        QVERIFY(rig.form.messages().contains("Page 0 was not uploaded because it could not be downloaded"));
        QCOMPARE(rig.sensorColumn(0, "SensorName").toString(), QString("Freezer"));
    }

    // Page 12 goes first, so the factors are stored even when the limits then meet a busy device.
    void busyDeviceStopsTheUploadAfterTheFactors()
    {
        EditorRig rig(address(5), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Freezer");
        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(editor.GetLimits());
        rig.form.setText("txtCF_0", "1.5");
        rig.form.setText("txtNotes_0", "new note");
        rig.device.setReplyOverride(QByteArray::fromHex("DDCCBB00"), BusyReply);
        rig.device.clearTraffic();
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(rig.storedPages(), QList<int>({12, 0}));
        QCOMPARE(rig.form.messages().last(),
                 QString("This server is currently on the phone.  Please wait and try again later."));
        QCOMPARE(word(rig.device.page(12), 9), 15);
        QVERIFY(rig.sensorColumn(0, "SensorNotes").isNull()); // the database is not written
    }

    void refusedValuesSendNothing_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shownAfter");
        QTest::newRow("upper limit 1000") << "txtUL_0"
                                          << "1000"
                                          << "Valid temperature limits are between -999.9 and 999.9 degrees)"
                                          << "";
        QTest::newRow("lower limit -1000") << "txtLL_3"
                                           << "-1000"
                                           << "Valid temperature limits are between -999.9 and 999.9 degrees)"
                                           << "";
        QTest::newRow("filter byte 300")
            << "txtCF_8"
            << "300"
            << "Erroneous Bit Change (bits) is out of range.  Please enter a value "
               "between 0 and 255."
            << "300";
        QTest::newRow("time not a number")
            << "txtTOL_2"
            << "5-5"
            << "Time of Temperature Sensor Port 3 can not be stored.  \"5-5\" is "
               "not a number."
            << "5-5";
    }
    void refusedValuesSendNothing()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, shownAfter);
        EditorRig rig(address(6), 5, 5, 25);
        QVERIFY(rig.ready);
        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(editor.GetLimits());
        rig.form.setText(key, text);
        rig.device.clearTraffic();
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(rig.t.prompts.texts, QStringList{message});
        QVERIFY(rig.form.marked(key));
        QCOMPARE(rig.form.text(key), shownAfter);
        QCOMPARE(rig.device.transactionCount(), 0);
        QCOMPARE(rig.form.statusText(), QString());
    }

    // A store the device refuses is a failure: the columns its page carries keep what the
    // database had, the pages stored write theirs, and the last line names the pages left out.
    void refusedStoresWriteNothingTheyCarry()
    {
        EditorRig rig(address(15), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Freezer");
        rig.device.setLimits(0, -20, 10);
        rig.device.setSensorName(2, "Dock");
        rig.db.SaveSensor(rig.deviceId, "Freezer", 0, "", "Temperature Sensor Port 1", "10.0", "-20.0", "5");
        rig.db.SaveSensor(rig.deviceId, "Dock", 2, "", "Temperature Sensor Port 3", "", "", "");
        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(editor.GetLimits());
        const QByteArray page0 = rig.device.page(0);
        rig.form.setText("txtName_0", "Chest freezer");
        rig.form.setText("txtUL_0", "12.5");
        rig.form.setText("txtNotes_0", "moved to bay 2");
        rig.form.setText("txtName_2", "Loading dock");
        const QByteArray refused(60, 'x');
        rig.device.setReplyOverride(QByteArray::fromHex("DDCCBB00"), refused);
        rig.device.setReplyOverride(QByteArray::fromHex("DDCCBB03"), refused);
        QVERIFY(!editor.SaveLimits(false));
        QVERIFY(rig.form.messages().contains("Failed to upload the temperature sensor limits"));
        QVERIFY(rig.form.messages().contains("Failed to upload the sensor names"));
        QCOMPARE(rig.form.messages().last(), QString("Upload incomplete: pages 0, 3 not stored"));
        QVERIFY(!rig.form.messages().contains("Upload complete"));
        QCOMPARE(rig.device.page(0), page0);
        QCOMPARE(rig.device.sensorName(0), QByteArray("Freezer"));
        QCOMPARE(rig.sensorColumn(0, "SensorName").toString(), QString("Freezer"));
        QCOMPARE(rig.sensorColumn(0, "UpperLimit").toDouble(), 10.0);
        QCOMPARE(rig.sensorColumn(0, "SensorNotes").toString(), QString("moved to bay 2")); // no page
        QCOMPARE(rig.device.sensorName(2), QByteArray("Loading dock"));
        QCOMPARE(rig.sensorColumn(2, "SensorName").toString(), QString("Loading dock"));
    }

    // A page whose read failed holds no device page: it is not stored, and the sensors named on
    // it keep their database rows.
    void aPageThatFailedToDownloadIsNotStored()
    {
        EditorRig rig(address(7), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(4, "Dairy");
        rig.db.SaveSensor(rig.deviceId, "Dairy", 4, "keep me", "Temperature Sensor Port 5", "", "", "");
        rig.device.setReplyOverride(QByteArray::fromHex("AABBCC05"), QByteArray(60, 'x'), 1);
        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(editor.GetLimits());
        QCOMPARE(rig.form.text("txtName_4"), QString());
        rig.device.clearTraffic();
        // The upload is a failure, and its last line says what the device did not get.
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(rig.storedPages(), QList<int>({12, 0, 1, 3, 4, 6, 7}));
        QVERIFY(rig.form.messages().contains("Page 5 was not uploaded because it could not be downloaded"));
        QCOMPARE(rig.form.messages().last(), QString("Upload incomplete: page 5 not stored"));
        QVERIFY(!rig.form.messages().contains("Upload complete"));
        QCOMPARE(rig.device.sensorName(4), QByteArray("Dairy"));
        QCOMPARE(rig.sensorColumn(4, "SensorName").toString(), QString("Dairy"));
        QCOMPARE(rig.sensorColumn(4, "SensorNotes").toString(), QString("keep me"));
    }

    void failedIdentifyIsReportedAndEndsTheDownload()
    {
        EditorRig rig(address(8), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setReplyOverride(QByteArray::fromHex("2ACDDCBA"), QByteArray(60, '\0'), 1);
        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(!editor.GetLimits());
        QCOMPARE(rig.form.messages(), QStringList{"Failed to identify the device"});
        QVERIFY(rig.readPages().isEmpty());
    }

    // The actual temperature of sensor 3 alone: only factor 3 changes; the device gets page 12
    // alone and is read back after its commit time.
    void calibrationOfOneSensor()
    {
        EditorRig rig(address(9), 5, 5, 25);
        QVERIFY(rig.ready);
        for (int i = 0; i < 8; ++i)
            rig.device.setCorrection(i, 0.5 * i);
        rig.device.setReading(3, 70.0);
        const QByteArray before = rig.device.page(12);
        EditorSession &editor = rig.session(Rx705Layout());
        editor.Activate();
        editor.ShowCalibration();
        QVERIFY(rig.form.shown("frmCal"));
        QVERIFY(!rig.form.shown("txtReading_8"));
        QCOMPARE(rig.form.text("lblName_3"), QString("Not Named"));
        rig.form.setText("txtActualTemp_3", "68.5");
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        rig.device.clearTraffic();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(editor.StoreCalibration());
        QVERIFY(clock.elapsed() >= 1900);
        QCOMPARE(rig.t.prompts.texts, QStringList{"Upload calibration factors?"});
        QCOMPARE(rig.t.prompts.titles, QStringList{"Upload Calibration Factors"});
        QCOMPARE(rig.storedPages(), QList<int>{12});
        QByteArray expected = before;
        expected.replace(14, 2, QByteArray::fromHex("0000")); // 1.5 + (68.5 - 70.0)
        QCOMPARE(rig.device.page(12).toHex(' '), expected.toHex(' '));
        QCOMPARE(rig.form.text("txtCF_3"), QString(".0"));
        QCOMPARE(rig.form.text("txtCF_2"), QString("1.0"));
        QVERIFY(rig.form.messages().contains("Upload complete"));
        QVERIFY(rig.form.messages().contains(" Download complete"));
        QVERIFY(rig.form.enabled("btnCal"));
    }

    void resetZeroesEveryFactorAndKeepsTheFilter()
    {
        EditorRig rig(address(10), 5, 5, 23);
        QVERIFY(rig.ready);
        for (int i = 0; i < 8; ++i)
            rig.device.setCorrection(i, -0.5 - i);
        QByteArray page12 = rig.device.page(12);
        page12[24] = char(17);
        page12[25] = char(4);
        rig.device.setPage(12, page12);
        EditorSession &editor = rig.session(Rx705Layout());
        editor.Activate();
        QCOMPARE(rig.form.text("txtCF_0"), QString("-.5"));
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        QVERIFY(editor.ResetCalibration());
        QCOMPARE(rig.t.prompts.titles, QStringList{"Reset Cal Factors"});
        QCOMPARE(rig.t.prompts.texts, QStringList{"Reset all calibration factors to zero?"});
        QByteArray expected = page12;
        expected.replace(8, 16, QByteArray(16, '\0'));
        QCOMPARE(rig.device.page(12).mid(4).toHex(' '), expected.mid(4).toHex(' '));
        QCOMPARE(rig.form.text("txtCF_8"), QString("17"));
    }

    // A download that stopped at the limits, or could not learn the resolution, leaves the rows of
    // its sensors in the database and their limits on the device as they are; the upload says
    // which pages it left out. What it did read is written: a sensor named or renamed here gets
    // its name in the database (a new row its type and empty limits), so the alarm evaluation
    // knows it by the name the device has.
    void incompleteDownloadsChangeNothingTheyDidNotRead()
    {
        EditorRig rig(address(12), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Freezer");
        rig.device.setLimits(0, -20, 10);
        rig.db.SaveSensor(rig.deviceId, "Freezer", 0, "by the dock", "Temperature Sensor Port 1", "10.0",
                          "-20.0", "5");
        rig.device.setSensorName(1, "Old name");
        rig.db.SaveSensor(rig.deviceId, "Old name", 1, "kept note", "Temperature Sensor Port 2", "8.0", "2.0",
                          "7");
        const QByteArray page0 = rig.device.page(0);
        const auto row = [&] {
            return rig.sensorColumn(0, "SensorNotes").toString() + "|" +
                   rig.sensorColumn(0, "LowerLimit").toString() + "|" +
                   rig.sensorColumn(0, "UpperLimit").toString();
        };
        const QString stored = row();
        EditorSession &editor = rig.session(Rx705Layout());

        // The readings fail on the first download: tenths or whole degrees is not known, so the
        // limits stay empty and go back as the device has them.
        rig.device.setReplyOverride(QByteArray::fromHex("3FCDDC00"), QByteArray(60, 'x'), 1);
        QVERIFY(editor.GetLimits());
        QCOMPARE(rig.form.text("txtLL_0"), QString());
        QCOMPARE(rig.form.text("txtUL_0"), QString());
        QCOMPARE(rig.form.text("txtName_0"), QString("Freezer"));
        QVERIFY(rig.form.messages().contains(
            "The resolution of the readings is not known because they could not be downloaded, so the "
            "limits are not shown and are left on the device as they are.  Press Refresh to try again."));
        rig.form.setText("txtUL_0", "45");
        rig.form.setText("txtName_1", "New name");
        rig.form.setText("txtName_2", "Dairy");
        rig.form.setText("txtNotes_2", "new shelf");
        QVERIFY(editor.SaveLimits(false));
        QCOMPARE(rig.device.page(0).mid(8, 4), page0.mid(8, 4));
        QCOMPARE(row(), stored);
        QCOMPARE(rig.device.sensorName(1), QByteArray("New name"));
        QCOMPARE(rig.sensorColumn(1, "SensorName").toString(), QString("New name"));
        QCOMPARE(rig.sensorColumn(1, "SensorNotes").toString(), QString("kept note"));
        QCOMPARE(rig.sensorColumn(1, "UpperLimit").toDouble(), 8.0);
        QCOMPARE(rig.sensorColumn(1, "TOL").toInt(), 7);
        QCOMPARE(rig.sensorColumn(2, "SensorName").toString(), QString("Dairy"));
        QCOMPARE(rig.sensorColumn(2, "SensorNotes").toString(), QString("new shelf"));
        QCOMPARE(rig.sensorColumn(2, "SensorType").toString(), QString("Temperature Sensor Port 3"));
        QVERIFY(rig.sensorColumn(2, "UpperLimit").isNull());
        QVERIFY(rig.sensorColumn(2, "TOL").isNull());
        QList<SensorRecord> named;
        int count = 0;
        QVERIFY(rig.db.RecordSensors(rig.deviceId, named, count));
        QCOMPARE(count, 3); // the alarm evaluation lists the new sensor

        // The download stops at page 0: no notes, no limits.
        rig.device.setReplyOverride(QByteArray::fromHex("AABBCC00"), QByteArray(60, 'x'), 1);
        QVERIFY(!editor.GetLimits());
        rig.device.clearTraffic();
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(rig.storedPages(), QList<int>({3, 4, 5, 6, 7}));
        QCOMPARE(rig.form.messages().last(), QString("Upload incomplete: pages 12, 0, 1 not stored"));
        QCOMPARE(row(), stored);

        // Once the readings were read, a later failure keeps the mode they gave.
        QVERIFY(editor.GetLimits());
        rig.device.setReplyOverride(QByteArray::fromHex("3FCDDC00"), QByteArray(60, 'x'), 1);
        QVERIFY(editor.GetLimits());
        QCOMPARE(rig.form.text("txtLL_0"), QString("-20.0"));
    }

    // The new factor comes from the factor the device gave, never from the box: a Store after a
    // refused upload computes the same factor again, and the frame's buttons are off while a
    // store and its read-back run.
    void calibrationIsNeverAppliedTwice()
    {
        EditorRig rig(address(13), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setCorrection(3, 1.0);
        rig.device.setReading(3, 70.0);
        EditorSession &editor = rig.session(Rx705Layout());
        editor.Activate();
        editor.ShowCalibration();
        rig.form.setText("txtUL_0", "1000"); // refused by the range check
        rig.form.setText("txtActualTemp_3", "68.5");
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        QVERIFY(editor.StoreCalibration());
        QCOMPARE(rig.form.text("txtCF_3"), QString("-.5"));
        QCOMPARE(rig.device.page(12).mid(14, 2).toHex(), QByteArray("000a"));

        rig.form.setMarked("txtUL_0", false);
        rig.form.setText("txtActualTemp_3", "68.5");
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        bool storeEnabled = true;
        QTimer::singleShot(500, [&] { storeEnabled = rig.form.enabled("btnStoreCalFactors"); });
        QVERIFY(editor.StoreCalibration());
        QVERIFY(!storeEnabled);
        QVERIFY(rig.form.enabled("btnStoreCalFactors"));
        QCOMPARE(rig.device.page(12).mid(14, 2).toHex(), QByteArray("fffb"));
        QCOMPARE(rig.form.text("txtCF_3"), QString("-.5"));
    }

    // A busy device answers the identify with the busy reply: the busy message, not a failure.
    void busyIdentifyIsReportedAsBusy()
    {
        EditorRig rig(address(14), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setReplyOverride(QByteArray::fromHex("2ACDDCBA"), BusyReply, 1);
        EditorSession &editor = rig.session(Rx705Layout());
        QVERIFY(!editor.GetLimits());
        QCOMPARE(rig.form.messages(), QStringList{Busy});
        QVERIFY(rig.readPages().isEmpty());
    }

    void calibrationThatCannotBeComputedIsNamed()
    {
        EditorRig rig(address(11), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setReading(1, 70.0);
        rig.device.setReplyOverride(QByteArray::fromHex("AABBCC0C"), QByteArray(60, 'x'));
        EditorSession &editor = rig.session(Rx705Layout());
        editor.Activate();
        QVERIFY(rig.form.messages().contains("Failed to download temperature correction factors"));
        editor.ShowCalibration();

        rig.form.setText("txtActualTemp_0", "7.0.1");
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        rig.device.clearTraffic();
        QVERIFY(!editor.StoreCalibration());
        QCOMPARE(
            rig.t.prompts.texts.last(),
            QString("The actual temperature of Temperature Sensor Port 1 is not a number.  No correction "
                    "factor was stored."));

        rig.form.setText("txtActualTemp_0", "");
        rig.form.setText("txtActualTemp_1", "69");
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        QVERIFY(!editor.StoreCalibration());
        QCOMPARE(
            rig.t.prompts.texts.last(),
            QString("Temperature Sensor Port 2 has no correction factor to adjust.  No correction factor was "
                    "stored."));
        QCOMPARE(rig.device.transactionCount(), 0);
        QCOMPARE(rig.t.prompts.unexpected, 0);
    }
};

QTEST_GUILESS_MAIN(TestRx705Editor)
#include "tst_rx705editor.moc"
