#pragma once

#include <acquisition/PollCycle.h>
#include <core/LocalWait.h>
#include <core/PollTimer.h>

#include <QDeadlineTimer>

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

// Starts a cycle through the poll timer (`start` ticks or presses the update button) and waits
// for its end. True at once when no cycle started.
template <typename Start> bool RunTimerCycleToEnd(PollTimer &timer, Start start, int timeoutMs = 60000)
{
    LocalWait wait;
    wait.endOn(&timer, &PollTimer::cycleEnded);
    start();
    return !timer.cycleRunning() || wait.run(timeoutMs) == LocalWait::Outcome::Finished;
}
