#pragma once

#include "ChannelQueue.h"
#include "ChannelStatus.h"
#include "NotifyEvent.h"

#include <core/IniSettings.h>

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class Clock;
class Database;
class ErrorLog;
class ProgramState;
class Prompts;
class StatusList;

// An event the window thread has stored (eventId; 0 when the database refused it, and then each
// channel's message carries the payload itself) and hands to the notification thread.
struct QueuedNotifyEvent {
    qint64 eventId = 0;
    NotifyEvent event;
    QString payload; // the event as stored JSON
    QStringList channels;
    QString recordTable;
    qint64 recordId = 0;
    bool retries = true;
    ChannelQueue::QueuedAt at;
};

// The notification channels' side of the notification thread: it lives there with every
// channel's queue and a database connection of its own, so that neither the messages of an event
// (one per channel) nor their outcomes cost the window thread anything; it writes them in the
// poll cycle's pauses, so that the cycle does not wait for them either. It is driven by calls the
// window thread queues to it, in order, and reports back with the functions it is given (called
// on its own thread; they queue what they report).
class NotifyHost final : public QObject {
    Q_OBJECT
public:
    // A pause this long of the poll cycle's writes is taken for one between cycles.
    static constexpr int QuietMs = 50;
    struct Reports {
        std::function<void(const QString &where, const QString &cause)> error;
        // Every channel, after the requests up to `handled` were carried out.
        std::function<void(const QList<ChannelStatus> &channels, quint64 handled)> status;
        std::function<void()> stopped; // after Shutdown, once every channel has stopped
    };

    NotifyHost(const QString &programDirectory, const QString &databasePath, Clock &clock, Reports reports);
    // Stops every channel; what waits stays stored for the next start.
    ~NotifyHost() override;

    // Each call below is the window thread's request number `request`, carried out in order.
    // The channels and delivery settings of Tallyport.ini: channels gone stop (their waiting
    // messages stay stored for when they come back), new ones start.
    void Apply(quint64 request, const QList<NotifyChannelSettings> &channels, const MailIniSettings &mail);
    // Takes up the events and messages an earlier run left and starts what is due.
    void Resume(quint64 request);
    // The channel `from` is renamed `to` (the settings that follow name it so): its queue stops
    // with its messages stored, and they are given the new name.
    void Rename(quint64 request, const QString &from, const QString &to);
    // The events of a burst, handed over together: their channels' messages are stored in one
    // transaction and their attempts start.
    void Take(quint64 request, const QList<QueuedNotifyEvent> &events);
    // The alarm was acknowledged: the alert channels say so on its alert.
    void Acknowledged(quint64 request, const AlertAcknowledgement &ack);
    // Waits up to waitMs for what is due now to go, then stops every channel (the notices that
    // have not had their one attempt are given up) and reports stopped.
    void Shutdown(quint64 request, int waitMs);

private:
    ChannelQueue *queue(const QString &name) const;
    // Turns the events taken into their channels' messages, in one transaction.
    void expandTaken();
    void expandLeftOver();
    void handled(quint64 request);
    void statusSoon();
    void reportStatus();
    bool takenBefore(qint64 eventId);
    // Stores messages of channels gone from the settings, in the caller's transaction.
    bool storeRows(QList<NotifyRow> &rows);
    // What waits to be written (new messages, outcomes, the marks of events taken) is written
    // when the poll cycle pauses, in parts.
    bool hasWrites() const;
    void writeSoon();
    void writeWhenQuiet();
    enum class Written { All, Part, Refused };
    Written writePart();
    // Everything now, before a stop.
    void writeAll();
    bool settled() const;
    void stopAll();
    static constexpr int StatusDelayMs = 200;
    // What waits is written this long after it came at the latest, pause or not: it bounds what a
    // crash sends again and how long the Events views wait for an outcome.
    static constexpr int LongestWriteDelayMs = 5000;
    // Rows per transaction: a cycle that wants to write waits for one part at most.
    static constexpr int RowsPerWrite = 200;
    static constexpr int RetryRefusedMs = 1000;

    class Services;
    std::unique_ptr<Services> m_services; // the thread's own error log, prompts and status list
    std::unique_ptr<ProgramState> m_state;
    std::unique_ptr<Database> m_database;
    Reports m_reports;
    std::vector<std::unique_ptr<ChannelQueue>> m_channels;
    QTimer m_statusTimer;
    QTimer m_writeTimer;
    QElapsedTimer m_writeWaiting;      // since the oldest of what waits to be written
    QList<qint64> m_unmarked;          // events taken, whose mark waits to be written with their messages
    QList<NotifyRow> m_unqueued;       // messages for channels gone from the settings, to store
    QHash<qint64, bool> m_leftOverIds; // the start-up scan's events: whether taken since
    QSet<qint64> m_takenBeforeScan;    // events handed over before the start-up scan
    QTimer m_shutdownTimer;
    QList<QueuedNotifyEvent> m_taken;
    quint64 m_handled = 0;
    bool m_leftOverTaken = false;
    bool m_stopped = false;
};
