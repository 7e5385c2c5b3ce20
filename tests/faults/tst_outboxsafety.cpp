// The outbox when the program stops, fails half-way or has its clock set: a message the server
// took is never sent again, one whose answer never came is; an alarm record and its e-mail are
// stored together or not at all; waits and ages follow the time that passed, not the wall clock.
#include "support_rig.h"

#include <alarms/Outbox.h>
#include <notify/Notifier.h>

#include <support/CycleRun.h>
#include <support/OutboxSettle.h>

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTest>

namespace {
constexpr int kOctet = 150;
const QString kHoldingHost = QStringLiteral("127.0.150.251");
// Nothing listens here: the mail server is down.
const QString kDownHost = QStringLiteral("127.0.150.252");
constexpr quint16 kDownPort = 2599;

SmtpTestServer::Options promptServer()
{
    SmtpTestServer::Options options;
    options.host = QStringLiteral("127.0.150.250");
    return options;
}

// A server that holds back its answer to alarm e-mails (the shutdown e-mail it answers at once).
SmtpTestServer::Options holdingServer(double seconds)
{
    SmtpTestServer::Options options;
    options.host = kHoldingHost;
    options.holdReplySeconds = seconds;
    options.holdText = "has generated an alarm";
    return options;
}
} // namespace

class TestOutboxSafety : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<FaultRig>(kOctet, promptServer());
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
        m_alpha = m_rig->addFreezerAndCooler("Alpha");
        QVERIFY(m_alpha);
        m_rig->t.state.Config.SMTPTimeOut = 10;
        m_rig->saveSettings();
    }
    void cleanup() { m_rig.reset(); }

    // The program is closed while the server holds back its 250 to an alarm e-mail: the close
    // waits for it, the message counts as delivered, and the next start sends nothing again.
    void messageTakenDuringTheStopIsNotSentAgain()
    {
        SmtpTestServer holding(holdingServer(2));
        QVERIFY2(alarmHeldBy(holding), qPrintable(holding.errorOutput()));

        QElapsedTimer stop;
        stop.start();
        m_rig->restart(true);
        QVERIFY2(stop.elapsed() >= 1000 && stop.elapsed() < 8000,
                 qPrintable(QString::number(stop.elapsed())));
        QCOMPARE(holding.messages().size(), 2); // the alarm, then the shutdown e-mail
        QVERIFY(holding.messages().at(1).header("Subject").contains("has been shutdown"));
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        const QString emailSent = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(ParseDateTimeText(emailSent).isValid(), qPrintable(emailSent));

        for (int cycle = 0; cycle < 3; ++cycle)
            m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        SettleOutbox(m_rig->monitor->outbox);
        QTest::qWait(300);
        QCOMPARE(holding.messages().size(), 2);
    }

    // The server's 250 comes a second after the stop's grace: it still counts (the connection
    // stays open two seconds more for an answer on its way), the stop does not wait for the reply
    // to QUIT, and the next start sends nothing again.
    void answerJustAfterTheGraceCountsAsSent()
    {
        constexpr int kGraceMs = 2000;
        SmtpTestServer holding(holdingServer(kGraceMs / 1000.0 + 1));
        QVERIFY2(alarmHeldBy(holding), qPrintable(holding.errorOutput()));
        m_rig->monitor->outbox.setStopGrace(std::chrono::milliseconds(kGraceMs));

        QElapsedTimer stop;
        stop.start();
        m_rig->monitor->outbox.Shutdown();
        QVERIFY2(stop.elapsed() < kGraceMs + 3000, qPrintable(QString::number(stop.elapsed())));
        QVERIFY(holding.waitForMessages(1));
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        const QString emailSent = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(ParseDateTimeText(emailSent).isValid(), qPrintable(emailSent));

        m_rig->restart(false);
        for (int cycle = 0; cycle < 2; ++cycle)
            m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        SettleOutbox(m_rig->monitor->outbox);
        QTest::qWait(300);
        QCOMPARE(holding.messages().size(), 1);
    }

    // No answer within the exchange's own time-out (shorter than the grace of a stop): the stop
    // ends with it (two seconds more for an answer on its way, none for the answer to QUIT), the
    // outcome is unknown and the message goes out at the next start. The daily OK queued behind
    // it gets one attempt and has not had it: it is given up, not sent after the next start. With
    // no message in flight a stop takes under a second.
    void messageNotAnsweredBeforeTheStopIsSentAtTheNextStart()
    {
        SmtpTestServer holding(holdingServer(60));
        m_rig->t.state.Config.SMTPTimeOut = 3;
        QVERIFY2(alarmHeldBy(holding), qPrintable(holding.errorOutput()));
        QVERIFY(m_rig->monitor->outbox.QueueSystemOkEmail());

        QElapsedTimer stop;
        stop.start();
        m_rig->monitor->outbox.Shutdown();
        QVERIFY2(stop.elapsed() < 7000, qPrintable(QString::number(stop.elapsed())));
        QCOMPARE(m_rig->errorLines("Outbox|\"Quellmark VKL-E is up and running!\" was given up").size(), 1);
        QCOMPARE(m_rig->count("tblOutbox"), 1);
        QCOMPARE(m_rig->value("SELECT Attempts FROM tblOutbox").toInt(), 1);
        QVERIFY(m_rig->value("SELECT EmailSent FROM tblAlarms").toString().endsWith("tried again."));

        m_rig->restart(false);
        useServer(m_rig->smtp.host(), m_rig->smtp.port());
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryMaxSeconds);
        QVERIFY(m_rig->smtp.waitForMessages(1));
        SettleOutbox(m_rig->monitor->outbox);
        QCOMPARE(m_rig->mailsWith("Alpha Freezer has generated"), 1);
        QCOMPARE(m_rig->mailsWith("up and running"), 0);
        QCOMPARE(holding.messages().size(), 0);
        QCOMPARE(m_rig->count("tblOutbox"), 0);

        stop.restart();
        m_rig->activation->Shutdown();
        QVERIFY2(stop.elapsed() < 1000, qPrintable(QString::number(stop.elapsed())));
        QVERIFY(m_rig->smtp.waitForMessages(2));
    }

    // The message cannot be stored after the alarm record was written (here a failure injected
    // between the two writes, as a program killed there would leave them): neither is stored,
    // the e-mail still goes out, and the next cycle stores both.
    void alarmRecordAndItsMessageAreStoredTogether()
    {
        QVERIFY(QSqlQuery(m_rig->reader())
                    .exec("CREATE TRIGGER refuse_outbox BEFORE INSERT ON tblOutbox "
                          "BEGIN SELECT RAISE(ABORT, 'injected failure'); END"));
        m_rig->closeReader();
        // A notification channel whose receiver is down: its message went with the rolled-back
        // record too, and is queued once more with the e-mail, not twice.
        NotifyChannelSettings hook;
        hook.name = QStringLiteral("hook");
        hook.type = QStringLiteral("webhook");
        hook.url = QStringLiteral("http://127.0.150.250:9/");
        m_rig->t.state.Ini.channels = {hook};
        m_alpha->setAlarmByte(0, 1);
        m_rig->runCycle();
        QCOMPARE(m_rig->count("tblAlarms"), 0);
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        const Notifier &notifier = m_rig->monitor->notifier;
        QTRY_VERIFY(notifier.upToDate() && notifier.channel(QStringLiteral("hook")));
        QCOMPARE(notifier.channel(QStringLiteral("hook"))->waitingCount(), 1);
        QCOMPARE(m_rig->count("tblNotifyQueue"), 1);
        QCOMPARE(m_rig->count("tblNotifyEvents"), 1);
        QVERIFY(m_rig->smtp.waitForMessages(1));
        SettleOutbox(m_rig->monitor->outbox);

        QVERIFY(QSqlQuery(m_rig->reader()).exec("DROP TRIGGER refuse_outbox"));
        m_rig->closeReader();
        m_rig->runCycle();
        QCOMPARE(m_rig->count("tblAlarms"), 1);
        const QString emailSent = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(ParseDateTimeText(emailSent).isValid(), qPrintable(emailSent));
        QVERIFY(m_rig->value("SELECT CauseOfAlarm FROM tblAlarms").toString().contains("Alpha Freezer"));
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        QTest::qWait(300);
        QCOMPARE(m_rig->mailsWith("Alpha Freezer has generated"), 1);
    }

    // The wall clock set back two hours, then forward past retryHours, while a message waits for
    // a server that is down: each retry comes after its pause, none is lost, nothing is given up
    // early. Across a stop the hour that passed meanwhile counts: the message is given up after
    // the attempt then due.
    void waitsAndAgesIgnoreTheWallClockButCountTheStop()
    {
        Outbox *outbox = &m_rig->monitor->outbox;
        MailIniSettings &mail = m_rig->t.state.Ini.mail;
        mail.retryHours = 1;
        mail.retryFirstSeconds = 60;
        mail.retryMaxSeconds = 600;
        ManualClock &clock = m_rig->t.clock;
        useServer(kDownHost, kDownPort);
        m_alpha->setAlarmByte(0, 1);
        m_rig->runCycle();
        QVERIFY(SettleOutbox(*outbox));
        QCOMPARE(attempts(), 1);

        clock.setWallClock(clock.now().addSecs(-7200));
        clock.advanceSeconds(30);
        retryNow(*outbox);
        QCOMPARE(attempts(), 1); // its pause is not over
        clock.advanceSeconds(30);
        retryNow(*outbox);
        QCOMPARE(attempts(), 2);
        QVERIFY(m_rig->t.status.contains(Outbox::WaitingKey + "1  Next attempt at " +
                                         DateTimeText(clock.now().addSecs(120))));

        clock.setWallClock(clock.now().addSecs(3 * 3600));
        clock.advanceSeconds(120);
        retryNow(*outbox);
        QCOMPARE(attempts(), 3);
        QVERIFY(m_rig->value("SELECT EmailSent FROM tblAlarms").toString().endsWith("tried again."));

        m_rig->activation->Shutdown();
        clock.advanceSeconds(3600);
        m_rig->restart(false);
        outbox = &m_rig->monitor->outbox;
        retryNow(*outbox);
        QCOMPARE(m_rig->count("tblOutbox"), 0);
        const QString givenUp = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(givenUp.endsWith("Given up after 4 attempt(s)."), qPrintable(givenUp));
    }

private:
    void useServer(const QString &host, quint16 port)
    {
        m_rig->t.state.Config.SMTPHost = host;
        m_rig->useMailPort(port);
    }

    // Starts the server, sends the alarm e-mail of Alpha Freezer to it and waits until the
    // server holds back its answer (the outbox's attempt still running).
    bool alarmHeldBy(SmtpTestServer &holding)
    {
        if (!holding.start())
            return false;
        useServer(kHoldingHost, holding.port());
        m_alpha->setAlarmByte(0, 1);
        m_rig->t.clock.advanceSeconds(60);
        return RunCycleToEnd(m_rig->monitor->cycle) && holding.waitForHeldAnswer();
    }

    int attempts() { return m_rig->value("SELECT Attempts FROM tblOutbox").toInt(); }

    // The outbox looks for due attempts (as its timer and every cycle make it) and waits for one.
    static void retryNow(Outbox &outbox)
    {
        outbox.Resume();
        QVERIFY(SettleOutbox(outbox));
    }

    std::unique_ptr<FaultRig> m_rig;
    SimDevice *m_alpha = nullptr;
};

QTEST_GUILESS_MAIN(TestOutboxSafety)
#include "tst_outboxsafety.moc"
