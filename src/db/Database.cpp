#include "Database.h"

#include "WriteGate.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ErrorLog.h>
#include <core/OwnerOnlyFile.h>
#include <core/ProgramState.h>
#include <core/Prompts.h>

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <limits>

bool DatabaseFileExists(const QString &programDirectory)
{
    return QFileInfo(QDir(programDirectory).filePath(QString::fromLatin1(DatabaseFileName))).isFile();
}

Database::Statement::~Statement()
{
    if (m_query)
        m_query->finish();
}

Database::Database(ProgramState &state, const QString &path)
    : m_state(state),
      m_path(path.isEmpty() ? state.programFile(QString::fromLatin1(DatabaseFileName)) : path),
      m_connectionName(QStringLiteral("tallyport-db-%1").arg(reinterpret_cast<quintptr>(this), 0, 16)),
      m_gate(WriteGate::ForFile(m_path))
{
}

Database::~Database()
{
    close();
}

bool Database::isOpen() const
{
    return m_db.isOpen();
}

bool Database::open()
{
    if (m_reopen && !statementsInUse()) {
        m_reopen = false;
        close();
    }
    if (!m_db.isOpen()) {
        // Never create the file: a missing database is reported, not replaced by an empty one.
        if (!QFileInfo(m_path).isFile())
            return fail(
                QStringLiteral("The database file %1 is missing.").arg(QDir::toNativeSeparators(m_path)));
        matchJournalPermissions();
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        const QString uri =
            QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath()).toString(QUrl::FullyEncoded);
        m_db.setDatabaseName(uri + QStringLiteral("?mode=rw"));
        m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        if (!m_db.open()) {
            const QString error = m_db.lastError().text();
            close();
            return fail(error);
        }
    }
    // Once the file can be read: WAL, so the event views read while the poll cycle writes (a
    // read-only file keeps its journal), the table layout, and the upgrade of an older file. A
    // file that was locked at opening is read again by the next operation.
    if (m_columns.isEmpty()) {
        const std::lock_guard gate(*m_gate); // the upgrade may write
        useWriteAheadLog();
        if (!loadColumns())
            return false;
        upgradeColumns();
    }
    return true;
}

