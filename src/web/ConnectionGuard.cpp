#include "ConnectionGuard.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <utility>

namespace {
const QByteArray kEndOfHead = QByteArrayLiteral("\r\n\r\n");

QByteArray badRequest(const QByteArray &text)
{
    return PlainHttpResponse(400, "Bad Request", text);
}

QByteArray tooLarge(const QByteArray &text)
{
    return PlainHttpResponse(413, "Payload Too Large", text);
}

// The headers of a request head that decide how it is framed and where it goes.
struct Framing {
    QList<QByteArray> lengths; // every Content-Length value
    bool transferEncoding = false;
    QList<QByteArray> hosts; // every Host value
};

// The request line "METHOD target HTTP/1.x" and header lines "Name: value", no upgrade to another
// protocol. Empty when they are acceptable, else the refusal.
QByteArray syntaxProblem(const QList<QByteArray> &lines, Framing &framing)
{
    static const QRegularExpression requestLine(
        QStringLiteral("^[A-Za-z]{1,16} [\\x21-\\x7e]+ HTTP/1\\.[01]$"));
    static const QRegularExpression headerLine(
        QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+:[\\t\\x20-\\x7e\\x80-\\xff]*$"));
    if (!requestLine.match(QString::fromLatin1(lines.value(0))).hasMatch())
        return badRequest("The request line is not valid HTTP/1.1.");
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (!headerLine.match(QString::fromLatin1(line)).hasMatch())
            return badRequest("A header line is not valid.");
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "upgrade")
            return badRequest("Protocol upgrades are not supported.");
        if (name == "content-length")
            framing.lengths.append(value);
        else if (name == "transfer-encoding")
            framing.transferEncoding = true;
        else if (name == "host")
            framing.hosts.append(value);
    }
    return QByteArray();
}

// A target in absolute form ("http://host/path") must name the host the Host header names: the
// server and a proxy in front of it would otherwise read the request as going to different hosts.
bool targetNamesAnotherHost(const QUrl &target, const QList<QByteArray> &hosts)
{
    if (target.scheme().isEmpty())
        return false;
    if (hosts.size() != 1)
        return true;
    const QUrl host(QStringLiteral("//") + QString::fromLatin1(hosts.first()));
    const int defaultPort =
        target.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80;
    return !host.isValid() || host.host().compare(target.host(), Qt::CaseInsensitive) != 0 ||
           host.port(defaultPort) != target.port(defaultPort);
}

// Whether the body the head announces may follow it: only on a route that takes one, with a
// Content-Length within the route's bound. bodyLength is then its length.
QByteArray bodyProblem(const QByteArray &method, const QString &path, const Framing &framing,
                       const ConnectionLimits &limits, qsizetype headSize, qint64 &bodyLength)
{
    bodyLength = 0;
    if (!framing.lengths.isEmpty()) {
        const QByteArray &length = framing.lengths.first();
        if (length.isEmpty() ||
            !std::all_of(length.cbegin(), length.cend(), [](char c) { return c >= '0' && c <= '9'; }))
            return badRequest("The Content-Length is not a whole number.");
        bool fits = false;
        bodyLength = length.toLongLong(&fits);
        if (!fits)
            bodyLength = std::numeric_limits<qint64>::max();
    }
    const qint64 taken = limits.bodyLimit ? limits.bodyLimit(method, path) : 0;
    if (taken <= 0 && (bodyLength > 0 || framing.transferEncoding))
        return tooLarge("This address takes no request body.");
    if (framing.transferEncoding)
        return PlainHttpResponse(411, "Length Required", "A request body needs a Content-Length.");
    if (bodyLength > taken || bodyLength > limits.maxRequestBytes - headSize)
        return tooLarge("The request body is too large.");
    return QByteArray();
}

// Why a complete request head must not reach the HTTP parser, as the answer to send; empty when
// it may. bodyLength is then the length of the body that follows the head.
QByteArray headProblem(const QByteArray &head, const ConnectionLimits &limits, qint64 &bodyLength)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    Framing framing;
    if (const QByteArray problem = syntaxProblem(lines, framing); !problem.isEmpty())
        return problem;
    // Framing that two parties (this server and a proxy before it) could read differently.
    if (framing.lengths.size() > 1)
        return badRequest("The request has more than one Content-Length.");
    if (!framing.lengths.isEmpty() && framing.transferEncoding)
        return badRequest("The request has both a Content-Length and a Transfer-Encoding.");
    if (framing.hosts.size() > 1)
        return badRequest("The request has more than one Host.");
    const QList<QByteArray> requestLine = lines.first().split(' ');
    const QUrl target(QString::fromLatin1(requestLine.at(1)), QUrl::StrictMode);
    if (targetNamesAnotherHost(target, framing.hosts))
        return badRequest("The request's target names another host than its Host header.");
    return bodyProblem(requestLine.first(), target.path(), framing, limits, head.size(), bodyLength);
}
} // namespace

