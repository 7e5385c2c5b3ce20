#pragma once

#include <QDateTime>

// The one source of "now" for the engine. The program uses the system clock; tests and the soak
// run stand on a chosen instant and move it forward.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime::currentDateTime()) : m_now(std::move(start)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &when) { m_now = when; }
    void advanceSeconds(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};
