#include "LocalWait.h"

#include "ProgramState.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace {
// How many guarded steps are on this thread's stack.
thread_local int g_noWaitDepth = 0;
} // namespace

NoNestedWaits::NoNestedWaits()
{
    ++g_noWaitDepth;
}

NoNestedWaits::~NoNestedWaits()
{
    --g_noWaitDepth;
}

void NoNestedWaits::Check(const char *what)
{
    if (g_noWaitDepth == 0)
        return;
    if (qEnvironmentVariableIsSet("TALLYPORT_FORBID_NESTED_WAITS"))
        qFatal("%s started a nested event loop inside a poll cycle's step", what);
    qWarning("%s started a nested event loop inside a poll cycle's step", what);
}

void NoNestedWaits::Fault(const char *what)
{
    if (qEnvironmentVariableIsSet("TALLYPORT_FORBID_NESTED_WAITS"))
        qFatal("%s while a poll cycle runs", what);
    qWarning("%s while a poll cycle runs", what);
}

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
    NoNestedWaits::Check("A local wait");
    if (timeoutMs >= 0)
        m_timer.start(timeoutMs);
    m_loop.exec();
    return m_outcome;
}

EventTurns::EventTurns(ProgramState &state) : m_state(state)
{
    QObject::connect(&m_state, &ProgramState::monitoringActiveChanged, &m_context, [this](bool active) {
        if (!active)
            ++m_stops;
    });
}

bool EventTurns::next()
{
    if (!m_state.MonitoringActive())
        return false;
    NoNestedWaits::Check("A local wait");
    const quint64 stopsBefore = m_stops;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return m_stops == stopsBefore;
}
