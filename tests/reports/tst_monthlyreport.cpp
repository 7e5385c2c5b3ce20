// The report that makes itself on the first of the month, through real poll cycles against a
// simulated device, with the clock moved by hand and a real SMTP server.
#include "support_reports.h"

#include "../monitoring/support_monitoring.h"

#include <acquisition/SensorDataFiles.h>
#include <core/IniFile.h>
#include <reports/MonthlyReport.h>

#include <support/CycleRun.h>
#include <support/OutboxSettle.h>

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
constexpr int Octet = 130;

QDateTime at(int month, int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, minute));
}

// The files attached to a received message: name -> decoded bytes.
QHash<QString, QByteArray> Attachments(const SmtpTestServer::Received &message)
{
    QHash<QString, QByteArray> files;
    const QByteArray data = message.data;
    const QRegularExpression boundaryRe(QStringLiteral("boundary=\"([^\"]+)\""));
    const QString boundary = boundaryRe.match(QString::fromLatin1(message.headers())).captured(1);
    if (boundary.isEmpty())
        return files;
    const QByteArray marker = "--" + boundary.toLatin1();
    QList<QByteArray> parts;
    for (qsizetype pos = data.indexOf(marker); pos >= 0;) {
        const qsizetype next = data.indexOf(marker, pos + marker.size());
        parts.append(data.mid(pos + marker.size(), next < 0 ? -1 : next - pos - marker.size()));
        pos = next;
    }
    for (const QByteArray &part : std::as_const(parts)) {
        const qsizetype blank = part.indexOf("\r\n\r\n");
        if (blank < 0 || !part.contains("Content-Disposition: attachment"))
            continue;
        const QRegularExpression nameRe(QStringLiteral("filename=\"([^\"]+)\""));
        const QString name = nameRe.match(QString::fromLatin1(part.left(blank))).captured(1);
        QByteArray base64 = part.mid(blank + 4);
        base64.replace("\r\n", "");
        files.insert(name, QByteArray::fromBase64(base64));
    }
    return files;
}
} // namespace

class TestMonthlyReport : public QObject {
    Q_OBJECT

    std::unique_ptr<MonitoringFixture> f;
    SimDevice *device = nullptr;

    MonthlyReport &monthly() { return f->monitor->monthlyReport; }
    // Runs a cycle at the given time and waits for any report it started.
    void cycleAt(const QDateTime &when);
    // A new run of the program in the same directory: Tallyport.ini read again.
    void restart();
    QString reportPath(int month) const
    {
        return f->t.path(QString("Reports/%1 2026.pdf").arg(QLocale::c().monthName(month)));
    }

private slots:
    void initTestCase() { UseCentralEuropeanTime(); }
    void init();
    void cleanup() { f.reset(); }

    void madeOnceOnTheFirstSavedAndEmailed();
    void mailServerDownTheReportWaitsInTheOutboxAcrossARestart();
    void notMadeAgainAfterARestart();
    void missedMonthsAreMadeAtTheNextCycle();
    void madeWhenNoDeviceAnsweredAtTheTime();
    void printedOnTheChosenPrinterOnly();
    void nothingWhenSwitchedOffNorForMonthsPassedWhileOff();
    void aRestartAfterAMissedReportTimeMakesTheOneMonthDue();
};

void TestMonthlyReport::init()
{
    f = std::make_unique<MonitoringFixture>(Octet);
    QString error;
    QVERIFY2(f->start(error), qPrintable(error));
    device = f->addDevice("Pharmacy", 5, 10, 24, {{0, "Vaccines", "temperature"}});
    QVERIFY(device);
    device->setReading(0, 40.5);
    ConfigRecord &c = f->t.state.Config;
    c.AutoPrintReport = "Yes";
    c.TimeToPrint = "8";
    c.AMPM = "AM";
    c.PrinterName = "No Printer Selected";
    c.OrgName = "Corner Pharmacy";
    // Every cycle reads the settings file again.
    QVERIFY(f->activation->configFile().SaveConfiguration());
    // February's report is made: this run starts with March.
    f->t.state.Ini.reports.lastMonthlyReport = "2026-02";
    QVERIFY(f->activation->iniFile().Save());
}

