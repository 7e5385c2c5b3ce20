#include "TrendDecimation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Builds the pieces of a trace; a missing value ends the current piece. A piece is gathered in a
// buffer reused from trace to trace and copied out at its exact size when it ends: a chart of
// thousands of lines holds no unused room and grows no list step by step.
class TraceBuilder {
public:
    explicit TraceBuilder(TrendTrace &trace) : m_trace(trace), m_piece(pieceBuffer()) { m_piece.clear(); }

    void add(qint64 time, float value)
    {
        if (std::isnan(value)) {
            breakLine(time);
            return;
        }
        m_piece.push_back(QPointF(double(time), double(value)));
    }
    void breakLine(qint64)
    {
        if (m_piece.empty())
            return;
        m_trace.pieces.append(QList<QPointF>(m_piece.begin(), m_piece.end()));
        m_piece.clear();
    }
    // Ends the last piece.
    void finish() { breakLine(0); }
    void include(float value)
    {
        if (std::isnan(value))
            return;
        if (!m_trace.hasValue) {
            m_trace.low = m_trace.high = value;
            m_trace.hasValue = true;
            return;
        }
        m_trace.low = std::min(m_trace.low, value);
        m_trace.high = std::max(m_trace.high, value);
    }

private:
    static std::vector<QPointF> &pieceBuffer()
    {
        thread_local std::vector<QPointF> buffer;
        return buffer;
    }

    TrendTrace &m_trace;
    std::vector<QPointF> &m_piece;
};

// Builds reduced samples: a break is a NaN sample, never two in a row nor one at the start.
class ReducedBuilder {
public:
    explicit ReducedBuilder(TrendReduced &out) : m_out(out) {}

    void add(qint64 time, float value)
    {
        if (std::isnan(value)) {
            breakLine(time);
            return;
        }
        AppendTrendSample(m_out.times, time);
        AppendTrendSample(m_out.values, value);
    }
    void breakLine(qint64 time)
    {
        if (m_out.values.empty() || std::isnan(m_out.values.back()))
            return;
        AppendTrendSample(m_out.times, time);
        AppendTrendSample(m_out.values, std::numeric_limits<float>::quiet_NaN());
    }
    void include(float) {}

private:
    TrendReduced &m_out;
};

// The lowest and highest of the samples begin to end - 1 (none of them missing), in time order.
template <typename Out> void addExtremes(const TrendSamples &s, int begin, int end, Out &out)
{
    if (begin >= end)
        return;
    int lowAt = begin;
    int highAt = begin;
    for (int i = begin + 1; i < end; ++i) {
        const float v = s.value(i);
        if (v < s.value(lowAt))
            lowAt = i;
        else if (v > s.value(highAt))
            highAt = i;
    }
    const int a = std::min(lowAt, highAt);
    const int b = std::max(lowAt, highAt);
    out.add(s.time(a), s.value(a));
    if (b != a)
        out.add(s.time(b), s.value(b));
    out.include(s.value(lowAt));
    out.include(s.value(highAt));
}

// One pixel column. The line breaks exactly where values are missing: the samples before the
// first gap continue the line, those after the last gap start the next piece, and those between
// the gaps stand alone.
template <typename Out> void addColumn(const TrendSamples &s, int begin, int end, Out &out)
{
    int firstGap = -1;
    int lastGap = -1;
    for (int i = begin; i < end; ++i) {
        if (std::isnan(s.value(i))) {
            if (firstGap < 0)
                firstGap = i;
            lastGap = i;
        }
    }
    if (firstGap < 0) {
        addExtremes(s, begin, end, out);
        return;
    }
    addExtremes(s, begin, firstGap, out);
    out.breakLine(s.time(firstGap));
    // The samples between the gaps make one stroke within the column.
    int middleLow = -1;
    int middleHigh = -1;
    for (int i = firstGap + 1; i < lastGap; ++i) {
        const float v = s.value(i);
        if (std::isnan(v))
            continue;
        if (middleLow < 0 || v < s.value(middleLow))
            middleLow = i;
        if (middleHigh < 0 || v > s.value(middleHigh))
            middleHigh = i;
    }
    if (middleLow >= 0) {
        const int a = std::min(middleLow, middleHigh);
        const int b = std::max(middleLow, middleHigh);
        out.add(s.time(a), s.value(a));
        if (b != a)
            out.add(s.time(b), s.value(b));
        out.include(s.value(middleLow));
        out.include(s.value(middleHigh));
        out.breakLine(s.time(lastGap));
    }
    addExtremes(s, lastGap + 1, end, out);
}
} // namespace

