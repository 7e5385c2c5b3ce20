#include "DeliveryTiming.h"

#include <alarms/OutboxEntry.h>
#include <core/Clock.h>
#include <core/ProgramState.h>

Moment DeliveryTiming::now() const
{
    return Moment::now(m_state.clock());
}

QDateTime DeliveryTiming::wallNow() const
{
    return m_state.clock().now();
}

Moment DeliveryTiming::fromStored(const QDateTime &when) const
{
    return Moment::fromWallClock(m_state.clock(), when);
}

QDateTime DeliveryTiming::toStored(const Moment &when) const
{
    return when.toWallClock(m_state.clock());
}

Moment DeliveryTiming::deadline(const Moment &origin, bool retries) const
{
    return retries ? origin.addSecs(qint64(m_state.Ini.mail.retryHours) * 3600) : origin;
}

Moment DeliveryTiming::nextAttemptAfterFailure(const Moment &origin, const Moment &failedAt,
                                               int failedAttempts) const
{
    return NextAttemptAfterFailure(origin, failedAt, failedAttempts, m_state.Ini.mail);
}
