#pragma once

#include "ChannelStatus.h"
#include "NotifyEvent.h"
#include "NotifyHost.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <optional>

class Database;
class ProgramState;

// The notification channels of [notify.NAME] beside e-mail. An event is stored once, in the
// transaction of the record it is about, and handed to the notification thread (NotifyHost),
// which makes each channel's message of it, sends it and stores the outcome: the window thread
// spends one row per event, however many channels take it. The thread's reports come back here:
// its error lines go to the error log, and its channels' counts to the status list.
class Notifier final : public QObject {
    Q_OBJECT
public:
    static const QString WaitingKey; // "Notifications waiting for "

    Notifier(ProgramState &state, Database &database, QObject *parent = nullptr);
    // Stops the notification thread; what waits stays stored for the next start.
    ~Notifier() override;

    // Stores the event for every channel that takes it and hands it to them. recordTable and
    // recordId name the record whose Events views show each channel's outcome (none: empty, 0).
    // The time, ID, collector and organisation are filled in when empty. Within the caller's
    // transaction the event is part of it: rolled back, it is never sent (the caller queues it
    // again).
    // onlyChannels, when given, are the channels that take it instead (those set up of them,
    // whatever their events= and devices=): an escalation step's channels.
    void Notify(NotifyEvent event, const QString &recordTable = QString(), qint64 recordId = 0,
                bool retries = true, const std::optional<QStringList> &onlyChannels = std::nullopt);
    // The channels that take an event of this kind from this device.
    QStringList Takers(const QString &kind, const QString &device, const QString &address) const;
    // Brings the channels in line with state.Ini (those gone stop; their waiting messages stay
    // stored for when they come back) and takes up what an earlier run left. The notices an
    // earlier run left without their one attempt (it was killed) are given up at the first.
    void Resume();
    // Renames the channel `from` as `to` describes it: in Tallyport.ini (and every setting that
    // names it) and with its messages, stored or in the thread's queue, which are sent under the
    // new name. False, with the reason, when nothing was changed.
    bool RenameChannel(const QString &from, const NotifyChannelSettings &to, QString &error);
    // An alarm was acknowledged: alerts kept open at a receiver (Alertmanager) say by whom from
    // their next re-post on.
    void Acknowledged(const AlertAcknowledgement &ack);
    // Sends the shutdown notice, lets the channels send what is due now for up to waitMs, then
    // stops them and the thread; what is left waits for the next start.
    void Shutdown(int waitMs);

    // Whether any channel is set up (the settings are looked at afresh).
    bool HasChannels() const;
    // A channel as the thread last reported it; none when it has not reported the channel yet.
    std::optional<ChannelStatus> channel(const QString &name) const;
    QStringList channelNames() const;
    // Whether the last report came after every event was handed over and every request made so
    // far was carried out.
    bool upToDate() const { return m_outgoing.isEmpty() && m_reported == m_requests; }

private:
    void applySettings();
    // Every request first hands over the events gathered before it, so the thread sees them in
    // order.
    template <typename Call> void request(Call call);
    template <typename Call> void requestNow(Call call);
    void handOver();
    void dropLeftOverNotices();
    void takeStatus(const QList<ChannelStatus> &channels, quint64 handled);
    void updateStatusList();

    ProgramState &m_state;
    Database &m_database;
    QThread m_thread;
    NotifyHost *m_host = nullptr; // lives on m_thread
    QList<NotifyChannelSettings> m_appliedChannels;
    MailIniSettings m_appliedMail;
    bool m_applied = false;
    // The first event this run stored; 0 before.
    qint64 m_firstEventId = 0;
    bool m_leftOverNoticesDropped = false;
    quint64 m_requests = 0;
    quint64 m_reported = 0;
    // Each hand-over wakes the thread: the events of a burst (a cycle's alarms) go together, at
    // most this long after the first of them.
    static constexpr int HandOverDelayMs = 100;
    QList<QueuedNotifyEvent> m_outgoing;
    QTimer m_handOverTimer;
    QList<ChannelStatus> m_channels;
    QStringList m_statusKeys;
};
