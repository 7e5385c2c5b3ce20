#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// Rows of the database tables as plain values. Column names are kept as member names.

// A device (tblServers). Enabled and Comm are kept as the decimal text the table holds.
struct ServerRecord {
    qint64 IDNum = 0;
    QString ServerName;
    QString ServerModel;
    QString ServerIPAddress;
    QString ServerNotes;
    QString Enabled;
    QString UserPassword;
    QString EmailAddress;
    QString Comm;

    // The poll cycle polls devices whose Enabled converts to 1.
    bool isEnabled() const { return Enabled.trimmed().toDouble() == 1.0; }
    // Communication is on when Comm holds the true value -1.
    bool isCommOn() const { return Comm.trimmed().toDouble() == -1.0; }
};

// A sensor port of a device (tblSensors). The limits are empty when never saved or saved blank.
struct SensorRecord {
    qint64 IDNum = 0;
    qint64 ServerIDNum = 0;
    QString SensorName;
    int PortNum = 0;
    QString SensorNotes;
    QString SensorType;
    std::optional<double> UpperLimit;
    std::optional<double> LowerLimit;
    std::optional<qint64> TOL;
};

// An alarm's acknowledgement (tblAlarmAcks, at most one per alarm): who took the alarm, when, how
// ("desktop", "web page", "API"), the address a remote one came from, and an optional comment.
// AlarmID 0: the alarm is not acknowledged.
struct AlarmAck {
    qint64 AlarmID = 0;
    QString AckBy;
    QDateTime AckAt;
    QString AckVia;
    QString AckPeer;
    QString AckComment;

    bool isSet() const { return AlarmID > 0; }
};

// How an alarm is escalated (tblEscalations, one row per recorded alarm): the key its links carry
// (it opens and acknowledges that alarm only, while it is open), where its times count from across
// a restart (StartedAt, with its offset from UTC, as the wall clock read it when the row was last
// written), the reminders sent, the steps done, who was told by them (Told, the engine's own JSON
// text) and whether they have had their last message (Closed).
struct EscalationRow {
    qint64 AlarmID = 0;
    qint64 DeviceID = 0;
    QString Address; // the device's, as polled
    QString LinkKey;
    QDateTime StartedAt;
    int Reminders = 0;
    QList<int> StepsDone;
    QString Told;
    bool Closed = false;
};

// The columns of a sensor row that an editor writes, as texts the way the editor shows them; a
// column without a value keeps what the row holds.
struct SensorColumns {
    struct Limits {
        QString upper;
        QString lower;
        QString tol;
    };
    std::optional<QString> name;
    std::optional<QString> notes;
    std::optional<Limits> limits;

    bool empty() const { return !name && !notes && !limits; }
};

// A sensor alarm (tblAlarms). AlarmEnd is invalid while the alarm is open.
struct AlarmRecord {
    qint64 IDNum = 0;
    qint64 SensorIDNum = 0;
    QDateTime AlarmStart;
    QDateTime AlarmEnd;
    bool AlarmActive = false;
    QString EmailSent;
    QString CauseOfAlarm;
    QString Server;
    QString Sensor;
    QString CurrentData;
    qint64 TOL = 0;
    QString Resolution;
    // Read with the alarm by the event lists and the remote views; not a column of tblAlarms.
    AlarmAck Ack;
};

// A line of the program's error log (tblErrors).
struct ErrorRecord {
    qint64 ErrorID = 0;
    QDateTime myTime;
    QString myFunction;
    QString Cause;
};

// A device failure episode (tblServerFailures). BackOnLine and EmailSent are status texts:
// "False", the program's date-time text, or (EmailSent) a mail error text.
struct ServerFailureRecord {
    qint64 IDNum = 0;
    QString ServerName;
    qint64 ServerIDNum = 0;
    QDateTime OffLine;
    QString BackOnLine;
    QString EmailSent;
};

// A notification e-mail waiting in the outbox (tblOutbox) until it is delivered or given up.
// RecordTable and RecordID name the row whose EmailSent follows it ("tblAlarms",
// "tblServerFailures", "tblLogFileBackup"; empty and 0 for none). Recipients is the outbox's own
// text form of the recipients still to reach; Attachments its own form of the files sent with the
// message (empty for none), written once with the message.
struct OutboxRow {
    qint64 IDNum = 0;
    QString Kind;
    QString RecordTable;
    qint64 RecordID = 0;
    QDateTime Created;
    QString MessageID;
    QString Recipients;
    QString Subject;
    QString SenderName;
    QString Body;
    int Attempts = 0;
    QDateTime LastAttempt;
    QDateTime NextAttempt;
    QString LastError;
    bool Retries = true;
    QByteArray Attachments;
    // Where the message's age counts from on the wall clock as it read when the row was last
    // written (Created moved by any setting of the clock while the message waited); invalid in
    // rows older versions wrote.
    QDateTime AgedFrom;
};

// A message of a notification channel (tblNotifyQueue), kept from before its first attempt until
// it is delivered or given up, and after that while it belongs to a record (RecordTable and
// RecordID as in OutboxRow), whose Events views show Outcome. Payload is the event's JSON.
// State: 0 waiting, 1 delivered, 2 given up.
struct NotifyRow {
    qint64 IDNum = 0;
    QString Channel;
    QString Kind;
    QString MessageID;
    QString RecordTable;
    qint64 RecordID = 0;
    QDateTime Created;
    QString Payload;
    bool Retries = true;
    int Attempts = 0;
    QDateTime LastAttempt;
    QDateTime NextAttempt;
    QString LastError;
    int State = 0;
    QString Outcome;
    // Its age counts from here: Created, unless the wall clock was set while it waited.
    QDateTime AgedFrom;
    // The event (tblNotifyEvents) whose payload it sends when Payload is empty; 0: none.
    qint64 EventID = 0;
};

// Where a channel's waiting messages are read from, in the order they were made: the messages
// made at or after Created (as stored) with a key of at least IDNum. The start by default.
struct NotifyQueuePosition {
    QString Created;
    qint64 IDNum = 0;
};

// An event for the notification channels (tblNotifyEvents), stored with the record it is about,
// its payload once for all its channels. The notification thread turns it into one message per
// channel (Expanded); until then the event is what keeps those messages over a stop.
struct NotifyEventRow {
    qint64 IDNum = 0;
    QString Kind;
    QString MessageID;
    QString RecordTable;
    qint64 RecordID = 0;
    QDateTime Created;
    QString Payload;
    bool Retries = true;
    QStringList Channels; // the channels that take it
};

// What a caller needs from a set of matching rows: how many there are, and the key of the last
// one (the row an edit applies to). lastId is 0 when count is 0.
struct OpenRecords {
    int count = 0;
    qint64 lastId = 0;
};

// How many rows an event list holds and its highest key (0 when empty). Pages read up to that
// key show the same rows while new ones arrive, until the list is read again.
struct EventExtent {
    int count = 0;
    qint64 maxId = 0;
    bool operator==(const EventExtent &) const = default;
};

// Date-time values as the sorted columns store them, and back. Reading also accepts the
// program's date-time text, so rows written by hand or by older tools still show.
QString StoredDateTime(const QDateTime &when);
QDateTime ParseStoredDateTime(const QVariant &stored);
// The stored value, or Null for an invalid date-time.
QVariant StoredDateTimeOrNull(const QDateTime &when);

// The text to show for a stored value: a stored date-time as the program's date-time text,
// Null as empty text, anything else ("False", an error text) unchanged.
QString StoredDateTimeText(const QVariant &stored);
