#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpSocket;

// Limits of every connection to the web server.
struct ConnectionLimits {
    int maxConnections = 64;
    // Where clients come from different addresses (the server listens on other than a loopback
    // address), one address (an IPv6 one: its /64 network) holds no more connections than this.
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
    // The largest body a request of this method to this path may carry; 0 where none is taken.
    // A body anywhere else, or above the bound, is refused at once (413), before it is waited
    // for. Unset: no route takes a body.
    std::function<qint64(const QByteArray &method, const QString &path)> bodyLimit;
};

// An HTTP/1.1 answer with a line of text, after which the connection closes.
QByteArray PlainHttpResponse(int code, const char *reason, const QByteArray &text);

// Closes the socket once what was written to it has gone out, and deletes it.
void CloseWhenWritten(QTcpSocket *socket);

// The address a connection comes from, an IPv4 client of a dual-stack server as IPv4.
QHostAddress PeerOf(const QTcpSocket &socket);

// What of a peer's address counts for its share of the places: an IPv4 address whole, an IPv6
// address by its /64 network (one computer usually has a /64 to itself and may use any address
// in it).
QHostAddress PeerShare(const QHostAddress &peer);

class ConnectionGuard;

// The connections that hold one of the server's places, shared by the server and the guards
// (which may outlive the server).
class ConnectionTable {
public:
    int size() const { return int(m_guards.size()); }
    int countFrom(const QHostAddress &share) const;
    // Of the connections that can give up their place (from the share alone, when given), the one
    // that has waited longest for a request; null when there is none.
    ConnectionGuard *longestWaiting(const QHostAddress *share = nullptr) const;

    void add(ConnectionGuard *guard) { m_guards.append(guard); }
    void remove(ConnectionGuard *guard) { m_guards.removeOne(guard); }
    quint64 nextTurn() { return ++m_turns; }

private:
    QList<ConnectionGuard *> m_guards;
    quint64 m_turns = 0;
};

// Watches one connection before the HTTP parser sees its bytes; a child of its socket. It follows
// the connection's requests one after another (a head, then the body its Content-Length gives)
// and checks each head before the parser sees it: an oversized or malformed head, framing two
// parties could read differently, a body where none is taken, an upgrade request, a request not
// complete in time and an idle connection are answered with 4xx and closed.
class ConnectionGuard final : public QObject {
public:
    // A complete request the HTTP parser has not taken this long after it came (one it could not
    // parse) gets 400. One it took may take longer to answer (a sensor's year is being read).
    static constexpr int AnswerMs = 1000;

    ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits,
                    std::shared_ptr<ConnectionTable> table);
    ~ConnectionGuard() override;

    static ConnectionGuard *of(QTcpSocket *socket);

    const QHostAddress &peer() const { return m_peer; }
    const QHostAddress &share() const { return m_share; }
    // Every complete request has been answered: the connection can give up its place without
    // losing an answer (a request still on its way, head or body, is refused).
    bool waitingForRequest() const { return m_requestEnds.isEmpty(); }
    // Grows with the time the connection began to wait for its request.
    quint64 waitingSince() const { return m_waitingSince; }

    bool mayAnswer();
    // The parser took the oldest request not taken yet: its answer is being made.
    void requestTaken();
    void requestAnswered();
    // Closes to make room for another connection: a request begun gets 503.
    void giveUpPlace();

private:
    void onReadyRead();
    qsizetype takeHead(const QByteArray &bytes, qsizetype from);
    qsizetype takeBody(const QByteArray &bytes, qsizetype from);
    void completeRequest(qint64 end);
    void onAnswerDeadline();
    void onIdle();
    void onRequestDeadline();
    void refuse(const QByteArray &response);
    void close();
    void drop();
    void release();

    QTcpSocket *m_socket;
    ConnectionLimits m_limits;
    std::shared_ptr<ConnectionTable> m_table;
    QHostAddress m_peer;
    QHostAddress m_share;
    QTimer m_idle;
    QTimer m_requestDeadline;
    QTimer m_answerDeadline;
    // The request under way: its head so far, then the body bytes still to come (-1 in the head).
    QByteArray m_head;
    qint64 m_bodyLeft = -1;
    bool m_inRequest = false;
    // Where the bytes stand in the connection's stream: how far they have been checked, where
    // each complete request not yet answered ends, and where the last one answered ended. The
    // HTTP library answers one request at a time: bytes it read past the end of the request it
    // answers become readable again, and are not checked twice.
    qint64 m_checkedTo = 0;
    QList<qint64> m_requestEnds;
    qint64 m_answeredTo = 0;
    // Of the requests not answered yet, how many the parser has taken (the first ones).
    qsizetype m_taken = 0;
    bool m_readAgain = false;
    quint64 m_waitingSince = 0;
    bool m_refused = false;
    bool m_holdsPlace = true;
};
