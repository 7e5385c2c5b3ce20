#include "NotifyHost.h"

#include <core/ErrorLog.h>
#include <core/ProgramState.h>
#include <core/HeadlessPrompts.h>
#include <core/StatusList.h>
#include <db/Database.h>

namespace {
const QString kHostWhere = QStringLiteral("Notifications");
}

// The thread's error lines go to the window thread's log; nothing here may open a window, so a
// question gets its safe answer and is logged.
class NotifyHost::Services final : public ErrorLog {
public:
    explicit Services(NotifyHost &host) : m_host(host)
    {
        prompts.report = [this](const QString &line) { AddError(kHostWhere, line); };
    }
    void AddError(const QString &where, const QString &cause) override
    {
        if (m_host.m_reports.error)
            m_host.m_reports.error(where, cause);
    }

    HeadlessPrompts prompts;
    StatusList status; // unused: the window thread keeps the status list

private:
    NotifyHost &m_host;
};

NotifyHost::NotifyHost(const QString &programDirectory, const QString &databasePath, Clock &clock, Reports reports)
    : m_services(std::make_unique<Services>(*this)),
      m_state(std::make_unique<ProgramState>(programDirectory, clock, m_services->prompts, *m_services, m_services->status,
                                             this)),
      m_database(std::make_unique<Database>(*m_state, databasePath)),
      m_reports(std::move(reports)),
      m_statusTimer(this),
      m_storeTimer(this),
      m_shutdownTimer(this)
{
    m_database->giveWayToOthers(); // the poll cycle writes first
    m_statusTimer.setSingleShot(true);
    connect(&m_statusTimer, &QTimer::timeout, this, &NotifyHost::reportStatus);
    m_storeTimer.setSingleShot(true);
    connect(&m_storeTimer, &QTimer::timeout, this, &NotifyHost::storeChanges);
    m_shutdownTimer.setSingleShot(true);
    connect(&m_shutdownTimer, &QTimer::timeout, this, &NotifyHost::stopAll);
}

NotifyHost::~NotifyHost()
{
    if (!m_taken.isEmpty())
        expandTaken();
    for (const auto &q : m_channels)
        q->Stop();
    m_channels.clear();
}

void NotifyHost::handled(quint64 request)
{
    m_handled = std::max(m_handled, request);
    statusSoon();
}

void NotifyHost::Apply(quint64 request, const QList<NotifyChannelSettings> &channels, const MailIniSettings &mail)
{
    m_state->Ini.channels = channels;
    m_state->Ini.mail = mail;
    std::erase_if(m_channels, [&channels](const std::unique_ptr<ChannelQueue> &q) {
        if (channels.contains(q->channel()))
            return false;
        q->Stop();
        return true;
    });
    for (const NotifyChannelSettings &c : channels) {
        if (queue(c.name))
            continue;
        auto q = std::make_unique<ChannelQueue>(*m_state, *m_database, c);
        connect(q.get(), &ChannelQueue::attemptFinished, this, &NotifyHost::storeSoon);
        connect(q.get(), &ChannelQueue::attemptFinished, this, &NotifyHost::statusSoon);
        if (m_stopped)
            q->Stop();
        m_channels.push_back(std::move(q));
    }
    handled(request);
}

void NotifyHost::Resume(quint64 request)
{
    if (!m_stopped) {
        expandLeftOver();
        for (const auto &q : m_channels)
            q->Resume();
    }
    handled(request);
}

void NotifyHost::Take(quint64 request, const QList<QueuedNotifyEvent> &events)
{
    if (!m_stopped) {
        m_taken.append(events);
        expandTaken();
    }
    handled(request);
}

ChannelQueue *NotifyHost::queue(const QString &name) const
{
    for (const auto &q : m_channels)
        if (q->channel().name == name)
            return q.get();
    return nullptr;
}

