// The report's figures from data files and database records with known values, through the CSV
// and through the PDF's text.
#include "support_reports.h"

#include <acquisition/SensorRange.h>
#include <core/DateTimeText.h>
#include <reports/ReportCsv.h>
#include <reports/ReportFormat.h>
#include <reports/ReportJob.h>
#include <reports/ReportPdf.h>

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

namespace {
QDateTime at(int month, int day, int hour, int minute = 0, int year = 2026)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

// What the test expects of one sensor's row.
struct Expected {
    QString min, max, mean;
    qint64 readings = 0;
    int hours = 0;
    qint64 alarmSeconds = 0;
    int alarms = 0;
};

QString percent(int hours, int periodHours)
{
    return QString::number(100.0 * hours / periodHours, 'f', 1);
}

QString meanText(double total, qint64 count)
{
    return QString::number(total / double(count), 'f', 2);
}
} // namespace

class TestReportBuilder : public QObject {
    Q_OBJECT

    std::unique_ptr<ReportFixture> f;
    // The March scenario: sensors, what they should show.
    qint64 kitchen = 0, lab = 0, freezer = 0, fridge = 0, door = 0, incubator = 0;
    QHash<QString, Expected> expected;
    const ReportPeriod march = MonthPeriod(QDate(2026, 3, 1));
    const QDateTime madeAt = at(4, 2, 9);

    void writeMarch();

private slots:
    void initTestCase() { UseCentralEuropeanTime(); }
    void init()
    {
        f = std::make_unique<ReportFixture>();
        expected.clear();
    }
    void cleanup() { f.reset(); }

    void periodsOfTheWindow();
    void everyFigureOfTheCsv();
    void csvTextsNeverBecomeFormulas();
    void everyFigureOfThePdf();
    void printedReadingsAreRoundedNotCut();
    void hoursOfMonthsWithClockChanges_data();
    void hoursOfMonthsWithClockChanges();
    void openAlarmCountsToNowWithinThisMonth();
    void chosenSensorsOnly();
    void rangesOfTheSameHoursAsTheReport();
    void hoursWrittenAgainAfterTheClockWasSetBack();
    void alarmTimeIsTheUnionOfOverlappingAlarms();
    void jobWritesItsOutputsAndReportsFailures();
    void cancelledJobWritesNothing();
};

