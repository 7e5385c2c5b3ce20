#include "support_db.h"

#include <core/DateTimeText.h>
#include <db/DbErrorLog.h>

#include <QTest>

namespace {
QDateTime at(int year, int month, int day, int hour, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

// Moments whose program texts sort wrongly as plain text ("1/1/2026 1:00:00 PM" before
// "1/1/2026 9:00:00 AM", "12/31/2025" after "1/1/2026").
const QList<QDateTime> kMoments = {at(2026, 1, 1, 13), at(2025, 12, 31, 23), at(2026, 1, 1, 9),
                                   at(2026, 1, 1, 1), at(2026, 10, 2, 0, 5)};
const QList<QDateTime> kNewestFirst = {at(2026, 10, 2, 0, 5), at(2026, 1, 1, 13), at(2026, 1, 1, 9),
                                       at(2026, 1, 1, 1), at(2025, 12, 31, 23)};
} // namespace

class TestDbEvents : public QObject {
    Q_OBJECT
private slots:
    void openAlarmsCountAllAndEditTheLast()
    {
        DbFixture f;
        for (int i = 0; i < 3; ++i)
            QVERIFY(f.db.AddAlarmRecord(5, f.t.clock.now(), "Lab", "Freezer", "Sensor Open", i, -1));
        qint64 otherSensor = 0;
        QVERIFY(f.db.AddAlarmRecord(6, f.t.clock.now(), "Lab", "Cooler", "40.0", 0, -1, &otherSensor));
        QCOMPARE(otherSensor, 4);

        OpenRecords open;
        QVERIFY(f.db.RecordOpenAlarms("tblAlarms", "SensorIDNum", 5, "AlarmEnd", open));
        QCOMPARE(open.count, 3);
        QCOMPARE(open.lastId, 3);
        int active = 0;
        QVERIFY(f.db.RecordActiveAlarms(5, active));
        QCOMPARE(active, 3);

        f.t.clock.advanceSeconds(60);
        QVERIFY(f.db.UpdateAlarmEmailSent(open.lastId, DateTimeText(f.t.clock.now()), "message"));
        QVERIFY(f.db.EndAlarm(open.lastId));
        QVERIFY(f.db.RecordOpenAlarms("tblAlarms", "SensorIDNum", 5, "AlarmEnd", open));
        QCOMPARE(open.count, 2);
        QCOMPARE(open.lastId, 2);
        QVERIFY(f.db.RecordActiveAlarms(5, active));
        QCOMPARE(active, 2);
        QVERIFY(f.db.RecordActiveAlarms(6, active));
        QCOMPARE(active, 1);

        QList<AlarmRecord> rows;
        QVERIFY(f.db.AlarmsNewestFirst(rows));
        QCOMPARE(rows.size(), 4);
        for (const AlarmRecord &row : rows) {
            const bool ended = row.IDNum == 3;
            QCOMPARE(row.AlarmActive, !ended);
            QCOMPARE(row.AlarmEnd.isValid(), ended);
            QCOMPARE(row.EmailSent.isEmpty(), !ended);
        }
        const AlarmRecord &ended =
            *std::find_if(rows.begin(), rows.end(), [](auto &r) { return r.IDNum == 3; });
        QCOMPARE(ended.AlarmEnd, f.t.clock.now());
        QCOMPARE(ended.CauseOfAlarm, QStringLiteral("message"));
        QCOMPARE(ended.TOL, 2);

        QVERIFY(f.db.RecordOpenAlarms("tblAlarms", "SensorIDNum", 99, "AlarmEnd", open));
        QCOMPARE(open.count, 0);
        QCOMPARE(open.lastId, 0);
        // Editing a row that is not there is not reported as done.
        QVERIFY(!f.db.EndAlarm(99));
        QVERIFY(!f.db.UpdateAlarmEmailSent(99, "x", "y"));
        QCOMPARE(f.t.errors.lines(), QStringList());
    }

    // An outbox message and the EmailSent of its record change together; a delivered message
    // leaves the table; a record that is gone (its list cleared) is no failure.
    void outboxMessageKeepsItsRecordInStep()
    {
        DbFixture f;
        qint64 alarm = 0;
        QVERIFY(f.db.AddAlarmRecord(5, f.t.clock.now(), "Lab", "Freezer", "40.0", 0, -1, &alarm));
        OutboxRow row;
        row.Kind = "Alarm";
        row.RecordTable = "tblAlarms";
        row.RecordID = alarm;
        row.Created = f.t.clock.now();
        row.Recipients = "[]";
        QVERIFY(f.db.AddOutboxMessage(row));
        QVERIFY(row.IDNum > 0);
        row.Attempts = 2;
        row.LastError = "connection refused";
        row.NextAttempt = f.t.clock.now().addSecs(120);
        QVERIFY(f.db.SaveOutboxMessage(row, "Attempt 2 failed", false));
        QList<OutboxRow> rows;
        QVERIFY(f.db.WaitingOutboxMessages(rows));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().Attempts, 2);
        QCOMPARE(rows.first().NextAttempt, row.NextAttempt);
        OtherConnection other(f.path());
        QCOMPARE(other.scalar("SELECT EmailSent FROM tblAlarms").toString(),
                 QStringLiteral("Attempt 2 failed"));

