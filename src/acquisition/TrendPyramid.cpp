#include "TrendPyramid.h"

#include <algorithm>
#include <cmath>

namespace {
// Whether the samples have no more than `most` per pixel column where they lie within [from, to]
// (at `columns` over the whole span): a series that covers a small part of the span is judged
// by the columns of that part.
bool fewEnough(const TrendSamples &samples, qint64 from, qint64 to, int columns, int most)
{
    const int first = FirstTrendSampleAtOrAfter(samples, from, 0, samples.size());
    const int end = FirstTrendSampleAtOrAfter(samples, to + 1, first, samples.size());
    if (end - first <= most)
        return true;
    const double covered =
        double(samples.time(end - 1) - samples.time(first)) / double(std::max<qint64>(to - from, 1));
    const double coveredColumns = std::max(1.0, std::min(1.0, covered) * columns);
    return end - first <= most * coveredColumns;
}

} // namespace

void TrendPyramid::dropFront(int count, qint64 cutoff)
{
    // Each level loses what lies before the cutoff; the groups still to come start that much
    // earlier in the level below. A group cut in two keeps only its samples after the cutoff.
    for (Level &level : m_levels) {
        level.consumed = std::max(0, level.consumed - count);
        count = int(DropTrendSamplesBefore(level.samples.times, level.samples.values, cutoff));
        level.settled = std::max(0, level.settled - count);
        FitTrendCapacity(level.samples.times);
        FitTrendCapacity(level.samples.values);
    }
}

void TrendPyramid::update(const TrendSamples &below, int belowSettled, Level &level)
{
    level.samples.times.resize(size_t(level.settled));
    level.samples.values.resize(size_t(level.settled));
    while (level.consumed + GroupSize <= belowSettled) {
        ReduceTrendRange(below, level.consumed, level.consumed + GroupSize, level.samples);
        level.consumed += GroupSize;
    }
    level.settled = int(level.samples.values.size());
    if (level.consumed < below.size())
        ReduceTrendRange(below, level.consumed, below.size(), level.samples);
    // The line runs to the newest sample, whatever its group keeps.
    const int last = below.size() - 1;
    if (last >= 0 && !std::isnan(below.value(last)) &&
        (level.samples.times.empty() || level.samples.times.back() != below.time(last))) {
        level.samples.times.push_back(below.time(last));
        level.samples.values.push_back(below.value(last));
    }
}

void TrendPyramid::catchUp(const TrendSamples &series)
{
    TrendSamples below = series;
    int belowSettled = series.size();
    for (size_t k = 0;; ++k) {
        if (k == m_levels.size()) {
            if (below.size() <= TopSize)
                break;
            m_levels.emplace_back();
        }
        Level &level = m_levels[k];
        update(below, belowSettled, level);
        below = TrendSamples(level.samples.times, level.samples.values);
        belowSettled = level.settled;
    }
}

int TrendPyramid::choose(const TrendSamples &series, qint64 from, qint64 to, int columns)
{
    columns = std::max(columns, 1);
    if (fewEnough(series, from, to, columns, SamplesPerColumn))
        return -1;
    catchUp(series);
    for (int k = 0; k < int(m_levels.size()); ++k) {
        const TrendReduced &samples = m_levels[size_t(k)].samples;
        if (fewEnough(TrendSamples(samples.times, samples.values), from, to, columns, SamplesPerColumn))
            return k;
    }
    return int(m_levels.size()) - 1;
}

size_t TrendPyramid::memoryBytes() const
{
    size_t bytes = 0;
    for (const Level &level : m_levels)
        bytes +=
            level.samples.times.capacity() * sizeof(qint64) + level.samples.values.capacity() * sizeof(float);
    return bytes;
}