TrendSamples::TrendSamples(const std::vector<qint64> &times, const std::vector<float> &values)
    : TrendSamples({Part{times.data(), values.data(), int(std::min(times.size(), values.size()))}})
{
}

TrendSamples::TrendSamples(std::initializer_list<Part> parts)
{
    for (const Part &part : parts) {
        if (part.count <= 0 || m_partCount == MaxParts)
            continue;
        m_parts[size_t(m_partCount++)] = part;
        m_size += part.count;
    }
}

size_t DropTrendSamplesBefore(std::vector<qint64> &times, std::vector<float> &values, qint64 cutoff)
{
    const auto end =
        std::find_if(times.begin(), times.end(), [cutoff](qint64 time) { return time >= cutoff; });
    const size_t count = size_t(end - times.begin());
    times.erase(times.begin(), end);
    values.erase(values.begin(), values.begin() + std::ptrdiff_t(std::min(count, values.size())));
    return count;
}

void ReduceTrendRange(const TrendSamples &samples, int begin, int end, TrendReduced &out)
{
    ReducedBuilder builder(out);
    addColumn(samples, begin, end, builder);
}

int FirstTrendSampleAtOrAfter(const TrendSamples &samples, qint64 when, int low, int high)
{
    // Gallop: probe low, low + 1, low + 3, low + 7, ... until a probe is not before `when`.
    int step = 1;
    int probe = low;
    while (probe < high && samples.time(probe) < when) {
        low = probe + 1;
        step *= 2;
        probe = low + step - 1;
    }
    high = std::min(high, probe);
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (samples.time(mid) < when)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

int TrendTrace::pointCount() const
{
    int count = 0;
    for (const QList<QPointF> &piece : pieces)
        count += int(piece.size());
    return count;
}

TrendWindow MakeTrendWindow(const TrendSamples &samples, qint64 from, qint64 to, int columns)
{
    TrendWindow window;
    window.from = from;
    window.to = std::max(to, from);
    columns = std::max(columns, 1);
    const int n = samples.size();
    const int first = FirstTrendSampleAtOrAfter(samples, window.from, 0, n);
    const int last = FirstTrendSampleAtOrAfter(samples, window.to + 1, first, n);
    window.before = first > 0 ? first - 1 : -1;
    window.after = last < n ? last : -1;
    window.everySample = last - first <= 2 * columns;
    if (window.everySample) {
        window.starts = {first, last};
        return window;
    }
    window.starts.resize(size_t(columns) + 1);
    window.starts.front() = first;
    window.starts.back() = last;
    const double span = double(window.to - window.from);
    for (int c = 1; c < columns; ++c) {
        const auto edge = window.from + qint64(std::ceil(span * c / columns));
        window.starts[size_t(c)] =
            FirstTrendSampleAtOrAfter(samples, edge, window.starts[size_t(c) - 1], last);
    }
    return window;
}

namespace {
template <typename Out> void decimate(const TrendSamples &samples, const TrendWindow &window, Out &out)
{
    const int count = samples.size();
    if (window.last() > count)
        return;
    if (window.before >= 0)
        out.add(samples.time(window.before), samples.value(window.before));
    if (window.everySample) {
        for (int i = window.first(); i < window.last(); ++i) {
            out.add(samples.time(i), samples.value(i));
            out.include(samples.value(i));
        }
    } else {
        for (int c = 0; c < window.columns(); ++c)
            addColumn(samples, window.starts[size_t(c)], window.starts[size_t(c) + 1], out);
    }
    if (window.after >= 0 && window.after < count)
        out.add(samples.time(window.after), samples.value(window.after));
}
} // namespace

TrendTrace DecimateTrend(const TrendSamples &samples, const TrendWindow &window)
{
    TrendTrace trace;
    TraceBuilder out(trace);
    decimate(samples, window, out);
    out.finish();
    return trace;
}

TrendReduced ReduceTrendToColumns(const TrendSamples &samples, qint64 from, qint64 to, int columns)
{
    TrendReduced reduced;
    ReducedBuilder out(reduced);
    decimate(samples, MakeTrendWindow(samples, from, to, columns), out);
    return reduced;
}
