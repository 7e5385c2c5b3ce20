#include "PollTimer.h"

#include "Clock.h"
#include "ProgramState.h"

#include <cmath>

PollTimer::PollTimer(ProgramState &state, QObject *parent) : QObject(parent), m_state(state)
{
    m_timer.setObjectName(QStringLiteral("tmrInterupt"));
    connect(&m_timer, &QTimer::timeout, this, &PollTimer::Tick);
}

void PollTimer::StartPollTimer()
{
    m_timer.start(m_tickMs);
    m_times.pollingStarted = m_state.clock().now();
}

void PollTimer::StopPollTimer()
{
    m_timer.stop();
}

int PollTimer::TicksFor(int updateRateSeconds)
{
    return qMax(1, int(std::lround(updateRateSeconds / 5.0)));
}

void PollTimer::Tick()
{
    // A tick delivered inside a wait of a running cycle must not start a second one.
    if (m_state.UpdateInProgress || !m_state.MonitoringActive())
        return;
    m_state.UpdateInProgress = true;
    emit gridEnabledChanged(false);
    if (++m_tickCount >= m_ticksPerCycle) {
        StopPollTimer();
        runTimedCycle();
        if (!m_state.MonitoringActive()) {
            m_state.UpdateInProgress = false;
            return;
        }
        if (afterCycle)
            afterCycle();
        m_tickCount = 0;
        StartPollTimer();
        emit cycleFinished();
    }
    m_state.UpdateInProgress = false;
    emit gridEnabledChanged(true);
    emit updateEnded();
}

void PollTimer::UpdateNow()
{
    if (m_state.UpdateInProgress)
        return;
    m_state.UpdateInProgress = true;
    StopPollTimer();
    emit gridEnabledChanged(false);
    runTimedCycle();
    m_state.UpdateInProgress = false;
    if (!m_state.MonitoringActive())
        return;
    StartPollTimer();
    emit updateEnded();
}

void PollTimer::runTimedCycle()
{
    m_times.lastStart = m_state.clock().now();
    m_times.running = true;
    m_cycleClock.start();
    if (runCycle)
        runCycle();
    m_times.running = false;
    m_times.lastEnd = m_state.clock().now();
    m_times.lastDurationMs = m_cycleClock.elapsed();
    emit cycleEnded();
}
