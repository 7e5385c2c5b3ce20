// The notification channels' queue. An event is stored once, with its payload, in the
// transaction of the record it is about (tblNotifyEvents); the notification thread turns it into
// one row per channel (tblNotifyQueue), kept while it waits and, when it belongs to a record,
// with its outcome afterwards. Tables of their own, so that a program that knows only tblOutbox
// never takes these messages for e-mails.
#include "Database.h"

#include <QSqlError>
#include <QSqlQuery>

const char NotifyQueueTableSql[] =
    "CREATE TABLE tblNotifyQueue (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, "
    "Channel TEXT, Kind TEXT, MessageID TEXT, RecordTable TEXT, RecordID INTEGER, "
    "Created TEXT, Payload TEXT, Retries INTEGER, Attempts INTEGER, "
    "LastAttempt TEXT, NextAttempt TEXT, LastError TEXT, State INTEGER, "
    "Outcome TEXT, AgedFrom TEXT, EventID INTEGER)";
const char NotifyEventsTableSql[] =
    "CREATE TABLE tblNotifyEvents (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, Kind TEXT, MessageID TEXT, "
    "RecordTable TEXT, RecordID INTEGER, Created TEXT, Payload TEXT, Retries INTEGER, Channels TEXT, "
    "Expanded INTEGER)";
// A message's event is looked up when a finished message leaves the table.
const char NotifyEventIndexSql[] = "CREATE INDEX IF NOT EXISTS idxNotifyEvent ON tblNotifyQueue (EventID)";
// A channel reads its waiting messages a part at a time, in the order they were made: only
// those, whatever the table keeps of delivered ones.
const char NotifyWaitingIndexSql[] = "CREATE INDEX IF NOT EXISTS idxNotifyWaiting ON tblNotifyQueue "
                                     "(Channel, Created, IDNum) WHERE State = 0";
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
    row.EventID = q.value(16).toLongLong();
    return row;
}

QVariant eventIdOrNull(qint64 id)
{
    return id > 0 ? QVariant(id) : QVariant(QMetaType(QMetaType::LongLong));
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
                "Payload, Retries, Attempts, LastAttempt, NextAttempt, LastError, State, Outcome, AgedFrom, "
                "EventID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {row->Channel, row->Kind, row->MessageID, row->RecordTable, row->RecordID, times(row->Created),
             row->Payload, row->Retries ? 1 : 0, row->Attempts, times(row->LastAttempt), times(row->NextAttempt),
             row->LastError, row->State, row->Outcome, times(row->AgedFrom), eventIdOrNull(row->EventID)});
        if (!query)
            return false;
        row->IDNum = query->lastInsertId().toLongLong();
    }
    return true;
}

bool Database::SaveNotifyMessage(const NotifyRow &row)
{
    if (row.State != 0 && row.RecordID <= 0) {
        // The event goes with its last message: it belongs to no record that would show it.
        return run(QStringLiteral("DELETE FROM tblNotifyQueue WHERE IDNum = ?"), {row.IDNum}) &&
               (row.EventID <= 0 ||
                run(QStringLiteral("DELETE FROM tblNotifyEvents WHERE IDNum = ? AND Expanded = 1 AND NOT EXISTS "
                                   "(SELECT 1 FROM tblNotifyQueue WHERE EventID = ?)"),
                    {row.EventID, row.EventID}));
    }
    return bool(run(QStringLiteral("UPDATE tblNotifyQueue SET RecordTable = ?, RecordID = ?, Attempts = ?, "
                                   "LastAttempt = ?, NextAttempt = ?, LastError = ?, State = ?, Outcome = ?, "
                                   "AgedFrom = ? WHERE IDNum = ?"),
                    {row.RecordTable, row.RecordID, row.Attempts, StoredDateTimeOrNull(row.LastAttempt),
                     StoredDateTimeOrNull(row.NextAttempt), row.LastError, row.State, row.Outcome,
                     StoredDateTimeOrNull(row.AgedFrom), row.IDNum}));
}

bool Database::WaitingNotifyMessages(const QString &channel, const NotifyQueuePosition &from, int limit,
                                     QList<NotifyRow> &rows)
{
    return readNotifyRows(QStringLiteral("q.Channel = ? AND q.State = 0 AND (q.Created > ? OR (q.Created = ? "
                                         "AND q.IDNum >= ?)) ORDER BY q.Created, q.IDNum LIMIT ?"),
                          {channel, from.Created, from.Created, from.IDNum, limit}, rows);
}

bool Database::CountWaitingNotifyMessages(const QString &channel, int &count)
{
    count = 0;
    Statement query =
        run(QStringLiteral("SELECT COUNT(*) FROM tblNotifyQueue WHERE Channel = ? AND State = 0"), {channel});
    if (!query || !query->next())
        return false;
    count = query->value(0).toInt();
    return true;
}

bool Database::SetNotifyPayload(qint64 id, const QString &payload)
{
    return bool(run(QStringLiteral("UPDATE tblNotifyQueue SET Payload = ? WHERE IDNum = ?"), {payload, id}));
}

bool Database::DropUnsentMessages(const QString &channel, int &dropped)
{
    dropped = 0;
    return runInTransaction([&] {
        Statement messages =
            run(QStringLiteral("DELETE FROM tblNotifyQueue WHERE State = 0 AND Retries = 0 AND "
                               "(? = '' OR Channel = ?)"),
                {channel, channel});
        if (!messages)
            return false;
        dropped = messages->numRowsAffected();
        return dropEventsOfNoMessage();
    });
}

