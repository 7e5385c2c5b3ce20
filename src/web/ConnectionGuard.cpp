#include "ConnectionGuard.h"

#include <QRegularExpression>
#include <QTcpSocket>

#include <algorithm>
#include <utility>

namespace {
const QByteArray kEndOfHead = QByteArrayLiteral("\r\n\r\n");

// A request head the HTTP parser may see: a request line "METHOD target HTTP/1.x", header lines
// "Name: value", no upgrade to another protocol. Empty when it is acceptable, else the refusal.
QByteArray headProblem(const QByteArray &head)
{
    static const QRegularExpression requestLine(
        QStringLiteral("^[A-Za-z]{1,16} [\\x21-\\x7e]+ HTTP/1\\.[01]$"));
    static const QRegularExpression headerLine(
        QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+:[\\t\\x20-\\x7e\\x80-\\xff]*$"));
    const QList<QByteArray> lines = head.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (i == 0) {
            if (!requestLine.match(QString::fromLatin1(line)).hasMatch())
                return PlainHttpResponse(400, "Bad Request", "The request line is not valid HTTP/1.1.");
            continue;
        }
        if (line.isEmpty())
            continue;
        if (!headerLine.match(QString::fromLatin1(line)).hasMatch())
            return PlainHttpResponse(400, "Bad Request", "A header line is not valid.");
        if (line.toLower().startsWith("upgrade:"))
            return PlainHttpResponse(400, "Bad Request", "Protocol upgrades are not supported.");
    }
    return QByteArray();
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

int ConnectionTable::countFrom(const QHostAddress &peer) const
{
    return int(std::count_if(m_guards.cbegin(), m_guards.cend(),
                             [&peer](const ConnectionGuard *guard) { return guard->peer() == peer; }));
}

ConnectionGuard *ConnectionTable::longestWaiting(const QHostAddress *peer) const
{
    ConnectionGuard *found = nullptr;
    for (ConnectionGuard *guard : m_guards) {
        if (!guard->waitingForRequest() || (peer && guard->peer() != *peer))
            continue;
        if (!found || guard->waitingSince() < found->waitingSince())
            found = guard;
    }
    return found;
}

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits,
                                 std::shared_ptr<ConnectionTable> table)
    : QObject(socket), m_socket(socket), m_limits(limits), m_table(std::move(table)), m_peer(PeerOf(*socket)),
      m_waitingSince(m_table->nextTurn())
{
    m_table->add(this);
    setObjectName(QStringLiteral("connectionGuard"));
    m_idle.setSingleShot(true);
    m_idle.setInterval(limits.idleMs);
    connect(&m_idle, &QTimer::timeout, this, &ConnectionGuard::onIdle);
    m_headDeadline.setSingleShot(true);
    m_headDeadline.setInterval(limits.headMs);
    connect(&m_headDeadline, &QTimer::timeout, this, &ConnectionGuard::onHeadDeadline);
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

void ConnectionGuard::requestAnswered()
{
    m_headDeadline.stop();
    m_received = 0;
    m_head.clear();
    m_headChecked = false;
    m_answered = true;
    m_waitingSince = m_table->nextTurn();
}

void ConnectionGuard::giveUpPlace()
{
    if (m_received > 0 && !m_answered)
        refuse(PlainHttpResponse(503, "Service Unavailable", "Too many connections."));
    else
        close();
}

void ConnectionGuard::onReadyRead()
{
    m_idle.start();
    const qint64 fresh = m_socket->bytesAvailable();
    if (fresh <= 0)
        return;
    // The time a request may take runs from its first byte; later bytes do not restart it.
    if (m_received == 0)
        m_headDeadline.start();
    m_received += fresh;
    m_answered = false;
    if (!m_headChecked && !checkHead(fresh))
        return;
    if (m_received > m_limits.maxRequestBytes)
        refuse(PlainHttpResponse(413, "Payload Too Large", "The request is too large."));
}

// Adds fresh bytes to the head seen so far and checks it once it is complete. False when the
// connection was refused.
bool ConnectionGuard::checkHead(qint64 fresh)
{
    m_head += m_socket->peek(qMin<qint64>(fresh, m_limits.maxRequestBytes + 1));
    const qsizetype end = m_head.indexOf(kEndOfHead);
    if (end < 0) {
        if (m_head.size() <= m_limits.maxRequestBytes)
            return true;
        refuse(PlainHttpResponse(431, "Request Header Fields Too Large", "The request head is too large."));
        return false;
    }
    m_headChecked = true;
    const QByteArray problem = headProblem(m_head.left(end));
    if (!problem.isEmpty()) {
        refuse(problem);
        return false;
    }
    // The parser answers a complete request at once; one it cannot parse gets no answer.
    QTimer::singleShot(0, this, &ConnectionGuard::checkParsed);
    return true;
}

void ConnectionGuard::checkParsed()
{
    if (m_answered || m_refused || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    const QByteArray head = m_head.toLower();
    if (head.contains("\ncontent-length:") || head.contains("\ntransfer-encoding:"))
        return; // a body may still be on its way
    refuse(PlainHttpResponse(400, "Bad Request", "The request could not be parsed."));
}

void ConnectionGuard::onIdle()
{
    if (m_received > 0 && !m_answered && !m_refused)
        refuse(PlainHttpResponse(408, "Request Timeout", "The request was not completed in time."));
    else
        close();
}

void ConnectionGuard::onHeadDeadline()
{
    if (m_received > 0 && !m_answered && !m_refused)
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
    m_headDeadline.stop();
    release();
    CloseWhenWritten(m_socket);
}

// Closes at once, discarding what was not sent yet.
void ConnectionGuard::drop()
{
    m_refused = true;
    m_idle.stop();
    m_headDeadline.stop();
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
