// Moving user pages to and from a device: framing, success and busy tests, read-modify-store,
// and the configuration page with the device's name, unit and address.
#include "support_devicerig.h"

#include <config/ConfigPage.h>
#include <config/DeviceClock.h>
#include <link/DeviceCommands.h>

#include <QElapsedTimer>
#include <QTest>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

class TestUserPages : public QObject {
    Q_OBJECT
private slots:
    void storeHeader()
    {
        QByteArray image = CommandCodes::ReadUserPageCommand(7) + QByteArray(56, 'x');
        QVERIFY(InsertStoreUserPageCommand(image));
        QCOMPARE(image.left(4), hex("DDCCBB07"));
        QCOMPARE(image.mid(4), QByteArray(56, 'x'));
        QByteArray tooShort = hex("AABB");
        QVERIFY(!InsertStoreUserPageCommand(tooShort));
        QCOMPARE(tooShort, hex("AABB"));
    }

    void successTests()
    {
        const QByteArray request = CommandCodes::StoreUserPageCommand(2) + QByteArray(56, 'n');
        QByteArray oneByteOff = request;
        oneByteOff[40] = 'm';
        // The configuration page needs the whole page back; the editors only the header.
        QVERIFY(StoreSucceeded(true, request, request, StoreCheck::WholeReply));
        QVERIFY(!StoreSucceeded(true, request, oneByteOff, StoreCheck::WholeReply));
        QVERIFY(StoreSucceeded(true, request, oneByteOff, StoreCheck::HeaderEcho));
        QVERIFY(!StoreSucceeded(false, request, request, StoreCheck::HeaderEcho));
        QVERIFY(ReadSucceeded(true, hex("AABBCC01"), hex("AABBCC01FF")));
        QVERIFY(!ReadSucceeded(true, hex("AABBCC01"), hex("AABBCC02FF")));
        // A busy reply fails the echo test first and is then told apart from other failures.
        QCOMPARE(Classify(ReadSucceeded(false, hex("AABBCC01"), busyReply()), busyReply()),
                 PageOutcome::Busy);
        QCOMPARE(Classify(false, hex("AABBCC01")), PageOutcome::Failed);
        QCOMPARE(Classify(false, QByteArray()), PageOutcome::Failed);
    }

    void readAndModify()
    {
        DeviceRig rig(QStringLiteral("127.0.30.1"));
        QVERIFY2(rig.started, qPrintable(rig.device.errorString()));
        QByteArray known = rig.device.page(6);
        for (int i = 4; i < 60; ++i)
            known[i] = char(i * 7);
        rig.device.setPage(6, known);

        QByteArray image;
        QCOMPARE(rig.pages.ReadPage(rig.address, 6, image), PageOutcome::Done);
        QCOMPARE(image, rig.device.page(6));
        QCOMPARE(rig.device.lastCommand(), hex("AABBCC06") + QByteArray(56, '\0'));

        // Two bytes changed; every other byte goes back as the device had it.
        const auto change = [](QByteArray &page) {
            page[20] = 'A';
            page[59] = 'Z';
        };
        QCOMPARE(rig.pages.ModifyPage(rig.address, 6, change, StoreCheck::HeaderEcho), PageWrite::Stored);
        QByteArray expected = known;
        change(expected);
        QCOMPARE(rig.device.page(6), expected);
        QCOMPARE(rig.device.lastCommand().left(4), hex("DDCCBB06"));
        QCOMPARE(rig.device.lastCommand().mid(4), expected.mid(4));
        // A change cannot move the page: the header stays that of the page read.
        const QByteArray page9 = rig.device.page(9);
        const auto moveHeader = [](QByteArray &page) { page[3] = 9; };
        QCOMPARE(rig.pages.ModifyPage(rig.address, 6, moveHeader, StoreCheck::WholeReply), PageWrite::Stored);
        QCOMPARE(rig.device.page(6), expected);
        QCOMPARE(rig.device.page(9), page9);

        QCOMPARE(rig.pages.ReadPage(rig.address, 16, image), PageOutcome::Failed);
        QVERIFY(rig.t.errors.lines().size() == 1);
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("readReply"); // empty: the device's own
        QTest::addColumn<QByteArray>("storeReply");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("commands");
        QTest::newRow("read busy") << busyReply() << QByteArray() << int(PageWrite::ReadBusy) << 1;
        QTest::newRow("read wrong header")
            << BuildCommand(hex("AABBCC03")) << QByteArray() << int(PageWrite::ReadFailed) << 1;
        QTest::newRow("store busy") << QByteArray() << busyReply() << int(PageWrite::StoreBusy) << 2;
        QTest::newRow("store reply differs")
            << QByteArray() << BuildCommand(hex("DDCCBB020000000041")) << int(PageWrite::StoreFailed) << 2;
    }

