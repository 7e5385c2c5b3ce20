#include "DeviceLink.h"

#include "DeviceCommands.h"
#include "LinkStatus.h"

#include <core/LocalWait.h>
#include <core/ProgramState.h>

#include <QNetworkProxy>

#include <exception>
#include <limits>
#include <stdexcept>

namespace {

const QString ReadWhere = QStringLiteral("Error in ReadFromQM is ");
const QString TreeFormName = QStringLiteral("frmTreeConfiguration");
constexpr int TenthMs = 100;

// Clears a flag when the scope ends, however it ends.
class FlagScope {
public:
    explicit FlagScope(bool &flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &m_flag;
};

} // namespace

DeviceLink::DeviceLink(ProgramState &state, LinkTimings timings, QObject *parent)
    : QObject(parent), m_state(state), m_timings(timings), m_turns(state)
{
    // Devices sit on the local network: never route them through a proxy.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    m_watchdog.setSingleShot(true);
    // A coarse timer may fire up to 5% early; a time-out never ends before its time.
    m_watchdog.setTimerType(Qt::PreciseTimer);
    connect(&m_watchdog, &QTimer::timeout, this, [this] { m_timedOut = true; });
    connect(&m_tenth, &QTimer::timeout, this, &DeviceLink::onTenth);
    connect(&m_socket, &QIODevice::readyRead, this, [this] {
        m_dataArrived = true;
        m_bytesArrived = m_socket.bytesAvailable();
    });
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, &DeviceLink::onSocketError);
}

DeviceLink::~DeviceLink()
{
    m_socket.abort();
}

bool DeviceLink::ReadFromQM(const QString &ipAddress, int port, const QByteArray &command, QByteArray &reply,
                            int expectedLength, const QString &callerName)
{
    reply.clear();
    if (expectedLength < 1) {
        m_state.AddError(ReadWhere,
                         QStringLiteral("expected reply length %1 is below 1").arg(expectedLength));
        return false;
    }
    return transact(ipAddress, port, command, reply, {expectedLength, 0}, callerName);
}

bool DeviceLink::ReadLogFromQM(const QString &ipAddress, int port, const QByteArray &command,
                               QByteArray &reply, qint64 expectedLength, int recordSize,
                               const QString &callerName, LogEnd end)
{
    reply.clear();
    if (expectedLength < 0 || recordSize < 1 || expectedLength > std::numeric_limits<int>::max()) {
        m_state.AddError(ReadWhere, QStringLiteral("a log of %1 bytes in records of %2 cannot be read")
                                        .arg(expectedLength)
                                        .arg(recordSize));
        return false;
    }
    return transact(ipAddress, port, command, reply, {int(expectedLength), recordSize, end}, callerName);
}

bool DeviceLink::transact(const QString &ipAddress, int port, const QByteArray &command, QByteArray &reply,
                          ReplyLength length, const QString &callerName)
{
    // A handler running inside a wait must not start a second exchange on the same socket, nor
    // touch the state of the one that runs.
    if (m_inTransaction) {
        m_state.AddError(ReadWhere, QStringLiteral("a transaction is already running"));
        return false;
    }
    if (m_cancelled)
        return false;
    m_dataArrived = false;
    m_bytesArrived = 0;
    m_closedByDevice = false;
    const int expectedLength = length.expected;
    FlagScope running(m_inTransaction);
    try {
        EarlySend early{command};
        const bool open = openConnection(ipAddress, port, &early);
        if (!m_state.MonitoringActive()) {
            haltTimers();
            return false;
        }
        if (m_cancelled) {
            dropCancelledTransaction();
            return false;
        }
        setIndicator(open ? ColorConnected : ColorFailed);
        RepairTcpTimeOut(m_state.Config.TCPTimeOut);
        emit busyCursor(m_state.ActiveFormName, true);
        // A reused connection has not had the command yet.
        const bool sent = early.done ? early.sent : SendCommand(command);
        m_silenceMs = m_timings.replyTimeoutMs(m_state.Config.TCPTimeOut, expectedLength);
        beginTimeout(m_silenceMs);
        // A command that never left has no reply to wait for.
        if (sent && !waitForReply(reply, length, callerName)) {
            if (m_cancelled && m_state.MonitoringActive())
                dropCancelledTransaction();
            else
                haltTimers();
            return false;
        }
        // The device is done with this connection: it starts closing before the bookkeeping, so
        // that the device can see to the close meanwhile.
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.close();
        finishTransaction();
        // Stopped while the connection closed: the program is ending, nothing is accepted.
        if (!m_state.MonitoringActive())
            return false;
        // A log is whole once the expected count is in, or when the device closed the connection
        // after whole records, fewer than expected. A busy reply is no log.
        const bool accepted =
            length.recordSize > 0
                ? !IsBusyReply(reply) && (JudgeReply(command, reply, expectedLength) ||
                                          (m_closedByDevice && reply.size() % length.recordSize == 0))
                : JudgeReply(command, reply, expectedLength);
        LinkStatus::ClearSocketError(m_state);
        return accepted;
    } catch (const std::exception &error) {
        m_state.AddError(ReadWhere, QString::fromLocal8Bit(error.what()));
        finishTransaction();
        return false;
    }
}

