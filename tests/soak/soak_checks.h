#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class FaultRig;

// What the records must keep whatever happens, read from the database after every cycle:
// - an alarm record opens once and ends once: a sensor has at most one open row; an ended row
//   has AlarmEnd >= AlarmStart and AlarmActive false, an open one AlarmActive true; a row never
//   reopens, never changes its end, never changes its EmailSent once final (while its e-mail
//   waits in the outbox it says so and may change), never disappears;
// - a device failure or backup episode goes open-not-notified -> open-notified -> closed, never
//   back, and a device (the backup directory) has at most one open episode.
class RecordChecker {
public:
    explicit RecordChecker(FaultRig &rig) : m_rig(rig) {}

    // Problems found after this cycle; empty when all holds.
    QStringList check(int cycle);

    int alarmRowsFollowed() const { return int(m_alarms.size()); }
    int episodesFollowed() const { return int(m_failures.size() + m_backups.size()); }
    qint64 rowChecks() const { return m_rowChecks; }
    // Heap the checker's own records of the rows take.
    qint64 heldKb() const;

private:
    // Hashes of the texts: the run follows thousands of rows and must not grow much itself.
    struct AlarmSeen {
        bool ended = false;
        size_t end = 0;
        size_t emailSent = 0;
        bool emailSentFinal = false;
    };
    enum EpisodeState { OpenNotNotified = 0, OpenNotified = 1, Closed = 2 };

    void checkAlarms(int cycle, QStringList &problems);
    void checkEpisodes(int cycle, const QString &table, const QString &ownerColumn,
                       QHash<qint64, int> &states, QStringList &problems);

    FaultRig &m_rig;
    QHash<qint64, AlarmSeen> m_alarms;
    QHash<qint64, int> m_failures;
    QHash<qint64, int> m_backups;
    qint64 m_rowChecks = 0;
};
