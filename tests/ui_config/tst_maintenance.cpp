// Maintenance commands of the device window: factory defaults, the communication test and the
// device clock with the log update rate.
#include "support_treewindow.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
constexpr int Octet = 73;

SimDevice *openDevice(TreeWindow &w, int family = 5, int model = 5, int firmware = 23)
{
    SimDevice *device = w.addSim(family, model, firmware);
    device->setDeviceName("Lab fridge");
    w.select(w.addRecord("Lab fridge", w.addressOf(device)));
    w.trigger("mnuEditServer");
    w.t.prompts.texts.clear();
    return device;
}
} // namespace

class TestMaintenance : public QObject {
    Q_OBJECT
private slots:
    void factoryDefaults()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDevice(w);
        device->setSensorName(0, "Vaccines");
        w.t.prompts.queueAnswer(Prompts::Answer::No);
        w.click("btnRestoreFactoryDefaults");
        QCOMPARE(w.t.prompts.texts, QStringList({"Reset 'Lab fridge' to factory default values?",
                                                 "Lab fridge was not reset to factory "
                                                 "defaults."}));
        QCOMPARE(device->sensorName(0), QByteArray("Vaccines"));

        // A busy device keeps its settings and says why.
        w.t.prompts.texts.clear();
        device->setFault(SimFault::Busy, 1);
        w.click("btnRestoreFactoryDefaults");
        QCOMPARE(w.t.prompts.texts.last(),
                 QStringLiteral("Lab fridge is currently busy on the phone. The server could "
                                "not be reset to factory defaults. Please wait and try "
                                "again."));
        QCOMPARE(device->sensorName(0), QByteArray("Vaccines"));

        w.click("btnRestoreFactoryDefaults");
        QCOMPARE(w.t.prompts.texts.last(),
                 QStringLiteral("Successfully set Lab fridge user page to factory defaults"));
        QCOMPARE(device->sensorName(0), QByteArray());
        QCOMPARE(device->deviceName(), QByteArray("RX705"));
        QCOMPARE(w.find<QPushButton>("btnRestoreFactoryDefaults")->text(),
                 QStringLiteral("Restore Factory Defaults"));

        device->setFault(SimFault::Silent);
        QElapsedTimer clock;
        clock.start();
        w.click("btnRestoreFactoryDefaults");
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(w.t.prompts.texts.last(), QStringLiteral("Error resetting Lab fridge to factory defaults"));
    }

    void testCommunication()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDevice(w, 5, 8, 26);
        device->setDeviceName("Server room");
        w.click("btnTestCommunication");
        QCOMPARE(w.find<QLineEdit>("txtServerName")->text(), QStringLiteral("Server room"));
        QCOMPARE(w.t.prompts.texts,
                 QStringList{"Successfully communicated with Server room 5.8.26 at IP address " +
                             w.addressOf(device)});
        QCOMPARE(w.status(), QStringLiteral("Successfully communicated with Lab fridge"));
        QCOMPARE(w.find<QPushButton>("btnTestCommunication")->text(), QStringLiteral("Test Communications"));

        // The page read fails: the name box is emptied, the test still reports success.
        device->setReplyOverride(QByteArray::fromHex("AABBCC"), QByteArray(60, 'x'), 1);
        w.click("btnTestCommunication");
        QCOMPARE(w.find<QLineEdit>("txtServerName")->text(), QString());
        QCOMPARE(w.t.prompts.texts.last(),
                 "Successfully communicated with  5.8.26 at IP address " + w.addressOf(device));

        device->setFault(SimFault::Silent);
        w.click("btnTestCommunication");
        QCOMPARE(w.status(), "Failed to communicate with IP address " + w.addressOf(device));
        QVERIFY(w.statusRed());
        QCOMPARE(w.t.prompts.texts.last(), "Error reading from IP address " + w.addressOf(device));
        QVERIFY(!w.window->isBusy());
    }

    void updateRate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored"); // 0: refused
        QTest::addColumn<QString>("message");
        const QString range = "The valid update rate is between 1 and 60 minutes";
        QTest::newRow("empty") << "" << 0 << "Please enter a value for the log update rate.";
        QTest::newRow("half") << "0.5" << 0 << range;
        QTest::newRow("61") << "61" << 0 << range;
        QTest::newRow("text") << "ten" << 0 << range;
        QTest::newRow("60") << "60" << 60 << "";
        QTest::newRow("1.5 rounds to 2") << "1.5" << 2 << "";
    }

    void updateRate()
    {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        QFETCH(QString, message);
        TreeWindow w(Octet);
        SimDevice *device = openDevice(w, 3, 4, 5);
        device->setUpdateRateMinutes(7);
        device->clearTraffic();
        w.find<QLineEdit>("txtUR")->setText(typed);
        w.click("btnStoreDateTime");
        QCOMPARE(w.t.prompts.texts, message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(device->updateRateMinutes(), stored == 0 ? 7 : stored);
        QCOMPARE(device->transactionCount(), stored == 0 ? 0 : 1);
        if (message.endsWith("minutes"))
            QCOMPARE(w.find<QLineEdit>("txtUR")->text(), QStringLiteral("5"));
        if (stored == 0)
            return;
        // The device's clock is the PC's (the test clock), and the time read back is shown.
        QCOMPARE(device->clock(), QDateTime(QDate(2026, 3, 14), QTime(10, 30)));
        QCOMPARE(w.find<QLineEdit>("txtDT")->text(), QStringLiteral("3/14/2026 10:30:00 AM"));
        device->setFault(SimFault::Silent);
        w.click("btnStoreDateTime");
        QCOMPARE(w.find<QLineEdit>("txtDT")->text(), QStringLiteral("Upload failed"));
    }
};

QTEST_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
