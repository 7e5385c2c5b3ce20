// The monthly report of 200 sensors with one reading a minute: how long it takes to make the CSV
// and the PDF, and how much a poll cycle that runs meanwhile is delayed.
//
// The program directory holds 20 simulated RX700-10 devices with ten named sensors each, their
// hourly statistics files with a year of history before March 2026 and March itself aggregated
// from one reading a minute (60 readings an hour), two or three alarms per sensor in March and a
// few device failure episodes. Then:
//   - the report of March made three times as the Reports window's Export CSV makes it (read
//     everything, write the CSV) and three times as Save as PDF makes it (read, draw, write);
//   - poll cycles over the 20 devices on loopback, first alone, then while the monthly report
//     (read, draw, keep the PDF, save it) is made over and over on its worker thread.
//
//   bench_report [--sensors N] [--pdf FILE]
//     --sensors N: N sensors (10 per device; default 200)
//     --pdf FILE:  keep one of the PDFs made
// Run with QT_QPA_PLATFORM=offscreen. Prints figures; never passes or fails. The load average is
// printed with them: on a shared machine every figure stretches.
#include "BenchPlant.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRecords.h>
#include <core/DateTimeText.h>
#include <reports/ReportJob.h>

#include <support/CycleRun.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

using namespace bench;

namespace {
constexpr int ThirdOctet = 131;
constexpr int HistoryMonths = 12;
constexpr int Runs = 3;
constexpr int Cycles = 12;
const QDate kMonth(2026, 3, 1);

struct Options {
    int sensors = 200;
    QString pdf;
};

Options parse(const QStringList &args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sensors") && i + 1 < args.size())
            o.sensors = qMax(10, args[++i].toInt() / 10 * 10);
        else if (args[i] == QLatin1String("--pdf") && i + 1 < args.size())
            o.pdf = args[++i];
    }
    return o;
}

// A refrigerator's reading at a minute: a daily swing, the compressor's cycle and a door opened
// now and then.
float readingAt(int sensor, qint64 minute)
{
    const double base = 2.0 + sensor % 7;
    const double day = 1.2 * std::sin(minute * 2 * M_PI / 1440.0 + sensor);
    const double compressor = 0.4 * std::sin(minute * 2 * M_PI / 37.0 + sensor * 0.7);
    const double door = (minute + sensor * 131) % 997 < 6 ? 3.5 : 0.0;
    return float(base + day + compressor + door);
}

HourlyStatisticsRecord hourOf(int sensor, const QDateTime &start, qint64 firstMinute)
{
    HourlyStatisticsRecord r;
    r.startText = DateTimeText(start);
    for (int m = 0; m < 60; ++m) {
        const float v = readingAt(sensor, firstMinute + m);
        r.total += v;
        r.minimum = m == 0 ? v : std::min(r.minimum, v);
        r.maximum = m == 0 ? v : std::max(r.maximum, v);
    }
    r.count = 60;
    return r;
}

void writeSensorFiles(const QString &dir, int id, const QString &device, const QString &sensor)
{
    QFile header(SensorHeaderPath(dir, id));
    header.open(QIODevice::WriteOnly);
    header.write(SensorHeaderRecord{device, sensor, QString(QChar(0x00B0)) + QLatin1Char('C')}.encode());
    QByteArray bytes;
    const QDateTime from(kMonth.addMonths(-HistoryMonths), QTime(0, 0));
    const QDateTime to(kMonth.addMonths(1), QTime(0, 0));
    qint64 minute = 0;
    for (QDateTime t = from; t < to; t = t.addSecs(3600), minute += 60)
        bytes += hourOf(id, t, minute).encode();
    QFile statistics(SensorStatisticsPath(dir, id));
    statistics.open(QIODevice::WriteOnly);
    statistics.write(bytes);
}

