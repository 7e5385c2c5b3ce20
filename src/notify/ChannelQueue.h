#pragma once

#include "DeliveryTiming.h"
#include "HttpWorker.h"
#include "NotifyEvent.h"

#include <core/IniSettings.h>
#include <db/Records.h>

#include <QMap>
#include <QObject>
#include <QTimer>

#include <limits>

class Database;
class ProgramState;

// One notification channel's queue, worker and pause after failure. Each message is stored (or its
// stored event stands for it) before its first attempt and tried until the receiver takes it
// (2xx), refuses it for good (a 4xx other than 408 and 429: given up at once and logged), or it is
// retryHours old. One request runs
// at a time, on a thread of its own; a receiver that never answers holds up only its own channel.
// Alertmanager channels also post their open alerts again every repostSeconds.
class ChannelQueue final : public QObject {
    Q_OBJECT
public:
    ChannelQueue(ProgramState &state, Database &database, const NotifyChannelSettings &channel,
                 QObject *parent = nullptr);

    const NotifyChannelSettings &channel() const { return m_channel; }

    // When an event was queued, read once for all its channels.
    struct QueuedAt {
        Moment moment;
        QDateTime wall;
    };
    // Queues the event as a message of this channel and returns its key. StoreQueued stores it
    // (StartDue then starts it once that is committed), or, when the stored event stands for it,
    // StartDue starts it at once and StoreChanges stores it later. recordTable and recordId name the record
    // whose Events views show the outcome (none: empty, 0). `payload` is the event as stored JSON
    // (NotifyEvent::StoredPayload), made once for every channel; the message refers to the stored
    // event eventId for it instead, unless none was stored (0) or its own payload differs.
    qint64 Enqueue(const NotifyEvent &event, const QString &payload, qint64 eventId, const QString &recordTable,
                   qint64 recordId, bool retries, const QueuedAt &at);
    // Stores the messages just queued (queue, key) in the caller's transaction, their times
    // formatted once; a message the database refuses is kept and stored at the next try.
    static void StoreQueued(const QList<std::pair<ChannelQueue *, qint64>> &queued);
    // The transaction that stored the message was rolled back: it is stored again later.
    void Unstore(qint64 key);
    // The message goes, never sent: the transaction it was part of was rolled back and its
    // caller queues it again.
    void Withdraw(qint64 key);
    // Starts the next attempts that are due when the worker is free, GatherMs later: the messages
    // of a burst (a cycle's alarms) go to the worker together, not one by one.
    void StartDue();
    // Takes up the messages an earlier run left (once) and starts the next attempt that is due.
    // What the attempts change is stored by StoreChanges.
    void Resume();
    // Starts nothing more and stops the running request; what waits stays stored for the next run.
    void Stop();
    // Where the messages whose changes (new messages, the outcomes of the last attempts) are not
    // stored yet stand in the queue, at most maxRows of them, oldest first: gathered before the
    // transaction that stores them, so that it holds the file only for the writes. Valid until the
    // queue changes.
    QList<qsizetype> Changes(int maxRows = std::numeric_limits<int>::max()) const;
    // Stores those changes in the caller's transaction, or one of its own, and then lets go of the
    // messages that are done with. Returns how many it stored (fewer: the database refused one).
    int StoreChanges(const QList<qsizetype> &changes);
    // Whether anything is left for StoreChanges.
    bool hasChanges() const;

    // At most this many messages go to the worker at once; they are sent one after the other.
    static constexpr int MaxRun = 32;
    static constexpr int GatherMs = 50;

    int waitingCount() const;
    // Messages given up in this run.
    int failedTotal() const { return m_failedTotal; }
    bool attemptRunning() const { return m_running != Running::None; }
    // Whether a first attempt is due now (the worker free or not).
    bool firstAttemptDue() const;
    // The wall-clock time of the next attempt that is due; invalid when none waits.
    QDateTime nextAttemptTime() const;
    // Alertmanager: the alerts posted again while open.
    int openAlerts() const { return int(m_openAlerts.size()); }

signals:
    // An attempt ended; its outcome waits for StoreChanges.
    void attemptFinished();

private:
    struct Entry {
        qint64 key = 0; // the queue's own number for the run
        NotifyRow row;
        NotifyEvent event;
        Moment origin; // its age counts from here
        Moment nextAttempt;
        bool dirty = true;
        // The row's AgedFrom and NextAttempt read as the wall clock does now (just made).
        bool storedTimesCurrent = false;
        bool storeFailureLogged = false;
        bool waiting() const { return row.State == 0; }
    };
    enum class Running { None, Entry, Repost };

    // The newest first: the message looked for is most often one just queued.
    Entry *find(qint64 key);
    void load();
    // Keeps an Alertmanager channel's open alerts; true when the event was given its start.
    bool trackAlert(NotifyEvent &event);
    void restoreOpenAlerts();
    void startNext();
    QList<HttpWorker::RequestMaker> requestsFor(const QList<NotifyEvent> &events) const;
    bool mayStart(const Entry &entry, const Moment &now) const;
    void giveUpExpired(const Moment &now);
    void onFinished(const QList<HttpOutcome> &outcomes);
    // Applies the outcomes of the running messages, in the order they were sent.
    void applyOutcomes(const QList<HttpOutcome> &outcomes);
    bool isRunning(qint64 key) const { return m_runningKeys.contains(key); }
    void applyOutcome(Entry &entry, const HttpOutcome &outcome);
    void giveUp(Entry &entry, const QString &why);
    void repost();
    bool flush(Entry &entry);
    // Stores the changes in the caller's transaction or one of its own; what a rollback undid is
    // stored again at the next try.
    int storeChanged(const QList<qsizetype> &changes);
    void dropFinished();
    Moment nextDue() const;
    void armTimer();

    ProgramState &m_state;
    Database &m_database;
    NotifyChannelSettings m_channel;
    DeliveryTiming m_timing;
    QList<Entry> m_entries;
    HttpWorker m_worker;
    QTimer m_timer;
    QTimer m_repostTimer;
    QTimer m_gatherTimer; // a burst's first message waits this long for the rest
    Running m_running = Running::None;
    QList<qint64> m_runningKeys; // the messages the worker sends, in order
    qint64 m_nextKey = 1;
    // After an attempt that failed, retries wait until its next attempt: the others would fail the
    // same way. First attempts are not held back.
    Moment m_holdUntil;
    QMap<QString, NotifyEvent> m_openAlerts;
    int m_failedTotal = 0;
    bool m_loaded = false;
    bool m_stopped = false;
};
