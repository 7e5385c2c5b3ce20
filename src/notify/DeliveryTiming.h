#pragma once

#include <QDateTime>

class ProgramState;

// How old a queued message is and when it is due again: the outbox's measure of message ages and
// its pauses after a failure ([mail] retryHours, retryFirstSeconds, retryMaxSeconds), in one
// place for every notification channel, so the channels follow the outbox wherever it goes.
class DeliveryTiming {
public:
    explicit DeliveryTiming(ProgramState &state) : m_state(state) {}

    QDateTime now() const;
    // After this no attempt is made; a message without retries has its one attempt only.
    QDateTime deadline(const QDateTime &created, bool retries) const;
    // When the attempt after the failedAttempts-th failed one is due; invalid when none is left.
    QDateTime nextAttemptAfterFailure(const QDateTime &created, const QDateTime &failedAt,
                                      int failedAttempts) const;

private:
    ProgramState &m_state;
};