void TestMonthlyReport::cycleAt(const QDateTime &when)
{
    f->t.clock.set(when);
    if (!RunCycleToEnd(f->monitor->cycle))
        QFAIL("the poll cycle did not end within a minute");
    QTRY_VERIFY_WITH_TIMEOUT(!monthly().running(), 30000);
}

void TestMonthlyReport::restart()
{
    f->monitor.reset();
    f->activation.reset();
    f->pollTimer.reset();
    f->t.state.Ini = IniSettings();
    f->t.state.AutoPrintDone = false;
    f->pollTimer = std::make_unique<PollTimer>(f->t.state);
    f->activation = std::make_unique<Activation>(f->t.state, *f->pollTimer);
    QVERIFY(f->activation->cipher().InitCipher());
    f->monitor = std::make_unique<Monitor>(f->t.state, *f->activation, *f->pollTimer, f->timings);
    f->monitor->mail.SetUpMailManager();
    QVERIFY(f->activation->iniFile().Read());
}

void TestMonthlyReport::madeOnceOnTheFirstSavedAndEmailed()
{
    QSignalSpy finished(&monthly(), &MonthlyReport::reportFinished);
    // The last evening of March and the first minutes of April before the report time: nothing.
    cycleAt(at(3, 31, 20));
    cycleAt(at(4, 1, 7, 58));
    QCOMPARE(finished.size(), 0);
    QVERIFY(!QFile::exists(reportPath(3)));
    // A hand edit made while the program runs outlives the report's bookkeeping.
    {
        QSettings ini(f->activation->iniFile().path(), QSettings::IniFormat);
        ini.setValue("poll/parallel", 3);
    }

    cycleAt(at(4, 1, 8, 1));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toDate(), QDate(2026, 3, 1));
    QVERIFY(finished[0][1].toBool());
    QVERIFY(QFile::exists(reportPath(3)));
    QCOMPARE(f->t.state.Ini.reports.lastMonthlyReport, QString("2026-03"));
    {
        QSettings ini(f->activation->iniFile().path(), QSettings::IniFormat);
        QCOMPARE(ini.value("reports/lastMonthlyReport").toString(), QString("2026-03"));
        QCOMPARE(ini.value("poll/parallel").toInt(), 3);
    }
    QVERIFY(f->t.state.status().contains("Monthly report: March 2026 saved to"));

    // The PDF went to the administrator, attached whole.
    QVERIFY(f->smtp.waitForMessages(1, 30000));
    const SmtpTestServer::Received mail = f->smtp.messages().constLast();
    QCOMPARE(mail.recipients, QStringList{"admin@example.com"});
    QVERIFY(mail.header("Subject").contains("March 2026"));
    QVERIFY(mail.header("Content-Type").startsWith("multipart/mixed"));
    const QHash<QString, QByteArray> files = Attachments(mail);
    QCOMPARE(files.keys(), QStringList{"March 2026.pdf"});
    QFile saved(reportPath(3));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(files.value("March 2026.pdf"), saved.readAll());
    QString why;
    const QString text = PdfText(files.value("March 2026.pdf"), &why);
    if (text.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY(text.contains("Period: 3/1/2026 to 3/31/2026 (743 hours)"));
    QVERIFY(text.contains("Corner Pharmacy"));
    QVERIFY(LineWith(text, " Vaccines ").contains(" 40.5 "));

    // The rest of the day and of the month: not again.
    const int mails = int(f->smtp.messages().size());
    cycleAt(at(4, 1, 8, 2));
    cycleAt(at(4, 1, 9, 30));
    cycleAt(at(4, 20, 8, 1));
    QCOMPARE(finished.size(), 1);
    QTest::qWait(200);
    QCOMPARE(f->smtp.messages().size(), mails);
}

