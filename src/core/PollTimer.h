#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class ProgramState;

// When polling and its cycles last ran, for the health check and the metrics.
struct CycleTimes {
    QDateTime pollingStarted; // the poll timer was last started
    QDateTime lastStart;      // the last cycle began
    QDateTime lastEnd;        // the last cycle ended (invalid before the first)
    qint64 lastDurationMs = -1;
    bool running = false;
    // Why the last cycle could not poll (its device list could not be read); empty when it could.
    QString lastFailure;
};

// tmrInterupt: the 5-second poll tick. It counts ticks up to the ticks per cycle and then runs
// one poll cycle; the next cycle starts ticks x 5 seconds after the end of this one.
class PollTimer final : public QObject {
    Q_OBJECT
public:
    static constexpr int TickMs = 5000;

    explicit PollTimer(ProgramState &state, QObject *parent = nullptr);

    void StartPollTimer();
    void StopPollTimer();
    bool isRunning() const { return m_timer.isActive(); }
    int interval() const { return m_timer.isActive() ? m_timer.interval() : 0; }

    // UpdateRate / 5 rounded to the nearest whole number (at least 1).
    static int TicksFor(int updateRateSeconds);
    void setTicksPerCycle(int ticks) { m_ticksPerCycle = ticks; }
    int ticksPerCycle() const { return m_ticksPerCycle; }
    int tickCount() const { return m_tickCount; }
    // Tests shorten the tick.
    void setTickMs(int ms) { m_tickMs = ms; }

    // Starts the cycle itself (LogRoutine) and returns; the cycle calls `ended` once it is over
    // (at once when it had nothing to do). Nothing here waits for it: window events, and the boxes
    // they open, run while the cycle's exchanges are under way.
    std::function<void(std::function<void()> ended)> runCycle;
    // What follows a completed cycle (the trending feed).
    std::function<void()> afterCycle;
    // Asked when a cycle has ended: why it could not poll, or nothing.
    std::function<QString()> cycleFailure;

    const CycleTimes &cycleTimes() const { return m_times; }

    // One tick, as the timer delivers it.
    void Tick();
    // btnUpdate: one cycle at once (nothing while a cycle runs). The tick count is kept and the
    // grid is enabled again by the next completed tick.
    void UpdateNow();
    // A cycle from the tick or the update button has started and not yet ended.
    bool cycleRunning() const { return m_times.running; }

signals:
    // The status grid is disabled while a tick runs and enabled after it.
    void gridEnabledChanged(bool enabled);
    void cycleFinished();
    // A cycle, from the tick or from the update button, has ended (also when monitoring ended
    // during it).
    void cycleEnded();
    // UpdateInProgress was cleared: what was held back while the tick or the update button ran
    // (an activation) may run now.
    void updateEnded();

private:
    // Starts the cycle with its times taken; `then` runs once it has ended.
    void runTimedCycle(std::function<void()> then);
    void endTickCycle();
    void endUpdateNow();
    // UpdateInProgress cleared, the grid enabled, and what was held back told it may run.
    void endUpdate();

    ProgramState &m_state;
    QTimer m_timer;
    int m_tickMs = TickMs;
    int m_ticksPerCycle = 12;
    int m_tickCount = 0;
    CycleTimes m_times;
    QElapsedTimer m_cycleClock;
};
