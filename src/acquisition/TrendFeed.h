#pragma once

#include "TrendData.h"
#include "TrendHistoryLoader.h"

#include <QList>
#include <QSet>
#include <QString>

#include <functional>

class ProgramState;

// Feeds the trending chart: its history at every activation, a point per series after each
// completed poll cycle, the freeze for examination, and the readings of spans before what the
// chart keeps in memory ([trend] keepHours) when a view reaches back to them. The chart's layout is completed
// from the grid after the first cycle of an activation (FirstCycle) and it grows by one point per series
// after every later cycle while TrendingEnabled is set.
class TrendFeed {
public:
    static const QString ExamineCaption;
    static const QString ContinueCaption;
    static const QString HistoryErrorWhere;

    TrendFeed(ProgramState &state, TrendData &data);

    // The sensors to chart at an activation (see ChartedSensors); none when not set.
    std::function<QList<TrendSensor>()> chartedSensors;

    // After an activation with trending enabled: gives the charted sensors their series and
    // reads, in the background, the history of every series that has not had it yet: the
    // readings of the last [trend] historyHours (Tallyport.ini) before its first point. What
    // the chart has is kept.
    void Activated();
    bool historyLoading() const { return m_loader.busy(); }
    TrendHistoryLoader &historyLoader() { return m_loader; }
    // Two readings further apart than this were not taken in successive cycles.
    qint64 breakMs() const;

    // Called after a poll cycle that completed while monitoring is active.
    void AfterCycle();

    // btnFreezeExamine: a caption containing "Examine" freezes the chart (no points are added)
    // and the new caption is "Continue"; otherwise live updates resume and it is "Examine".
    QString FreezeExamine(const QString &caption);
    bool frozen() const;

private:
    void onHistoryLoaded(const QString &sensorId, const TrendHistory &history, qint64 breakMs, int ticket);
    void onOlderWanted(const TrendOlderSpan &span);

    ProgramState &m_state;
    TrendData &m_data;
    TrendHistoryLoader m_loader;
    int m_olderTicket = 0;
    // Files that could not be read for a view, logged once each.
    QSet<QString> m_olderErrors;
};