// Alarms and failure episodes of March, written in one transaction.
void writeEvents(const QString &databasePath, int sensors)
{
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-events"));
        db.setDatabaseName(databasePath);
        db.open();
        db.transaction();
        QSqlQuery alarm(db);
        alarm.prepare(QStringLiteral("INSERT INTO tblAlarms (SensorIDNum, AlarmStart, AlarmEnd, AlarmActive, "
                                     "EmailSent, CauseOfAlarm, Server, Sensor, CurrentData, TOL, Resolution) "
                                     "VALUES (?, ?, ?, 0, ?, ?, ?, ?, '9.5', 15, ?)"));
        for (int s = 1; s <= sensors; ++s) {
            for (int a = 0; a < 2 + s % 2; ++a) {
                const QDateTime start(kMonth.addDays((s * 7 + a * 11) % 30), QTime((s + a * 5) % 24, 10));
                alarm.addBindValue(s);
                alarm.addBindValue(StoredDateTime(start));
                alarm.addBindValue(StoredDateTime(start.addSecs(60 * (20 + (s * a) % 90))));
                alarm.addBindValue(DateTimeText(start.addSecs(2)));
                alarm.addBindValue(
                    QStringLiteral("Sensor %1 is out of limits and is currently reading: 9.5 C "
                                   "and has been out of limits for: 15 minutes.")
                        .arg(s));
                alarm.addBindValue(
                    QStringLiteral("Device %1").arg((s - 1) / 10 + 1, 3, 10, QLatin1Char('0')));
                alarm.addBindValue(QStringLiteral("s%1").arg((s - 1) % 10));
                alarm.addBindValue(a == 0 ? QStringLiteral("Door left open; closed and checked.")
                                          : QString());
                alarm.exec();
            }
        }
        QSqlQuery failure(db);
        failure.prepare(QStringLiteral("INSERT INTO tblServerFailures (ServerName, ServerIDNum, OffLine, "
                                       "BackOnLine, EmailSent) VALUES (?, ?, ?, ?, 'False')"));
        for (int d = 1; d <= sensors / 10; d += 4) {
            const QDateTime off(kMonth.addDays(d), QTime(3, 0));
            failure.addBindValue(QStringLiteral("Device %1").arg(d, 3, 10, QLatin1Char('0')));
            failure.addBindValue(d);
            failure.addBindValue(StoredDateTime(off));
            failure.addBindValue(DateTimeText(off.addSecs(3600 * d)));
            failure.exec();
        }
        db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-events"));
}

ReportRequest marchRequest(const Engine &engine)
{
    ReportRequest request;
    request.dataDirectory = engine.state.programDirectory();
    request.databasePath = engine.state.programFile(QStringLiteral("wexa.mdb"));
    request.period = MonthPeriod(kMonth);
    request.now = engine.clock.now();
    request.heading = {QStringLiteral("Corner Pharmacy"), QStringLiteral("1 Main Street, Springfield"),
                       QStringLiteral("555-0100")};
    return request;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Makes the report `runs` times with these outputs; the times in milliseconds.
std::vector<double> timeReports(const ReportRequest &request, const ReportOutputs &outputs, int runs,
                                ReportResult &last)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        last = ReportJob::Make(request, outputs);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return times;
}

// Cycle times in milliseconds; with `report` set the monthly report is made over and over on its
// worker meanwhile.
std::vector<double> timeCycles(Engine &engine, bool report, int &reportsMade)
{
    ReportJob job;
    ReportOutputs outputs;
    outputs.pdfPath = engine.state.programFile(QStringLiteral("monthly.pdf"));
    outputs.keepPdf = true;
    const ReportRequest request = marchRequest(engine);
    QObject::connect(&job, &ReportJob::finished, [&](const ReportResult &) {
        ++reportsMade;
        job.start(request, outputs);
    });
    if (report)
        job.start(request, outputs);
    std::vector<double> times;
    for (int i = 0; i < Cycles; ++i) {
        engine.clock.advanceSeconds(60);
        QElapsedTimer timer;
        timer.start();
        RunCycleToItsEnd(engine.monitor->cycle);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents(); // the finished report is noticed and started again
    }
    QObject::disconnect(&job, nullptr, nullptr, nullptr);
    return times;
}

