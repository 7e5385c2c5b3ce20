#pragma once

#include "LinkTimings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

class ProgramState;

// One transaction with a device on a connection of its own, moved on by the connection's events
// and a timer rather than by a wait: open (at most connectMs), send the command, collect the
// expected number of reply bytes (at most the reply time-out), close (at most closeMs) and judge
// the reply as ReadFromQM does, with the same status lines. Because nothing here waits, any
// number of them run side by side on the one thread; the poll cycle overlaps its devices'
// exchanges with them.
class LinkTransaction final : public QObject {
    Q_OBJECT
public:
    explicit LinkTransaction(ProgramState &state, QObject *parent = nullptr);
    ~LinkTransaction() override;

    // Starts a transaction; opened() and then finished() follow, never from within this call.
    // A transaction still running is dropped first.
    void start(const QString &ipAddress, int port, const QByteArray &command, int expectedLength,
               const LinkTimings &timings);
    // Ends the running transaction at once, without finished(): the connection is dropped.
    void abort();
    bool isRunning() const { return m_phase != Phase::Idle; }
    // Every byte received once finished(true); what was taken otherwise (nothing for a reply that
    // stayed short).
    const QByteArray &reply() const { return m_reply; }

signals:
    // The connection opened, or could not be opened within connectMs (the transaction then ends
    // without a reply, as ReadFromQM's does).
    void opened(bool open);
    // The transaction has ended and the connection is closed; accepted as ReadFromQM judges.
    void finished(bool accepted);

private:
    enum class Phase { Idle, Connecting, Replying, Closing };

    void onStateChanged();
    void onTimeout();
    void onSocketError(QAbstractSocket::SocketError error);
    void afterOpen(bool open);
    void checkReply();
    void beginClose();
    void afterClose(bool closed);
    // Runs the report from the event loop, unless the transaction was dropped meanwhile: a
    // receiver may start the next transaction at once, which must not happen inside the
    // socket's own signal or inside start().
    void later(const std::function<void()> &report);

    ProgramState &m_state;
    QTcpSocket m_socket;
    QTimer m_timer;
    Phase m_phase = Phase::Idle;
    LinkTimings m_timings;
    QByteArray m_command;
    QByteArray m_reply;
    int m_expectedLength = 0;
    // Counts transactions, so a finish posted for one that was dropped meanwhile is not reported.
    quint64 m_generation = 0;
};
