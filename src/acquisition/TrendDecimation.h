#pragma once

#include <QList>
#include <QPointF>

#include <vector>

// Reduces a series to what a plot of a given pixel width can show: within each pixel column of
// the visible time span only the lowest and highest value are kept. A missing value breaks the
// line, so the result is a list of unbroken pieces. With no more samples than two per column
// every sample is kept.

// The samples of a shared time vector that fall into the visible span [from, to], sliced into
// equal columns. Computed once per redraw and used for every series.
struct TrendWindow {
    qint64 from = 0;
    qint64 to = 0;
    // columns + 1 sample indexes: column c holds the samples starts[c] to starts[c + 1] - 1.
    std::vector<int> starts;
    int before = -1; // the sample just before the span (so the line runs to the edge), or -1
    int after = -1;  // the sample just after it, or -1
    bool everySample = true;

    int columns() const { return int(starts.size()) - 1; }
    int first() const { return starts.front(); }
    int last() const { return starts.back(); }
};

TrendWindow MakeTrendWindow(const std::vector<qint64> &times, qint64 from, qint64 to, int columns);

struct TrendTrace {
    QList<QList<QPointF>> pieces; // x: milliseconds since the epoch, y: value
    bool hasValue = false;        // some value lies inside the span
    float low = 0;                // lowest and highest value inside the span
    float high = 0;
    int pointCount() const;
};

TrendTrace DecimateTrend(const std::vector<qint64> &times, const std::vector<float> &values,
                         const TrendWindow &window);
