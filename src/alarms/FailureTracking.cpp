#include "FailureTracking.h"

#include <core/ProgramState.h>
#include <db/Database.h>
#include <notify/Notifier.h>

FailureTracking::FailureTracking(ProgramState &state, Database &database, Outbox &outbox)
    : m_state(state), m_database(database), m_outbox(outbox)
{
}

bool FailureTracking::TrackServerFailure(qint64 deviceId, int requestCount)
{
    const QString table = QStringLiteral("tblServers");
    QVariant name, address;
    if (!m_database.GetFieldValue(deviceId, table, QStringLiteral("ServerName"), name) ||
        !m_database.GetFieldValue(deviceId, table, QStringLiteral("ServerIPAddress"), address))
        return false;

    qint64 episode = 0;
    if (!m_database.FirstOpenServerFailure(deviceId, false, episode))
        return false;
    if (episode != 0)
        return notify(episode, name.toString(), address.toString(), requestCount);
    if (!m_database.FirstOpenServerFailure(deviceId, true, episode))
        return false;
    if (episode != 0)
        return true; // already reported
    return m_database.AddServerFailure(deviceId, name.toString());
}

bool FailureTracking::notify(qint64 episode, const QString &name, const QString &address, int requestCount)
{
    NotificationOutcome notice = m_unrecordedNotices.take(episode);
    if (!notice.queued() && notice.text.isEmpty()) {
        const QString text = QStringLiteral("The device: ") + name + QStringLiteral(", did not respond to ") +
                             QString::number(requestCount) +
                             QStringLiteral(" request(s) for data.  The servers's IP address is: ") + address;
        QString error;
        notice.outboxKey = m_outbox.QueueTextEmail(text, OutboxEntry::Record::DeviceFailure, episode, error);
        notice.text = error;
        if (notifier) {
            NotifyEvent event;
            event.kind = QStringLiteral("device-failure");
            event.device = name;
            event.address = address;
            event.subject = QStringLiteral("Message from Quellmark VKL-E");
            event.text = text + QLatin1Char('.');
            notifier->Notify(event, QStringLiteral("tblServerFailures"), episode);
        }
    }
    const QString emailSent = notice.recordText(m_outbox);
    // Null: the outbox has written the notice's final text into the episode meanwhile.
    if (emailSent.isNull() || m_database.UpdateServerFailureEmailSent(episode, name, emailSent))
        return true;
    m_unrecordedNotices.insert(episode, notice);
    return false;
}
