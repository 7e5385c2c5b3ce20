#include "GuardedTcpServer.h"

#include <QRegularExpression>
#include <QSslSocket>
#include <QTimer>

namespace {
const QByteArray kEndOfHead = QByteArrayLiteral("\r\n\r\n");

QByteArray plainResponse(int code, const char *reason, const QByteArray &text)
{
    return "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(text.size() + 1) + "\r\nConnection: close\r\n\r\n" + text + '\n';
}

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
                return plainResponse(400, "Bad Request", "The request line is not valid HTTP/1.1.");
            continue;
        }
        if (line.isEmpty())
            continue;
        if (!headerLine.match(QString::fromLatin1(line)).hasMatch())
            return plainResponse(400, "Bad Request", "A header line is not valid.");
        if (line.toLower().startsWith("upgrade:"))
            return plainResponse(400, "Bad Request", "Protocol upgrades are not supported.");
    }
    return QByteArray();
}

// Watches one connection; a child of its socket.
class ConnectionGuard final : public QObject {
public:
    ConnectionGuard(QTcpSocket *socket, const ConnectionLimits &limits, std::shared_ptr<int> open)
        : QObject(socket), m_socket(socket), m_limits(limits), m_open(std::move(open))
    {
        ++*m_open;
        setObjectName(QStringLiteral("connectionGuard"));
        m_idle.setSingleShot(true);
        m_idle.setInterval(limits.idleMs);
        connect(&m_idle, &QTimer::timeout, this, &ConnectionGuard::onIdle);
        // Connected before the HTTP server's own handler, so this one sees new bytes first.
        connect(socket, &QIODevice::readyRead, this, &ConnectionGuard::onReadyRead);
        connect(socket, &QIODevice::bytesWritten, this, [this] { m_idle.start(); });
        m_idle.start();
    }

    ~ConnectionGuard() override { --*m_open; }

    bool mayAnswer()
    {
        if (m_socket->bytesToWrite() <= m_limits.maxUnsentBytes)
            return true;
        drop();
        return false;
    }

    void requestAnswered()
    {
        m_received = 0;
        m_head.clear();
        m_headChecked = false;
        m_answered = true;
    }

private:
    void onReadyRead()
    {
        m_idle.start();
        const qint64 fresh = m_socket->bytesAvailable();
        if (fresh <= 0)
            return;
        m_received += fresh;
        m_answered = false;
        if (!m_headChecked) {
            m_head += m_socket->peek(qMin<qint64>(fresh, m_limits.maxRequestBytes + 1));
            const qsizetype end = m_head.indexOf(kEndOfHead);
            if (end >= 0) {
                m_headChecked = true;
                const QByteArray problem = headProblem(m_head.left(end));
                if (!problem.isEmpty())
                    return refuse(problem);
                // The parser answers a complete request at once; one it cannot parse gets no answer.
                QTimer::singleShot(0, this, &ConnectionGuard::checkParsed);
            } else if (m_head.size() > m_limits.maxRequestBytes) {
                return refuse(
                    plainResponse(431, "Request Header Fields Too Large", "The request head is too large."));
            }
        }
        if (m_received > m_limits.maxRequestBytes)
            refuse(plainResponse(413, "Payload Too Large", "The request is too large."));
    }

    void checkParsed()
    {
        if (m_answered || m_refused || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray head = m_head.toLower();
        if (head.contains("\ncontent-length:") || head.contains("\ntransfer-encoding:"))
            return; // a body may still be on its way
        refuse(plainResponse(400, "Bad Request", "The request could not be parsed."));
    }

    void onIdle()
    {
        if (m_received > 0 && !m_answered && !m_refused)
            refuse(plainResponse(408, "Request Timeout", "The request was not completed in time."));
        else
            close();
    }

    // Answers and closes; the HTTP parser sees none of this connection's bytes any more.
    void refuse(const QByteArray &response)
    {
        if (m_refused)
            return;
        m_refused = true;
        QObject::disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
        m_socket->write(response);
        close();
    }

    void close()
    {
        m_idle.stop();
        CloseWhenWritten(m_socket);
    }

    // Closes at once, discarding what was not sent yet.
    void drop()
    {
        m_refused = true;
        m_idle.stop();
        QObject::disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
        m_socket->abort();
        m_socket->deleteLater();
    }

    QTcpSocket *m_socket;
    ConnectionLimits m_limits;
    QTimer m_idle;
    QByteArray m_head;
    qint64 m_received = 0;
    bool m_headChecked = false;
    bool m_answered = false;
    bool m_refused = false;
    std::shared_ptr<int> m_open;
};
} // namespace

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

GuardedTcpServer::GuardedTcpServer(const ConnectionLimits &limits, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_open(std::make_shared<int>(0))
{
}

namespace {
ConnectionGuard *guardOf(QTcpSocket *socket)
{
    return static_cast<ConnectionGuard *>(
        socket->findChild<QObject *>(QStringLiteral("connectionGuard"), Qt::FindDirectChildrenOnly));
}
} // namespace

void GuardedTcpServer::RequestAnswered(QTcpSocket *socket)
{
    if (ConnectionGuard *guard = guardOf(socket))
        guard->requestAnswered();
}

bool GuardedTcpServer::MayAnswer(QTcpSocket *socket)
{
    ConnectionGuard *guard = guardOf(socket);
    return !guard || guard->mayAnswer();
}

void GuardedTcpServer::incomingConnection(qintptr handle)
{
    QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    if (*m_open >= m_limits.maxConnections) {
        socket->write(plainResponse(503, "Service Unavailable", "Too many connections."));
        CloseWhenWritten(socket);
        return;
    }
    new ConnectionGuard(socket, m_limits, m_open);
    if (!m_tls) {
        hand(socket);
        return;
    }
    auto *tls = static_cast<QSslSocket *>(socket);
    tls->setSslConfiguration(*m_tls);
    connect(tls, &QSslSocket::encrypted, this, [this, tls] { hand(tls); });
    connect(tls, &QSslSocket::sslErrors, tls, [tls] { tls->abort(); });
    connect(tls, &QAbstractSocket::errorOccurred, tls, [tls] { tls->deleteLater(); });
    tls->startServerEncryption();
}

// Gives a connection to the HTTP server, which takes it from the pending list when told.
void GuardedTcpServer::hand(QTcpSocket *socket)
{
    addPendingConnection(socket);
    // The plain path returns into QTcpServer, which signals the new connection itself.
    if (m_tls)
        emit newConnection();
}
