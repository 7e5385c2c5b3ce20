#pragma once

#include "ChannelQueue.h"
#include "NotifyEvent.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class Database;
class ProgramState;

// The notification channels of [notify.NAME] beside e-mail: hands each event to every channel
// that takes it, keeps the status list's line of each channel, and brings the channels in line
// with the settings when they change.
class Notifier final : public QObject {
    Q_OBJECT
public:
    static const QString WaitingKey; // "Notifications waiting for "

    Notifier(ProgramState &state, Database &database, QObject *parent = nullptr);
    ~Notifier() override;

    // Queues the event on every channel that takes it. recordTable and recordId name the record
    // whose Events views show each channel's outcome (none: empty, 0). The time, ID, collector and
    // organisation are filled in when empty.
    void Notify(NotifyEvent event, const QString &recordTable = QString(), qint64 recordId = 0,
                bool retries = true);
    // Takes up the channels of state.Ini (those gone stop; their waiting messages stay stored for
    // when they come back) and the messages an earlier run left.
    void Resume();
    // Sends the shutdown notice, waits up to waitMs (window events running) for what is due now
    // to go, then stops every channel; what is left waits for the next start.
    void Shutdown(int waitMs);

    // Whether any channel is set up (the settings are looked at afresh).
    bool HasChannels();
    const ChannelQueue *channel(const QString &name) const;
    QStringList channelNames() const;

private:
    void syncChannels();
    ChannelQueue *queue(const QString &name) const;
    void updateStatus();
    void updateStatusSoon();
    void storeSoon();
    void storeChanges();
    static constexpr int StatusDelayMs = 200;
    static constexpr int StoreDelayMs = 100;
    bool settled() const;

    ProgramState &m_state;
    Database &m_database;
    std::vector<std::unique_ptr<ChannelQueue>> m_channels;
    QStringList m_statusKeys;
    QTimer m_statusTimer;
    QTimer m_storeTimer;
};
