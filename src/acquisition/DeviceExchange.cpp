#include "DeviceExchange.h"

#include <core/Clock.h>
#include <core/ProgramState.h>
#include <link/DeviceCommands.h>
#include <link/DeviceLink.h>

DeviceExchange::DeviceExchange(ProgramState &state, const QString &address, int attempts,
                               const LinkTimings &timings, QObject *parent)
    : QObject(parent), m_state(state), m_address(address), m_attempts(attempts), m_timings(timings),
      m_transaction(state)
{
    m_pause.setSingleShot(true);
    m_pause.setTimerType(Qt::PreciseTimer);
    connect(&m_pause, &QTimer::timeout, this, &DeviceExchange::nextAttempt);
    m_lane.setSingleShot(true);
    connect(&m_lane, &QTimer::timeout, this, &DeviceExchange::markOnlyWaiting);
    connect(&m_transaction, &LinkTransaction::opened, this, &DeviceExchange::opened);
    connect(&m_transaction, &LinkTransaction::finished, this, &DeviceExchange::onTransactionFinished);
}

void DeviceExchange::start()
{
    if (m_result.outcome != Outcome::Waiting)
        return;
    m_result.outcome = Outcome::Running;
    m_attempt = 1;
    m_lane.start(m_timings.laneMs);
    send(Step::Identify);
}

void DeviceExchange::stop()
{
    const bool running = isRunning();
    m_transaction.abort();
    m_pause.stop();
    m_lane.stop();
    if (!isDone())
        m_result.outcome = Outcome::Stopped;
    if (running)
        emit finished();
}

void DeviceExchange::send(Step step)
{
    const CommandCodes &codes = DeviceCommands();
    m_step = step;
    m_transaction.start(m_address, DeviceLink::DevicePort,
                        BuildCommand(step == Step::Identify ? codes.IdentifyCommand : codes.DataCommand),
                        CommandCodes::FrameLength, m_timings);
}

void DeviceExchange::onTransactionFinished(bool accepted)
{
    emit transactionEnded();
    if (m_step == Step::Identify)
        afterIdentify(accepted);
    else
        afterReadings(accepted);
}

void DeviceExchange::afterIdentify(bool accepted)
{
    if (accepted) {
        m_result.identifyReply = m_transaction.reply();
        send(Step::Readings);
    } else if (IsBusyReply(m_transaction.reply())) {
        // A device on a telephone call answers every command with the busy reply; it is busy,
        // not failed.
        finish(Outcome::Busy);
    } else {
        pauseAfterFailure();
    }
}

void DeviceExchange::afterReadings(bool accepted)
{
    m_result.readingsReply = m_transaction.reply();
    m_result.downloadedAt = m_state.clock().now();
    if (IsBusyReply(m_result.readingsReply))
        finish(Outcome::Busy);
    else if (accepted)
        finish(Outcome::Ok);
    else
        pauseAfterFailure();
}

void DeviceExchange::pauseAfterFailure()
{
    m_pause.start(m_timings.retryPauseMs);
    markOnlyWaiting();
}

void DeviceExchange::markOnlyWaiting()
{
    m_lane.stop();
    if (m_onlyWaiting || !isRunning())
        return;
    m_onlyWaiting = true;
    emit onlyWaiting();
}

void DeviceExchange::nextAttempt()
{
    if (++m_attempt > m_attempts)
        finish(Outcome::Failed);
    else
        send(Step::Identify);
}

void DeviceExchange::finish(Outcome outcome)
{
    m_lane.stop();
    m_result.outcome = outcome;
    emit finished();
}

#include "moc_DeviceExchange.cpp"