void printCycles(const char *what, const std::vector<double> &times)
{
    double sum = 0;
    for (double t : times)
        sum += t;
    std::printf("  %-34s mean %7.1f ms  median %7.1f ms  max %7.1f ms  (%zu cycles)\n", what,
                sum / double(times.size()), median(times), *std::max_element(times.begin(), times.end()),
                times.size());
}
} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const Options options = parse(app.arguments());
    const int devices = options.sensors / SensorsPerDevice;

    SimBank sims(ThirdOctet);
    Engine engine;
    engine.clock.set(QDateTime(QDate(2026, 4, 2), QTime(10, 0)));
    QString error;
    if (!sims.start(devices, error) || !engine.start(false, 1, error) ||
        !engine.addDevices(sims, devices, error)) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(error));
        return 1;
    }
    QElapsedTimer setup;
    setup.start();
    for (int id = 1; id <= options.sensors; ++id)
        writeSensorFiles(engine.state.programDirectory(), id,
                         QStringLiteral("Device %1").arg((id - 1) / 10 + 1, 3, 10, QLatin1Char('0')),
                         QStringLiteral("s%1").arg((id - 1) % 10));
    writeEvents(engine.state.programFile(QStringLiteral("wexa.mdb")), options.sensors);
    std::printf("bench_report: %d sensors, March 2026 (743 hours) after %d months of history; one reading a "
                "minute (hourly files of %lld records each, made in %lld ms)\n",
                options.sensors, HistoryMonths,
                (long long)(QFileInfo(SensorStatisticsPath(engine.state.programDirectory(), 1)).size() /
                            HourlyStatisticsRecord::Size),
                (long long)setup.elapsed());
    std::printf("load average before: %s\n\n", loadAverage().constData());

    const ReportRequest request = marchRequest(engine);
    ReportResult result;
    ReportOutputs csv;
    csv.csvPath = engine.state.programFile(QStringLiteral("march.csv"));
    const std::vector<double> csvTimes = timeReports(request, csv, Runs, result);
    if (!result.built || !result.csvSaved) {
        std::fprintf(stderr, "the CSV could not be made: %s\n",
                     qPrintable(result.error + result.failures.join(' ')));
        return 1;
    }
    const qsizetype alarms = result.report->alarms.size();
    ReportOutputs pdf;
    pdf.pdfPath = options.pdf.isEmpty() ? engine.state.programFile(QStringLiteral("march.pdf")) : options.pdf;
    const std::vector<double> pdfTimes = timeReports(request, pdf, Runs, result);
    if (!result.pdfSaved) {
        std::fprintf(stderr, "the PDF could not be made: %s\n", qPrintable(result.failures.join(' ')));
        return 1;
    }
    std::printf("Report of March (%lld sensors, %lld alarms, %lld device failures):\n",
                (long long)result.report->sensors.size(), (long long)alarms,
                (long long)result.report->failures.size());
    std::printf("  to CSV (read + write)              median %7.0f ms  (runs: %.0f, %.0f, %.0f)\n",
                median(csvTimes), csvTimes[0], csvTimes[1], csvTimes[2]);
    std::printf("  to PDF (read + draw + write)       median %7.0f ms  (runs: %.0f, %.0f, %.0f); %lld KB\n",
                median(pdfTimes), pdfTimes[0], pdfTimes[1], pdfTimes[2],
                (long long)(QFileInfo(pdf.pdfPath).size() / 1024));

    int made = 0;
    std::printf("\nPoll cycles over %d devices (%d sensors) on loopback:\n", devices, options.sensors);
    const std::vector<double> alone = timeCycles(engine, false, made);
    printCycles("alone", alone);
    const std::vector<double> during = timeCycles(engine, true, made);
    printCycles("while the monthly report is made", during);
    std::printf("  reports finished during those cycles: %d\n", made);
    std::printf("  delay of the mean cycle: %+.1f %%  (median %+.1f %%)\n",
                100.0 * (std::accumulate(during.begin(), during.end(), 0.0) /
                             std::accumulate(alone.begin(), alone.end(), 0.0) -
                         1.0),
                100.0 * (median(during) / median(alone) - 1.0));
    std::printf("load average after: %s\n", loadAverage().constData());
    return 0;
}
