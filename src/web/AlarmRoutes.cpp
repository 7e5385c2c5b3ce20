#include "AlarmRoutes.h"

#include "AlarmPage.h"
#include "StatusJson.h"

#include <alarms/AlarmResponse.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrlQuery>

namespace {
const QByteArray kHtml = QByteArrayLiteral("text/html; charset=utf-8");
const QByteArray kJson = QByteArrayLiteral("application/json");

QString routeName(AlarmRoutes::Route route)
{
    switch (route) {
    case AlarmRoutes::Route::Page:
        return QStringLiteral("alarm page");
    case AlarmRoutes::Route::FormAck:
        return QStringLiteral("acknowledgement form");
    case AlarmRoutes::Route::ApiAck:
        return QStringLiteral("acknowledgement API");
    case AlarmRoutes::Route::None:
        break;
    }
    return QString();
}

// The media type of a Content-Type, lower case, without its parameters.
QByteArray mediaType(const WebRequest &request)
{
    QByteArray type = HeaderValue(request.headers, QByteArrayLiteral("content-type"));
    const qsizetype semicolon = type.indexOf(';');
    if (semicolon >= 0)
        type.truncate(semicolon);
    return type.trimmed().toLower();
}

// The query the page was opened with that its form and its redirect keep: the token or the key.
QString accessQuery(const QUrl &url)
{
    const QUrlQuery query(url);
    QUrlQuery kept;
    for (const char *name : {"token", "key"}) {
        const QString key = QString::fromLatin1(name);
        if (query.hasQueryItem(key))
            kept.addQueryItem(key, QString::fromLatin1(QUrl::toPercentEncoding(
                                       query.queryItemValue(key, QUrl::FullyDecoded))));
    }
    const QString text = kept.query(QUrl::FullyEncoded);
    return text.isEmpty() ? QString() : QStringLiteral("?") + text;
}

QString pagePath(qint64 alarmId)
{
    return QStringLiteral("/alarm/%1").arg(alarmId);
}

WebReply jsonReply(int status, const QJsonObject &object)
{
    return {status, kJson, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n', {}};
}

int statusOf(AlarmResponse::AckResult result)
{
    switch (result) {
    case AlarmResponse::AckResult::Acknowledged:
        return 200;
    case AlarmResponse::AckResult::BadInput:
        return 400;
    case AlarmResponse::AckResult::Unknown:
        return 404;
    case AlarmResponse::AckResult::Ended:
    case AlarmResponse::AckResult::AlreadyAcknowledged:
        return 409;
    case AlarmResponse::AckResult::NotStored:
        break;
    }
    return 503;
}

QString titleOf(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("Not acknowledged");
    case 401:
    case 403:
        return QStringLiteral("Not allowed");
    case 404:
        return QStringLiteral("No such alarm");
    case 409:
        return QStringLiteral("Not acknowledged");
    case 415:
        return QStringLiteral("Not understood");
    default:
        return QStringLiteral("Not done");
    }
}

QPair<QByteArray, QByteArray> header(const char *name, const QByteArray &value)
{
    return {QByteArray(name), value};
}
} // namespace

QByteArray HeaderValue(const HttpHeaders &headers, const QByteArray &name)
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.trimmed();
    return QByteArray();
}

QList<QByteArray> HeaderValues(const HttpHeaders &headers, const QByteArray &name)
{
    QList<QByteArray> values;
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            values.append(value.trimmed());
    return values;
}

AlarmRoutes::Route AlarmRoutes::Parse(const QString &path, qint64 &alarmId)
{
    static const QRegularExpression pattern(
        QStringLiteral("^/(?:(alarm)/([1-9][0-9]{0,17})(/ack)?|api/v1/alarms/([1-9][0-9]{0,17})/ack)$"));
    alarmId = 0;
    const QRegularExpressionMatch match = pattern.match(path);
    if (!match.hasMatch())
        return Route::None;
    if (match.capturedLength(1) > 0) {
        alarmId = match.captured(2).toLongLong();
        return match.capturedLength(3) > 0 ? Route::FormAck : Route::Page;
    }
    alarmId = match.captured(4).toLongLong();
    return Route::ApiAck;
}

