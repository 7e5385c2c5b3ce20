#pragma once

#include "RangeWorker.h"
#include "WebExchange.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

class StatusSource;

// The routes of one sensor's past, read-only like the status page and under the same rules:
//   GET /sensor/{id}[?span=24h|7d|30d|1y]              its page, with a chart of the span
//   GET /api/v1/sensors/{id}/history?from=&to=&step=   the same readings as JSON
// The files are read and the answer made on the range worker's thread; the request's facts (the
// sensor's row, limits and alarms) are taken on the server's thread first.
class SensorRoutes {
public:
    enum class Route { None, Page, History };
    // At most this many points in a history answer; a finer step is coarsened to it.
    static constexpr int MaxPoints = 2000;
    static constexpr qint64 MaxStepSeconds = 10LL * 366 * 24 * 3600;
    // The alarm periods a chart shades at most.
    static constexpr int MaxAlarmPeriods = 500;

    static Route Parse(const QString &path, int &sensorId);

    // The span a history request asks for, and the step; false with the reason it is refused.
    struct HistoryQuery {
        QDateTime from;
        QDateTime to;
        qint64 stepMs = 0;
    };
    static bool ParseHistoryQuery(const QUrl &url, const QDateTime &now, HistoryQuery &query,
                                  QString &reason);

    explicit SensorRoutes(const StatusSource &source);

    // The answer now (a refusal, an unknown sensor), or empty when done will be called with it.
    std::optional<WebReply> Answer(const WebRequest &request, Route route, int sensorId,
                                   std::function<void(const WebReply &)> done);

    RangeWorker &worker() { return m_worker; }

private:
    std::optional<WebReply> page(const WebRequest &request, int sensorId,
                                 std::function<void(const WebReply &)> done);
    std::optional<WebReply> history(const WebRequest &request, int sensorId,
                                    std::function<void(const WebReply &)> done);

    const StatusSource &m_source;
    RangeWorker m_worker;
};
