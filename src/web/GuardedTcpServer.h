#pragma once

#include <QSslConfiguration>
#include <QTcpServer>

#include <memory>
#include <optional>

class QTcpSocket;

// Closes the socket once what was written to it has gone out, and deletes it.
void CloseWhenWritten(QTcpSocket *socket);

// Limits of every connection to the web server.
struct ConnectionLimits {
    int maxConnections = 64;
    // A request (head and body) larger than this is refused with 413 or 431.
    int maxRequestBytes = 16 * 1024;
    // A connection that sends nothing for this long is closed (a request left unfinished gets 408).
    int idleMs = 30000;
    // A client that has not taken this much of the answers already sent gets no further answer:
    // its connection is dropped, so asking again and again without reading holds no memory.
    qint64 maxUnsentBytes = 8 * 1024 * 1024;
};

// The listening socket of the web server. Each connection is watched before the HTTP parser sees
// its bytes: too many connections, an oversized or malformed request head, an upgrade request
// and an idle connection are answered with 4xx or 503 and closed, so no client can make the
// program hold unbounded memory or open sockets. With a TLS configuration every connection is
// encrypted first.
class GuardedTcpServer final : public QTcpServer {
    Q_OBJECT
public:
    explicit GuardedTcpServer(const ConnectionLimits &limits, QObject *parent = nullptr);

    void setTls(const QSslConfiguration &configuration) { m_tls = configuration; }
    int openConnections() const { return *m_open; }

    // The HTTP server has answered a request on the socket: its byte count starts again.
    static void RequestAnswered(QTcpSocket *socket);
    // Whether an answer may be written to the socket. False when the client has left more than
    // the limit of earlier answers unread: the connection is then dropped.
    static bool MayAnswer(QTcpSocket *socket);

protected:
    void incomingConnection(qintptr handle) override;

private:
    void hand(QTcpSocket *socket);

    ConnectionLimits m_limits;
    std::optional<QSslConfiguration> m_tls;
    // Shared with the connections' guards, which may outlive this object's members.
    std::shared_ptr<int> m_open;
};
