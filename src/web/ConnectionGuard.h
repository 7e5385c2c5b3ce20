#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>

class QTcpSocket;

// Limits of every connection to the web server.
struct ConnectionLimits {
    int maxConnections = 64;
    // Where clients come from different addresses (the server listens on other than a loopback
    // address), one address holds no more connections than this.
    int maxPerPeer = 16;
    // A request (head and body) larger than this is refused with 413 or 431.
    int maxRequestBytes = 16 * 1024;
    // A request must be complete this long after its first byte (else 408), however steadily
    // its bytes come.
    int headMs = 10000;
    // A connection that sends nothing for this long is closed (a request left unfinished gets 408).
    int idleMs = 30000;
    // A client that has not taken this much of the answers already sent gets no further answer:
    // its connection is dropped, so asking again and again without reading holds no memory.
    qint64 maxUnsentBytes = 8 * 1024 * 1024;
};

// An HTTP/1.1 answer with a line of text, after which the connection closes.
QByteArray PlainHttpResponse(int code, const char *reason, const QByteArray &text);

// Closes the socket once what was written to it has gone out, and deletes it.
void CloseWhenWritten(QTcpSocket *socket);

// The address a connection comes from, an IPv4 client of a dual-stack server as IPv4.
QHostAddress PeerOf(const QTcpSocket &socket);

class ConnectionGuard;

// The connections that hold one of the server's places, shared by the server and the guards
// (which may outlive the server).
class ConnectionTable {
public:
    int size() const { return int(m_guards.size()); }
    int countFrom(const QHostAddress &peer) const;
    // Of the connections not in the middle of a request (from peer alone, when given), the one
    // that has waited longest for a request; null when there is none.
    ConnectionGuard *longestWaiting(const QHostAddress *peer = nullptr) const;

    void add(ConnectionGuard *guard) { m_guards.append(guard); }
    void remove(ConnectionGuard *guard) { m_guards.removeOne(guard); }
    quint64 nextTurn() { return ++m_turns; }

private:
    QList<ConnectionGuard *> m_guards;
    quint64 m_turns = 0;
};

// Watches one connection before the HTTP parser sees its bytes; a child of its socket. An
// oversized or malformed request head, an upgrade request, a request not complete in time and an
// idle connection are answered with 4xx and closed.
class ConnectionGuard final : public QObject {
public:
    ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits,
                    std::shared_ptr<ConnectionTable> table);
    ~ConnectionGuard() override;

    static ConnectionGuard *of(QTcpSocket *socket);

    const QHostAddress &peer() const { return m_peer; }
    // No request head has come complete since the connection opened or its last answer: the
    // connection can give up its place without losing an answer.
    bool waitingForRequest() const { return !m_headChecked; }
    // Grows with the time the connection began to wait for its request.
    quint64 waitingSince() const { return m_waitingSince; }

    bool mayAnswer();
    void requestAnswered();
    // Closes to make room for another connection: a request begun gets 503.
    void giveUpPlace();

private:
    void onReadyRead();
    bool checkHead(qint64 fresh);
    void checkParsed();
    void onIdle();
    void onHeadDeadline();
    void refuse(const QByteArray &response);
    void close();
    void drop();
    void release();

    QTcpSocket *m_socket;
    ConnectionLimits m_limits;
    std::shared_ptr<ConnectionTable> m_table;
    QHostAddress m_peer;
    QTimer m_idle;
    QTimer m_headDeadline;
    QByteArray m_head;
    qint64 m_received = 0;
    quint64 m_waitingSince = 0;
    bool m_headChecked = false;
    bool m_answered = false;
    bool m_refused = false;
    bool m_holdsPlace = true;
};