void TestReportBuilder::writeMarch()
{
    kitchen = f->addDevice("Kitchen");
    lab = f->addDevice("Lab");
    freezer = f->addSensor(kitchen, 0, "Freezer");
    fridge = f->addSensor(kitchen, 1, "Fridge");
    door = f->addSensor(kitchen, 8, "Door");
    incubator = f->addSensor(lab, 0, "Incubator");
    f->writeHeader(freezer, "Kitchen", "Freezer", QStringLiteral("\u00B0F"));
    f->writeHeader(fridge, "Kitchen", "Fridge", QStringLiteral("\u00B0F"));
    f->writeHeader(incubator, "Lab", "Incubator", QStringLiteral("\u00B0C"));

    // Freezer: a long history before the month (read past, never counted), every hour of March
    // but one in a hundred, an hour of April after it.
    QList<HourlyStatisticsRecord> freezerHours;
    for (const QDateTime &h : RealHours(at(9, 1, 0, 0, 2025), at(2, 28, 23)))
        freezerHours.append(HourRecord(h, -50, 40, 0, 60));
    double total = 0;
    Expected &fz = expected["Freezer"];
    const QList<QDateTime> hours = RealHours(march.from, march.to);
    for (int i = 0; i < hours.size(); ++i) {
        if (i % 100 == 7)
            continue;
        const float low = -20.0f + float(i % 4);
        const HourlyStatisticsRecord r = HourRecord(hours[i], low, low + 2.0f, low + 1.0f, 60);
        freezerHours.append(r);
        total += double(r.total);
        fz.readings += 60;
        ++fz.hours;
    }
    freezerHours.append(HourRecord(at(4, 1, 0), -90, 99, 5, 60));
    f->appendHours(freezer, freezerHours);
    fz.min = "-20";
    fz.max = "-15";
    fz.mean = meanText(total, fz.readings);

    // Fridge: the first ten days only, a record that holds no readings and a torn record at the
    // end (being written while the report reads).
    QList<HourlyStatisticsRecord> fridgeHours;
    for (const QDateTime &h : RealHours(march.from, at(3, 11, 0)))
        fridgeHours.append(HourRecord(h, 3.5f, 5.25f, 4.25f, 30));
    HourlyStatisticsRecord empty = HourRecord(at(3, 11, 0), 1, 1, 1, 1);
    empty.count = 0;
    fridgeHours.append(empty);
    f->appendHours(fridge, fridgeHours);
    f->appendBytes(fridge, HourRecord(at(3, 11, 1), -100, 100, 0, 1).encode().left(20));
    expected["Fridge"] = {"3.5", "5.25", "4.25", 240 * 30, 240, 0, 0};

    // Incubator: three hours of data; alarms across the start, two overlapping ones, one still
    // open after the end; two that do not overlap the month.
    f->appendHours(incubator, {HourRecord(at(3, 10, 9), 36.5f, 37.5f, 37.0f, 60),
                               HourRecord(at(3, 10, 10), 37.0f, 39.5f, 38.0f, 60),
                               HourRecord(at(3, 10, 11), 36.0f, 37.0f, 36.5f, 60)});
    f->addAlarm(incubator, at(2, 28, 22), at(3, 1, 1, 30), "Lab", "Incubator", "Across the start",
                "3/1/2026 1:00:00 AM");
    f->addAlarm(incubator, at(3, 10, 10), at(3, 10, 10, 45), "Lab", "Incubator", "First\rof two", "",
                "Door closed");
    f->addAlarm(incubator, at(3, 10, 10, 30), at(3, 10, 11), "Lab", "Incubator", "Second of two");
    f->addAlarm(incubator, at(3, 31, 20), QDateTime(), "Lab", "Incubator", "Still open");
    f->addAlarm(incubator, at(2, 10, 8), at(2, 11, 8), "Lab", "Incubator", "In February");
    f->addAlarm(incubator, at(2, 27, 8), march.from, "Lab", "Incubator", "Ended as March began");
    expected["Incubator"] = {"36", "39.5", "37.17", 180, 3, (90 + 60 + 240) * 60, 4};

    f->addFailure(lab, "Lab", at(3, 31, 23), DateTimeText(at(4, 1, 1)), "3/31/2026 11:05:00 PM");
    f->addFailure(kitchen, "Kitchen", at(3, 5, 12), "False");
    f->addFailure(kitchen, "Kitchen", at(1, 5, 12), DateTimeText(at(1, 6, 12)));

    // A sensor no longer in the database whose files still hold March.
    f->writeHeader(999, "Old Shed", "Probe", QStringLiteral("\u00B0F"));
    f->appendHours(999, {HourRecord(at(3, 2, 5), 50, 52, 51, 10)});
    expected["Probe"] = {"50", "52", "51.00", 10, 1, 0, 0};
    expected["Door"] = {};
}

void TestReportBuilder::periodsOfTheWindow()
{
    const QDateTime now = at(3, 14, 10, 30);
    QCOMPARE(PeriodFor(PeriodChoice::Yesterday, now).text(), QString("3/13/2026 to 3/13/2026"));
    QCOMPARE(PeriodFor(PeriodChoice::Last7Days, now).text(), QString("3/7/2026 to 3/13/2026"));
    QCOMPARE(PeriodFor(PeriodChoice::LastMonth, now).hours(), 28 * 24);
    const ReportPeriod thisMonth = PeriodFor(PeriodChoice::ThisMonth, now);
    QCOMPARE(thisMonth.from, at(3, 1, 0));
    QCOMPARE(thisMonth.to, now);
    QCOMPARE(thisMonth.hours(), 13 * 24 + 11);
    const ReportPeriod range = PeriodFor(PeriodChoice::Range, now, QDate(2026, 3, 29), QDate(2026, 3, 29));
    QCOMPARE(range.hours(), 23); // the clocks go forward that night
    QVERIFY(!PeriodFor(PeriodChoice::Range, now, QDate(2026, 3, 2), QDate(2026, 3, 1)).isValid());
    QCOMPARE(MonthTitle(QDate(2026, 3, 9)), QString("March 2026"));
}

