#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>
#include <link/PageValues.h>
#include <link/ReplyParser.h>

#include <support/TestState.h>

#include <QTest>

#include <limits>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray identifyReply(int family, int model, int firmware)
{
    QByteArray reply = BuildCommand(DeviceCommands().IdentifyCommand);
    SetPageInt16(reply, 4, family);
    SetPageInt16(reply, 6, model);
    SetPageInt16(reply, 8, firmware);
    return reply;
}

// A readings reply with the same two reading bytes on every port.
QByteArray readingsReply(const QByteArray &readingBytes, int resolution, char scale = 'F')
{
    QByteArray reply = BuildCommand(DeviceCommands().DataCommand);
    for (int port = 0; port < 10; ++port)
        reply.replace(4 + 5 * port, 2, readingBytes);
    reply[58] = char(resolution);
    reply[59] = scale;
    return reply;
}

} // namespace

class TestCodec : public QObject {
    Q_OBJECT
private slots:
    void framesAndCodes()
    {
        const CommandCodes &codes = InitCommands();
        QCOMPARE(&codes, &DeviceCommands());
        QCOMPARE(BuildCommand(codes.IdentifyCommand), bytes({0x2A, 0xCD, 0xDC, 0xBA}) + QByteArray(56, '\0'));
        QCOMPARE(BuildCommand(codes.DataCommand).size(), 60);
        QCOMPARE(codes.LogDownloadCommand, bytes({0xDE, 0xCA, 0xDE, 0x04}));
        QCOMPARE(CommandCodes::ReadUserPageCommand(15), bytes({0xAA, 0xBB, 0xCC, 0x0F}));
        QCOMPARE(CommandCodes::StoreUserPageCommand(2), bytes({0xDD, 0xCC, 0xBB, 0x02}));
        // A full frame (content already in it) or a longer one goes out unchanged.
        const QByteArray frame(60, 'x'), longer(75, 'y');
        QCOMPARE(BuildCommand(frame), frame);
        QCOMPARE(BuildCommand(longer), longer);
        QVERIFY(IsBusyReply(bytes({0xB5, 0x5E, 0xB5, 0x5E}) + QByteArray(56, '\0')));
        QVERIFY(!IsBusyReply(bytes({0xB5, 0x5E, 0xB5})));
    }

