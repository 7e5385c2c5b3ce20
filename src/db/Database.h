#pragma once

#include "Records.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class ProgramState;
class QSqlQuery;
class WriteGate;

// The name of the database file in the program directory.
inline constexpr char DatabaseFileName[] = "wexa.mdb";

// The outbox table, as the schema upgrade adds it to a file made before it existed
// (resources/schema.sql makes the same table).
extern const char OutboxTableSql[];
// The notification channels' queue, likewise.
extern const char NotifyQueueTableSql[];
extern const char NotifyQueueIndexSql[];
extern const char NotifyEventsTableSql[];
extern const char NotifyEventIndexSql[];
extern const char NotifyWaitingIndexSql[];
// The acknowledgements of alarms and their escalation, likewise.
extern const char AlarmAcksTableSql[];
extern const char EscalationsTableSql[];

// Whether the database file is present in the program directory. The program never creates it.
bool DatabaseFileExists(const QString &programDirectory);

// The database of the run: one SQLite connection (WAL journal, short busy time-out) and every
// operation on its tables. The connection opens on first use, once the file exists, and brings
// an older file up to date (UpgradeSchema). Each operation runs one statement or one
// transaction, with every value bound as a parameter, and catches its own failures: it returns
// false, leaves the engine's text in lastError(), and shows or logs what the operation's
// contract says. Operations that only edit a row found by another operation leave reporting to
// their caller.
class Database {
public:
    // Operations on a locked file give up after this long instead of freezing the program.
    static constexpr int BusyTimeoutMs = 250;

    // path: the file to use; empty means wexa.mdb in the program directory.
    explicit Database(ProgramState &state, const QString &path = QString());
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens the file if it is not open yet. False (and lastError) when it is missing or unusable.
    bool open();
    void close();
    bool isOpen() const;
    const QString &path() const { return m_path; }
    // Before each of its writes, this connection lets the other connections of the process to the
    // same file that wait to write go first (a connection working in the background gives way to
    // the poll cycle's).
    void giveWayToOthers() { m_givesWay = true; }
    // How long (ms) the connections of the process to this file that do not give way have written
    // nothing: 0 while one writes. A connection working in the background writes in their pauses.
    qint64 firstWritersQuietMs() const;
    // The engine's text of the last failure.
    const QString &lastError() const { return m_lastError; }

    // Runs several operations as one transaction: false (all rolled back) when steps returns
    // false or the commit fails. Operations that run their own transaction join this one. Error
    // lines logged meanwhile are written after it.
    bool runInTransaction(const std::function<bool()> &steps);
    bool inTransaction() const { return m_transactionDepth > 0; }

    // While one lives, the reads of this connection share one read transaction instead of taking
    // the file's locks once each (a device's evaluation reads a dozen times). A write or a
    // transaction ends the shared read first, so every write is committed exactly as without
    // it; the reads after it share a new one. Kept to one step of work: its reads see the file as
    // it was at the first of them.
    class ReadBatch {
    public:
        explicit ReadBatch(Database &database) : m_database(database) { ++m_database.m_readBatchDepth; }
        ~ReadBatch()
        {
            if (--m_database.m_readBatchDepth == 0)
                m_database.endSharedRead();
        }
        ReadBatch(const ReadBatch &) = delete;
        ReadBatch &operator=(const ReadBatch &) = delete;

    private:
        Database &m_database;
    };
    // Runs then once the transaction running now has ended, with whether it was committed; at
    // once (committed) when none runs.
    void afterTransaction(std::function<void(bool committed)> then);

    // --- Schema and generic access ---

    // Adds Resolution to tblAlarms and UpperLimit, LowerLimit, TOL to tblSensors when the file
    // lacks them. Runs once, when the open file is first read (so every operation sees the
    // current layout); failures are ignored. Always true.
    bool UpgradeSchema();
    // One column of the row whose IDNum is id. Table and column must exist. No message.
    bool GetFieldValue(qint64 id, const QString &table, const QString &column, QVariant &value);

    // --- Devices (tblServers) ---

