#include "HealthCheck.h"

namespace {
HealthView failing(const QString &code, const QString &text)
{
    return {false, code, text};
}

QDateTime later(const QDateTime &a, const QDateTime &b)
{
    if (!a.isValid())
        return b;
    if (!b.isValid())
        return a;
    return a < b ? b : a;
}
} // namespace

qint64 HealthLimitSeconds(int updateRateSeconds)
{
    return 3 * qint64(qMax(0, updateRateSeconds)) + 60;
}

HealthView EvaluateHealth(const HealthInputs &in)
{
    const qint64 limit = HealthLimitSeconds(in.updateRateSeconds);
    if (!in.monitoringActive)
        return failing(QStringLiteral("monitoring-ended"),
                       in.cycle.pollingStarted.isValid()
                           ? QStringLiteral("monitoring has ended; no device is polled")
                           : QStringLiteral("monitoring has not started; no device is polled"));
    if (in.cycle.running) {
        const qint64 running = in.cycle.lastStart.secsTo(in.now);
        if (running <= limit)
            return {true, QStringLiteral("ok"), QStringLiteral("ok")};
        return failing(
            QStringLiteral("cycle-hung"),
            QStringLiteral("a poll cycle has been running for %1 s (limit %2 s)").arg(running).arg(limit));
    }
    // A cycle that ended at once because the database failed has polled nothing.
    if (!in.cycle.lastFailure.isEmpty())
        return failing(QStringLiteral("cycle-failed"),
                       QStringLiteral("the last poll cycle polled no device: ") + in.cycle.lastFailure);
    const QDateTime reference = later(in.cycle.lastEnd, in.cycle.pollingStarted);
    if (reference.isValid() && reference.secsTo(in.now) <= limit)
        return {true, QStringLiteral("ok"), QStringLiteral("ok")};
    const QString since =
        in.cycle.lastEnd.isValid()
            ? QStringLiteral("the last poll cycle ended %1 s ago").arg(in.cycle.lastEnd.secsTo(in.now))
            : QStringLiteral("no poll cycle has ended yet");
    if (in.namedSensorRows <= 0)
        return failing(QStringLiteral("no-sensors"),
                       QStringLiteral("no sensors are programmed; nothing is polled"));
    if (!in.pollTimerRunning)
        return failing(QStringLiteral("polling-paused"),
                       QStringLiteral("polling is stopped while %1 is open; %2")
                           .arg(in.deviceWindowOpen ? QStringLiteral("the device window")
                                                    : QStringLiteral("a Setup window"),
                                since));
    return failing(QStringLiteral("cycle-overdue"), QStringLiteral("%1 (limit %2 s)").arg(since).arg(limit));
}
