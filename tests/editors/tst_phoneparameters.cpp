// The telephone call-out parameters of an RX705 against a simulated device.
#include "support_editorrig.h"

#include <editors/ModelLayouts.h>
#include <editors/PhoneParameters.h>
#include <link/PageValues.h>

#include <QTest>

namespace {

QString address(int host)
{
    return QStringLiteral("127.0.81.%1").arg(host);
}

QString box(int index)
{
    return QStringLiteral("txtPhoneNumber_%1").arg(index);
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// An RX705 whose phone pages hold known numbers and settings.
void programPhonePages(SimDevice &device)
{
    QByteArray page8 = device.page(8);
    page8.replace(8, 20, hex("05050501020304") + hex("1C") + QByteArray(12, char(0x33)));
    page8.replace(28, 20, hex("0102030405060708090001020304050607080900")); // 20 symbols
    page8.replace(48, 8, hex("0003000A7A7A0384")); // rings 3, outage 10, 53-54 kept, unit 900
    device.setPage(8, page8);
    QByteArray page11 = device.page(11);
    page11.replace(40, 6, hex("000300070078")); // repeat 3, call-outs on, reminder 120
    device.setPage(11, page11);
    QByteArray page12 = device.page(12);
    page12.replace(8, 18, hex("00050006FFFB000000000000000000000A03")); // correction factors, filter
    device.setPage(12, page12);
}

} // namespace

class TestPhoneParameters : public QObject {
    Q_OBJECT
private slots:
    void downloadShowsEveryParameter()
    {
        EditorRig rig(address(1), 5, 5, 25);
        QVERIFY(rig.ready);
        programPhonePages(rig.device);
        EditorSession &phone = rig.session(PhoneParametersLayout());
        QVERIFY(phone.GetLimits());
        const EditorForm &f = rig.form;
        QCOMPARE(f.text(box(0)), QString("5551234"));
        QCOMPARE(f.text(box(1)), QString("12345678901234567890"));
        QCOMPARE(f.text(box(2)), QString()); // a field starting with 1C
        QCOMPARE(f.text(box(9)), QString("3"));
        QCOMPARE(f.text(box(13)), QString("10"));
        QCOMPARE(f.text(box(11)), QString("900"));
        QCOMPARE(f.text(box(12)), QString("3"));
        QCOMPARE(f.text(box(10)), QString("120"));
        QCOMPARE(f.choice("cmboCalloutYN"), 1);
        QCOMPARE(rig.readPages(), QList<int>({8, 9, 10, 11, 12, 13}));
        QVERIFY(f.messages().isEmpty());
    }

    // The numbers' encoding, the values accepted by the range tests, and page 12 written back
    // exactly as this window read it.
    void savedPagesHoldTheEdits()
    {
        EditorRig rig(address(2), 5, 5, 25);
        QVERIFY(rig.ready);
        programPhonePages(rig.device);
        const QByteArray page12 = rig.device.page(12);
        EditorSession &phone = rig.session(PhoneParametersLayout());
        QVERIFY(phone.GetLimits());
        EditorForm &f = rig.form;
        f.setText(box(0), "*5");
        f.setText(box(3), "1234567890123456789");
        f.setText(box(8), "4711");
        f.setChoice("cmboCalloutYN", 0);
        rig.device.clearTraffic();
        QVERIFY(phone.SaveLimits(false));
        QCOMPARE(rig.storedPages(), QList<int>({8, 9, 10, 11, 12, 13}));
        QCOMPARE(rig.t.prompts.texts, QStringList());

        const QByteArray page8 = rig.device.page(8);
        QCOMPARE(page8.mid(8, 4).toHex(' '), QByteArray("1b 05 1c 01")); // bytes after 1C stay
        QCOMPARE(page8.mid(28, 20), hex("0102030405060708090001020304050607080900"));
        QCOMPARE(page8.mid(48, 8).toHex(' '), QByteArray("00 03 00 0a 7a 7a 03 84"));
        QCOMPARE(rig.device.page(9).mid(28, 20), hex("01020304050607080900010203040506070809") + hex("1C"));
        QCOMPARE(rig.device.page(9).at(8), char(0x1C)); // empty stays empty
        QCOMPARE(rig.device.page(10).mid(8, 5).toHex(' '), QByteArray("04 07 01 01 1c"));
        QCOMPARE(PageInt16(rig.device.page(11), 42).value_or(-1), 0);
        QCOMPARE(rig.device.page(12).toHex(' '), page12.toHex(' '));
    }

