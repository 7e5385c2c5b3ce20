// Acknowledgements of alarms: tblAlarmAcks, one row per alarm at most.
#include "Database.h"
#include "RowReaders.h"

#include <QSqlQuery>

const char AlarmAcksTableSql[] =
    "CREATE TABLE tblAlarmAcks (AlarmID INTEGER PRIMARY KEY, AckBy TEXT, AckAt TEXT, "
    "AckVia TEXT, AckPeer TEXT, AckComment TEXT)";

bool Database::AddAlarmAck(const AlarmAck &ack)
{
    // The key is the alarm's: a second acknowledgement of the same alarm is refused by the file.
    return bool(
        run(QStringLiteral("INSERT INTO tblAlarmAcks (AlarmID, AckBy, AckAt, AckVia, AckPeer, AckComment) "
                           "VALUES (?, ?, ?, ?, ?, ?)"),
            {ack.AlarmID, ack.AckBy, StoredDateTime(ack.AckAt), ack.AckVia, ack.AckPeer, ack.AckComment}));
}

bool Database::AlarmById(qint64 alarmId, AlarmRecord &row, bool &found)
{
    QList<AlarmRecord> rows;
    found = false;
    if (!alarmsWhere(QStringLiteral("IDNum = ?"), {alarmId}, rows))
        return false;
    found = !rows.isEmpty();
    if (found)
        row = rows.first();
    return true;
}