    // All devices, by ServerName ascending (case-insensitive). count = number of rows.
    bool RecordServers(QList<ServerRecord> &rows, int &count);
    // Where the device list stands: it differs from an earlier mark whenever the list may have
    // changed since (this connection wrote to tblServers or opened the file again, or another
    // connection committed to the file). Taken before reading the list, a mark equal to the
    // next one means the list read is still the list.
    struct DevicesMark {
        quint64 edits = 0;      // this connection's writes to tblServers and its openings
        qint64 dataVersion = 0; // SQLite's count of the other connections' commits
        bool operator==(const DevicesMark &) const = default;
    };
    // False (and lastError) when the mark could not be read: the list must be read again.
    bool ReadDevicesMark(DevicesMark &mark);
    // The device with IDNum id; false (no message) when there is none.
    bool OpenServerRecord(qint64 id, ServerRecord &row);
    // The device's name and alarm address list as stored now (read at every evaluation, so an
    // edit during a cycle counts at once); false and lastError when there is no such device.
    bool ServerNameAndEmail(qint64 id, QString &name, QString &emailList);
    // Adds a device unless another has the same address (message box, false). newId, when
    // given, receives the key of the new row.
    bool AddServer(const QString &name, const QString &model, const QString &ipAddress, const QString &notes,
                   int enabled, const QString &userPassword, const QString &emailList, int comm,
                   qint64 *newId = nullptr);
    bool UpdateServer(qint64 id, const QString &name, const QString &model, const QString &ipAddress,
                      const QString &notes, int enabled, const QString &userPassword,
                      const QString &emailList, int comm);
    bool EnableDisableServer(qint64 id, int enabled, int comm);
    bool UpdateServerEmail(qint64 id, const QString &emailList);
    // True when no device has the address; false with the holder's name when one does. A device
    // being edited passes its own key as exceptId, so that its own address does not count.
    bool IsIPUnique(const QString &ipAddress, QString &deviceName, qint64 exceptId = 0);
    // Removes the device and its sensor rows in one transaction; its alarm, failure and error
    // records stay. Message "Error in DeleteServer is " and false on failure.
    bool DeleteServer(qint64 id);
    // The rows the device tree shows; true when there is at least one device.
    bool LoadServers(QList<ServerRecord> &rows);

    // --- Sensors (tblSensors) ---

    // The named sensors of a device in port order; false with count 0 when there are none.
    bool RecordSensors(qint64 serverId, QList<SensorRecord> &rows, int &count);
    // The number of named sensors; false with count 0 when there are none.
    bool CountNamedSensors(int &count);
    bool SensorExists(qint64 serverId, int port);
    // The named sensor with this key; found false when there is none. No message.
    bool SensorById(qint64 sensorId, SensorRecord &row, bool &found);
    // SensorNotes of the port's row, empty when there is no row.
    bool GetSensorNotes(qint64 serverId, int port, QString &notes);
    // Updates the port's row (name, notes, limits; the type stays) or adds it. The limits are
    // texts as the editors show them; a blank or non-numeric text stores an empty limit.
    bool SaveSensor(qint64 serverId, const QString &name, int port, const QString &notes, const QString &type,
                    const QString &upperLimit, const QString &lowerLimit, const QString &tol);
    // Updates only the given columns of the port's row, or adds the row with its type, the given
    // columns and empty ones for the rest. Nothing is done when no column is given.
    bool SaveSensorColumns(qint64 serverId, int port, const QString &type, const SensorColumns &columns);

    // --- Sensor alarms (tblAlarms) ---

    // newId, when given, receives the key of the new row.
    bool AddAlarmRecord(qint64 sensorId, const QDateTime &alarmStart, const QString &serverName,
                        const QString &sensorName, const QString &currentData, qint64 tol, int active,
                        qint64 *newId = nullptr);
    // Rows of table whose keyColumn equals keyValue and whose endColumn is empty: the count of
    // all of them and the key of the last. Called as ("tblAlarms", "SensorIDNum", id, "AlarmEnd").
    bool RecordOpenAlarms(const QString &table, const QString &keyColumn, qint64 keyValue,
                          const QString &endColumn, OpenRecords &found);
    // The number of active alarms of a sensor.
    bool RecordActiveAlarms(qint64 sensorId, int &count);
    // What RecordOpenAlarms ("tblAlarms", "SensorIDNum", id, "AlarmEnd") and RecordActiveAlarms
    // give, for every sensor of a device at once: only sensors with an open or an active alarm
    // are listed, so a device in order costs one query instead of two per sensor. A failure is
    // not logged.
    struct SensorAlarmCounts {
        OpenRecords open;
        int active = 0;
    };
    bool RecordDeviceAlarmCounts(qint64 serverId, QHash<qint64, SensorAlarmCounts> &counts);
    // Row edits of the alarm evaluation and the alarm view; the caller reports failures.
    bool UpdateAlarmEmailSent(qint64 alarmId, const QString &emailSent, const QString &causeOfAlarm);
    // The message alone, for an alarm whose EmailSent follows its e-mail in the outbox.
    bool UpdateAlarmCause(qint64 alarmId, const QString &causeOfAlarm);
    // Writes a whole alarm row in one statement (its key is given by the database): an alarm
    // that was seen, and possibly ended, while the file could not be written. No message.
    bool RecordAlarm(const AlarmRecord &alarm, qint64 *newId = nullptr);
    // AlarmEnd = end (now when not given), AlarmActive = false.
    bool EndAlarm(qint64 alarmId, const QDateTime &end = QDateTime());
    bool SaveAlarmResolution(qint64 alarmId, const QString &resolution);
    // One alarm with its acknowledgement; found is false when there is no such alarm. No message.
    bool AlarmById(qint64 alarmId, AlarmRecord &row, bool &found);