    void readingValues_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("signedValue");
        QTest::addColumn<int>("unsignedValue");
        QTest::newRow("minus 200") << bytes({0xFF, 0x38}) << 0 << -200 << 65336;
        QTest::newRow("sensor open") << bytes({0x03, 0xE7}) << 0 << 999 << 999;
        QTest::newRow("sensor shorted") << bytes({0xFC, 0x19}) << 0 << -999 << 64537;
        QTest::newRow("lowest") << bytes({0x80, 0x00}) << 0 << -32768 << 32768;
        QTest::newRow("highest") << bytes({0x7F, 0xFF}) << 0 << 32767 << 32767;
        QTest::newRow("at an offset") << bytes({0x00, 0x00, 0x02, 0xD5}) << 2 << 725 << 725;
    }

    void readingValues()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, index);
        QFETCH(int, signedValue);
        QFETCH(int, unsignedValue);
        QCOMPARE(DecodeReading(message, index), std::optional<float>(float(signedValue)));
        QCOMPARE(PageInt16(message, index), std::optional<int>(signedValue));
        QCOMPARE(PageUInt16(message, index), std::optional<int>(unsignedValue));
        // Split for storage and read back.
        QByteArray stored(index + 2, '\0');
        QVERIFY(SetPageInt16(stored, index, signedValue));
        QCOMPARE(stored.mid(index), message.mid(index, 2));
        QCOMPARE(HighByte(signedValue), (unsigned char)message.at(index));
        QCOMPARE(LowByte(signedValue), (unsigned char)message.at(index + 1));
    }

    void valuesPastTheEnd()
    {
        const QByteArray page = bytes({0x01, 0xFE});
        QCOMPARE(PageByte(page, 1), std::optional<int>(254));
        QVERIFY(!PageByte(page, 2));
        QVERIFY(!PageByte(page, -1));
        QVERIFY(!PageInt16(page, 1));
        QVERIFY(!DecodeReading(page, 1));
        QByteArray target = page;
        QVERIFY(!SetPageInt16(target, 1, 5));
        QVERIFY(!SetPageByte(target, 2, 5));
        // The farthest positions an int can name are past the end as well.
        constexpr int farthest = std::numeric_limits<int>::max();
        QVERIFY(!PageByte(page, farthest));
        QVERIFY(!PageInt16(page, farthest));
        QVERIFY(!DecodeReading(page, farthest - 1));
        QVERIFY(!SetPageInt16(target, farthest, 5));
        QCOMPARE(target, page);
        QVERIFY(SetPageByte(target, 0, 300)); // only the low byte is kept
        QCOMPARE(target.at(0), char(44));
    }

    void identifyValues()
    {
        TestState t;
        QByteArray reply = BuildCommand(DeviceCommands().IdentifyCommand);
        reply.replace(4, 6, bytes({0x00, 0x05, 0x00, 0x08, 0x00, 0x1A}));
        QVERIFY(ParseMessage(t.state, BuildCommand(DeviceCommands().IdentifyCommand), reply));
        QCOMPARE(t.state.ModelFamily, 5);
        QCOMPARE(t.state.ModelNumber, 8);
        QCOMPARE(t.state.FirmwareRevision, 26);
        QVERIFY(t.errors.lines().isEmpty());
    }

    void identifyFaultsKeepLaterValues_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        const QByteArray code = DeviceCommands().IdentifyCommand;
        QTest::newRow("model out of range")
            << code + bytes({0x00, 0x03, 0x80, 0x01, 0x00, 0x02}) << 3 << 1 << 1;
        QTest::newRow("family out of range")
            << code + bytes({0xFF, 0xFF, 0x00, 0x02, 0x00, 0x02}) << 1 << 1 << 1;
        QTest::newRow("cut after the model") << code + bytes({0x00, 0x03, 0x00, 0x06, 0x00}) << 3 << 6 << 1;
        QTest::newRow("only the code") << code << 1 << 1 << 1;
    }

    void identifyFaultsKeepLaterValues()
    {
        QFETCH(QByteArray, reply);
        TestState t;
        t.state.ModelFamily = t.state.ModelNumber = t.state.FirmwareRevision = 1;
        QVERIFY(!ParseMessage(t.state, DeviceCommands().IdentifyCommand, reply));
        QTEST(t.state.ModelFamily, "family");
        QTEST(t.state.ModelNumber, "model");
        QTEST(t.state.FirmwareRevision, "firmware");
        QCOMPARE(t.errors.lines().size(), 1);
        QVERIFY(t.errors.lines().first().contains("ParseMessage"));
    }

    void readingScaling_data()
    {
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("resolution");
        QTest::addColumn<QList<float>>("perPort"); // reading of ports 0 to 9 for bytes 02 D5
        const float t = 72.5f, w = 725.0f;
        QTest::newRow("family 5, firmware 23")
            << 5 << 8 << 23 << 10 << QList<float>{t, t, t, t, t, t, t, t, w, w};
        QTest::newRow("family 5, firmware 22") << 5 << 8 << 22 << 10 << QList<float>(10, w);
        QTest::newRow("family 5, no flag") << 5 << 8 << 30 << 0 << QList<float>(10, w);
        QTest::newRow("family 3, model 6") << 3 << 6 << 1 << 10 << QList<float>{t, t, t, t, w, w, w, w, w, w};
        QTest::newRow("family 3, model 4, firmware 5")
            << 3 << 4 << 5 << 10 << QList<float>{t, t, w, w, w, w, w, w, w, w};
        QTest::newRow("family 3, model 4, firmware 4") << 3 << 4 << 4 << 10 << QList<float>(10, w);
        QTest::newRow("other family") << 4 << 9 << 99 << 10 << QList<float>(10, w);
    }

    void readingScaling()
    {
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, firmware);
        QFETCH(int, resolution);
        QFETCH(QList<float>, perPort);
        TestState t;
        QVERIFY(
            ParseMessage(t.state, DeviceCommands().IdentifyCommand, identifyReply(family, model, firmware)));
        QVERIFY(ParseMessage(t.state, DeviceCommands().DataCommand,
                             readingsReply(bytes({0x02, 0xD5}), resolution)));
        for (int port = 0; port < 10; ++port)
            QCOMPARE(t.state.Readings[3 * port], perPort[port]);
    }

    void readingsBlocks()
    {
        TestState t;
        t.state.Readings.fill(-1.0f);
        QByteArray reply = readingsReply(bytes({0x00, 0x00}), 0, 'C');
        reply.replace(4, 5, bytes({0xFF, 0x38, 0xFF, 0xFF, 0xFF}));      // port 0
        reply.replace(4 + 5 * 9, 5, bytes({0x03, 0xE8, 0x01, 0x02, 7})); // port 9
        QVERIFY(ParseMessage(t.state, BuildCommand(DeviceCommands().DataCommand), reply));
        QCOMPARE(t.state.Readings[0], -200.0f);
        QCOMPARE(t.state.Readings[1], 65535.0f);
        QCOMPARE(t.state.Readings[2], 255.0f);
        QCOMPARE(t.state.Readings[27], 1000.0f);
        QCOMPARE(t.state.Readings[28], 258.0f);
        QCOMPARE(t.state.Readings[29], 7.0f);
        QCOMPARE(t.state.Readings[30], -1.0f); // past the ten ports: untouched
        QCOMPARE(t.state.TemperatureScale, int('C'));
    }

    void shortReadingsKeepWhatWasRead()
    {
        TestState t;
        t.state.Readings.fill(-1.0f);
        t.state.TemperatureScale = 'F';
        // Cut at 20 bytes: the flag byte is missing when port 0 is scaled, so nothing is stored.
        QByteArray reply = readingsReply(bytes({0x00, 0x10}), 0).left(20);
        QVERIFY(!ParseMessage(t.state, DeviceCommands().DataCommand, reply));
        QCOMPARE(t.state.Readings[0], -1.0f);
        QCOMPARE(t.errors.lines().size(), 1);
        // Cut at 59 bytes: every port block is there but the scale letter is not.
        reply = readingsReply(bytes({0x00, 0x10}), 0).left(59);
        QVERIFY(!ParseMessage(t.state, DeviceCommands().DataCommand, reply));
        QCOMPARE(t.state.Readings[27], 16.0f);
        QCOMPARE(t.state.TemperatureScale, int('F'));
        QCOMPARE(t.errors.lines().size(), 2);
    }

    void otherCommandsChangeNothing()
    {
        TestState t;
        t.state.ModelFamily = 3;
        QVERIFY(ParseMessage(t.state, CommandCodes::ReadUserPageCommand(1), identifyReply(5, 5, 5)));
        QVERIFY(ParseMessage(t.state, QByteArray(), QByteArray()));
        QCOMPARE(t.state.ModelFamily, 3);
        QVERIFY(t.errors.lines().isEmpty());
    }

    void judging_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("accepted");
        const CommandCodes &c = DeviceCommands();
        const QByteArray identify = BuildCommand(c.IdentifyCommand);
        const QByteArray log = BuildCommand(c.LogDownloadCommand);
        QTest::newRow("echo") << identify << identify << 60 << true;
        QTest::newRow("longer with echo") << identify << identify + "abc" << 60 << true;
        QTest::newRow("short") << identify << identify.left(59) << 60 << false;
        QTest::newRow("empty") << identify << QByteArray() << 60 << false;
        QTest::newRow("wrong echo") << identify << BuildCommand(c.DataCommand) << 60 << false;
        QTest::newRow("busy") << identify << BuildCommand(c.BusyReply) << 60 << false;
        QTest::newRow("ERROR") << identify << BuildCommand(c.IdentifyCommand + "ERROR") << 60 << false;
        QTest::newRow("eRrOr at the end") << identify << identify.left(55) + "eRrOr" << 60 << false;
        QTest::newRow("log without echo") << log << QByteArray(200, 'e') + "error" << 205 << true;
        QTest::newRow("log short") << log << QByteArray(204, 'x') << 205 << false;
        QTest::newRow("log empty") << log << QByteArray() << 0 << false;
    }

    void judging()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        QFETCH(int, expected);
        QTEST(JudgeReply(command, reply, expected), "accepted");
    }

    void progressCaption()
    {
        QCOMPARE(DownloadProgressText("Lab", 120, 2300),
                 QString("Downloading log records from Lab  Total bytes Received: 120 of 2300 bytes"));
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
