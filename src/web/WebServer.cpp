#include "WebServer.h"

#include "AlarmRoutes.h"
#include "ConnectionGuard.h"
#include "GuardedTcpServer.h"
#include "MetricsText.h"
#include "OffThreadRender.h"
#include "SensorRoutes.h"
#include "StatusJson.h"
#include "StatusPage.h"
#include "StatusSource.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <openssl/crypto.h>

namespace {
const QByteArray kText = QByteArrayLiteral("text/plain; charset=utf-8");
const QString kStatusPagePath = QStringLiteral("/");
const QString kStatusJsonPath = QStringLiteral("/api/v1/status");
const QString kMetricsPath = QStringLiteral("/metrics");

// The routes answered with a rendering of what the views show.
bool isSnapshotRoute(const QString &path)
{
    return path == kStatusPagePath || path == kStatusJsonPath || path == kMetricsPath;
}

// The body of a snapshot route.
QByteArray renderSnapshot(const QString &path, const WebSnapshot &snapshot)
{
    if (path == kStatusPagePath)
        return StatusPageHtml(snapshot, PageRefreshSeconds(snapshot.updateRateSeconds));
    if (path == kStatusJsonPath)
        return StatusJson(snapshot);
    return MetricsText(snapshot);
}

QPair<QByteArray, QByteArray> headerPair(const char *name, const char *value)
{
    return {QByteArray(name), QByteArray(value)};
}

WebReply textReply(int status, const QByteArray &text)
{
    return {status, kText, text + '\n', {}};
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 421:
        return "Misdirected Request";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QByteArrayLiteral("GET");
    case QHttpServerRequest::Method::Head:
        return QByteArrayLiteral("HEAD");
    case QHttpServerRequest::Method::Post:
        return QByteArrayLiteral("POST");
    default:
        return QByteArrayLiteral("OTHER");
    }
}
// The host of a Host header, lower case, without its port or an IPv6 literal's brackets.
QString hostName(const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QString host = QString::fromLatin1(HeaderValue(headers, QByteArrayLiteral("host"))).trimmed().toLower();
    // The port, after the last colon outside an IPv6 literal's brackets.
    const int colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon > host.lastIndexOf(QLatin1Char(']')))
        host.truncate(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    return host;
}