AlarmRoutes::AlarmRoutes(AlarmResponse &response) : m_response(response)
{
    m_clock.start();
}

WebReply AlarmRoutes::Answer(const WebRequest &request, Route route, qint64 alarmId,
                             const AlarmAccess &access)
{
    const bool post = request.method == "POST";
    if (route == Route::Page && request.method != "GET" && request.method != "HEAD") {
        WebReply reply = refuse(request, route, 405, QStringLiteral("Only GET and HEAD are served here."));
        reply.headers.append(header("Allow", "GET, HEAD"));
        return reply;
    }
    if (route != Route::Page && !post) {
        WebReply reply = refuse(request, route, 405, QStringLiteral("Only POST is taken here."));
        reply.headers.append(header("Allow", "POST"));
        return reply;
    }
    // A browser says where a request comes from: another site's page (or a sandboxed one, "null")
    // may not make this browser acknowledge anything.
    const QByteArray origin = HeaderValue(request.headers, QByteArrayLiteral("origin"));
    if (post && !origin.isEmpty() && !access.origins.contains(QString::fromLatin1(origin).toLower()))
        return refuse(request, route, 403, QStringLiteral("A request from another site is not taken."));

    // A link's key opens its own alarm while it is open, and nothing else.
    const QUrlQuery query(request.url);
    const bool keyGiven = query.hasQueryItem(QStringLiteral("key"));
    const bool keyOpens = keyGiven && m_response.KeyOpens(alarmId, query.queryItemValue(QStringLiteral("key"),
                                                                                        QUrl::FullyDecoded));
    if (keyGiven && !keyOpens)
        return refuse(request, route, 403,
                      QStringLiteral("This link does not open this alarm, or the alarm has ended."));
    if (!keyOpens) {
        if (access.tokenRequired && !access.tokenGiven) {
            WebReply reply = refuse(request, route, 401, QStringLiteral("A valid token is required."));
            reply.headers.append(header("WWW-Authenticate", "Bearer realm=\"Tallyport\""));
            return reply;
        }
        if (!access.addressedHere)
            return refuse(request, route, 421,
                          QStringLiteral("This request is not addressed to this computer."));
        // Without a token only this computer's own programs, addressing it as such, may change anything.
        if (post && !access.tokenRequired && !(request.peer.isLoopback() && access.loopbackHost))
            return refuse(request, route, 403,
                          QStringLiteral("Without a token only this computer may acknowledge alarms."));
    }
    switch (route) {
    case Route::Page:
        return page(request, alarmId, access);
    case Route::FormAck:
        return formAck(request, alarmId);
    case Route::ApiAck:
        return apiAck(request, alarmId);
    case Route::None:
        break;
    }
    return refuse(request, route, 404, QStringLiteral("Not found."));
}

WebReply AlarmRoutes::page(const WebRequest &request, qint64 alarmId, const AlarmAccess &access)
{
    AlarmPageView view;
    bool found = false;
    if (!m_response.ReadAlarm(alarmId, view.alarm, found))
        return refuse(request, Route::Page, 503,
                      QStringLiteral("The alarm could not be read; please try again."));
    if (!found)
        return refuse(request, Route::Page, 404, QStringLiteral("There is no alarm number %1.").arg(alarmId));
    const QString kept = accessQuery(request.url);
    view.form = view.alarm.AlarmActive && !view.alarm.Ack.isSet();
    if (view.form) {
        view.action = pagePath(alarmId) + QStringLiteral("/ack") + kept;
        view.nonce = newNonce(alarmId);
    }
    // A key opens this alarm alone: the status page is linked for those holding the token.
    if (!QUrlQuery(request.url).hasQueryItem(QStringLiteral("key")) &&
        (access.tokenGiven || !access.tokenRequired)) {
        const QString token =
            QUrlQuery(request.url).queryItemValue(QStringLiteral("token"), QUrl::FullyEncoded);
        view.statusLink = token.isEmpty() ? QStringLiteral("/") : QStringLiteral("/?token=") + token;
    }
    WebReply reply{200, kHtml, AlarmPageHtml(view), {}};
    reply.headers.append(header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; "
                                                           "base-uri 'none'; form-action 'self'; "
                                                           "frame-ancestors 'none'"));
    reply.headers.append(header("Referrer-Policy", "no-referrer"));
    return reply;
}

