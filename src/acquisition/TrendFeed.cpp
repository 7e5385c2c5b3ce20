#include "TrendFeed.h"

#include "TrendData.h"

#include <core/ProgramState.h>

const QString TrendFeed::ExamineCaption = QStringLiteral("Examine");
const QString TrendFeed::ContinueCaption = QStringLiteral("Continue");

TrendFeed::TrendFeed(ProgramState &state, TrendData &data) : m_state(state), m_data(data) {}

void TrendFeed::AfterCycle()
{
    if (!m_state.TrendingEnabled)
        return;
    if (m_state.FirstCycle) {
        m_data.Build();
        m_state.FirstCycle = false;
    }
    m_data.AddReadings();
}

QString TrendFeed::FreezeExamine(const QString &caption)
{
    if (caption.contains(ExamineCaption)) {
        m_state.TrendingEnabled = false;
        return ContinueCaption;
    }
    m_state.TrendingEnabled = true;
    return ExamineCaption;
}

bool TrendFeed::frozen() const
{
    return !m_state.TrendingEnabled;
}
