#include "WebServer.h"

#include "GuardedTcpServer.h"
#include "MetricsText.h"
#include "StatusJson.h"
#include "StatusPage.h"
#include "StatusSource.h"

#include <QCryptographicHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <QUrlQuery>

#include <openssl/crypto.h>

namespace {
const QByteArray kText = QByteArrayLiteral("text/plain; charset=utf-8");

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

QByteArray headerValue(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &name)
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value.trimmed();
    return QByteArray();
}

// The page reloads itself at the update rate, within reason.
int refreshSeconds(int updateRate)
{
    return qBound(10, updateRate, 300);
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return QByteArrayLiteral("GET");
    case QHttpServerRequest::Method::Head:
        return QByteArrayLiteral("HEAD");
    default:
        return QByteArrayLiteral("OTHER");
    }
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
      m_tokenHash(token.isEmpty() ? QByteArray() : sha256(token.toUtf8())), m_hosts(hosts)
{
}

qint64 WebServer::BodyLimit(const QByteArray &, const QString &)
{
    return 0;
}

// Without a token anyone who can reach the port may read, which on the loopback address is this
// computer's own programs only, unless a web page in its browser reaches 127.0.0.1 through a
// name of its own (DNS rebinding): such a request names that other host. An address cannot be
// rebound, so every loopback address is this computer.
bool WebServer::addressedHere(const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    if (!m_tokenHash.isEmpty())
        return true;
    QString host = QString::fromLatin1(headerValue(headers, QByteArrayLiteral("host"))).trimmed().toLower();
    if (host.isEmpty())
        return false;
    // The port, after the last colon outside an IPv6 literal's brackets.
    const int colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon > host.lastIndexOf(QLatin1Char(']')))
        host.truncate(colon);
    if (host == QLatin1String("localhost") || m_hosts.contains(host))
        return true;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool WebServer::authorised(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    if (m_tokenHash.isEmpty())
        return true;
    const QByteArray authorization = headerValue(headers, QByteArrayLiteral("authorization"));
    if (authorization.size() > 7 && authorization.left(7).compare("bearer ", Qt::CaseInsensitive) == 0)
        return TokenMatches(authorization.mid(7).trimmed(), m_tokenHash);
    if (url.path() == QLatin1String("/")) {
        const QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("token")))
            return TokenMatches(query.queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8(),
                                m_tokenHash);
    }
    return false;
}

WebReply WebServer::Answer(const QByteArray &method, const QUrl &url,
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
    const QString path = url.path();
    if (path == QLatin1String("/")) {
        WebReply reply{200,
                       "text/html; charset=utf-8",
                       rendered(path,
                                [this] {
                                    const WebSnapshot snapshot = m_source.snapshot();
                                    return StatusPageHtml(snapshot,
                                                          refreshSeconds(snapshot.updateRateSeconds));
                                }),
                       {}};
        reply.headers.append(headerPair("Content-Security-Policy",
                                        "default-src 'none'; style-src 'unsafe-inline'; "
                                        "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"));
        reply.headers.append(headerPair("Referrer-Policy", "no-referrer"));
        return reply;
    }
    if (path == QLatin1String("/api/v1/status"))
        return {
            200, "application/json", rendered(path, [this] { return StatusJson(m_source.snapshot()); }), {}};
    if (path == QLatin1String("/api/v1/alarms"))
        return alarms(url);
    if (path == QLatin1String("/metrics"))
        return {200,
                "text/plain; version=0.0.4; charset=utf-8",
                rendered(path, [this] { return MetricsText(m_source.snapshot()); }),
                {}};
    if (path == QLatin1String("/healthz"))
        return health();
    return textReply(404, "Not found.");
}

QByteArray WebServer::rendered(const QString &path, const std::function<QByteArray()> &render) const
{
    const std::optional<int> waiting =
        m_source.emailsWaiting ? std::optional<int>(m_source.emailsWaiting()) : std::nullopt;
    const QList<ChannelView> channels = m_source.channels ? m_source.channels() : QList<ChannelView>();
    Rendered &kept = m_rendered[path];
    const bool reusable = kept.age.isValid() && kept.age.elapsed() < ReuseMs &&
                          kept.emailsWaiting == waiting && kept.channels == channels &&
                          (kept.generation == m_source.generation() || m_source.cycleRunning());
    if (!reusable) {
        kept.body = render();
        kept.generation = m_source.generation();
        kept.emailsWaiting = waiting;
        kept.channels = channels;
        kept.age.start();
    }
    return kept.body;
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
    send(Answer(methodName(request.method()), request.url(), request.headers()), request, socket);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    send(textReply(404, "Not found."), request, socket);
}

void WebServer::send(const WebReply &reply, const QHttpServerRequest &request, QTcpSocket *socket)
{
    if (!GuardedTcpServer::MayAnswer(socket))
        return;
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
    responder.writeHeader(QByteArrayLiteral("Content-Type"), reply.contentType);
    responder.writeHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(reply.body.size()));
    responder.writeHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    responder.writeHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
    for (const auto &[name, value] : reply.headers)
        responder.writeHeader(name, value);
    // The answer to HEAD is that of GET without its body.
    responder.writeBody(request.method() == QHttpServerRequest::Method::Head ? QByteArray() : reply.body);
    GuardedTcpServer::RequestAnswered(socket);
    // The HTTP library keeps every connection open; a client that asked for a close gets one.
    if (headerValue(request.headers(), QByteArrayLiteral("connection"))
            .compare("close", Qt::CaseInsensitive) == 0)
        CloseWhenWritten(socket);
}
