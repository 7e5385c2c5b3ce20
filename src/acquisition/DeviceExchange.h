#pragma once

#include <link/LinkTimings.h>
#include <link/LinkTransaction.h>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

class ProgramState;

// The poll exchange of one device, on a connection of its own: up to `attempts` attempts of the
// identify and readings transactions, a pause after every failed attempt, and an end at the
// first busy reply. Only the bytes are collected here; the cycle parses and evaluates them in
// device order, so each device's readings are read with its own identify reply. An exchange
// that has not ended laneMs after its start, or that pauses after a failed attempt, is only
// waiting on its device from then on and says so once (onlyWaiting()).
class DeviceExchange final : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Waiting, Running, Ok, Busy, Failed, Stopped };

    struct Result {
        Outcome outcome = Outcome::Waiting;
        // The identify reply of the last attempt whose identify was accepted; empty when none.
        QByteArray identifyReply;
        // The reply of the last readings transaction (accepted when the outcome is Ok).
        QByteArray readingsReply;
        // When the last readings transaction ended; invalid when none was made.
        QDateTime downloadedAt;

        // Ended: neither waiting to start nor running.
        bool isDone() const { return outcome != Outcome::Waiting && outcome != Outcome::Running; }
    };

    DeviceExchange(ProgramState &state, const QString &address, int attempts, const LinkTimings &timings,
                   QObject *parent = nullptr);

    void start();
    // Ends the exchange at once (outcome Stopped) and drops its connection; finished() follows
    // only when it was running.
    void stop();

    const QString &address() const { return m_address; }
    const Result &result() const { return m_result; }
    bool isRunning() const { return m_result.outcome == Outcome::Running; }
    bool isDone() const { return m_result.isDone(); }
    // True once onlyWaiting() has been emitted.
    bool isOnlyWaiting() const { return m_onlyWaiting; }

signals:
    // A transaction of the exchange opened its connection, or could not.
    void opened(bool open);
    // A transaction of the exchange ended.
    void transactionEnded();
    // The exchange has its outcome.
    void finished();
    // The exchange will only wait from now on: its device is slow or silent, or it pauses
    // before its next attempt. Emitted at most once, never after finished().
    void onlyWaiting();

private:
    enum class Step { Identify, Readings };

    void send(Step step);
    void onTransactionFinished(bool accepted);
    void afterIdentify(bool accepted);
    void afterReadings(bool accepted);
    void pauseAfterFailure();
    void nextAttempt();
    void finish(Outcome outcome);
    void markOnlyWaiting();

    ProgramState &m_state;
    QString m_address;
    int m_attempts;
    LinkTimings m_timings;
    LinkTransaction m_transaction;
    QTimer m_pause;
    // Runs from the start for laneMs.
    QTimer m_lane;
    bool m_onlyWaiting = false;
    Step m_step = Step::Identify;
    int m_attempt = 0;
    Result m_result;
};