WebReply AlarmRoutes::formAck(const WebRequest &request, qint64 alarmId)
{
    const QString back = pagePath(alarmId) + accessQuery(request.url);
    if (mediaType(request) != "application/x-www-form-urlencoded")
        return refuse(request, Route::FormAck, 415, QStringLiteral("The form's answer was not understood."),
                      back);
    QByteArray body = request.body;
    body.replace('+', ' ');
    const QUrlQuery form(QString::fromUtf8(body));
    const QString nonce = form.queryItemValue(QStringLiteral("nonce"), QUrl::FullyDecoded);
    if (!nonceValid(nonce, alarmId))
        return refuse(request, Route::FormAck, 403,
                      QStringLiteral("This form has expired or did not come from this alarm's page; "
                                     "open the page again."),
                      back);
    const AlarmResponse::AckOutcome outcome =
        m_response.Acknowledge({alarmId, form.queryItemValue(QStringLiteral("by"), QUrl::FullyDecoded),
                                form.queryItemValue(QStringLiteral("comment"), QUrl::FullyDecoded),
                                AlarmResponse::Via::WebPage, request.peer.toString()});
    if (!outcome.acknowledged())
        return refuse(request, Route::FormAck, statusOf(outcome.result), outcome.message, back);
    m_nonces.remove(nonce);
    m_nonceOrder.removeOne(nonce);
    WebReply reply{303, "text/plain; charset=utf-8", outcome.message.toUtf8() + '\n', {}};
    reply.headers.append(header("Location", back.toUtf8()));
    return reply;
}

WebReply AlarmRoutes::apiAck(const WebRequest &request, qint64 alarmId)
{
    if (mediaType(request) != "application/json")
        return refuse(request, Route::ApiAck, 415, QStringLiteral("The body must be application/json."));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    const QJsonObject object = document.object();
    const bool usable =
        error.error == QJsonParseError::NoError && document.isObject() &&
        object.value(QStringLiteral("by")).isString() &&
        (!object.contains(QStringLiteral("comment")) || object.value(QStringLiteral("comment")).isString());
    if (!usable)
        return refuse(
            request, Route::ApiAck, 400,
            QStringLiteral("The body must be a JSON object {\"by\": \"...\", \"comment\": \"...\"}."));
    const AlarmResponse::AckOutcome outcome =
        m_response.Acknowledge({alarmId, object.value(QStringLiteral("by")).toString(),
                                object.value(QStringLiteral("comment")).toString(), AlarmResponse::Via::Api,
                                request.peer.toString()});
    if (!outcome.acknowledged())
        return refuse(request, Route::ApiAck, statusOf(outcome.result), outcome.message);
    return jsonReply(200, AckJson(outcome.ack));
}

WebReply AlarmRoutes::refuse(const WebRequest &request, Route route, int status, const QString &why,
                             const QString &backLink)
{
    if (log)
        log(QStringLiteral("%1 %2 of alarm from %3 refused (%4): %5")
                .arg(QString::fromLatin1(request.method), routeName(route), request.peer.toString())
                .arg(status)
                .arg(why));
    if (route == Route::ApiAck)
        return jsonReply(status, {{QStringLiteral("error"), why}});
    return {status, kHtml, MessagePageHtml(titleOf(status), why, backLink), {}};
}

QString AlarmRoutes::newNonce(qint64 alarmId)
{
    const QString nonce = AlarmResponse::NewKey();
    m_nonces.insert(nonce, {alarmId, m_clock.elapsed()});
    m_nonceOrder.append(nonce);
    while (m_nonceOrder.size() > MaxNonces)
        m_nonces.remove(m_nonceOrder.takeFirst());
    return nonce;
}

bool AlarmRoutes::nonceValid(const QString &nonce, qint64 alarmId) const
{
    const auto found = m_nonces.constFind(nonce);
    return !nonce.isEmpty() && found != m_nonces.cend() && found->alarmId == alarmId &&
           m_clock.elapsed() - found->issuedMs < NonceLifetimeMs;
}
