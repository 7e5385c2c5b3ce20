#pragma once

#include <QDateTime>

#include <chrono>
#include <mutex>

// The one source of "now" for the engine. The program uses the system clock; tests and the soak
// run stand on a chosen instant and move it forward.
//
// Two readings: the wall clock (date and time, which a user or a time service may set back or
// forward) and the run's own monotonic time in milliseconds (which only moves forward, at the pace
// of real time, whatever the wall clock does). Waits and ages that must not follow a clock being
// set use the second (see Moment).
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// Read by the notification thread as well as the thread that moves it: every reading and move
// holds its lock.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime()) : m_now(std::move(start)) {}
    QDateTime now() const override
    {
        const std::lock_guard lock(m_mutex);
        return m_now;
    }
    qint64 monotonicMs() const override
    {
        const std::lock_guard lock(m_mutex);
        return m_monotonicMs;
    }

    // Stands on that instant: the time in between passes (the monotonic time moves on as much)
    // when it is later; an earlier one is the wall clock set back.
    void set(const QDateTime &when)
    {
        const std::lock_guard lock(m_mutex);
        m_monotonicMs += qMax<qint64>(0, m_now.msecsTo(when));
        m_now = when;
    }
    // Time passes: both readings move on.
    void advanceSeconds(qint64 seconds)
    {
        const std::lock_guard lock(m_mutex);
        m_now = m_now.addSecs(seconds);
        m_monotonicMs += seconds * 1000;
    }
    // The wall clock set back (negative) or forward by hand: no time passes.
    void setWallClock(const QDateTime &when)
    {
        const std::lock_guard lock(m_mutex);
        m_now = when;
    }

private:
    mutable std::mutex m_mutex;
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
};
