#include "support_db.h"

#include <db/DbErrorLog.h>
#include <db/SchemaFile.h>

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {
QStringList columnsOf(QSqlDatabase &db, const QString &table)
{
    QStringList names;
    const QSqlRecord record = db.record(table);
    for (int i = 0; i < record.count(); ++i)
        names.append(record.fieldName(i));
    return names;
}

// The tables as an older file has them: no Resolution, no sensor limits.
const char *const kOlderSchema[] = {
    "CREATE TABLE tblServers (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, ServerName TEXT, ServerModel TEXT, "
    "ServerIPAddress TEXT, ServerNotes TEXT, Enabled TEXT, UserPassword TEXT, EmailAddress TEXT, Comm TEXT)",
    "CREATE TABLE tblSensors (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, ServerIDNum INTEGER, SensorName TEXT, "
    "PortNum INTEGER, SensorNotes TEXT, SensorType TEXT)",
    "CREATE TABLE tblAlarms (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, SensorIDNum INTEGER, AlarmStart TEXT, "
    "AlarmEnd TEXT, AlarmActive INTEGER, EmailSent TEXT, CauseOfAlarm TEXT, Server TEXT, Sensor TEXT, "
    "CurrentData TEXT, TOL INTEGER)",
    "CREATE TABLE tblErrors (ErrorID INTEGER PRIMARY KEY AUTOINCREMENT, myTime TEXT, myFunction TEXT, Cause "
    "TEXT)",
    "INSERT INTO tblServers (ServerName, ServerIPAddress, Enabled, Comm) VALUES ('Lab', '10.0.0.5', '1', "
    "'-1')",
    "INSERT INTO tblSensors (ServerIDNum, SensorName, PortNum, SensorType) VALUES (1, 'Freezer', 0, "
    "'temperature')",
    "INSERT INTO tblAlarms (SensorIDNum, AlarmStart, AlarmActive, Sensor) "
    "VALUES (1, '2024-05-01 08:00:00', -1, 'Freezer')",
};
const QStringList kOutboxColumns = {"IDNum",       "Kind",        "RecordTable", "RecordID",   "Created",
                                    "MessageID",   "Recipients",  "Subject",     "SenderName", "Body",
                                    "Attempts",    "LastAttempt", "NextAttempt", "LastError",  "Retries",
                                    "Attachments", "AgedFrom"};
// Writes a file as an older version made it, with the extra statements after.
bool writeOlderFile(const QString &path, const QStringList &extra = {})
{
    OtherConnection older(path);
    for (const char *statement : kOlderSchema)
        if (!older.exec(QString::fromLatin1(statement)))
            return false;
    for (const QString &statement : extra)
        if (!older.exec(statement))
            return false;
    return true;
}
} // namespace

