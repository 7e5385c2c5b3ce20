#pragma once

#include "ConnectionGuard.h"

#include <QSslConfiguration>
#include <QTcpServer>

#include <memory>
#include <optional>

class QTcpSocket;

// The listening socket of the web server. Each connection is watched before the HTTP parser sees
// its bytes (ConnectionGuard), so no client can make the program hold unbounded memory or open
// sockets. When every place is taken, the connection that has waited longest for a complete
// request gives its place to the new one (a request it has begun, head or body, gets 503), so
// clients that open connections and send nothing, send a request a byte at a time, or promise a
// body they never send, cannot shut others out; only when no connection can give up its place
// (each has a complete request not yet answered) does a new one get 503. Where clients come from
// different addresses, each address (an IPv6 one: its /64 network) has a share of the places, and
// a new connection beyond it takes the place of one of that address's own. With a TLS
// configuration every connection is encrypted first.
class GuardedTcpServer final : public QTcpServer {
    Q_OBJECT
public:
    explicit GuardedTcpServer(const ConnectionLimits &limits, QObject *parent = nullptr);

    void setTls(const QSslConfiguration &configuration) { m_tls = configuration; }
    int openConnections() const { return m_table->size(); }

    // The HTTP server has parsed a request on the socket; its answer may take a while.
    static void RequestTaken(QTcpSocket *socket);
    // The HTTP server has answered a request on the socket: its byte count starts again.
    static void RequestAnswered(QTcpSocket *socket);
    // Whether an answer may be written to the socket. False when the client has left more than
    // the limit of earlier answers unread: the connection is then dropped.
    static bool MayAnswer(QTcpSocket *socket);

protected:
    void incomingConnection(qintptr handle) override;

private:
    bool makeRoom(const QHostAddress &peer);
    void hand(QTcpSocket *socket);

    ConnectionLimits m_limits;
    std::optional<QSslConfiguration> m_tls;
    // Shared with the connections' guards, which may outlive this object.
    std::shared_ptr<ConnectionTable> m_table;
};
