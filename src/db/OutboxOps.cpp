// The outbox: notification e-mails stored before their first attempt and kept until they are
// delivered or given up (tblOutbox).
#include "Database.h"

#include <QSqlError>
#include <QSqlQuery>

const char OutboxTableSql[] = "CREATE TABLE tblOutbox (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, Kind TEXT, "
                              "RecordTable TEXT, RecordID INTEGER, Created TEXT, MessageID TEXT, "
                              "Recipients TEXT, Subject TEXT, SenderName TEXT, Body TEXT, Attempts INTEGER, "
                              "LastAttempt TEXT, NextAttempt TEXT, LastError TEXT, Retries INTEGER, "
                              "Attachments BLOB, AgedFrom TEXT)";

namespace {
// The tables whose EmailSent follows an outbox message.
const QStringList kRecordTables = {QStringLiteral("tblAlarms"), QStringLiteral("tblServerFailures"),
                                   QStringLiteral("tblLogFileBackup")};

OutboxRow outboxFrom(const QSqlQuery &query)
{
    OutboxRow row;
    row.IDNum = query.value(0).toLongLong();
    row.Kind = query.value(1).toString();
    row.RecordTable = query.value(2).toString();
    row.RecordID = query.value(3).toLongLong();
    row.Created = ParseStoredDateTime(query.value(4));
    row.MessageID = query.value(5).toString();
    row.Recipients = query.value(6).toString();
    row.Subject = query.value(7).toString();
    row.SenderName = query.value(8).toString();
    row.Body = query.value(9).toString();
    row.Attempts = query.value(10).toInt();
    row.LastAttempt = ParseStoredDateTime(query.value(11));
    row.NextAttempt = ParseStoredDateTime(query.value(12));
    row.LastError = query.value(13).toString();
    row.Retries = query.value(14).toInt() != 0;
    row.Attachments = query.value(15).toByteArray();
    row.AgedFrom = ParseStoredDateTime(query.value(16));
    return row;
}
} // namespace

bool Database::AddOutboxMessage(OutboxRow &row)
{
    Statement query = run(
        QStringLiteral("INSERT INTO tblOutbox (Kind, RecordTable, RecordID, Created, MessageID, Recipients, "
                       "Subject, SenderName, Body, Attempts, LastAttempt, NextAttempt, LastError, Retries, "
                       "Attachments, AgedFrom) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {row.Kind, row.RecordTable, row.RecordID, StoredDateTime(row.Created), row.MessageID, row.Recipients,
         row.Subject, row.SenderName, row.Body, row.Attempts, StoredDateTimeOrNull(row.LastAttempt),
         StoredDateTimeOrNull(row.NextAttempt), row.LastError, row.Retries ? 1 : 0, row.Attachments,
         StoredDateTimeOrNull(row.AgedFrom)});
    if (!query)
        return false;
    row.IDNum = query->lastInsertId().toLongLong();
    return true;
}

bool Database::SaveOutboxMessage(const OutboxRow &row, const QString &recordText, bool finished)
{
    if (!row.RecordTable.isEmpty() && !kRecordTables.contains(row.RecordTable))
        return fail(QStringLiteral("An outbox message cannot belong to %1.").arg(row.RecordTable));
    return runInTransaction([&] {
        if (row.IDNum > 0) {
            const bool saved =
                finished ? bool(run(QStringLiteral("DELETE FROM tblOutbox WHERE IDNum = ?"), {row.IDNum}))
                         : bool(run(QStringLiteral("UPDATE tblOutbox SET RecordID = ?, Recipients = ?, "
                                                   "Attempts = ?, LastAttempt = ?, NextAttempt = ?, "
                                                   "LastError = ?, AgedFrom = ? WHERE IDNum = ?"),
                                    {row.RecordID, row.Recipients, row.Attempts,
                                     StoredDateTimeOrNull(row.LastAttempt), StoredDateTimeOrNull(row.NextAttempt),
                                     row.LastError, StoredDateTimeOrNull(row.AgedFrom), row.IDNum}));
            if (!saved)
                return false;
        }
        if (row.RecordTable.isEmpty() || row.RecordID <= 0)
            return true;
        return bool(run(QStringLiteral("UPDATE %1 SET EmailSent = ? WHERE IDNum = ?").arg(row.RecordTable),
                        {recordText, row.RecordID}));
    });
}

bool Database::WaitingOutboxMessages(QList<OutboxRow> &rows)
{
    rows.clear();
    Statement query = run(
        QStringLiteral("SELECT IDNum, Kind, RecordTable, RecordID, Created, MessageID, Recipients, "
                       "Subject, SenderName, Body, Attempts, LastAttempt, NextAttempt, LastError, Retries, "
                       "Attachments, AgedFrom FROM tblOutbox ORDER BY IDNum"));
    if (!query)
        return false;
    while (query->next())
        rows.append(outboxFrom(*query));
    if (query->lastError().isValid()) {
        rows.clear();
        return fail(query->lastError().text());
    }
    return true;
}
