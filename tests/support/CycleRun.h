#pragma once

#include <acquisition/PollCycle.h>
#include <core/LocalWait.h>
#include <core/PollTimer.h>

#include <QDeadlineTimer>

// A time-out for the waits below that lets a cycle run to its real end, however long it takes
// (every wait in a cycle is bounded, so it ends): what benchmarks use, so that no figure is cut
// short and no cycle runs on into the next measurement.
constexpr int NoCycleLimit = -1;

// Runs one poll cycle to its end, window events running (the cycle itself never waits: it goes
// on from the exchanges' signals). False when it took longer than the time-out.
inline bool RunCycleToEnd(PollCycle &cycle, int timeoutMs = 60000)
{
    bool ended = false;
    LocalWait wait;
    wait.endOn(&cycle, &PollCycle::finished);
    cycle.LogRoutine([&ended] { ended = true; });
    return ended || wait.run(timeoutMs) == LocalWait::Outcome::Finished;
}

// Runs one poll cycle to its real end, for benchmarks.
inline void RunCycleToItsEnd(PollCycle &cycle)
{
    RunCycleToEnd(cycle, NoCycleLimit);
}

// Starts a cycle through the poll timer (`start` ticks or presses the update button) and waits
// for its end. True at once when no cycle started.
template <typename Start> bool RunTimerCycleToEnd(PollTimer &timer, Start start, int timeoutMs = 60000)
{
    LocalWait wait;
    wait.endOn(&timer, &PollTimer::cycleEnded);
    start();
    return !timer.cycleRunning() || wait.run(timeoutMs) == LocalWait::Outcome::Finished;
}
