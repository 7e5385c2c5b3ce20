// Faults that strike while an alarm e-mail is out: the program closed meanwhile, and the database
// taken by another connection before the attempt's outcome is written.
#include "support_rig.h"

#include <support/CycleRun.h>

#include <QTest>
#include <QTimer>

#include <functional>

namespace {
// Runs the action once, inside the cycle, as soon as the condition holds (checked every 20 ms).
class WhenInCycle {
public:
    WhenInCycle(std::function<bool()> condition, std::function<void()> action)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, condition, action] {
            if (!condition())
                return;
            m_timer.stop();
            m_done = true;
            action();
        });
        m_timer.start(20);
    }
    bool done() const { return m_done; }

private:
    QTimer m_timer;
    bool m_done = false;
};
} // namespace

class TestCycleFaults : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_rig = std::make_unique<FaultRig>(12);
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
        m_alpha = m_rig->addFreezerAndCooler("Alpha");
        QVERIFY(m_alpha);
        // Mail goes to a server that never answers: each alarm e-mail takes the whole time-out.
        SmtpTestServer::Options silent;
        silent.mode = SmtpTestServer::Mode::Silent;
        m_silent = std::make_unique<SmtpTestServer>(silent);
        QVERIFY(m_silent->start());
        m_rig->useMailPort(m_silent->port());
    }
    void cleanup()
    {
        m_rig.reset();
        m_silent.reset();
    }

    // The program is closed while alarm e-mails wait for a mail server that never answers: the
    // close does not wait for them, the shutdown e-mail is the only one that goes out, and the
    // alarm e-mails stay in the outbox for the next start.
    void closingWhileAlarmEmailsWaitKeepsThemForTheNextStart()
    {
        m_alpha->setAlarmByte(0, 1);
        m_alpha->setAlarmByte(1, 1);
        m_rig->t.clock.advanceSeconds(60);
        QVERIFY(RunCycleToEnd(m_rig->monitor->cycle));
        QCOMPARE(m_rig->count("tblAlarms"), 2);
        QVERIFY(m_rig->monitor->outbox.attemptRunning());
        QCOMPARE(m_rig->count("tblOutbox"), 2);

        m_rig->useMailPort(m_rig->smtp.port());
        m_rig->activation->Shutdown();
        QVERIFY(!m_rig->monitor->outbox.attemptRunning());
        QCOMPARE(m_rig->mailsWith("has been shutdown"), 1);
        QCOMPARE(m_rig->smtp.messages().size(), 1);
        QCOMPARE(m_rig->count("tblOutbox"), 2);
        // Nothing starts once the program is closing.
        m_rig->t.clock.advanceSeconds(3600);
        m_rig->monitor->outbox.Resume();
        QVERIFY(!m_rig->monitor->outbox.attemptRunning());
    }

    // The database is taken by another connection while an alarm e-mail's attempt is out: the
    // attempt's outcome is kept until the database takes it, and the e-mail, retried once the
    // mail server answers, goes out once.
    void outcomeRefusedByABusyDatabaseIsKept()
    {
        m_alpha->setAlarmByte(0, 1);
        ConnectionLock lock;
        WhenInCycle take([this] { return m_rig->monitor->outbox.attemptRunning(); },
                         [this, &lock] { QVERIFY(lock.lock(m_rig->t.path("wexa.mdb"))); });
        m_rig->runCycle();
        QVERIFY(take.done());
        QCOMPARE(m_rig->value("SELECT EmailSent FROM tblAlarms").toString(), OutboxEntry::WaitingText);

        lock.release();
        m_rig->monitor->outbox.Resume();
        const QString failed = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(failed.startsWith("There was an error sending an alarm email "), qPrintable(failed));
        QVERIFY2(failed.contains("Attempt 1 failed; it will be tried again."), qPrintable(failed));
        QVERIFY(!m_rig->value("SELECT CauseOfAlarm FROM tblAlarms").toString().isEmpty());

        m_rig->useMailPort(m_rig->smtp.port());
        m_rig->runCycle(m_rig->t.state.Ini.mail.retryFirstSeconds);
        const QString sent = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(ParseDateTimeText(sent).isValid(), qPrintable(sent));
        QCOMPARE(m_rig->count("tblAlarms"), 1);
        QCOMPARE(m_rig->mailsWith("has generated an alarm"), 1);
    }

private:
    std::unique_ptr<FaultRig> m_rig;
    std::unique_ptr<SmtpTestServer> m_silent;
    SimDevice *m_alpha = nullptr;
};

QTEST_GUILESS_MAIN(TestCycleFaults)
#include "tst_cyclefaults.moc"
