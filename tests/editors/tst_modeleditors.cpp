// The editors of the RX708, RX720, RX740, Wexa and Wexa 16 against simulated devices.
#include "support_editorrig.h"

#include <editors/ModelLayouts.h>
#include <link/PageValues.h>

#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(const EditorLayout *)

namespace {

const QByteArray BusyReply = QByteArray::fromHex("B55EB55E") + QByteArray(56, '\0');

QString address(int host)
{
    return QStringLiteral("127.0.80.%1").arg(host);
}

// Byte indexes (0-based) of a page that no field of the layout covers, header excluded.
QList<int> uncoveredBytes(const EditorLayout &layout, int page)
{
    QSet<int> covered;
    for (const PageField &field : layout.fields) {
        if (field.page != page)
            continue;
        for (int k = 0; k < field.width(); ++k)
            covered.insert(field.position - 1 + k);
    }
    QList<int> free;
    for (int index = 4; index < 60; ++index) {
        if (!covered.contains(index))
            free.append(index);
    }
    return free;
}

char mark(int page, int index)
{
    return char(0x80 | ((page * 7 + index) & 0x7F));
}

// Writes a mark into every byte of the editor's pages that the editor does not interpret.
void markUncoveredBytes(SimDevice &device, const EditorLayout &layout)
{
    for (int page : layout.pages()) {
        if (page == ReadingsPage)
            continue;
        QByteArray image = device.page(page);
        for (int index : uncoveredBytes(layout, page))
            image[index] = mark(page, index);
        device.setPage(page, image);
    }
}

QStringList statusTexts(EditorForm &form, const std::function<void()> &action)
{
    QStringList seen;
    auto connection = QObject::connect(&form, &EditorForm::statusTextChanged,
                                       [&](const QString &text) { seen.append(text); });
    action();
    QObject::disconnect(connection);
    return seen;
}

} // namespace

class TestModelEditors : public QObject {
    Q_OBJECT
private slots:
    // Download, edit, save, download again: the device and the database hold the edit, and
    // every byte the editor does not interpret comes back as the device had it.
    void editsRoundTrip_data()
    {
        QTest::addColumn<const EditorLayout *>("layout");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<int>("host");
        QTest::newRow("RX708") << &Rx708Layout() << 5 << 8 << 12 << 1;
        QTest::newRow("RX720") << &Rx720Layout() << 5 << 20 << 3 << 2;
        QTest::newRow("RX740") << &Rx740Layout() << 5 << 40 << 3 << 3;
        QTest::newRow("Wexa 15") << &WexaLayout() << 3 << 5 << 5 << 4;
        QTest::newRow("Wexa 13") << &WexaLayout() << 3 << 3 << 4 << 5;
        QTest::newRow("Wexa 16") << &Wexa16Layout() << 3 << 6 << 5 << 6;
    }
    void editsRoundTrip()
    {
        QFETCH(const EditorLayout *, layout);
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(int, firmware);
        QFETCH(int, host);
        EditorRig rig(address(host), family, model, firmware);
        QVERIFY(rig.ready);
        markUncoveredBytes(rig.device, *layout);
        rig.device.setSensorName(0, "Probe A");
        EditorSession &editor = rig.session(*layout);
        QVERIFY(editor.GetLimits());
        EditorForm &f = rig.form;
        QCOMPARE(f.text("txtName_0"), QString("Probe A"));
        const bool limits = layout->hasField("txtLL_0");
        f.setText("txtName_1", "Edited name");
        f.setText("txtTOL_0", "25");
        f.setText("txtNotes_1", "a note");
        if (limits)
            f.setText("txtLL_0", "12");
        rig.device.clearTraffic();
        QVERIFY(editor.SaveLimits(false));

        for (const UploadStep &step : layout->upload.steps) {
            const QByteArray stored = rig.device.page(step.page);
            for (int index : uncoveredBytes(*layout, step.page))
                QVERIFY2(stored.at(index) == mark(step.page, index),
                         qPrintable(QString("page %1 byte %2").arg(step.page).arg(index + 1)));
        }
        QCOMPARE(rig.device.sensorName(1), QByteArray("Edited name"));
        QCOMPARE(rig.device.timeOutOfLimits(0), 25);
        if (limits) {
            double lower = 0, upper = 0;
            rig.device.limits(0, &lower, &upper);
            QCOMPARE(lower, 12.0);
        }
        QCOMPARE(rig.sensorColumn(1, "SensorName").toString(), QString("Edited name"));
        QCOMPARE(rig.sensorColumn(1, "SensorNotes").toString(), QString("a note"));
        QCOMPARE(rig.sensorColumn(1, "SensorType").toString(), layout->sensors.at(1));
        const bool limitsInDatabase = layout->upload.database == DatabaseLimits::Boxes;
        QCOMPARE(rig.sensorColumn(0, "TOL").isNull(), !limitsInDatabase);
        QCOMPARE(rig.sensorColumn(0, "LowerLimit").isNull(), !(limitsInDatabase && limits));

        EditorForm again;
        EditorSession reopened(rig.services(), *layout, again);
        reopened.IPAddress = rig.address;
        reopened.DatabaseID = rig.deviceId;
        QVERIFY(reopened.GetLimits());
        QCOMPARE(again.text("txtName_1"), QString("Edited name"));
        QCOMPARE(again.text("txtTOL_0"), QString("25"));
        QCOMPARE(again.text("txtNotes_1"), QString("a note"));
    }

