#include "LinkTransaction.h"

#include "DeviceCommands.h"
#include "LinkStatus.h"

#include <core/ProgramState.h>

#include <QNetworkProxy>

#include <algorithm>

namespace {
// Every byte the device has buffered, in an array of their own size: readAll() and read() hand
// over the device's read buffer, 16 kB or more for a 60-byte reply, and a cycle keeps
// thousands of replies until it has taken their devices.
QByteArray takeBuffered(QIODevice &device)
{
    QByteArray bytes(qsizetype(device.bytesAvailable()), Qt::Uninitialized);
    const qint64 taken = device.read(bytes.data(), bytes.size());
    bytes.resize(qsizetype(std::max<qint64>(0, taken)));
    return bytes;
}
} // namespace

LinkTransaction::LinkTransaction(ProgramState &state, QObject *parent) : QObject(parent), m_state(state)
{
    // Devices sit on the local network: never route them through a proxy.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5% early; a time-out never ends before its time.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LinkTransaction::onTimeout);
    connect(&m_socket, &QAbstractSocket::stateChanged, this, &LinkTransaction::onStateChanged);
    connect(&m_socket, &QIODevice::readyRead, this, [this] {
        if (m_phase == Phase::Replying)
            checkReply();
    });
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, &LinkTransaction::onSocketError);
}

LinkTransaction::~LinkTransaction()
{
    // The socket's own signals must not reach a half-destroyed transaction.
    m_socket.disconnect(this);
    m_socket.abort();
}

void LinkTransaction::start(const QString &ipAddress, int port, const QByteArray &command, int expectedLength,
                            const LinkTimings &timings)
{
    abort();
    ++m_generation;
    m_timings = timings;
    m_command = command;
    m_expectedLength = qMax(1, expectedLength);
    m_reply.clear();
    m_phase = Phase::Connecting;
    if (port < 1 || port > 65535) {
        m_state.AddError(QStringLiteral("OpenWinSocket()"),
                         QStringLiteral("port %1 is out of range").arg(port));
        afterOpen(false);
        return;
    }
    m_socket.connectToHost(ipAddress, quint16(port));
    // A refused connection may already have ended the attempt within the call.
    if (m_phase == Phase::Connecting)
        m_timer.start(m_timings.connectMs);
}

void LinkTransaction::later(const std::function<void()> &report)
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, report] {
            if (generation == m_generation)
                report();
        },
        Qt::QueuedConnection);
}

void LinkTransaction::abort()
{
    ++m_generation;
    m_phase = Phase::Idle;
    m_timer.stop();
    m_socket.abort();
}

void LinkTransaction::onStateChanged()
{
    const auto state = m_socket.state();
    switch (m_phase) {
    case Phase::Connecting:
        // A refused or failed attempt leaves the socket closed: no use waiting on.
        if (state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState) {
            m_timer.stop();
            const bool open = state == QAbstractSocket::ConnectedState;
            LinkStatus::Connection(m_state, open ? QStringLiteral("opened")
                                                 : QStringLiteral("could not be established"));
            afterOpen(open);
        }
        break;
    case Phase::Replying:
        checkReply();
        break;
    case Phase::Closing:
        if (state == QAbstractSocket::UnconnectedState)
            afterClose(true);
        break;
    case Phase::Idle:
        break;
    }
}

void LinkTransaction::onTimeout()
{
    switch (m_phase) {
    case Phase::Connecting:
        LinkStatus::Connection(m_state, QStringLiteral("could not be established"));
        afterOpen(false);
        break;
    case Phase::Replying:
        beginClose();
        break;
    case Phase::Closing:
        afterClose(false);
        break;
    case Phase::Idle:
        break;
    }
}

void LinkTransaction::onSocketError(QAbstractSocket::SocketError error)
{
    if (m_phase != Phase::Idle)
        LinkStatus::SocketError(m_state, int(error), m_socket.errorString());
}

void LinkTransaction::afterOpen(bool open)
{
    later([this, open] { emit opened(open); });
    RepairTcpTimeOut(m_state.Config.TCPTimeOut);
    m_phase = Phase::Replying;
    const bool sent =
        m_socket.state() == QAbstractSocket::ConnectedState && m_socket.write(m_command) == m_command.size();
    // A command that never left has no reply to wait for.
    if (!sent) {
        beginClose();
        return;
    }
    m_timer.start(m_timings.replyTimeoutMs(m_state.Config.TCPTimeOut, m_expectedLength));
    // A connection the device drops at once may end the transaction within the flush.
    m_socket.flush();
    if (m_phase == Phase::Replying)
        checkReply();
}

void LinkTransaction::checkReply()
{
    // Bytes are taken only once the whole expected count is buffered.
    if (m_socket.bytesAvailable() >= m_expectedLength) {
        m_reply.append(takeBuffered(m_socket));
        beginClose();
        return;
    }
    // A closed connection brings no more bytes: the reply is short or missing.
    if (m_socket.state() == QAbstractSocket::UnconnectedState)
        beginClose();
}

void LinkTransaction::beginClose()
{
    m_timer.stop();
    m_phase = Phase::Closing;
    LinkStatus::Connection(m_state, QStringLiteral("closing connection"));
    // An open connection closes gracefully; a pending one is dropped, as there is nothing to
    // close yet.
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.close();
    else
        m_socket.abort();
    // Closing often ends within the call, through onStateChanged().
    if (m_phase != Phase::Closing)
        return;
    if (m_socket.state() == QAbstractSocket::UnconnectedState)
        afterClose(true);
    else
        m_timer.start(m_timings.closeMs);
}

void LinkTransaction::afterClose(bool closed)
{
    m_timer.stop();
    m_phase = Phase::Idle;
    LinkStatus::Connection(m_state,
                           closed ? QStringLiteral("closed") : QStringLiteral("failed to close connection"));
    // A connection that would not close gracefully is dropped, so the next open starts clean.
    if (!closed)
        m_socket.abort();
    const bool accepted = JudgeReply(m_command, m_reply, m_expectedLength);
    LinkStatus::ClearSocketError(m_state);
    later([this, accepted] { emit finished(accepted); });
}

#include "moc_LinkTransaction.cpp"