void TestReportBuilder::everyFigureOfTheCsv()
{
    writeMarch();
    Report report;
    QString error;
    QVERIFY2(BuildReport(f->request(march, madeAt), report, error), qPrintable(error));
    QCOMPARE(march.hours(), 743);

    const QByteArray csv = ReportCsv(report);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF\"Device\",\"Sensor\",\"Unit\",\"Minimum\""));
    QVERIFY(csv.contains("\r\n"));
    const QList<QStringList> rows = CsvRows(csv);
    QCOMPARE(rows.size(), 1 + 5);
    QCOMPARE(rows[0].size(), 13);
    // Devices by name, sensors by port; the removed sensor last.
    QStringList order;
    for (int i = 1; i < rows.size(); ++i)
        order.append(rows[i][1]);
    QCOMPARE(order, QStringList({"Freezer", "Fridge", "Door", "Incubator", "Probe"}));

    for (int i = 1; i < rows.size(); ++i) {
        const QStringList &row = rows[i];
        const Expected e = expected.value(row[1]);
        QCOMPARE(row[3], e.min);
        QCOMPARE(row[4], e.max);
        QCOMPARE(row[5], e.mean);
        QCOMPARE(row[6], QString::number(e.readings));
        QCOMPARE(row[7], QString::number(e.hours));
        QCOMPARE(row[8], QString("743"));
        QCOMPARE(row[9], percent(e.hours, 743));
        QCOMPARE(row[10], QString::number(e.alarmSeconds / 60.0, 'f', 1));
        QCOMPARE(row[11], QString::number(e.alarms));
    }
    QCOMPARE(rows[1][0], QString("Kitchen"));
    QCOMPARE(rows[1][2], QString("\u00B0F"));
    QCOMPARE(rows[3][12], QString("No data in this period"));
    QCOMPARE(rows[1][12], QString());
    QVERIFY(rows[5][12].contains("No longer in the sensor list"));
    QCOMPARE(rows[5][0], QString("Old Shed"));

    // The alarm list: by start, the parts inside the month, the open one to the month's end.
    QCOMPARE(report.alarms.size(), 4);
    QCOMPARE(report.alarms[0].cause, QString("Across the start"));
    QCOMPARE(report.alarms[0].secondsInPeriod, 90 * 60);
    QCOMPARE(report.alarms[1].secondsInPeriod, 45 * 60);
    QCOMPARE(report.alarms[1].resolution, QString("Door closed"));
    QCOMPARE(report.alarms[2].secondsInPeriod, 30 * 60);
    QCOMPARE(report.alarms[3].secondsInPeriod, 4 * 3600);
    QVERIFY(!report.alarms[3].end.isValid());
    // Failures: the open one counts to the month's end (a night with an hour less).
    QCOMPARE(report.failures.size(), 2);
    QCOMPARE(report.failures[0].device, QString("Kitchen"));
    QCOMPARE(report.failures[0].secondsInPeriod, at(3, 5, 12).secsTo(march.to));
    QCOMPARE(report.failures[0].secondsInPeriod, qint64(26 * 24 + 12 - 1) * 3600);
    QCOMPARE(report.failures[1].secondsInPeriod, 3600);
    QCOMPARE(report.failures[1].backOnLine, at(4, 1, 1));
    // The records left out are named.
    QVERIFY(report.problems.join("\n").contains("1 record(s)"));
}

// Names that a spreadsheet would take for formulas are written as text; numbers and names that
// only contain such signs further in are left as they are.
void TestReportBuilder::csvTextsNeverBecomeFormulas()
{
    Report report;
    report.period = MonthPeriod(QDate(2026, 3, 1));
    const QStringList names{
        "=HYPERLINK(\"http://x\")", "+Cold", "-Freezer", "@SUM(A1)", "-20.5", "Cold=room"};
    for (const QString &name : names) {
        SensorSummary sensor;
        sensor.device = name;
        sensor.sensor = QStringLiteral("\t=1+2");
        sensor.unit = QStringLiteral("\u00B0F");
        report.sensors.push_back(sensor);
    }
    const QList<QStringList> rows = CsvRows(ReportCsv(report));
    QStringList devices;
    for (int i = 1; i < rows.size(); ++i) {
        devices << rows[i][0];
        QCOMPARE(rows[i][1], QString("'=1+2"));
    }
    QCOMPARE(devices, QStringList({"'=HYPERLINK(\"http://x\")", "'+Cold", "'-Freezer", "'@SUM(A1)", "-20.5",
                                   "Cold=room"}));
}