void TestMonthlyReport::mailServerDownTheReportWaitsInTheOutboxAcrossARestart()
{
    // Nothing listens at the mail address while the report is made.
    SmtpTestServer::Options later;
    later.host = QString("127.0.%1.250").arg(Octet);
    later.port = 2500 + Octet;
    ConfigRecord &c = f->t.state.Config;
    c.SMTPHost = later.host;
    c.SMTPPort = qint16(later.port);
    QVERIFY(f->activation->configFile().SaveConfiguration());
    f->monitor->mail.SetUpMailManager();

    cycleAt(at(4, 1, 8, 1));
    QVERIFY(QFile::exists(reportPath(3)));
    QVERIFY(SettleOutbox(f->monitor->outbox));
    QList<OutboxRow> rows;
    QVERIFY(f->monitor->database.WaitingOutboxMessages(rows));
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].Kind, QString("Report"));
    QCOMPARE(rows[0].Attempts, 1);
    QVERIFY(!rows[0].Attachments.isEmpty());
    QList<ErrorRecord> errors;
    QVERIFY(f->monitor->database.ErrorsNewestFirst(errors));
    QVERIFY(std::any_of(errors.cbegin(), errors.cend(),
                        [](const ErrorRecord &e) { return e.myFunction == "SendReportEmail"; }));

    // The program is stopped and started again; the server is back. The stored message goes out
    // once, with the PDF whole, and the report is not made again.
    restart();
    QSignalSpy finished(&monthly(), &MonthlyReport::reportFinished);
    SmtpTestServer server(later);
    QVERIFY2(server.start(), qPrintable(server.errorOutput()));
    cycleAt(at(4, 1, 9, 30));
    QVERIFY(SettleOutbox(f->monitor->outbox));
    QVERIFY(server.waitForMessages(1, 30000));
    QCOMPARE(finished.size(), 0);
    const QHash<QString, QByteArray> files = Attachments(server.messages().constFirst());
    QFile saved(reportPath(3));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(files.value("March 2026.pdf"), saved.readAll());
    QVERIFY(f->monitor->database.WaitingOutboxMessages(rows));
    QCOMPARE(rows.size(), 0);
    cycleAt(at(4, 1, 10, 30));
    QVERIFY(SettleOutbox(f->monitor->outbox));
    QTest::qWait(200);
    QCOMPARE(server.messages().size(), 1);
}

void TestMonthlyReport::notMadeAgainAfterARestart()
{
    cycleAt(at(4, 1, 8, 5));
    QVERIFY(QFile::exists(reportPath(3)));
    QVERIFY(QFile::remove(reportPath(3)));
    restart();
    QSignalSpy finished(&monthly(), &MonthlyReport::reportFinished);
    cycleAt(at(4, 1, 8, 30));
    cycleAt(at(4, 2, 8, 30));
    QCOMPARE(finished.size(), 0);
    QVERIFY(!QFile::exists(reportPath(3)));
    // May's first day brings April's.
    cycleAt(at(5, 1, 8, 0));
    QCOMPARE(finished.size(), 1);
    QVERIFY(QFile::exists(reportPath(4)));
}

void TestMonthlyReport::missedMonthsAreMadeAtTheNextCycle()
{
    // Not running on the first of April nor of May: started on May 3, both months are made,
    // oldest first, by the first cycle.
    restart();
    QSignalSpy finished(&monthly(), &MonthlyReport::reportFinished);
    f->t.clock.set(at(5, 3, 14));
    QVERIFY(RunCycleToEnd(f->monitor->cycle));
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 30000);
    QCOMPARE(finished[0][0].toDate(), QDate(2026, 3, 1));
    QCOMPARE(finished[1][0].toDate(), QDate(2026, 4, 1));
    QVERIFY(QFile::exists(reportPath(3)));
    QVERIFY(QFile::exists(reportPath(4)));
    QCOMPARE(f->t.state.Ini.reports.lastMonthlyReport, QString("2026-04"));
    QVERIFY(f->smtp.waitForMessages(2, 30000));
}