        QVERIFY(f.db.SaveOutboxMessage(row, "3/14/2026 10:02:00 AM", true));
        QVERIFY(f.db.WaitingOutboxMessages(rows));
        QVERIFY(rows.isEmpty());
        QCOMPARE(other.scalar("SELECT EmailSent FROM tblAlarms").toString(),
                 QStringLiteral("3/14/2026 10:02:00 AM"));

        row.RecordTable = "tblServerFailures";
        row.RecordID = 77;
        QVERIFY(f.db.SaveOutboxMessage(row, "gone", true));
        row.RecordTable = "tblServers";
        QVERIFY(!f.db.SaveOutboxMessage(row, "x", false));
    }

    void markServerBackOnLineStampsOnlyTheFirstOpenEpisode()
    {
        DbFixture f;
        QVERIFY(f.db.AddServerFailure(1, "Lab"));
        QVERIFY(f.db.AddServerFailure(1, "Lab"));
        QVERIFY(f.db.AddServerFailure(2, "Office"));
        qint64 first = -1;
        QVERIFY(f.db.FirstOpenServerFailure(1, false, first));
        QCOMPARE(first, 1);
        QVERIFY(f.db.FirstOpenServerFailure(1, true, first));
        QCOMPARE(first, 0);
        QVERIFY(f.db.UpdateServerFailureEmailSent(1, "Lab renamed", "mail error"));
        QVERIFY(f.db.FirstOpenServerFailure(1, true, first));
        QCOMPARE(first, 1);
        QVERIFY(f.db.FirstOpenServerFailure(1, false, first));
        QCOMPARE(first, 2);

        f.t.clock.advanceSeconds(3600);
        qint64 announced = -1;
        QVERIFY(f.db.MarkServerBackOnLine(1, &announced));
        QCOMPARE(announced, 1);
        QList<ServerFailureRecord> rows;
        QVERIFY(f.db.ServerFailuresNewestFirst(rows, false));
        QCOMPARE(rows.size(), 3);
        QMap<qint64, ServerFailureRecord> byId;
        for (const ServerFailureRecord &row : rows)
            byId.insert(row.IDNum, row);
        QCOMPARE(byId[1].BackOnLine, DateTimeText(f.t.clock.now()));
        QCOMPARE(byId[2].BackOnLine, QStringLiteral("False"));
        QCOMPARE(byId[3].BackOnLine, QStringLiteral("False"));
        QCOMPARE(byId[1].ServerName, QStringLiteral("Lab renamed"));
        QCOMPARE(byId[2].EmailSent, QStringLiteral("False"));
        QCOMPARE(byId[1].OffLine, f.t.clock.now().addSecs(-3600));

        QVERIFY(f.db.MarkServerBackOnLine(1, &announced));
        QCOMPARE(announced, 0);                // episode 2's notice was never sent
        QVERIFY(f.db.MarkServerBackOnLine(1)); // nothing open: still done
        QVERIFY(f.db.FirstOpenServerFailure(1, false, first));
        QCOMPARE(first, 0);
        QVERIFY(f.db.FirstOpenServerFailure(2, false, first));
        QCOMPARE(first, 3);

        // Only notified episodes in the events view.
        QVERIFY(f.db.ServerFailuresNewestFirst(rows, true));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().IDNum, 1);
        QVERIFY(f.db.DeleteServerErrors());
        QVERIFY(f.db.ServerFailuresNewestFirst(rows, false));
        QVERIFY(rows.isEmpty());
    }

    void backupEpisodesOpenAndClose()
    {
        DbFixture f;
        OpenRecords open;
        QVERIFY(f.db.RecordOpenBackupFileErrors(open));
        QCOMPARE(open.count, 0);
        QVERIFY(f.db.AddBackupFileError("Failed to write log files to backup directory X"));
        QVERIFY(f.db.AddBackupFileError("again"));
        QVERIFY(f.db.RecordOpenBackupFileErrors(open));
        QCOMPARE(open.count, 2);
        QCOMPARE(open.lastId, 2);
        QVERIFY(f.db.UpdateBackupFileErrorEmailSent(2, "sent"));
        f.t.clock.advanceSeconds(90);
        QVERIFY(f.db.MarkBackupFileErrorBackOnLine(2));
        QVERIFY(f.db.RecordOpenBackupFileErrors(open));
        QCOMPARE(open.count, 1);
        QCOMPARE(open.lastId, 1);

        QVariant value;
        QVERIFY(f.db.GetFieldValue(2, "tblLogFileBackup", "LatestAttempt", value));
        QCOMPARE(value.toString(), DateTimeText(f.t.clock.now()));
        QVERIFY(f.db.GetFieldValue(2, "tblLogFileBackup", "BackOnLine", value));
        QCOMPARE(value.toString(), DateTimeText(f.t.clock.now()));
        QVERIFY(f.db.GetFieldValue(1, "tblLogFileBackup", "FirstError", value));
        QCOMPARE(value.toString(), DateTimeText(f.t.clock.now().addSecs(-90)));
        QVERIFY(f.db.GetFieldValue(1, "tblLogFileBackup", "EmailSent", value));
        QCOMPARE(value.toString(), QStringLiteral("False"));
        QVERIFY(!f.db.MarkBackupFileErrorBackOnLine(7));
    }

    // The event views list newest first across years and across noon, and show the program's text.
    void eventViewsAreNewestFirst()
    {
        DbFixture f;
        DbErrorLog log(f.db);
        f.t.state.setErrorLog(log);
        qint64 episode = 0;
        for (const QDateTime &when : kMoments) {
            f.t.clock.set(when);
            QVERIFY(f.db.AddAlarmRecord(1, when, "Lab", "Freezer", "", 0, -1));
            f.t.state.AddError("where", DateTimeText(when));
            QVERIFY(f.db.AddServerFailure(1, "Lab"));
            QVERIFY(f.db.UpdateServerFailureEmailSent(++episode, "Lab", DateTimeText(when)));
        }
        QList<AlarmRecord> alarms;
        QList<ErrorRecord> errors;
        QList<ServerFailureRecord> failures;
        QVERIFY(f.db.AlarmsNewestFirst(alarms));
        QVERIFY(f.db.ErrorsNewestFirst(errors));
        QVERIFY(f.db.ServerFailuresNewestFirst(failures, true));
        QCOMPARE(alarms.size(), kMoments.size());
        QCOMPARE(errors.size(), kMoments.size());
        QCOMPARE(failures.size(), kMoments.size());
        for (int i = 0; i < kNewestFirst.size(); ++i) {
            QCOMPARE(alarms.at(i).AlarmStart, kNewestFirst.at(i));
            QCOMPARE(errors.at(i).myTime, kNewestFirst.at(i));
            QCOMPARE(errors.at(i).Cause, DateTimeText(kNewestFirst.at(i)));
            QCOMPARE(failures.at(i).OffLine, kNewestFirst.at(i));
        }

        // Paging, as the alarm reader moves to one alarm.
        int count = 0;
        QVERIFY(f.db.CountAlarms(count));
        QCOMPARE(count, kMoments.size());
        QVERIFY(f.db.AlarmsNewestFirst(alarms, 1, 1));
        QCOMPARE(alarms.size(), 1);
        QCOMPARE(alarms.first().AlarmStart, at(2026, 1, 1, 13));

        QVERIFY(f.db.DeleteSystemErrors());
        QVERIFY(f.db.ErrorsNewestFirst(errors));
        QVERIFY(errors.isEmpty());
    }

    void storedDateTimesShowAsProgramText_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("afternoon") << QVariant(StoredDateTime(at(2026, 1, 1, 13, 5)))
                                   << "1/1/2026 1:05:00 PM";
        QTest::newRow("midnight") << QVariant(StoredDateTime(at(2025, 12, 31, 0)))
                                  << "12/31/2025 12:00:00 AM";
        QTest::newRow("status word") << QVariant("False") << "False";
        QTest::newRow("program text") << QVariant("3/4/2026 9:05:07 AM") << "3/4/2026 9:05:07 AM";
        QTest::newRow("mail error") << QVariant("There was an error sending an alarm email")
                                    << "There was an error sending an alarm email";
        QTest::newRow("null") << QVariant() << "";
    }
    void storedDateTimesShowAsProgramText()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        QCOMPARE(StoredDateTimeText(stored), shown);
        const QDateTime parsed = ParseStoredDateTime(stored);
        QCOMPARE(parsed.isValid(), !shown.isEmpty() && shown.at(0).isDigit());
    }

    void errorLogWritesTheTableAndNeverRaises()
    {
        DbFixture f;
        DbErrorLog log(f.db);
        f.t.state.setErrorLog(log);
        f.t.state.AddError("Log Routine", "cause one");
        QList<ErrorRecord> errors;
        QVERIFY(f.db.ErrorsNewestFirst(errors));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.first().myFunction, QStringLiteral("Log Routine"));
        QCOMPARE(errors.first().myTime, f.t.clock.now());

        // A failing operation logs one line through the installed log, and keeps its own error
        // text for the caller even though logging ran in between.
        OpenRecords open;
        QVERIFY(!f.db.RecordOpenAlarms("tblAlarms", "NoSuchColumn", 1, "AlarmEnd", open));
        QVERIFY(f.db.lastError().contains("NoSuchColumn"));
        QVERIFY(f.db.ErrorsNewestFirst(errors));
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.first().myFunction, QStringLiteral("Error RecordOpenAlarms"));

        // Without a file the log stays silent: no prompt, no exception, nothing in memory.
        f.db.close();
        QVERIFY(QFile::rename(f.path(), f.path() + ".moved"));
        f.t.state.AddError("where", "lost");
        QCOMPARE(f.t.prompts.texts, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDbEvents)
#include "tst_dbevents.moc"
