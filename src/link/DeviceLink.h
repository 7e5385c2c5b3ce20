#pragma once

#include "LinkTimings.h"

#include <core/LocalWait.h>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

class ProgramState;

// The connection the configuration windows talk to a device through. Made once, it is handed to
// the device tree and the editors; ReadFromQM is the one transaction they run: open, send one
// command, wait for the reply, close, judge. The waits keep the event loop running; the socket,
// the timers or the end of MonitoringActive end them. Windows follow the link through the
// signals below and the status list. The poll cycle takes the link's timings and runs its own
// connections, which overlap (LinkTransaction), while the configuration windows are closed.
class DeviceLink final : public QObject {
    Q_OBJECT
public:
    // Indicator colours, as 0x00BBGGRR numbers.
    static constexpr int ColorConnected = 65280; // green: the connection opened
    static constexpr int ColorFailed = 255;      // red: it could not be opened
    static constexpr int ColorIdle = 14737632;   // light grey: at rest after a transaction
    static constexpr int DevicePort = 10001;
    static constexpr int FrameLength = 60;
    // Connection states as ConnectionState() reports them.
    static constexpr int StateClosed = 0;
    static constexpr int StateConnected = 7;

    explicit DeviceLink(ProgramState &state, LinkTimings timings = {}, QObject *parent = nullptr);
    ~DeviceLink() override;

    // One transaction. The reply is cleared first and, when the result is true, holds every
    // byte received. callerName "frmTreeConfiguration" reports download progress. Waits end
    // early when nothing more can come: a refused connection, a command that could not be
    // sent, a connection the device closed before the whole reply. When MonitoringActive ends
    // during a wait the result is false at once and the connection is left as it is. A call
    // made while another transaction runs (from a handler inside its wait) is refused.
    bool ReadFromQM(const QString &ipAddress, int port, const QByteArray &command, QByteArray &reply,
                    int expectedLength, const QString &callerName);
    // How a log download ends once the counted bytes are in.
    enum class LogEnd {
        Settle,      // after a short silence (logSettleMs), or when the device closes
        DeviceClose, // only when the device closes, or after the full silence limit
    };
    // The log download: a transaction whose reply is records of recordSize bytes, without echo.
    // Bytes are taken as they come and the reply time-out limits the silence between them, not
    // the whole download, so a slow device can send a long log. The download ends when the
    // device closes the connection (accepted when it sent whole records, a reset connection or a
    // part record is refused), or, once expectedLength bytes (the device's record count times the
    // record size; records the device logged since that count are taken too) are in, as `end`
    // says (accepted), or after the full time-out of silence before them (refused). A busy reply
    // ends it at once, refused, the reply holding it.
    bool ReadLogFromQM(const QString &ipAddress, int port, const QByteArray &command, QByteArray &reply,
                       qint64 expectedLength, int recordSize, const QString &callerName,
                       LogEnd end = LogEnd::Settle);

    // Connects, waiting at most connectMs. A connection already open to the same address and
    // port is reused.
    bool OpenWinSocket(const QString &ipAddress, int port);
    // Hands the whole command to the connection; false when it cannot.
    bool SendCommand(const QByteArray &command);
    // Takes every byte the connection has buffered.
    bool ReceiveData(QByteArray &data);
    // Closes the connection, waiting at most closeMs for it to report closed.
    void CloseWinSocket();
    // Arms the watchdog (TimedOut after the given time) and the progress ticks.
    void StartTimeout(int milliseconds);
    void StopTimeout();

    // 0 closed, 7 connected; 4 resolving, 6 connecting, 8 closing.
    int ConnectionState() const;
    bool TimedOut() const { return m_timedOut; }
    int TenthCount() const { return m_tenthCount; }
    bool DataArrived() const { return m_dataArrived; }
    qint64 BytesArrived() const { return m_bytesArrived; }
    int indicatorColor() const { return m_indicatorColor; }
    // True while ReadFromQM runs; a second transaction is refused meanwhile.
    bool transactionRunning() const { return m_inTransaction; }

    // Ends the running transaction at once (its result is false, the connection is dropped) and
    // refuses new ones until resumeTransactions(). A window closed while it waits on a device
    // uses it, so that its close never waits for a device's time-out.
    void cancelTransactions();
    void resumeTransactions() { m_cancelled = false; }
    bool transactionsCancelled() const { return m_cancelled; }

    const LinkTimings &timings() const { return m_timings; }
    void setTimings(const LinkTimings &timings) { m_timings = timings; }

signals:
    // Emitted by cancelTransactions(): ends the wait under way.
    void cancelRequested();
    // The indicator shape's fill colour (ColorConnected, ColorFailed, ColorIdle).
    void indicatorColorChanged(int vbColor);
    // The progress bar of the named window: range 0 to maximum, this value.
    void progressChanged(const QString &formName, int value, int maximum);
    void progressVisibleChanged(const QString &formName, bool visible);
    // The named window's mouse pointer: hourglass while busy, arrow after.
    void busyCursor(const QString &formName, bool busy);
    // Log download: bytes buffered so far of those expected (see DownloadProgressText).
    void downloadProgress(qint64 bytesReceived, int expectedLength);

private:
    // How a reply ends: at the expected count of bytes; for a log (recordSize above 0) also when
    // the device closes the connection.
    struct ReplyLength {
        int expected;
        int recordSize;
        LogEnd end = LogEnd::Settle;
    };

    // A command to send as soon as a new connection opens, and whether it was.
    struct EarlySend {
        const QByteArray &command;
        bool done = false;
        bool sent = false;
    };

    bool openConnection(const QString &ipAddress, int port, EarlySend *early);
    bool transact(const QString &ipAddress, int port, const QByteArray &command, QByteArray &reply,
                  ReplyLength length, const QString &callerName);
    bool waitFor(const std::function<bool()> &ready);
    void beginTimeout(int milliseconds);
    void armTimers();
    bool waitForReply(QByteArray &reply, ReplyLength length, const QString &callerName);
    bool logComplete(QByteArray &reply, ReplyLength length, const QString &callerName);
    void finishTransaction();
    void dropCancelledTransaction();
    void haltTimers();
    void setIndicator(int vbColor);
    void onTenth();
    void onSocketError(QAbstractSocket::SocketError error);

    ProgramState &m_state;
    LinkTimings m_timings;
    QTcpSocket m_socket;
    QTimer m_watchdog;
    QTimer m_tenth;
    QString m_peerHost;
    int m_peerPort = 0;
    bool m_dataArrived = false;
    qint64 m_bytesArrived = 0;
    bool m_timedOut = false;
    int m_tenthCount = 0;
    int m_progressMaximum = 0;
    int m_indicatorColor = ColorIdle;
    bool m_inTransaction = false;
    bool m_cancelled = false;
    bool m_closedByDevice = false; // the device closed the connection during the reply's wait
    int m_silenceMs = 0;           // the reply time-out of the running transaction
    int m_timeoutMs = 0;           // the time-out of the step under way
    bool m_timersPending = false;  // its watchdog and ticks start with its first wait
    EventTurns m_turns;
};

// The configuration window's caption while a log downloads; once the counted bytes are in, a
// download that waits for the device's close says so.
QString DownloadProgressText(const QString &serverName, qint64 bytesReceived, int expectedLength,
                             bool waitsForClose = false);
