// Failure episodes: devices that stopped answering (tblServerFailures) and data files that could
// not be copied to the backup directory (tblLogFileBackup). Their status columns hold "False"
// until the event happens, then the program's date-time text (or a mail error text).
#include "Database.h"
#include "RowReaders.h"

#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace {
const QString kFalseText = QStringLiteral("False");

QString noEpisodeText(qint64 id)
{
    return QStringLiteral("There is no failure episode number %1.").arg(id);
}
} // namespace

// --- Backup failure episodes ---

bool Database::AddBackupFileError(const QString &failureText)
{
    if (!run(QStringLiteral("INSERT INTO tblLogFileBackup (FirstError, BackOnLine, EmailSent, Error) "
                            "VALUES (?, ?, ?, ?)"),
             {now(), kFalseText, kFalseText, failureText}))
        return failWithLog(QStringLiteral("Error adding alarm record to tblLogFileBackup"));
    return true;
}

bool Database::RecordOpenBackupFileErrors(OpenRecords &found)
{
    found = OpenRecords();
    {
        Statement query = run(QStringLiteral("SELECT COUNT(*), MAX(IDNum) FROM tblLogFileBackup "
                                             "WHERE FirstError <> ? AND BackOnLine = ?"),
                              {kFalseText, kFalseText});
        if (query && query->next()) {
            found.count = query->value(0).toInt();
            found.lastId = found.count > 0 ? query->value(1).toLongLong() : 0;
            return true;
        }
        if (query)
            fail(query->lastError().text());
    }
    return failWithLog(QStringLiteral("Error RecordOpenBackupFileErrors()"));
}

bool Database::MarkBackupFileErrorBackOnLine(qint64 episodeId)
{
    const QString stamp = now();
    Statement query = run(QStringLiteral("UPDATE tblLogFileBackup SET LatestAttempt = ?, BackOnLine = ? "
                                         "WHERE IDNum = ?"),
                          {stamp, stamp, episodeId});
    return query && (query->numRowsAffected() > 0 || fail(noEpisodeText(episodeId)));
}

bool Database::UpdateBackupFileErrorEmailSent(qint64 episodeId, const QString &emailSent)
{
    Statement query = run(QStringLiteral("UPDATE tblLogFileBackup SET EmailSent = ? WHERE IDNum = ?"),
                          {emailSent, episodeId});
    return query && (query->numRowsAffected() > 0 || fail(noEpisodeText(episodeId)));
}

// --- Device failure episodes ---

bool Database::FirstOpenServerFailure(qint64 serverId, bool notified, qint64 &firstId)
{
    firstId = 0;
    const QString sql = notified
                            ? QStringLiteral("SELECT MIN(IDNum) FROM tblServerFailures "
                                             "WHERE ServerIDNum = ? AND BackOnLine = ? AND EmailSent <> ?")
                            : QStringLiteral("SELECT MIN(IDNum) FROM tblServerFailures "
                                             "WHERE ServerIDNum = ? AND BackOnLine = ? AND EmailSent = ?");
    Statement query = run(sql, {serverId, kFalseText, kFalseText});
    if (!query)
        return false;
    if (!query->next())
        return fail(query->lastError().text());
    firstId = query->value(0).toLongLong(); // Null (no episode) reads as 0
    return true;
}

bool Database::MarkServerBackOnLine(qint64 serverId, qint64 *announced)
{
    // Read first: a device that answers normally has no open episode, and the poll cycle then
    // takes no write lock at all.
    qint64 firstId = 0;
    qint64 firstAnnounced = 0;
    if (!firstOpenEpisodes(serverId, firstId, firstAnnounced))
        return false;
    if (announced)
        *announced = firstAnnounced;
    if (firstId == 0)
        return true;
    return bool(
        run(QStringLiteral("UPDATE tblServerFailures SET BackOnLine = ? WHERE IDNum = ?"), {now(), firstId}));
}

bool Database::firstOpenEpisodes(qint64 serverId, qint64 &firstId, qint64 &firstAnnounced)
{
    std::pair<qint64, qint64> found;
    const bool ok = remembered(&ReadMemo::openEpisodes, serverId, found, [&](std::pair<qint64, qint64> &read) {
        Statement query = run(QStringLiteral("SELECT MIN(IDNum), MIN(CASE WHEN EmailSent <> ? THEN IDNum END) "
                                             "FROM tblServerFailures WHERE ServerIDNum = ? AND BackOnLine = ?"),
                              {kFalseText, serverId, kFalseText});
        if (!query)
            return false;
        if (!query->next())
            return fail(query->lastError().text());
        read = {query->value(0).toLongLong(), query->value(1).toLongLong()}; // Null (none) reads as 0
        return true;
    });
    firstId = found.first;
    firstAnnounced = found.second;
    return ok;
}

bool Database::AddServerFailure(qint64 serverId, const QString &serverName)
{
    return bool(
        run(QStringLiteral("INSERT INTO tblServerFailures (ServerName, ServerIDNum, OffLine, BackOnLine, "
                           "EmailSent) VALUES (?, ?, ?, ?, ?)"),
            {serverName, serverId, storedNow(), kFalseText, kFalseText}));
}

bool Database::UpdateServerFailureEmailSent(qint64 episodeId, const QString &serverName,
                                            const QString &emailSent)
{
    Statement query =
        run(QStringLiteral("UPDATE tblServerFailures SET ServerName = ?, EmailSent = ? WHERE IDNum = ?"),
            {serverName, emailSent, episodeId});
    return query && (query->numRowsAffected() > 0 || fail(noEpisodeText(episodeId)));
}

bool Database::DeleteServerErrors()
{
    if (!run(QStringLiteral("DELETE FROM tblServerFailures")))
        return failWithLog(QStringLiteral("DeleteServerErrors()"));
    return true;
}

bool Database::ServerFailuresNewestFirst(QList<ServerFailureRecord> &rows, bool notifiedOnly, int offset,
                                         int limit, qint64 upToId)
{
    rows.clear();
    const QString notified = notifiedOnly ? QStringLiteral("AND EmailSent <> 'False' ") : QString();
    Statement query =
        run(QStringLiteral("SELECT %1 FROM tblServerFailures WHERE IDNum <= ? %2ORDER BY OffLine DESC, "
                           "IDNum DESC LIMIT ? OFFSET ?")
                .arg(RowReaders::ServerFailureColumns, notified),
            {upToId > 0 ? upToId : std::numeric_limits<qint64>::max(), limit, offset});
    if (!query)
        return false;
    while (query->next())
        rows.append(RowReaders::ServerFailure(*query));
    if (query->lastError().isValid()) {
        rows.clear();
        return fail(query->lastError().text());
    }
    return true;
}
