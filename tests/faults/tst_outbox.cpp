// The outbox end to end: the simulator, the real database and a real SMTP server that is down,
// silent, refusing or deferring. No alarm e-mail or notice is lost over an outage or a killed
// program, none goes out twice, and the poll cycle never waits for the mail server.
#include "support_rig.h"

#include <alarms/AlarmEvaluation.h>
#include <alarms/Outbox.h>
#include <db/Database.h>
#include <notify/Notifier.h>

#include <support/CycleRun.h>
#include <support/FileBytes.h>
#include <support/MailText.h>
#include <support/OutboxSettle.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {
constexpr int kOctet = 90;
// Where the mail server is expected while it is down: nothing listens there until a test starts
// a server on it.
const QString kMailHost = QStringLiteral("127.0.90.250");
constexpr quint16 kMailPort = 2590;
const char kChildVariable[] = "TALLYPORT_OUTBOX_CHILD"; // "<start time>|<program directory>"

SmtpTestServer::Options serverAtTheMailAddress()
{
    SmtpTestServer::Options options;
    options.host = kMailHost;
    options.port = kMailPort;
    return options;
}

// The sent-mail log's lines for one Message-ID.
QStringList logLinesOf(const QString &programDirectory, const QString &messageId)
{
    const QString log = QString::fromUtf8(readAll(QDir(programDirectory).filePath("VKL-E_Sent_Mail.log")));
    return log.split('\n').filter("Message-ID: " + messageId);
}

int attemptNumber(const QString &logLine)
{
    static const QRegularExpression attempt(QStringLiteral("\\| Attempt: (\\d+) \\|"));
    return attempt.match(logLine).captured(1).toInt();
}

// The child of the killed-program test: one poll cycle of its own engine over the program
// directory, whose two alarm e-mails cannot reach the mail server; it reports them waiting and
// then waits to be killed.
int RunQueueingChild(const QString &spec)
{
    const QDateTime start = QDateTime::fromString(spec.section('|', 0, 0), Qt::ISODate);
    ManualClock clock(start);
    ScriptedPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(spec.section('|', 1), clock, prompts, errors, status);
    PollTimer timer(state);
    Activation activation(state, timer);
    activation.cipher().InitCipher();
    activation.configFile().ReadConfiguration();
    LinkTimings timings;
    timings.connectMs = 500;
    timings.replyOverrideMs = 400;
    Monitor monitor(state, activation, timer, timings);
    monitor.mail.SetUpMailManager();
    state.setMonitoringActive(true);
    int named = 0;
    monitor.database.CountNamedSensors(named);
    monitor.grid.ConfigureServerStatusGrid(named);
    if (!RunCycleToEnd(monitor.cycle))
        return 1; // never reports waiting: the parent's wait fails
    SettleOutbox(monitor.outbox);
    std::printf("WAITING %d\n", monitor.outbox.waitingCount());
    std::fflush(stdout);
    QEventLoop untilKilled;
    return untilKilled.exec();
}
} // namespace