void NotifyHost::expandTaken()
{
    // Each event becomes one message per channel, stored with the mark that it was, in one
    // transaction: after a stop in between, the next start does it (expandLeftOver), and an
    // event already taken that way is not taken again here.
    const QList<QueuedNotifyEvent> taken = std::exchange(m_taken, {});
    QList<std::pair<ChannelQueue *, qint64>> added;
    const bool committed = m_database->runInTransaction([&] {
        for (const QueuedNotifyEvent &queued : taken) {
            bool claimed = true;
            if (queued.eventId > 0 && m_database->ClaimNotifyEvent(queued.eventId, claimed) && !claimed)
                continue;
            for (const QString &name : queued.channels)
                if (ChannelQueue *q = queue(name))
                    added.append({q, q->Enqueue(queued.event, queued.payload, queued.eventId, queued.recordTable,
                                                queued.recordId, queued.retries, queued.at)});
        }
        ChannelQueue::StoreQueued(added);
        return true;
    });
    // Attempts start once the messages are committed; messages the database did not take are
    // kept and stored again later.
    for (const auto &[q, key] : added) {
        if (!committed)
            q->Unstore(key);
        q->StartDue();
    }
}

void NotifyHost::expandLeftOver()
{
    // Without channels the thread leaves the file alone: it opens no connection of its own.
    if (m_leftOverTaken || m_channels.empty())
        return;
    QList<NotifyEventRow> rows;
    if (!m_database->UnexpandedNotifyEvents(rows))
        return;
    m_leftOverTaken = true;
    // Older than any taken meanwhile; one taken both ways is claimed once.
    QList<QueuedNotifyEvent> leftOver;
    for (const NotifyEventRow &row : std::as_const(rows)) {
        QueuedNotifyEvent queued;
        queued.eventId = row.IDNum;
        queued.event = NotifyEvent::FromStoredPayload(row.Payload);
        queued.payload = row.Payload;
        queued.channels = row.Channels;
        queued.recordTable = row.RecordTable;
        queued.recordId = row.RecordID;
        queued.retries = row.Retries;
        // The time between the stop and now counts toward its age, as for a stored message.
        queued.at = {Moment::fromWallClock(m_state->clock(), row.Created), row.Created};
        leftOver.append(queued);
    }
    m_taken = leftOver + m_taken;
    expandTaken();
}

void NotifyHost::statusSoon()
{
    // A burst of events or answers is reported once.
    if (!m_statusTimer.isActive())
        m_statusTimer.start(StatusDelayMs);
}

void NotifyHost::reportStatus()
{
    m_statusTimer.stop();
    if (!m_reports.status)
        return;
    QList<ChannelStatus> channels;
    for (const auto &q : m_channels)
        channels.append(ChannelStatus::Of(*q));
    m_reports.status(channels, m_handled);
}

void NotifyHost::storeSoon()
{
    if (!m_storeTimer.isActive())
        m_storeTimer.start(StoreDelayMs);
}

void NotifyHost::storeChanges()
{
    // The outcomes of the last moment's attempts, every channel's, in one commit: a burst costs one
    // commit, and a page holding several channels' messages is written once. A crash before it
    // sends those messages again, which at-least-once delivery allows (their IDs stay the same).
    m_database->runInTransaction([this] {
        for (const auto &q : m_channels)
            q->StoreChanges();
        return true;
    });
}

bool NotifyHost::settled() const
{
    return std::none_of(m_channels.cbegin(), m_channels.cend(), [](const std::unique_ptr<ChannelQueue> &q) {
        return q->attemptRunning() || q->firstAttemptDue();
    });
}

void NotifyHost::Shutdown(quint64 request, int waitMs)
{
    handled(request);
    expandTaken(); // the shutdown notice among them
    if (settled() || waitMs <= 0) {
        stopAll();
        return;
    }
    for (const auto &q : m_channels)
        connect(q.get(), &ChannelQueue::attemptFinished, this, [this] {
            if (!m_stopped && settled())
                stopAll();
        });
    m_shutdownTimer.start(waitMs);
}

void NotifyHost::stopAll()
{
    if (m_stopped)
        return;
    if (!m_taken.isEmpty())
        expandTaken();
    m_stopped = true;
    m_shutdownTimer.stop();
    for (const auto &q : m_channels)
        q->Stop();
    reportStatus();
    if (m_reports.stopped)
        m_reports.stopped();
}
