#pragma once

#include <alarms/Outbox.h>
#include <core/LocalWait.h>

#include <QDeadlineTimer>

// Waits, window events running, until the outbox has no attempt running: every message queued
// so far has had its attempt and its outcome is recorded. False when that took longer than the
// time-out.
inline bool SettleOutbox(Outbox &outbox, int timeoutMs = 30000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (outbox.attemptRunning()) {
        LocalWait wait;
        wait.endOn(&outbox, &Outbox::attemptFinished);
        if (wait.run(int(qMax<qint64>(1, deadline.remainingTime()))) != LocalWait::Outcome::Finished)
            return false;
    }
    return true;
}
