// The RX705 editor window against a simulated device, driven as an operator would.
#include "support_editorwindows.h"

#include <ui/editors/ModelEditorWindows.h>

#include <editors/support_editorrig.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {
QString address(int host)
{
    return QStringLiteral("127.0.41.%1").arg(host);
}

void prepareDevice(SimDevice &device)
{
    device.setSensorName(0, "Freezer");
    device.setLimits(0, -20, 10);
    device.setTimeOutOfLimits(0, 15);
    device.setReading(0, -15.3);
    device.setSensorName(8, "Back Door");
    device.setRawReading(8, 0);
    for (int i = 0; i < 8; ++i)
        device.setCorrection(i, 0.5);
}

bool downloaded(const EditorWindow &window)
{
    return StatusLines(window).contains(" Download complete");
}
} // namespace

class TestRx705Window : public QObject {
    Q_OBJECT
private slots:
    void showsTheDeviceOnOpening()
    {
        EditorRig rig(address(1), 5, 5, 25);
        QVERIFY(rig.ready);
        prepareDevice(rig.device);
        auto window = OpenEditor(rig, "frmRX705");
        QVERIFY(window);
        QTRY_VERIFY(downloaded(*window));
        QCOMPARE(window->windowTitle(), QString("RX700 Parameters"));
        QCOMPARE(window->objectName(), QString("frmRX705"));
        QCOMPARE(Box(*window, "txtName_0")->text(), QString("Freezer"));
        QCOMPARE(Box(*window, "txtLL_0")->text(), QString("-20.0"));
        QCOMPARE(Box(*window, "txtReading_0")->text(), QString("-15.3"));
        QCOMPARE(Box(*window, "txtReading_8")->text(), QString("Open"));
        QVERIFY(Box(*window, "txtReading_0")->isReadOnly());
        QCOMPARE(Box(*window, "txtBattV")->text(), QString("9.2"));
        QVERIFY(Box(*window, "txtBattV")->isVisible());
        QVERIFY(Child<QRadioButton>(*window, "optRelayLogic_0")->isChecked());
        QVERIFY(Child<QRadioButton>(*window, "optEnableBuzzer_0")->isChecked());
        QCOMPARE(Child<QLabel>(*window, "lblWexa_26")->text(), QString("Current Reading"));
        QCOMPARE(Child<QLabel>(*window, "lblSensorType_9")->text(), QString("Door Sensor 2"));
        for (const char *name : {"btnSave", "btnRefresh", "btnNotes", "btnClose", "btnCal"})
            QVERIFY2(Button(*window, name)->isEnabled(), name);
        QVERIFY(!Child<QGroupBox>(*window, "frmCal")->isVisible());
        QVERIFY(!Child<QGroupBox>(*window, "frmNotes")->isVisible());
        QVERIFY(!Child<QLabel>(*window, "lblStatus")->isVisible());
        SaveScreenshot(*window, "frmRX705");

        QTest::mouseClick(Button(*window, "btnNotes"), Qt::LeftButton);
        QVERIFY(Child<QGroupBox>(*window, "frmNotes")->isVisible());
        QCOMPARE(Button(*window, "btnNotes")->text(), QString("Hide"));
        SaveScreenshot(*window, "frmRX705-notes");
        QTest::mouseClick(Button(*window, "btnCal"), Qt::LeftButton);
        QVERIFY(Child<QGroupBox>(*window, "frmCal")->isVisible());
        QVERIFY(!Child<QGroupBox>(*window, "frmNotes")->isVisible());
        QVERIFY(!Box(*window, "txtReading_8")->isVisible());
        QCOMPARE(Child<QLabel>(*window, "lblName_0")->text(), QString("Freezer"));
        QCOMPARE(Child<QLabel>(*window, "lblName_1")->text(), QString("Not Named"));
        QCOMPARE(Box(*window, "txtCF_0")->text(), QString(".5"));
        SaveScreenshot(*window, "frmRX705-calibration");
        QTest::mouseClick(Button(*window, "btnCloseCal"), Qt::LeftButton);
        QVERIFY(!Child<QGroupBox>(*window, "frmCal")->isVisible());
        QVERIFY(Box(*window, "txtReading_8")->isVisible());
    }

