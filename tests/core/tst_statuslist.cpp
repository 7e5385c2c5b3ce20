#include <core/LocalWait.h>
#include <core/StatusList.h>

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
};

QTEST_GUILESS_MAIN(TestStatusList)
#include "tst_statuslist.moc"
