#include "GuardedTcpServer.h"

#include <QSslSocket>

GuardedTcpServer::GuardedTcpServer(const ConnectionLimits &limits, QObject *parent)
    : QTcpServer(parent), m_limits(limits), m_table(std::make_shared<ConnectionTable>())
{
}

void GuardedTcpServer::RequestTaken(QTcpSocket *socket)
{
    if (ConnectionGuard *guard = ConnectionGuard::of(socket))
        guard->requestTaken();
}

void GuardedTcpServer::RequestAnswered(QTcpSocket *socket)
{
    if (ConnectionGuard *guard = ConnectionGuard::of(socket))
        guard->requestAnswered();
}

bool GuardedTcpServer::MayAnswer(QTcpSocket *socket)
{
    ConnectionGuard *guard = ConnectionGuard::of(socket);
    return !guard || guard->mayAnswer();
}

// On a loopback address every client is this computer, mostly with one address: the share of
// an address would only make the places fewer.
bool GuardedTcpServer::makeRoom(const QHostAddress &peer)
{
    ConnectionGuard *leaving = nullptr;
    const QHostAddress share = PeerShare(peer);
    if (!serverAddress().isLoopback() && m_table->countFrom(share) >= m_limits.maxPerPeer) {
        leaving = m_table->longestWaiting(&share);
    } else if (m_table->size() >= m_limits.maxConnections) {
        leaving = m_table->longestWaiting();
    } else {
        return true;
    }
    if (!leaving)
        return false;
    leaving->giveUpPlace();
    return true;
}

void GuardedTcpServer::incomingConnection(qintptr handle)
{
    QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(handle)) {
        delete socket;
        return;
    }
    if (!makeRoom(PeerOf(*socket))) {
        socket->write(PlainHttpResponse(503, "Service Unavailable", "Too many connections."));
        CloseWhenWritten(socket);
        return;
    }
    new ConnectionGuard(socket, m_limits, m_table);
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

#include "moc_GuardedTcpServer.cpp"
