#pragma once

#include <QString>

class ProgramState;
class TrendData;

// Feeds the trending chart after each completed poll cycle and freezes it for examination.
// The chart is built after the first cycle of an activation (FirstCycle) and grows by one point
// per series after every later cycle while TrendingEnabled is set.
class TrendFeed {
public:
    static const QString ExamineCaption;
    static const QString ContinueCaption;

    TrendFeed(ProgramState &state, TrendData &data);

    // Called after a poll cycle that completed while monitoring is active.
    void AfterCycle();

    // btnFreezeExamine: a caption containing "Examine" freezes the chart (no points are added)
    // and the new caption is "Continue"; otherwise live updates resume and it is "Examine".
    QString FreezeExamine(const QString &caption);
    bool frozen() const;

private:
    ProgramState &m_state;
    TrendData &m_data;
};
