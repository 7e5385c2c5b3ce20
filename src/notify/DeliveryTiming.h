#pragma once

#include <core/Moment.h>

#include <QDateTime>

class ProgramState;

// How old a queued message is and when it is due again: the outbox's measure of message ages
// (monotonic while the program runs, wall-clock time across a stop) and its pauses after a
// failure ([mail] retryHours, retryFirstSeconds, retryMaxSeconds), in one place for every
// notification channel, so the channels follow the outbox wherever it goes.
class DeliveryTiming {
public:
    explicit DeliveryTiming(ProgramState &state) : m_state(state) {}

    Moment now() const;
    // The wall clock, for what is shown and sent.
    QDateTime wallNow() const;
    // The instant of a stored time, and the time to store for an instant.
    Moment fromStored(const QDateTime &when) const;
    QDateTime toStored(const Moment &when) const;
    // After this no attempt is made; a message without retries has its one attempt only.
    Moment deadline(const Moment &origin, bool retries) const;
    // When the attempt after the failedAttempts-th failed one is due; none when none is left.
    Moment nextAttemptAfterFailure(const Moment &origin, const Moment &failedAt, int failedAttempts) const;

private:
    ProgramState &m_state;
};
