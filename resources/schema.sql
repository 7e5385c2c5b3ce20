-- The Tallyport database (wexa.mdb, an SQLite file).
--
-- Keys are AUTOINCREMENT so a number is never handed out twice: a sensor's IDNum names its data
-- files, and a reused number would mix a new sensor's readings into an old sensor's files.
--
-- Date-time columns that the event views sort (AlarmStart, AlarmEnd, myTime, OffLine) hold the
-- sortable form "yyyy-MM-dd HH:mm:ss". Status columns (BackOnLine, EmailSent, FirstError,
-- LatestAttempt) hold "False", or the program's date-time text "M/d/yyyy h:mm:ss AM", or an
-- error text, and are shown as stored.

CREATE TABLE tblServers (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    ServerName TEXT,
    ServerModel TEXT,
    ServerIPAddress TEXT,
    ServerNotes TEXT,
    Enabled TEXT,
    UserPassword TEXT,
    EmailAddress TEXT,
    Comm TEXT
);

CREATE TABLE tblSensors (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    ServerIDNum INTEGER,
    SensorName TEXT,
    PortNum INTEGER,
    SensorNotes TEXT,
    SensorType TEXT,
    UpperLimit REAL,
    LowerLimit REAL,
    TOL INTEGER
);
CREATE INDEX idxSensorsServerPort ON tblSensors (ServerIDNum, PortNum);

CREATE TABLE tblAlarms (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    SensorIDNum INTEGER,
    AlarmStart TEXT,
    AlarmEnd TEXT,
    AlarmActive INTEGER,
    EmailSent TEXT,
    CauseOfAlarm TEXT,
    Server TEXT,
    Sensor TEXT,
    CurrentData TEXT,
    TOL INTEGER,
    Resolution TEXT
);
CREATE INDEX idxAlarmsSensorEnd ON tblAlarms (SensorIDNum, AlarmEnd);
CREATE INDEX idxAlarmsSensorActive ON tblAlarms (SensorIDNum, AlarmActive);
CREATE INDEX idxAlarmsStart ON tblAlarms (AlarmStart);

-- Who took an alarm: at most one row per alarm (its key is the alarm's IDNum), written once. AckVia
-- says how ("desktop", "web page", "API"), AckPeer the address a remote one came from.
CREATE TABLE tblAlarmAcks (
    AlarmID INTEGER PRIMARY KEY,
    AckBy TEXT,
    AckAt TEXT,
    AckVia TEXT,
    AckPeer TEXT,
    AckComment TEXT
);

-- How an alarm nobody acknowledges is escalated: the key of its links, where its reminders and
-- steps count from (StartedAt: ISO 8601 with the offset from UTC), what was sent and to whom.
-- DeviceID and Address: the alarm's device and the address it was polled at.
CREATE TABLE tblEscalations (
    AlarmID INTEGER PRIMARY KEY,
    DeviceID INTEGER,
    Address TEXT,
    LinkKey TEXT,
    StartedAt TEXT,
    Reminders INTEGER,
    StepsDone TEXT,
    Told TEXT,
    Closed INTEGER
);

CREATE TABLE tblErrors (
    ErrorID INTEGER PRIMARY KEY AUTOINCREMENT,
    myTime TEXT,
    myFunction TEXT,
    Cause TEXT
);
CREATE INDEX idxErrorsTime ON tblErrors (myTime);

CREATE TABLE tblServerFailures (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    ServerName TEXT,
    ServerIDNum INTEGER,
    OffLine TEXT,
    BackOnLine TEXT,
    EmailSent TEXT
);
CREATE INDEX idxFailuresServerBack ON tblServerFailures (ServerIDNum, BackOnLine);
CREATE INDEX idxFailuresOffLine ON tblServerFailures (OffLine);

CREATE TABLE tblLogFileBackup (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    FirstError TEXT,
    BackOnLine TEXT,
    EmailSent TEXT,
    Error TEXT,
    LatestAttempt TEXT
);

-- Notification e-mails waiting to be delivered (a message leaves the table once it is delivered
-- or given up). RecordTable and RecordID name the row whose EmailSent follows the message;
-- Attachments holds the files sent with it (the monthly report's PDF), empty for none. AgedFrom
-- is where the message's age counts from, on the wall clock as it read when the row was written.
CREATE TABLE tblOutbox (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    Kind TEXT,
    RecordTable TEXT,
    RecordID INTEGER,
    Created TEXT,
    MessageID TEXT,
    Recipients TEXT,
    Subject TEXT,
    SenderName TEXT,
    Body TEXT,
    Attempts INTEGER,
    LastAttempt TEXT,
    NextAttempt TEXT,
    LastError TEXT,
    Retries INTEGER,
    Attachments BLOB,
    AgedFrom TEXT
);

CREATE TABLE tblNotifyQueue (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    Channel TEXT,
    Kind TEXT,
    MessageID TEXT,
    RecordTable TEXT,
    RecordID INTEGER,
    Created TEXT,
    Payload TEXT,
    Retries INTEGER,
    Attempts INTEGER,
    LastAttempt TEXT,
    NextAttempt TEXT,
    LastError TEXT,
    State INTEGER,
    Outcome TEXT,
    AgedFrom TEXT,
    EventID INTEGER
);

CREATE TABLE tblNotifyEvents (
    IDNum INTEGER PRIMARY KEY AUTOINCREMENT,
    Kind TEXT,
    MessageID TEXT,
    RecordTable TEXT,
    RecordID INTEGER,
    Created TEXT,
    Payload TEXT,
    Retries INTEGER,
    Channels TEXT,
    Expanded INTEGER
);
