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
// retryHours old. One request runs at a time, on a thread of its own; a receiver that never answers
// holds up only its own channel. The messages of one alert (an alarm and its end, a device failure
// and its recovery: one AlertKey) go in the order they were made; a message that waits for its
// retry holds back the later ones of its alert only, until it is delivered or given up. The
// channel keeps a window of its oldest waiting messages in memory and the rest in the table only,
// so that a receiver that never answers costs no more memory however many wait. Alertmanager
// channels also post their open alerts again every repostSeconds.
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
    // What a message of a channel stores for an event when it is queued. `payload` is the event as
    // stored JSON (NotifyEvent::StoredPayload), made once for every channel; the message refers to
    // the stored event eventId for it instead, unless none was stored (0).
    static NotifyRow MessageRow(const QString &channel, const NotifyEvent &event, const QString &payload,
                                qint64 eventId, const QString &recordTable, qint64 recordId, bool retries,
                                const QDateTime &created);
    // Queues the event as a message of this channel and returns its key. StoreQueued stores it
    // (StartDue then starts it once that is committed), or, when the stored event stands for it,
    // StartDue starts it at once and StoreChanges stores it later. recordTable and recordId name the record
    // whose Events views show the outcome (none: empty, 0). The message keeps its own payload when
    // it differs from the event's.
    qint64 Enqueue(const NotifyEvent &event, const QString &payload, qint64 eventId,
                   const QString &recordTable, qint64 recordId, bool retries, const QueuedAt &at);
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
    // Starts nothing more and stops the running request; what waits stays stored for the next
    // run, except, when the program stops, the notices that get one attempt and have not had it
    // (given up: sent after the next start they would mislead).
    enum class StopFor { Settings, ProgramEnd };
    void Stop(StopFor why = StopFor::Settings);
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
    // About this many waiting messages are kept in memory; the others wait in the table until the
    // oldest ones are done with.
    static constexpr int Window = 256;

    int waitingCount() const;
    // Waiting messages in memory, those in the table only not counted.
    int waitingInMemory() const;
    // Messages given up in this run.
    int failedTotal() const { return m_failedTotal; }
    bool attemptRunning() const { return m_running != Running::None; }
    // Whether a first attempt is due now (the worker free or not).
    bool firstAttemptDue() const;
    // The wall-clock time of the next attempt that is due; invalid when none waits.
    QDateTime nextAttemptTime() const;
    // Alertmanager: the alerts posted again while open.
    int openAlerts() const { return int(m_openAlerts.size()); }
    // Alertmanager: the alarm was acknowledged; its alert says by whom from the next re-post on.
    void Acknowledged(const AlertAcknowledgement &ack);

signals:
    // An attempt to send waiting messages began: the channel's status says so.
    void attemptStarted();
    // An attempt ended; its outcome waits for StoreChanges.
    void attemptFinished();

private:
    struct Entry {
        qint64 key = 0; // the queue's own number for the run
        NotifyRow row;
        NotifyEvent event;
        QString alert; // ChannelFormats::AlertKey of the event
        Moment origin; // its age counts from here
        Moment nextAttempt;
        bool dirty = true;
        // The row's AgedFrom and NextAttempt read as the wall clock does now (just made).
        bool storedTimesCurrent = false;
        bool storeFailureLogged = false;
        // Queued while older messages waited in the table only: it waits with them (in the table
        // once stored) until the window reaches it.
        bool beyondWindow = false;
        bool waiting() const { return row.State == 0; }
        bool stored() const { return row.IDNum != 0 && !dirty; }
    };
    enum class Running { None, Entry, Repost, EndsBeforePort };

    // Alertmanager: the receiver took the alert's start, or its end.
    void openAlert(const Entry &e);
    void closeAlert(const Entry &e);

    // The newest first: the message looked for is most often one just queued.
    Entry *find(qint64 key);
    Entry entryOf(const NotifyRow &row);
    // A message stored by a version that named the sensor by its database key only.
    void upgradeStoredBeforePort(Entry &entry);
    void load();
    // The next of the table's waiting messages, read into the window once it has room.
    void fillWindow();
    // Waiting messages past the window leave memory once the table holds them.
    void trimWindow();
    static NotifyQueuePosition positionOf(const NotifyRow &row);
    // An alert's end takes its start's time, which the shared payload lacks.
    void giveEndItsStart(Entry &entry) const;
    void restoreOpenAlerts();
    void startNext();
    QList<HttpWorker::RequestMaker> requestsFor(const QList<NotifyEvent> &events) const;
    bool mayStart(const Entry &entry, const Moment &now) const;
    // Calls visit with each waiting message in the window that is the first of its alert to wait.
    template <typename Visit> void forEachFirstOfItsAlert(Visit visit) const;
    void giveUpExpired(const Moment &now);
    void onFinished(const QList<HttpOutcome> &outcomes);
    // Applies the outcomes of the running messages, in the order they were sent.
    void applyOutcomes(const QList<HttpOutcome> &outcomes);
    bool isRunning(qint64 key) const { return m_runningKeys.contains(key); }
    void applyOutcome(Entry &entry, const HttpOutcome &outcome);
    void giveUp(Entry &entry, const QString &why);
    void giveUpUnsentNotices();
    void repost();
    void endAlertsBeforePort(const QList<HttpOutcome> &outcomes);
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
    bool m_alerts = false; // an Alertmanager channel
    DeliveryTiming m_timing;
    QList<Entry> m_entries; // in the order the messages were made
    // Waiting messages in the table only, from this position on.
    int m_inTable = 0;
    NotifyQueuePosition m_tableFrom;
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
    // Alertmanager: the alerts whose start the receiver took and whose end it has not, by key.
    QMap<QString, NotifyEvent> m_openAlerts;
    // Alertmanager: the acknowledged alarms whose alerts have not ended.
    QList<AlertAcknowledgement> m_acknowledged;
    // Alertmanager: alerts an earlier version may have posted under labels that named the sensor
    // by its database key, to end under those labels, and the payloads their messages keep once
    // they are.
    QList<NotifyEvent> m_endsBeforePort;
    QList<std::pair<qint64, QString>> m_payloadsWithPort;
    int m_failedTotal = 0;
    bool m_loaded = false;
    bool m_stopped = false;
};