void TestReportBuilder::everyFigureOfThePdf()
{
    writeMarch();
    Report report;
    QString error;
    QVERIFY2(BuildReport(f->request(march, madeAt), report, error), qPrintable(error));
    const QByteArray pdf = ReportPdf(report, error);
    QVERIFY2(pdf.startsWith("%PDF"), qPrintable(error));
    // TALLYPORT_REPORT_PDF=<file> keeps the document for a look at its pages.
    if (qEnvironmentVariableIsSet("TALLYPORT_REPORT_PDF")) {
        QFile kept(qEnvironmentVariable("TALLYPORT_REPORT_PDF"));
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write(pdf);
    }
    QString why;
    const QString text = PdfText(pdf, &why);
    if (text.isEmpty())
        QSKIP(qPrintable(why));

    QVERIFY(text.contains("Corner Pharmacy"));
    QVERIFY(text.contains("1 Main Street"));
    QVERIFY(text.contains("Springfield"));
    QVERIFY(text.contains("Phone: 555-0100"));
    QVERIFY(text.contains("Period: 3/1/2026 to 3/31/2026 (743 hours)"));
    QVERIFY(text.contains("Made: 4/2/2026 9:00:00 AM"));

    // Each sensor's row holds its figures in the order of the columns.
    for (const QString &sensor : {"Freezer", "Fridge", "Incubator", "Probe"}) {
        const Expected e = expected.value(sensor);
        const QString line = LineWith(text, " " + sensor + " ");
        QVERIFY2(!line.isEmpty(), qPrintable(sensor));
        const QStringList figures{e.min,
                                  e.max,
                                  e.mean,
                                  QString::number(e.readings),
                                  percent(e.hours, 743) + " %",
                                  QString::number(e.alarms)};
        qsizetype pos = line.indexOf(sensor);
        for (const QString &figure : figures) {
            const qsizetype next = line.indexOf(" " + figure, pos);
            QVERIFY2(next > pos, qPrintable(sensor + ": " + figure + " not in: " + line));
            pos = next + 1;
        }
    }
    QVERIFY(LineWith(text, " Incubator ").contains("6 h 30 min"));
    QVERIFY(LineWith(text, " Door ").contains("No data in this period"));
    QVERIFY(LineWith(text, " Door ").contains("0.0 %"));
    QVERIFY(text.contains("No longer in the sensor list"));

    // The alarm and failure lists.
    QVERIFY(LineWith(text, "2/28/2026 10:00:00 PM").contains("1 h 30 min"));
    QVERIFY(LineWith(text, "3/31/2026 8:00:00 PM").contains("open"));
    QVERIFY(LineWith(text, "3/31/2026 8:00:00 PM").contains("4 h 00 min"));
    QVERIFY(text.contains("Door closed"));
    QVERIFY(LineWith(text, "3/5/2026 12:00:00 PM").contains("still failing"));
    QVERIFY(LineWith(text, "3/31/2026 11:00:00 PM").contains("1 h 00 min"));
    QVERIFY(!text.contains("In February"));

    // "Page n of N" on every page.
    const int pages = int(text.count(QChar('\f')));
    QVERIFY(pages >= 2);
    for (int page = 1; page <= pages; ++page)
        QVERIFY2(text.contains(QString("Page %1 of %2").arg(page).arg(pages)),
                 qPrintable(QString::number(page)));
}

void TestReportBuilder::printedReadingsAreRoundedNotCut()
{
    // Device readings in tenths and hundredths print as they are; others to two decimals.
    QCOMPARE(ReportFormat::PrintedReading(-18.5f), QString("-18.5"));
    QCOMPARE(ReportFormat::PrintedReading(5.25f), QString("5.25"));
    QCOMPARE(ReportFormat::PrintedReading(40.0f), QString("40"));
    QCOMPARE(ReportFormat::PrintedReading(1.400806f), QString("1.4"));
    QCOMPARE(ReportFormat::PrintedReading(13.08093f), QString("13.08"));
    QCOMPARE(ReportFormat::PrintedReading(-0.004f), QString("0"));
    // The CSV keeps every digit.
    QCOMPARE(ReportFormat::Reading(1.400806f), QString("1.400806"));
}

void TestReportBuilder::hoursOfMonthsWithClockChanges_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("hours");
    QTest::newRow("March: an hour less") << 3 << 743;
    QTest::newRow("June") << 6 << 720;
    QTest::newRow("October: an hour more") << 10 << 745;
}

