// Trending chart over a year of uptime: 200 sensors (20 devices) fed one point a minute for a
// simulated year (the points are added directly, with a fake clock), with the data files
// (instantaneous and hourly) written for the whole span first, as the program would have written
// them. At 7, 30 and 365 days it prints, side by side, the process's resident memory and what the
// chart's samples take, the time one cycle's points take to add and redraw with the whole run
// shown and to paint (with many series, the first slice of the redraw), how long the last cycle
// took until all its lines were drawn and the longest the window went unanswered meanwhile, and
// what the whole-run view read from the data files: when it is shown,
// and when it is shown again after the kept span next moved on (which happens every sixteenth of
// keepHours). Then it shows a week from a year ago, read from the data files, and prints how long
// that took and the longest the window went unanswered meanwhile (the longest gap between the
// ticks of a 10 ms timer on the window's thread). Last, the memory of the kept span at the
// largest historyHours (744) and a 10 s update rate. Run with QT_QPA_PLATFORM=offscreen.
//
//   bench_trend [devices, default 20] [--days D, default 365]
// Ten sensors a device. --days makes the run shorter (checkpoints up to D days, and one at D),
// for thousands of devices, whose year of files would not fit a disk; a run no longer than the
// kept span and a week leaves out the week read from the files and the largest kept span.
#include "BenchMemory.h"
#include "BenchPrompts.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRecords.h>
#include <acquisition/TrendData.h>
#include <acquisition/TrendFeed.h>
#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ErrorLog.h>
#include <core/EventLoopChoice.h>
#include <core/ProgramState.h>
#include <core/StatusList.h>
#include <ui/main/TrendChartView.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCharts/QCategoryAxis>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

namespace {
// Ten sensors a device, 20 devices unless told otherwise.
int g_sensors = 200;
constexpr int kOlderDays = 7;
constexpr int kCycles = 20;
constexpr qint64 kMinuteMs = 60 * 1000;

QString degreeF()
{
    return QString(QChar(0x00B0)) + QLatin1Char('F');
}

float readingAt(int sensor, qint64 minute)
{
    return float(30 + sensor % 40 + 5 * std::sin(double(minute) / 90.0 + sensor));
}

// One reading a minute for every sensor for `days` from `start`, written as the program writes
// them: an instantaneous file per sensor and month, and the hourly statistics file per sensor.
void writeFiles(const QString &dir, const QDateTime &start, int days)
{
    const int minutes = days * 24 * 60;
    // The time texts, encoded once; an hour's record starts at the first minute of its clock hour.
    QByteArray texts;
    texts.reserve(qsizetype(minutes) * InstantaneousRecord::TimeWidth);
    std::vector<int> hourStarts;
    std::vector<QDate> months;
    std::vector<int> monthStarts;
    qint64 lastHour = -1;
    for (int m = 0; m < minutes; ++m) {
        const QDateTime when = start.addSecs(60LL * m);
        texts += InstantaneousRecord{DateTimeText(when), 0}.encode().left(InstantaneousRecord::TimeWidth);
        const qint64 hour = when.date().toJulianDay() * 24 + when.time().hour();
        if (hour != lastHour)
            hourStarts.push_back(m);
        lastHour = hour;
        if (months.empty() || months.back().month() != when.date().month()) {
            months.push_back(QDate(when.date().year(), when.date().month(), 1));
            monthStarts.push_back(m);
        }
    }
    hourStarts.push_back(minutes);
    monthStarts.push_back(minutes);
    const auto write = [](const QString &path, const QByteArray &bytes) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::printf("could not write %s\n", qPrintable(path));
    };
    QByteArray bytes;
    for (int s = 0; s < g_sensors; ++s) {
        const int id = s + 1;
        for (size_t k = 0; k + 1 < monthStarts.size(); ++k) {
            bytes.clear();
            for (int m = monthStarts[k]; m < monthStarts[k + 1]; ++m) {
                bytes.append(texts.constData() + qsizetype(m) * InstantaneousRecord::TimeWidth,
                             InstantaneousRecord::TimeWidth);
                char value[4];
                qToLittleEndian(std::bit_cast<quint32>(readingAt(s, m)), value);
                bytes.append(value, 4);
            }
            write(SensorInstantaneousPath(dir, id, months[k]), bytes);
        }
        bytes.clear();
        for (size_t h = 0; h + 1 < hourStarts.size(); ++h) {
            const int first = hourStarts[h];
            const QString text = QString::fromLatin1(
                texts.mid(qsizetype(first) * InstantaneousRecord::TimeWidth, InstantaneousRecord::TimeWidth)
                    .trimmed());
            HourlyStatisticsRecord record = HourlyStatisticsRecord::first(text, readingAt(s, first));
            for (int m = first + 1; m < hourStarts[h + 1]; ++m)
                record.add(readingAt(s, m));
            bytes += record.encode();
        }
        write(SensorStatisticsPath(dir, id), bytes);
    }
}

