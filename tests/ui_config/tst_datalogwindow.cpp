// The data log frame: downloading a device's log into the grid, the raw file, the reset question,
// a failed download and the export.
#include "support_treewindow.h"

#include <config/LogFiles.h>
#include <ui/config/DataLogFrame.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {
constexpr int Octet = 72;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A device with a log of `records` records, opened for editing.
SimDevice *openDeviceWithLog(TreeWindow &w, int records, int family = 5, int model = 5, int firmware = 23)
{
    SimDevice *device = w.addSim(family, model, firmware);
    device->setDeviceName("Cold room");
    device->setClock(QDateTime(QDate(2026, 3, 1), QTime(6, 0)));
    device->setUpdateRateMinutes(1);
    device->advance(records * 60);
    w.select(w.addRecord("Cold room", w.addressOf(device)));
    w.trigger("mnuEditServer");
    return device;
}
} // namespace

class TestDataLogWindow : public QObject {
    Q_OBJECT
private slots:
    void downloadShowsTheRecordsInTimeOrder()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDeviceWithLog(w, 400);
        QCOMPARE(w.find<QLineEdit>("txtNR")->text(), QStringLiteral("400"));
        // Two records out of order at the end of the log.
        QByteArray log = device->log();
        log.append(log.mid(0, 23));
        log.append(log.mid(23, 23));
        log[400 * 23 + 1] = char(0x45); // 5:01 AM: before all others
        device->setLog(log);
        QStringList progress;
        connect(&w.link, &DeviceLink::downloadProgress, [&] { progress.append(w.status()); });

        w.click("btnGetLogFile");
        QVERIFY(!w.statusRed());
        QVERIFY2(w.status().startsWith("Downloading log records from Cold room  Total bytes Received: "),
                 qPrintable(w.status()));
        // The count is read again just before the download: both late records are expected.
        QVERIFY(w.status().endsWith(" of 9246 bytes"));
        QCOMPARE(w.find<QLineEdit>("txtNR")->text(), QStringLiteral("402"));
        QVERIFY(!progress.isEmpty());
        const QAbstractItemModel *grid = w.find<QTableView>("gridLog")->model();
        QCOMPARE(grid->rowCount(), 402);
        QCOMPARE(grid->index(0, 0).data().toString(), QStringLiteral("401"));
        QCOMPARE(grid->index(0, 1).data().toString(), QStringLiteral("3/1/2026 5:01:00 AM"));
        QCOMPARE(grid->index(1, 0).data().toString(), QStringLiteral("1"));
        QCOMPARE(grid->index(1, 1).data().toString(), QStringLiteral("3/1/2026 6:01:00 AM"));
        QVERIFY(w.find<QTableView>("gridLog")->isColumnHidden(13));
        QVERIFY(w.find<QPushButton>("btnExportLog")->isVisible());
        QCOMPARE(readFile(w.t.path(RawLogFileName)), log);
        QCOMPARE(w.window->logBuffer(), log);

        // Export: numbered 1, 2, 3 in time order, whatever the download positions.
        const QString csv = w.t.path("out.csv");
        w.t.prompts.queueFileName(csv);
        w.click("btnExportLog");
        QCOMPARE(w.t.prompts.texts,
                 QStringList({"Export log file", "The file " + csv + " has been created"}));
        const QList<QByteArray> lines = readFile(csv).split('\n');
        QCOMPARE(lines.size(), 1 + 402 + 1);
        QVERIFY(lines.at(1).startsWith("1,\"3/1/2026 5:01:00 AM\","));
        QVERIFY(lines.at(2).startsWith("2,\"3/1/2026 6:01:00 AM\","));
        // A cancelled dialog shows nothing.
        w.t.prompts.texts.clear();
        w.t.prompts.queueFileName(QString());
        w.click("btnExportLog");
        QCOMPARE(w.t.prompts.texts, QStringList{"Export log file"});
        w.screenshot(QStringLiteral("tree-data-log"));

