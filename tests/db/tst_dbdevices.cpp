#include "support_db.h"

#include <QTest>

namespace {
const QString kNotUnique =
    QStringLiteral("The IP address for this server is not unique.  Please verify the desired IP address.");
}

class TestDbDevices : public QObject {
    Q_OBJECT
private slots:
    void addServerRefusesASecondDeviceWithTheSameAddress()
    {
        DbFixture f;
        QVERIFY(f.db.AddServer("Lab", "RX705", "10.0.0.5", "north wall", 1, "pw", "a@b.c,", -1));
        QCOMPARE(f.t.prompts.texts, QStringList());

        QVERIFY(!f.db.AddServer("Lab 2", "RX705", "10.0.0.5", "", 1, "", "", -1));
        QCOMPARE(f.t.prompts.texts, QStringList{kNotUnique});
        QVERIFY(f.db.AddServer("Lab 2", "RX705", "10.0.0.50", "", 0, "", "", 0));

        QList<ServerRecord> rows;
        int count = 0;
        QVERIFY(f.db.RecordServers(rows, count));
        QCOMPARE(count, 2);
        QCOMPARE(rows.at(0).ServerIPAddress, QStringLiteral("10.0.0.5"));
        QCOMPARE(rows.at(0).Enabled, QStringLiteral("1"));
        QCOMPARE(rows.at(0).Comm, QStringLiteral("-1"));
        QVERIFY(rows.at(0).isEnabled() && rows.at(0).isCommOn());
        QVERIFY(!rows.at(1).isEnabled() && !rows.at(1).isCommOn());

        QString holder;
        QVERIFY(!f.db.IsIPUnique("10.0.0.50", holder));
        QCOMPARE(holder, QStringLiteral("Lab 2"));
        QVERIFY(f.db.IsIPUnique("10.0.0.51", holder));
        QVERIFY(holder.isEmpty());
        // A device being edited keeps its own address; another device's is still taken.
        QVERIFY(f.db.IsIPUnique("10.0.0.50", holder, rows.at(1).IDNum));
        QVERIFY(!f.db.IsIPUnique("10.0.0.50", holder, rows.at(0).IDNum));

        qint64 id = 0;
        QVERIFY(f.db.AddServer("Lab 3", "", "10.0.0.52", "", 1, "", "", -1, &id));
        QVERIFY(id > rows.at(1).IDNum);
        QVERIFY(!f.db.AddServer("Lab 4", "", "10.0.0.52", "", 1, "", "", -1, &id));
        QCOMPARE(id, 0);
    }

    void deleteKeepsTheHistory()
    {
        DbFixture f;
        QVERIFY(f.db.AddServer("Gone", "", "10.0.0.1", "", 1, "", "", -1));
        QVERIFY(f.db.AddServer("Stays", "", "10.0.0.2", "", 1, "", "", -1));
        QVERIFY(f.db.SaveSensor(1, "Freezer", 0, "", "Temperature", "", "", ""));
        QVERIFY(f.db.SaveSensor(1, "Door", 1, "", "Door", "", "", ""));
        QVERIFY(f.db.SaveSensor(2, "Fridge", 0, "", "Temperature", "", "", ""));
        QVERIFY(f.db.AddAlarmRecord(1, f.t.clock.now(), "Gone", "Freezer", "80.0", 12, -1));
        QVERIFY(f.db.AddServerFailure(1, "Gone"));

        QVERIFY(f.db.DeleteServer(1));
        ServerRecord row;
        QVERIFY(!f.db.OpenServerRecord(1, row));
        QVERIFY(f.db.OpenServerRecord(2, row));
        int count = 0;
        QCOMPARE(f.db.CountNamedSensors(count), true);
        QCOMPARE(count, 1);
        QVERIFY(f.db.CountAlarms(count));
        QCOMPARE(count, 1);
        QList<ServerFailureRecord> failures;
        QVERIFY(f.db.ServerFailuresNewestFirst(failures, false));
        QCOMPARE(failures.size(), 1);
        QVERIFY(f.db.DeleteServer(99)); // nothing to delete is no failure
        QCOMPARE(f.t.prompts.texts, QStringList());

        OtherConnection other(f.path());
        QVERIFY(other.exec("DROP TABLE tblSensors"));
        QVERIFY(!f.db.DeleteServer(2));
        QCOMPARE(f.t.prompts.texts.size(), 1);
        QVERIFY(f.t.prompts.texts.first().startsWith("Error in DeleteServer is "));
        QVERIFY(f.db.OpenServerRecord(2, row)); // the transaction kept the device
    }