    // The orders a shared base makes easy to get wrong.
    void downloadOrders_data()
    {
        QTest::addColumn<const EditorLayout *>("layout");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::addColumn<QList<QByteArray>>("codes"); // the first byte of each command, and the page
        const auto codes = [](std::initializer_list<const char *> list) {
            QList<QByteArray> out;
            for (const char *c : list)
                out.append(QByteArray::fromHex(c));
            return out;
        };
        QTest::newRow("RX720: no identify, page 0 before the readings")
            << &Rx720Layout() << 5 << 20 << codes({"AA03", "AA04", "AA07", "AA00", "AA01", "3F00"});
        QTest::newRow("RX740: no identify")
            << &Rx740Layout() << 5 << 40
            << codes({"AA03", "AA04", "AA05", "AA06", "AA07", "AA00", "AA01", "3F00"});
        QTest::newRow("RX708: identify first")
            << &Rx708Layout() << 5 << 8
            << codes({"2ABA", "AA03", "AA04", "AA05", "AA06", "AA07", "AA00", "AA01", "3F00"});
        QTest::newRow("Wexa 15: alarm options first")
            << &WexaLayout() << 3 << 5 << codes({"2ABA", "AA04", "AA02", "AA03", "3F00", "AA00"});
        QTest::newRow("Wexa 14: no alarm options")
            << &WexaLayout() << 3 << 4 << codes({"2ABA", "AA02", "AA03", "3F00", "AA00"});
        QTest::newRow("Wexa 16: internal sensor names")
            << &Wexa16Layout() << 3 << 6 << codes({"2ABA", "AA04", "AA02", "AA03", "AA05", "3F00", "AA00"});
    }
    void downloadOrders()
    {
        QFETCH(const EditorLayout *, layout);
        QFETCH(int, family);
        QFETCH(int, model);
        QFETCH(QList<QByteArray>, codes);
        EditorRig rig(address(10), family, model, 5);
        QVERIFY(rig.ready);
        EditorSession &editor = rig.session(*layout);
        QVERIFY(editor.GetLimits());
        QList<QByteArray> sent;
        for (const QByteArray &command : rig.device.commands())
            sent.append(command.left(1) + command.mid(3, 1));
        QCOMPARE(sent, codes);
    }

