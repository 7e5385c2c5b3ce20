#pragma once

#include <QList>
#include <QPointF>

#include <array>
#include <initializer_list>
#include <vector>

// Reduces a series to what a plot of a given pixel width can show: within each pixel column of
// the visible time span only the lowest and highest value are kept. A missing value breaks the
// line, so the result is a list of unbroken pieces. With no more samples than two per column
// every sample is kept.

// The samples of one series in time order, seen as one sequence over up to three parts: for
// example the readings read from the data files for a span before what the chart keeps, the
// readings taken from the files at activation (its history) and the points the chart added
// itself. It only looks at vectors kept elsewhere, which must outlive it and stay unchanged.
class TrendSamples {
public:
    struct Part {
        const qint64 *times = nullptr; // milliseconds since the epoch
        const float *values = nullptr; // NaN: no value, the line breaks
        int count = 0;
    };
    static constexpr int MaxParts = 3;

    TrendSamples() = default;
    // One part: values[i] belongs to times[i]; the shorter of the two decides the count.
    TrendSamples(const std::vector<qint64> &times, const std::vector<float> &values);
    // The parts in time order; empty ones are skipped.
    TrendSamples(std::initializer_list<Part> parts);

    int size() const { return m_size; }
    qint64 time(int i) const
    {
        const int p = partOf(i);
        return m_parts[p].times[i];
    }
    float value(int i) const
    {
        const int p = partOf(i);
        return m_parts[p].values[i];
    }

private:
    // The part that holds sample i; i becomes its index inside that part.
    int partOf(int &i) const
    {
        int p = 0;
        while (p + 1 < m_partCount && i >= m_parts[p].count)
            i -= m_parts[p++].count;
        return p;
    }

    std::array<Part, MaxParts> m_parts{};
    int m_partCount = 0;
    int m_size = 0;
};

// Samples reduced to fewer: real samples (time and value as they were) in time order, NaN where
// the line breaks.
struct TrendReduced {
    std::vector<qint64> times;
    std::vector<float> values;
};

// Drops the samples before `cutoff` from the front of times and their values; returns how many.
size_t DropTrendSamplesBefore(std::vector<qint64> &times, std::vector<float> &values, qint64 cutoff);

// Appends a sample, growing the vector by a quarter when it is full instead of doubling it: a
// series that holds a long span does not carry as much again in unused room.
template <typename T> void AppendTrendSample(std::vector<T> &samples, T sample)
{
    if (samples.size() == samples.capacity())
        samples.reserve(samples.size() + samples.size() / 4 + 64);
    samples.push_back(sample);
}

// After its oldest samples were dropped: leaves a vector room for a quarter more than it holds,
// so that it neither keeps the room of a doubling it no longer needs nor doubles again before
// the next drop.
template <typename T> void FitTrendCapacity(std::vector<T> &samples)
{
    const size_t room = samples.size() + samples.size() / 4 + 16;
    if (samples.capacity() <= room + room / 4)
        return;
    std::vector<T> fitted;
    fitted.reserve(room);
    fitted.assign(samples.begin(), samples.end());
    samples.swap(fitted);
}

// Adds the samples begin to end - 1 reduced as one pixel column is: the lowest and highest value
// of each unbroken stretch, and a break (NaN at the time of the first missing value) where
// values are missing.
void ReduceTrendRange(const TrendSamples &samples, int begin, int end, TrendReduced &out);

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

// The samples of [from, to] (and the one just before and after) reduced to what `columns` pixel
// columns show, as samples: every sample when there are no more than two per column.
TrendReduced ReduceTrendToColumns(const TrendSamples &samples, qint64 from, qint64 to, int columns);
