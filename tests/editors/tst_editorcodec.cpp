// Page layouts and field codecs of the model editors, without a device.
#include <editors/EditorForm.h>
#include <editors/FieldText.h>
#include <editors/KeyFilters.h>
#include <editors/ModelLayouts.h>
#include <editors/PageCodec.h>
#include <editors/PhoneNumber.h>

#include <support/ScriptedPrompts.h>

#include <QRandomGenerator>
#include <QTest>

Q_DECLARE_METATYPE(const EditorLayout *)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A page whose every byte is random except the fields of the layout, which hold values the
// editor shows and writes back unchanged (names without surrounding blanks, options 0 or 1...).
QByteArray canonicalPage(const EditorLayout &layout, int page, QRandomGenerator &random)
{
    QByteArray bytes(60, '\0');
    for (char &c : bytes)
        c = char(random.bounded(256));
    bytes.replace(0, 4, hex("AABBCC") + char(page));
    for (const PageField &field : layout.fields) {
        if (field.page != page)
            continue;
        const int at = field.position - 1;
        switch (field.codec) {
        case FieldCodec::Name: {
            QByteArray name;
            const int length = int(random.bounded(21));
            for (int k = 0; k < length; ++k)
                name.append(k == 0 || k == length - 1 ? char('A' + random.bounded(26))
                                                      : char(' ' + random.bounded(95)));
            bytes.replace(at, 20, name.leftJustified(20, ' '));
            break;
        }
        case FieldCodec::PhoneNumber: {
            const int length = int(random.bounded(21));
            for (int k = 0; k < length; ++k)
                bytes[at + k] = random.bounded(11) == 10 ? char(0x1B) : char(random.bounded(10));
            if (length < 20)
                bytes[at + length] = char(0x1C);
            break;
        }
        case FieldCodec::OptionZeroFirst:
        case FieldCodec::OptionOneFirst:
            bytes[at] = char(random.bounded(2));
            break;
        case FieldCodec::ItemIndex16:
        case FieldCodec::Flag16:
            bytes[at] = 0;
            bytes[at + 1] = char(random.bounded(2));
            break;
        default:
            break; // numbers: any bytes are a value
        }
    }
    return bytes;
}

// Decodes pages into a fresh form twice over, so fields shown only for named sensors see the
// names of every page.
void decodeAll(const EditorLayout &layout, const QHash<int, QByteArray> &pages, EditorForm &form, bool tenths)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (auto it = pages.cbegin(); it != pages.cend(); ++it)
            DecodePage(layout, it.key(), it.value(), form, tenths);
    }
}

} // namespace

