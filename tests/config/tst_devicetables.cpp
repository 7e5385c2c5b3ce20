// What a device's identification decides, the device tree's node texts, and the alarm address
// list in its stored form.
#include <config/DeviceModels.h>
#include <config/DeviceRecords.h>

#include <QTest>

class TestDeviceTables : public QObject {
    Q_OBJECT
private slots:
    void modelTexts_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("text");
        QTest::newRow("5.5") << 5 << 5 << "Model RX700-5: Refrigerator/Freezer Keeper";
        QTest::newRow("5.40") << 5 << 40 << "Model RX740: Temperature and Power Keeper";
        QTest::newRow("3.6") << 3 << 6 << "Wexa 16: Refrigerator/Freezer/Humidity LanKeeper";
        // The first matching row wins: family 3 model 4 is a Wexa 14, not the 4-20 mA monitor.
        QTest::newRow("3.4") << 3 << 4 << "Wexa 14: Computer Room LanKeeper";
        QTest::newRow("5.4") << 5 << 4 << "Model RX700-4: 4-20ma Monitor";
        QTest::newRow("3.20") << 3 << 20 << "Model RX720: High Temperature Keeper";
        QTest::newRow("7.50") << 7 << 50 << "Model RX700-5: Phone Only";
        QTest::newRow("3.10") << 3 << 10 << "Server model could not be determined";
    }

    void modelTexts()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QTEST(ModelText(family, model), "text");
    }

    void logRecordSizes()
    {
        QCOMPARE(LogRecordSize(3, 5, 4), 11);
        QCOMPARE(LogRecordSize(3, 6, 4), 15);
        QCOMPARE(LogRecordSize(3, 7, 4), 0);
        QCOMPARE(LogRecordSize(5, 8, 23), 23);
        QCOMPARE(LogRecordSize(5, 8, 22), 0);
    }

    void nodes()
    {
        QCOMPARE(ServerNodeText("Freezer number 12 in the basement", "10.1.1.1"),
                 QStringLiteral("Freezer number 12 in @ IP 10.1.1.1"));
        QCOMPARE(ServerNodeText("Lab", "10.1.1.2"), QStringLiteral("Lab                  @ IP 10.1.1.2"));
        QCOMPARE(ServerIdFromKey(ServerNodeKey(4711)), 4711);
        QCOMPARE(ServerIdFromKey("MainNode"), -1);
    }

    void storedAddressList_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("two") << "a@x.org,b@y.org," << QStringList{"a@x.org", "b@y.org"};
        QTest::newRow("two commas") << "a@x.org,,b@y.org," << QStringList{"a@x.org", "", "b@y.org"};
        QTest::newRow("no last comma") << "a@x.org,b@y.org" << QStringList{"a@x.org", "b@y.org"};
        QTest::newRow("single last character") << "a@x.org,b" << QStringList{"a@x.org"};
        QTest::newRow("one character") << "b" << QStringList();
        QTest::newRow("empty") << "" << QStringList();
    }

    void storedAddressList()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, entries);
        QCOMPARE(ParseAddrToList(stored), entries);
        // The list written back is the stored form again (every entry followed by ",").
        if (stored.endsWith(','))
            QCOMPARE(JoinAddrList(entries), stored);
    }

    void acceptableAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("plain") << "night.shift@example.com" << true;
        QTest::newRow("blanks around") << "  ops@example.com " << true;
        QTest::newRow("no @") << "ops.example.com" << false;
        QTest::newRow("no dot") << "ops@example" << false;
        // A list holding an address the mailer cannot use would stop every alarm mail of the device.
        QTest::newRow("only @ and dot") << "@." << false;
        QTest::newRow("two in one") << "a@x.org,b@y.org" << false;
        QTest::newRow("blank inside") << "ops team@example.com" << false;
    }

    void acceptableAddresses()
    {
        QFETCH(QString, address);
        QTEST(AcceptableListAddress(address), "accepted");
    }
};

QTEST_GUILESS_MAIN(TestDeviceTables)
#include "tst_devicetables.moc"
