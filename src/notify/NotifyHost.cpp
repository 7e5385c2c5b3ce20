#include "NotifyHost.h"

#include <core/ErrorLog.h>
#include <core/HeadlessPrompts.h>
#include <core/ProgramState.h>
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

NotifyHost::NotifyHost(const QString &programDirectory, const QString &databasePath, Clock &clock,
                       Reports reports)
    : m_services(std::make_unique<Services>(*this)),
      m_state(std::make_unique<ProgramState>(programDirectory, clock, m_services->prompts, *m_services,
                                             m_services->status, this)),
      m_database(std::make_unique<Database>(*m_state, databasePath)), m_reports(std::move(reports)),
      m_statusTimer(this), m_writeTimer(this), m_shutdownTimer(this)
{
    m_database->giveWayToOthers(); // the poll cycle writes first
    m_statusTimer.setSingleShot(true);
    connect(&m_statusTimer, &QTimer::timeout, this, &NotifyHost::reportStatus);
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &NotifyHost::writeWhenQuiet);
    m_shutdownTimer.setSingleShot(true);
    connect(&m_shutdownTimer, &QTimer::timeout, this, &NotifyHost::stopAll);
}

NotifyHost::~NotifyHost()
{
    if (!m_taken.isEmpty())
        expandTaken();
    writeAll();
    for (const auto &q : m_channels)
        q->Stop();
    m_channels.clear();
}

void NotifyHost::handled(quint64 request)
{
    m_handled = std::max(m_handled, request);
    statusSoon();
}

void NotifyHost::Apply(quint64 request, const QList<NotifyChannelSettings> &channels,
                       const MailIniSettings &mail)
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
        connect(q.get(), &ChannelQueue::attemptFinished, this, &NotifyHost::writeSoon);
        connect(q.get(), &ChannelQueue::attemptStarted, this, &NotifyHost::statusSoon);
        connect(q.get(), &ChannelQueue::attemptFinished, this, &NotifyHost::statusSoon);
        if (m_stopped)
            q->Stop();
        m_channels.push_back(std::move(q));
    }
    handled(request);
}

void NotifyHost::Rename(quint64 request, const QString &from, const QString &to)
{
    // The queue goes with what it holds written (under its old name, which the window thread's
    // rename may have missed); the settings applied next make the queue of the new name, which
    // finds them.
    writeAll();
    std::erase_if(m_channels, [&from](const std::unique_ptr<ChannelQueue> &q) {
        if (q->channel().name != from)
            return false;
        q->Stop();
        return true;
    });
    if (!m_database->RenameNotifyChannel(from, to))
        m_services->AddError(kHostWhere,
                             QStringLiteral("The messages of the channel %1 could not be given its new "
                                            "name %2: %3")
                                 .arg(from, to, m_database->lastError()));
    handled(request);
}

void NotifyHost::Acknowledged(quint64 request, const AlertAcknowledgement &ack)
{
    for (const auto &q : m_channels)
        q->Acknowledged(ack);
    handled(request);
}