    // A Wexa 13 shows no alarm configuration, yet its upload reads and stores page 4: the empty
    // delay boxes store 0, the options without a selection keep the device's bytes.
    void wexa13StoresPage4WithoutShowingIt()
    {
        EditorRig rig(address(11), 3, 3, 4);
        QVERIFY(rig.ready);
        QByteArray page4 = rig.device.page(4);
        page4.replace(8, 4, QByteArray::fromHex("01070109"));
        rig.device.setPage(4, page4);
        EditorSession &editor = rig.session(WexaLayout());
        editor.Activate();
        QVERIFY(!rig.form.shown("frmAlarmConfiguration"));
        QVERIFY(!rig.readPages().contains(4));
        QVERIFY(rig.form.enabled("btnCal"));
        rig.device.clearTraffic();
        QVERIFY(editor.SaveLimits(false));
        QCOMPARE(rig.readPages(), QList<int>({4, 0, 2, 3}));
        QCOMPARE(rig.storedPages(), QList<int>({4, 0, 2, 3}));
        QCOMPARE(rig.device.page(4).mid(8, 4).toHex(' '), QByteArray("01 00 01 00"));
        QVERIFY(rig.form.messages().isEmpty()); // no completion line
    }

    // The Wexa upload reads each page afresh: a change the device made since the download stays.
    void wexaUploadBuildsOnAFreshRead()
    {
        EditorRig rig(address(12), 3, 5, 5);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Cooler");
        EditorSession &editor = rig.session(WexaLayout());
        QVERIFY(editor.GetLimits());
        rig.form.setText("txtAlarmReminderTimeDelay", "12");
        QByteArray page0 = rig.device.page(0);
        page0[40] = char(0x5A); // changed on the device after the download
        rig.device.setPage(0, page0);
        QVERIFY(editor.SaveLimits(false));
        QCOMPARE(quint8(rig.device.page(0).at(40)), quint8(0x5A));
        QCOMPARE(quint8(rig.device.page(4).at(9)), quint8(12));
        QCOMPARE(rig.sensorColumn(0, "SensorName").toString(), QString("Cooler"));

        // The name pages' stores are examined too: a refused one keeps the name in the database
        // as it was, and the upload is a failure that says which page the device did not take.
        rig.form.setText("txtName_0", "Walk-in cooler");
        rig.device.setReplyOverride(QByteArray::fromHex("DDCCBB02"), QByteArray(60, 'x'));
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(rig.form.messages().last(), QString("Upload incomplete: page 2 not stored"));
        QCOMPARE(rig.device.sensorName(0), QByteArray("Cooler"));
        QCOMPARE(rig.sensorColumn(0, "SensorName").toString(), QString("Cooler"));
    }

    void rx720StoresWholeDegrees()
    {
        EditorRig rig(address(13), 5, 20, 3);
        QVERIFY(rig.ready);
        rig.device.setSensorName(2, "Oven");
        EditorSession &editor = rig.session(Rx720Layout());
        QVERIFY(editor.GetLimits());
        rig.form.setText("txtUL_2", "72.5");
        rig.form.setText("txtLL_2", "-1000"); // no range test on this model
        QVERIFY(editor.SaveLimits(false));
        const QByteArray page0 = rig.device.page(0);
        QCOMPARE(PageInt16(page0, 22).value_or(0), 72);    // sensor 2: characters 23 and 24
        QCOMPARE(PageInt16(page0, 20).value_or(0), -1000); // characters 21 and 22
        QCOMPARE(rig.form.messages().last(), QString("Upload complete"));
        QVERIFY(rig.sensorColumn(2, "UpperLimit").isNull());
    }

    void rx708HidesTheBatteryBeforeFirmware12()
    {
        for (int firmware : {11, 12}) {
            EditorRig rig(address(14), 5, 8, firmware);
            QVERIFY(rig.ready);
            rig.device.setBatteryByte(131);
            EditorSession &editor = rig.session(Rx708Layout());
            QVERIFY(editor.GetLimits());
            QCOMPARE(rig.form.shown("txtBattV"), firmware >= 12);
            QCOMPARE(rig.form.shown("lblBattV"), firmware >= 12);
            QCOMPARE(rig.form.text("txtBattV"), QString("13.1"));
            QVERIFY(rig.form.messages().isEmpty());
        }
    }

