#include "DeliveryTiming.h"

#include <alarms/OutboxEntry.h>
#include <core/Clock.h>
#include <core/ProgramState.h>

QDateTime DeliveryTiming::now() const
{
    return m_state.clock().now();
}

QDateTime DeliveryTiming::deadline(const QDateTime &created, bool retries) const
{
    return retries ? created.addSecs(qint64(m_state.Ini.mail.retryHours) * 3600) : created;
}

QDateTime DeliveryTiming::nextAttemptAfterFailure(const QDateTime &created, const QDateTime &failedAt,
                                                  int failedAttempts) const
{
    return NextAttemptAfterFailure(created, failedAt, failedAttempts, m_state.Ini.mail);
}