void TestReportBuilder::hoursOfMonthsWithClockChanges()
{
    QFETCH(int, month);
    QFETCH(int, hours);
    const qint64 device = f->addDevice("Cold room");
    const qint64 sensor = f->addSensor(device, 0, "Shelf");
    const ReportPeriod period = MonthPeriod(QDate(2026, month, 1));
    // One record per clock hour, as the statistics writer keeps them: the hour the clocks go
    // back through is one record holding both real hours.
    QList<HourlyStatisticsRecord> records;
    QSet<QString> labels;
    for (const QDateTime &h : RealHours(period.from, period.to)) {
        const QString label = h.toString("yyyyMMddhh");
        if (labels.contains(label)) {
            records.last().count += 60;
            records.last().total += 60;
            continue;
        }
        labels.insert(label);
        records.append(HourRecord(h, 1, 1, 1, 60));
    }
    f->appendHours(sensor, records);
    Report report;
    QString error;
    QVERIFY(BuildReport(f->request(period, period.to.addDays(1)), report, error));
    QCOMPARE(period.hours(), hours);
    const QStringList row = CsvRows(ReportCsv(report)).value(1);
    QCOMPARE(row[6], QString::number(qint64(hours) * 60));
    QCOMPARE(row[7], QString::number(hours));
    QCOMPARE(row[8], QString::number(hours));
    QCOMPARE(row[9], QString("100.0"));

    // A range of the month at hourly steps: a step per real hour and none empty (the hour the
    // clocks go back through shares its record's readings between its two real hours).
    const SensorRange range =
        ReadSensorRange(f->t.dir.path(), int(sensor), period.from, period.to, SensorRange::HourMs);
    QVERIFY(range.fromHours);
    QCOMPARE(int(range.steps.size()), hours);
    qint64 readings = 0;
    for (const SensorRangeStep &step : range.steps) {
        QVERIFY(step.count > 0);
        readings += step.count;
    }
    QCOMPARE(readings, qint64(hours) * 60);
}

void TestReportBuilder::openAlarmCountsToNowWithinThisMonth()
{
    const qint64 device = f->addDevice("Pharmacy");
    const qint64 sensor = f->addSensor(device, 0, "Vaccines");
    const QDateTime now = at(3, 14, 10, 30);
    f->addAlarm(sensor, at(3, 14, 9), QDateTime(), "Pharmacy", "Vaccines");
    f->addFailure(device, "Pharmacy", at(3, 14, 10), "False");
    Report report;
    QString error;
    QVERIFY(BuildReport(f->request(PeriodFor(PeriodChoice::ThisMonth, now), now), report, error));
    QCOMPARE(report.sensors.size(), 1);
    QCOMPARE(report.sensors[0].alarmSeconds, 90 * 60);
    QCOMPARE(report.sensors[0].alarmCount, 1);
    QVERIFY(!report.sensors[0].hasData());
    QCOMPARE(report.failures.value(0).secondsInPeriod, 30 * 60);
}

void TestReportBuilder::chosenSensorsOnly()
{
    writeMarch();
    ReportRequest request = f->request(march, madeAt);
    request.sensorIds = {fridge};
    Report report;
    QString error;
    QVERIFY(BuildReport(request, report, error));
    QCOMPARE(report.sensors.size(), 1);
    QCOMPARE(report.sensors[0].sensor, QString("Fridge"));
    QVERIFY(report.alarms.isEmpty());
    // The failures of the chosen sensors' devices only.
    QCOMPARE(report.failures.size(), 1);
    QCOMPARE(report.failures[0].device, QString("Kitchen"));
}

