#include "SensorRoutes.h"

#include "SensorChart.h"
#include "SensorPage.h"
#include "StatusPage.h"
#include "StatusSource.h"

#include <core/DateTimeText.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

namespace {
const QByteArray kSensorHtml = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray kSensorJson = QByteArrayLiteral("application/json");
constexpr qint64 kHistoryDayMs = 24LL * 3600 * 1000;

WebReply historyReply(int status, const QJsonObject &object)
{
    return {status, kSensorJson, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', {}};
}

WebReply historyError(int status, const QString &reason)
{
    return historyReply(status, {{QStringLiteral("error"), reason}});
}

// The page's token, percent-encoded as "token=...", kept on its links; empty without one.
QString pageTokenQuery(const QUrl &url)
{
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("token")))
        return QString();
    return QStringLiteral("token=") + QString::fromLatin1(QUrl::toPercentEncoding(
                                          query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded)));
}

QPair<QByteArray, QByteArray> sensorHeader(const char *name, const char *value)
{
    return {QByteArray(name), QByteArray(value)};
}

WebReply sensorHtmlReply(int status, const QByteArray &html)
{
    WebReply reply{status, kSensorHtml, html, {}};
    // Styles inline, the chart inline: nothing else is loaded, nothing is submitted.
    reply.headers.append(sensorHeader("Content-Security-Policy",
                                      "default-src 'none'; style-src 'unsafe-inline'; "
                                      "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"));
    reply.headers.append(sensorHeader("Referrer-Policy", "no-referrer"));
    return reply;
}

// An ISO 8601 date and time with its offset from UTC ("Z" or "+01:00"); a "+" that came through
// a query unencoded reads as a blank and is taken as the "+" it was.
bool parseIsoTime(QString text, QDateTime &when)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d(:\\d\\d(\\.\\d{1,3})?)?(Z|[+ -]\\d\\d:?\\d\\d)$"));
    if (!pattern.match(text).hasMatch())
        return false;
    if (text.size() > 6 && text.at(text.size() - 6) == QLatin1Char(' '))
        text[text.size() - 6] = QLatin1Char('+');
    else if (text.size() > 5 && text.at(text.size() - 5) == QLatin1Char(' '))
        text[text.size() - 5] = QLatin1Char('+');
    when = QDateTime::fromString(text, Qt::ISODateWithMs);
    return when.isValid();
}

QJsonValue jsonNumber(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonObject historyJson(const SensorFacts &facts, const SensorRange &range, const RangeRequest &request)
{
    QJsonArray points;
    for (const SensorRangeStep &s : range.steps) {
        const QString time = IsoTime(QDateTime::fromMSecsSinceEpoch(s.start));
        if (s.count == 0) {
            points.append(QJsonObject{{QStringLiteral("time"), time},
                                      {QStringLiteral("count"), 0},
                                      {QStringLiteral("min"), QJsonValue::Null},
                                      {QStringLiteral("max"), QJsonValue::Null},
                                      {QStringLiteral("mean"), QJsonValue::Null}});
            continue;
        }
        points.append(QJsonObject{{QStringLiteral("time"), time},
                                  {QStringLiteral("count"), s.count},
                                  {QStringLiteral("min"), jsonNumber(s.minimum)},
                                  {QStringLiteral("max"), jsonNumber(s.maximum)},
                                  {QStringLiteral("mean"), jsonNumber(s.mean)}});
    }
    QJsonArray errors;
    for (const QString &e : range.errors)
        errors.append(e);
    return {
        {QStringLiteral("sensorId"), facts.view.sensorId},
        {QStringLiteral("device"), facts.view.device},
        {QStringLiteral("sensor"), facts.view.sensor},
        {QStringLiteral("unit"), facts.view.unit},
        {QStringLiteral("from"), IsoTime(request.from)},
        {QStringLiteral("to"), IsoTime(request.to)},
        {QStringLiteral("step"), range.stepMs / 1000.0},
        {QStringLiteral("source"), range.fromHours ? QStringLiteral("hourly") : QStringLiteral("readings")},
        {QStringLiteral("points"), points},
        {QStringLiteral("errors"), errors}};
}
} // namespace