    void rangeTests_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("replacement");
        QTest::newRow("blank") << 11 << ""
                               << "Please do not leave a parameter blank"
                               << "";
        QTest::newRow("rings 0")
            << 9 << "0"
            << "The number of rings you wish to program is out of limits.  Please enter a "
               "value between 1 and 25."
            << "1";
        QTest::newRow("reminder 10")
            << 10 << "10"
            << "The reminder callout time delay you wish to program is out of limits.  "
               "Please enter a value between 15 and 900 minutes."
            << "60";
        QTest::newRow("unit 901")
            << 11 << "901"
            << "The unit callout time delay you wish to program is out of limits.  Please "
               "enter a value between 0 and 900 minutes."
            << "2";
        QTest::newRow("repeat 5")
            << 12 << "5"
            << "The number of times to repeat the warning message you wish to program is out "
               "of limits.  Please enter a value between 0 and 3."
            << "1";
        QTest::newRow("outage 121")
            << 13 << "121"
            << "The power outage time delay you wish to program is out of limits.  Please "
               "enter a value between 0 and 120 minutes."
            << "5";
        QTest::newRow("pasted number")
            << 4 << "555-1234"
            << "Contact Phone Number 5 can not be stored.  A number may hold only the "
               "digits 0 to 9 and \"*\", at most 20 of them."
            << "555-1234";
    }
    void rangeTests()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, replacement);
        EditorRig rig(address(3), 5, 5, 25);
        QVERIFY(rig.ready);
        EditorSession &phone = rig.session(PhoneParametersLayout());
        QVERIFY(phone.GetLimits());
        rig.form.setText(box(index), text);
        rig.device.clearTraffic();
        QVERIFY(!phone.SaveLimits(false));
        QCOMPARE(rig.t.prompts.texts, QStringList{message});
        QCOMPARE(rig.form.text(box(index)), replacement);
        QCOMPARE(rig.device.transactionCount(), 0);
    }

    // A device value of 5 repeats is shown, then refused at save; 3 is accepted.
    void repeatCountFromTheDevice()
    {
        EditorRig rig(address(4), 5, 5, 25);
        QVERIFY(rig.ready);
        QByteArray page11 = rig.device.page(11);
        page11.replace(40, 2, hex("0005"));
        rig.device.setPage(11, page11);
        EditorSession &phone = rig.session(PhoneParametersLayout());
        QVERIFY(phone.GetLimits());
        QCOMPARE(rig.form.text(box(12)), QString("5"));
        QVERIFY(!phone.SaveLimits(false));
        QCOMPARE(rig.form.text(box(12)), QString("1"));
        rig.form.setText(box(12), "3");
        QVERIFY(phone.SaveLimits(false));
        QCOMPARE(PageInt16(rig.device.page(11), 40).value_or(-1), 3);
    }

    void defaultsStoreTheFactoryTiming()
    {
        EditorRig rig(address(5), 5, 5, 25);
        QVERIFY(rig.ready);
        programPhonePages(rig.device);
        EditorSession &phone = rig.session(PhoneParametersLayout());
        QVERIFY(phone.GetLimits());
        rig.t.prompts.queueAnswer(Prompts::Answer::Cancel);
        QVERIFY(!RestorePhoneDefaults(phone));
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        QVERIFY(RestorePhoneDefaults(phone));
        QCOMPARE(rig.t.prompts.titles.last(), QString("Factory Defaults?"));
        const QByteArray page8 = rig.device.page(8);
        QCOMPARE(page8.mid(48, 8).toHex(' '), QByteArray("00 01 00 05 7a 7a 00 03"));
        QCOMPARE(rig.device.page(11).mid(40, 6).toHex(' '), QByteArray("00 00 00 00 00 3c"));
        QCOMPARE(page8.mid(8, 7).toHex(), QByteArray("05050501020304")); // numbers as shown
        QCOMPARE(rig.t.prompts.unexpected, 0);
    }

    void failedPagesAreNamedAndNotStored()
    {
        EditorRig rig(address(6), 5, 5, 25);
        QVERIFY(rig.ready);
        rig.device.setReplyOverride(hex("AABBCC0A"), QByteArray(60, 'x'), 1);
        EditorSession &phone = rig.session(PhoneParametersLayout());
        QVERIFY(phone.GetLimits());
        QCOMPARE(rig.form.messages(), QStringList{"Failed to download contact phone number 5"});
        rig.form.setText(box(8), "12");
        rig.device.clearTraffic();
        QVERIFY(!phone.SaveLimits(false)); // a page left out makes the upload a failure
        QCOMPARE(rig.storedPages(), QList<int>({8, 9, 11, 12, 13}));
        QVERIFY(rig.form.messages().contains("Page 10 was not uploaded because it could not be downloaded"));
        QCOMPARE(rig.form.messages().last(), QString("Upload incomplete: page 10 not stored"));
    }
};

QTEST_GUILESS_MAIN(TestPhoneParameters)
#include "tst_phoneparameters.moc"
