#pragma once

#include "Records.h"

#include <QString>

class QSqlQuery;

// The columns of the event rows as every reader selects them, and the rows read from a query that
// selected them in that order. Shared by the database of the run and the report's own reader.
namespace RowReaders {
// tblAlarms: IDNum, SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, EmailSent, CauseOfAlarm,
// Server, Sensor, CurrentData, TOL, Resolution.
extern const QString AlarmColumns;
// The same from tblAlarms joined with its acknowledgement (tblAlarmAcks), which follows them:
// AlarmID, AckBy, AckAt, AckVia, AckPeer, AckComment. Conditions name tblAlarms' columns alone.
extern const QString AlarmWithAckColumns;
extern const QString AlarmWithAckTables;
// tblServerFailures: IDNum, ServerName, ServerIDNum, OffLine, BackOnLine, EmailSent.
extern const QString ServerFailureColumns;

AlarmRecord Alarm(const QSqlQuery &query);
AlarmRecord AlarmWithAck(const QSqlQuery &query);
ServerFailureRecord ServerFailure(const QSqlQuery &query);
} // namespace RowReaders
