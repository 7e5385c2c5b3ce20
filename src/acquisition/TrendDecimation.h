#pragma once

#include <QList>
#include <QPointF>

#include <vector>

// Reduces a series to what a plot of a given pixel width can show: within each pixel column of
// the visible time span only the lowest and highest value are kept. A missing value breaks the
// line, so the result is a list of unbroken pieces. With no more samples than two per column
// every sample is kept.

// The samples of one series in time order, seen as one sequence over up to two parts: the
// readings taken from the data files (its history) followed by the points the chart added
// itself. It only looks at vectors kept elsewhere, which must outlive it and stay unchanged.
class TrendSamples {
public:
    struct Part {
        const qint64 *times = nullptr; // milliseconds since the epoch
        const float *values = nullptr; // NaN: no value, the line breaks
        int count = 0;
    };

    TrendSamples() = default;
    // One part: values[i] belongs to times[i]; the shorter of the two decides the count.
    TrendSamples(const std::vector<qint64> &times, const std::vector<float> &values);
    TrendSamples(Part first, Part second) : m_first(first), m_second(second) {}

    int size() const { return m_first.count + m_second.count; }
    qint64 time(int i) const
    {
        return i < m_first.count ? m_first.times[i] : m_second.times[i - m_first.count];
    }
    float value(int i) const
    {
        return i < m_first.count ? m_first.values[i] : m_second.values[i - m_first.count];
    }

private:
    Part m_first;
    Part m_second;
};

// The first sample in [low, high) whose time is not before `when` (high when there is none).
// Searches outward from low first, so successive calls for nearby times stay cheap; stays well
// defined when the clock was set back and the times are not in order.
int FirstTrendSampleAtOrAfter(const TrendSamples &samples, qint64 when, int low, int high);

// The samples of a series that fall into the visible span [from, to], sliced into equal columns.
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

TrendWindow MakeTrendWindow(const TrendSamples &samples, qint64 from, qint64 to, int columns);

struct TrendTrace {
    QList<QList<QPointF>> pieces; // x: milliseconds since the epoch, y: value
    bool hasValue = false;        // some value lies inside the span
    float low = 0;                // lowest and highest value inside the span
    float high = 0;
    int pointCount() const;
};

TrendTrace DecimateTrend(const TrendSamples &samples, const TrendWindow &window);