    void rx740ShowsEachPageItMoves()
    {
        EditorRig rig(address(15), 5, 40, 3);
        QVERIFY(rig.ready);
        EditorSession &editor = rig.session(Rx740Layout());
        QCOMPARE(
            statusTexts(rig.form, [&] { editor.GetLimits(); }),
            QStringList({"Downloading...", "Downloading page 3", "Downloading page 4", "Downloading page 5",
                         "Downloading page 6", "Downloading page 7", "Downloading page 0", ""}));
        QCOMPARE(statusTexts(rig.form, [&] { editor.SaveLimits(false); }),
                 QStringList({"Uploading...", "Uploading page 0", "Uploading page 1", "Uploading page 3",
                              "Uploading page 4", "Uploading page 5", "Uploading page 6", "Uploading page 7",
                              ""}));
        QVERIFY(rig.form.messages().isEmpty());
    }

    // A power sensor without a name shows no normal state and keeps the device's value; a named
    // one shows it and stores the selection.
    void rx740NormalStates()
    {
        EditorRig rig(address(16), 5, 40, 3);
        QVERIFY(rig.ready);
        rig.device.setSensorName(5, "Mains B");
        rig.device.setPowerNormalState(5, 1);
        rig.device.setPowerNormalState(4, 1);
        EditorSession &editor = rig.session(Rx740Layout());
        QVERIFY(editor.GetLimits());
        QCOMPARE(rig.form.choice("cmboNormalState_0"), -1);
        QCOMPARE(rig.form.choice("cmboNormalState_1"), 1);
        rig.form.setChoice("cmboNormalState_1", 0);
        QVERIFY(editor.SaveLimits(false));
        const QByteArray page0 = rig.device.page(0);
        QCOMPARE(page0.mid(32, 2).toHex(), QByteArray("0001")); // unnamed: as the device had it
        QCOMPARE(page0.mid(38, 2).toHex(), QByteArray("0000"));
    }

    void busyDevicesStopWithTheServerMessage_data()
    {
        QTest::addColumn<const EditorLayout *>("layout");
        QTest::addColumn<int>("model");
        QTest::addColumn<QByteArray>("busyCode");
        QTest::newRow("RX720 page 3") << &Rx720Layout() << 20 << QByteArray::fromHex("AABBCC03");
        QTest::newRow("RX740 page 6") << &Rx740Layout() << 40 << QByteArray::fromHex("AABBCC06");
        QTest::newRow("RX740 readings") << &Rx740Layout() << 40 << QByteArray::fromHex("3FCDDC00");
        QTest::newRow("RX708 page 3") << &Rx708Layout() << 8 << QByteArray::fromHex("AABBCC03");
        QTest::newRow("RX708 identify") << &Rx708Layout() << 8 << QByteArray::fromHex("2ACDDCBA");
        QTest::newRow("Wexa identify") << &WexaLayout() << 5 << QByteArray::fromHex("2ACDDCBA");
    }
    void busyDevicesStopWithTheServerMessage()
    {
        QFETCH(const EditorLayout *, layout);
        QFETCH(int, model);
        QFETCH(QByteArray, busyCode);
        EditorRig rig(address(17), 5, model, 12);
        QVERIFY(rig.ready);
        rig.device.setReplyOverride(busyCode, BusyReply);
        EditorSession &editor = rig.session(*layout);
        QVERIFY(!editor.GetLimits());
        QCOMPARE(rig.form.messages().last(),
                 QString("This server is currently on the phone.  Please wait and try again later."));
        QVERIFY(!rig.form.messages().contains("Failed to download page 3 sensor names"));
        QVERIFY(!rig.form.messages().contains("Failed to identify the device"));
    }

    // The Wexa 15 keeps its alarm delays unless this window read them: after a failed read of
    // page 4, or a failed identify, the page is not stored and the upload says so.
    void wexaAlarmOptionsStoredOnlyAfterTheyWereRead()
    {
        EditorRig rig(address(18), 3, 5, 5);
        QVERIFY(rig.ready);
        QByteArray page4 = rig.device.page(4);
        page4.replace(8, 4, QByteArray::fromHex("011E012D"));
        rig.device.setPage(4, page4);
        EditorSession &editor = rig.session(WexaLayout());
        for (const char *failing : {"AABBCC04", "2ACDDCBA"}) {
            rig.device.setReplyOverride(QByteArray::fromHex(failing), QByteArray(60, 'x'), 1);
            editor.GetLimits();
            QCOMPARE(rig.form.text("txtAlarmReminderTimeDelay"), QString());
            rig.device.clearTraffic();
            QVERIFY(!editor.SaveLimits(false));
            QVERIFY2(!rig.storedPages().contains(4), failing);
            QCOMPARE(rig.device.page(4), page4);
            QCOMPARE(rig.form.messages().last(), QString("Upload incomplete: page 4 not stored"));
            QVERIFY(!editor.SaveLimits(true));
            QCOMPARE(rig.device.page(4), page4);
        }
    }

