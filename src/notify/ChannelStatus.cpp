#include "ChannelStatus.h"

#include "ChannelQueue.h"

ChannelStatus ChannelStatus::Of(const ChannelQueue &queue)
{
    ChannelStatus s;
    s.m_channel = queue.channel();
    s.m_waiting = queue.waitingCount();
    s.m_failed = queue.failedTotal();
    s.m_running = queue.attemptRunning();
    s.m_nextAttempt = queue.nextAttemptTime();
    s.m_openAlerts = queue.openAlerts();
    return s;
}
