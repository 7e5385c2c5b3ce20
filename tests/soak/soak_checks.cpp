#include "soak_checks.h"

#include "soak_resources.h"

#include "../faults/support_rig.h"

#include <QSet>
#include <QSqlQuery>

namespace {
const QString kFalse = QStringLiteral("False");

// An e-mail outcome that may still change: the message waits in the outbox.
bool stillWaiting(const QString &emailSent)
{
    return emailSent == QLatin1String("Waiting to be sent") ||
           emailSent.contains(QLatin1String("; it will be tried again."));
}

QString where(int cycle, qint64 id, const QString &table)
{
    return QStringLiteral("cycle %1, %2 row %3: ").arg(cycle).arg(table).arg(id);
}
} // namespace

QStringList RecordChecker::check(int cycle)
{
    QStringList problems;
    checkAlarms(cycle, problems);
    checkEpisodes(cycle, QStringLiteral("tblServerFailures"), QStringLiteral("ServerIDNum"), m_failures,
                  problems);
    checkEpisodes(cycle, QStringLiteral("tblLogFileBackup"), QString(), m_backups, problems);
    return problems;
}

qint64 RecordChecker::heldKb() const
{
    constexpr qint64 alarmEntry = sizeof(qint64) + sizeof(AlarmSeen);
    constexpr qint64 episodeEntry = sizeof(qint64) + sizeof(int);
    return (HashHeapBytes(m_alarms.capacity(), m_alarms.size(), alarmEntry) +
            HashHeapBytes(m_failures.capacity(), m_failures.size(), episodeEntry) +
            HashHeapBytes(m_backups.capacity(), m_backups.size(), episodeEntry)) /
           1024;
}

void RecordChecker::checkAlarms(int cycle, QStringList &problems)
{
    QSqlQuery query(m_rig.reader());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT IDNum, SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, EmailSent "
                                   "FROM tblAlarms"))) {
        problems << QStringLiteral("cycle %1: tblAlarms could not be read").arg(cycle);
        return;
    }
    QSet<qint64> present;
    QSet<qint64> sensorsOpen;
    while (query.next()) {
        ++m_rowChecks;
        const qint64 id = query.value(0).toLongLong();
        const qint64 sensor = query.value(1).toLongLong();
        const QString start = query.value(2).toString();
        const bool ended = !query.value(3).isNull();
        const QString end = query.value(3).toString();
        const bool active = query.value(4).toInt() != 0;
        const QString emailSent = query.value(5).toString();
        // Named only when something is wrong: the run reads every row after every cycle.
        const auto at = [&] { return where(cycle, id, QStringLiteral("tblAlarms")); };
        present.insert(id);
        if (!ended) {
            if (sensorsOpen.contains(sensor))
                problems << at() + QStringLiteral("a second open alarm of sensor %1").arg(sensor);
            sensorsOpen.insert(sensor);
        }
        if (ended && end < start) // both in the sortable form
            problems << at() + QStringLiteral("ends (%1) before it starts (%2)").arg(end, start);
        if (active == ended)
            problems << at() + QStringLiteral("AlarmActive %1 with AlarmEnd %2").arg(active).arg(end);
        if (emailSent.isEmpty())
            problems << at() + QStringLiteral("no e-mail outcome");
        const AlarmSeen now{ended, qHash(end), qHash(emailSent), false};
        const auto seen = m_alarms.constFind(id);
        if (seen != m_alarms.constEnd()) {
            if (seen->ended && !ended)
                problems << at() + QStringLiteral("reopened");
            if (seen->ended && now.end != seen->end)
                problems << at() + QStringLiteral("end changed to %1").arg(end);
            if (seen->emailSentFinal && now.emailSent != seen->emailSent)
                problems << at() + QStringLiteral("EmailSent changed after it was final");
        }
        m_alarms.insert(
            id, {now.ended, now.end, now.emailSent, !emailSent.isEmpty() && !stillWaiting(emailSent)});
    }
    for (auto it = m_alarms.constBegin(); it != m_alarms.constEnd(); ++it)
        if (!present.contains(it.key()))
            problems << where(cycle, it.key(), QStringLiteral("tblAlarms")) + QStringLiteral("disappeared");
}

void RecordChecker::checkEpisodes(int cycle, const QString &table, const QString &ownerColumn,
                                  QHash<qint64, int> &states, QStringList &problems)
{
    const QString owner = ownerColumn.isEmpty() ? QStringLiteral("0") : ownerColumn;
    QSqlQuery query(m_rig.reader());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT IDNum, %1, BackOnLine, EmailSent FROM %2").arg(owner, table))) {
        problems << QStringLiteral("cycle %1: %2 could not be read").arg(cycle).arg(table);
        return;
    }
    QSet<qint64> present;
    QSet<qint64> ownersOpen;
    while (query.next()) {
        ++m_rowChecks;
        const qint64 id = query.value(0).toLongLong();
        const qint64 ownerId = query.value(1).toLongLong();
        const QString backOnLine = query.value(2).toString();
        const QString emailSent = query.value(3).toString();
        const auto at = [&] { return where(cycle, id, table); };
        present.insert(id);
        const int state = backOnLine != kFalse  ? Closed
                          : emailSent != kFalse ? OpenNotified
                                                : OpenNotNotified;
        if (state != Closed) {
            if (ownersOpen.contains(ownerId))
                problems << at() + QStringLiteral("a second open episode");
            ownersOpen.insert(ownerId);
        }
        const auto seen = states.constFind(id);
        if (seen != states.constEnd() && state < *seen)
            problems << at() + QStringLiteral("went back from state %1 to %2").arg(*seen).arg(state);
        states.insert(id, state);
    }
    for (auto it = states.constBegin(); it != states.constEnd(); ++it)
        if (!present.contains(it.key()))
            problems << where(cycle, it.key(), table) + QStringLiteral("disappeared");
}
