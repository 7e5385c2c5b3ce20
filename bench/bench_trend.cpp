// Trending chart: how long one poll cycle's points take to add and draw once the run is long.
// Fills 50 series with 30 days of one point a minute, then adds points cycle by cycle and
// renders the chart view each time. Run with QT_QPA_PLATFORM=offscreen.
#include <acquisition/TrendData.h>
#include <core/Clock.h>
#include <ui/main/TrendChartView.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QRandomGenerator>
#include <QStandardItemModel>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kSeries = 50;
constexpr int kPoints = 30 * 24 * 60;
constexpr int kCycles = 30;

void writeReadings(QStandardItemModel &grid, QRandomGenerator &random, int cycle)
{
    for (int row = 0; row < kSeries; ++row) {
        QString text;
        if ((cycle + row * 97) % 5000 == 0)
            text = QStringLiteral("Sensor Open");
        else
            text = QString::number(40 + row + 10 * random.generateDouble(), 'f', 1);
        grid.setItem(row, 2, new QStandardItem(text));
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QRandomGenerator random(7);
    ManualClock clock(QDateTime(QDate(2024, 3, 1), QTime(0, 0)));

    QStandardItemModel grid(kSeries, 6);
    const QString degreeF = QString(QChar(0x00B0)) + QLatin1Char('F');
    for (int row = 0; row < kSeries; ++row) {
        grid.setItem(row, 1, new QStandardItem(QStringLiteral("Sensor %1").arg(row + 1)));
        grid.setItem(row, 3, new QStandardItem(row % 3 == 2 ? QStringLiteral("%RH") : degreeF));
    }
    TrendData data(clock);
    data.setModel(&grid);
    TrendChartView view(data);
    view.resize(1200, 800);
    data.Build();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kPoints; ++i) {
        writeReadings(grid, random, i);
        data.AddReadings();
        clock.advanceSeconds(60);
    }
    const double fillMs = timer.nsecsElapsed() / 1e6;

    view.show();
    QCoreApplication::processEvents();
    std::vector<double> addMs, renderMs, totalMs;
    for (int c = 0; c < kCycles; ++c) {
        writeReadings(grid, random, kPoints + c);
        timer.restart();
        data.AddReadings();
        const double added = timer.nsecsElapsed() / 1e6;
        const QPixmap picture = view.grab();
        const double total = timer.nsecsElapsed() / 1e6;
        addMs.push_back(added);
        renderMs.push_back(total - added);
        totalMs.push_back(total);
        clock.advanceSeconds(60);
    }

    std::printf("series %d, points per series %d, total points %lld\n", kSeries, data.pointCount(),
                (long long)kSeries * data.pointCount());
    std::printf("fill through AddReadings (chart hidden): %.0f ms\n", fillMs);
    std::printf("points handed to the chart per redraw: %d\n", view.shownPointCount());
    std::printf("add one cycle + redraw:  median %.1f ms, max %.1f ms\n", median(addMs),
                *std::max_element(addMs.begin(), addMs.end()));
    std::printf("render (grab):           median %.1f ms, max %.1f ms\n", median(renderMs),
                *std::max_element(renderMs.begin(), renderMs.end()));
    std::printf("cycle total:             median %.1f ms, max %.1f ms\n", median(totalMs),
                *std::max_element(totalMs.begin(), totalMs.end()));
    return 0;
}
