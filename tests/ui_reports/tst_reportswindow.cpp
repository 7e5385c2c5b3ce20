// The Reports window: opened from the menus while polling goes on, its period and sensor
// choices, and each of its outputs made on the worker thread.
#include "../reports/support_reports.h"

#include <alarms/MailManager.h>
#include <alarms/Outbox.h>
#include <core/IniFile.h>
#include <core/PollTimer.h>
#include <reports/MonthlyReport.h>
#include <support/Screenshot.h>
#include <ui/main/MainWindow.h>
#include <ui/reports/ReportWindows.h>
#include <ui/reports/ReportsWindow.h>
#include <ui/reports/SensorChoice.h>

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
template <typename T> T *control(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("control %s not found", name);
    return found;
}

QDateTime at(int month, int day, int hour)
{
    return QDateTime(QDate(2026, month, day), QTime(hour, 0));
}

void screenshot(QWidget &window, const QString &name)
{
    SaveScreenshot(window, name);
}

// Clicks a button of the window and waits for the report it starts.
ReportResult clickAndWait(ReportsWindow &window, const char *button)
{
    QSignalSpy done(&window, &ReportsWindow::reportDone);
    QTest::mouseClick(control<QPushButton>(window, button), Qt::LeftButton);
    if (!done.wait(30000))
        return {};
    return done.first().first().value<ReportResult>();
}
} // namespace

class TestReportsWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<ReportFixture> f;
    std::unique_ptr<ReportsWindow> window;
    qint64 freezer = 0, fridge = 0;

private slots:
    void initTestCase() { UseCentralEuropeanTime(); }
    void init();
    void cleanup();

    void opensFromTheMenuAndTheTrayWhilePollingGoesOn();
    void periodChoices();
    void sensorsAreAllChosenAtFirst();
    void savesPdfAndCsvOfTheChosenSensors();
    void printsOnThePrinterChosen();
    void previewShowsTheReport();
    void answersWhileTheReportIsMadeAndCloses();
};

void TestReportsWindow::init()
{
    f = std::make_unique<ReportFixture>();
    f->t.clock.set(at(4, 14, 10));
    f->t.state.Config.OrgName = "Corner Pharmacy";
    const qint64 kitchen = f->addDevice("Kitchen");
    freezer = f->addSensor(kitchen, 0, "Freezer");
    fridge = f->addSensor(kitchen, 1, "Fridge");
    const qint64 lab = f->addDevice("Lab");
    f->addSensor(lab, 0, "Incubator");
    f->appendHours(freezer, {HourRecord(at(3, 2, 10), -20, -18, -19, 60)});
    f->appendHours(fridge, {HourRecord(at(3, 2, 10), 3, 5, 4, 60)});
    window = std::make_unique<ReportsWindow>(f->t.state, f->db);
}

void TestReportsWindow::cleanup()
{
    window.reset();
    f.reset();
}

void TestReportsWindow::opensFromTheMenuAndTheTrayWhilePollingGoesOn()
{
    window.reset();
    QApplication::setApplicationName("Tallyport");
    {
        MainWindow main(f->t.state);
        MailManager mail(f->t.state);
        Outbox outbox(f->t.state, f->db, mail);
        IniFile ini(f->t.state);
        MonthlyReport monthly(f->t.state, outbox, ini);
        ReportWindows reports(f->t.state, main, f->db, monthly);
        QVERIFY(monthly.print);
        main.start();
        QTRY_VERIFY(f->t.state.MonitoringActive());
        main.pollTimer().StartPollTimer();
        main.findChild<QAction *>("mnuGenReport")->trigger();
        ReportsWindow *opened = reports.openWindow();
        QVERIFY(opened);
        QVERIFY(opened->isVisible());
        QVERIFY(!opened->isModal());
        QVERIFY(main.pollTimer().isRunning());
        QVERIFY(!f->t.state.ReinitOnActivate);
        // Asked for again, from the notification area: the same window.
        main.findChild<QAction *>("mpopCreateReports")->trigger();
        QCOMPARE(reports.openWindow(), opened);
        QCOMPARE(main.findChildren<ReportsWindow *>().size(), 1);
        // Never inside a poll cycle.
        opened->close();
        QTRY_VERIFY(!reports.openWindow());
        f->t.state.UpdateInProgress = true;
        main.findChild<QAction *>("mnuGenReport")->trigger();
        QVERIFY(!reports.openWindow());
        f->t.state.UpdateInProgress = false;
    }
}