// Bytes the process has read from files so far (Linux); -1 elsewhere.
qint64 bytesRead()
{
    QFile file(QStringLiteral("/proc/self/io"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

// The longest wait between the ticks of a 10 ms timer: how long the window could not answer.
class Responsiveness {
public:
    Responsiveness()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = m_clock.nsecsElapsed() / 1e6;
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.start();
    }
    double longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
    double m_longest = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double maximum(const std::vector<double> &values)
{
    return *std::max_element(values.begin(), values.end());
}

// The grid the chart takes its series from: one °F row per sensor.
void fillGrid(QStandardItemModel &grid)
{
    for (int s = 0; s < g_sensors; ++s) {
        const QString id = QString::number(s + 1);
        grid.setItem(s, 0, new QStandardItem(QStringLiteral("Device %1").arg(s / 10 + 1)));
        grid.setItem(s, 1, new QStandardItem(QStringLiteral("Sensor %1").arg(id)));
        grid.setItem(s, 3, new QStandardItem(degreeF()));
        grid.setItem(s, 5, new QStandardItem(id));
    }
}

// Feeds the chart one point a minute from minute `from` to minute `to` after `start`.
void feed(TrendData &data, qint64 start, qint64 from, qint64 to, qint64 stepMs = kMinuteMs)
{
    std::vector<float> values(g_sensors);
    for (qint64 m = from; m < to; ++m) {
        for (int s = 0; s < g_sensors; ++s)
            values[size_t(s)] = readingAt(s, m);
        data.AddPoint(start + m * stepMs, values);
    }
}

// What showing the chart read from the data files, and how long until it was all read.
struct FileReads {
    double megabytes = 0;
    double ms = 0;
};

// Shows the chart with the whole run and waits until what it asked of the data files is read
// and its lines are drawn.
FileReads showWholeRun(TrendChartView &view, TrendFeed &trendFeed)
{
    const qint64 before = bytesRead();
    QElapsedTimer timer;
    timer.start();
    view.show();
    QCoreApplication::processEvents();
    while ((trendFeed.historyLoading() || view.redrawing()) && timer.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    return {double(bytesRead() - before) / 1e6, timer.nsecsElapsed() / 1e6};
}

struct Checkpoint {
    int days = 0;
    FileReads shown, afterDrop;
    long residentKb = 0;
    double chartMb = 0;
    int points = 0;
    double addRedrawMedian = 0, addRedrawMax = 0, paintMedian = 0, paintMax = 0;
    double wholeRedrawMs = 0, wholeRedrawGapMs = 0;
    int drawnPoints = 0;
};

// One cycle after another with the whole run shown: the points added and the chart redrawn,
// then painted.
Checkpoint measureCycles(TrendData &data, TrendChartView &view, qint64 start, qint64 minute)
{
    Checkpoint point;
    std::vector<double> addRedraw, paint;
    QElapsedTimer timer;
    for (int c = 0; c < kCycles; ++c) {
        timer.start();
        feed(data, start, minute + c, minute + c + 1);
        addRedraw.push_back(timer.nsecsElapsed() / 1e6);
        timer.restart();
        const QPixmap picture = view.grab();
        paint.push_back(timer.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    // Many series are reduced and drawn in slices over turns of the event loop: the last cycle
    // until its lines are all drawn, and the longest the window went unanswered meanwhile.
    Responsiveness responsiveness;
    responsiveness.start();
    timer.restart();
    while (view.redrawing() && timer.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    point.wholeRedrawMs = timer.nsecsElapsed() / 1e6;
    point.wholeRedrawGapMs = responsiveness.longestMs();
    point.addRedrawMedian = median(addRedraw);
    point.addRedrawMax = maximum(addRedraw);
    point.paintMedian = median(paint);
    point.paintMax = maximum(paint);
    point.drawnPoints = view.shownPointCount();
    point.points = data.pointCount();
    point.chartMb = double(data.memoryBytes()) / 1e6;
    point.residentKb = statusKb("VmRSS");
    return point;
}

// Shows [from, to], which lies before what the chart keeps, and waits until every series has
// been read from the files and drawn.
void showOlderWeek(TrendData &data, TrendChartView &view, qint64 from, qint64 to)
{
    view.show();
    Responsiveness responsiveness;
    QElapsedTimer timer;
    responsiveness.start();
    timer.start();
    view.timeAxis()->setRange(double(from), double(to));
    const auto allDrawn = [&] {
        for (int i = 0; i < g_sensors; ++i)
            if (data.series(i).older.times.empty() || !view.trace(i).hasValue)
                return false;
        return true;
    };
    while (!allDrawn() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QPixmap picture = view.grab();
    std::printf("a week from a year ago, read from the files: shown in %.0f ms; longest the window "
                "went unanswered %.0f ms; %d points drawn, %.1f MB held for it\n",
                timer.nsecsElapsed() / 1e6, responsiveness.longestMs(), view.shownPointCount(),
                double(data.memoryBytes()) / 1e6);
    if (!qEnvironmentVariableIsEmpty("BENCH_TREND_PICTURE"))
        picture.save(qEnvironmentVariable("BENCH_TREND_PICTURE"));
}

// The kept span at the largest historyHours and a 10 s update rate: its memory, measured.
void largestKeptSpan(QStandardItemModel &grid, qint64 start)
{
    ManualClock clock(QDateTime::fromMSecsSinceEpoch(start));
    TrendData data(clock);
    data.setModel(&grid);
    data.Build();
    const int hours = 31 * 24;
    data.setKeepMs(hours * 3600LL * 1000);
    const long before = statusKb("VmRSS");
    // Past the first drop, as after any longer run.
    feed(data, start, 0, qint64(hours) * 360 * 9 / 8, 10 * 1000);
    // Drawn once, so the coarser copies are made.
    for (int i = 0; i < data.seriesCount(); ++i)
        data.drawSamples(i, start, start + hours * 3600LL * 1000, 1000);
    std::printf("kept span at historyHours 744 and a 10 s update rate: %d points per sensor, chart "
                "samples %.0f MB, resident memory grew %.0f MB\n",
                data.pointCount(), double(data.memoryBytes()) / 1e6,
                double(statusKb("VmRSS") - before) / 1024);
}
} // namespace

// The simulated days: the checkpoints up to them, and a last one at the end when it is not one.
std::vector<int> checkpointDays(int days)
{
    std::vector<int> chosen;
    for (const int d : {7, 30, 365})
        if (d <= days)
            chosen.push_back(d);
    if (chosen.empty() || chosen.back() != days)
        chosen.push_back(days);
    return chosen;
}

int main(int argc, char **argv)
{
    // The event loop the program runs on.
    PreferQtEventLoop();
    QApplication app(argc, argv);
    int simulatedDays = 365;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--days") && i + 1 < args.size())
            simulatedDays = std::clamp(args[++i].toInt(), 1, 365);
        else
            g_sensors = 10 * std::clamp(args[i].toInt(), 1, 10000);
    }
    QTemporaryDir dir;
    const QDate third = QDate::currentDate().addDays(-QDate::currentDate().day() + 3);
    const QDateTime yearAgo(simulatedDays == 365 ? third.addYears(-1) : third.addDays(-simulatedDays),
                            QTime(12, 0));
    const qint64 start = yearAgo.toMSecsSinceEpoch();
    // The checkpoints' extra hours (a sixteenth of keepHours and some) run past the year.
    const int fileDays = simulatedDays + 2;
    QElapsedTimer timer;
    timer.start();
    writeFiles(dir.path(), yearAgo, fileDays);
    std::printf("%d devices: wrote %d sensors x %d days of one reading a minute (instantaneous and hourly "
                "files), from %d days back, in %.1f s\n",
                g_sensors / 10, g_sensors, fileDays, simulatedDays, timer.nsecsElapsed() / 1e9);

    QStandardItemModel grid(g_sensors, 6);
    fillGrid(grid);
    ManualClock clock(yearAgo);
    SilentPrompts prompts;
    MemoryErrorLog errors;
    StatusList status;
    ProgramState state(dir.path(), clock, prompts, errors, status);
    state.Config.UpdateRate = 60;
    state.TrendingEnabled = true;
    state.Ini.trend.historyHours = 0;
    TrendData data(clock);
    data.setModel(&grid);
    TrendFeed trendFeed(state, data);
    trendFeed.Activated(); // [trend] keepHours, the default
    data.Build();
    TrendChartView view(data);
    view.resize(1200, 800);
    const long startKb = statusKb("VmRSS");
    std::printf("keepHours %d; resident memory before the first point %ld MB\n", state.Ini.trend.keptHours(),
                startKb / 1024);

    std::vector<Checkpoint> checkpoints;
    qint64 minute = 0;
    timer.restart();
    for (const int days : checkpointDays(simulatedDays)) {
        const qint64 until = qint64(days) * 24 * 60 - kCycles;
        feed(data, start, minute, until);
        minute = until;
        const FileReads shown = showWholeRun(view, trendFeed);
        Checkpoint point = measureCycles(data, view, start, minute);
        minute += kCycles;
        view.hide();
        point.days = days;
        point.shown = shown;
        // Past the next time the kept span moves on, then the whole run shown again.
        const qint64 drop = qint64(state.Ini.trend.keptHours()) * 60 / 16 + 60;
        feed(data, start, minute, minute + drop);
        minute += drop;
        point.afterDrop = showWholeRun(view, trendFeed);
        view.hide();
        checkpoints.push_back(point);
    }
    std::printf("fed %d simulated days in %.1f s\n\n", simulatedDays, timer.nsecsElapsed() / 1e9);
    std::printf("%-38s", "after simulated days");
    for (const Checkpoint &p : checkpoints)
        std::printf("%18d", p.days);
    const auto row = [&](const char *name, const auto &value) {
        std::printf("\n%-38s", name);
        for (const Checkpoint &p : checkpoints)
            std::printf("%18s", qPrintable(value(p)));
    };
    row("resident memory (MB)", [](const Checkpoint &p) { return QString::number(p.residentKb / 1024); });
    row("chart samples in memory (MB)",
        [](const Checkpoint &p) { return QString::number(p.chartMb, 'f', 1); });
    row("points per sensor in memory", [](const Checkpoint &p) { return QString::number(p.points); });
    row("add + redraw per cycle, median/max ms", [](const Checkpoint &p) {
        return QStringLiteral("%1 / %2").arg(p.addRedrawMedian, 0, 'f', 1).arg(p.addRedrawMax, 0, 'f', 1);
    });
    row("paint per cycle, median/max ms", [](const Checkpoint &p) {
        return QStringLiteral("%1 / %2").arg(p.paintMedian, 0, 'f', 1).arg(p.paintMax, 0, 'f', 1);
    });
    row("last cycle until all drawn / gap ms", [](const Checkpoint &p) {
        return QStringLiteral("%1 / %2").arg(p.wholeRedrawMs, 0, 'f', 1).arg(p.wholeRedrawGapMs, 0, 'f', 1);
    });
    row("points handed to the plot", [](const Checkpoint &p) { return QString::number(p.drawnPoints); });
    const auto reads = [](const FileReads &r) {
        return QStringLiteral("%1 MB %2 s").arg(r.megabytes, 0, 'f', 1).arg(r.ms / 1000, 0, 'f', 1);
    };
    row("whole run shown: files read, time", [&](const Checkpoint &p) { return reads(p.shown); });
    row("again after the kept span moved on", [&](const Checkpoint &p) { return reads(p.afterDrop); });
    std::printf("\n\n");

    // Both need a run longer than the kept span; shorter runs (--days) leave them out.
    if (qint64(simulatedDays) * 24 <= state.Ini.trend.keptHours() + kOlderDays * 24) {
        std::printf("a week from the start and the largest kept span: left out, the run is shorter than "
                    "the kept span and a week\n");
        return 0;
    }
    showOlderWeek(data, view, start, start + kOlderDays * 24 * 3600LL * 1000);
    std::printf("resident memory after it %ld MB\n", statusKb("VmRSS") / 1024);
    largestKeptSpan(grid, start);
    return 0;
}
