#pragma once

#include <QHash>
#include <QString>

class Database;
class MailManager;
class ProgramState;

// Device failure episodes: the first failed poll opens one silently, the second sends the one
// notice to the device-failure address, later ones change nothing until the device answers.
class FailureTracking {
public:
    FailureTracking(ProgramState &state, Database &database, MailManager &mail);

    // After a device failed every attempt of a poll. False on a database failure (the caller
    // logs it).
    bool TrackServerFailure(qint64 deviceId, int requestCount);

private:
    ProgramState &m_state;
    Database &m_database;
    MailManager &m_mail;
    // Notices that went out while their episode could not be updated (the database locked or
    // read-only): the EmailSent text each episode gets once it can be, so none goes out twice.
    QHash<qint64, QString> m_unrecordedNotices;
};