class TestDbSchema : public QObject {
    Q_OBJECT
private slots:
    void freshFileHasEveryColumn_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("columns");
        QTest::newRow("tblServers") << "tblServers"
                                    << QStringList{"IDNum",           "ServerName",   "ServerModel",
                                                   "ServerIPAddress", "ServerNotes",  "Enabled",
                                                   "UserPassword",    "EmailAddress", "Comm"};
        QTest::newRow("tblSensors") << "tblSensors" << QStringList{"IDNum",      "ServerIDNum", "SensorName",
                                                                   "PortNum",    "SensorNotes", "SensorType",
                                                                   "UpperLimit", "LowerLimit",  "TOL"};
        QTest::newRow("tblAlarms") << "tblAlarms"
                                   << QStringList{"IDNum",       "SensorIDNum", "AlarmStart",   "AlarmEnd",
                                                  "AlarmActive", "EmailSent",   "CauseOfAlarm", "Server",
                                                  "Sensor",      "CurrentData", "TOL",          "Resolution"};
        QTest::newRow("tblErrors") << "tblErrors" << QStringList{"ErrorID", "myTime", "myFunction", "Cause"};
        QTest::newRow("tblServerFailures")
            << "tblServerFailures"
            << QStringList{"IDNum", "ServerName", "ServerIDNum", "OffLine", "BackOnLine", "EmailSent"};
        QTest::newRow("tblLogFileBackup")
            << "tblLogFileBackup"
            << QStringList{"IDNum", "FirstError", "BackOnLine", "EmailSent", "Error", "LatestAttempt"};
        QTest::newRow("tblOutbox") << "tblOutbox" << kOutboxColumns;
        QTest::newRow("tblAlarmAcks")
            << "tblAlarmAcks" << QStringList{"AlarmID", "AckBy", "AckAt", "AckVia", "AckPeer", "AckComment"};
    }
    void freshFileHasEveryColumn()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, columns);
        DbFixture f;
        OtherConnection other(f.path());
        QCOMPARE(columnsOf(other.db(), table), columns);
        // The key is numbered by the database.
        const QString key = columns.first();
        QVERIFY(other.exec(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)));
        QVERIFY(other.exec(QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)));
        QCOMPARE(other.scalar(QStringLiteral("SELECT MAX(%1) FROM %2").arg(key, table)).toInt(), 2);
    }

    // The queries the poll cycle runs for every sensor must find their rows through an index.
    void hotPathQueriesUseIndexes_data()
    {
        QTest::addColumn<QString>("query");
        QTest::newRow("open alarms") << "SELECT COUNT(*), MAX(rowid) FROM tblAlarms WHERE SensorIDNum = 1 "
                                        "AND AlarmEnd IS NULL";
        QTest::newRow("active alarms")
            << "SELECT COUNT(*) FROM tblAlarms WHERE SensorIDNum = 1 AND AlarmActive = -1";
        QTest::newRow("sensors")
            << "SELECT * FROM tblSensors WHERE ServerIDNum = 1 AND length(SensorName) <> 0";
        QTest::newRow("open failures") << "SELECT MIN(IDNum) FROM tblServerFailures WHERE ServerIDNum = 1 "
                                          "AND BackOnLine = 'False'";
        QTest::newRow("alarm view") << "SELECT * FROM tblAlarms ORDER BY AlarmStart DESC, IDNum DESC LIMIT 1";
        QTest::newRow("error view") << "SELECT * FROM tblErrors ORDER BY myTime DESC, ErrorID DESC LIMIT 1";
        QTest::newRow("failure view")
            << "SELECT * FROM tblServerFailures ORDER BY OffLine DESC, IDNum DESC LIMIT 1";
    }
    void hotPathQueriesUseIndexes()
    {
        QFETCH(QString, query);
        DbFixture f;
        OtherConnection other(f.path());
        QSqlQuery plan(other.db());
        QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + query));
        QString details;
        while (plan.next())
            details += plan.value(3).toString() + QLatin1Char('\n');
        QVERIFY2(details.contains(QStringLiteral("USING")) && details.contains(QStringLiteral("INDEX")),
                 qPrintable(details));
        QVERIFY2(!details.contains(QStringLiteral("TEMP B-TREE")), qPrintable(details));
    }

    void olderFileIsUpgradedAndKeepsItsRows()
    {
        TestState t;
        const QString path = t.path(QStringLiteral("wexa.mdb"));
        QVERIFY(writeOlderFile(path));
        Database db(t.state, path);
        QVERIFY(db.UpgradeSchema());
        QVERIFY(db.UpgradeSchema()); // a second call changes nothing

        OtherConnection check(path);
        QVERIFY(columnsOf(check.db(), QStringLiteral("tblAlarms")).contains(QStringLiteral("Resolution")));
        const QStringList sensorColumns = columnsOf(check.db(), QStringLiteral("tblSensors"));
        for (const char *column : {"UpperLimit", "LowerLimit", "TOL"})
            QVERIFY2(sensorColumns.contains(QString::fromLatin1(column)), column);
        // The outbox table the upgrade adds is the one a fresh file has.
        QCOMPARE(columnsOf(check.db(), QStringLiteral("tblOutbox")), kOutboxColumns);
        OutboxRow waiting;
        waiting.Kind = QStringLiteral("Alarm");
        waiting.Created = QDateTime(QDate(2026, 3, 14), QTime(10, 0));
        QVERIFY(db.AddOutboxMessage(waiting));
        QList<OutboxRow> rows;
        QVERIFY(db.WaitingOutboxMessages(rows));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().Created, waiting.Created);

        // The old rows are there and the new columns work through the operations.
        QList<SensorRecord> sensors;
        int count = 0;
        QVERIFY(db.RecordSensors(1, sensors, count));
        QCOMPARE(sensors.first().SensorName, QStringLiteral("Freezer"));
        QVERIFY(!sensors.first().UpperLimit.has_value());
        QVERIFY(db.SaveSensor(1, "Freezer", 0, "", "", "-10.5", "-30", "15"));
        QVERIFY(db.RecordSensors(1, sensors, count));
        QCOMPARE(sensors.first().UpperLimit.value_or(0), -10.5);
        QCOMPARE(sensors.first().TOL.value_or(0), 15);
        QVERIFY(db.SaveAlarmResolution(1, QStringLiteral("Door left open")));
        QList<AlarmRecord> alarms;
        QVERIFY(db.AlarmsNewestFirst(alarms));
        QCOMPARE(alarms.size(), 1);
        QCOMPARE(alarms.first().Resolution, QStringLiteral("Door left open"));
        QVERIFY(alarms.first().AlarmActive);
        // The acknowledgements' table is added too, and an old alarm can be acknowledged once.
        QVERIFY(!alarms.first().Ack.isSet());
        AlarmAck ack{1, QStringLiteral("Ann"), QDateTime(QDate(2024, 5, 1), QTime(8, 5)), "desktop", "", ""};
        QVERIFY(db.AddAlarmAck(ack));
        QVERIFY(!db.AddAlarmAck(ack));
        QVERIFY(db.ActiveAlarmsNewestFirst(alarms));
        QCOMPARE(alarms.first().Ack.AckBy, QStringLiteral("Ann"));
        QCOMPARE(alarms.first().Ack.AckAt, ack.AckAt);
        QCOMPARE(t.errors.lines(), QStringList());
    }

    // A file whose outbox table came before attachments: the column is added, the message
    // waiting in it still reads, and a new message keeps its file.
    void outboxWithoutAttachmentsIsUpgraded()
    {
        TestState t;
        const QString path = t.path(QStringLiteral("wexa.mdb"));
        QVERIFY(writeOlderFile(
            path,
            {"CREATE TABLE tblOutbox (IDNum INTEGER PRIMARY KEY AUTOINCREMENT, Kind TEXT, RecordTable TEXT, "
             "RecordID INTEGER, Created TEXT, MessageID TEXT, Recipients TEXT, Subject TEXT, SenderName "
             "TEXT, Body TEXT, Attempts INTEGER, LastAttempt TEXT, NextAttempt TEXT, LastError TEXT, "
             "Retries INTEGER)",
             "INSERT INTO tblOutbox (Kind, Created, Subject, Retries) "
             "VALUES ('Text', '2026-03-14 10:00:00', 'Waiting', 1)"}));
        Database db(t.state, path);
        QVERIFY(db.UpgradeSchema());
        {
            OtherConnection check(path);
            QCOMPARE(columnsOf(check.db(), QStringLiteral("tblOutbox")), kOutboxColumns);
        }
        OutboxRow report;
        report.Kind = QStringLiteral("Report");
        report.Created = QDateTime(QDate(2026, 4, 1), QTime(8, 0));
        static const char binary[] = "%PDF\0\x01\xff binary";
        report.Attachments = QByteArray(binary, sizeof binary - 1);
        QVERIFY(db.AddOutboxMessage(report));
        QList<OutboxRow> rows;
        QVERIFY(db.WaitingOutboxMessages(rows));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].Subject, QStringLiteral("Waiting"));
        QVERIFY(rows[0].Attachments.isEmpty());
        QCOMPARE(rows[1].Attachments, report.Attachments);
        QCOMPARE(t.errors.lines(), QStringList());
    }

    // The program never makes the file; a Database object over a missing file fails its
    // operations and starts working once the file is copied in.
    void missingFileIsNotCreated()
    {
        TestState t;
        QVERIFY(!DatabaseFileExists(t.dir.path()));
        Database db(t.state);
        int count = -1;
        QVERIFY(!db.CountNamedSensors(count));
        QCOMPARE(count, 0);
        QVERIFY(db.lastError().contains(QStringLiteral("missing")));
        QVERIFY(!db.AddError("where", "cause"));
        QVERIFY(!QFile::exists(t.path(QStringLiteral("wexa.mdb"))));

        QString error;
        QVERIFY(CreateDatabaseFromSchema(SchemaPath(), t.path(QStringLiteral("wexa.mdb")), false, error));
        QVERIFY(DatabaseFileExists(t.dir.path()));
        QVERIFY(db.SaveSensor(7, "Cooler", 2, "", "temperature", "", "", ""));
        QVERIFY(db.CountNamedSensors(count));
        QCOMPARE(count, 1);
    }

    // The file is opened through a URI; characters that mean something in a URI stay part of the name.
    void programDirectoryWithOddCharacters()
    {
        TestState t;
        const QString dir = t.path(QStringLiteral("Bob's 100% #1 ?dir é"));
        QVERIFY(QDir().mkpath(dir));
        QString error;
        QVERIFY(CreateDatabaseFromSchema(SchemaPath(), QDir(dir).filePath("wexa.mdb"), false, error));
        QVERIFY(DatabaseFileExists(dir));
        ProgramState state(dir, t.clock, t.prompts, t.errors, t.status);
        Database db(state);
        QVERIFY2(db.AddServer("Lab", "", "10.0.0.1", "", 1, "", "", -1), qPrintable(db.lastError()));
        db.close();
        OtherConnection other(QDir(dir).filePath("wexa.mdb"));
        QCOMPARE(other.scalar("SELECT ServerName FROM tblServers").toString(), QStringLiteral("Lab"));
    }

    void makingADatabaseKeepsAnExistingFile()
    {
        DbFixture f;
        QVERIFY(f.db.AddServer("Lab", "RX705", "10.0.0.1", "", 1, "", "", -1));
        f.db.close();
        QString error;
        QVERIFY(!CreateDatabaseFromSchema(SchemaPath(), f.path(), false, error));
        QVERIFY(error.contains(QStringLiteral("exists")));
        QList<ServerRecord> rows;
        QVERIFY(f.db.LoadServers(rows));
        QVERIFY(CreateDatabaseFromSchema(SchemaPath(), f.path() + "2", false, error));
        QVERIFY(!CreateDatabaseFromSchema("/nonexistent/schema.sql", f.path() + "3", false, error));
        QVERIFY(!QFile::exists(f.path() + "3"));
    }

    void schemaStatementsDropComments()
    {
        QCOMPARE(SchemaStatements("-- a note; with a semicolon\nCREATE TABLE a (x TEXT); -- end\n\n"
                                  "CREATE INDEX i ON a (x);\n"),
                 QStringList({"CREATE TABLE a (x TEXT)", "CREATE INDEX i ON a (x)"}));
    }
};

QTEST_GUILESS_MAIN(TestDbSchema)
#include "tst_dbschema.moc"