    // A name holding the word "error" is refused before anything is sent, in every editor; a
    // name page the device holds with such a name says why it cannot be read.
    void namesHoldingTheErrorWord_data()
    {
        QTest::addColumn<const EditorLayout *>("layout");
        QTest::addColumn<int>("family");
        QTest::addColumn<int>("model");
        QTest::newRow("RX705") << &Rx705Layout() << 5 << 5;
        QTest::newRow("RX708") << &Rx708Layout() << 5 << 8;
        QTest::newRow("RX720") << &Rx720Layout() << 5 << 20;
        QTest::newRow("RX740") << &Rx740Layout() << 5 << 40;
        QTest::newRow("Wexa 15") << &WexaLayout() << 3 << 5;
        QTest::newRow("Wexa 16") << &Wexa16Layout() << 3 << 6;
    }
    void namesHoldingTheErrorWord()
    {
        QFETCH(const EditorLayout *, layout);
        QFETCH(int, family);
        QFETCH(int, model);
        EditorRig rig(address(19), family, model, 25);
        QVERIFY(rig.ready);
        rig.device.setSensorName(0, "Freezer Error Log");
        EditorSession &editor = rig.session(*layout);
        editor.GetLimits();
        const int page = layout->field("txtName_0")->page;
        QVERIFY(rig.form.messages().contains(
            QString(
                "The sensor names of page %1 could not be read: a name the device holds contains the word "
                "\"error\", and every reply that carries it is refused.  Names can not be changed from "
                "here; Restore Factory Defaults in the Setup window clears them.")
                .arg(page)));

        rig.device.setSensorName(0, "Cooler");
        QVERIFY(editor.GetLimits());
        rig.form.setText("txtName_0", "Terror Room");
        rig.device.clearTraffic();
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(rig.t.prompts.texts.last(),
                 QString("The name \"Terror Room\" can not be used.  A device reply that holds the word "
                         "\"error\" counts as a failure, so the device could never give this name back.  "
                         "Please choose another name."));
        QVERIFY(rig.form.marked("txtName_0"));
        QCOMPARE(rig.device.transactionCount(), 0);
        QCOMPARE(rig.device.sensorName(0), QByteArray("Cooler"));

        // Two names side by side can spell the word between them: the page as it would be stored
        // is judged, and the pair is named.
        rig.form.setMarked("txtName_0", false);
        rig.form.setText("txtName_0", "Sample storage Ferro");
        rig.form.setText("txtName_1", "Rack B");
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(rig.t.prompts.texts.last(),
                 QString("The names \"Sample storage Ferro\" and \"Rack B\" can not be stored side by side: "
                         "together they spell the word \"error\", and a device reply that holds it counts as "
                         "a failure, so the device could never give them back.  Please change one of them."));
        QVERIFY(rig.form.marked("txtName_0") && rig.form.marked("txtName_1"));
        QCOMPARE(rig.device.transactionCount(), 0);

        // A device that holds such a pair gets the cause named when the page is read.
        rig.device.setSensorName(0, "Sample storage Ferro");
        rig.device.setSensorName(1, "Rack B");
        editor.GetLimits();
        QVERIFY2(rig.form.messages().contains(
                     QString("The sensor names of page %1 could not be read: the names \"Sample storage "
                             "Ferro\" and \"Rack B\" the device holds side by side spell the word "
                             "\"error\", and every reply that carries them is refused.  Names can not be "
                             "changed from here; Restore Factory Defaults in the Setup window clears them.")
                         .arg(page)),
                 qPrintable(rig.form.messages().join('\n')));
    }

