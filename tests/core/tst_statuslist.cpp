#include <core/LocalWait.h>
#include <core/StatusList.h>
#include <core/StatusPrinter.h>

#include <support/TestState.h>

#include <QElapsedTimer>
#include <QTest>

class TestStatusList : public QObject {
    Q_OBJECT
private slots:
    void updateReplacesAppendsAndDeletes()
    {
        StatusList list;
        list.UpdateStatus("Communication with server A at IP address 1", ": OK");
        list.UpdateStatus("Update Rate ", "60 seconds");
        list.UpdateStatus("Communication with server A at IP address 1", ": FAILED");
        QCOMPARE(list.lines(), QStringList({"Communication with server A at IP address 1: FAILED",
                                            "Update Rate 60 seconds"}));
        list.UpdateStatus("Update Rate", "DeLeTe");
        QCOMPARE(list.lines().size(), 1);
        // Deleting a key that is not there changes nothing and adds nothing.
        list.UpdateStatus("missing", "delete");
        QCOMPARE(list.lines().size(), 1);
    }

    void firstMatchingLineWins()
    {
        StatusList list;
        list.UpdateStatus("Wexa.mdb is not present in the application directory.",
                          "  Tallyport requires this file.");
        list.UpdateStatus("Other", " line");
        // The key is a substring of the first line: that line is removed.
        list.UpdateStatus("Wexa.mdb is not present", "delete");
        QCOMPARE(list.lines(), QStringList({"Other line"}));
    }