bool Database::DropUnexpandedNotices(qint64 below, int &dropped)
{
    dropped = 0;
    Statement events =
        run(QStringLiteral("DELETE FROM tblNotifyEvents WHERE Retries = 0 AND Expanded = 0 AND IDNum < ?"),
            {below});
    if (!events)
        return false;
    dropped = events->numRowsAffected();
    return true;
}

bool Database::dropEventsOfNoMessage()
{
    // As with a last message delivered: a notice's event goes with its messages.
    return bool(
        run(QStringLiteral("DELETE FROM tblNotifyEvents WHERE Retries = 0 AND Expanded = 1 AND NOT EXISTS "
                           "(SELECT 1 FROM tblNotifyQueue WHERE EventID = tblNotifyEvents.IDNum)")));
}

bool Database::RenameNotifyChannel(const QString &from, const QString &to)
{
    return runInTransaction([&] {
        if (!run(QStringLiteral("UPDATE tblNotifyQueue SET Channel = ? WHERE Channel = ?"), {to, from}))
            return false;
        QList<std::pair<qint64, QStringList>> events;
        {
            Statement query =
                run(QStringLiteral("SELECT IDNum, Channels FROM tblNotifyEvents WHERE Expanded = 0"));
            if (!query)
                return false;
            while (query->next()) {
                QStringList channels =
                    query->value(1).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                if (!channels.contains(from))
                    continue;
                for (QString &channel : channels)
                    if (channel == from)
                        channel = to;
                events.append({query->value(0).toLongLong(), channels});
            }
        }
        for (const auto &[id, channels] : events)
            if (!run(QStringLiteral("UPDATE tblNotifyEvents SET Channels = ? WHERE IDNum = ?"),
                     {channels.join(QLatin1Char('\n')), id}))
                return false;
        return true;
    });
}

bool Database::OpenAlertMessages(const QString &channel, QList<NotifyRow> &rows)
{
    // AlarmActive holds -1 for an open alarm; BackOnLine "False" for an open failure episode.
    return readNotifyRows(
        QStringLiteral(
            "q.Channel = ? AND ((q.Kind = 'alarm' AND q.RecordTable = 'tblAlarms' AND q.RecordID IN "
            "(SELECT IDNum FROM tblAlarms WHERE AlarmActive = -1)) OR (q.Kind = 'device-failure' "
            "AND q.RecordTable = 'tblServerFailures' AND q.RecordID IN (SELECT IDNum FROM "
            "tblServerFailures WHERE BackOnLine = 'False'))) ORDER BY q.IDNum"),
        {channel}, rows);
}

bool Database::readNotifyRows(const QString &where, const QVariantList &values, QList<NotifyRow> &rows)
{
    rows.clear();
    Statement query =
        run(QStringLiteral(
                "SELECT q.IDNum, q.Channel, q.Kind, q.MessageID, q.RecordTable, q.RecordID, q.Created, "
                "CASE WHEN q.Payload <> '' THEN q.Payload ELSE e.Payload END, q.Retries, q.Attempts, "
                "q.LastAttempt, q.NextAttempt, q.LastError, q.State, q.Outcome, q.AgedFrom, q.EventID "
                "FROM tblNotifyQueue q LEFT JOIN tblNotifyEvents e ON e.IDNum = q.EventID WHERE ") +
                where,
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

bool Database::AddNotifyEvent(NotifyEventRow &row)
{
    Statement query = run(QStringLiteral("INSERT INTO tblNotifyEvents (Kind, MessageID, RecordTable, RecordID, "
                                         "Created, Payload, Retries, Channels, Expanded) "
                                         "VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0)"),
                          {row.Kind, row.MessageID, row.RecordTable, row.RecordID, StoredDateTimeOrNull(row.Created),
                           row.Payload, row.Retries ? 1 : 0, row.Channels.join(QLatin1Char('\n'))});
    if (!query)
        return false;
    row.IDNum = query->lastInsertId().toLongLong();
    return true;
}

bool Database::ClaimNotifyEvent(qint64 id, bool &claimed)
{
    claimed = false;
    Statement query =
        run(QStringLiteral("UPDATE tblNotifyEvents SET Expanded = 1 WHERE IDNum = ? AND Expanded = 0"), {id});
    if (!query)
        return false;
    claimed = query->numRowsAffected() == 1;
    return true;
}

bool Database::UnexpandedNotifyEvents(QList<NotifyEventRow> &rows)
{
    rows.clear();
    Statement query = run(QStringLiteral("SELECT IDNum, Kind, MessageID, RecordTable, RecordID, Created, Payload, "
                                         "Retries, Channels FROM tblNotifyEvents WHERE Expanded = 0 ORDER BY IDNum"));
    if (!query)
        return false;
    while (query->next()) {
        NotifyEventRow row;
        row.IDNum = query->value(0).toLongLong();
        row.Kind = query->value(1).toString();
        row.MessageID = query->value(2).toString();
        row.RecordTable = query->value(3).toString();
        row.RecordID = query->value(4).toLongLong();
        row.Created = ParseStoredDateTime(query->value(5));
        row.Payload = query->value(6).toString();
        row.Retries = query->value(7).toInt() != 0;
        row.Channels = query->value(8).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        rows.append(row);
    }
    if (query->lastError().isValid()) {
        rows.clear();
        return fail(query->lastError().text());
    }
    return true;
}