// "scheme://host[:port]" of an address, lower case, its scheme's default port left out.
QString originOf(const QUrl &url)
{
    QUrl origin;
    origin.setScheme(url.scheme().toLower());
    origin.setHost(url.host().toLower());
    const int defaultPort = origin.scheme() == QLatin1String("https") ? 443 : 80;
    if (url.port(defaultPort) != defaultPort)
        origin.setPort(url.port());
    return origin.toString(QUrl::FullyEncoded);
}
// The status page's links to alarms' and sensors' pages keep the ?token= the page was opened with.
QByteArray withPageQuery(const QByteArray &page, const QUrl &url)
{
    const QUrlQuery query(url);
    if (!query.hasQueryItem(QStringLiteral("token")))
        return page;
    const QByteArray suffix =
        "?token=" +
        QUrl::toPercentEncoding(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded));
    QByteArray html = page;
    for (const QByteArray link :
         {QByteArrayLiteral("<a href=\"alarm/"), QByteArrayLiteral("<a href=\"sensor/")}) {
        for (qsizetype at = html.indexOf(link); at >= 0; at = html.indexOf(link, at + 1)) {
            const qsizetype end = html.indexOf('"', at + link.size());
            if (end < 0)
                break;
            html.insert(end, suffix);
        }
    }
    return html;
}
// The answer of a snapshot route with its rendered body, for the address asked for.
WebReply snapshotReply(const QString &path, const QByteArray &body, const QUrl &url)
{
    if (path == kStatusJsonPath)
        return {200, "application/json", body, {}};
    if (path == kMetricsPath)
        return {200, "text/plain; version=0.0.4; charset=utf-8", body, {}};
    WebReply reply{200, "text/html; charset=utf-8", withPageQuery(body, url), {}};
    // The page's list of open alarms links to each alarm's page; it submits nothing.
    reply.headers.append(headerPair("Content-Security-Policy",
                                    "default-src 'none'; style-src 'unsafe-inline'; "
                                    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"));
    reply.headers.append(headerPair("Referrer-Policy", "no-referrer"));
    return reply;
}
} // namespace

bool TokenMatches(const QByteArray &given, const QByteArray &tokenHash)
{
    const QByteArray hash = sha256(given);
    return hash.size() == tokenHash.size() &&
           CRYPTO_memcmp(hash.constData(), tokenHash.constData(), hash.size()) == 0;
}

WebServer::WebServer(const StatusSource &source, const QString &token, const QStringList &hosts,
                     QObject *parent)
    : QAbstractHttpServer(parent), m_source(source),
      m_tokenHash(token.isEmpty() ? QByteArray() : sha256(token.toUtf8())), m_hosts(hosts),
      m_sensorRoutes(std::make_unique<SensorRoutes>(source))
{
}

WebServer::~WebServer()
{
    // The connections outlive this object's members while its bases are torn down.
    for (auto it = m_outgoing.cbegin(); it != m_outgoing.cend(); ++it)
        disconnect(it.key(), nullptr, this, nullptr);
}

RangeWorker &WebServer::rangeWorker()
{
    return m_sensorRoutes->worker();
}

qint64 WebServer::BodyLimit(const QByteArray &method, const QString &path)
{
    qint64 alarmId = 0;
    const AlarmRoutes::Route route = AlarmRoutes::Parse(path, alarmId);
    const bool takesBody = route == AlarmRoutes::Route::FormAck || route == AlarmRoutes::Route::ApiAck;
    return method == "POST" && takesBody ? AlarmRoutes::BodyLimit : 0;
}

void WebServer::setAlarmRoutes(AlarmRoutes *routes, const QString &publicUrl)
{
    m_alarmRoutes = routes;
    m_publicOrigin = publicUrl.isEmpty() ? QString() : originOf(QUrl(publicUrl));
}

bool WebServer::loopbackHost(const QList<QPair<QByteArray, QByteArray>> &headers)
{
    const QString host = hostName(headers);
    const QHostAddress address(host);
    return host == QLatin1String("localhost") || (!address.isNull() && address.isLoopback());
}

// Without a token anyone who can reach the port may read, which on the loopback address is this
// computer's own programs only, unless a web page in its browser reaches 127.0.0.1 through a
// name of its own (DNS rebinding): such a request names that other host. An address cannot be
// rebound, so every loopback address is this computer.
bool WebServer::addressedHere(const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    if (!m_tokenHash.isEmpty())
        return true;
    const QString host = hostName(headers);
    return !host.isEmpty() && (m_hosts.contains(host) || loopbackHost(headers));
}

bool WebServer::authorised(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    return m_tokenHash.isEmpty() || tokenGiven(url, headers);
}

// The token in the Authorization header; the pages (the status page and an alarm's) may carry
// it as ?token= instead, since a browser opens them from a link.
bool WebServer::tokenGiven(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    if (m_tokenHash.isEmpty())
        return false;
    const QByteArray authorization = HeaderValue(headers, QByteArrayLiteral("authorization"));
    if (authorization.size() > 7 && authorization.left(7).compare("bearer ", Qt::CaseInsensitive) == 0)
        return TokenMatches(authorization.mid(7).trimmed(), m_tokenHash);
    qint64 alarmId = 0;
    int sensorId = 0;
    const bool page = url.path() == QLatin1String("/") ||
                      AlarmRoutes::Parse(url.path(), alarmId) != AlarmRoutes::Route::None ||
                      SensorRoutes::Parse(url.path(), sensorId) == SensorRoutes::Route::Page;
    const QUrlQuery query(url);
    if (page && query.hasQueryItem(QStringLiteral("token")))
        return TokenMatches(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(),
                            m_tokenHash);
    return false;
}

WebReply WebServer::Answer(const WebRequest &request)
{
    qint64 alarmId = 0;
    const AlarmRoutes::Route route = AlarmRoutes::Parse(request.url.path(), alarmId);
    if (route == AlarmRoutes::Route::None || !m_alarmRoutes)
        return Answer(request.method, request.url, request.headers);
    AlarmAccess access;
    access.tokenRequired = !m_tokenHash.isEmpty();
    access.tokenGiven = tokenGiven(request.url, request.headers);
    access.addressedHere = addressedHere(request.headers);
    access.loopbackHost = loopbackHost(request.headers);
    const QString host =
        QString::fromLatin1(HeaderValue(request.headers, QByteArrayLiteral("host"))).toLower();
    if (!host.isEmpty())
        for (const char *scheme : {"http", "https"})
            access.origins.append(originOf(QUrl(QString::fromLatin1(scheme) + QStringLiteral("://") + host)));
    if (!m_publicOrigin.isEmpty())
        access.origins.append(m_publicOrigin);
    return m_alarmRoutes->Answer(request, route, alarmId, access);
}

std::optional<WebReply> WebServer::refusal(const QByteArray &method, const QUrl &url,
                                           const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    // HEAD is answered as GET; send() leaves out the body. Uptime checkers often ask with HEAD.
    if (method != "GET" && method != "HEAD") {
        WebReply reply = textReply(405, "Only GET and HEAD are served.");
        reply.headers.append(headerPair("Allow", "GET, HEAD"));
        return reply;
    }
    if (!addressedHere(headers))
        return textReply(421, "This server answers requests addressed to 127.0.0.1, [::1] or localhost "
                              "(or a name listed in [web] hosts of Tallyport.ini).");
    if (!authorised(url, headers)) {
        WebReply reply = textReply(401, "A valid token is required.");
        reply.headers.append(headerPair("WWW-Authenticate", "Bearer realm=\"Tallyport\""));
        return reply;
    }
    return std::nullopt;
}

WebReply WebServer::Answer(const QByteArray &method, const QUrl &url,
                           const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    if (std::optional<WebReply> refused = refusal(method, url, headers))
        return *refused;
    const QString path = url.path();
    if (isSnapshotRoute(path))
        return snapshotReply(
            path, rendered(path, [this, &path] { return renderSnapshot(path, m_source.snapshot()); }), url);
    if (path == QLatin1String("/api/v1/alarms"))
        return alarms(url);
    if (path == QLatin1String("/healthz"))
        return health();
    return textReply(404, "Not found.");
}

WebServer::Rendered WebServer::stamp() const
{
    Rendered now;
    now.generation = m_source.generation();
    if (m_source.emailsWaiting)
        now.emailsWaiting = m_source.emailsWaiting();
    if (m_source.channels)
        now.channels = m_source.channels();
    return now;
}

bool WebServer::reusable(const Rendered &kept, const Rendered &now) const
{
    return kept.age.isValid() && kept.age.elapsed() < ReuseMs && kept.emailsWaiting == now.emailsWaiting &&
           kept.channels == now.channels && (kept.generation == now.generation || m_source.cycleRunning());
}

QByteArray WebServer::rendered(const QString &path, const std::function<QByteArray()> &render) const
{
    Rendered now = stamp();
    Rendered &kept = m_rendered[path];
    if (!reusable(kept, now)) {
        now.body = render();
        now.age.start();
        kept = now;
    }
    return kept.body;
}

void WebServer::answerSnapshot(const QUrl &url, const std::shared_ptr<Outgoing> &outgoing, QTcpSocket *socket)
{
    const QString path = url.path();
    const Rendered now = stamp();
    if (const Rendered &kept = m_rendered[path]; reusable(kept, now)) {
        outgoing->reply = snapshotReply(path, kept.body, url);
        return;
    }
    std::shared_ptr<OffThreadRender> &render = m_renders[path];
    if (!render)
        render = std::make_shared<OffThreadRender>();
    // The request that starts the rendering keeps its body for those after it; one that waits
    // for a rendering under way takes that body as it is.
    const bool starts = !render->busy();
    OffThreadRender::Make make;
    if (starts)
        make = [path, snapshot = m_source.snapshot()] { return renderSnapshot(path, snapshot); };
    QPointer<QTcpSocket> waiting(socket);
    render->render(make, [this, starts, now, url, waiting, outgoing](const QByteArray &body) {
        const QString path = url.path();
        if (starts) {
            Rendered &kept = m_rendered[path];
            kept = now;
            kept.body = body;
            kept.age.start();
        }
        outgoing->reply = snapshotReply(path, body, url);
        if (waiting)
            sendReady(waiting);
    });
}

WebReply WebServer::alarms(const QUrl &url) const
{
    int limit = DefaultAlarmLimit;
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("limit"))) {
        bool ok = false;
        limit = query.queryItemValue(QStringLiteral("limit")).toInt(&ok);
        if (!ok || limit < 1 || limit > MaxAlarmLimit)
            return textReply(400, "limit must be a whole number from 1 to " +
                                      QByteArray::number(MaxAlarmLimit) + '.');
    }
    return {200, "application/json", AlarmsJson(m_source.newestAlarms(limit)), {}};
}

