#include <core/Activation.h>
#include <core/IniFile.h>
#include <core/PollTimer.h>

#include <support/FileBytes.h>
#include <support/TestState.h>

#include <QTest>

namespace {
// A complete [web] section, so that reading adds no key to a file that has it.
// The sections after [poll], every key present.
const QByteArray kLaterSections =
    "\n[web]\nenabled=false\naddress=127.0.0.1\nport=8080\ntoken=\ncertificate=\nkey=\nhosts=\n"
    "\n[reports]\nlastMonthlyReport=\n"
    "\n[mqtt]\nenabled=false\nhost=\nport=1883\ntls=false\ncafile=\nuser=\npassword=\nclient_id=\n"
    "prefix=tallyport\nsite=\nqos=1\ndiscovery=true\ndiscovery_prefix=homeassistant\n";
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
        for (const char *line : {"[web]\n", "\nenabled=false\n", "\naddress=127.0.0.1\n", "\nport=8080\n",
                                 "\ntoken=\n", "\ncertificate=\n", "\nkey=\n", "\nhosts=\n"})
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
        QVERIFY(text.contains("retryHours=48"));
        QVERIFY(text.contains("retryMaxSeconds=900"));
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

private:
    std::unique_ptr<TestState> m_t;
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