    void refusals()
    {
        QFETCH(QByteArray, readReply);
        QFETCH(QByteArray, storeReply);
        QFETCH(int, result);
        QFETCH(int, commands);
        DeviceRig rig(QStringLiteral("127.0.30.2"));
        QVERIFY(rig.started);
        const QByteArray before = rig.device.page(2);
        if (!readReply.isEmpty())
            rig.device.setReplyOverride(hex("AABBCC"), readReply);
        if (!storeReply.isEmpty())
            rig.device.setReplyOverride(hex("DDCCBB"), storeReply);
        const auto rename = [](QByteArray &page) { ConfigPage::Fill(page, "Other", 'C', "1.2.3.4"); };
        QCOMPARE(int(rig.pages.ModifyPage(rig.address, 2, rename, StoreCheck::WholeReply)), result);
        // Nothing is written after a failed read; a refused store is not retried.
        QCOMPARE(rig.device.transactionCount(), commands);
        QCOMPARE(rig.device.page(2), before);
    }

    void silentDeviceAndBadImages()
    {
        DeviceRig rig(QStringLiteral("127.0.30.3"));
        QVERIFY(rig.started);
        rig.device.setFault(SimFault::Silent);
        QElapsedTimer clock;
        clock.start();
        QByteArray image;
        QCOMPARE(rig.pages.ReadPage(rig.address, 2, image), PageOutcome::Failed);
        QVERIFY(image.isEmpty());
        QCOMPARE(rig.pages.Identify(rig.address), PageOutcome::Failed);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        rig.device.clearFault();
        rig.device.clearTraffic();
        // Only a page image is ever stored: never a busy reply, an empty or a short buffer.
        for (const QByteArray &bad :
             {busyReply(), QByteArray(), hex("AABBCC02"), BuildCommand(hex("AABBCC10"))})
            QCOMPARE(rig.pages.StorePage(rig.address, bad, StoreCheck::HeaderEcho), PageOutcome::Failed);
        QCOMPARE(rig.device.transactionCount(), 0);
    }