    // --- Acknowledgements (tblAlarmAcks) ---

    // Stores the acknowledgement of ack.AlarmID; false (no message) when the file refuses it, as it
    // refuses a second one of the same alarm.
    bool AddAlarmAck(const AlarmAck &ack);

    // --- Escalation of alarms (tblEscalations) ---

    // Stores the row of a newly recorded alarm; false when the file refuses it.
    bool AddEscalation(const EscalationRow &row);
    // Writes the row's state (all but its key and alarm).
    bool SaveEscalation(const EscalationRow &row);
    // The row of an alarm; found is false when it has none.
    bool EscalationOf(qint64 alarmId, EscalationRow &row, bool &found);
    // The rows of the alarms still active.
    bool EscalationsOfOpenAlarms(QList<EscalationRow> &rows);

    // --- Backup failure episodes (tblLogFileBackup) ---

    bool AddBackupFileError(const QString &failureText);
    // Open episodes: the count and the key of the last.
    bool RecordOpenBackupFileErrors(OpenRecords &found);
    // Row edits of the backup check; the caller reports failures.
    bool MarkBackupFileErrorBackOnLine(qint64 episodeId); // LatestAttempt = BackOnLine = now
    bool UpdateBackupFileErrorEmailSent(qint64 episodeId, const QString &emailSent);

    // --- Device failure episodes (tblServerFailures) ---

    // Stamps BackOnLine of the device's first open episode; announced (when given) receives the
    // first open episode whose notice was sent, as it was before the stamp (0: none). The caller
    // logs a failure.
    bool MarkServerBackOnLine(qint64 serverId, qint64 *announced = nullptr);
    bool DeleteServerErrors();
    // Failure tracking; the caller reports failures. firstId is the device's first open episode
    // whose notice was (notified) or was not yet sent, 0 when there is none.
    bool FirstOpenServerFailure(qint64 serverId, bool notified, qint64 &firstId);
    bool AddServerFailure(qint64 serverId, const QString &serverName); // OffLine = now
    bool UpdateServerFailureEmailSent(qint64 episodeId, const QString &serverName, const QString &emailSent);

    // --- Outbox (tblOutbox) ---

    // Stores a new message; row.IDNum receives its key.
    bool AddOutboxMessage(OutboxRow &row);
    // Stores the message's state and, in the same transaction, the EmailSent text of the record it
    // belongs to (a record that no longer exists is no failure). With finished set the message
    // leaves the outbox instead. A row not stored yet (IDNum 0) only writes the record.
    bool SaveOutboxMessage(const OutboxRow &row, const QString &recordText, bool finished);
    // Every waiting message, oldest first.
    bool WaitingOutboxMessages(QList<OutboxRow> &rows);

    // --- Notification channels' queue (tblNotifyQueue) ---

