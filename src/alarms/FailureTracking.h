#pragma once

#include "Outbox.h"

#include <QHash>
#include <QString>

class Database;
class Notifier;
class ProgramState;

// Device failure episodes: the first failed poll opens one silently, the second queues the one
// notice to the device-failure address, later ones change nothing until the device answers.
class FailureTracking {
public:
    FailureTracking(ProgramState &state, Database &database, Outbox &outbox);

    // After a device failed every attempt of a poll. False on a database failure (the caller
    // logs it).
    bool TrackServerFailure(qint64 deviceId, int requestCount);

    // The notification channels beside e-mail that take device failures; none when null.
    Notifier *notifier = nullptr;

private:
    bool notify(qint64 episode, const QString &name, const QString &address, int requestCount);

    ProgramState &m_state;
    Database &m_database;
    Outbox &m_outbox;
    // Notices queued (or failed) while their episode could not be updated (the database locked
    // or read-only): the episode gets their EmailSent once it can be, so none is built twice.
    QHash<qint64, NotificationOutcome> m_unrecordedNotices;
};
