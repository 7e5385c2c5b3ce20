#include "RowReaders.h"

#include <QSqlQuery>

namespace RowReaders {

const QString AlarmColumns =
    QStringLiteral("IDNum, SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, EmailSent, CauseOfAlarm, Server, "
                   "Sensor, CurrentData, TOL, Resolution");
const QString AlarmWithAckColumns = QStringLiteral(
    "IDNum, SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, EmailSent, CauseOfAlarm, Server, "
    "Sensor, CurrentData, TOL, Resolution, AlarmID, AckBy, AckAt, AckVia, AckPeer, AckComment");
const QString AlarmWithAckTables =
    QStringLiteral("tblAlarms LEFT JOIN tblAlarmAcks ON tblAlarmAcks.AlarmID = tblAlarms.IDNum");
const QString ServerFailureColumns =
    QStringLiteral("IDNum, ServerName, ServerIDNum, OffLine, BackOnLine, EmailSent");

AlarmRecord Alarm(const QSqlQuery &query)
{
    AlarmRecord row;
    row.IDNum = query.value(0).toLongLong();
    row.SensorIDNum = query.value(1).toLongLong();
    row.AlarmStart = ParseStoredDateTime(query.value(2));
    row.AlarmEnd = ParseStoredDateTime(query.value(3));
    row.AlarmActive = query.value(4).toInt() != 0;
    row.EmailSent = query.value(5).toString();
    row.CauseOfAlarm = query.value(6).toString();
    row.Server = query.value(7).toString();
    row.Sensor = query.value(8).toString();
    row.CurrentData = query.value(9).toString();
    row.TOL = query.value(10).toLongLong();
    row.Resolution = query.value(11).toString();
    return row;
}

AlarmRecord AlarmWithAck(const QSqlQuery &query)
{
    AlarmRecord row = Alarm(query);
    if (query.value(12).isNull())
        return row;
    row.Ack.AlarmID = query.value(12).toLongLong();
    row.Ack.AckBy = query.value(13).toString();
    row.Ack.AckAt = ParseStoredDateTime(query.value(14));
    row.Ack.AckVia = query.value(15).toString();
    row.Ack.AckPeer = query.value(16).toString();
    row.Ack.AckComment = query.value(17).toString();
    return row;
}

ServerFailureRecord ServerFailure(const QSqlQuery &query)
{
    ServerFailureRecord row;
    row.IDNum = query.value(0).toLongLong();
    row.ServerName = query.value(1).toString();
    row.ServerIDNum = query.value(2).toLongLong();
    row.OffLine = ParseStoredDateTime(query.value(3));
    row.BackOnLine = query.value(4).toString();
    row.EmailSent = query.value(5).toString();
    return row;
}

} // namespace RowReaders