SensorRoutes::Route SensorRoutes::Parse(const QString &path, int &sensorId)
{
    static const QRegularExpression pattern(
        QStringLiteral("^/(?:sensor/([1-9][0-9]{0,8})|api/v1/sensors/([1-9][0-9]{0,8})/history)$"));
    sensorId = 0;
    const QRegularExpressionMatch match = pattern.match(path);
    if (!match.hasMatch())
        return Route::None;
    if (match.capturedLength(1) > 0) {
        sensorId = match.captured(1).toInt();
        return Route::Page;
    }
    sensorId = match.captured(2).toInt();
    return Route::History;
}

bool SensorRoutes::ParseHistoryQuery(const QUrl &url, const QDateTime &now, HistoryQuery &query,
                                     QString &reason)
{
    const QUrlQuery items(url);
    const auto value = [&items](const char *name) {
        return items.queryItemValue(QString::fromLatin1(name), QUrl::FullyDecoded);
    };
    query = HistoryQuery();
    query.to = now;
    if (items.hasQueryItem(QStringLiteral("to")) && !parseIsoTime(value("to"), query.to)) {
        reason = QStringLiteral("to must be an ISO 8601 date and time with its offset, "
                                "such as 2026-12-10T06:00:00+01:00 or 2026-12-10T05:00:00Z.");
        return false;
    }
    query.from = query.to.addMSecs(-kHistoryDayMs);
    if (items.hasQueryItem(QStringLiteral("from")) && !parseIsoTime(value("from"), query.from)) {
        reason = QStringLiteral("from must be an ISO 8601 date and time with its offset, "
                                "such as 2026-12-09T06:00:00+01:00 or 2026-12-09T05:00:00Z.");
        return false;
    }
    if (query.to <= query.from) {
        reason = QStringLiteral("from must be before to.");
        return false;
    }
    if (items.hasQueryItem(QStringLiteral("step"))) {
        bool ok = false;
        const qint64 seconds = value("step").toLongLong(&ok);
        if (!ok || seconds < 1 || seconds > MaxStepSeconds) {
            reason =
                QStringLiteral("step must be a whole number of seconds from 1 to %1.").arg(MaxStepSeconds);
            return false;
        }
        query.stepMs = seconds * 1000;
    }
    return true;
}

SensorRoutes::SensorRoutes(const StatusSource &source) : m_source(source) {}

std::optional<WebReply> SensorRoutes::Answer(const WebRequest &request, Route route, int sensorId,
                                             std::function<void(const WebReply &)> done)
{
    switch (route) {
    case Route::Page:
        return page(request, sensorId, std::move(done));
    case Route::History:
        return history(request, sensorId, std::move(done));
    case Route::None:
        break;
    }
    return WebReply{404, "text/plain; charset=utf-8", "Not found.\n", {}};
}