    void configPageByFamily_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("page");
        QTest::newRow("Wexa 14") << 3 << 4 << 1;
        QTest::newRow("RX700-5") << 5 << 5 << 2;
        QTest::newRow("RX740") << 5 << 40 << 2;
    }

    void configPageByFamily()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, page);
        DeviceRig rig(QStringLiteral("127.0.30.4"), family, model, 25);
        QVERIFY(rig.started);
        QByteArray seeded = rig.device.page(page);
        for (int i : {4, 5, 6, 7, 49, 55, 59})
            seeded[i] = char(0xA0 + i);
        rig.device.setPage(page, seeded);
        const QByteArray otherPage = rig.device.page(3 - page);

        const QString longName = QStringLiteral("   Caf\u00e9 freezer in the north wing");
        QCOMPARE(UploadConfigPage(rig.pages, rig.address, longName, 'C', "10.1.2.3"), ConfigUpload::Stored);
        const QByteArray stored = rig.device.page(page);
        QCOMPARE(stored.mid(8, 20), QByteArray("Caf\xe9 freezer in the "));
        QCOMPARE(stored.at(28), 'C');
        QCOMPARE(stored.mid(29, 20), QByteArray("10.1.2.3            "));
        for (int i : {4, 5, 6, 7, 49, 55, 59})
            QCOMPARE(quint8(stored.at(i)), quint8(0xA0 + i));
        QCOMPARE(rig.device.page(3 - page), otherPage);
        QCOMPARE(rig.t.state.ModelFamily, family);
        QCOMPARE(rig.t.state.ModelNumber, model);

        const ConfigDownload down = DownloadConfigPage(rig.pages, rig.address);
        QCOMPARE(int(down.outcome), int(ConfigDownload::Outcome::Done));
        QCOMPARE(down.name, QStringLiteral("Caf\u00e9 freezer in the"));
        QCOMPARE(down.unit, QChar('C'));
    }

    void configPageFailures()
    {
        DeviceRig rig(QStringLiteral("127.0.30.5"), 3, 3, 5);
        QVERIFY(rig.started);
        const QByteArray name = rig.device.deviceName();
        rig.device.setFault(SimFault::Refused);
        QCOMPARE(UploadConfigPage(rig.pages, rig.address, "X", 'F', rig.address),
                 ConfigUpload::IdentifyFailed);
        QCOMPARE(int(DownloadConfigPage(rig.pages, rig.address).outcome),
                 int(ConfigDownload::Outcome::IdentifyFailed));
        rig.device.clearFault();
        rig.device.setReplyOverride(hex("AABBCC"), busyReply(), 2);
        QCOMPARE(UploadConfigPage(rig.pages, rig.address, "X", 'F', rig.address), ConfigUpload::ReadBusy);
        QCOMPARE(int(DownloadConfigPage(rig.pages, rig.address).outcome),
                 int(ConfigDownload::Outcome::ReadBusy));
        rig.device.setReplyOverride(hex("AABBCC"), BuildCommand(hex("AABBCC01")) + "error", 1);
        QCOMPARE(UploadConfigPage(rig.pages, rig.address, "X", 'F', rig.address), ConfigUpload::ReadFailed);
        rig.device.setReplyOverride(hex("DDCCBB"), busyReply(), 1);
        QCOMPARE(UploadConfigPage(rig.pages, rig.address, "X", 'F', rig.address), ConfigUpload::StoreBusy);
        rig.device.setReplyOverride(hex("DDCCBB"), BuildCommand(hex("DDCCBB01")), 1);
        QCOMPARE(UploadConfigPage(rig.pages, rig.address, "X", 'F', rig.address), ConfigUpload::StoreFailed);
        QCOMPARE(rig.device.deviceName(), name);

        // A name holding "error" makes every read of its page fail; the download says why.
        rig.device.setDeviceName("Freezer Error Log");
        ConfigDownload down = DownloadConfigPage(rig.pages, rig.address);
        QCOMPARE(int(down.outcome), int(ConfigDownload::Outcome::ReadFailed));
        QVERIFY(down.errorWordInName);
        QVERIFY(!ConfigPage::NameRefusal("Terror Room").isEmpty());
        QVERIFY(ConfigPage::NameRefusal("Terra Room").isEmpty());
        // The device's own error text is refused for every exchange, and is no name's fault.
        rig.device.setDeviceName("Cold Room");
        rig.device.setFault(SimFault::ErrorText);
        QCOMPARE(rig.pages.Identify(rig.address), PageOutcome::Failed);
        QByteArray image;
        QCOMPARE(rig.pages.ReadPage(rig.address, 1, image), PageOutcome::Failed);
        QCOMPARE(rig.pages.StorePage(rig.address, rig.device.page(1), StoreCheck::HeaderEcho),
                 PageOutcome::Failed);
        QString clockText;
        int rate = 0;
        int count = 0;
        ReadClock(rig.link, rig.address, clockText, rate, count);
        QCOMPARE(clockText, "Failed to read date and time from " + rig.address);
        rig.device.clearFault();
        rig.device.setReplyOverride(hex("AABBCC"), BuildCommand(hex("AABBCC01")) + "error", 1);
        down = DownloadConfigPage(rig.pages, rig.address);
        QCOMPARE(int(down.outcome), int(ConfigDownload::Outcome::ReadFailed));
        QVERIFY(!down.errorWordInName);
        QCOMPARE(rig.device.deviceName(), QByteArray("Cold Room"));

        // Only blanks are trimmed from a name: a tab is part of it.
        QCOMPARE(ConfigPage::StoredName(QStringLiteral("  \tLab\t  ")), QStringLiteral("\tLab\t"));
    }
};

QTEST_GUILESS_MAIN(TestUserPages)
#include "tst_userpages.moc"