WebReply WebServer::health() const
{
    const HealthView health = m_source.health();
    if (health.ok)
        return textReply(200, "ok");
    return textReply(503, (health.code + QStringLiteral(": ") + health.text).toUtf8());
}

bool WebServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    WebRequest exchange{methodName(request.method()), request.url(), request.headers(), request.body(),
                        PeerOf(*socket)};
    const std::shared_ptr<Outgoing> outgoing = queueAnswer(socket, request);
    int sensorId = 0;
    const SensorRoutes::Route route = SensorRoutes::Parse(exchange.url.path(), sensorId);
    if (route == SensorRoutes::Route::None && isSnapshotRoute(exchange.url.path()) &&
        !refusal(exchange.method, exchange.url, exchange.headers)) {
        answerSnapshot(exchange.url, outgoing, socket);
    } else if (route == SensorRoutes::Route::None) {
        outgoing->reply = Answer(exchange);
    } else if (std::optional<WebReply> refused = refusal(exchange.method, exchange.url, exchange.headers)) {
        outgoing->reply = refused;
    } else {
        QPointer<QTcpSocket> kept(socket);
        outgoing->reply =
            m_sensorRoutes->Answer(exchange, route, sensorId, [this, kept, outgoing](const WebReply &reply) {
                outgoing->reply = reply;
                if (kept)
                    sendReady(kept);
            });
    }
    sendReady(socket);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    queueAnswer(socket, request)->reply = textReply(404, "Not found.");
    sendReady(socket);
}

