#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

class ProgramState;

// Marks code that must never wait in a nested event loop: the poll cycle's steps, which run from
// signals and timers so that a box or window opened meanwhile never holds monitoring up. While
// one is on the stack, a local wait or a modal box that starts is a fault: it is logged, and
// where TALLYPORT_FORBID_NESTED_WAITS is set in the environment (every test run) the program
// stops on the spot, naming what tried to wait.
class NoNestedWaits final {
public:
    NoNestedWaits();
    ~NoNestedWaits();
    NoNestedWaits(const NoNestedWaits &) = delete;
    NoNestedWaits &operator=(const NoNestedWaits &) = delete;

    // Called where a nested loop is about to start.
    static void Check(const char *what);
    // A fault in the running of the poll cycle itself (a second cycle started inside one): logged
    // as the guard logs, and fatal under the same switch.
    static void Fault(const char *what);
};

// One wait on the UI thread: a local event loop that a signal, a time-out or (when a program
// state is given) the end of MonitoringActive finishes. Window events keep running meanwhile;
// nothing spins and nothing sleeps.
class LocalWait final {
public:
    enum class Outcome { Finished, TimedOut, Stopped };

    // With a program state, clearing MonitoringActive ends the wait with Stopped.
    explicit LocalWait(ProgramState *state = nullptr);
    LocalWait(const LocalWait &) = delete;
    LocalWait &operator=(const LocalWait &) = delete;

    // Any emission of the signal finishes the wait.
    template <typename Sender, typename Signal> void endOn(const Sender *sender, Signal signal)
    {
        QObject::connect(sender, signal, &m_context, [this] { finish(); });
    }

    void finish();
    // Waits until finish(), the time-out (negative: none) or the stop. Returns at once when
    // finish() came before or when monitoring is already stopped.
    Outcome run(int timeoutMs);

private:
    void end(Outcome outcome);

    ProgramState *m_state;
    QObject m_context;
    QEventLoop m_loop;
    QTimer m_timer;
    bool m_done = false;
    Outcome m_outcome = Outcome::Finished;
};

// Waiting in turns on the UI thread, for a caller that checks its own condition after each: a
// turn handles the events that are due, or sleeps until the first one comes, and returns after
// them. No loop of its own is started, so nothing has to wake one to end it. Window events keep
// running meanwhile; nothing spins.
class EventTurns final {
public:
    explicit EventTurns(ProgramState &state);
    EventTurns(const EventTurns &) = delete;
    EventTurns &operator=(const EventTurns &) = delete;

    // One turn. False, without waiting, when monitoring is stopped, and when it stopped during the
    // turn (even if it started again).
    bool next();

private:
    ProgramState &m_state;
    QObject m_context;
    quint64 m_stops = 0; // how often monitoring stopped
};
