// Faults that strike in the middle of an alarm e-mail: the program closed while it is being sent,
// and the database taken by another connection before its outcome is written.
#include "support_rig.h"

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
        m_alpha = m_rig->addDevice("Alpha", {{0, "Alpha Freezer", FaultRig::Temperature},
                                             {1, "Alpha Cooler", FaultRig::Temperature}});
        QVERIFY(m_alpha);
        m_alpha->setReading(1, 6.0);
        m_rig->layOutGrid();
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

    // The program is closed while the first sensor's alarm e-mail is out: after the shutdown
    // e-mail nothing is recorded or sent, neither the second sensor's alarm nor the daily OK.
    void closingDuringAnAlarmEmailStopsTheCycle()
    {
        m_rig->t.state.Config.SystemOKEmail = 1;
        m_rig->t.state.Config.LastSystemOKEmail = DateTimeText(m_rig->t.clock.now().addDays(-1));
        m_rig->saveSettings();
        m_alpha->setAlarmByte(0, 1);
        m_alpha->setAlarmByte(1, 1);
        WhenInCycle close([this] { return m_rig->count("tblAlarms") > 0; },
                          [this] {
                              m_rig->useMailPort(m_rig->smtp.port());
                              m_rig->activation->Shutdown();
                          });
        m_rig->runCycle();
        QVERIFY(close.done());
        QCOMPARE(m_rig->count("tblAlarms"), 1);
        QCOMPARE(m_rig->mailsWith("has been shutdown"), 1);
        QCOMPARE(m_rig->smtp.messages().size(), 1);
        QVERIFY(!m_rig->t.status.contains("Communication Time: "));
    }

    // The database is taken by another connection while the alarm e-mail is out: the outcome is
    // kept and written once the database takes it; the e-mail is not sent again.
    void outcomeRefusedByABusyDatabaseIsKept()
    {
        m_alpha->setAlarmByte(0, 1);
        ConnectionLock lock;
        WhenInCycle take([this] { return m_rig->count("tblAlarms") > 0; },
                         [this, &lock] { QVERIFY(lock.lock(m_rig->t.path("wexa.mdb"))); });
        m_rig->runCycle();
        QVERIFY(take.done());
        QCOMPARE(m_rig->value("SELECT COALESCE(EmailSent, '') FROM tblAlarms").toString(), QString());

        lock.release();
        m_rig->useMailPort(m_rig->smtp.port());
        m_rig->runCycle();
        const QString emailSent = m_rig->value("SELECT EmailSent FROM tblAlarms").toString();
        QVERIFY2(emailSent.startsWith("There was an error sending an alarm email "), qPrintable(emailSent));
        QVERIFY(!m_rig->value("SELECT CauseOfAlarm FROM tblAlarms").toString().isEmpty());
        QCOMPARE(m_rig->count("tblAlarms"), 1);
        QCOMPARE(m_rig->mailsWith("has generated an alarm"), 0);
    }

private:
    std::unique_ptr<FaultRig> m_rig;
    std::unique_ptr<SmtpTestServer> m_silent;
    SimDevice *m_alpha = nullptr;
};

QTEST_GUILESS_MAIN(TestCycleFaults)
#include "tst_cyclefaults.moc"