    // Stores a new message; row.IDNum receives its key.
    bool AddNotifyMessage(NotifyRow &row);
    // The same for several (the messages of one event); the rows a failure leaves unstored keep
    // IDNum 0.
    bool AddNotifyMessages(const QList<NotifyRow *> &rows);
    // Stores the message's state and outcome; a finished message that belongs to no record leaves
    // the table.
    bool SaveNotifyMessage(const NotifyRow &row);
    // At most `limit` of the channel's waiting messages from the position on, in the order they
    // were made.
    bool WaitingNotifyMessages(const QString &channel, const NotifyQueuePosition &from, int limit,
                               QList<NotifyRow> &rows);
    bool CountWaitingNotifyMessages(const QString &channel, int &count);
    // Replaces the payload a message sends.
    bool SetNotifyPayload(qint64 id, const QString &payload);
    // Drops the waiting messages of notices that get one attempt (Retries 0), of the channel or
    // of every channel when it is empty; dropped receives how many went.
    bool DropUnsentMessages(const QString &channel, int &dropped);
    // Drops the notices that get one attempt whose events, below the key given, were not turned
    // into messages yet.
    bool DropUnexpandedNotices(qint64 below, int &dropped);
    // Gives the channel's stored messages, and the events not yet turned into messages that name
    // it, the channel's new name.
    bool RenameNotifyChannel(const QString &from, const QString &to);
    // The channel's messages that opened an alarm or a device failure whose record is still open,
    // oldest first, delivered or not: the alerts a receiver must keep hearing about after a restart.
    bool OpenAlertMessages(const QString &channel, QList<NotifyRow> &rows);
    // Stores an event for the channels; row.IDNum receives its key.
    bool AddNotifyEvent(NotifyEventRow &row);
    // Marks the event as turned into its channels' messages; claimed is false when it was already.
    bool ClaimNotifyEvent(qint64 id, bool &claimed);
    // The events not yet turned into messages, oldest first.
    bool UnexpandedNotifyEvents(QList<NotifyEventRow> &rows);
    // Each channel's outcome for the record, as "channel: outcome" lines by channel name.
    bool NotifyOutcomes(const QString &recordTable, qint64 recordId, QStringList &outcomes);

    // --- Error log (tblErrors) ---

    // Writes one line; never reports its own failure (it goes to the debug output only) and
    // leaves lastError() as it was.
    bool AddError(const QString &where, const QString &cause);
    // The same with the time the error happened, as StoredDateTime gives it.
    bool AddError(const QString &storedTime, const QString &where, const QString &cause);
    QString storedNow() const; // now as the sorted columns store it
    bool DeleteSystemErrors();

    // --- Event views: newest first; offset and limit page through (limit -1: all); upToId, when
    // above 0, leaves out rows with a higher key ---

    bool CountAlarms(int &count);
    bool AlarmsNewestFirst(QList<AlarmRecord> &rows, int offset = 0, int limit = -1, qint64 upToId = 0);
    // Every alarm still active (its sensor shows ALARM), newest first. No message. The alarms of
    // these lists carry their acknowledgement.
    bool ActiveAlarmsNewestFirst(QList<AlarmRecord> &rows);
    // The sensor's alarms that were open at some time in [from, to), oldest first, at most limit.
    // No message.
    bool SensorAlarmsBetween(qint64 sensorId, const QDateTime &from, const QDateTime &to, int limit,
                             QList<AlarmRecord> &rows);
    bool ErrorsNewestFirst(QList<ErrorRecord> &rows, int offset = 0, int limit = -1, qint64 upToId = 0);
    // notifiedOnly: only episodes whose EmailSent is not "False".
    bool ServerFailuresNewestFirst(QList<ServerFailureRecord> &rows, bool notifiedOnly, int offset = 0,
                                   int limit = -1, qint64 upToId = 0);
    // The number of rows of each list and its highest key.
    bool AlarmsExtent(EventExtent &extent);
    bool ErrorsExtent(EventExtent &extent);
    bool ServerFailuresExtent(bool notifiedOnly, EventExtent &extent);

private:
    // A prepared statement that was run; finished (its read lock released) when it goes out of
    // scope. Empty when the statement failed.
    class Statement {
    public:
        explicit Statement(std::shared_ptr<QSqlQuery> query = {}) : m_query(std::move(query)) {}
        Statement(Statement &&other) noexcept = default;
        Statement(const Statement &) = delete;
        Statement &operator=(const Statement &) = delete;
        Statement &operator=(Statement &&) = delete;
        ~Statement();
        explicit operator bool() const { return m_query != nullptr; }
        QSqlQuery *operator->() const { return m_query.get(); }
        QSqlQuery &operator*() const { return *m_query; }

    private:
        std::shared_ptr<QSqlQuery> m_query;
    };