class TestEditorCodec : public QObject {
    Q_OBJECT
private slots:
    void oneDecimalDisplay_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("half") << 0.5 << ".5";
        QTest::newRow("zero") << 0.0 << ".0";
        QTest::newRow("minus half") << -0.5 << "-.5";
        QTest::newRow("whole") << 72.0 << "72.0";
        QTest::newRow("negative") << -12.5 << "-12.5";
        QTest::newRow("single precision tenth") << double(72.3f) << "72.3";
        QTest::newRow("rounds half away from zero") << 72.25 << "72.3";
        QTest::newRow("tiny negative shows no sign") << -0.04 << ".0";
    }
    void oneDecimalDisplay()
    {
        QFETCH(double, value);
        QFETCH(QString, shown);
        QCOMPARE(OneDecimalText(value), shown);
    }

    void storedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("tenths");
        QTest::addColumn<int>("stored"); // -99999: no value
        QTest::newRow("tenths") << "-12.5" << true << -125;
        QTest::newRow("whole half to even down") << "-12.5" << false << -12;
        QTest::newRow("72.5 to 72") << "72.5" << false << 72;
        QTest::newRow("73.5 to 74") << "73.5" << false << 74;
        QTest::newRow("single precision times ten") << "72.3" << true << 723;
        QTest::newRow("leading point") << "-.5" << true << -5;
        QTest::newRow("blanks around") << " 40 " << false << 40;
        QTest::newRow("not a number") << "7-2" << false << -99999;
        QTest::newRow("only a sign") << "-" << false << -99999;
        QTest::newRow("empty") << "" << true << -99999;
    }
    void storedNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, tenths);
        QFETCH(int, stored);
        const auto value = StoredWholeNumber(text, tenths);
        QCOMPARE(value.has_value(), stored != -99999);
        if (value)
            QCOMPARE(*value, stored);
    }

    void phoneNumberFields_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QByteArray>("field"); // the 20 bytes after encoding over 20 bytes of 0xEE
        const QByteArray rest(20, char(0xEE));
        QTest::newRow("star five") << "*5" << hex("1B051C") + rest.left(17);
        QTest::newRow("empty") << "" << hex("1C") + rest.left(19);
        QTest::newRow("19 symbols") << "1234567890123456789"
                                    << hex("01020304050607080900010203040506070809") + hex("1C");
        QTest::newRow("20 symbols") << "12345678901234567890"
                                    << hex("0102030405060708090001020304050607080900");
    }
    void phoneNumberFields()
    {
        QFETCH(QString, number);
        QFETCH(QByteArray, field);
        QByteArray page(60, char(0xEE));
        QVERIFY(EncodePhoneNumber(page, 8, number));
        QCOMPARE(page.mid(8, 20), field);
        QCOMPARE(page.left(8), QByteArray(8, char(0xEE)));
        QCOMPARE(page.mid(28), QByteArray(32, char(0xEE)));
        QCOMPARE(DecodePhoneNumber(page, 8), number);
    }

    void phoneNumberOddBytes()
    {
        QByteArray page(60, '\0');
        page.replace(8, 4, hex("1C050607"));
        QCOMPARE(DecodePhoneNumber(page, 8), QString()); // starts with the terminator
        page.replace(8, 5, hex("05FF1B071C"));
        QCOMPARE(DecodePhoneNumber(page, 8), QString("5*7")); // other bytes are passed over

        const QByteArray before = page;
        QVERIFY(!EncodePhoneNumber(page, 8, "555-1234"));
        QVERIFY(!EncodePhoneNumber(page, 8, "123456789012345678901"));
        QCOMPARE(page, before);
    }

    void keyFilters()
    {
        ScriptedPrompts prompts;
        for (int key : {int('0'), int('9'), int('.'), int('-'), BackspaceKey})
            QCOMPARE(NumericKeyFilter(key), key);
        for (int key : {int('a'), int('+'), int(' '), int(',')})
            QCOMPARE(NumericKeyFilter(key), 0);
        QCOMPARE(DigitKeyFilter('7'), int('7'));
        QCOMPARE(DigitKeyFilter('.'), 0);
        QCOMPARE(DigitKeyFilter('-'), 0);
        QCOMPARE(NameKeyFilter('a', prompts), int('a'));
        QCOMPARE(NameKeyFilter('\\', prompts), 0);
        QCOMPARE(NameKeyFilter('/', prompts), 0);
        QCOMPARE(prompts.texts, QStringList({"\\ is an invalid character.", "/ is an invalid character."}));

        QCOMPARE(PhoneKeyFilter('*', 3), int('*'));
        QCOMPARE(PhoneKeyFilter('*', 9), 0);
        QCOMPARE(PhoneKeyFilter('#', 3), 0);
        QCOMPARE(PhoneKeyFilter('3', 12), int('0'));
        QCOMPARE(PhoneKeyFilter('2', 12), int('2'));
        QCOMPARE(PhoneKeyFilter(BackspaceKey, 12), int('0'));
        QCOMPARE(PhoneKeyFilter(BackspaceKey, 10), BackspaceKey);
    }

    void everyEditorHasItsLayout()
    {
        for (const char *name : {"frmRX705", "frmRX708", "frmRX720", "frmRX740", "frmWexa", "frmWexa16",
                                 "frmRX705PhoneParameters"})
            QCOMPARE(LayoutOfEditor(QLatin1String(name))->name, QLatin1String(name));
        QVERIFY(!LayoutOfEditor("frmRX704"));
    }

    // Every layout: what a download shows, an upload writes back byte for byte, and the bytes no
    // field covers are never touched.
    void decodeThenEncodeKeepsEveryByte_data()
    {
        QTest::addColumn<const EditorLayout *>("layout");
        QTest::addColumn<bool>("tenths");
        for (const EditorLayout *layout : {&Rx705Layout(), &Rx708Layout(), &Rx720Layout(), &Rx740Layout(),
                                           &WexaLayout(), &Wexa16Layout(), &PhoneParametersLayout()}) {
            QTest::newRow(qPrintable(layout->name + " tenths")) << layout << true;
            QTest::newRow(qPrintable(layout->name + " whole")) << layout << false;
        }
    }
    void decodeThenEncodeKeepsEveryByte()
    {
        QFETCH(const EditorLayout *, layout);
        QFETCH(bool, tenths);
        for (quint32 seed = 1; seed <= 20; ++seed) {
            QRandomGenerator random(seed);
            QHash<int, QByteArray> pages;
            for (int page : layout->pages()) {
                if (page != ReadingsPage)
                    pages.insert(page, canonicalPage(*layout, page, random));
            }
            EditorForm form;
            decodeAll(*layout, pages, form, tenths);
            for (auto it = pages.cbegin(); it != pages.cend(); ++it) {
                QByteArray encoded = it.value();
                EncodePage(*layout, it.key(), form, encoded, tenths);
                if (encoded != it.value())
                    QFAIL(qPrintable(QString("page %1, seed %2:\n%3\n%4")
                                         .arg(it.key())
                                         .arg(seed)
                                         .arg(QString(it.value().toHex(' ')), QString(encoded.toHex(' ')))));
            }
        }
    }

    // Sensor 2 of an RX705 gets a new lower limit; only its two bytes change.
    void limitChangeTouchesOnlyItsBytes_data()
    {
        QTest::addColumn<bool>("tenths");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shownAgain");
        QTest::newRow("tenths mode") << true << hex("FF83") << "-12.5";
        QTest::newRow("whole degrees") << false << hex("FFF4") << "-12";
    }
    void limitChangeTouchesOnlyItsBytes()
    {
        QFETCH(bool, tenths);
        QFETCH(QByteArray, stored);
        QFETCH(QString, shownAgain);
        const EditorLayout &layout = Rx705Layout();
        QRandomGenerator random(7);
        QByteArray names = canonicalPage(layout, 4, random);
        names.replace(8, 20, QByteArray("Freezer").leftJustified(20, ' '));
        const QByteArray page0 = canonicalPage(layout, 0, random);
        EditorForm form;
        DecodePage(layout, 4, names, form, tenths);
        DecodePage(layout, 0, page0, form, tenths);
        QCOMPARE(form.text("txtName_2"), QString("Freezer"));
        QVERIFY(!form.text("txtLL_2").isEmpty());

        form.setText("txtLL_2", "-12.5");
        QByteArray encoded = page0;
        EncodePage(layout, 0, form, encoded, tenths);
        QByteArray expected = page0;
        expected.replace(20, 2, stored); // sensor 2's lower limit: characters 21 and 22
        QCOMPARE(encoded.toHex(' '), expected.toHex(' '));

        EditorForm again;
        DecodePage(layout, 4, names, again, tenths);
        DecodePage(layout, 0, encoded, again, tenths);
        QCOMPARE(again.text("txtLL_2"), shownAgain);
    }

    // An unnamed sensor shows no limits; saving writes its name as 20 blanks and leaves its limit
    // bytes as the device had them.
    void unnamedSensorKeepsItsLimitBytes()
    {
        const EditorLayout &layout = Rx705Layout();
        QRandomGenerator random(11);
        QByteArray names = canonicalPage(layout, 3, random);
        names.replace(8, 40, QByteArray(40, ' ')); // sensors 0 and 1 unnamed
        const QByteArray page0 = canonicalPage(layout, 0, random);
        EditorForm form;
        DecodePage(layout, 3, names, form, true);
        DecodePage(layout, 0, page0, form, true);
        for (const char *box : {"txtLL_0", "txtUL_0", "txtTOL_0", "txtLL_1"})
            QCOMPARE(form.text(box), QString());

        QByteArray encodedNames = names;
        encodedNames.replace(8, 20, QByteArray(20, 'x'));
        EncodePage(layout, 3, form, encodedNames, true);
        QCOMPARE(encodedNames.mid(8, 20), QByteArray(20, ' '));
        QByteArray encoded0 = page0;
        EncodePage(layout, 0, form, encoded0, true);
        QCOMPARE(encoded0, page0);
    }

    void correctionFactors()
    {
        const EditorLayout &layout = Rx705Layout();
        QByteArray page12(60, '\0');
        page12.replace(0, 4, hex("AABBCC0C"));
        page12.replace(8, 2, hex("FFFB"));
        page12[24] = char(200);
        EditorForm form;
        DecodePage(layout, 12, page12, form, false);
        QCOMPARE(form.text("txtCF_0"), QString("-.5"));
        QCOMPARE(form.text("txtCF_8"), QString("200"));
        form.setText("txtCF_1", "-.5");
        form.setText("txtCF_2", "1.25"); // 12.5 tenths: half to even
        QByteArray encoded = page12;
        EncodePage(layout, 12, form, encoded, false);
        QCOMPARE(encoded.mid(8, 6).toHex(' '), QByteArray("ff fb ff fb 00 0c"));

        // The Wexa shows its factors only in tenths mode; they are always written times 10, and
        // an empty box keeps the device's bytes.
        const EditorLayout &wexa = WexaLayout();
        QByteArray page0(60, '\0');
        page0.replace(24, 4, hex("000A0014"));
        EditorForm plain;
        DecodePage(wexa, 0, page0, plain, false);
        QCOMPARE(plain.text("txtCF_0"), QString());
        plain.setText("txtCF_1", "3");
        QByteArray written = page0;
        EncodePage(wexa, 0, plain, written, false);
        QCOMPARE(written.mid(24, 4).toHex(' '), QByteArray("00 0a 00 1e"));
        EditorForm tenths;
        DecodePage(wexa, 0, page0, tenths, true);
        QCOMPARE(tenths.text("txtCF_0"), QString("1.0"));
        QCOMPARE(tenths.text("txtCF_1"), QString("2.0"));
    }

    void fieldProblems_data()
    {
        QTest::addColumn<const EditorLayout *>("layout");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("problem"); // empty: none
        const EditorLayout *rx705 = &Rx705Layout();
        const EditorLayout *wexa = &WexaLayout();
        const EditorLayout *phone = &PhoneParametersLayout();
        QTest::newRow("filter byte 300")
            << rx705 << "txtCF_9"
            << "300"
            << "Number of Erroneous Readings is out of range.  Please enter a value "
               "between 0 and 255.";
        QTest::newRow("filter byte 255") << rx705 << "txtCF_8"
                                         << "255"
                                         << "";
        QTest::newRow("Wexa delay 300") << wexa << "txtAlarmReminderTimeDelay"
                                        << "300"
                                        << "Alarm reminder time delay is out of range.  Please enter a value "
                                           "between 0 and 255.";
        QTest::newRow("time beyond 16 bits")
            << rx705 << "txtTOL_8"
            << "40000"
            << "Time of Door Sensor 1 is out of range.  Please enter a value "
               "between -32768 and 32767.";
        QTest::newRow("factor in tenths")
            << rx705 << "txtCF_0"
            << "4000"
            << "Correction of Temperature Sensor Port 1 is out of range.  Please "
               "enter a value between -3276.8 and 3276.7.";
        QTest::newRow("not a number")
            << rx705 << "txtTOL_0"
            << "1.2.3"
            << "Time of Temperature Sensor Port 1 can not be stored.  \"1.2.3\" is not "
               "a number.";
        QTest::newRow("empty box") << rx705 << "txtUL_0"
                                   << ""
                                   << "";
        QTest::newRow("pasted phone text")
            << phone << "txtPhoneNumber_0"
            << "555-1234"
            << "Contact Phone Number 1 can not be stored.  A number may hold only "
               "the digits 0 to 9 and \"*\", at most 20 of them.";
    }
    void fieldProblems()
    {
        QFETCH(const EditorLayout *, layout);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, problem);
        EditorForm form;
        form.setText(key, text);
        const auto found = FieldProblem(*layout->field(key), form, false);
        QCOMPARE(found.value_or(QString()), problem);
    }

    // An RX740 normal-state box with no selection keeps the device's value.
    void normalStateWithoutSelection()
    {
        const EditorLayout &layout = Rx740Layout();
        QByteArray page0(60, char(0x11));
        EditorForm form;
        form.setChoice("cmboNormalState_1", 1);
        QByteArray encoded = page0;
        EncodePage(layout, 0, form, encoded, false);
        QCOMPARE(encoded.mid(32, 2), hex("1111")); // box 0: no selection
        QCOMPARE(encoded.mid(38, 2), hex("0001")); // box 1: "Off"
        encoded.replace(32, 2, hex("0007"));
        // Power sensors 4 and 5 are named (page 5), so their states are decoded; a selection made
        // before shows that the value itself, not a missing name, clears it.
        DecodePage(layout, 5, QByteArray(60, 'N'), form, false);
        form.setChoice("cmboNormalState_0", 0);
        form.setChoice("cmboNormalState_1", 0);
        DecodePage(layout, 0, encoded, form, false);
        QCOMPARE(form.choice("cmboNormalState_0"), -1); // a value that is no item selects nothing
        QCOMPARE(form.choice("cmboNormalState_1"), 1);
    }
};

QTEST_GUILESS_MAIN(TestEditorCodec)
#include "tst_editorcodec.moc"
