#include "TrendFeed.h"

#include <core/Clock.h>
#include <core/ProgramState.h>

#include <algorithm>

const QString TrendFeed::ExamineCaption = QStringLiteral("Examine");
const QString TrendFeed::ContinueCaption = QStringLiteral("Continue");
const QString TrendFeed::HistoryErrorWhere = QStringLiteral("Trend chart history");

TrendFeed::TrendFeed(ProgramState &state, TrendData &data) : m_state(state), m_data(data)
{
    QObject::connect(&m_loader, &TrendHistoryLoader::loaded, &m_loader,
                     [this](const QString &sensorId, const TrendHistory &history, qint64 breakMs,
                            int ticket) { onHistoryLoaded(sensorId, history, breakMs, ticket); });
    QObject::connect(&m_data, &TrendData::olderWanted, &m_loader,
                     [this](const TrendOlderSpan &span) { onOlderWanted(span); });
}

qint64 TrendFeed::breakMs() const
{
    // The cycle runs every UpdateRate seconds (five at the least, one tick).
    return 2 * std::max<qint64>(m_state.Config.UpdateRate, 5) * 1000;
}

void TrendFeed::Activated()
{
    m_data.setKeepMs(3600LL * 1000 * m_state.Ini.trend.keptHours());
    if (!m_state.TrendingEnabled)
        return;
    if (chartedSensors)
        m_data.AddSensors(chartedSensors());
    // With no history wanted nothing is marked as read, so a later activation can still read it.
    if (m_state.Ini.trend.historyHours <= 0)
        return;
    const QDateTime now = m_state.clock().now();
    const QDateTime from = now.addSecs(-3600LL * m_state.Ini.trend.historyHours);
    QList<TrendHistoryRequest> requests;
    for (int i = 0; i < m_data.seriesCount(); ++i) {
        if (m_data.series(i).historyAsked)
            continue;
        m_data.setHistoryAsked(i);
        const qint64 firstPoint = m_data.firstPointTime(i);
        const QDateTime to = firstPoint >= 0 ? QDateTime::fromMSecsSinceEpoch(firstPoint) : now;
        requests.append({m_data.series(i).sensorId, from, to});
    }
    m_loader.load(m_state.programDirectory(), requests, breakMs());
}

void TrendFeed::onHistoryLoaded(const QString &sensorId, const TrendHistory &history, qint64 breakMs,
                                int ticket)
{
    if (ticket == 0) {
        for (const QString &error : history.errors)
            m_state.AddError(HistoryErrorWhere, error);
        m_data.AddHistory(sensorId, history.times, history.values, breakMs);
        return;
    }
    // A view moved back and forth would report the same file again and again.
    for (const QString &error : history.errors)
        if (!m_olderErrors.contains(error)) {
            m_olderErrors.insert(error);
            m_state.AddError(HistoryErrorWhere, error);
        }
    m_data.AddOlder(ticket, sensorId, history.times, history.values, history.breakMs);
}

void TrendFeed::onOlderWanted(const TrendOlderSpan &span)
{
    m_loader.cancel(m_olderTicket);
    m_olderTicket = span.ticket;
    if (span.ticket == 0)
        return;
    QList<TrendHistoryRequest> requests;
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(span.from);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(span.to);
    for (int i = 0; i < m_data.seriesCount(); ++i)
        requests.append({m_data.series(i).sensorId, from, to, span.columns});
    m_loader.load(m_state.programDirectory(), requests, breakMs(), span.ticket);
}

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
