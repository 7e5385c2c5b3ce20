#pragma once

#include "Clock.h"

#include <QDateTime>

// An instant as notification channels measure waits and ages (when the next attempt is due, how
// old a message is): on the clock's monotonic time while the program runs, so that a wall clock
// set back or forward changes none of them. What is stored goes as wall-clock time, read as of
// the moment it is written; an instant read back from storage (a message an earlier run left) is
// placed as far from now as the wall clock says, so the wall-clock time between a stop and the
// next start counts.
class Moment {
public:
    Moment() = default; // none: not valid

    static Moment now(const Clock &clock) { return Moment(clock.monotonicMs()); }
    // The instant of a stored wall-clock time; none for an invalid one.
    static Moment fromWallClock(const Clock &clock, const QDateTime &when)
    {
        return when.isValid() ? Moment(clock.monotonicMs() + clock.now().msecsTo(when)) : Moment();
    }

    bool isValid() const { return m_valid; }
    Moment addSecs(qint64 seconds) const { return m_valid ? Moment(m_ms + seconds * 1000) : Moment(); }
    qint64 msecsTo(const Moment &later) const { return later.m_ms - m_ms; }
    // How long ago it was (negative when it is still to come).
    qint64 ageMs(const Clock &clock) const { return clock.monotonicMs() - m_ms; }
    // The wall-clock time of the instant as the wall clock reads now: for texts and storage.
    // Invalid for none.
    QDateTime toWallClock(const Clock &clock) const
    {
        return m_valid ? clock.now().addMSecs(m_ms - clock.monotonicMs()) : QDateTime();
    }

    // None sorts before every instant.
    friend bool operator==(const Moment &a, const Moment &b)
    {
        return a.m_valid == b.m_valid && (!a.m_valid || a.m_ms == b.m_ms);
    }
    friend bool operator<(const Moment &a, const Moment &b)
    {
        return a.m_valid != b.m_valid ? !a.m_valid : a.m_valid && a.m_ms < b.m_ms;
    }
    friend bool operator>(const Moment &a, const Moment &b) { return b < a; }
    friend bool operator<=(const Moment &a, const Moment &b) { return !(b < a); }
    friend bool operator>=(const Moment &a, const Moment &b) { return !(a < b); }

private:
    explicit Moment(qint64 ms) : m_ms(ms), m_valid(true) {}

    qint64 m_ms = 0;
    bool m_valid = false;
};