    void wexaCorrectionFactors()
    {
        // frmWexa16 shows its factors whatever the resolution; both are written times 10.
        EditorRig rig(address(18), 3, 6, 5);
        QVERIFY(rig.ready);
        rig.device.setResolutionByte(0);
        rig.device.setCorrection(0, -1.5);
        rig.device.setSensorName(0, "Fridge");
        EditorSession &editor = rig.session(Wexa16Layout());
        QVERIFY(editor.GetLimits());
        QVERIFY(!editor.TenthsMode());
        QCOMPARE(rig.form.text("txtCF_0"), QString("-1.5"));
        QCOMPARE(rig.form.text("txtLL_0"), QString("35.0")); // always tenths
        rig.form.setText("txtCF_1", "2");
        QVERIFY(editor.SaveLimits(false));
        QCOMPARE(PageInt16(rig.device.page(0), 38).value_or(0), 20);
        QCOMPARE(PageInt16(rig.device.page(0), 36).value_or(0), -15);
    }

    void wexaCalibration()
    {
        EditorRig rig(address(19), 3, 5, 5);
        QVERIFY(rig.ready);
        rig.device.setCorrection(0, 1.0);
        rig.device.setCorrection(1, 0.5);
        rig.device.setReading(0, 71.0);
        EditorSession &editor = rig.session(WexaLayout());
        editor.Activate();
        editor.ShowCalibration();
        QVERIFY(!rig.form.shown("txtCF_0"));
        QVERIFY(!rig.form.shown("lblCal_1"));
        QVERIFY(!rig.form.shown("txtReading_2"));
        editor.ShowCorrection();
        QVERIFY(rig.form.shown("txtCF_0"));

        // Both actual boxes empty: a message, nothing sent.
        rig.device.clearTraffic();
        QVERIFY(!editor.StoreCalibration());
        QCOMPARE(rig.t.prompts.texts, QStringList{"Please enter the actual temperature"});
        QCOMPARE(rig.device.transactionCount(), 0);

        // Sensor 0: 1.0 + (70.0 - 71.0) = 0.0; a text that is not a number is passed over.
        rig.form.setText("txtActualTemp_0", "70");
        rig.form.setText("txtActualTemp_1", "7.0.0");
        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        QVERIFY(editor.StoreCalibration());
        QCOMPARE(rig.t.prompts.texts.last(), QString("Upload Calibration Factors?"));
        QCOMPARE(rig.storedPages(), QList<int>({4, 0}));
        QCOMPARE(PageInt16(rig.device.page(0), 24).value_or(-1), 0);
        QCOMPARE(PageInt16(rig.device.page(0), 26).value_or(-1), 5);
        QCOMPARE(rig.form.text("txtCF_0"), QString(".0"));
        QCOMPARE(rig.t.prompts.unexpected, 0);

        rig.t.prompts.queueAnswer(Prompts::Answer::Ok);
        rig.device.clearTraffic();
        QVERIFY(editor.ResetCalibration());
        QCOMPARE(rig.t.prompts.texts.last(), QString("Reset both calibration factors to zero?"));
        QCOMPARE(rig.device.page(0).mid(24, 4).toHex(), QByteArray("00000000"));
        QCOMPARE(rig.storedPages(), QList<int>({4, 0}));
    }

    void wexaDelayBeyondAByteIsRefused()
    {
        EditorRig rig(address(20), 3, 5, 5);
        QVERIFY(rig.ready);
        EditorSession &editor = rig.session(WexaLayout());
        QVERIFY(editor.GetLimits());
        rig.form.setText("txtAlarmReminderTimeDelay", "300");
        rig.device.clearTraffic();
        QVERIFY(!editor.SaveLimits(false));
        QCOMPARE(
            rig.t.prompts.texts.last(),
            QString("Alarm reminder time delay is out of range.  Please enter a value between 0 and 255."));
        QVERIFY(rig.form.marked("txtAlarmReminderTimeDelay"));
        QCOMPARE(rig.device.transactionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestModelEditors)
#include "tst_modeleditors.moc"
