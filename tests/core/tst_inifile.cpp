#include <core/Activation.h>
#include <core/IniFile.h>
#include <core/IniFileText.h>
#include <core/PollTimer.h>

#include <support/FileBytes.h>
#include <support/TestState.h>

#include <QSettings>
#include <QTest>

namespace {
// A complete [web] section, so that reading adds no key to a file that has it.
// The sections after [poll], every key present.
const QByteArray kLaterSections =
    "\n[web]\nenabled=false\naddress=127.0.0.1\nport=8080\ntoken=\ncertificate=\nkey=\nhosts=\npublicUrl=\n"
    "\n[reports]\nlastMonthlyReport=\n"
    "\n[mqtt]\nenabled=false\nhost=\nport=1883\ntls=false\ncafile=\nuser=\npassword=\nclient_id=\n"
    "prefix=tallyport\nsite=\nqos=1\ndiscovery=true\ndiscovery_prefix=homeassistant\n"
    "\n[escalation]\nrepeatMinutes=0\n";

// A file an operator keeps by hand: comments, their own order and spacing, a comment after a
// value, a section this version does not know, Windows line ends.
const QByteArray kHandKept = "; Tallyport settings of the cold store\r\n"
                             "[web]\r\n"
                             "; the status page, for the office only\r\n"
                             "port = 8080   ; not 80\r\n"
                             "enabled=true\r\n"
                             "token=\r\n"
                             "hosts = office.lan, store.lan\r\n"
                             "\r\n"
                             "; kept for the old dashboard\r\n"
                             "[dashboard]\r\n"
                             "colour=blue\r\n"
                             "\r\n"
                             "[mail]\r\n"
                             "retryMaxSeconds=120\r\n"
                             "retryHours = 48\r\n";

// A section named so that QSettings escapes it.
const QString kOddSection = QString::fromUtf8("K\u00fchl \u20ac & Co");

// The file QSettings writes with the one value, under kOddSection.
QByteArray qsettingsFile(const QString &path, const QVariant &value)
{
    QFile::remove(path);
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(kOddSection + "/k", value);
    }
    return readAll(path);
}
} // namespace

class TestIniFile : public QObject {
    Q_OBJECT
private slots:
    void init() { m_t = std::make_unique<TestState>(); }

    void missingFileIsCreatedWithTheDefaults()
    {
        IniFile ini(m_t->state);
        m_t->state.Ini.mail.retryHours = 3; // left from an earlier read
        QVERIFY2(ini.Read(), qPrintable(ini.lastError()));
        QCOMPARE(m_t->state.Ini.mail.retryHours, 24);
        QCOMPARE(m_t->state.Ini.mail.retryFirstSeconds, 60);
        QCOMPARE(m_t->state.Ini.mail.retryMaxSeconds, 900);
        QCOMPARE(ini.path(), m_t->path("Tallyport.ini"));
        const QByteArray text = readAll(ini.path());
        QVERIFY(text.contains("[mail]"));
        QVERIFY(text.contains("retryHours=24"));
        QVERIFY(text.contains("retryFirstSeconds=60"));
        QVERIFY(text.contains("retryMaxSeconds=900"));
        QVERIFY(text.contains("[trend]"));
        QVERIFY(text.contains("historyHours=24"));
        QCOMPARE(m_t->state.Ini.trend.historyHours, 24);
        QVERIFY(text.contains("keepHours=168"));
        QCOMPARE(m_t->state.Ini.trend.keptHours(), 168);
        QCOMPARE(m_t->state.Ini.poll.parallel, 8);
        QVERIFY(text.contains("[poll]\nparallel=8"));
        // Remote access is off, and only for this computer, until the operator says otherwise.
        for (const char *line :
             {"[web]\n", "\nenabled=false\n", "\naddress=127.0.0.1\n", "\nport=8080\n", "\ntoken=\n",
              "\ncertificate=\n", "\nkey=\n", "\nhosts=\n", "\npublicUrl=\n"})
            QVERIFY2(text.contains(line), line);
        QVERIFY(!m_t->state.Ini.web.enabled);
        // MQTT is off too; its section lists every key for the operator to fill.
        for (const QByteArray &line : kLaterSections.mid(kLaterSections.indexOf("[mqtt]")).split('\n'))
            QVERIFY2(text.contains(line), line.constData());
        QVERIFY(!m_t->state.Ini.mqtt.enabled);
        QCOMPARE(m_t->state.Ini.mqtt.qos, 1);
        QVERIFY(m_t->errors.lines().isEmpty());
    }