std::shared_ptr<WebServer::Outgoing> WebServer::queueAnswer(QTcpSocket *socket,
                                                            const QHttpServerRequest &request)
{
    auto outgoing = std::make_shared<Outgoing>();
    outgoing->head = request.method() == QHttpServerRequest::Method::Head;
    // The HTTP library keeps every connection open; a client that asked for a close gets one.
    outgoing->close = HeaderValue(request.headers(), QByteArrayLiteral("connection"))
                          .compare("close", Qt::CaseInsensitive) == 0;
    auto queue = m_outgoing.find(socket);
    if (queue == m_outgoing.end()) {
        queue = m_outgoing.insert(socket, {});
        connect(socket, &QObject::destroyed, this, [this, socket] { m_outgoing.remove(socket); });
    }
    queue->append(outgoing);
    // Parsed: the connection's guard stops waiting for the library to answer it.
    GuardedTcpServer::RequestTaken(socket);
    return outgoing;
}

void WebServer::sendReady(QTcpSocket *socket)
{
    auto queue = m_outgoing.find(socket);
    while (queue != m_outgoing.end() && !queue->isEmpty() && queue->first()->reply) {
        const std::shared_ptr<Outgoing> outgoing = queue->takeFirst();
        send(*outgoing->reply, *outgoing, socket);
        // Sending may close the connection, and its queue with it.
        queue = m_outgoing.find(socket);
    }
}

void WebServer::send(const WebReply &reply, const Outgoing &outgoing, QTcpSocket *socket)
{
    if (!GuardedTcpServer::MayAnswer(socket))
        return;
    QByteArray bytes =
        "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    const auto header = [&bytes](const QByteArray &name, const QByteArray &value) {
        bytes += name + ": " + value + "\r\n";
    };
    header("Content-Type", reply.contentType);
    header("Content-Length", QByteArray::number(reply.body.size()));
    header("Cache-Control", "no-store");
    header("X-Content-Type-Options", "nosniff");
    for (const auto &[name, value] : reply.headers)
        header(name, value);
    bytes += "\r\n";
    socket->write(bytes);
    // The answer to HEAD is that of GET without its body. The body goes as a write of its own:
    // the socket keeps a large one as it is, where joining it to the head copied megabytes of
    // metrics on the window's thread.
    if (!outgoing.head && !reply.body.isEmpty())
        socket->write(reply.body);
    GuardedTcpServer::RequestAnswered(socket);
    if (outgoing.close)
        CloseWhenWritten(socket);
}

#include "moc_WebServer.cpp"