std::optional<WebReply> SensorRoutes::page(const WebRequest &request, int sensorId,
                                           std::function<void(const WebReply &)> done)
{
    const QString token = pageTokenQuery(request.url);
    const QString spanName = QUrlQuery(request.url).queryItemValue(QStringLiteral("span"));
    const std::optional<SensorSpan> span =
        spanName.isEmpty() ? SensorSpan::Default() : SensorSpan::Named(spanName);
    if (!span)
        return sensorHtmlReply(400,
                               SensorMessageHtml(QStringLiteral("No such span"),
                                                 QStringLiteral("span must be 24h, 7d, 30d or 1y."), token));
    SensorFacts facts;
    bool found = false;
    if (!m_source.sensorFacts(sensorId, facts, found))
        return sensorHtmlReply(
            503, SensorMessageHtml(QStringLiteral("Not read"),
                                   QStringLiteral("The sensor could not be read; please try again."), token));
    if (!found)
        return sensorHtmlReply(
            404, SensorMessageHtml(QStringLiteral("No such sensor"),
                                   QStringLiteral("There is no sensor number %1.").arg(sensorId), token));
    RangeRequest range;
    range.directory = facts.dataDirectory;
    range.sensorId = sensorId;
    range.to = facts.now;
    range.from = facts.now.addMSecs(-span->ms);
    range.maxSteps = SensorChart::Columns;
    range.stepMs = span->ms / SensorChart::Columns;
    // A year's chart is read again once an hour, a day's every ten seconds.
    range.keepKey = QStringLiteral("page/%1/%2").arg(sensorId).arg(span->name);
    range.keepMs = span->ms / (365 * 24);
    QList<AlarmRecord> alarms;
    m_source.sensorAlarms(sensorId, range.from, range.to, MaxAlarmPeriods, alarms);

    SensorPageView view;
    view.sensor = facts.view;
    view.inGrid = facts.inGrid;
    view.lowerLimit = facts.lowerLimit;
    view.upperLimit = facts.upperLimit;
    view.openAlarms = facts.openAlarms;
    view.span = *span;
    view.now = facts.now;
    view.refreshSeconds = qMax(60, PageRefreshSeconds(facts.updateRateSeconds));
    view.tokenQuery = token;
    const qint64 readingGapMs = qint64(facts.updateRateSeconds) * 2500;
    auto make = [view, alarms, readingGapMs](const SensorRange &read, const RangeRequest &used) mutable {
        SensorChartView chart;
        chart.fromMs = used.from.toMSecsSinceEpoch();
        chart.toMs = used.to.toMSecsSinceEpoch();
        chart.range = read;
        chart.lowerLimit = view.lowerLimit;
        chart.upperLimit = view.upperLimit;
        // An hour without a record had no reading; between single readings allow for the rate.
        chart.gapMs = read.fromHours ? read.stepMs : qMax(read.stepMs, readingGapMs);
        for (const AlarmRecord &a : alarms)
            chart.alarms.append({a.AlarmStart.toMSecsSinceEpoch(), a.AlarmActive || !a.AlarmEnd.isValid()
                                                                       ? chart.toMs
                                                                       : a.AlarmEnd.toMSecsSinceEpoch()});
        view.chartSvg = SensorChartSvg(chart);
        view.readErrors = read.errors;
        return sensorHtmlReply(200, SensorPageHtml(view));
    };
    if (!m_worker.start(range, std::move(make), std::move(done)))
        return sensorHtmlReply(
            503,
            SensorMessageHtml(QStringLiteral("Busy"),
                              QStringLiteral("Too many charts are being drawn; please try again."), token));
    return std::nullopt;
}

std::optional<WebReply> SensorRoutes::history(const WebRequest &request, int sensorId,
                                              std::function<void(const WebReply &)> done)
{
    SensorFacts facts;
    bool found = false;
    if (!m_source.sensorFacts(sensorId, facts, found))
        return historyError(503, QStringLiteral("The sensor could not be read; please try again."));
    if (!found)
        return historyError(404, QStringLiteral("There is no sensor number %1.").arg(sensorId));
    HistoryQuery query;
    QString reason;
    if (!ParseHistoryQuery(request.url, facts.now, query, reason))
        return historyError(400, reason);
    RangeRequest range;
    range.directory = facts.dataDirectory;
    range.sensorId = sensorId;
    range.from = query.from;
    range.to = query.to;
    // Whole seconds, no finer than MaxPoints allow.
    const qint64 finestMs =
        (query.from.msecsTo(query.to) + MaxPoints * 1000LL - 1) / (MaxPoints * 1000LL) * 1000;
    range.stepMs = qMax(query.stepMs, finestMs);
    range.maxSteps = MaxPoints;
    auto make = [facts](const SensorRange &read, const RangeRequest &used) {
        return historyReply(200, historyJson(facts, read, used));
    };
    if (!m_worker.start(range, std::move(make), std::move(done))) {
        WebReply busy =
            historyError(503, QStringLiteral("Too many histories are being read; please try again."));
        busy.headers.append(sensorHeader("Retry-After", "1"));
        return busy;
    }
    return std::nullopt;
}
