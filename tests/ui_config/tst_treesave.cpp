// Saving a device in the configuration window: the record, the device's configuration page, and
// every outcome of the upload.
#include "support_treewindow.h"

#include <config/DeviceRecords.h>
#include <link/DeviceCommands.h>
#include <ui/config/ServerFrame.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

namespace {
constexpr int Octet = 31;
const QString OnThePhone = QStringLiteral(" is currently on the phone. The server will be added to the "
                                          "monitoring system but will not be enabled.");

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class TestTreeSave : public QObject {
    Q_OBJECT
private slots:
    void addingWritesTheRecordAndTheDevice_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("modelText");
        QTest::newRow("RX700-5, page 2") << 5 << 5 << 2 << "Model RX700-5: Refrigerator/Freezer Keeper";
        QTest::newRow("Wexa 13, page 1") << 3 << 3 << 1 << "Wexa 13: Refrigerator/Freezer LanKeeper";
    }

    void addingWritesTheRecordAndTheDevice()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, page);
        QFETCH(QString, modelText);
        TreeWindow w(Octet);
        SimDevice *device = w.addSim(family, model, 23);
        QByteArray seeded = device->page(page);
        for (int i : {4, 5, 6, 7, 49, 59})
            seeded[i] = char(0x80 + i);
        device->setPage(page, seeded);
        const QByteArray otherPage = device->page(3 - page);
        const QString address = w.addressOf(device);

        w.addDevice("   Freezer Keeper in the north lab", address, 'C');
        QCOMPARE(w.t.prompts.texts, QStringList());
        const ServerRecord row = w.recordAt(address);
        QCOMPARE(row.ServerName, QStringLiteral("Freezer Keeper in the north lab"));
        QCOMPARE(row.ServerModel, modelText);
        QCOMPARE(row.Enabled + row.Comm, QStringLiteral("1-1"));
        QCOMPARE(row.UserPassword, QStringLiteral("****"));
        QCOMPARE(w.status(), QStringLiteral("Successfully uploaded data to Freezer Keeper in th"));
        QVERIFY(!w.statusRed());

        // The page as the device keeps it: name cut to 20 without the leading blanks, unit, address.
        const QByteArray stored = device->page(page);
        QCOMPARE(stored.mid(8, 20), QByteArray("Freezer Keeper in th"));
        QCOMPARE(stored.at(28), 'C');
        QCOMPARE(stored.mid(29, 20), address.toLatin1().leftJustified(20, ' '));
        for (int i : {4, 5, 6, 7, 49, 59})
            QCOMPARE(quint8(stored.at(i)), quint8(0x80 + i));
        QCOMPARE(device->page(3 - page), otherPage);

        // Still in add mode: the same data again names the device that holds the address.
        w.click("btnSaveServer");
        QCOMPARE(w.t.prompts.texts,
                 QStringList({"The IP address " + address + " is currently being used by " +
                              "Freezer Keeper in the north lab.  Please enter a unique IP "
                              "address."}));
        QCOMPARE(w.serverCount(), 1);
        w.screenshot(QStringLiteral("tree-server-frame"));
    }

    void saveOutcomes_data()
    {
        QTest::addColumn<QByteArray>("readReply"); // empty: the device's own
        QTest::addColumn<QByteArray>("storeReply");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("red");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("enabledComm");
        const QString name = "Walk-in cooler";
        const QString name20 = "Walk-in cooler      ";
        const QString verify = ".  Before proceeding please verify the IP address you are using and that " +
                               name + " is powered on and connected to the network.";
        const QByteArray busy = BuildCommand(hex("B55EB55E"));
        QTest::newRow("stored") << QByteArray() << QByteArray() << "Successfully uploaded data to " + name20
                                << false << QString() << "1-1";
        QTest::newRow("store busy") << QByteArray() << busy << name20 + OnThePhone << false
                                    << name20 + OnThePhone << "00";
        QTest::newRow("store failed")
            << QByteArray() << BuildCommand(hex("DDCCBB02"))
            << "There was an error uploading the server data to " + name + "." << false
            << "There was an error uploading the server data to " + name + verify << "00";
        QTest::newRow("read busy") << busy << QByteArray() << name20 + OnThePhone << false
                                   << name + " is currently on the phone.  The server will be added to the "
                                             "monitoring system but will not be enabled."
                                   << "0-1";
        const QString added = " " + name + " has been added to the database.";
        QTest::newRow("read failed") << BuildCommand(hex("AABBCC09")) << QByteArray()
                                     << "There was an error uploading the server data to " + name +
                                            ".  Before proceeding please verify the IP address, and that " +
                                            name + " is powered on and connected to the network." + added
                                     << true
                                     << "There was an error uploading data to " + name + verify + added
                                     << "00";
    }

    void saveOutcomes()
    {
        QFETCH(QByteArray, readReply);
        QFETCH(QByteArray, storeReply);
        QFETCH(QString, label);
        QFETCH(bool, red);
        QFETCH(QString, message);
        QFETCH(QString, enabledComm);
        TreeWindow w(Octet);
        SimDevice *device = w.addSim(5, 40, 25);
        if (!readReply.isEmpty())
            device->setReplyOverride(hex("AABBCC"), readReply);
        if (!storeReply.isEmpty())
            device->setReplyOverride(hex("DDCCBB"), storeReply);

        w.addDevice("Walk-in cooler", w.addressOf(device));
        QCOMPARE(w.status(), label);
        QCOMPARE(w.statusRed(), red);
        QCOMPARE(w.t.prompts.texts, message.isEmpty() ? QStringList() : QStringList{message});
        const ServerRecord row = w.recordAt(w.addressOf(device));
        QCOMPARE(row.Enabled + row.Comm, enabledComm);
        QCOMPARE(row.ServerModel, QStringLiteral("Model RX740: Temperature and Power Keeper"));
        QCOMPARE(w.window->CurrentServerID(), row.IDNum);
    }

    void nothingIsSavedWithoutAnAnswer()
    {
        TreeWindow w(Octet);
        SimDevice *device = w.addSim(5, 5, 23);
        device->setFault(SimFault::Refused);
        const QString address = w.addressOf(device);
        w.addDevice("Silent one", address);
        QCOMPARE(w.t.prompts.texts, QStringList{"Can not communicate with" + address});
        QCOMPARE(w.serverCount(), 0);
        QVERIFY(!w.window->isBusy());

        // Not enabled: no device is asked and the record says it does not communicate.
        w.t.prompts.texts.clear();
        device->clearFault();
        device->clearTraffic();
        w.addDevice("Spare", address, 'F', false);
        QCOMPARE(device->transactionCount(), 0);
        QCOMPARE(w.recordAt(address).Enabled + w.recordAt(address).Comm, QStringLiteral("00"));
        QCOMPARE(w.t.prompts.texts, QStringList());
    }

    void requiredFields()
    {
        TreeWindow w(Octet);
        w.trigger("mnuAdd");
        w.type("txtServerIPAddress", "127.0.31.9");
        auto *name = w.find<QLineEdit>("txtServerName");
        name->setText("\t \t"); // pasted: only white space is no name
        w.click("btnSaveServer");
        QCOMPARE(w.t.prompts.texts, QStringList{"Please enter a name for this server."});
        QCOMPARE(name->palette().color(QPalette::Base), QColor(255, 255, 0));
        name->clear();
        QTest::keyClicks(name, "Boiler room");
        QCOMPARE(name->palette().color(QPalette::Base), QColor(Qt::white));
        w.type("txtServerIPAddress", "");
        w.click("btnSaveServer");
        QCOMPARE(w.t.prompts.texts.last(), QStringLiteral("Please enter the IP address."));
        QCOMPARE(w.serverCount(), 0);
    }

    // An edit that would give a device the address of another is refused like an add.
    void editingCannotTakeAnotherDevicesAddress()
    {
        TreeWindow w(Octet);
        SimDevice *first = w.addSim(5, 5, 23);
        SimDevice *second = w.addSim(5, 8, 25);
        const qint64 a = w.addRecord("Alpha", w.addressOf(first));
        const qint64 b = w.addRecord("Bravo", w.addressOf(second));
        w.select(b);
        w.trigger("mnuEditServer");
        QCOMPARE(w.find<QLineEdit>("txtServerIPAddress")->text(), w.addressOf(second));
        w.type("txtServerIPAddress", w.addressOf(first));
        w.click("btnSaveServer");
        QCOMPARE(w.t.prompts.texts,
                 QStringList({"The IP address " + w.addressOf(first) +
                              " is currently being used by Alpha.  Please enter a unique IP "
                              "address."}));
        QCOMPARE(w.record(b).ServerIPAddress, w.addressOf(second));
        // Its own address is no obstacle.
        w.type("txtServerIPAddress", w.addressOf(second));
        w.type("txtServerNotes", "by the stairs");
        w.click("btnSaveServer");
        QCOMPARE(w.t.prompts.texts.size(), 1);
        QCOMPARE(w.record(b).ServerNotes, QStringLiteral("by the stairs"));
        QCOMPARE(w.record(a).ServerIPAddress, w.addressOf(first));
    }

    // A device refuses every reply holding the word "error": such a name is refused before
    // anything is sent, and a device that already holds one says why its page cannot be read.
    void namesHoldingTheErrorWord()
    {
        TreeWindow w(Octet);
        SimDevice *device = w.addSim(5, 5, 23);
        const QString address = w.addressOf(device);
        w.addDevice("Error Lab", address);
        QCOMPARE(w.t.prompts.texts,
                 QStringList{"The name \"Error Lab\" can not be used.  A device reply that holds the word "
                             "\"error\" counts as a failure, so the device could never give this name "
                             "back.  Please choose another name."});
        QCOMPARE(w.find<QLineEdit>("txtServerName")->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(device->transactionCount(), 0);
        QCOMPARE(w.serverCount(), 0);

        device->setDeviceName("Terror Room");
        const qint64 id = w.addRecord("Terror Room", address);
        w.select(id);
        w.trigger("mnuEditServer");
        QVERIFY(w.statusRed());
        QCOMPARE(w.status(),
                 QStringLiteral("There was an error downloading data from Terror Room.  The name the "
                                "device holds contains the word \"error\", and every reply that "
                                "carries it is refused.  The name can not be changed from here; "
                                "Restore Factory Defaults clears it."));
        // A reply refused for its own error text is the plain failure.
        device->setDeviceName("Cold Room");
        device->setFault(SimFault::ErrorText);
        w.click("btnRefresh");
        QCOMPARE(w.status(), QStringLiteral("There was an error downloading data from Terror Room"));
    }

    // The tree is in name order: the device just added is selected wherever it lands.
    void theNewDeviceIsSelected()
    {
        TreeWindow w(Octet);
        w.addRecord("Middle", "10.0.0.2");
        w.addRecord("Zulu", "10.0.0.3");
        SimDevice *device = w.addSim(5, 5, 23);
        w.addDevice("Aardvark", w.addressOf(device));
        const qint64 id = w.recordAt(w.addressOf(device)).IDNum;
        QCOMPARE(w.window->CurrentServerID(), id);
        QCOMPARE(w.window->tree()->currentItem()->data(0, Qt::UserRole).toString(), ServerNodeKey(id));
        QVERIFY(w.window->tree()->currentItem()->font(0).bold());
        QCOMPARE(w.window->tree()->topLevelItem(0)->indexOfChild(w.window->tree()->currentItem()), 0);
    }
};

QTEST_MAIN(TestTreeSave)
#include "tst_treesave.moc"
