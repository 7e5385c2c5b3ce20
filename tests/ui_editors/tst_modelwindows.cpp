// The editor windows of every model and the telephone window against simulated devices.
#include "support_editorwindows.h"

#include <editors/support_editorrig.h>
#include <ui/editors/ModelEditorWindows.h>
#include <ui/editors/PhoneParametersWindow.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

namespace {
QString address(int host)
{
    return QStringLiteral("127.0.82.%1").arg(host);
}
} // namespace

class TestModelWindows : public QObject {
    Q_OBJECT
private slots:
    void everyEditorOpensAndShowsItsDevice_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("sensors");
        QTest::newRow("RX705") << "frmRX705" << 5 << 10 << "RX700 Parameters" << 10;
        QTest::newRow("RX708") << "frmRX708" << 5 << 8 << "Computer Room Keeper Parameters" << 9;
        QTest::newRow("RX720") << "frmRX720" << 5 << 20 << "RX720 Parameters" << 5;
        QTest::newRow("RX740") << "frmRX740" << 5 << 40 << "Temperature and Power Keeper Model RX740" << 9;
        QTest::newRow("Wexa") << "frmWexa" << 3 << 5 << "Wexa Parameters" << 4;
        QTest::newRow("Wexa16") << "frmWexa16" << 3 << 6 << "Wexa16 Parameters" << 6;
    }
    void everyEditorOpensAndShowsItsDevice()
    {
        QFETCH(QString, name);
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(QString, caption);
        QFETCH(int, sensors);
        EditorRig rig(address(1), family, model, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Probe");
        rig.device.setSensorName(1, "Second probe");
        auto window = OpenEditor(rig, name);
        QVERIFY(window);
        QTRY_COMPARE(Box(*window, "txtName_0")->text(), QString("Probe"));
        QTRY_VERIFY(!window->session().transferRunning());
        QCOMPARE(window->windowTitle(), caption);
        QCOMPARE(window->objectName(), name);
        QVERIFY(Child<QLabel>(*window, QStringLiteral("lblSensorType_%1").arg(sensors - 1)));
        QVERIFY(!Child<QLabel>(*window, QStringLiteral("lblSensorType_%1").arg(sensors)));
        QVERIFY(Button(*window, "btnSave")->isEnabled());
        QCOMPARE(Button(*window, "btnCal") != nullptr, name == "frmRX705" || name.startsWith("frmWexa"));
        SaveScreenshot(*window, name);
    }

    void wexaWindowControls()
    {
        EditorRig rig(address(2), 3, 5, 5);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Cooler");
        auto window = OpenEditor(rig, "frmWexa");
        QTRY_COMPARE(Box(*window, "txtName_0")->text(), QString("Cooler"));
        QTRY_VERIFY(!window->session().transferRunning());
        QVERIFY(Child<QGroupBox>(*window, "frmAlarmConfiguration")->isVisible());
        QCOMPARE(Child<QLabel>(*window, "lblWexa_3")->text(), QString("Time (min)"));
        QCOMPARE(
            Child<QLabel>(*window, "lblAlarmReminderTimeDelay")->toolTip(),
            QString("After an alarm has been acknowledged, a new alarm will be generated after this value "
                    "(in minutes).    "));
        QCOMPARE(Box(*window, "txtReading_0")->toolTip(), Box(*window, "txtReading_0")->text());
        Box(*window, "txtAlarmReminderTimeDelay")->clear();
        QTest::keyClicks(Box(*window, "txtAlarmReminderTimeDelay"), "1x5");
        QCOMPARE(Box(*window, "txtAlarmReminderTimeDelay")->text(), QString("15"));

        QTest::mouseClick(Button(*window, "btnCal"), Qt::LeftButton);
        QVERIFY(Child<QGroupBox>(*window, "frmCal")->isVisible());
        QVERIFY(!Box(*window, "txtCF_0")->isVisible());
        QVERIFY(!Box(*window, "txtReading_3")->isVisible());
        QCOMPARE(Button(*window, "btnStoreCalFactors")->text(), QString("Store Calibration Factors"));
        QCOMPARE(Button(*window, "btnReset")->text(), QString("Clear Calibration Factors"));
        QTest::mouseClick(Button(*window, "btnCF"), Qt::LeftButton);
        QVERIFY(Box(*window, "txtCF_0")->isVisible());
        QVERIFY(Child<QLabel>(*window, "lblCal_1")->isVisible());
        SaveScreenshot(*window, "frmWexa-calibration");

        QTest::mouseClick(Button(*window, "btnStoreCalFactors"), Qt::LeftButton);
        QCOMPARE(rig.t.prompts.texts, QStringList{"Please enter the actual temperature"});
    }

    void rx740NormalStateLists()
    {
        EditorRig rig(address(3), 5, 40, 3);
        QVERIFY(rig.ready);
        rig.device.setSensorName(6, "Mains C");
        rig.device.setPowerNormalState(6, 1);
        auto window = OpenEditor(rig, "frmRX740");
        QTRY_COMPARE(Box(*window, "txtName_6")->text(), QString("Mains C"));
        QTRY_VERIFY(!window->session().transferRunning());
        auto *state = Child<QComboBox>(*window, "cmboNormalState_2");
        QCOMPARE(state->count(), 2);
        QCOMPARE(state->itemText(0), QString("On"));
        QCOMPARE(state->currentIndex(), 1);
        QCOMPARE(Child<QComboBox>(*window, "cmboNormalState_0")->currentIndex(), -1);
        QCOMPARE(Child<QLabel>(*window, "lblSensorType_5")->text(), QString("Power Sensor Port 2"));
        state->setCurrentIndex(0);
        QTest::mouseClick(Button(*window, "btnSave"), Qt::LeftButton);
        QTRY_VERIFY(!window->session().transferRunning());
        QCOMPARE(rig.device.page(0).mid(44, 2).toHex(), QByteArray("0000"));
    }

    void phoneWindow()
    {
        EditorRig rig(address(4), 5, 5, 25);
        QVERIFY(rig.ready);
        auto window = MakeEditorWindow("frmRX705PhoneParameters", rig.services());
        auto *phone = qobject_cast<PhoneParametersWindow *>(window.get());
        QVERIFY(phone);
        phone->setServerName("Phone Parameters for server: Lab");
        phone->setIPAddress(rig.address);
        // A unit call-out delay of 120: longer than the two digits the box takes typed.
        QByteArray page8 = rig.device.page(8);
        page8[54] = 0;
        page8[55] = 120;
        rig.device.setPage(8, page8);
        phone->show();
        QTRY_COMPARE(Box(*phone, "txtPhoneNumber_9")->text(), QString("1"));
        QTRY_VERIFY(!phone->session().transferRunning());
        QCOMPARE(phone->windowTitle(), QString("Phone Parameters for server: Lab"));
        QCOMPARE(Child<QLabel>(*phone, "lblPhoneNumber_7")->text(), QString("Contact Phone Number 8"));
        QCOMPARE(Child<QLabel>(*phone, "lblLocalID")->text(), QString("Local ID"));
        QCOMPARE(Child<QComboBox>(*phone, "cmboCalloutYN")->currentText(), QString("No"));
        // Shown whole and stored back unchanged; typing stops at two digits.
        QLineEdit *unitDelay = Box(*phone, "txtPhoneNumber_11");
        QCOMPARE(unitDelay->text(), QString("120"));
        rig.device.clearTraffic();
        QTest::mouseClick(Button(*phone, "btnSave"), Qt::LeftButton);
        QTRY_VERIFY(!phone->session().transferRunning());
        QVERIFY(rig.storedPages().contains(8));
        QCOMPARE(rig.device.page(8).mid(54, 2).toHex(), QByteArray("0078"));
        QTest::keyClick(unitDelay, Qt::Key_Backspace);
        QCOMPARE(unitDelay->text(), QString("12"));
        QTest::keyClicks(unitDelay, "5");
        QCOMPARE(unitDelay->text(), QString("12"));
        unitDelay->clear();
        QTest::keyClicks(unitDelay, "123");
        QCOMPARE(unitDelay->text(), QString("12"));

        QLineEdit *repeat = Box(*phone, "txtPhoneNumber_12");
        repeat->clear();
        QTest::keyClicks(repeat, "3");
        QCOMPARE(repeat->text(), QString("0"));
        QLineEdit *rings = Box(*phone, "txtPhoneNumber_9");
        QTest::keyClicks(rings, "*");
        QCOMPARE(rings->text(), QString("1"));
        QTest::keyClicks(Box(*phone, "txtPhoneNumber_0"), "*55a1");
        QCOMPARE(Box(*phone, "txtPhoneNumber_0")->text(), QString("*551"));
        SaveScreenshot(*phone, "frmRX705PhoneParameters");

        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        QTest::mouseClick(Button(*phone, "btnDefaults"), Qt::LeftButton);
        QTRY_VERIFY(!phone->session().transferRunning());
        QCOMPARE(rig.device.page(8).mid(8, 4).toHex(' '), QByteArray("1b 05 05 01"));
        QCOMPARE(rig.device.page(8).mid(54, 2).toHex(), QByteArray("0003"));
        QCOMPARE(rig.t.prompts.unexpected, 0);
    }
};

QTEST_MAIN(TestModelWindows)
#include "tst_modelwindows.moc"