bool DeviceLink::waitForReply(QByteArray &reply, ReplyLength length, const QString &callerName)
{
    return waitFor([&] {
        if (length.recordSize > 0)
            return logComplete(reply, length, callerName);
        if (m_dataArrived) {
            m_dataArrived = false;
            if (callerName == TreeFormName)
                emit downloadProgress(m_socket.bytesAvailable(), length.expected);
        }
        // Bytes are taken only once the whole expected count is buffered.
        if (length.expected > 0 && m_socket.bytesAvailable() >= length.expected) {
            QByteArray data;
            ReceiveData(data);
            reply.append(data);
            return true;
        }
        // A closed connection brings no more bytes: the reply is short or missing.
        return m_socket.state() == QAbstractSocket::UnconnectedState;
    });
}

// A log is taken piece by piece. Each piece restarts the wait: the time-out limits the silence
// between pieces. Once the expected bytes are in, a short silence ends the log (the device may
// send records it logged after it was counted), unless the device is to clear what it sent: then
// only its close, or the full silence limit, ends it, so that nothing it sends after a pause is
// lost. The time-out ending the wait is no failure here: the length decides.
bool DeviceLink::logComplete(QByteArray &reply, ReplyLength length, const QString &callerName)
{
    m_dataArrived = false;
    if (m_socket.bytesAvailable() > 0) {
        reply.append(m_socket.readAll());
        if (callerName == TreeFormName)
            emit downloadProgress(reply.size(), length.expected);
        const bool settles = length.end == LogEnd::Settle && reply.size() >= length.expected;
        m_watchdog.start(settles ? qMin(m_timings.logSettleMs, m_silenceMs) : m_silenceMs);
    }
    // A busy device sends the busy reply instead of its records.
    if (reply.size() >= FrameLength && IsBusyReply(reply))
        return true;
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        return false;
    reply.append(m_socket.readAll());
    m_closedByDevice = m_socket.error() == QAbstractSocket::RemoteHostClosedError;
    return true;
}

void DeviceLink::finishTransaction()
{
    StopTimeout();
    emit busyCursor(m_state.ActiveFormName, false);
    setIndicator(ColorIdle);
    CloseWinSocket();
}

bool DeviceLink::waitFor(const std::function<bool()> &ready)
{
    while (!m_cancelled && !ready() && !m_timedOut) {
        armTimers();
        if (!m_turns.next())
            return false;
    }
    return m_state.MonitoringActive() && !m_cancelled;
}

void DeviceLink::cancelTransactions()
{
    m_cancelled = true;
    emit cancelRequested();
}

// A cancelled transaction ends without waiting for anything: the connection is dropped.
void DeviceLink::dropCancelledTransaction()
{
    StopTimeout();
    emit busyCursor(m_state.ActiveFormName, false);
    setIndicator(ColorIdle);
    m_socket.abort();
    LinkStatus::Connection(m_state, QStringLiteral("closed"));
}

bool DeviceLink::OpenWinSocket(const QString &ipAddress, int port)
{
    return openConnection(ipAddress, port, nullptr);
}

bool DeviceLink::openConnection(const QString &ipAddress, int port, EarlySend *early)
{
    try {
        if (port < 1 || port > 65535)
            throw std::invalid_argument("port " + std::to_string(port) + " is out of range");
        if (m_socket.state() == QAbstractSocket::ConnectedState && m_peerHost == ipAddress &&
            m_peerPort == port)
            return true;
        // A connection to another device, or one left half open, never blocks a new one.
        if (m_socket.state() != QAbstractSocket::UnconnectedState)
            m_socket.abort();
        m_peerHost = ipAddress;
        m_peerPort = port;
        m_socket.connectToHost(ipAddress, quint16(port));
        beginTimeout(m_timings.connectMs);
        // A refused or failed attempt leaves the socket closed: no use waiting on.
        const bool active = waitFor([this] {
            const auto state = m_socket.state();
            return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState;
        });
        if (!active)
            return false;
        const bool open = m_socket.state() == QAbstractSocket::ConnectedState;
        // The wait ended with monitoring on and nothing cancelled: the command may leave, ahead of
        // the bookkeeping, so that the device is at work on it meanwhile.
        if (early != nullptr && open) {
            early->sent = SendCommand(early->command);
            early->done = true;
        }
        StopTimeout();
        LinkStatus::Connection(m_state,
                               open ? QStringLiteral("opened") : QStringLiteral("could not be established"));
        return open;
    } catch (const std::exception &error) {
        m_state.AddError(QStringLiteral("OpenWinSocket()"), QString::fromLocal8Bit(error.what()));
        return false;
    }
}