void TestReportsWindow::periodChoices()
{
    QLabel *text = control<QLabel>(*window, "lblPeriod");
    QCOMPARE(text->text(), QString("3/1/2026 to 3/31/2026 (743 hours)")); // last month by default
    control<QRadioButton>(*window, "optYesterday")->click();
    QCOMPARE(text->text(), QString("4/13/2026 to 4/13/2026 (24 hours)"));
    control<QRadioButton>(*window, "optLast7Days")->click();
    QCOMPARE(text->text(), QString("4/7/2026 to 4/13/2026 (168 hours)"));
    control<QRadioButton>(*window, "optThisMonth")->click();
    QCOMPARE(window->period().to, at(4, 14, 10));
    QVERIFY(!control<QDateEdit>(*window, "dtpFrom")->isEnabled());

    control<QRadioButton>(*window, "optFromTo")->click();
    QVERIFY(control<QDateEdit>(*window, "dtpFrom")->isEnabled());
    control<QDateEdit>(*window, "dtpFrom")->setDate(QDate(2026, 3, 29));
    control<QDateEdit>(*window, "dtpTo")->setDate(QDate(2026, 3, 29));
    QCOMPARE(text->text(), QString("3/29/2026 to 3/29/2026 (23 hours)"));
    control<QDateEdit>(*window, "dtpTo")->setDate(QDate(2026, 3, 28));
    QCOMPARE(text->text(), QString("The last day is before the first."));
    QTest::mouseClick(control<QPushButton>(*window, "btnSavePdf"), Qt::LeftButton);
    QCOMPARE(f->t.prompts.texts.value(0), QString("The last day of the period is before the first."));
    QVERIFY(!window->busy());
}

void TestReportsWindow::sensorsAreAllChosenAtFirst()
{
    SensorChoice *tree = control<SensorChoice>(*window, "tvwSensors");
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("Kitchen"));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 2);
    QCOMPARE(tree->sensorCount(), 3);
    QVERIFY(tree->chosenSensors().isEmpty());               // all of them
    tree->topLevelItem(1)->setCheckState(0, Qt::Unchecked); // the whole of Lab
    QCOMPARE(tree->chosenSensors(), QList<qint64>({freezer, fridge}));
    QTest::mouseClick(control<QPushButton>(*window, "btnNone"), Qt::LeftButton);
    QVERIFY(!tree->anyChosen());
    f->t.prompts.queueFileName(f->t.path("none.pdf"));
    QTest::mouseClick(control<QPushButton>(*window, "btnSavePdf"), Qt::LeftButton);
    QCOMPARE(f->t.prompts.texts.value(0), QString("Choose at least one sensor."));
    QVERIFY(!QFile::exists(f->t.path("none.pdf")));
    QTest::mouseClick(control<QPushButton>(*window, "btnAll"), Qt::LeftButton);
    QVERIFY(tree->chosenSensors().isEmpty());
}

void TestReportsWindow::savesPdfAndCsvOfTheChosenSensors()
{
    SensorChoice *tree = control<SensorChoice>(*window, "tvwSensors");
    tree->topLevelItem(0)->child(1)->setCheckState(0, Qt::Unchecked); // not the fridge
    const QString pdf = f->t.path("report.pdf");
    f->t.prompts.queueFileName(pdf);
    ReportResult result = clickAndWait(*window, "btnSavePdf");
    QVERIFY(result.pdfSaved);
    QVERIFY(QFile::exists(pdf));
    QVERIFY(control<QLabel>(*window, "lblStatus")->text().startsWith("Saved to "));

    const QString csv = f->t.path("report.csv");
    f->t.prompts.queueFileName(csv);
    result = clickAndWait(*window, "btnExportCsv");
    QVERIFY(result.csvSaved);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QStringList> rows = CsvRows(file.readAll());
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[1].mid(1, 6), QStringList({"Freezer", "", "-20", "-18", "-19.00", "60"}));
    QCOMPARE(rows[2][1], QString("Incubator"));
    // The dialog suggested the Reports folder.
    QVERIFY(QDir(f->t.path("Reports")).exists());

    // Cancelled: nothing is made.
    f->t.prompts.queueFileName(QString());
    QTest::mouseClick(control<QPushButton>(*window, "btnSavePdf"), Qt::LeftButton);
    QVERIFY(!window->busy());

    // A file that cannot be written is said so.
    f->t.prompts.queueFileName(f->t.path("no folder/report.pdf"));
    result = clickAndWait(*window, "btnSavePdf");
    QVERIFY(!result.pdfSaved);
    QVERIFY(f->t.prompts.texts.last().contains("does not exist"));
}