void Database::useWriteAheadLog()
{
    QSqlQuery journal(m_db);
    const bool wal = journal.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && journal.next() &&
                     journal.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    journal.finish();
    // With the log, a commit reaches the disk at the next checkpoint rather than at once: it
    // survives the program crashing, and a power cut or system crash can take back only the
    // last commits, never damage the file. Syncing every commit cost some milliseconds each, so
    // an alarm on every device made the cycle overrun. Other journals keep syncing every commit.
    if (wal)
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

bool Database::memoUsable()
{
    if (m_transactionDepth > 0)
        return false;
    if (m_sharedReadOpen && m_memoMarkRead && m_memo.writes == m_writes)
        return true;
    // In a shared read this starts its read transaction, so what is read next is of the very data
    // the mark names. Outside one, a commit between the look and the read only makes the next
    // look drop what was kept.
    DevicesMark mark;
    if (!ReadDevicesMark(mark))
        return false;
    const qint64 dataVersion = mark.dataVersion;
    if (m_memo.writes != m_writes || m_memo.dataVersion != dataVersion) {
        m_memo = ReadMemo();
        m_memo.writes = m_writes;
        m_memo.dataVersion = dataVersion;
    }
    m_memoMarkRead = m_sharedReadOpen;
    return true;
}

void Database::endSharedRead()
{
    m_memoMarkRead = false;
    if (!m_sharedReadOpen)
        return;
    m_sharedReadOpen = false;
    // It only read: its end writes nothing. Its BEGIN and COMMIT are kept prepared: the driver's
    // own transaction calls make and finalize a statement each time, and every device of every
    // cycle opens one shared read.
    if (!runBare(QStringLiteral("COMMIT")))
        m_db.rollback();
}

void Database::close()
{
    // A connection opened again counts the other connections' commits afresh.
    ++m_serverEdits;
    ++m_writes;
    m_memo = ReadMemo();
    m_sharedReadOpen = false;
    m_memoMarkRead = false;
    m_statements.clear();
    m_columns.clear();
    if (m_db.isValid())
        m_db.close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

bool Database::fail(const QString &text)
{
    m_lastError = text;
    return false;
}

void Database::noteReadOnly(const QSqlQuery &query)
{
    // The primary result code is the low byte of an extended one.
    constexpr int kSqliteReadOnly = 8;
    if ((query.lastError().nativeErrorCode().toInt() & 0xff) == kSqliteReadOnly)
        m_reopen = true;
}

void Database::matchJournalPermissions()
{
    // Device passwords, alarm addresses and queued message bodies: the file and its journals
    // are the owner's only. The engine gives journals it makes the database file's permissions.
    KeepOwnerOnly(m_path);
    for (const char *suffix : {"-wal", "-shm"})
        KeepOwnerOnly(m_path + QLatin1String(suffix));
    // The engine gives its journal files the permissions the database file had when it made
    // them: made while the file was write-protected, they would keep a file that has become
    // writable read-only. They follow the database file again.
    const QFileInfo database(m_path);
    if (!database.isWritable())
        return;
    for (const char *suffix : {"-wal", "-shm"}) {
        const QFileInfo journal(m_path + QLatin1String(suffix));
        if (journal.isFile() && !journal.isWritable())
            QFile::setPermissions(journal.filePath(), database.permissions());
    }
}

bool Database::statementsInUse() const
{
    for (const std::shared_ptr<QSqlQuery> &query : m_statements)
        if (query.use_count() > 1)
            return true;
    return false;
}

bool Database::failWithMessage(const QString &text)
{
    m_state.prompts().message(text + m_lastError);
    return false;
}

bool Database::failWithLog(const QString &where)
{
    m_state.AddError(where, m_lastError);
    return false;
}

QString Database::now() const
{
    return DateTimeText(m_state.clock().now());
}

QString Database::storedNow() const
{
    return StoredDateTime(m_state.clock().now());
}

std::shared_ptr<QSqlQuery> Database::preparedStatement(const QString &sql)
{
    std::shared_ptr<QSqlQuery> query = m_statements.value(sql);
    if (!query) {
        query = std::make_shared<QSqlQuery>(m_db);
        query->setForwardOnly(true);
        if (!query->prepare(sql)) {
            fail(query->lastError().text());
            return nullptr;
        }
        m_statements.insert(sql, query);
    }
    return query;
}

bool Database::runBare(const QString &sql)
{
    const std::shared_ptr<QSqlQuery> query = preparedStatement(sql);
    const bool done = query && query->exec();
    if (query)
        query->finish();
    return done;
}

namespace {
// Statements that only read: queries, and the look at the data version (its pragma form is
// prepared once, where the table form prepares the pragma again at every run).
bool isRead(const QString &sql)
{
    return sql.startsWith(QLatin1String("SELECT")) || sql == QLatin1String("PRAGMA data_version");
}
} // namespace

Database::Statement Database::run(const QString &sql, const QVariantList &values)
{
    m_lastError.clear();
    if (!open())
        return Statement();
    const std::shared_ptr<QSqlQuery> query = preparedStatement(sql);
    if (!query)
        return Statement();
    for (int i = 0; i < values.size(); ++i) {
        // A text is never stored as Null, even when the caller's string is a null QString.
        const QVariant &value = values.at(i);
        const bool nullText = value.typeId() == QMetaType::QString && value.toString().isNull();
        query->bindValue(i, nullText ? QVariant(QStringLiteral("")) : value);
    }
    bool executed = false;
    const bool read = isRead(sql);
    if (!read) {
        endSharedRead();
        ++m_writes;
    }
    else if (m_readBatchDepth > 0 && !m_sharedReadOpen && m_transactionDepth == 0)
        m_sharedReadOpen = runBare(QStringLiteral("BEGIN"));
    if (m_transactionDepth == 0 && read) {
        executed = query->exec(); // a read needs no turn: the log keeps what it reads unchanged
    } else {
        const WriteGate::Turn turn(*m_gate, m_givesWay);
        executed = query->exec();
    }
    if (!executed) {
        fail(query->lastError().text());
        noteReadOnly(*query);
        query->finish();
        return Statement();
    }
    return Statement(query);
}

qint64 Database::firstWritersQuietMs() const
{
    return m_gate->firstWritersQuietMs();
}

bool Database::runInTransaction(const std::function<bool()> &steps)
{
    // Inside another transaction the steps are part of it: the outer one commits or rolls back.
    if (m_transactionDepth > 0)
        return steps();
    m_lastError.clear();
    if (!open())
        return false;
    endSharedRead();
    WriteGate::Turn turn(*m_gate, m_givesWay);
    if (!m_db.transaction())
        return fail(m_db.lastError().text());
    ++m_transactionDepth;
    const bool done = steps() && m_db.commit();
    --m_transactionDepth;
    ++m_writes; // committed or rolled back, what was kept may differ from the file now
    if (!done) {
        if (m_lastError.isEmpty())
            m_lastError = m_db.lastError().text();
        const QString error = m_lastError;
        m_db.rollback();
        fail(error);
    }
    turn.release();
    // Error lines logged meanwhile waited for the end (a rollback would have taken them along).
    m_state.errors().flushPending();
    std::vector<std::function<void(bool)>> waiting;
    waiting.swap(m_afterTransaction);
    for (const auto &then : waiting)
        then(done);
    return done;
}

void Database::afterTransaction(std::function<void(bool committed)> then)
{
    if (m_transactionDepth > 0)
        m_afterTransaction.push_back(std::move(then));
    else
        then(true);
}

// --- Schema ---

bool Database::loadColumns()
{
    m_columns.clear();
    QSqlQuery tables(m_db);
    if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return fail(tables.lastError().text());
    while (tables.next()) {
        const QString table = tables.value(0).toString();
        const QSqlRecord record = m_db.record(table);
        QSet<QString> columns;
        for (int i = 0; i < record.count(); ++i)
            columns.insert(record.fieldName(i).toLower());
        m_columns.insert(table.toLower(), columns);
    }
    if (m_columns.isEmpty())
        return fail(
            QStringLiteral("The database file %1 holds no tables.").arg(QDir::toNativeSeparators(m_path)));
    return true;
}

QString Database::checkedTable(const QString &table)
{
    if (!m_columns.contains(table.toLower())) {
        fail(QStringLiteral("The database has no table %1.").arg(table));
        return {};
    }
    return QLatin1Char('"') + QString(table).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString Database::checkedColumn(const QString &table, const QString &column)
{
    if (!m_columns.value(table.toLower()).contains(column.toLower())) {
        fail(QStringLiteral("The table %1 has no column %2.").arg(table, column));
        return {};
    }
    return QLatin1Char('"') + QString(column).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

bool Database::addMissingColumn(const QString &table, const QString &column, const QString &type)
{
    if (!m_columns.contains(table.toLower()) || m_columns.value(table.toLower()).contains(column.toLower()))
        return true;
    QSqlQuery query(m_db);
    return query.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(table, column, type));
}

bool Database::addMissingTable(const QString &table, const QString &createSql)
{
    if (m_columns.contains(table.toLower()))
        return true;
    QSqlQuery query(m_db);
    return query.exec(createSql);
}

void Database::upgradeColumns()
{
    addMissingTable(QStringLiteral("tblOutbox"), QString::fromLatin1(OutboxTableSql));
    addMissingColumn(QStringLiteral("tblOutbox"), QStringLiteral("Attachments"), QStringLiteral("BLOB"));
    addMissingColumn(QStringLiteral("tblOutbox"), QStringLiteral("AgedFrom"), QStringLiteral("TEXT"));
    addMissingTable(QStringLiteral("tblNotifyQueue"), QString::fromLatin1(NotifyQueueTableSql));
    QSqlQuery(m_db).exec(QString::fromLatin1(NotifyQueueIndexSql));
    addMissingColumn(QStringLiteral("tblNotifyQueue"), QStringLiteral("EventID"), QStringLiteral("INTEGER"));
    QSqlQuery(m_db).exec(QString::fromLatin1(NotifyEventIndexSql));
    QSqlQuery(m_db).exec(QString::fromLatin1(NotifyWaitingIndexSql));
    addMissingTable(QStringLiteral("tblNotifyEvents"), QString::fromLatin1(NotifyEventsTableSql));
    addMissingTable(QStringLiteral("tblAlarmAcks"), QString::fromLatin1(AlarmAcksTableSql));
    addMissingTable(QStringLiteral("tblEscalations"), QString::fromLatin1(EscalationsTableSql));
    addMissingColumn(QStringLiteral("tblAlarms"), QStringLiteral("Resolution"), QStringLiteral("TEXT"));
    addMissingColumn(QStringLiteral("tblSensors"), QStringLiteral("UpperLimit"), QStringLiteral("REAL"));
    addMissingColumn(QStringLiteral("tblSensors"), QStringLiteral("LowerLimit"), QStringLiteral("REAL"));
    addMissingColumn(QStringLiteral("tblSensors"), QStringLiteral("TOL"), QStringLiteral("INTEGER"));
    loadColumns();
}

bool Database::UpgradeSchema()
{
    open(); // the upgrade runs when the file is first read
    return true;
}

bool Database::GetFieldValue(qint64 id, const QString &table, const QString &column, QVariant &value)
{
    value = QVariant();
    m_lastError.clear();
    if (!open())
        return false;
    const QString quotedTable = checkedTable(table);
    const QString quotedColumn = quotedTable.isEmpty() ? QString() : checkedColumn(table, column);
    if (quotedColumn.isEmpty())
        return false;
    Statement query =
        run(QStringLiteral("SELECT %1 FROM %2 WHERE IDNum = ?").arg(quotedColumn, quotedTable), {id});
    if (!query)
        return false;
    if (!query->next())
        return fail(query->lastError().isValid() ? query->lastError().text()
                                                 : QStringLiteral("No row %1 in %2.").arg(id).arg(table));
    value = query->value(0);
    return true;
}

// --- Error log ---

bool Database::AddError(const QString &where, const QString &cause)
{
    return AddError(storedNow(), where, cause);
}

bool Database::AddError(const QString &storedTime, const QString &where, const QString &cause)
{
    // Not now: the error log keeps the line and writes it once the transaction has ended.
    if (m_transactionDepth > 0)
        return false;
    const QString callersError = m_lastError;
    const bool written =
        bool(run(QStringLiteral("INSERT INTO tblErrors (myTime, myFunction, Cause) VALUES (?, ?, ?)"),
                 {storedTime, where, cause}));
    if (!written)
        qWarning().noquote() << "Error log not written:" << where << cause << "-" << m_lastError;
    m_lastError = callersError;
    return written;
}

bool Database::DeleteSystemErrors()
{
    if (!run(QStringLiteral("DELETE FROM tblErrors")))
        return failWithLog(QStringLiteral("DeleteSystemErrors()"));
    return true;
}

bool Database::ErrorsNewestFirst(QList<ErrorRecord> &rows, int offset, int limit, qint64 upToId)
{
    rows.clear();
    Statement query =
        run(QStringLiteral("SELECT ErrorID, myTime, myFunction, Cause FROM tblErrors WHERE ErrorID <= ? "
                           "ORDER BY myTime DESC, ErrorID DESC LIMIT ? OFFSET ?"),
            {upToId > 0 ? upToId : std::numeric_limits<qint64>::max(), limit, offset});
    if (!query)
        return false;
    while (query->next()) {
        ErrorRecord row;
        row.ErrorID = query->value(0).toLongLong();
        row.myTime = ParseStoredDateTime(query->value(1));
        row.myFunction = query->value(2).toString();
        row.Cause = query->value(3).toString();
        rows.append(row);
    }
    if (query->lastError().isValid()) {
        rows.clear();
        return fail(query->lastError().text());
    }
    return true;
}
