#pragma once

#include "WebExchange.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class AlarmResponse;

// Who is asking, as the web server worked it out from the request.
struct AlarmAccess {
    bool tokenRequired = false;
    bool tokenGiven = false;    // a valid token, in the Authorization header or as ?token=
    bool addressedHere = false; // the read-only routes' Host rule holds (always, with a token)
    bool loopbackHost = false;  // Host names this computer by a loopback address or "localhost"
    // The origins a browser's request may come from: this server as the request addresses it, and
    // [web] publicUrl's ("https://host:port", lower case, default ports left out).
    QStringList origins;
};

// The routes of one alarm, the first that change anything:
//   GET  /alarm/{id}                 the alarm's page, with a form while it is open and unacknowledged
//   POST /alarm/{id}/ack             the form (application/x-www-form-urlencoded: by, comment, nonce);
//                                    303 back to the page
//   POST /api/v1/alarms/{id}/ack     for programs: application/json {"by": "...", "comment": "..."}
// A link's ?key= opens and acknowledges its own alarm only, while it is open. With a token set the
// token (or the key) is required on all three; without one only a loopback peer with a loopback
// Host may post. A foreign or "null" Origin is refused, the form must return the nonce of the page
// it came from, bodies are bounded (BodyLimit), and every refusal is answered and logged.
class AlarmRoutes {
public:
    enum class Route { None, Page, FormAck, ApiAck };
    // The largest body the two POST routes take: a name, a comment and a nonce, encoded.
    static constexpr qint64 BodyLimit = 4096;
    // How long a page's nonce is good for, and how many are kept (the oldest go first).
    static constexpr qint64 NonceLifetimeMs = 4LL * 3600 * 1000;
    static constexpr int MaxNonces = 512;

    // Which route a path is, with its alarm number.
    static Route Parse(const QString &path, qint64 &alarmId);

    explicit AlarmRoutes(AlarmResponse &response);

    // Where a refusal is logged (one line, without the token or key).
    std::function<void(const QString &line)> log;

    WebReply Answer(const WebRequest &request, Route route, qint64 alarmId, const AlarmAccess &access);

private:
    WebReply page(const WebRequest &request, qint64 alarmId, const AlarmAccess &access);
    WebReply formAck(const WebRequest &request, qint64 alarmId);
    WebReply apiAck(const WebRequest &request, qint64 alarmId);
    // The answer to a refused request, logged.
    WebReply refuse(const WebRequest &request, Route route, int status, const QString &why,
                    const QString &backLink = QString());
    QString newNonce(qint64 alarmId);
    // Whether the nonce is one this server gave a page of this alarm, recently enough.
    bool nonceValid(const QString &nonce, qint64 alarmId) const;

    AlarmResponse &m_response;
    struct Nonce {
        qint64 alarmId = 0;
        qint64 issuedMs = 0;
    };
    QHash<QString, Nonce> m_nonces;
    QList<QString> m_nonceOrder;
    QElapsedTimer m_clock;
};