        // A file that cannot be made says why; one that could only be written in part says so.
        const QString nowhere = w.t.path("no/such/folder/out.csv");
        w.t.prompts.queueFileName(nowhere);
        w.click("btnExportLog");
        QVERIFY2(w.t.prompts.texts.last().startsWith("There was an error creating the log file " + nowhere +
                                                     ".  No log file has been created.  The error is "),
                 qPrintable(w.t.prompts.texts.last()));
        QVERIFY(!w.t.prompts.texts.last().endsWith("The error is "));
        if (QFile::exists("/dev/full")) {
            w.t.prompts.queueFileName("/dev/full");
            w.click("btnExportLog");
            QVERIFY2(
                w.t.prompts.texts.last().startsWith("There was an error writing the log file /dev/full."),
                qPrintable(w.t.prompts.texts.last()));
        }
    }

    void resetQuestion()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDeviceWithLog(w, 30, 3, 3, 5);
        auto *reset = w.find<QCheckBox>("chkCLF");
        reset->setChecked(true);
        w.t.prompts.queueAnswer(Prompts::Answer::No);
        QTimer::singleShot(
            0, [&] { QVERIFY(w.status().startsWith("7  Downloading log records from Cold room")); });
        w.click("btnGetLogFile");
        QCOMPARE(w.t.prompts.texts, QStringList{"Reset log pointer after download?"});
        QVERIFY(!reset->isChecked());
        QCOMPARE(device->logRecordCount(), 30);
        QVERIFY(device->lastCommand().startsWith(QByteArray::fromHex("DECADE0400")));

        reset->setChecked(true);
        w.t.prompts.queueAnswer(Prompts::Answer::Yes);
        w.click("btnGetLogFile");
        QVERIFY(device->lastCommand().startsWith(QByteArray::fromHex("DECADE0401")));
        QCOMPARE(device->logRecordCount(), 0);
        QCOMPARE(w.find<QTableView>("gridLog")->model()->rowCount(), 30);
    }

    // A part record at the end is not shown as a record; the status says how many bytes were left.
    void partRecordAtTheEnd()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDeviceWithLog(w, 2, 3, 3, 5);
        device->setLog(device->log() + QByteArray(6, '\x12'));
        w.find<QLineEdit>("txtNR")->setText("3"); // 33 bytes expected; 28 come before the device closes
        // The count is read again before the download; that read fails here, so 3 stands.
        device->setReplyOverride(QByteArray::fromHex("DECADE02"), QByteArray(60, 'x'), 1);
        w.click("btnGetLogFile");
        QVERIFY(w.statusRed());
        w.find<QLineEdit>("txtNR")->setText("2");
        w.click("btnGetLogFile"); // 22 bytes expected, 28 arrive
        QCOMPARE(w.find<QTableView>("gridLog")->model()->rowCount(), 2);
        QVERIFY2(w.status().endsWith(
                     ".  The last 6 bytes received do not make a whole record and were not decoded."),
                 qPrintable(w.status()));
        QCOMPARE(readFile(w.t.path(RawLogFileName)).size(), 28);
    }

    void failedDownload()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDeviceWithLog(w, 10);
        w.click("btnGetLogFile");
        QVERIFY(w.find<QPushButton>("btnExportLog")->isVisible());
        device->setFault(SimFault::Silent);
        QElapsedTimer clock;
        clock.start();
        w.click("btnGetLogFile");
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(w.status(), QStringLiteral("Failure while downloading log records from Cold room"));
        QVERIFY(w.statusRed());
        QCOMPARE(w.window->logBuffer(), QByteArray("Fail"));
        QVERIFY(!w.find<QPushButton>("btnExportLog")->isVisible());
        QVERIFY(!w.window->isBusy());
    }

    // The count is read again just before the download, and the device's records are taken until
    // it closes the connection: records logged since the window opened arrive whole, also when the
    // first piece already passes the old count, and Reset deletes only what arrived. A busy reply
    // is reported as busy and changes neither the grid nor the raw file.
    void aLogThatGrewArrivesWhole()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDeviceWithLog(w, 4);
        QCOMPARE(w.find<QLineEdit>("txtNR")->text(), QStringLiteral("4"));
        device->advance(2 * 60);
        QCOMPARE(device->logRecordCount(), 6);
        const QByteArray log = device->log();
        device->faultOptions().logPieceBytes = 4 * 23 + 5;
        w.find<QCheckBox>("chkCLF")->setChecked(true);
        w.t.prompts.queueAnswer(Prompts::Answer::Yes);
        w.click("btnGetLogFile");
        QVERIFY(!w.statusRed());
        QCOMPARE(w.find<QTableView>("gridLog")->model()->rowCount(), 6);
        QCOMPARE(w.window->logBuffer(), log);
        QCOMPARE(readFile(w.t.path(RawLogFileName)), log);
        QCOMPARE(device->logRecordCount(), 0);

        device->advance(60);
        w.find<QCheckBox>("chkCLF")->setChecked(false);
        device->setFault(SimFault::Busy, 2);
        w.click("btnGetLogFile");
        QCOMPARE(w.status(),
                 QStringLiteral("Cold room is currently on the phone.  Please wait and try again later."));
        QVERIFY(w.statusRed());
        QCOMPARE(w.find<QTableView>("gridLog")->model()->rowCount(), 6);
        QCOMPARE(readFile(w.t.path(RawLogFileName)), log);
        QVERIFY(!w.find<QPushButton>("btnExportLog")->isVisible());
        QCOMPARE(device->logRecordCount(), 1);

        // With the reset flag the download goes on past the counted records until the device ends
        // it, and the status line says what it waits for: records sent after a pause arrive.
        device->advance(2 * 60);
        w.find<QLineEdit>("txtNR")->setText("1"); // the count read before the download fails
        device->setReplyOverride(QByteArray::fromHex("DECADE02"), QByteArray(60, 'x'), 1);
        device->faultOptions().logPieceBytes = 23;
        device->faultOptions().logPieceDelayMs = 300;
        QStringList seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] { seen << w.status(); });
        watch.start(20);
        w.find<QCheckBox>("chkCLF")->setChecked(true);
        w.t.prompts.queueAnswer(Prompts::Answer::Yes);
        w.click("btnGetLogFile");
        watch.stop();
        QVERIFY(!w.statusRed());
        QCOMPARE(w.find<QTableView>("gridLog")->model()->rowCount(), 3);
        QCOMPARE(device->logRecordCount(), 0);
        QVERIFY2(!seen.filter("Total bytes Received: 23 of 23 bytes.  Waiting for Cold room to end the "
                              "download")
                      .isEmpty(),
                 qPrintable(seen.join('\n')));
    }

    // Closing the window ends a long download at once.
    void closingEndsTheDownload()
    {
        TreeWindow w(Octet);
        SimDevice *device = openDeviceWithLog(w, 10);
        device->faultOptions().dribbleIntervalMs = 100;
        device->setFault(SimFault::Dribble);
        QTimer::singleShot(400, [&] { w.window->reject(); });
        QElapsedTimer clock;
        clock.start();
        w.click("btnGetLogFile");
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!w.window->isVisible());
        QCOMPARE(w.t.prompts.texts, QStringList());
    }
};

QTEST_MAIN(TestDataLogWindow)
#include "tst_datalogwindow.moc"
