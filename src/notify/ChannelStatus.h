#pragma once

#include <core/IniSettings.h>

#include <QDateTime>

class ChannelQueue;

// What a channel's queue looked like when the notification thread last reported it: what the
// status list, the status page and the metrics show.
class ChannelStatus {
public:
    static ChannelStatus Of(const ChannelQueue &queue);

    const NotifyChannelSettings &channel() const { return m_channel; }
    int waitingCount() const { return m_waiting; }
    // Messages given up in this run.
    int failedTotal() const { return m_failed; }
    bool attemptRunning() const { return m_running; }
    // Invalid when none waits.
    QDateTime nextAttemptTime() const { return m_nextAttempt; }
    // Alertmanager: the alerts posted again while open.
    int openAlerts() const { return m_openAlerts; }

private:
    NotifyChannelSettings m_channel;
    int m_waiting = 0;
    int m_failed = 0;
    bool m_running = false;
    QDateTime m_nextAttempt;
    int m_openAlerts = 0;
};