void TestReportsWindow::printsOnThePrinterChosen()
{
    const QString printed = f->t.path("printed.pdf");
    window->choosePrinter = [printed](QWidget *) {
        auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(printed);
        return printer;
    };
    const ReportResult result = clickAndWait(*window, "btnPrint");
    QVERIFY(result.printed);
    QFile file(printed);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    QString why;
    const QString text = PdfText(bytes, &why);
    if (text.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY(text.contains("Period: 3/1/2026 to 3/31/2026 (743 hours)"));
    QVERIFY(text.contains("Corner Pharmacy"));
    // Cancelling the print dialog prints nothing.
    window->choosePrinter = [](QWidget *) { return std::shared_ptr<QPrinter>(); };
    QTest::mouseClick(control<QPushButton>(*window, "btnPrint"), Qt::LeftButton);
    QVERIFY(!window->busy());
}

void TestReportsWindow::previewShowsTheReport()
{
    window->show();
    const ReportResult result = clickAndWait(*window, "btnPreview");
    QVERIFY(result.built);
    auto *preview = window->findChild<QPrintPreviewDialog *>("frmReportPreview");
    QVERIFY(preview);
    QTRY_VERIFY(preview->isVisible());
    screenshot(*window, "reports-window");
    preview->resize(900, 1000);
    QTest::qWait(100);
    screenshot(*preview, "report-preview");
    preview->close();
    QTRY_VERIFY(!window->findChild<QPrintPreviewDialog *>("frmReportPreview"));
}

void TestReportsWindow::answersWhileTheReportIsMadeAndCloses()
{
    // Enough data that the report takes a moment: a month of every hour for 60 sensors.
    const qint64 big = f->addDevice("Warehouse");
    for (int port = 0; port < 10; ++port) {
        const qint64 sensor = f->addSensor(big, port, QString("Rack %1").arg(port));
        QList<HourlyStatisticsRecord> hours;
        for (const QDateTime &h : RealHours(at(3, 1, 0), at(4, 1, 0)))
            hours.append(HourRecord(h, 1, 3, 2, 60));
        f->appendHours(sensor, hours);
    }
    window.reset();
    window = std::make_unique<ReportsWindow>(f->t.state, f->db);
    f->t.prompts.queueFileName(f->t.path("busy.pdf"));
    QSignalSpy done(window.get(), &ReportsWindow::reportDone);
    QTest::mouseClick(control<QPushButton>(*window, "btnSavePdf"), Qt::LeftButton);
    QVERIFY(window->busy());
    QVERIFY(!control<QPushButton>(*window, "btnPrint")->isEnabled());
    // The window's thread is free: a timer runs while the report is made.
    bool ticked = false;
    QTimer::singleShot(0, [&ticked] { ticked = true; });
    QTRY_VERIFY(ticked);
    QVERIFY(done.wait(30000));
    QVERIFY(control<QPushButton>(*window, "btnPrint")->isEnabled());

    // Closed while a report is being made: it stops, nothing is left behind.
    f->t.prompts.queueFileName(f->t.path("closed.pdf"));
    QTest::mouseClick(control<QPushButton>(*window, "btnSavePdf"), Qt::LeftButton);
    QVERIFY(window->busy());
    QTest::mouseClick(control<QPushButton>(*window, "btnClose"), Qt::LeftButton);
    window.reset();
    QVERIFY(!QFile::exists(f->t.path("closed.pdf")));
}

QTEST_MAIN(TestReportsWindow)
#include "tst_reportswindow.moc"