    // Overlapping exchanges: 1 (one device after another) to 64.
    void pollParallelRange_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<int>("used");
        QTest::addColumn<int>("errorLines");
        QTest::newRow("one after another") << QByteArray("1") << 1 << 0;
        QTest::newRow("most") << QByteArray("64") << 64 << 0;
        QTest::newRow("none") << QByteArray("0") << 8 << 1;
        QTest::newRow("too many") << QByteArray("65") << 8 << 1;
    }
    void pollParallelRange()
    {
        QFETCH(QByteArray, written);
        QFETCH(int, used);
        QFETCH(int, errorLines);
        writeAll(m_t->path("Tallyport.ini"), "[poll]\nparallel=" + written + "\n");
        IniFile ini(m_t->state);
        QVERIFY(ini.Read());
        QCOMPARE(m_t->state.Ini.poll.parallel, used);
        QCOMPARE(m_t->errors.lines().size(), errorLines);
    }

    void savingOneSectionKeepsWhatTheOperatorWroteInTheOthers()
    {
        writeAll(m_t->path("Tallyport.ini"), "[mail]\nretryHours=soon\n\n[web]\nenabled=no\nport=99999\n");
        IniFile ini(m_t->state);
        QVERIFY(ini.Read());
        QCOMPARE(m_t->state.Ini.web.port, 8080); // out of range: the default, logged
        QCOMPARE(m_t->errors.lines().size(), 2);
        m_t->state.Ini.web.enabled = true;
        m_t->state.Ini.web.token = "a token";
        QVERIFY(ini.Save("web"));
        const QByteArray text = readAll(ini.path());
        QVERIFY(text.contains("retryHours=soon"));
        QVERIFY(text.contains("enabled=true"));
        QVERIFY(text.contains("token=a token"));
        QVERIFY(text.contains("port=8080"));
    }

    void operatorValuesAreReadAndMissingKeysAdded()
    {
        writeAll(
            m_t->path("Tallyport.ini"),
            "[mail]\nretryHours = 48\n\n[trend]\nhistoryHours=200\nkeepHours=100\n\n[other]\nkept=yes\n");
        IniFile ini(m_t->state);
        QVERIFY(ini.Read());
        QCOMPARE(m_t->state.Ini.mail.retryHours, 48);
        // The chart keeps at least what it reads at an activation.
        QCOMPARE(m_t->state.Ini.trend.keepHours, 100);
        QCOMPARE(m_t->state.Ini.trend.keptHours(), 200);
        QCOMPARE(m_t->state.Ini.mail.retryFirstSeconds, 60);
        const QByteArray text = readAll(ini.path());
        QVERIFY(
            text.startsWith("[mail]\nretryHours = 48\nretryFirstSeconds=60\nretryMaxSeconds=900\n\n[trend]"));
        // A section this version does not know is kept.
        QVERIFY(text.contains("[other]"));
        QVERIFY(text.contains("kept=yes"));
    }

    void unusableValueGivesTheDefaultAndOneErrorLine_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("word") << QByteArray("soon");
        QTest::newRow("negative") << QByteArray("-5");
        QTest::newRow("too large") << QByteArray("999999");
        QTest::newRow("fraction") << QByteArray("1.5");
        QTest::newRow("empty") << QByteArray("");
    }
    void unusableValueGivesTheDefaultAndOneErrorLine()
    {
        QFETCH(QByteArray, written);
        const QByteArray file = "[mail]\nretryHours=" + written +
                                "\nretryFirstSeconds=30\nretryMaxSeconds=600\n\n"
                                "[trend]\nhistoryHours=24\nkeepHours=168\n\n[poll]\nparallel=8\n" +
                                kLaterSections;
        writeAll(m_t->path("Tallyport.ini"), file);
        IniFile ini(m_t->state);
        QVERIFY(ini.Read());
        QCOMPARE(m_t->state.Ini.mail.retryHours, 24);
        QCOMPARE(m_t->state.Ini.mail.retryFirstSeconds, 30);
        QCOMPARE(m_t->errors.lines().size(), 1);
        QVERIFY2(m_t->errors.lines().first().contains("[mail] retryHours"),
                 qPrintable(m_t->errors.lines().first()));
        // What the operator wrote stays for them to correct.
        QCOMPARE(readAll(ini.path()), file);
    }

    void unwritableDirectoryIsReportedAndTheDefaultsApply()
    {
        // A directory that cannot be made: its parent is a file.
        writeAll(m_t->path("plainfile"), "x");
        TestState other;
        ProgramState state(m_t->path("plainfile/sub"), other.clock, other.prompts, other.errors,
                           other.status);
        state.Ini.mail.retryHours = 3;
        IniFile ini(state);
        QVERIFY(!ini.Read());
        QVERIFY(!ini.lastError().isEmpty());
        QCOMPARE(state.Ini.mail.retryHours, 24);
        QCOMPARE(other.errors.lines().size(), 1);
        QVERIFY(!ini.Save());
    }

    void savedValuesAreReadBack()
    {
        IniFile ini(m_t->state);
        m_t->state.Ini.mail.retryHours = 0;
        m_t->state.Ini.mail.retryFirstSeconds = 5;
        m_t->state.Ini.mail.retryMaxSeconds = 3600;
        QVERIFY(ini.Save());
        m_t->state.Ini = IniSettings();
        QVERIFY(ini.Read());
        QCOMPARE(m_t->state.Ini.mail.retryHours, 0);
        QCOMPARE(m_t->state.Ini.mail.retryFirstSeconds, 5);
        QCOMPARE(m_t->state.Ini.mail.retryMaxSeconds, 3600);
    }

    void activationReadsTheFile()
    {
        writeAll(m_t->path("Tallyport.ini"), "[mail]\nretryMaxSeconds=120\n");
        PollTimer timer(m_t->state);
        Activation activation(m_t->state, timer);
        activation.RunActivationSequence();
        QCOMPARE(m_t->state.Ini.mail.retryMaxSeconds, 120);
        QVERIFY(readAll(m_t->path("Tallyport.ini")).contains("retryHours=24"));
    }

    // Saving writes only the lines of the values that changed: the operator's comments, order,
    // spacing and line ends stay, a new key goes to the end of its section, and a save that
    // changes nothing leaves the file alone. QSettings reads every value back.
    void savingChangesOnlyTheLinesOfChangedValues()
    {
        const QString path = m_t->path("Tallyport.ini");
        writeAll(path, kHandKept);
        IniFile ini(m_t->state);
        QVERIFY(ini.Read());
        QCOMPARE(m_t->state.Ini.web.port, 8080);
        QCOMPARE(m_t->state.Ini.web.hosts, QString("office.lan, store.lan"));
        QVERIFY(m_t->errors.lines().isEmpty());
        const QByteArray read = readAll(path);
        // The keys missing were added after the last key of their section (the new [poll]
        // and others at the end), and nothing else moved.
        QVERIFY2(read.startsWith("; Tallyport settings of the cold store\r\n[web]\r\n"
                                 "; the status page, for the office only\r\nport = 8080   ; not 80\r\n"
                                 "enabled=true\r\ntoken=\r\nhosts = office.lan, store.lan\r\n"
                                 "address=127.0.0.1\r\ncertificate=\r\nkey=\r\npublicUrl=\r\n\r\n"
                                 "; kept for the old dashboard\r\n[dashboard]\r\ncolour=blue\r\n\r\n"
                                 "[mail]\r\nretryMaxSeconds=120\r\nretryHours = 48\r\n"
                                 "retryFirstSeconds=60\r\n\r\n[trend]\r\n"),
                 read.constData());
        QVERIFY(!read.contains("\r\r") && !read.contains("\n\n") && read.count("[web]") == 1);
        QVERIFY(ini.Read());
        QCOMPARE(readAll(path), read); // complete now: reading writes nothing

        m_t->state.Ini.web.port = 9090;
        m_t->state.Ini.web.token = " a;b,c=d \"quoted\" \\ K\u00fchl";
        m_t->state.Ini.web.hosts = "office.lan, store.lan"; // as it was
        m_t->state.Ini.mail.retryHours = 12;                // another section: not saved
        QVERIFY(ini.Save("web"));
        QByteArray expected = read;
        expected.replace("port = 8080   ; not 80", "port = 9090   ; not 80");
        expected.replace("\r\ntoken=\r\n", "\r\ntoken=\" a;b,c=d \\\"quoted\\\" \\\\ K\xc3\xbchl\"\r\n");
        QCOMPARE(readAll(path), expected);
        {
            QSettings settings(path, QSettings::IniFormat);
            QCOMPARE(settings.value("web/port").toInt(), 9090);
            QCOMPARE(settings.value("web/token").toString(), m_t->state.Ini.web.token);
            QCOMPARE(settings.value("mail/retryHours").toInt(), 48);
            QCOMPARE(settings.value("dashboard/colour").toString(), QString("blue"));
        }
        // The record's values kept here: only the line that changes, and removed when empty.
        RecordOverflow overflow;
        QVERIFY(ini.ReadRecordOverflow(overflow));
        overflow.smtpPassword = "q83+/Zx==";
        QVERIFY(ini.SaveRecordOverflow(overflow));
        RecordOverflow back;
        QVERIFY(ini.ReadRecordOverflow(back));
        QCOMPARE(back, overflow);
        QVERIFY(readAll(path).contains("retryFirstSeconds=60\r\nsmtpPassword=\"q83+/Zx==\"\r\n"));
        overflow.smtpPassword.clear();
        QVERIFY(ini.SaveRecordOverflow(overflow));
        QCOMPARE(readAll(path), expected);
    }

    // A channel's section is saved whole (a key it no longer has goes) and removed whole; the
    // comments about the next section stay.
    void channelSectionsAreReplacedAndRemovedInPlace()
    {
        const QString path = m_t->path("Tallyport.ini");
        writeAll(path, "[notify.ops]\n; our receiver\ntype=webhook\nurl=http://a.example/x\nold=1\n\n"
                       "; the chat room\n[notify.chat]\ntype=slack\nurl=https://chat.example/h\n");
        IniFile ini(m_t->state);
        QVERIFY(ini.Read());
        NotifyChannelSettings ops = m_t->state.Ini.channels.value(1);
        QCOMPARE(ops.name, QString("ops"));
        ops.url = "http://b.example/x";
        QVERIFY2(ini.SaveChannel(ops), qPrintable(ini.lastError()));
        QByteArray text = readAll(path);
        QVERIFY2(text.startsWith("[notify.ops]\n; our receiver\ntype=webhook\nurl=http://b.example/x\n"
                                 "token=\n"),
                 text.constData());
        QVERIFY(!text.contains("old=1"));
        ops.name = "ops-2";
        QVERIFY2(ini.SaveChannel(ops), qPrintable(ini.lastError()));
        QVERIFY(ini.RemoveChannel("ops"));
        text = readAll(path);
        QVERIFY2(text.startsWith("; the chat room\n[notify.chat]\ntype=slack\n"), text.constData());
        QVERIFY(text.contains("\nrepeatMinutes=0\n\n[notify.ops-2]\ntype=webhook\n"
                              "url=http://b.example/x\n"));
        QVERIFY(!text.contains("\n\n\n"));
        QVERIFY(ini.Read());
        QCOMPARE(m_t->state.Ini.channels.size(), 2);
        QCOMPARE(m_t->state.Ini.channels.value(1).url, QString("http://b.example/x"));
    }

    // Values are written as QSettings writes them, and read back as they were.
    void valuesAreWrittenInQSettingsEncoding_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("plain") << QVariant("hello world");
        QTest::newRow("empty") << QVariant("");
        QTest::newRow("number") << QVariant(8080);
        QTest::newRow("flag") << QVariant(true);
        QTest::newRow("separators") << QVariant("a;b,c=d");
        QTest::newRow("blanks at the ends") << QVariant(" both ");
        QTest::newRow("quotes and backslashes") << QVariant("say \"C:\\dir\"");
        QTest::newRow("starts with @") << QVariant("@home");
        QTest::newRow("non-ASCII") << QVariant(QString::fromUtf8("K\u00fchl \u20ac \U0001F600"));
        QTest::newRow("control characters") << QVariant(QString("a\tb\nc\x01"
                                                                "d\x7f"));
        QTest::newRow("NUL") << QVariant(QString("a") + QChar(0) + "b");
        QTest::newRow("comment sign") << QVariant("#not;a comment");
    }
    void valuesAreWrittenInQSettingsEncoding()
    {
        QFETCH(QVariant, value);
        IniFileText alone;
        alone.setValue(kOddSection, "k", value);
        QCOMPARE(alone.text(), qsettingsFile(m_t->path("qsettings.ini"), value));
        const QString path = m_t->path("written.ini");
        IniFileText text("; a comment\n[s]\nk=old ; kept\n");
        text.setValue("s", "k", value);
        text.setValue(kOddSection + "/x", "k/y", value);
        writeAll(path, text.text());
        QVERIFY(text.text().startsWith("; a comment\n[s]\nk="));
        QVERIFY(text.text().contains(" ; kept\n"));
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.status(), QSettings::NoError);
        QCOMPARE(settings.value("s/k").toString(), value.toString());
        QCOMPARE(settings.value(kOddSection + "/x/k/y").toString(), value.toString());
    }

private:
    std::unique_ptr<TestState> m_t;
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
