// The network side of a device: listening, reading 60-byte commands, and delivering replies,
// with the requested fault.
#include "SimBytes.h"
#include "SimDevice.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// A connection nobody uses any more is dropped after this long.
constexpr int IdleConnectionMs = 120000;
constexpr int ResetDelayMs = 50;

bool isLogDownload(const QByteArray &command)
{
    return command.startsWith(QByteArray::fromHex("DECADE04"));
}

void send(QTcpSocket *socket, const QByteArray &bytes)
{
    if (socket->state() == QAbstractSocket::ConnectedState && !bytes.isEmpty())
        socket->write(bytes);
}

} // namespace

void SimDevice::setAddress(const QHostAddress &address, quint16 port)
{
    m_address = address;
    m_port = port;
    const int config = configPage();
    if (simTrimField(pageText(config, 30, 20)).isEmpty())
        setPageText(config, 30, 20, address.toString().toLatin1());
}

bool SimDevice::start(const QHostAddress &address, quint16 port)
{
    stop();
    setAddress(address, port);
    return start();
}

bool SimDevice::start()
{
    stop();
    m_error.clear();
    m_started = true;
    applyListening();
    if (m_fault != SimFault::Refused && !isListening()) {
        m_started = false;
        return false;
    }
    return true;
}

bool SimDevice::start(const QString &address, quint16 port)
{
    QHostAddress host;
    if (!host.setAddress(address)) {
        m_error = QStringLiteral("Not an IP address: %1").arg(address);
        return false;
    }
    return start(host, port);
}

void SimDevice::stop()
{
    m_started = false;
    applyListening();
    const QList<QTcpSocket *> sockets = m_sockets;
    m_sockets.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

bool SimDevice::isListening() const
{
    return m_server != nullptr && m_server->isListening();
}

// Listens while started, except while the device is to refuse connections.
void SimDevice::applyListening()
{
    const bool wanted = m_started && m_fault != SimFault::Refused;
    if (wanted && m_server == nullptr) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &SimDevice::acceptConnections);
        if (!m_server->listen(m_address, m_port)) {
            m_error = m_server->errorString();
            delete m_server;
            m_server = nullptr;
        }
    } else if (!wanted && m_server != nullptr) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
}

void SimDevice::acceptConnections()
{
    while (m_server != nullptr && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        socket->setParent(this); // outlives a listener closed for a refused fault
        ++m_connectionCount;
        m_sockets.append(socket);
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->start(IdleConnectionMs);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle] {
            idle->start(IdleConnectionMs);
            readCommands(socket);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_sockets.removeOne(socket);
            socket->deleteLater();
        });
        readCommands(socket);
    }
}

void SimDevice::readCommands(QTcpSocket *socket)
{
    while (socket->bytesAvailable() >= CommandSize) {
        QByteArray command = socket->read(CommandSize);
        // read() may hand over the connection's whole read buffer (16 KB) that holds these 60
        // bytes; the record of commands keeps only the bytes.
        command.squeeze();
        m_commands.append(command);
        emit commandReceived(command);
        answer(socket, command);
    }
}

void SimDevice::answer(QTcpSocket *socket, const QByteArray &command)
{
    const SimFault fault = takeFault();
    switch (fault) {
    case SimFault::Silent:
        return;
    case SimFault::Busy: {
        QByteArray busy(CommandSize, '\0');
        busy[0] = char(0xB5);
        busy[1] = char(0x5E);
        busy[2] = char(0xB5);
        busy[3] = char(0x5E);
        deliver(socket, busy, SimFault::None);
        return;
    }
    case SimFault::Garbage: {
        QByteArray garbage(CommandSize, '\0');
        for (char &byte : garbage)
            byte = char(m_random.bounded(256));
        garbage[0] = char(quint8(command[0]) ^ 0x5A); // never the echo
        garbage.replace("error", "e-ror");
        garbage.replace("ERROR", "E-ROR");
        deliver(socket, garbage, SimFault::None);
        return;
    }
    case SimFault::ErrorText:
        deliver(socket, errorReply(command), SimFault::None);
        return;
    default:
        break;
    }
    QByteArray reply;
    const bool overridden = takeOverride(command, &reply);
    if (!overridden)
        reply = execute(command);
    const int piece = m_faultOptions.logPieceBytes;
    if (!overridden && fault == SimFault::None && isLogDownload(command) && piece > 0 &&
        reply.size() > piece) {
        deliver(socket, reply.left(piece), fault);
        QTimer::singleShot(m_faultOptions.logPieceDelayMs, socket, [socket, rest = reply.mid(piece)] {
            send(socket, rest);
            socket->disconnectFromHost();
        });
        return;
    }
    deliver(socket, reply, fault);
    // After the log the device has nothing more to say: it closes the connection (once the
    // bytes are out, so nothing is lost).
    if (!overridden && fault == SimFault::None && isLogDownload(command))
        socket->disconnectFromHost();
}

void SimDevice::deliver(QTcpSocket *socket, const QByteArray &reply, SimFault fault)
{
    QByteArray bytes = reply;
    switch (fault) {
    case SimFault::Slow:
        QTimer::singleShot(m_faultOptions.slowDelayMs, socket, [socket, bytes] { send(socket, bytes); });
        break;
    case SimFault::Dribble:
        dribble(socket, bytes, 0);
        break;
    case SimFault::ShortReply:
        bytes = bytes.left(qMax(0, m_faultOptions.shortLength));
        send(socket, bytes);
        break;
    case SimFault::OverlongReply: {
        const qsizetype length =
            bytes.size() < m_faultOptions.overlongLength ? m_faultOptions.overlongLength : bytes.size() + 20;
        bytes.append(QByteArray(length - bytes.size(), '\0'));
        send(socket, bytes);
        break;
    }
    case SimFault::WrongEcho:
        if (!bytes.isEmpty())
            bytes[0] = char(quint8(bytes[0]) ^ 0xFF);
        send(socket, bytes);
        break;
    case SimFault::ResetMidReply:
        bytes = bytes.left(qMax(0, m_faultOptions.resetAfterBytes));
        send(socket, bytes);
        socket->flush();
        QTimer::singleShot(ResetDelayMs, socket, [socket] { socket->abort(); });
        break;
    default:
        send(socket, bytes);
        break;
    }
    emit replySent(bytes);
}

void SimDevice::dribble(QTcpSocket *socket, const QByteArray &reply, int position)
{
    if (position >= reply.size())
        return;
    send(socket, reply.mid(position, 1));
    QTimer::singleShot(qMax(1, m_faultOptions.dribbleIntervalMs), socket,
                       [this, socket, reply, position] { dribble(socket, reply, position + 1); });
}