// The range reader on the report's files: the whole month in one step gives the report's figures;
// hourly steps show the hours without readings as gaps; six-hour steps add their hours up
// (the mean weighted by each hour's readings); a torn last record, a record of no readings and
// a sensor without files give no readings and no error.
void TestReportBuilder::rangesOfTheSameHoursAsTheReport()
{
    writeMarch();
    const QString dir = f->t.dir.path();
    const SensorRange month = ReadSensorRange(dir, int(freezer), march.from, march.to, 0, 1);
    QCOMPARE(month.steps.size(), size_t(1));
    const Expected &fz = expected["Freezer"];
    QCOMPARE(month.steps[0].count, fz.readings);
    QCOMPARE(month.steps[0].minimum, -20.0f);
    QCOMPARE(month.steps[0].maximum, -15.0f);
    QCOMPARE(QString::number(month.steps[0].mean, 'f', 2), fz.mean);

    const SensorRange hours = ReadSensorRange(dir, int(freezer), march.from, march.to, SensorRange::HourMs);
    QCOMPARE(hours.stepMs, SensorRange::HourMs);
    QCOMPARE(int(hours.steps.size()), march.hours());
    const QList<QDateTime> realHours = RealHours(march.from, march.to);
    for (int i = 0; i < int(hours.steps.size()); ++i) {
        const SensorRangeStep &step = hours.steps[size_t(i)];
        QCOMPARE(step.start, realHours[i].toMSecsSinceEpoch());
        QCOMPARE(step.count, i % 100 == 7 ? 0 : 60);
        if (step.count > 0)
            QCOMPARE(step.minimum, -20.0f + float(i % 4));
    }

    // Hours 6 to 11, hour 7 without readings: lows -18, -20, -19, -18, -17, each with 60 readings.
    const SensorRange sixHours =
        ReadSensorRange(dir, int(freezer), march.from, march.to, 6 * SensorRange::HourMs);
    QCOMPARE(int(sixHours.steps.size()), (march.hours() + 5) / 6);
    const SensorRangeStep &second = sixHours.steps[1];
    QCOMPARE(second.count, 5 * 60);
    QCOMPARE(second.minimum, -20.0f);
    QCOMPARE(second.maximum, -15.0f);
    QCOMPARE(second.mean, (-17.0 - 19.0 - 18.0 - 17.0 - 16.0) / 5);

    const SensorRange fridgeHours =
        ReadSensorRange(dir, int(fridge), march.from, march.to, SensorRange::HourMs);
    QVERIFY(fridgeHours.errors.isEmpty());
    for (int i = 0; i < int(fridgeHours.steps.size()); ++i)
        QCOMPARE(fridgeHours.steps[size_t(i)].count, i < 240 ? 30 : 0);

    // No files: steps without readings, from the hours and from the readings alike.
    for (const QDateTime &to : {march.to, march.from.addSecs(3600)}) {
        const SensorRange none = ReadSensorRange(dir, int(door), march.from, to);
        QVERIFY(none.errors.isEmpty());
        QVERIFY(!none.steps.empty());
        for (const SensorRangeStep &step : none.steps)
            QCOMPARE(step.count, 0);
    }
    QVERIFY(ReadSensorRange(dir, int(freezer), march.to, march.from).steps.empty());
}

// The clock set back by nineteen days after seven weeks of hours, then left to run for over a
// thousand hours more: the file's last chunk holds only hours written again, older than the span
// asked for, and the hours first written for that span lie before it. They are found, and each
// hour written twice counts once with the readings of both, in the report as in a range.
// Then a clock reset a year back for months and set right again.
void TestReportBuilder::hoursWrittenAgainAfterTheClockWasSetBack()
{
    const qint64 device = f->addDevice("Cold room");
    const qint64 sensor = f->addSensor(device, 0, "Shelf");
    QList<HourlyStatisticsRecord> records;
    for (const QDateTime &h : RealHours(at(1, 1, 0), at(2, 20, 0)))
        records.append(HourRecord(h, 1, 3, 2, 60));
    for (const QDateTime &h : RealHours(at(2, 1, 0), at(2, 1, 0).addSecs(1124 * 3600)))
        records.append(HourRecord(h, 0, 5, 4, 30));
    f->appendHours(sensor, records);

    const ReportPeriod week{at(2, 12, 0), at(2, 19, 0)};
    Report report;
    QString error;
    QVERIFY(BuildReport(f->request(week, at(4, 1, 0)), report, error));
    QCOMPARE(report.sensors.value(0).readings, qint64(7 * 24 * 90));
    QCOMPARE(report.sensors.value(0).hoursWithData, 7 * 24);

    const SensorRange range =
        ReadSensorRange(f->t.dir.path(), int(sensor), week.from, week.to, 24 * SensorRange::HourMs);
    QCOMPARE(range.steps.size(), size_t(7));
    for (const SensorRangeStep &day : range.steps) {
        QCOMPARE(day.count, 24 * 90);
        QCOMPARE(day.minimum, 0.0f);
        QCOMPARE(day.maximum, 5.0f);
        QCOMPARE(day.mean, (2.0 * 60 + 4.0 * 30) / 90);
    }

    // The clock reset a year back for three months, then set right: the hours of the week lie
    // before more than two chunks' worth of older hours, and are found all the same.
    const qint64 reset = f->addSensor(device, 1, "Door shelf");
    records.clear();
    for (const QDateTime &h : RealHours(at(1, 1, 0), at(3, 1, 0)))
        records.append(HourRecord(h, 1, 3, 2, 60));
    for (const QDateTime &h : RealHours(at(1, 1, 0, 0, 2025), at(4, 1, 0, 0, 2025)))
        records.append(HourRecord(h, 7, 9, 8, 60));
    for (const QDateTime &h : RealHours(at(3, 1, 0), at(3, 3, 0)))
        records.append(HourRecord(h, 7, 9, 8, 60));
    f->appendHours(reset, records);
    const SensorRange found =
        ReadSensorRange(f->t.dir.path(), int(reset), week.from, week.to, 24 * SensorRange::HourMs);
    QCOMPARE(found.steps.size(), size_t(7));
    for (const SensorRangeStep &day : found.steps) {
        QCOMPARE(day.count, 24 * 60);
        QCOMPARE(day.maximum, 3.0f);
    }
}