    void devicesComeInNameOrderWhateverTheCase()
    {
        DbFixture f;
        QList<ServerRecord> rows;
        int count = -1;
        QVERIFY(f.db.RecordServers(rows, count));
        QCOMPARE(count, 0);
        QVERIFY(!f.db.LoadServers(rows)); // no device to show
        for (const char *name : {"charlie", "Bravo", "alpha"})
            QVERIFY(f.db.AddServer(name, "", QString::fromLatin1(name), "", 1, "", "", -1));
        QVERIFY(f.db.LoadServers(rows));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).ServerName + rows.at(1).ServerName + rows.at(2).ServerName,
                 QStringLiteral("alphaBravocharlie"));
    }

    void deviceEditsChangeOnlyTheirRow()
    {
        DbFixture f;
        QVERIFY(f.db.AddServer("A", "RX705", "10.0.0.1", "", 1, "", "", -1));
        QVERIFY(f.db.AddServer("B", "RX720", "10.0.0.2", "", 1, "", "", -1));
        QVERIFY(f.db.UpdateServer(2, "B2", "RX740", "10.0.0.3", "notes", 0, "secret", "x@y.z,", 0));
        QVERIFY(f.db.EnableDisableServer(1, 0, 0));
        QVERIFY(f.db.UpdateServerEmail(1, "one@a.b,two@a.b,"));

        ServerRecord a, b;
        QVERIFY(f.db.OpenServerRecord(1, a));
        QVERIFY(f.db.OpenServerRecord(2, b));
        QCOMPARE(a.ServerName, QStringLiteral("A"));
        QCOMPARE(a.Enabled + a.Comm, QStringLiteral("00"));
        QCOMPARE(a.EmailAddress, QStringLiteral("one@a.b,two@a.b,"));
        QCOMPARE(b.ServerName + b.ServerModel + b.ServerIPAddress + b.ServerNotes + b.UserPassword +
                     b.EmailAddress,
                 QStringLiteral("B2RX74010.0.0.3notessecretx@y.z,"));
        QVERIFY(!f.db.OpenServerRecord(3, b));

        QVariant value;
        QVERIFY(f.db.GetFieldValue(2, "tblServers", "ServerIPAddress", value));
        QCOMPARE(value.toString(), QStringLiteral("10.0.0.3"));
        QVERIFY(!f.db.GetFieldValue(9, "tblServers", "ServerName", value));
        QCOMPARE(f.t.prompts.texts, QStringList());
    }

    // Table and column names cannot be bound, so they are checked against the file's own.
    void fieldLookupAcceptsOnlyRealNames_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::newRow("unknown table") << "tblNope"
                                       << "ServerName";
        QTest::newRow("unknown column") << "tblServers"
                                        << "Nope";
        QTest::newRow("statement in table") << "tblServers; DROP TABLE tblAlarms; --"
                                            << "ServerName";
        QTest::newRow("statement in column") << "tblServers"
                                             << "ServerName FROM tblServers; DROP TABLE tblAlarms; --";
        QTest::newRow("quoted column") << "tblServers"
                                       << "\"ServerName\"";
    }
    void fieldLookupAcceptsOnlyRealNames()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        DbFixture f;
        QVERIFY(f.db.AddServer("A", "", "1", "", 1, "", "", -1));
        QVariant value;
        QVERIFY(!f.db.GetFieldValue(1, table, column, value));
        QVERIFY(!value.isValid());
        OpenRecords open;
        QVERIFY(!f.db.RecordOpenAlarms(table, column, 1, "AlarmEnd", open));
        QCOMPARE(f.t.errors.lines().size(), 1);
        QVERIFY(f.t.errors.lines().first().startsWith("Error RecordOpenAlarms|"));
        OtherConnection other(f.path());
        QCOMPARE(other.scalar("SELECT COUNT(*) FROM sqlite_master WHERE name = 'tblAlarms'").toInt(), 1);
    }

    void saveSensorKeepsTheTypeOfAnExistingPort()
    {
        DbFixture f;
        QVERIFY(!f.db.SensorExists(4, 1));
        QString notes = "stale";
        QVERIFY(f.db.GetSensorNotes(4, 1, notes));
        QVERIFY(notes.isEmpty());

        QVERIFY(f.db.SaveSensor(4, "Freezer", 1, "left door", "temperature", "10", "-5.5", "30"));
        QVERIFY(f.db.SaveSensor(4, "Freezer 2", 1, "right door", "door", ".5", "", "abc"));
        QVERIFY(f.db.SensorExists(4, 1));
        QVERIFY(f.db.GetSensorNotes(4, 1, notes));
        QCOMPARE(notes, QStringLiteral("right door"));

        QList<SensorRecord> rows;
        int count = 0;
        QVERIFY(f.db.RecordSensors(4, rows, count));
        QCOMPARE(count, 1);
        const SensorRecord &s = rows.first();
        QCOMPARE(s.SensorName, QStringLiteral("Freezer 2"));
        QCOMPARE(s.SensorType, QStringLiteral("temperature"));
        QCOMPARE(s.PortNum, 1);
        QCOMPARE(s.UpperLimit.value_or(0), 0.5);
        QVERIFY(!s.LowerLimit.has_value()); // blank text: no limit
        QVERIFY(!s.TOL.has_value());        // not a number: no limit
        QCOMPARE(f.t.prompts.texts, QStringList());
    }

    void namedSensorsInPortOrder()
    {
        DbFixture f;
        int count = -1;
        QList<SensorRecord> rows;
        QVERIFY(!f.db.CountNamedSensors(count));
        QCOMPARE(count, 0);
        QVERIFY(!f.db.RecordSensors(1, rows, count));
        QVERIFY(f.db.lastError().isEmpty()); // empty, not failed

        QVERIFY(f.db.SaveSensor(1, "Third", 7, "", "", "", "", ""));
        QVERIFY(f.db.SaveSensor(1, "", 3, "", "", "", "", "")); // unused port
        QVERIFY(f.db.SaveSensor(1, "First", 0, "", "", "", "", ""));
        QVERIFY(f.db.SaveSensor(2, "Other device", 0, "", "", "", "", ""));
        QVERIFY(f.db.RecordSensors(1, rows, count));
        QCOMPARE(count, 2);
        QCOMPARE(rows.at(0).SensorName + rows.at(1).SensorName, QStringLiteral("FirstThird"));
        QVERIFY(f.db.CountNamedSensors(count));
        QCOMPARE(count, 3);
        QCOMPARE(f.t.errors.lines(), QStringList());
    }

    // Values are bound, never pasted into the statement: every text comes back as it went in.
    void textsAreStoredUnchanged_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quote") << "Bob's freezer";
        QTest::newRow("quotes") << "'' \"double\" '";
        QTest::newRow("statement") << "x', 'y'); DROP TABLE tblServers; --";
        QTest::newRow("percent and underscore") << "100% _humid_ %s %1";
        QTest::newRow("backslash") << "C:\\data\\new\\ \\'";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Kühlraum °C Größe € 冷凍庫 😀");
        QTest::newRow("line breaks") << "first\rsecond\r\nthird\n";
        QTest::newRow("5000 characters") << QString(4999, QLatin1Char('x')) + QLatin1Char('\'');
    }
    void textsAreStoredUnchanged()
    {
        QFETCH(QString, text);
        DbFixture f;
        QVERIFY(f.db.AddServer(text, text, "10.0.0.1", text, 1, text, text, -1));
        QVERIFY(f.db.AddServer("second", "", text, "", 1, "", "", -1));
        QVERIFY(!f.db.AddServer("third", "", text, "", 1, "", "", -1)); // same address, however odd
        QVERIFY(f.db.SaveSensor(1, text, 0, text, text, "", "", ""));
        QVERIFY(f.db.AddAlarmRecord(1, f.t.clock.now(), text, text, text, 3, -1));
        QVERIFY(f.db.UpdateAlarmEmailSent(1, text, text));
        QVERIFY(f.db.SaveAlarmResolution(1, text));
        QVERIFY(f.db.AddError(text, text));
        QVERIFY(f.db.AddBackupFileError(text));
        QVERIFY(f.db.AddServerFailure(1, text));

        ServerRecord server;
        QVERIFY(f.db.OpenServerRecord(1, server));
        for (const QString &value : {server.ServerName, server.ServerModel, server.ServerNotes,
                                     server.UserPassword, server.EmailAddress})
            QCOMPARE(value, text);
        QString holder;
        QVERIFY(!f.db.IsIPUnique(text, holder));
        QCOMPARE(holder, QStringLiteral("second"));
        QList<ServerRecord> servers;
        int count = 0;
        QVERIFY(f.db.RecordServers(servers, count));
        QCOMPARE(count, 2);

        QString notes;
        QVERIFY(f.db.GetSensorNotes(1, 0, notes));
        QCOMPARE(notes, text);
        QList<SensorRecord> sensors;
        QVERIFY(f.db.RecordSensors(1, sensors, count));
        QCOMPARE(sensors.first().SensorName, text);
        QCOMPARE(sensors.first().SensorType, text);

        QList<AlarmRecord> alarms;
        QVERIFY(f.db.AlarmsNewestFirst(alarms));
        const AlarmRecord &a = alarms.first();
        for (const QString &value :
             {a.Server, a.Sensor, a.CurrentData, a.EmailSent, a.CauseOfAlarm, a.Resolution})
            QCOMPARE(value, text);

        QList<ErrorRecord> errors;
        QVERIFY(f.db.ErrorsNewestFirst(errors));
        QCOMPARE(errors.first().myFunction, text);
        QCOMPARE(errors.first().Cause, text);

        QList<ServerFailureRecord> failures;
        QVERIFY(f.db.ServerFailuresNewestFirst(failures, false));
        QCOMPARE(failures.first().ServerName, text);

        QVariant value;
        QVERIFY(f.db.GetFieldValue(1, "tblLogFileBackup", "Error", value));
        QCOMPARE(value.toString(), text);
        QCOMPARE(f.t.prompts.texts, QStringList{kNotUnique});
        QCOMPARE(f.t.errors.lines(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDbDevices)
#include "tst_dbdevices.moc"
