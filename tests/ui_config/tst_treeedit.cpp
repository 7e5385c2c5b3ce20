// Opening a device for editing: what is read back from the device, what a silent or busy device
// shows, which frames the model offers, and a window that stays responsive and can be closed
// while a device is slow.
#include "support_treewindow.h"

#include <link/DeviceCommands.h>
#include <ui/config/DataLogFrame.h>
#include <ui/config/EmailListFrame.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
constexpr int Octet = 32;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

bool sent(const SimDevice *device, const char *code)
{
    for (const QByteArray &command : device->commands()) {
        if (command.startsWith(hex(code)))
            return true;
    }
    return false;
}
} // namespace

class TestTreeEdit : public QObject {
    Q_OBJECT
private slots:
    void editReadsTheDeviceBack()
    {
        TreeWindow w(Octet);
        SimDevice *device = w.addSim(5, 5, 23);
        device->setDeviceName("Pharmacy fridge");
        device->setTemperatureUnit('C');
        device->setClock(QDateTime(QDate(2026, 3, 14), QTime(14, 7, 9)));
        device->setUpdateRateMinutes(15);
        for (int i = 0; i < 3; ++i)
            device->appendLogRecord();
        const qint64 id = w.addRecord("Old name", w.addressOf(device), true, true, "a@x.org,b@x.org,");
        w.select(id);
        w.trigger("mnuEditServer");

        QCOMPARE(w.find<QLineEdit>("txtServerName")->text(), QStringLiteral("Pharmacy fridge"));
        QCOMPARE(w.find<QComboBox>("cmboUnits")->currentIndex(), 1);
        QCOMPARE(w.find<QLineEdit>("txtModel")->text(),
                 QStringLiteral("Model RX700-5: Refrigerator/Freezer Keeper"));
        QCOMPARE(w.status(), QStringLiteral("Successfully downloaded data from Pharmacy fridge 5.5.23"));
        QVERIFY(!w.statusRed());
        QCOMPARE(w.find<QLineEdit>("txtServerNotes")->text(), QStringLiteral("notes"));
        QCOMPARE(w.find<QLineEdit>("txtUserPassword")->text(), QStringLiteral("pw"));
        QVERIFY(w.find<QCheckBox>("chkEnable")->isChecked());
        QCOMPARE(w.window->emailFrame()->lstEmailAddr->count(), 2);
        QCOMPARE(w.find<QWidget>("frmSetup_0")->property("title").toString(),
                 QStringLiteral("Edit: Old name"));
        QVERIFY(w.find<QWidget>("frmSetup_0")->isVisible());
        // Clock and log parameters of the device.
        QCOMPARE(w.find<QLineEdit>("txtDT")->text(), QStringLiteral("3/14/2026 2:07:09 PM"));
        QCOMPARE(w.find<QLineEdit>("txtUR")->text(), QStringLiteral("15"));
        QCOMPARE(w.find<QLineEdit>("txtNR")->text(), QString::number(device->logRecordCount()));
        QVERIFY(!w.window->isBusy());
        QCOMPARE(w.window->cursor().shape(), Qt::ArrowCursor);
        w.screenshot(QStringLiteral("tree-edit-data-log"));

        // Add starts afresh: nothing of the device shown before carries over.
        w.trigger("mnuAdd");
        QCOMPARE(w.find<QLineEdit>("txtUserPassword")->text(), QStringLiteral("****"));
        QCOMPARE(w.find<QComboBox>("cmboUnits")->currentIndex(), 0);
        QCOMPARE(w.find<QLineEdit>("txtServerName")->text(), QString());
    }

    void silentOrBusyDevice_data()
    {
        QTest::addColumn<bool>("busyPage");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("model");
        QTest::newRow("silent") << false << "There was an error downloading data from Cold room"
                                << "Stored model";
        QTest::newRow("page busy") << true
                                   << "Cold room is currently on the phone.  Please wait and try again later."
                                   << "Model RX700-8: Computer Room Keeper";
    }