void TestMonthlyReport::madeWhenNoDeviceAnsweredAtTheTime()
{
    device->setFault(SimFault::Refused);
    QSignalSpy finished(&monthly(), &MonthlyReport::reportFinished);
    cycleAt(at(4, 1, 8, 1));
    QVERIFY(f->t.state.status().contains(": FAILED"));
    QCOMPARE(finished.size(), 1);
    QVERIFY(QFile::exists(reportPath(3)));
}

void TestMonthlyReport::printedOnTheChosenPrinterOnly()
{
    QStringList printedOn;
    monthly().print = [&printedOn](const Report &report, const QString &printer, QString &) {
        printedOn.append(printer + ": " + report.period.text());
        return true;
    };
    cycleAt(at(4, 1, 8, 1));
    QVERIFY(printedOn.isEmpty()); // "No Printer Selected"
    f->t.state.Config.PrinterName = "Office laser";
    QVERIFY(f->activation->configFile().SaveConfiguration());
    cycleAt(at(5, 1, 8, 1));
    QCOMPARE(printedOn, QStringList{"Office laser: 4/1/2026 to 4/30/2026"});
}

void TestMonthlyReport::nothingWhenSwitchedOffNorForMonthsPassedWhileOff()
{
    f->t.state.Config.AutoPrintReport = "No";
    QVERIFY(f->activation->configFile().SaveConfiguration());
    QSignalSpy finished(&monthly(), &MonthlyReport::reportFinished);
    cycleAt(at(4, 1, 8, 1));
    cycleAt(at(5, 1, 8, 1));
    QCOMPARE(finished.size(), 0);
    QVERIFY(!QDir(f->t.path("Reports")).exists());
    // While off the months passed are saved once a run, not every month.
    QCOMPARE(f->t.state.Ini.reports.lastMonthlyReport, QString("2026-04"));
    QCOMPARE(QSettings(f->activation->iniFile().path(), QSettings::IniFormat)
                 .value("reports/lastMonthlyReport")
                 .toString(),
             QString("2026-03"));

    // Switched on in May: March and April are not made; May's report comes on the first of June.
    f->t.state.Config.AutoPrintReport = "Yes";
    QVERIFY(f->activation->configFile().SaveConfiguration());
    cycleAt(at(5, 10, 8, 1));
    QCOMPARE(QSettings(f->activation->iniFile().path(), QSettings::IniFormat)
                 .value("reports/lastMonthlyReport")
                 .toString(),
             QString("2026-04"));
    cycleAt(at(5, 11, 8, 1));
    QCOMPARE(finished.size(), 0);
    cycleAt(at(6, 1, 8, 1));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toDate(), QDate(2026, 5, 1));
    QVERIFY(!QFile::exists(reportPath(3)) && !QFile::exists(reportPath(4)));
    QVERIFY(f->smtp.waitForMessages(1, 30000));
    QTest::qWait(200);
    QCOMPARE(f->smtp.messages().size(), 1);
}

void TestMonthlyReport::aRestartAfterAMissedReportTimeMakesTheOneMonthDue()
{
    // Off at March's report time; the next run, with the report on, starts after April's.
    f->t.state.Config.AutoPrintReport = "No";
    QVERIFY(f->activation->configFile().SaveConfiguration());
    cycleAt(at(4, 1, 8, 1));
    restart();
    f->t.state.Config.AutoPrintReport = "Yes";
    QVERIFY(f->activation->configFile().SaveConfiguration());
    QSignalSpy finished(&monthly(), &MonthlyReport::reportFinished);
    cycleAt(at(5, 3, 14));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished[0][0].toDate(), QDate(2026, 4, 1));
    QVERIFY(!QFile::exists(reportPath(3)));
    QCOMPARE(f->t.state.Ini.reports.lastMonthlyReport, QString("2026-04"));
}

QTEST_MAIN(TestMonthlyReport)
#include "tst_monthlyreport.moc"