class TestOutbox : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<FaultRig>(kOctet);
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
        m_alpha = m_rig->addFreezerAndCooler("Alpha");
        QVERIFY(m_alpha);
    }
    void cleanup() { m_rig.reset(); }

    // The mail server is down when an alarm starts and when a device failure notice is built;
    // several retries fail; it comes back and each message arrives once, as it was built.
    void outageEndsAndEachMessageArrivesOnce()
    {
        SimDevice *bravo = m_rig->addDevice("Bravo", {{0, "Bravo Freezer", FaultRig::Temperature}});
        QVERIFY(bravo);
        m_rig->layOutGrid();
        useMailAddress();
        m_alpha->setFault(SimFault::Silent);
        bravo->setAlarmByte(0, 1);
        for (int cycle = 0; cycle < 8; ++cycle)
            m_rig->runCycle();
        QVERIFY2(m_rig->t.status.contains(Outbox::WaitingKey + "2  Next attempt at "),
                 qPrintable(m_rig->t.status.lines().join('\n')));
        const QString alarmWaiting = alarmEmailSent("Bravo Freezer");
        QVERIFY2(alarmWaiting.contains(QRegularExpression("Attempt [3-9] failed; it will be tried again.$")),
                 qPrintable(alarmWaiting));
        const QString noticeWaiting = m_rig->value("SELECT EmailSent FROM tblServerFailures").toString();
        QVERIFY2(noticeWaiting.contains("failed; it will be tried again."), qPrintable(noticeWaiting));
        QCOMPARE(m_rig->count("tblServerFailures"), 1);
        const QString alarmId =
            m_rig->value("SELECT MessageID FROM tblOutbox WHERE Kind = 'Alarm'").toString();
        const QString alarmBody = m_rig->value("SELECT Body FROM tblOutbox WHERE Kind = 'Alarm'").toString();
        const QString noticeId =
            m_rig->value("SELECT MessageID FROM tblOutbox WHERE Kind = 'Text'").toString();
        QVERIFY(!alarmId.isEmpty() && !noticeId.isEmpty());

        SmtpTestServer back(serverAtTheMailAddress());
        QVERIFY2(back.start(), qPrintable(back.errorOutput()));
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        QVERIFY(back.waitForMessages(2));
        QTest::qWait(200); // nothing more arrives
        const QList<SmtpTestServer::Received> received = back.messages();
        QCOMPARE(received.size(), 2);
        const auto &alarm = received.at(received.at(0).header("Message-ID") == alarmId.toLatin1() ? 0 : 1);
        const auto &notice = received.at(&alarm == &received.at(0) ? 1 : 0);
        QCOMPARE(alarm.header("Message-ID"), alarmId.toLatin1());
        QCOMPARE(DecodeQuotedPrintable(alarm.body()).trimmed(), OnTheWire(alarmBody).trimmed());
        QCOMPARE(notice.header("Message-ID"), noticeId.toLatin1());
        QVERIFY(notice.data.contains("The device: Alpha, did not respond"));

        const QString delivered = alarmEmailSent("Bravo Freezer");
        QVERIFY2(ParseDateTimeText(delivered).isValid(), qPrintable(delivered));
        QVERIFY(
            ParseDateTimeText(m_rig->value("SELECT EmailSent FROM tblServerFailures").toString()).isValid());
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        QVERIFY(!m_rig->t.status.contains(Outbox::WaitingKey));
        // Every attempt is a line of the sent-mail log, numbered, under the one Message-ID.
        const QStringList lines = logLinesOf(m_rig->t.dir.path(), alarmId);
        QVERIFY(lines.size() >= 4);
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(attemptNumber(lines.at(i)), i + 1);
        QVERIFY(lines.last().contains("| SENT |"));
    }

    // The program is killed (SIGKILL) with two alarm e-mails waiting; the next start delivers
    // both, once each.
    void killedProgramsMessagesGoOutAtTheNextStart()
    {
        m_alpha->setAlarmByte(0, 1);
        m_alpha->setAlarmByte(1, 1);
        useMailAddress();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildVariable),
                   m_rig->t.clock.now().toString(Qt::ISODate) + '|' + m_rig->t.dir.path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel); // its failures show in this log
        QByteArray output;
        connect(&child, &QProcess::readyReadStandardOutput, this,
                [&] { output += child.readAllStandardOutput(); });
        child.start(QCoreApplication::applicationFilePath(), {});
        // The child polls the devices of this process: window events must run meanwhile.
        QTRY_VERIFY_WITH_TIMEOUT(output.contains("WAITING"), 30000);
        QVERIFY2(output.contains("WAITING 2"), output.constData());
        child.kill();
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(m_rig->count("tblOutbox"), 2);

        // The next start: the same program directory, the mail server reachable.
        m_rig->t.state.Config.SMTPHost = "127.0.0.1";
        m_rig->useMailPort(m_rig->smtp.port());
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        m_rig->runCycle();
        QVERIFY(m_rig->smtp.waitForMessages(2));
        QTest::qWait(200);
        QCOMPARE(m_rig->smtp.messages().size(), 2);
        QCOMPARE(m_rig->mailsWith("Alpha Freezer has generated"), 1);
        QCOMPARE(m_rig->mailsWith("Alpha Cooler has generated"), 1);
        QCOMPARE(m_rig->count("tblAlarms"), 2);
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        QVERIFY(ParseDateTimeText(alarmEmailSent("Alpha Cooler")).isValid());
    }

    // A mail server that takes connections and never answers: the cycle does not wait for it,
    // the window's events keep running, and the close stops the attempt at once.
    void silentServerNeverHoldsTheCycle()
    {
        SmtpTestServer::Options options;
        options.mode = SmtpTestServer::Mode::Silent;
        SmtpTestServer silent(options);
        QVERIFY(silent.start());
        m_rig->t.state.Config.SMTPTimeOut = 30;
        m_rig->useMailPort(silent.port());
        m_alpha->setAlarmByte(0, 1);
        m_alpha->setAlarmByte(1, 1);

        QElapsedTimer cycle;
        cycle.start();
        m_rig->t.clock.advanceSeconds(60);
        QVERIFY(RunCycleToEnd(m_rig->monitor->cycle));
        // Sending the two e-mails in the cycle took a minute; the cycle takes well under a second.
        QVERIFY2(cycle.elapsed() < 15000, qPrintable(QString::number(cycle.elapsed())));
        QCOMPARE(m_rig->count("tblAlarms"), 2);
        QVERIFY(m_rig->monitor->outbox.attemptRunning());
        QVERIFY(m_rig->t.status.contains(Outbox::WaitingKey + "2  Sending now"));
        bool eventRan = false;
        QTimer::singleShot(0, this, [&] { eventRan = true; });
        QTRY_VERIFY_WITH_TIMEOUT(eventRan, 5000);
        QVERIFY(m_rig->monitor->outbox.attemptRunning());

        QElapsedTimer close;
        close.start();
        m_rig->monitor->outbox.Shutdown();
        QVERIFY2(close.elapsed() < 15000, qPrintable(QString::number(close.elapsed())));
        QVERIFY(!m_rig->monitor->outbox.attemptRunning());
        QCOMPARE(m_rig->count("tblOutbox"), 2);
        QCOMPARE(m_rig->value("SELECT SUM(Attempts) FROM tblOutbox").toInt(), 1);
    }

    // A notification receiver that takes connections and never answers holds up neither the
    // cycle nor the alarm e-mail, which goes out at once while the channel's request still waits.
    void alarmEmailGoesOnTimeWhileAChannelNeverAnswers()
    {
        QTcpServer stuck; // connections wait in its backlog, unanswered
        QVERIFY(stuck.listen(QHostAddress(QStringLiteral("127.0.90.240"))));
        NotifyChannelSettings channel;
        channel.name = QStringLiteral("stuck");
        channel.type = QStringLiteral("webhook");
        channel.url = QStringLiteral("http://127.0.90.240:%1/").arg(stuck.serverPort());
        m_rig->t.state.Ini.channels = {channel};
        m_alpha->setAlarmByte(0, 1);
        QElapsedTimer clock;
        clock.start();
        m_rig->runCycle();
        QVERIFY(m_rig->smtp.waitForMessages(1));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_rig->mailsWith("Alpha Freezer has generated"), 1);
        QVERIFY(ParseDateTimeText(alarmEmailSent("Alpha Freezer")).isValid());
        const Notifier &notifier = m_rig->monitor->notifier;
        // The channel's status reports the attempt once it has begun (a report may come between
        // the event's hand-over and the attempt's start).
        QTRY_VERIFY(notifier.upToDate() && notifier.channel(QStringLiteral("stuck")) &&
                    notifier.channel(QStringLiteral("stuck"))->attemptRunning());
        QCOMPARE(notifier.channel(QStringLiteral("stuck"))->waitingCount(), 1);
    }

    // Past retryHours a message is given up: its record says so and nothing more is tried, even
    // once the server is back.
    void givenUpAfterRetryHours()
    {
        m_rig->t.state.Ini.mail.retryHours = 1;
        useMailAddress();
        m_alpha->setAlarmByte(0, 1);
        for (int cycle = 0; cycle < 6; ++cycle)
            m_rig->runCycle(900);
        const QString givenUp = alarmEmailSent("Alpha Freezer");
        QVERIFY2(givenUp.startsWith("There was an error sending an alarm email "), qPrintable(givenUp));
        const QRegularExpressionMatch attempts =
            QRegularExpression("Given up after (\\d+) attempt\\(s\\)\\.$").match(givenUp);
        QVERIFY2(attempts.hasMatch(), qPrintable(givenUp));
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        QVERIFY(!m_rig->t.status.contains(Outbox::WaitingKey));
        QCOMPARE(m_rig->errorLines("Outbox|\"Sensor: Alpha Freezer has generated an alarm!\"").size(), 1);
        const QString log = QString::fromUtf8(readAll(m_rig->t.path("VKL-E_Sent_Mail.log")));
        QCOMPARE(log.count("Sensor: Alpha Freezer has generated"), attempts.captured(1).toInt());

        SmtpTestServer back(serverAtTheMailAddress());
        QVERIFY2(back.start(), qPrintable(back.errorOutput()));
        m_rig->runCycle(900);
        m_rig->runCycle(900);
        QTest::qWait(200);
        QCOMPARE(back.messages().size(), 0);
        QCOMPARE(QString::fromUtf8(readAll(m_rig->t.path("VKL-E_Sent_Mail.log"))), log);
    }

    // A recipient refused for good (5xx to RCPT) is not tried again; one refused for now (4xx)
    // is, and gets the same message once the server takes it. The others get it at once.
    void permanentRefusalIsNotRetriedTemporaryIs()
    {
        SimDevice *bravo = m_rig->addDevice("Bravo", {{0, "Bravo Freezer", FaultRig::Temperature}},
                                            "gone@example.com,busy@example.com,ok@example.com,");
        QVERIFY(bravo);
        m_rig->layOutGrid();
        SmtpTestServer::Options options = serverAtTheMailAddress();
        options.rejectPrefix = "gone";
        options.deferPrefix = "busy";
        SmtpTestServer picky(options);
        QVERIFY2(picky.start(), qPrintable(picky.errorOutput()));
        useMailAddress();
        bravo->setAlarmByte(0, 1);
        m_rig->runCycle();
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryFirstSeconds);
        QVERIFY(picky.waitForMessages(1));
        QTest::qWait(200);
        QCOMPARE(picky.messages().size(), 1);
        QCOMPARE(picky.messages().first().recipients, QStringList{"ok@example.com"});
        const QString waiting = alarmEmailSent("Bravo Freezer");
        QVERIFY2(waiting.contains("busy@example.com") && waiting.contains("Attempt 2 failed"),
                 qPrintable(waiting));
        QCOMPARE(m_rig->errorLines("Outbox|The mail server refused gone@example.com").size(), 1);

        m_rig->t.state.Config.SMTPHost = "127.0.0.1";
        m_rig->useMailPort(m_rig->smtp.port());
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        QVERIFY(m_rig->smtp.waitForMessages(1));
        QTest::qWait(200);
        QCOMPARE(m_rig->smtp.messages().size(), 1);
        QCOMPARE(m_rig->smtp.messages().first().recipients, QStringList{"busy@example.com"});
        QCOMPARE(m_rig->smtp.messages().first().header("Message-ID"),
                 picky.messages().first().header("Message-ID"));
        // The To header names every recipient, as it did the first time.
        QCOMPARE(m_rig->smtp.messages().first().header("To"), picky.messages().first().header("To"));
        QVERIFY(ParseDateTimeText(alarmEmailSent("Bravo Freezer")).isValid());
        QCOMPARE(m_rig->count("tblOutbox"), 0);
    }

private:
    // Points the mail settings at the address where no server listens yet.
    void useMailAddress()
    {
        m_rig->t.state.Config.SMTPHost = kMailHost;
        m_rig->useMailPort(kMailPort);
    }

    QString alarmEmailSent(const QString &sensorName)
    {
        return m_rig->value("SELECT EmailSent FROM tblAlarms WHERE Sensor = '" + sensorName + "'").toString();
    }

    std::unique_ptr<FaultRig> m_rig;
    SimDevice *m_alpha = nullptr;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString child = qEnvironmentVariable(kChildVariable);
    if (!child.isEmpty())
        return RunQueueingChild(child);
    TestOutbox test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_outbox.moc"
