// The notification channels' queue: one row per message and channel, stored before its first
// attempt, kept while it waits and, when it belongs to a record, with its outcome afterwards
// (tblNotifyQueue). A table of its own, so that a program that knows only tblOutbox never takes
// these messages for e-mails.
#include "Database.h"

#include <QSqlError>
#include <QSqlQuery>

const char NotifyQueueTableSql[] =
    "CREATE TABLE tblNotifyQueue (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Channel TEXT, Kind TEXT, MessageID TEXT, RecordTable TEXT, RecordID INTEGER, "
    "Created TEXT, Payload TEXT, Retries INTEGER, Attempts INTEGER, "
    "LastAttempt TEXT, NextAttempt TEXT, LastError TEXT, State INTEGER, "
    "Outcome TEXT, AgedFrom TEXT)";
// The Events views look up a record's outcomes, hovering and paging through records: without it
// each look-up reads the whole table (a year of busy alarms: 0.1 s and more).
const char NotifyQueueIndexSql[] =
    "CREATE INDEX IF NOT EXISTS idxNotifyRecord ON tblNotifyQueue (RecordTable, RecordID)";

namespace {
NotifyRow notifyFrom(const QSqlQuery &q)
{
    NotifyRow row;
    row.IDNum = q.value(0).toLongLong();
    row.Channel = q.value(1).toString();
    row.Kind = q.value(2).toString();
    row.MessageID = q.value(3).toString();
    row.RecordTable = q.value(4).toString();
    row.RecordID = q.value(5).toLongLong();
    row.Created = ParseStoredDateTime(q.value(6));
    row.Payload = q.value(7).toString();
    row.Retries = q.value(8).toInt() != 0;
    row.Attempts = q.value(9).toInt();
    row.LastAttempt = ParseStoredDateTime(q.value(10));
    row.NextAttempt = ParseStoredDateTime(q.value(11));
    row.LastError = q.value(12).toString();
    row.State = q.value(13).toInt();
    row.Outcome = q.value(14).toString();
    row.AgedFrom = ParseStoredDateTime(q.value(15));
    return row;
}

// A new event's messages share their times: each is formatted once.
class StoredTimes {
public:
    QVariant operator()(const QDateTime &when)
    {
        if (!when.isValid())
            return {};
        // The text holds the date and time of day only. (Comparing the instants would look up
        // the local offset of each.)
        if (!m_text.isValid() || when.date() != m_when.date() || when.time() != m_when.time()) {
            m_when = when;
            m_text = StoredDateTime(when);
        }
        return m_text;
    }

private:
    QDateTime m_when;
    QVariant m_text;
};
} // namespace

bool Database::AddNotifyMessage(NotifyRow &row)
{
    return AddNotifyMessages({&row});
}

bool Database::AddNotifyMessages(const QList<NotifyRow *> &rows)
{
    StoredTimes times;
    for (NotifyRow *row : rows) {
        Statement query = run(
            QStringLiteral(
                "INSERT INTO tblNotifyQueue (Channel, Kind, MessageID, RecordTable, RecordID, Created, "
                "Payload, Retries, Attempts, LastAttempt, NextAttempt, LastError, State, Outcome, AgedFrom) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {row->Channel, row->Kind, row->MessageID, row->RecordTable, row->RecordID, times(row->Created),
             row->Payload, row->Retries ? 1 : 0, row->Attempts, times(row->LastAttempt), times(row->NextAttempt),
             row->LastError, row->State, row->Outcome, times(row->AgedFrom)});
        if (!query)
            return false;
        row->IDNum = query->lastInsertId().toLongLong();
    }
    return true;
}

bool Database::SaveNotifyMessage(const NotifyRow &row)
{
    if (row.State != 0 && row.RecordID <= 0)
        return bool(run(QStringLiteral("DELETE FROM tblNotifyQueue WHERE IDNum = ?"), {row.IDNum}));
    return bool(run(QStringLiteral("UPDATE tblNotifyQueue SET RecordTable = ?, RecordID = ?, Attempts = ?, "
                                   "LastAttempt = ?, NextAttempt = ?, LastError = ?, State = ?, Outcome = ?, "
                                   "AgedFrom = ? WHERE IDNum = ?"),
                    {row.RecordTable, row.RecordID, row.Attempts, StoredDateTimeOrNull(row.LastAttempt),
                     StoredDateTimeOrNull(row.NextAttempt), row.LastError, row.State, row.Outcome,
                     StoredDateTimeOrNull(row.AgedFrom), row.IDNum}));
}

bool Database::WaitingNotifyMessages(const QString &channel, QList<NotifyRow> &rows)
{
    return readNotifyRows(QStringLiteral("Channel = ? AND State = 0"), {channel}, rows);
}

bool Database::OpenAlertMessages(const QString &channel, QList<NotifyRow> &rows)
{
    // AlarmActive holds -1 for an open alarm; BackOnLine "False" for an open failure episode.
    return readNotifyRows(
        QStringLiteral("Channel = ? AND ((Kind = 'alarm' AND RecordTable = 'tblAlarms' AND RecordID IN "
                       "(SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1)) OR (Kind = 'device-failure' "
                       "AND RecordTable = 'tblServerFailures' AND RecordID IN (SELECT IDNum FROM "
                       "tblServerFailures WHERE BackOnLine = 'False')))"),
        {channel}, rows);
}

bool Database::readNotifyRows(const QString &where, const QVariantList &values, QList<NotifyRow> &rows)
{
    rows.clear();
    Statement query =
        run(QStringLiteral("SELECT IDNum, Channel, Kind, MessageID, RecordTable, RecordID, Created, "
                           "Payload, Retries, Attempts, LastAttempt, NextAttempt, LastError, State, "
                           "Outcome, AgedFrom FROM tblNotifyQueue WHERE ") +
                where + QStringLiteral(" ORDER BY IDNum"),
            values);
    if (!query)
        return false;
    while (query->next())
        rows.append(notifyFrom(*query));
    if (query->lastError().isValid()) {
        rows.clear();
        return fail(query->lastError().text());
    }
    return true;
}

bool Database::NotifyOutcomes(const QString &recordTable, qint64 recordId, QStringList &outcomes)
{
    outcomes.clear();
    Statement query =
        run(QStringLiteral("SELECT Channel, Outcome FROM tblNotifyQueue WHERE RecordTable = ? AND "
                           "RecordID = ? ORDER BY Channel, IDNum"),
            {recordTable, recordId});
    if (!query)
        return false;
    while (query->next())
        outcomes.append(query->value(0).toString() + QStringLiteral(": ") + query->value(1).toString());
    return true;
}