void NotifyHost::Resume(quint64 request)
{
    if (!m_stopped) {
        expandLeftOver();
        for (const auto &q : m_channels)
            q->Resume();
        writeSoon(); // what the database did not take before
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
    // Each event becomes one message per channel. An event stored with its record goes out at
    // once: the stored event stands for its messages until they and the mark that it was taken are
    // written, in a pause of the poll cycle (writeWhenQuiet); after a stop before that, the next
    // start takes it up again (at least once: the messages keep their IDs). Any other event's
    // messages are stored first, with the mark, in one transaction: a record-less event leaves
    // with its last message, and one the database refused has nothing else standing for it.
    const QList<QueuedNotifyEvent> taken = std::exchange(m_taken, {});
    QList<std::pair<ChannelQueue *, qint64>> storeFirst;
    QList<qint64> storeFirstIds;
    QList<NotifyRow> unqueuedFirst;
    for (const QueuedNotifyEvent &queued : taken) {
        if (takenBefore(queued.eventId))
            continue;
        if (!m_leftOverTaken && queued.eventId > 0)
            m_takenBeforeScan.insert(queued.eventId);
        const bool goesAtOnce = queued.eventId > 0 && queued.recordId > 0;
        for (const QString &name : queued.channels) {
            ChannelQueue *q = queue(name);
            if (!q) {
                // A channel gone from the settings (an event left over from a run that had it):
                // its message waits in the table for the channel to come back.
                (goesAtOnce ? m_unqueued : unqueuedFirst)
                    .append(ChannelQueue::MessageRow(name, queued.event, queued.payload, queued.eventId,
                                                     queued.recordTable, queued.recordId, queued.retries,
                                                     queued.at.wall));
                continue;
            }
            const qint64 key = q->Enqueue(queued.event, queued.payload, queued.eventId, queued.recordTable,
                                          queued.recordId, queued.retries, queued.at);
            if (goesAtOnce)
                q->StartDue();
            else
                storeFirst.append({q, key});
        }
        if (goesAtOnce)
            m_unmarked.append(queued.eventId);
        else if (queued.eventId > 0)
            storeFirstIds.append(queued.eventId);
    }
    if (!m_unmarked.isEmpty())
        writeSoon();
    if (storeFirst.isEmpty() && storeFirstIds.isEmpty() && unqueuedFirst.isEmpty())
        return;
    const bool committed = m_database->runInTransaction([&] {
        for (const qint64 id : std::as_const(storeFirstIds)) {
            bool claimed = true;
            m_database->ClaimNotifyEvent(id, claimed);
        }
        ChannelQueue::StoreQueued(storeFirst);
        return storeRows(unqueuedFirst);
    });
    // Attempts start once the messages are committed; messages the database did not take are
    // kept and stored again later.
    for (const auto &[q, key] : storeFirst) {
        if (!committed)
            q->Unstore(key);
        q->StartDue();
    }
    if (!committed) {
        m_unmarked.append(storeFirstIds);
        m_unqueued.append(unqueuedFirst);
        writeSoon();
    }
}

bool NotifyHost::storeRows(QList<NotifyRow> &rows)
{
    QList<NotifyRow *> pointers;
    for (NotifyRow &row : rows)
        pointers.append(&row);
    return m_database->AddNotifyMessages(pointers);
}

bool NotifyHost::takenBefore(qint64 eventId)
{
    // The start-up scan and the window thread may both hand over an event stored just before the
    // scan: it is taken once.
    const auto seen = m_leftOverIds.find(eventId);
    if (seen == m_leftOverIds.end())
        return false;
    return std::exchange(seen.value(), true);
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
    // Older than any taken meanwhile; one taken both ways is taken once. An event handed over
    // before the scan and sent at once is still unmarked in the table until the quiet write: it
    // is not taken again.
    const QSet<qint64> takenBeforeScan = std::exchange(m_takenBeforeScan, {});
    QList<QueuedNotifyEvent> leftOver;
    for (const NotifyEventRow &row : std::as_const(rows)) {
        if (takenBeforeScan.contains(row.IDNum))
            continue;
        m_leftOverIds.insert(row.IDNum, false);
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

bool NotifyHost::hasWrites() const
{
    return !m_unmarked.isEmpty() || !m_unqueued.isEmpty() ||
           std::any_of(m_channels.cbegin(), m_channels.cend(),
                       [](const std::unique_ptr<ChannelQueue> &q) { return q->hasChanges(); });
}

void NotifyHost::writeSoon()
{
    // Without anything to write the thread leaves the file alone: without channels it opens no
    // connection of its own.
    if (m_writeTimer.isActive() || !hasWrites())
        return;
    if (!m_writeWaiting.isValid())
        m_writeWaiting.start();
    m_writeTimer.start(QuietMs);
}

void NotifyHost::writeWhenQuiet()
{
    // Written while the poll cycle writes, these would make it wait for them; a pause comes after
    // every cycle. A cycle that writes on and on still waits only for one part at a time.
    const qint64 quiet = m_database->firstWritersQuietMs();
    if (quiet < QuietMs && m_writeWaiting.elapsed() < LongestWriteDelayMs) {
        m_writeTimer.start(int(QuietMs - quiet));
        return;
    }
    switch (writePart()) {
    case Written::All:
        m_writeWaiting.invalidate();
        break;
    case Written::Part:
        m_writeTimer.start(0); // the next part, after the cycle has had its turn
        break;
    case Written::Refused:
        m_writeTimer.start(RetryRefusedMs);
        break;
    }
}

NotifyHost::Written NotifyHost::writePart()
{
    // The messages and outcomes first, then the marks of the events taken: an event is marked
    // taken only with its messages stored. A stop in between takes it up again at the next start.
    if (!hasWrites())
        return Written::All;
    // Gathered first, so that the transaction holds the file only for the writes.
    int budget = RowsPerWrite;
    bool all = true;
    QList<std::pair<ChannelQueue *, QList<qsizetype>>> parts;
    for (const auto &q : m_channels) {
        QList<qsizetype> changes = q->Changes(budget + 1); // one more tells whether any is left
        if (changes.size() > budget) {
            changes.resize(budget);
            all = false;
        }
        budget -= int(changes.size());
        parts.append({q.get(), changes});
    }
    bool stored = true;
    bool marked = false;
    const bool committed = m_database->runInTransaction([&] {
        for (const auto &[q, changes] : std::as_const(parts))
            stored = q->StoreChanges(changes) == changes.size() && stored;
        if (!all || !stored || (m_unmarked.isEmpty() && m_unqueued.isEmpty()))
            return true;
        // An event is marked taken only with every message of it stored, its channels' and those
        // of channels gone.
        if (!storeRows(m_unqueued))
            return stored = false;
        for (const qint64 id : std::as_const(m_unmarked)) {
            bool claimed = true;
            if (!m_database->ClaimNotifyEvent(id, claimed))
                return stored = false; // the marks at the next try, the messages kept
        }
        return marked = true;
    });
    if (!committed || !stored)
        return Written::Refused;
    if (marked) {
        m_unmarked.clear();
        m_unqueued.clear();
    }
    return all && m_unmarked.isEmpty() && m_unqueued.isEmpty() ? Written::All : Written::Part;
}

void NotifyHost::writeAll()
{
    m_writeTimer.stop();
    m_writeWaiting.invalidate();
    while (writePart() == Written::Part) {
    }
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
    writeAll();
    m_stopped = true;
    m_shutdownTimer.stop();
    for (const auto &q : m_channels)
        q->Stop(ChannelQueue::StopFor::ProgramEnd);
    reportStatus();
    if (m_reports.stopped)
        m_reports.stopped();
}

#include "moc_NotifyHost.cpp"