QByteArray PlainHttpResponse(int code, const char *reason, const QByteArray &text)
{
    return "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(text.size() + 1) + "\r\nConnection: close\r\n\r\n" + text + '\n';
}

QHostAddress PeerOf(const QTcpSocket &socket)
{
    const QHostAddress address = socket.peerAddress();
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4) : address;
}

QHostAddress PeerShare(const QHostAddress &peer)
{
    if (peer.protocol() != QAbstractSocket::IPv6Protocol)
        return peer;
    Q_IPV6ADDR network = peer.toIPv6Address();
    std::fill(network.c + 8, network.c + 16, quint8(0));
    return QHostAddress(network);
}

// The HTTP server deletes a socket that disconnects while it listens to it; after a refusal (or
// a request it could not parse) it no longer does. What was written goes out first, unless the
// peer does not take it within a few seconds.
void CloseWhenWritten(QTcpSocket *socket)
{
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater,
                     Qt::UniqueConnection);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
    else
        QTimer::singleShot(5000, socket, &QObject::deleteLater);
}

int ConnectionTable::countFrom(const QHostAddress &share) const
{
    return int(std::count_if(m_guards.cbegin(), m_guards.cend(),
                             [&share](const ConnectionGuard *guard) { return guard->share() == share; }));
}

ConnectionGuard *ConnectionTable::longestWaiting(const QHostAddress *share) const
{
    ConnectionGuard *found = nullptr;
    for (ConnectionGuard *guard : m_guards) {
        if (!guard->waitingForRequest() || (share && guard->share() != *share))
            continue;
        if (!found || guard->waitingSince() < found->waitingSince())
            found = guard;
    }
    return found;
}

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits,
                                 std::shared_ptr<ConnectionTable> table)
    : QObject(socket), m_socket(socket), m_limits(limits), m_table(std::move(table)), m_peer(PeerOf(*socket)),
      m_share(PeerShare(m_peer)), m_waitingSince(m_table->nextTurn())
{
    m_table->add(this);
    setObjectName(QStringLiteral("connectionGuard"));
    m_idle.setSingleShot(true);
    m_idle.setInterval(limits.idleMs);
    connect(&m_idle, &QTimer::timeout, this, &ConnectionGuard::onIdle);
    m_requestDeadline.setSingleShot(true);
    m_requestDeadline.setInterval(limits.headMs);
    connect(&m_requestDeadline, &QTimer::timeout, this, &ConnectionGuard::onRequestDeadline);
    m_answerDeadline.setSingleShot(true);
    m_answerDeadline.setInterval(AnswerMs);
    connect(&m_answerDeadline, &QTimer::timeout, this, &ConnectionGuard::onAnswerDeadline);
    // Connected before the HTTP server's own handler, so this one sees new bytes first.
    connect(socket, &QIODevice::readyRead, this, &ConnectionGuard::onReadyRead);
    connect(socket, &QIODevice::bytesWritten, this, [this] { m_idle.start(); });
    connect(socket, &QAbstractSocket::disconnected, this, &ConnectionGuard::release);
    m_idle.start();
}

ConnectionGuard::~ConnectionGuard()
{
    release();
}

ConnectionGuard *ConnectionGuard::of(QTcpSocket *socket)
{
    return static_cast<ConnectionGuard *>(
        socket->findChild<QObject *>(QStringLiteral("connectionGuard"), Qt::FindDirectChildrenOnly));
}

bool ConnectionGuard::mayAnswer()
{
    if (m_socket->bytesToWrite() <= m_limits.maxUnsentBytes)
        return true;
    drop();
    return false;
}

void ConnectionGuard::requestTaken()
{
    m_taken = qMin(m_taken + 1, m_requestEnds.size());
    if (m_taken == m_requestEnds.size())
        m_answerDeadline.stop();
}

void ConnectionGuard::requestAnswered()
{
    if (m_requestEnds.isEmpty())
        return;
    m_answeredTo = m_requestEnds.takeFirst();
    m_taken = qMax<qsizetype>(0, m_taken - 1);
    m_readAgain = true;
    m_waitingSince = m_table->nextTurn();
    if (m_requestEnds.size() == m_taken)
        m_answerDeadline.stop();
    else
        m_answerDeadline.start();
}

void ConnectionGuard::giveUpPlace()
{
    if (m_inRequest || !m_requestEnds.isEmpty())
        refuse(PlainHttpResponse(503, "Service Unavailable", "Too many connections."));
    else
        close();
}