bool DeviceLink::SendCommand(const QByteArray &command)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return false;
    if (m_socket.write(command) != command.size())
        return false;
    m_socket.flush();
    return true;
}

bool DeviceLink::ReceiveData(QByteArray &data)
{
    data = m_socket.readAll();
    return !data.isEmpty();
}

void DeviceLink::CloseWinSocket()
{
    LinkStatus::Connection(m_state, QStringLiteral("closing connection"));
    // An open connection closes gracefully; a pending one is dropped, as there is nothing to
    // close yet (left alone it would open first and only then close). One that a transaction
    // began to close is waited for.
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.close();
    else if (m_socket.state() != QAbstractSocket::ClosingState)
        m_socket.abort();
    beginTimeout(m_timings.closeMs);
    waitFor([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; });
    StopTimeout();
    const bool closed = m_socket.state() == QAbstractSocket::UnconnectedState;
    LinkStatus::Connection(m_state,
                           closed ? QStringLiteral("closed") : QStringLiteral("failed to close connection"));
    // A connection that would not close gracefully is dropped, so the next open starts clean.
    if (!closed)
        m_socket.abort();
}

void DeviceLink::StartTimeout(int milliseconds)
{
    beginTimeout(milliseconds);
    armTimers();
}

// The progress bar is told at once; the watchdog and the ticks start with the step's first wait,
// so that a step done without one (a close that ends at once) never arms them.
void DeviceLink::beginTimeout(int milliseconds)
{
    haltTimers();
    m_timeoutMs = milliseconds;
    m_timersPending = true;
    m_progressMaximum = milliseconds / TenthMs;
    emit progressChanged(m_state.ActiveFormName, 0, m_progressMaximum);
    emit progressVisibleChanged(m_state.ActiveFormName, true);
}

void DeviceLink::armTimers()
{
    if (!m_timersPending)
        return;
    m_timersPending = false;
    // A log that took bytes before the first wait restarted the watchdog already.
    if (!m_watchdog.isActive())
        m_watchdog.start(m_timeoutMs);
    m_tenth.start(TenthMs);
}

void DeviceLink::StopTimeout()
{
    haltTimers();
    emit progressChanged(m_state.ActiveFormName, 0, m_progressMaximum);
    if (m_state.ActiveFormName == TreeFormName)
        emit progressVisibleChanged(m_state.ActiveFormName, false);
}

void DeviceLink::haltTimers()
{
    m_timersPending = false;
    m_watchdog.stop();
    m_tenth.stop();
    m_timedOut = false;
    m_tenthCount = 0;
}

void DeviceLink::onTenth()
{
    ++m_tenthCount;
    if (m_tenthCount < m_progressMaximum)
        emit progressChanged(m_state.ActiveFormName, m_tenthCount, m_progressMaximum);
}

void DeviceLink::onSocketError(QAbstractSocket::SocketError error)
{
    LinkStatus::SocketError(m_state, int(error), m_socket.errorString());
}

void DeviceLink::setIndicator(int vbColor)
{
    m_indicatorColor = vbColor;
    emit indicatorColorChanged(vbColor);
}

int DeviceLink::ConnectionState() const
{
    switch (m_socket.state()) {
    case QAbstractSocket::UnconnectedState:
        return StateClosed;
    case QAbstractSocket::HostLookupState:
        return 4;
    case QAbstractSocket::ConnectingState:
        return 6;
    case QAbstractSocket::ConnectedState:
        return StateConnected;
    case QAbstractSocket::ClosingState:
        return 8;
    default:
        return 1;
    }
}

QString DownloadProgressText(const QString &serverName, qint64 bytesReceived, int expectedLength,
                             bool waitsForClose)
{
    const QString text = QStringLiteral("Downloading log records from ") + serverName +
                         QStringLiteral("  Total bytes Received: ") + QString::number(bytesReceived) +
                         QStringLiteral(" of ") + QString::number(expectedLength) + QStringLiteral(" bytes");
    if (!waitsForClose || bytesReceived < expectedLength)
        return text;
    return text + QStringLiteral(".  Waiting for ") + serverName + QStringLiteral(" to end the download");
}

#include "moc_DeviceLink.cpp"
