// tallyport --report from the command line: the real program, run without a display.
#include "support_reports.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {
const QString kProgram = QStringLiteral(TALLYPORT_BINARY_DIR "/bin/tallyport");

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display, and no platform chosen for it: the program must manage by itself.
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    process.setProcessEnvironment(env);
    process.start(kProgram, arguments);
    Run run;
    if (!process.waitForFinished(50000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QDateTime at(int month, int day, int hour)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, 0));
}
} // namespace

class TestReportCommand : public QObject {
    Q_OBJECT

    std::unique_ptr<ReportFixture> f;

    QString dir() const { return f->t.dir.path(); }

private slots:
    void initTestCase()
    {
        UseCentralEuropeanTime();
        if (!QFile::exists(kProgram))
            QSKIP("the tallyport program is not built (TALLYPORT_BUILD_UI off)");
    }
    void init();
    void cleanup() { f.reset(); }

    void writesTheReportAsked();
    void savesInTheReportsFolderByDefault();
    void refusesWhatItCannotDo_data();
    void refusesWhatItCannotDo();
};

void TestReportCommand::init()
{
    f = std::make_unique<ReportFixture>();
    const qint64 device = f->addDevice("Kitchen");
    const qint64 sensor = f->addSensor(device, 0, "Freezer");
    f->writeHeader(sensor, "Kitchen", "Freezer", QStringLiteral("\u00B0F"));
    f->appendHours(sensor, {HourRecord(at(3, 2, 10), -20, -18, -19, 60),
                            HourRecord(at(3, 2, 11), -19, -17.5f, -18, 60)});
    f->addAlarm(sensor, at(3, 2, 10), at(3, 2, 12), "Kitchen", "Freezer");
}

void TestReportCommand::writesTheReportAsked()
{
    const QString pdf = f->t.path("march.pdf");
    const QString csv = f->t.path("march.csv");
    const Run run = runProgram({"--report", "--from", "2026-03-01", "--to", "2026-03-31", "--pdf", pdf,
                                "--csv", csv, "--dir", dir()});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.out.contains("PDF written to"));
    QVERIFY(run.out.contains("CSV written to"));
    QVERIFY(run.out.contains("1 sensors, 1 alarms, 0 device failures from 3/1/2026 to 3/31/2026"));

    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QList<QStringList> rows = CsvRows(csvFile.readAll());
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1].mid(0, 12), QStringList({"Kitchen", "Freezer", "\u00B0F", "-20", "-17.5", "-18.50",
                                              "120", "2", "743", "0.3", "120.0", "1"}));
    QFile pdfFile(pdf);
    QVERIFY(pdfFile.open(QIODevice::ReadOnly));
    QString why;
    const QString text = PdfText(pdfFile.readAll(), &why);
    if (text.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY(text.contains("Period: 3/1/2026 to 3/31/2026 (743 hours)"));
    QVERIFY(LineWith(text, " Freezer ").contains("2 h 00 min"));
}

void TestReportCommand::savesInTheReportsFolderByDefault()
{
    const Run run = runProgram({"--report", "--from=2026-03-02", "--to=2026-03-02", "--dir", dir()});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(QFile::exists(f->t.path("Reports/Report 2026-03-02 to 2026-03-02.pdf")));
}

void TestReportCommand::refusesWhatItCannotDo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QStringList days{"--from", "2026-03-01", "--to", "2026-03-31"};
    QTest::newRow("no such day") << QStringList{"--from", "2026-02-30", "--to", "2026-03-31"} << 1
                                 << "--from \"2026-02-30\" is not a date of the form YYYY-MM-DD.";
    QTest::newRow("another form") << QStringList{"--from", "3/1/2026", "--to", "2026-03-31"} << 1
                                  << "is not a date";
    QTest::newRow("end before start") << QStringList{"--from", "2026-03-02", "--to", "2026-03-01"} << 1
                                      << "--to 2026-03-01 is before --from 2026-03-02.";
    QTest::newRow("no end") << QStringList{"--from", "2026-03-01"} << 1 << "--to is missing";
    QTest::newRow("unknown option") << (days + QStringList{"--pfd", "x.pdf"}) << 1 << "Unknown option 'pfd'";
    QTest::newRow("no such directory")
        << (days + QStringList{"--dir", "/nonexistent/tallyport"}) << 1 << "does not exist";
    QTest::newRow("no database") << (days + QStringList{"--dir", QDir::tempPath()}) << 1
                                 << "There is no wexa.mdb";
    QTest::newRow("folder missing") << (days + QStringList{"--pdf", "/nonexistent/report.pdf"}) << 1
                                    << "The folder of";
    QTest::newRow("a folder, not a file")
        << (days + QStringList{"--csv", QDir::tempPath()}) << 1 << "cannot be written";
}

void TestReportCommand::refusesWhatItCannotDo()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    if (!arguments.contains("--dir"))
        arguments << "--dir" << dir();
    const Run run = runProgram(QStringList{"--report"} + arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QVERIFY(!QDir(f->t.path("Reports")).exists());
}

QTEST_MAIN(TestReportCommand)
#include "tst_reportcommand.moc"
