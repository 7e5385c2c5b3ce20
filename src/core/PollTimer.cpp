#include "PollTimer.h"

#include "Clock.h"
#include "LocalWait.h"
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
    // A tick that arrives while a cycle is under way must not start a second one.
    if (m_state.UpdateInProgress || !m_state.MonitoringActive())
        return;
    m_state.UpdateInProgress = true;
    emit gridEnabledChanged(false);
    if (++m_tickCount < m_ticksPerCycle) {
        endUpdate();
        return;
    }
    StopPollTimer();
    runTimedCycle([this] { endTickCycle(); });
}

void PollTimer::endTickCycle()
{
    // Closing the program during the cycle: the timer stays stopped and the grid disabled.
    if (!m_state.MonitoringActive()) {
        m_state.UpdateInProgress = false;
        return;
    }
    if (afterCycle) {
        const NoNestedWaits noWaits;
        afterCycle();
    }
    m_tickCount = 0;
    StartPollTimer();
    emit cycleFinished();
    endUpdate();
}

void PollTimer::endUpdate()
{
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
    runTimedCycle([this] { endUpdateNow(); });
}

void PollTimer::endUpdateNow()
{
    m_state.UpdateInProgress = false;
    if (!m_state.MonitoringActive())
        return;
    StartPollTimer();
    emit updateEnded();
}

void PollTimer::runTimedCycle(std::function<void()> then)
{
    m_times.lastStart = m_state.clock().now();
    m_times.running = true;
    m_cycleClock.start();
    auto ended = [this, then = std::move(then)] {
        m_times.running = false;
        m_times.lastEnd = m_state.clock().now();
        m_times.lastDurationMs = m_cycleClock.elapsed();
        m_times.lastFailure = cycleFailure ? cycleFailure() : QString();
        emit cycleEnded();
        then();
    };
    if (runCycle)
        runCycle(std::move(ended));
    else
        ended();
}

#include "moc_PollTimer.cpp"