    void typedEditsAreSavedToDeviceAndDatabase()
    {
        EditorRig rig(address(2), 5, 5, 25);
        QVERIFY(rig.ready);
        prepareDevice(rig.device);
        {
            auto window = OpenEditor(rig, "frmRX705");
            QTRY_VERIFY(downloaded(*window));
            QTest::keyClicks(Box(*window, "txtName_1"), "Bob's/ freezer");
            QCOMPARE(rig.t.prompts.texts, QStringList{"/ is an invalid character."});
            QTest::keyClicks(Box(*window, "txtLL_1"), "-2x2.5");
            QTest::keyClicks(Box(*window, "txtUL_1"), "10");
            QTest::keyClicks(Box(*window, "txtTOL_1"), "3.0");
            QTest::mouseClick(Button(*window, "btnNotes"), Qt::LeftButton);
            QTest::keyClicks(Box(*window, "txtNotes_1"), "top shelf");
            QTest::mouseClick(Child<QRadioButton>(*window, "optEnableBuzzer_1"), Qt::LeftButton);
            QCOMPARE(Box(*window, "txtName_1")->text(), QString("Bob's freezer"));
            QCOMPARE(Box(*window, "txtLL_1")->text(), QString("-22.5"));
            QCOMPARE(Box(*window, "txtTOL_1")->text(), QString("30"));
            QTest::mouseClick(Button(*window, "btnSave"), Qt::LeftButton);
            QTRY_VERIFY(StatusLines(*window).contains("Upload complete"));
            QTest::mouseClick(Button(*window, "btnClose"), Qt::LeftButton);
            QVERIFY(!window->isVisible());
        }
        QCOMPARE(rig.device.sensorName(1), QByteArray("Bob's freezer"));
        double lower = 0, upper = 0;
        rig.device.limits(1, &lower, &upper);
        QCOMPARE(lower, -22.5);
        QCOMPARE(rig.device.timeOutOfLimits(1), 30);
        QCOMPARE(quint8(rig.device.page(0).at(57)), quint8(0));
        QCOMPARE(rig.sensorColumn(1, "SensorNotes").toString(), QString("top shelf"));

        auto again = OpenEditor(rig, "frmRX705");
        QTRY_VERIFY(downloaded(*again));
        QCOMPARE(Box(*again, "txtName_1")->text(), QString("Bob's freezer"));
        QCOMPARE(Box(*again, "txtUL_1")->text(), QString("10.0"));
        QCOMPARE(Box(*again, "txtNotes_1")->text(), QString("top shelf"));
        QVERIFY(Child<QRadioButton>(*again, "optEnableBuzzer_1")->isChecked());
    }

    void aLimitOutOfRangeTurnsYellowAndSendsNothing()
    {
        EditorRig rig(address(3), 5, 5, 25);
        QVERIFY(rig.ready);
        prepareDevice(rig.device);
        auto window = OpenEditor(rig, "frmRX705");
        QTRY_VERIFY(downloaded(*window));
        QLineEdit *upper = Box(*window, "txtUL_0");
        upper->clear();
        QTest::keyClicks(upper, "1000");
        rig.device.clearTraffic();
        QTest::mouseClick(Button(*window, "btnSave"), Qt::LeftButton);
        QCOMPARE(rig.t.prompts.texts,
                 QStringList{"Valid temperature limits are between -999.9 and 999.9 degrees)"});
        QCOMPARE(upper->text(), QString());
        QVERIFY(IsYellow(*upper));
        QCOMPARE(rig.device.transactionCount(), 0);
        QTest::keyClicks(upper, "5");
        QVERIFY(!IsYellow(*upper));
        QVERIFY(Button(*window, "btnSave")->isEnabled());
    }

    // A window closed during a download stays until the transfer has stopped, then closes.
    void closingDuringADownloadWaitsForIt()
    {
        EditorRig rig(address(4), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.faultOptions().slowDelayMs = 600;
        rig.device.setFault(SimFault::Slow);
        auto window = MakeEditorWindow("frmRX705", rig.services());
        window->setIPAddress(rig.address);
        window->setDatabaseID(rig.deviceId);
        bool stillShown = false;
        bool closeDisabled = false;
        connect(&window->session(), &EditorSession::transferRunningChanged, this, [&](bool running) {
            if (!running)
                return;
            QTimer::singleShot(300, window.get(), [&] {
                closeDisabled = !Button(*window, "btnClose")->isEnabled();
                window->close();
                stillShown = window->isVisible();
            });
        });
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);
        QVERIFY(closeDisabled);
        QVERIFY(stillShown);
        QVERIFY(!window->session().transferRunning());
        QVERIFY(rig.device.transactionCount() <= 2);
    }
};

QTEST_MAIN(TestRx705Window)
#include "tst_rx705window.moc"