    // The list remembers where keys are; after any mix of writes, deletes and keys inside other
    // lines it holds exactly what looking through the lines from the first gives.
    void rememberedRowsMatchLookingThroughTheLines()
    {
        const QStringList keys = {"Communication with server Dev at IP address 10.0.0.1",
                                  "Communication with server Dev at IP address 10.0.0.12",
                                  "10.0.0.1",
                                  "Connection ",
                                  "Communication Error",
                                  "Error",
                                  "Last download data at: ",
                                  "",
                                  "opened"};
        const QStringList values = {": OK", ": FAILED", "opened", "delete", "DELETE", " Error 5", "x"};
        QStringList expected;
        const auto reference = [&expected](const QString &key, const QString &value) {
            for (int row = 0; row < expected.size(); ++row) {
                if (!expected[row].contains(key))
                    continue;
                if (value.toLower() == QLatin1String("delete"))
                    expected.removeAt(row);
                else
                    expected[row] = key + value;
                return;
            }
            if (value.toLower() != QLatin1String("delete"))
                expected.append(key + value);
        };
        StatusList list;
        quint32 seed = 12345;
        const auto next = [&seed](int n) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 16) % quint32(n));
        };
        for (int step = 0; step < 5000; ++step) {
            const QString key = keys[next(int(keys.size()))];
            const QString value = values[next(int(values.size()))];
            list.UpdateStatus(key, value);
            reference(key, value);
            if (list.lines() != expected)
                QFAIL(qPrintable(QStringLiteral("step %1: %2 %3\n%4\nexpected\n%5")
                                     .arg(step)
                                     .arg(key, value, list.lines().join('\n'), expected.join('\n'))));
            if (step % 1000 == 999) {
                list.clear();
                expected.clear();
            }
        }
    }

    void waitEndsOnSignalTimeoutOrStop()
    {
        TestState t;
        {
            QTimer trigger;
            trigger.setSingleShot(true);
            LocalWait wait(&t.state);
            wait.endOn(&trigger, &QTimer::timeout);
            trigger.start(10);
            QCOMPARE(wait.run(5000), LocalWait::Outcome::Finished);
        }
        {
            LocalWait wait(&t.state);
            QCOMPARE(wait.run(20), LocalWait::Outcome::TimedOut);
        }
        {
            LocalWait wait(&t.state);
            QTimer::singleShot(10, &t.state, [&] { t.state.setMonitoringActive(false); });
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(wait.run(10000), LocalWait::Outcome::Stopped);
            QVERIFY(clock.elapsed() < 5000);
        }
        // Already stopped: returns at once.
        LocalWait wait(&t.state);
        QCOMPARE(wait.run(10000), LocalWait::Outcome::Stopped);
    }

    // The list as the headless program writes it out: with times, repeats kept quiet.
    void writesNewAndChangedLinesQuietensRepeats()
    {
        ManualClock clock(QDateTime(QDate(2026, 3, 14), QTime(10, 30, 0)));
        StatusList status;
        QString text;
        QTextStream out(&text);
        StatusPrinter printer(status, clock, out);
        const QString ok = QStringLiteral("Communication with server Kitchen at IP address 10.0.0.5: OK");
        const QString failed =
            QStringLiteral("Communication with server Kitchen at IP address 10.0.0.5: FAILED");

        status.UpdateStatus("Update Rate ", "60 seconds");
        status.UpdateStatus("Communication with server Kitchen at IP address 10.0.0.5", ": OK");
        QCOMPARE(text, "2026-03-14 10:30:00  Update Rate 60 seconds\n2026-03-14 10:30:00  " + ok + "\n");

        // The next cycles say the same: nothing new to write, until the line changes.
        text.clear();
        for (int cycle = 0; cycle < 5; ++cycle) {
            clock.advanceSeconds(60);
            status.UpdateStatus("Communication with server Kitchen at IP address 10.0.0.5", ": OK");
        }
        QVERIFY(text.isEmpty());
        status.UpdateStatus("Communication with server Kitchen at IP address 10.0.0.5", ": FAILED");
        QCOMPARE(text, "2026-03-14 10:35:00  " + failed + "\n");

        // A repeat is written again once it has been quiet for ten minutes.
        text.clear();
        clock.advanceSeconds(60 * StatusPrinter::RepeatQuietMinutes);
        status.UpdateStatus("Communication with server Kitchen at IP address 10.0.0.5", ": FAILED");
        QCOMPARE(text, "2026-03-14 10:45:00  " + failed + "\n");
        // Removing lines writes nothing; a line of the program's own is always written.
        text.clear();
        status.UpdateStatus("Update Rate ", "delete");
        QVERIFY(text.isEmpty());
        printer.print("Tallyport stopped");
        printer.print("Tallyport stopped");
        QCOMPARE(text.count("Tallyport stopped"), 2);

        // A line that changes back to what it said minutes ago is written, so the journal's last
        // word on each line is what the list shows; the steps a line goes through every cycle,
        // and the lines an activation writes again, stay quiet.
        text.clear();
        printer.setProgressKeys({"Connection "});
        const QString device = "Communication with server Shed at IP address 10.0.0.6";
        const auto cycle = [&](const QString &outcome) {
            clock.advanceSeconds(60);
            for (const char *step : {"opened", "closing connection", "closed"})
                status.UpdateStatus("Connection ", step);
            status.UpdateStatus(device, outcome);
        };
        status.UpdateStatus("MQTT: ", "connected to broker port 1883");
        cycle(": OK");
        status.UpdateStatus("MQTT: ", "not connected to broker port 1883: the connection was lost");
        cycle(": FAILED");
        status.UpdateStatus("MQTT: ", "not connected to broker port 1883: the connection was lost");
        cycle(": OK");
        status.UpdateStatus("MQTT: ", "connected to broker port 1883");
        cycle(": OK");
        QCOMPARE(text.count("MQTT: connected"), 2);
        QCOMPARE(text.count("MQTT: not connected"), 1);
        QCOMPARE(text.count(device + ": OK"), 2);
        QCOMPARE(text.count(device + ": FAILED"), 1);
        QCOMPARE(text.count("Connection closed"), 1);
        QVERIFY2(text.trimmed().endsWith("  MQTT: connected to broker port 1883"), qPrintable(text));

        // An activation writes every line again: nothing has changed.
        text.clear();
        status.clear();
        status.UpdateStatus("MQTT: ", "connected to broker port 1883");
        cycle(": OK");
        QVERIFY2(text.isEmpty(), qPrintable(text));
        // A line removed and back is news.
        status.UpdateStatus("MQTT: ", "delete");
        status.UpdateStatus("MQTT: ", "connected to broker port 1883");
        QCOMPARE(text.count("MQTT: connected"), 1);
    }
};

QTEST_GUILESS_MAIN(TestStatusList)
#include "tst_statuslist.moc"
