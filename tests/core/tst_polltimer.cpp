// The poll tick: how many ticks make a cycle, what the timer and the grid do around a cycle, and
// the update button. Ticks are delivered by hand; nothing here waits for the real timer.
#include <core/Activation.h>
#include <core/PollTimer.h>

#include <support/TestState.h>

#include <QSignalSpy>
#include <QTest>

namespace {
// A cycle that does its work at once and then ends.
std::function<void(std::function<void()>)> Sync(std::function<void()> body)
{
    return [body](std::function<void()> ended) {
        body();
        ended();
    };
}
} // namespace

class TestPollTimer : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_t = std::make_unique<TestState>();
        m_t->state.setMonitoringActive(true);
        m_timer = std::make_unique<PollTimer>(m_t->state);
        m_cycles = 0;
        m_timer->runCycle = Sync([this] { ++m_cycles; });
    }
    void cleanup()
    {
        m_timer.reset();
        m_t.reset();
    }

    void ticksPerCycle_data()
    {
        QTest::addColumn<int>("updateRate");
        QTest::addColumn<int>("ticks");
        QTest::newRow("12 s: every 2 ticks") << 12 << 2;
        QTest::newRow("13 s: every 3 ticks") << 13 << 3;
        QTest::newRow("60 s: every 12 ticks") << 60 << 12;
    }
    void ticksPerCycle()
    {
        QFETCH(int, updateRate);
        QFETCH(int, ticks);
        m_timer->setTicksPerCycle(PollTimer::TicksFor(updateRate));
        m_timer->StartPollTimer();
        for (int tick = 1; tick <= 2 * ticks; ++tick) {
            m_timer->Tick();
            QCOMPARE(m_cycles, tick / ticks);
        }
    }

    // The timer is stopped while the cycle runs, the grid disabled; afterwards the count starts
    // again from 0 and the timer runs.
    void cycleStopsTheTimerAndRestartsIt()
    {
        QSignalSpy grid(m_timer.get(), &PollTimer::gridEnabledChanged);
        m_timer->setTicksPerCycle(2);
        m_timer->StartPollTimer();
        bool runningDuringCycle = true;
        QList<bool> gridDuringCycle;
        m_timer->runCycle = Sync([&] {
            ++m_cycles;
            runningDuringCycle = m_timer->isRunning();
            gridDuringCycle = {grid.last().first().toBool()};
            QVERIFY(m_t->state.UpdateInProgress);
        });
        m_timer->Tick();
        QCOMPARE(m_timer->tickCount(), 1);
        QCOMPARE(grid.size(), 2); // disabled and enabled again by a tick that runs no cycle
        m_timer->Tick();
        QCOMPARE(m_cycles, 1);
        QVERIFY(!runningDuringCycle);
        QCOMPARE(gridDuringCycle, QList<bool>{false});
        QCOMPARE(m_timer->tickCount(), 0);
        QVERIFY(m_timer->isRunning());
        QCOMPARE(m_timer->interval(), PollTimer::TickMs);
        QVERIFY(grid.last().first().toBool());
        QVERIFY(!m_t->state.UpdateInProgress);
    }

    // Closing the program during a cycle: the timer stays stopped and the grid disabled.
    void monitoringEndedDuringACycleStopsForGood()
    {
        QSignalSpy grid(m_timer.get(), &PollTimer::gridEnabledChanged);
        QSignalSpy ended(m_timer.get(), &PollTimer::updateEnded);
        m_timer->setTicksPerCycle(1);
        m_timer->StartPollTimer();
        m_timer->runCycle = Sync([this] { m_t->state.setMonitoringActive(false); });
        m_timer->Tick();
        QVERIFY(!m_timer->isRunning());
        QVERIFY(!m_t->state.UpdateInProgress);
        QVERIFY(!grid.last().first().toBool());
        QCOMPARE(ended.size(), 0);
        // A tick that still arrives starts nothing.
        m_timer->runCycle = Sync([this] { ++m_cycles; });
        m_timer->Tick();
        QCOMPARE(m_cycles, 0);
    }

    // A cycle that ends later (its exchanges under way): the tick returns at once with the cycle
    // running, the timer stopped and the grid disabled; ticks and the update button meanwhile
    // start nothing; the cycle's end restarts the timer, enables the grid and lets a held-back
    // activation run.
    void cycleEndsAfterTheTickHasReturned()
    {
        QSignalSpy grid(m_timer.get(), &PollTimer::gridEnabledChanged);
        QSignalSpy ended(m_timer.get(), &PollTimer::updateEnded);
        std::function<void()> endCycle;
        m_timer->runCycle = [&](std::function<void()> done) {
            ++m_cycles;
            endCycle = std::move(done);
        };
        m_timer->setTicksPerCycle(1);
        m_timer->StartPollTimer();
        m_timer->Tick();
        QVERIFY(m_timer->cycleRunning());
        QVERIFY(m_t->state.UpdateInProgress);
        QVERIFY(!m_timer->isRunning());
        QVERIFY(!grid.last().first().toBool());
        m_timer->Tick();
        m_timer->UpdateNow();
        QCOMPARE(m_cycles, 1);
        QCOMPARE(ended.size(), 0);
        endCycle();
        QVERIFY(!m_timer->cycleRunning());
        QVERIFY(!m_t->state.UpdateInProgress);
        QVERIFY(m_timer->isRunning());
        QVERIFY(grid.last().first().toBool());
        QCOMPARE(ended.size(), 1);
        QVERIFY(m_timer->cycleTimes().lastEnd.isValid());
    }

    // A tick that arrives inside a running cycle's wait starts no second cycle and does not count.
    void tickDuringACycleIsIgnored()
    {
        m_timer->setTicksPerCycle(1);
        m_timer->runCycle = Sync([this] {
            ++m_cycles;
            m_timer->Tick();
        });
        m_timer->Tick();
        QCOMPARE(m_cycles, 1);
        QCOMPARE(m_timer->tickCount(), 0);
    }

    // The update button runs a cycle at once and keeps the tick count; not while a cycle runs.
    void updateButtonKeepsTheCount()
    {
        m_timer->setTicksPerCycle(3);
        m_timer->StartPollTimer();
        m_timer->Tick();
        m_timer->Tick();
        bool runningDuringCycle = true;
        m_timer->runCycle = Sync([&] {
            ++m_cycles;
            runningDuringCycle = m_timer->isRunning();
            m_timer->UpdateNow(); // a second press inside the cycle
        });
        m_timer->UpdateNow();
        QCOMPARE(m_cycles, 1);
        QVERIFY(!runningDuringCycle);
        QCOMPARE(m_timer->tickCount(), 2);
        QVERIFY(m_timer->isRunning());
        QVERIFY(!m_t->state.UpdateInProgress);
        m_timer->Tick();
        QCOMPARE(m_cycles, 2);
    }

    // An activation asked for while a cycle runs is held back until the cycle has ended; none of
    // its steps (the watchdog disarmed, the status list cleared, the tick restarted) runs inside.
    void activationWaitsForTheEndOfTheCycle()
    {
        Activation activation(m_t->state, *m_timer);
        int stopTimeouts = 0;
        activation.services.StopTimeout = [&] { ++stopTimeouts; };
        activation.services.CountNamedSensors = [](int &count) {
            count = 1;
            return true;
        };
        m_timer->setTicksPerCycle(1);
        bool deferredInCycle = false;
        m_timer->runCycle = Sync([&] {
            m_t->state.UpdateStatus("Communication Time: ", "3 seconds");
            m_t->state.FirstCycle = false;
            activation.RunActivationSequence();
            deferredInCycle = activation.activationDeferred();
            QCOMPARE(stopTimeouts, 0);
            QVERIFY(!m_timer->isRunning());
            QVERIFY(m_t->status.contains("Communication Time: "));
            QVERIFY(!m_t->state.FirstCycle);
        });
        QSignalSpy ended(m_timer.get(), &PollTimer::updateEnded);
        m_timer->Tick();
        QVERIFY(deferredInCycle);
        QCOMPARE(ended.size(), 1);
        activation.RunActivationSequence();
        QVERIFY(!activation.activationDeferred());
        QCOMPARE(stopTimeouts, 1);
        QVERIFY(m_t->state.FirstCycle);
    }

private:
    std::unique_ptr<TestState> m_t;
    std::unique_ptr<PollTimer> m_timer;
    int m_cycles = 0;
};

QTEST_GUILESS_MAIN(TestPollTimer)
#include "tst_polltimer.moc"
