#pragma once

#include "WebExchange.h"
#include "WebSnapshot.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class AlarmRoutes;
class OffThreadRender;
class RangeWorker;
class SensorRoutes;
class StatusSource;
class QTcpSocket;

// The read-only HTTP endpoints, all answered from memory:
//   /                 the status page
//   /api/v1/status    the same as JSON
//   /api/v1/alarms    the newest alarms (?limit=1 to 100, default 20)
//   /metrics          Prometheus text format
// (the first two and the metrics rendered on a thread of their own from a snapshot)
//   /healthz          200 "ok", or 503 with the reason polling is not keeping up
//   /sensor/{id}, /api/v1/sensors/{id}/history   a sensor's past (SensorRoutes), answered once
//                     the range worker has read it: answers go out in the order of the requests
// and the routes of one alarm (AlarmRoutes: its page, and the two that acknowledge it, the only
// routes that change anything or take a body, when the server is given them).
// Elsewhere only GET (and HEAD, its headers alone) is served, and nothing is read from files. With a token
// every request must carry "Authorization: Bearer <token>" (the page may carry ?token=<token> instead).
// Without one, a request must be addressed to this computer by its Host header (421 otherwise):
// localhost, a loopback address, or a name listed.
class WebServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr int DefaultAlarmLimit = 20;
    static constexpr int MaxAlarmLimit = 100;
    // A rendered page, status or metrics text is used again for this long while what it shows
    // has not changed, and while a cycle runs (its rows change all the time): a burst of requests
    // costs one rendering.
    static constexpr int ReuseMs = 1000;

    // hosts: the names a request without a token may be addressed to besides 127.0.0.1, [::1]
    // and localhost.
    WebServer(const StatusSource &source, const QString &token, const QStringList &hosts = {},
              QObject *parent = nullptr);
    ~WebServer() override;

    // The largest request body a route takes; 0 where it takes none, which is every route but the
    // two that acknowledge an alarm. The connections' guard refuses any other body at once
    // (ConnectionLimits::bodyLimit).
    static qint64 BodyLimit(const QByteArray &method, const QString &path);

    // The answer to a GET (or other method) of a URL with the given headers, on the read-only routes.
    WebReply Answer(const QByteArray &method, const QUrl &url,
                    const QList<QPair<QByteArray, QByteArray>> &headers) const;
    // The answer to any request: an alarm's routes when it is one of them and they are served.
    WebReply Answer(const WebRequest &request);

    // Serves the routes of alarms (none while null); publicUrl, when set, is an origin their
    // requests may come from besides this server's own.
    void setAlarmRoutes(AlarmRoutes *routes, const QString &publicUrl = QString());
    // Where sensors' ranges are read and their pages drawn.
    RangeWorker &rangeWorker();

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    // The refusal of a read-only request by method, Host or token; empty when it may be answered.
    std::optional<WebReply> refusal(const QByteArray &method, const QUrl &url,
                                    const QList<QPair<QByteArray, QByteArray>> &headers) const;
    bool authorised(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers) const;
    bool addressedHere(const QList<QPair<QByteArray, QByteArray>> &headers) const;
    // Whether the Host header names this computer by a loopback address or "localhost".
    static bool loopbackHost(const QList<QPair<QByteArray, QByteArray>> &headers);
    bool tokenGiven(const QUrl &url, const QList<QPair<QByteArray, QByteArray>> &headers) const;
    WebReply alarms(const QUrl &url) const;
    WebReply health() const;
    // The answers of a connection's requests in their order; one not made yet holds back those
    // after it.
    struct Outgoing {
        bool head = false;
        bool close = false;
        std::optional<WebReply> reply;
    };
    std::shared_ptr<Outgoing> queueAnswer(QTcpSocket *socket, const QHttpServerRequest &request);
    void sendReady(QTcpSocket *socket);
    void send(const WebReply &reply, const Outgoing &outgoing, QTcpSocket *socket);
    QByteArray rendered(const QString &path, const std::function<QByteArray()> &render) const;
    // The status page, its JSON or the metrics, rendered on a thread of its own from a snapshot
    // taken here (at tens of thousands of sensors a rendering takes longer than the window may
    // go unanswered).
    void answerSnapshot(const QUrl &url, const std::shared_ptr<Outgoing> &outgoing, QTcpSocket *socket);

    // A rendered answer and what the views showed when it was rendered.
    struct Rendered {
        QByteArray body;
        quint64 generation = 0;
        std::optional<int> emailsWaiting;
        QList<ChannelView> channels;
        QElapsedTimer age;
    };
    // What the views show now (no body, no age).
    Rendered stamp() const;
    // Whether the answer kept may be used again for what the views show now.
    bool reusable(const Rendered &kept, const Rendered &now) const;

    const StatusSource &m_source;
    QByteArray m_tokenHash; // SHA-256 of the token; empty when none is required
    QStringList m_hosts;
    AlarmRoutes *m_alarmRoutes = nullptr;
    QString m_publicOrigin; // "https://host:port" of [web] publicUrl; empty when none
    mutable QHash<QString, Rendered> m_rendered;
    std::unique_ptr<SensorRoutes> m_sensorRoutes;
    QHash<QTcpSocket *, QList<std::shared_ptr<Outgoing>>> m_outgoing;
    // Last, so they go first: a rendering still under way is waited for, and never delivered.
    QHash<QString, std::shared_ptr<OffThreadRender>> m_renders;
};

// Whether given is the token, compared in time that does not depend on where they differ.
bool TokenMatches(const QByteArray &given, const QByteArray &tokenHash);
