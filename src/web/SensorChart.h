#pragma once

#include <acquisition/SensorRange.h>

#include <QList>
#include <QString>

#include <optional>

// What a sensor's chart shows: the readings of a span (lowest, highest and mean per step), its
// limits, and the times it was in alarm.
struct SensorChartView {
    qint64 fromMs = 0;
    qint64 toMs = 0;
    SensorRange range;
    std::optional<double> lowerLimit;
    std::optional<double> upperLimit;
    struct Period {
        qint64 startMs = 0;
        qint64 endMs = 0;
    };
    QList<Period> alarms;
    // A stretch without readings at least this long is drawn as a gap; shorter ones are bridged
    // (a reading every five minutes leaves most two-minute steps empty).
    qint64 gapMs = 0;
};

struct SensorChart {
    // The drawing's own units; it is scaled to the page's width.
    static constexpr int Width = 480;
    static constexpr int Height = 260;
    static constexpr int Left = 46;
    static constexpr int Right = 8;
    static constexpr int Top = 10;
    static constexpr int Bottom = 26;
    // One step of the range per column of the plot.
    static constexpr int Columns = Width - Left - Right;
};

// The chart as an SVG element to put inline in a page: the band from lowest to highest reading
// with the mean as a line, broken where there were no readings, the limits as dashed lines, the
// alarm periods shaded, and times and values on the axes (local time). No script, no outside
// resource: the pages' content policy allows neither.
QString SensorChartSvg(const SensorChartView &view);