    QString now() const; // the program's date-time text of now
    // Runs a cached prepared statement with values bound in order. The returned statement is
    // finished when it goes out of scope; it is empty (and lastError set) on failure.
    Statement run(const QString &sql, const QVariantList &values = {});
    // The cached prepared statement of sql, made on first use; null (and lastError) on failure.
    std::shared_ptr<QSqlQuery> preparedStatement(const QString &sql);
    // Runs a cached statement without values and no rows to read (BEGIN, COMMIT).
    bool runBare(const QString &sql);
    bool fail(const QString &text);
    // A write refused because the connection could only read (the file was write-protected
    // when it was opened): the connection opens again at the next operation, so a file that
    // has become writable is written without a restart.
    void noteReadOnly(const QSqlQuery &query);
    bool statementsInUse() const;
    void matchJournalPermissions();
    // A message box with text followed by the last error; false.
    bool failWithMessage(const QString &text);
    // A line in the error log with the last error; false.
    bool failWithLog(const QString &where);
    // A quoted identifier when table (and column) exist in the file; empty otherwise.
    QString checkedTable(const QString &table);
    QString checkedColumn(const QString &table, const QString &column);
    // Write-ahead log when the file allows it, synced at checkpoints (see the .cpp).
    void useWriteAheadLog();
    bool loadColumns(); // false (and lastError) when the file could not be read
    void upgradeColumns();
    bool addMissingTable(const QString &table, const QString &createSql);
    bool firstOpenEpisodes(qint64 serverId, qint64 &firstId, qint64 &firstAnnounced);
    bool readSensorRows(qint64 serverId, QList<SensorRecord> &rows);
    bool readDeviceAlarmCounts(qint64 serverId, QHash<qint64, SensorAlarmCounts> &counts);
    bool addMissingColumn(const QString &table, const QString &column, const QString &type);
    bool readExtent(const QString &sql, EventExtent &extent);
    bool dropEventsOfNoMessage();
    // tblNotifyQueue rows matching the condition (with its order and limit).
    bool readNotifyRows(const QString &where, const QVariantList &values, QList<NotifyRow> &rows);
    // The alarms matching condition (SQL after WHERE, with ? for values), in its order.
    bool alarmsWhere(const QString &condition, const QVariantList &values, QList<AlarmRecord> &rows);

    // Reads that hold until the file's data changes, kept with the mark of the data they were read
    // at: this connection's writes and openings, and the other connections' commits. Every device
    // of every cycle reads its sensors, name, alarm counts and failure episodes, which seldom
    // change; while the mark stands one look at it replaces those reads. Nothing read inside a
    // transaction is kept (a rollback would take it back).
    struct ReadMemo {
        quint64 writes = 0;
        qint64 dataVersion = -1;
        QHash<qint64, QList<SensorRecord>> sensors;
        QHash<qint64, std::pair<QString, QString>> nameAndEmail;
        QHash<qint64, QHash<qint64, SensorAlarmCounts>> alarmCounts;
        QHash<qint64, std::pair<qint64, qint64>> openEpisodes; // first open, first announced
    };
    // Whether the memo may be used now, after dropping it when the mark moved: false inside a
    // transaction and when the mark cannot be read. In a shared read the mark is looked at once.
    bool memoUsable();
    // The value under key as remembered, else as read (and then remembered when the memo may be
    // used). False when the read fails.
    template <typename Value, typename Read>
    bool remembered(QHash<qint64, Value> ReadMemo::*table, qint64 key, Value &value, Read read)
    {
        const bool usable = memoUsable();
        QHash<qint64, Value> &kept = m_memo.*table;
        if (usable) {
            const auto found = kept.constFind(key);
            if (found != kept.cend()) {
                m_lastError.clear();
                value = *found;
                return true;
            }
        }
        if (!read(value))
            return false;
        if (usable)
            kept.insert(key, value);
        return true;
    }

    ProgramState &m_state;
    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_statements;
    QHash<QString, QSet<QString>> m_columns; // lower-case table -> lower-case columns
    QString m_lastError;
    bool m_reopen = false;
    int m_transactionDepth = 0;
    int m_readBatchDepth = 0;
    bool m_sharedReadOpen = false; // a read transaction of a ReadBatch is open
    void endSharedRead();
    std::vector<std::function<void(bool)>> m_afterTransaction;
    std::shared_ptr<WriteGate> m_gate; // shared with the other connections to the file
    bool m_givesWay = false;
    quint64 m_serverEdits = 0; // see DevicesMark
    quint64 m_writes = 0;      // statements run that may have written, transactions and openings
    ReadMemo m_memo;
    bool m_memoMarkRead = false; // the mark was looked at in the shared read open now
};