// The HTTP parser reads every byte available after this (and gives back those past the request
// it answers); the bytes are followed here request by request, so every head is checked, also
// those that come in one piece with the request before.
void ConnectionGuard::onReadyRead()
{
    m_idle.start();
    const QByteArray bytes = m_socket->peek(m_socket->bytesAvailable());
    // What the parser gave back after its last answer was checked already.
    qsizetype at = m_readAgain ? qBound<qsizetype>(0, m_checkedTo - m_answeredTo, bytes.size()) : 0;
    m_readAgain = false;
    m_checkedTo += bytes.size() - at;
    while (at < bytes.size() && !m_refused) {
        // A line break between requests is not a request (some clients send one after a body).
        if (!m_inRequest && (bytes.at(at) == '\r' || bytes.at(at) == '\n')) {
            ++at;
            continue;
        }
        if (!m_inRequest) {
            // The time a request may take runs from its first byte; later bytes do not restart it.
            m_inRequest = true;
            m_head.clear();
            m_bodyLeft = -1;
            m_requestDeadline.start();
        }
        at += m_bodyLeft < 0 ? takeHead(bytes, at) : takeBody(bytes, at);
        if (m_bodyLeft == 0 && !m_refused)
            completeRequest(m_checkedTo - (bytes.size() - at));
    }
}

// Adds bytes to the head of the request under way and checks it once it is complete; returns
// how many bytes belonged to the head.
qsizetype ConnectionGuard::takeHead(const QByteArray &bytes, qsizetype from)
{
    const qsizetype before = m_head.size();
    m_head += bytes.mid(from, m_limits.maxRequestBytes + 1 - before);
    const qsizetype end = m_head.indexOf(kEndOfHead, qMax<qsizetype>(0, before - 3));
    if (end < 0) {
        if (m_head.size() > m_limits.maxRequestBytes)
            refuse(
                PlainHttpResponse(431, "Request Header Fields Too Large", "The request head is too large."));
        return m_head.size() - before;
    }
    m_head.truncate(end);
    const qsizetype taken = end + kEndOfHead.size() - before;
    qint64 bodyLength = 0;
    const QByteArray problem = headProblem(m_head, m_limits, bodyLength);
    if (!problem.isEmpty()) {
        refuse(problem);
        return taken;
    }
    m_bodyLeft = bodyLength;
    return taken;
}

qsizetype ConnectionGuard::takeBody(const QByteArray &bytes, qsizetype from)
{
    const qsizetype taken = qMin<qint64>(m_bodyLeft, bytes.size() - from);
    m_bodyLeft -= taken;
    return taken;
}

// end: where the request ends in the connection's stream.
void ConnectionGuard::completeRequest(qint64 end)
{
    m_inRequest = false;
    m_bodyLeft = -1;
    m_requestDeadline.stop();
    m_requestEnds.append(end);
    // The parser takes a complete request within moments; one it cannot parse gets no answer.
    if (m_requestEnds.size() == m_taken + 1)
        m_answerDeadline.start();
}

void ConnectionGuard::onAnswerDeadline()
{
    if (!m_requestEnds.isEmpty() && !m_refused && m_socket->state() == QAbstractSocket::ConnectedState)
        refuse(badRequest("The request could not be parsed."));
}

void ConnectionGuard::onIdle()
{
    if (m_inRequest && !m_refused)
        refuse(PlainHttpResponse(408, "Request Timeout", "The request was not completed in time."));
    else
        close();
}

void ConnectionGuard::onRequestDeadline()
{
    if (m_inRequest && !m_refused)
        refuse(PlainHttpResponse(408, "Request Timeout", "The request was not completed in time."));
}

// Answers and closes; the HTTP parser sees none of this connection's bytes any more.
void ConnectionGuard::refuse(const QByteArray &response)
{
    if (m_refused)
        return;
    m_refused = true;
    QObject::disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    m_socket->write(response);
    close();
}

void ConnectionGuard::close()
{
    m_idle.stop();
    m_requestDeadline.stop();
    m_answerDeadline.stop();
    release();
    CloseWhenWritten(m_socket);
}

// Closes at once, discarding what was not sent yet.
void ConnectionGuard::drop()
{
    m_refused = true;
    m_idle.stop();
    m_requestDeadline.stop();
    m_answerDeadline.stop();
    release();
    QObject::disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    m_socket->abort();
    m_socket->deleteLater();
}

// A connection closing gives its place to the next at once, not when its socket is deleted.
void ConnectionGuard::release()
{
    if (!std::exchange(m_holdsPlace, false))
        return;
    m_table->remove(this);
}