void TestReportBuilder::alarmTimeIsTheUnionOfOverlappingAlarms()
{
    using Span = QList<std::pair<QDateTime, QDateTime>>;
    const QDateTime from = at(3, 1, 0), to = at(3, 2, 0);
    QCOMPARE(SecondsCovered(Span{{at(3, 1, 1), at(3, 1, 3)}, {at(3, 1, 2), at(3, 1, 4)}}, from, to),
             3 * 3600);
    QCOMPARE(SecondsCovered(Span{{at(3, 1, 1), at(3, 1, 5)}, {at(3, 1, 2), at(3, 1, 3)}}, from, to),
             4 * 3600);
    QCOMPARE(SecondsCovered(Span{{at(2, 28, 23), at(3, 1, 1)}, {at(3, 1, 23), at(3, 2, 2)}}, from, to),
             2 * 3600);
    QCOMPARE(SecondsCovered(Span{{at(3, 1, 5), at(3, 1, 4)}}, from, to), 0); // an end before its start
}

void TestReportBuilder::jobWritesItsOutputsAndReportsFailures()
{
    writeMarch();
    ReportJob job;
    QSignalSpy finished(&job, &ReportJob::finished);
    QSignalSpy progress(&job, &ReportJob::progress);
    ReportOutputs outputs;
    outputs.pdfPath = f->t.path("march.pdf");
    outputs.csvPath = f->t.path("missing folder/march.csv");
    outputs.keepPdf = true;
    bool printedOnWorker = false;
    outputs.print = [&](const Report &report, QString &error) {
        printedOnWorker = QThread::currentThread() != qApp->thread() && report.sensors.size() == 5;
        error = "out of paper";
        return false;
    };
    QVERIFY(job.start(f->request(march, madeAt), outputs));
    QVERIFY(!job.start(f->request(march, madeAt), outputs)); // one at a time
    QVERIFY(finished.wait(30000));
    const ReportResult result = finished.first().first().value<ReportResult>();
    QVERIFY(result.built);
    QVERIFY(result.pdfSaved);
    QVERIFY(!result.csvSaved);
    QVERIFY(!result.printed);
    QVERIFY(printedOnWorker);
    QCOMPARE(result.failures.size(), 2);
    QVERIFY(result.failures[0].contains("does not exist"));
    QVERIFY(result.failures[1].contains("out of paper"));
    QVERIFY(result.pdf.startsWith("%PDF"));
    QFile saved(outputs.pdfPath);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), result.pdf);
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toInt(), 4);
    QVERIFY(!job.running());
}

void TestReportBuilder::cancelledJobWritesNothing()
{
    writeMarch();
    // A missing database is a failure of the whole report: nothing is written.
    ReportRequest broken = f->request(march, madeAt);
    broken.databasePath = f->t.path("gone.mdb");
    ReportOutputs outputs;
    outputs.pdfPath = f->t.path("never.pdf");
    ReportResult result = ReportJob::Make(broken, outputs);
    QVERIFY(!result.built);
    QVERIFY(result.error.contains("gone.mdb"));
    QVERIFY(!QFile::exists(outputs.pdfPath));

    std::atomic_bool cancel = true;
    result = ReportJob::Make(f->request(march, madeAt), outputs, {}, &cancel);
    QVERIFY(!result.built);
    QVERIFY(result.error.contains("cancelled"));
    QVERIFY(!QFile::exists(outputs.pdfPath));
}

QTEST_MAIN(TestReportBuilder)
#include "tst_reportbuilder.moc"
