#include "FailureTracking.h"

#include "MailManager.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>

FailureTracking::FailureTracking(ProgramState &state, Database &database, MailManager &mail)
    : m_state(state), m_database(database), m_mail(mail)
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
    if (episode != 0) {
        QString emailSent = m_unrecordedNotices.take(episode);
        if (emailSent.isEmpty()) {
            const QString text = QStringLiteral("The device: ") + name.toString() +
                                 QStringLiteral(", did not respond to ") + QString::number(requestCount) +
                                 QStringLiteral(" request(s) for data.  The servers's IP address is: ") +
                                 address.toString();
            QString error;
            const bool sent = m_mail.SendTextEmail(text, error);
            emailSent = sent ? DateTimeText(m_state.clock().now()) : error;
        }
        if (m_database.UpdateServerFailureEmailSent(episode, name.toString(), emailSent))
            return true;
        m_unrecordedNotices.insert(episode, emailSent);
        return false;
    }
    if (!m_database.FirstOpenServerFailure(deviceId, true, episode))
        return false;
    if (episode != 0)
        return true; // already reported
    return m_database.AddServerFailure(deviceId, name.toString());
}