    void silentOrBusyDevice()
    {
        QFETCH(bool, busyPage);
        QFETCH(QString, label);
        QFETCH(QString, model);
        TreeWindow w(Octet);
        SimDevice *device = w.addSim(5, 8, 25);
        if (busyPage)
            device->setReplyOverride(hex("AABBCC"), BuildCommand(hex("B55EB55E")));
        else
            device->setFault(SimFault::Silent);
        const qint64 id = w.addRecord("  Cold room ", w.addressOf(device));
        w.select(id);
        QElapsedTimer clock;
        clock.start();
        w.trigger("mnuEditServer");
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(w.find<QLineEdit>("txtServerName")->text(), QStringLiteral("Cold room"));
        QCOMPARE(w.status(), label);
        QVERIFY(w.statusRed());
        QCOMPARE(w.find<QLineEdit>("txtModel")->text(), model);
        QCOMPARE(w.t.prompts.texts, QStringList());
        // After a page read failed the clock is still read; after a failed identify nothing is.
        QCOMPARE(sent(device, "DECADE02"), busyPage);
        QVERIFY(w.find<QWidget>("frmSetup_0")->isVisible());
    }

    // Which devices have their clock read and which frames they offer.
    void firmwareRules_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<bool>("clockRead");
        QTest::addColumn<bool>("dataLogFrame");
        QTest::addColumn<bool>("more");
        QTest::newRow("Wexa 13") << 3 << 3 << 4 << true << true << false;
        QTest::newRow("Wexa 16") << 3 << 6 << 7 << true << true << false;
        QTest::newRow("RX700-5 fw 22") << 5 << 5 << 22 << false << false << false;
        QTest::newRow("RX700-5 fw 23") << 5 << 5 << 23 << true << true << false;
        QTest::newRow("RX700-10 fw 23") << 5 << 10 << 23 << true << false << false;
        QTest::newRow("RX700-10 fw 24") << 5 << 10 << 24 << true << true << false;
        QTest::newRow("RX700-8 fw 12") << 5 << 8 << 12 << false << false << true;
        QTest::newRow("RX700-8 fw 24") << 5 << 8 << 24 << true << false << false;
        QTest::newRow("RX740 fw 25") << 5 << 40 << 25 << true << false << true;
    }

    void firmwareRules()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, firmware);
        TreeWindow w(Octet);
        SimDevice *device = w.addSim(family, model, firmware);
        w.select(w.addRecord("Device", w.addressOf(device)));
        w.trigger("mnuEditServer");
        QTEST(sent(device, "DECADE02"), "clockRead");
        QTEST(w.find<QWidget>("frmDateTime")->isVisible(), "dataLogFrame");
        QTEST(w.find<QPushButton>("btnMore")->isVisible(), "more");
        if (w.find<QWidget>("frmDateTime")->isVisible())
            QCOMPARE(w.find<QWidget>("frmDateTime")->property("title").toString(),
                     QStringLiteral("Data Log Parameters for ") + device->deviceName());

        // A device that stops answering shows neither, whatever the last identify found.
        device->setFault(SimFault::Refused);
        device->clearTraffic();
        w.click("btnRefresh");
        QVERIFY(!sent(device, "DECADE02"));
        QVERIFY(!w.find<QWidget>("frmDateTime")->isVisible());
        QVERIFY(!w.find<QPushButton>("btnMore")->isVisible());
    }

    // While a device is slow the window shows the hourglass and the progress bar, keeps its events
    // running, and ignores a second operation; closing it ends the wait at once.
    void slowDeviceKeepsTheWindowResponsive()
    {
        LinkTimings timings = windowTimings();
        timings.replyOverrideMs = 8000;
        TreeWindow w(Octet, timings);
        SimDevice *device = w.addSim(5, 5, 23);
        device->setFault(SimFault::Silent);
        const qint64 id = w.addRecord("Slow", w.addressOf(device));
        w.select(id);
        bool sawBusy = false;
        QString secondEdit;
        QTimer::singleShot(300, [&] {
            sawBusy = w.window->cursor().shape() == Qt::WaitCursor &&
                      w.find<QProgressBar>("ProgressBar")->isVisible() && w.window->isBusy();
            w.trigger("mnuEditServer");
            secondEdit = w.status();
            w.window->reject();
        });
        QElapsedTimer clock;
        clock.start();
        w.trigger("mnuEditServer");
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(sawBusy);
        QCOMPARE(secondEdit, QStringLiteral("System Busy"));
        QVERIFY(!w.window->isVisible());
        QVERIFY(!w.window->isBusy());
        QCOMPARE(w.window->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(w.t.prompts.texts, QStringList());
        QVERIFY(!w.link.transactionsCancelled());
        // The link works again for whoever comes next.
        device->clearFault();
        QByteArray reply;
        QVERIFY(w.link.ReadFromQM(w.addressOf(device), 10001, BuildCommand(hex("2ACDDCBA")), reply, 60, {}));
    }

    // Refresh, Sensors and Restore Factory Defaults talk to the device, so they hold the busy
    // state: a click on another device meanwhile is ignored, and the Save that follows writes the
    // record of the device whose frame is shown, never the other one's.
    void operationsOnASlowDeviceHoldTheBusyState()
    {
        TreeWindow w(Octet);
        SimDevice *slow = w.addSim(5, 5, 23);
        SimDevice *other = w.addSim(5, 5, 23);
        slow->setDeviceName("Freezer A");
        const qint64 idA = w.addRecord("Freezer A", w.addressOf(slow), true, true, "a@x.org,");
        const qint64 idB = w.addRecord("Freezer B", w.addressOf(other), true, true, "b@x.org,");
        const ServerRecord before = w.record(idB);
        w.select(idA);
        w.trigger("mnuEditServer");
        slow->faultOptions().slowDelayMs = 300;

        struct Probe {
            const char *button;
            const char *answer; // the prompt answered first, if any
        };
        for (const Probe probe : {Probe{"btnRefresh", nullptr}, Probe{"btnSensors", nullptr},
                                  Probe{"btnRestoreFactoryDefaults", "Yes"}}) {
            slow->setFault(SimFault::Slow, 2);
            if (probe.answer)
                w.t.prompts.queueAnswer(Prompts::Answer::Yes);
            bool busy = false;
            QString rateAfterStore;
            QTimer::singleShot(100, [&] {
                busy = w.window->isBusy();
                w.select(idB);
                w.click("btnSaveServer");
                w.click("btnTestCommunication");
                // The clock store checks the busy state before the rate: the box keeps its text.
                w.type("txtUR", "0");
                w.click("btnStoreDateTime");
                rateAfterStore = w.find<QLineEdit>("txtUR")->text();
                // Close and the e-mail list wait too: the device frame stays, alone.
                w.click("btnCancel");
                w.click("btnServerEmailAddresses");
            });
            w.click(probe.button);
            QVERIFY2(busy, probe.button);
            QCOMPARE(w.window->CurrentServerID(), idA);
            QCOMPARE(rateAfterStore, QStringLiteral("0"));
            QVERIFY2(w.find<QWidget>("frmSetup_0")->isVisible(), probe.button);
            QVERIFY2(!w.find<QWidget>("frmSetup_2")->isVisible(), probe.button);
            QVERIFY(!w.t.prompts.texts.contains("The valid update rate is between 1 and 60 minutes"));
            w.t.prompts.texts.clear();
        }
        QVERIFY(!w.window->isBusy());
        QVERIFY(w.find<QPushButton>("btnServerEmailAddresses")->isEnabled());

        // The frame is device A's: a new address and Save change A alone.
        const QString moved = QStringLiteral("127.0.%1.9").arg(Octet);
        w.type("txtServerIPAddress", moved);
        w.find<QCheckBox>("chkEnable")->setChecked(false);
        w.click("btnSaveServer");
        const ServerRecord after = w.record(idB);
        QCOMPARE(after.ServerName, before.ServerName);
        QCOMPARE(after.ServerIPAddress, before.ServerIPAddress);
        QCOMPARE(after.EmailAddress, before.EmailAddress);
        QCOMPARE(after.Enabled, before.Enabled);
        QCOMPARE(w.record(idA).ServerIPAddress, moved);
        QCOMPARE(w.record(idA).Enabled, QStringLiteral("0"));
    }
};

QTEST_MAIN(TestTreeEdit)
#include "tst_treeedit.moc"
