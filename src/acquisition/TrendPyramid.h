#pragma once

#include "TrendDecimation.h"

#include <vector>

// Coarser copies of one series' samples, so that drawing a long span costs what the plot's width
// allows and not what the series holds. Level 1 keeps, of every group of GroupSize samples, the
// lowest and highest value of each unbroken stretch and the breaks between (as one pixel column
// is reduced); level 2 does the same with level 1, and so on until a level is small. A redraw
// takes the finest level with at most SamplesPerColumn samples per pixel column in the visible
// span. Every kept sample is a real one, with its own time and value.
//
// Samples appended to the series are taken in when a level is next asked for (only the last,
// unfinished group of each level is reduced again); samples dropped from its front are dropped
// from every level by time; anything else calls for invalidate(), which builds the levels anew.
class TrendPyramid {
public:
    static constexpr int GroupSize = 8;
    static constexpr int SamplesPerColumn = 4;
    // A level this small is not reduced further.
    static constexpr int TopSize = 256;

    // The series changed other than at its ends.
    void invalidate() { m_levels.clear(); }
    // The first `count` samples of the series, those before `cutoff`, were dropped.
    void dropFront(int count, qint64 cutoff);

    // What to draw of `series` (all its samples, in time order) for [from, to] at `columns`
    // pixel columns: -1 for the series itself, otherwise the index of a level.
    int choose(const TrendSamples &series, qint64 from, qint64 to, int columns);
    const TrendReduced &levelSamples(int index) const { return m_levels[size_t(index)].samples; }
    int levelCount() const { return int(m_levels.size()); }
    // Bytes held by the levels.
    size_t memoryBytes() const;

private:
    struct Level {
        TrendReduced samples;
        int consumed = 0; // samples of the level below reduced in whole groups
        int settled = 0;  // samples that come from whole groups; the rest from the unfinished one
    };
    // Takes in what the series gained since the last call.
    void catchUp(const TrendSamples &series);
    static void update(const TrendSamples &below, int belowSettled, Level &level);

    std::vector<Level> m_levels;
};
