#include "LocalWait.h"

#include "ProgramState.h"

LocalWait::LocalWait(ProgramState *state) : m_state(state)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_context, [this] { end(Outcome::TimedOut); });
    if (m_state)
        QObject::connect(m_state, &ProgramState::monitoringActiveChanged, &m_context, [this](bool active) {
            if (!active)
                end(Outcome::Stopped);
        });
}

void LocalWait::finish()
{
    end(Outcome::Finished);
}

void LocalWait::end(Outcome outcome)
{
    if (m_done)
        return;
    m_done = true;
    m_outcome = outcome;
    m_timer.stop();
    m_loop.quit();
}

LocalWait::Outcome LocalWait::run(int timeoutMs)
{
    if (!m_done && m_state && !m_state->MonitoringActive())
        end(Outcome::Stopped);
    if (m_done)
        return m_outcome;
    if (timeoutMs >= 0)
        m_timer.start(timeoutMs);
    m_loop.exec();
    return m_outcome;
}
