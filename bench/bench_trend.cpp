// Trending chart with its history: 200 sensors with one reading a minute in their data files.
// For 24 hours and for 7 days of history it measures, from the activation on, how long the chart
// takes to read and draw the history, and how long the window went without answering meanwhile
// (the longest gap between the ticks of a 10 ms timer on the window's thread). Then, with 7 days
// shown, how long one poll cycle's points take to add and draw. Run with QT_QPA_PLATFORM=offscreen.
#include "BenchPrompts.h"

#include <acquisition/SensorDataFiles.h>
#include <acquisition/SensorRecords.h>
#include <acquisition/TrendData.h>
#include <acquisition/TrendFeed.h>
#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ErrorLog.h>
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

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr int kSensors = 200;
constexpr int kDays = 7;
constexpr int kCycles = 20;

QString degreeF()
{
    return QString(QChar(0x00B0)) + QLatin1Char('F');
}

float readingAt(int sensor, int minute)
{
    return float(30 + sensor % 40 + 5 * std::sin(minute / 90.0 + sensor));
}

// kDays of one reading a minute for every sensor, up to a minute before `now`, written as the
// program writes them: one file per sensor and month.
void writeFiles(const QString &dir, const QDateTime &now)
{
    const int minutes = kDays * 24 * 60;
    const QDateTime start = now.addSecs(-60LL * minutes);
    QList<QString> texts;
    texts.reserve(minutes);
    for (int m = 0; m < minutes; ++m)
        texts.append(DateTimeText(start.addSecs(60LL * m)));
    for (int s = 0; s < kSensors; ++s) {
        const int id = s + 1;
        QFile header(SensorHeaderPath(dir, id));
        header.open(QIODevice::WriteOnly);
        header.write(SensorHeaderRecord{QStringLiteral("Device %1").arg(s / 10 + 1),
                                        QStringLiteral("Sensor %1").arg(id), degreeF()}
                         .encode());
        QByteArray month;
        QDate monthOf = start.date();
        const auto flush = [&] {
            QFile file(SensorInstantaneousPath(dir, id, monthOf));
            file.open(QIODevice::WriteOnly);
            file.write(month);
            month.clear();
        };
        for (int m = 0; m < minutes; ++m) {
            const QDate day = start.addSecs(60LL * m).date();
            if (day.month() != monthOf.month()) {
                flush();
                monthOf = day;
            }
            month += InstantaneousRecord{texts[m], readingAt(s, m)}.encode();
        }
        flush();
    }
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

struct Run {
    double loadedMs = 0;
    double drawnMs = 0;
    double longestStallMs = 0;
    qint64 points = 0;
};

Run loadHistory(ProgramState &state, TrendData &data, TrendFeed &feed, TrendChartView &view,
                const QList<TrendSensor> &sensors)
{
    feed.chartedSensors = [&sensors] { return sensors; };
    Responsiveness responsiveness;
    QElapsedTimer timer;
    responsiveness.start();
    timer.start();
    feed.Activated();
    while (feed.historyLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Run run;
    run.loadedMs = timer.nsecsElapsed() / 1e6;
    // The redraw that follows the last sensor, then the picture on screen.
    QCoreApplication::processEvents();
    while (!view.trace(kSensors - 1).hasValue)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QPixmap picture = view.grab();
    run.drawnMs = timer.nsecsElapsed() / 1e6;
    run.longestStallMs = responsiveness.longestMs();
    for (int i = 0; i < data.seriesCount(); ++i)
        run.points += data.samples(i).size();
    Q_UNUSED(state);
    return run;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QDateTime now(QDate::currentDate().addDays(-QDate::currentDate().day() + 3), QTime(12, 0));
    QElapsedTimer timer;
    timer.start();
    writeFiles(dir.path(), now);
    std::printf("wrote %d sensors x %d days of one reading a minute in %.1f s\n", kSensors, kDays,
                timer.nsecsElapsed() / 1e9);

    QList<TrendSensor> sensors;
    QStandardItemModel grid(kSensors, 6);
    for (int s = 0; s < kSensors; ++s) {
        const QString id = QString::number(s + 1);
        sensors.append({id, QStringLiteral("Sensor %1").arg(id), QStringLiteral("Device %1").arg(s / 10 + 1),
                        degreeF()});
        grid.setItem(s, 0, new QStandardItem(sensors.back().deviceName));
        grid.setItem(s, 1, new QStandardItem(sensors.back().sensorName));
        grid.setItem(s, 3, new QStandardItem(degreeF()));
        grid.setItem(s, 5, new QStandardItem(id));
    }

    for (int hours : {24, kDays * 24}) {
        ManualClock clock(now);
        SilentPrompts prompts;
        MemoryErrorLog errors;
        StatusList status;
        ProgramState state(dir.path(), clock, prompts, errors, status);
        state.Config.UpdateRate = 60;
        state.TrendingEnabled = true;
        state.Ini.trend.historyHours = hours;
        TrendData data(clock);
        data.setModel(&grid);
        TrendFeed feed(state, data);
        TrendChartView view(data);
        view.resize(1200, 800);
        view.show();
        QCoreApplication::processEvents();
        const Run run = loadHistory(state, data, feed, view, sensors);
        std::printf("%3d h history: %lld points; read %.0f ms, read and drawn %.0f ms; "
                    "longest the window went unanswered %.0f ms\n",
                    hours, run.points, run.loadedMs, run.drawnMs, run.longestStallMs);
        if (hours != kDays * 24)
            continue;

        std::vector<double> addMs, totalMs;
        for (int c = 0; c < kCycles; ++c) {
            clock.advanceSeconds(60);
            for (int s = 0; s < kSensors; ++s)
                grid.setItem(s, 2, new QStandardItem(QString::number(readingAt(s, c), 'f', 1)));
            timer.restart();
            data.AddReadings();
            const double added = timer.nsecsElapsed() / 1e6;
            const QPixmap picture = view.grab();
            addMs.push_back(added);
            totalMs.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("one cycle's points with %d h shown: add + redraw median %.1f ms, max %.1f ms; "
                    "with the picture on screen median %.1f ms, max %.1f ms\n",
                    hours, median(addMs), *std::max_element(addMs.begin(), addMs.end()), median(totalMs),
                    *std::max_element(totalMs.begin(), totalMs.end()));
        std::printf("points handed to the plot per redraw: %d\n", view.shownPointCount());
    }
    return 0;
}
