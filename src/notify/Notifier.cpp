#include "Notifier.h"

#include "ChannelRules.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/LocalWait.h>
#include <core/ProgramState.h>
#include <db/Database.h>

const QString Notifier::WaitingKey = QStringLiteral("Notifications waiting for ");

Notifier::Notifier(ProgramState &state, Database &database, QObject *parent)
    : QObject(parent), m_state(state), m_database(database)
{
    m_statusTimer.setSingleShot(true);
    connect(&m_statusTimer, &QTimer::timeout, this, &Notifier::updateStatus);
    m_storeTimer.setSingleShot(true);
    connect(&m_storeTimer, &QTimer::timeout, this, &Notifier::storeChanges);
}

Notifier::~Notifier() = default;

void Notifier::syncChannels()
{
    const QList<NotifyChannelSettings> &wanted = m_state.Ini.channels;
    std::erase_if(m_channels, [&wanted](const std::unique_ptr<ChannelQueue> &q) {
        if (wanted.contains(q->channel()))
            return false;
        q->Stop();
        return true;
    });
    for (const NotifyChannelSettings &c : wanted) {
        if (channel(c.name))
            continue;
        auto queue = std::make_unique<ChannelQueue>(m_state, m_database, c);
        connect(queue.get(), &ChannelQueue::attemptFinished, this, &Notifier::storeSoon);
        connect(queue.get(), &ChannelQueue::attemptFinished, this, &Notifier::updateStatusSoon);
        m_channels.push_back(std::move(queue));
    }
}

void Notifier::Notify(NotifyEvent event, const QString &recordTable, qint64 recordId, bool retries)
{
    if (!HasChannels())
        return;
    NotifyEvent filled = NotifyEvent::make(event.kind, m_state.clock().now(), m_state.Config.OrgName);
    if (event.id.isEmpty())
        event.id = filled.id;
    if (!event.time.isValid())
        event.time = filled.time;
    if (event.organisation.isEmpty())
        event.organisation = filled.organisation;
    if (event.collector.isEmpty())
        event.collector = filled.collector;
    // Every channel formats these times, on its own thread: fixed offsets spare each of them a
    // time-zone lookup.
    event.time = FixedOffsetTime(event.time);
    event.startedAt = FixedOffsetTime(event.startedAt);
    // Every channel's message in one transaction: one commit per event, however many channels.
    // Within a caller's transaction (an alarm with its record and e-mail) they are part of it.
    const bool joined = m_database.inTransaction();
    const ChannelQueue::QueuedAt at{Moment::now(m_state.clock()), filled.time};
    QList<std::pair<ChannelQueue *, qint64>> added;
    QString payload;
    for (const auto &q : m_channels) {
        if (!ChannelRules::Takes(q->channel(), event.kind, event.device, event.address))
            continue;
        if (payload.isEmpty())
            payload = event.StoredPayload();
        added.append({q.get(), q->Enqueue(event, payload, recordTable, recordId, retries, at)});
    }
    const bool committed = m_database.runInTransaction([&added] {
        ChannelQueue::StoreQueued(added);
        return true;
    });
    QList<std::pair<QString, qint64>> queued;
    for (const auto &[q, key] : added)
        queued.append({q->channel().name, key});
    // Attempts start once the messages are committed. Rolled back with the caller's transaction,
    // they are withdrawn, as its e-mail is (the caller queues them again); a store of their own
    // that failed is tried again later.
    m_database.afterTransaction([this, queued, joined, committed](bool done) {
        for (const auto &[name, key] : queued) {
            ChannelQueue *q = queue(name);
            if (!q)
                continue;
            if (joined && !done)
                q->Withdraw(key);
            else if (!committed)
                q->Unstore(key);
            q->StartDue();
        }
    });
    updateStatusSoon();
}

ChannelQueue *Notifier::queue(const QString &name) const
{
    for (const auto &q : m_channels)
        if (q->channel().name == name)
            return q.get();
    return nullptr;
}

void Notifier::updateStatusSoon()
{
    // A burst of events or answers changes the lines once.
    if (!m_statusTimer.isActive())
        m_statusTimer.start(StatusDelayMs);
}

void Notifier::storeSoon()
{
    if (!m_storeTimer.isActive())
        m_storeTimer.start(StoreDelayMs);
}

void Notifier::storeChanges()
{
    // The outcomes of the last moment's attempts, every channel's, in one commit: a burst costs one
    // commit, and a page holding several channels' messages is written once. A crash before it
    // sends those messages again, which at-least-once delivery allows (their IDs stay the same).
    m_database.runInTransaction([this] {
        for (const auto &q : m_channels)
            q->StoreChanges();
        return true;
    });
}

void Notifier::Resume()
{
    syncChannels();
    for (const auto &q : m_channels)
        q->Resume();
    updateStatus();
}

bool Notifier::settled() const
{
    return std::none_of(m_channels.cbegin(), m_channels.cend(), [](const std::unique_ptr<ChannelQueue> &q) {
        return q->attemptRunning() || q->firstAttemptDue();
    });
}

void Notifier::Shutdown(int waitMs)
{
    NotifyEvent event;
    event.kind = QStringLiteral("shutdown");
    event.subject = QStringLiteral("Shutdown");
    event.text = QStringLiteral("Tallyport has been shut down.");
    Notify(event, QString(), 0, false);
    if (!settled() && waitMs > 0) {
        LocalWait wait;
        for (const auto &q : m_channels)
            connect(q.get(), &ChannelQueue::attemptFinished, this, [this, &wait] {
                if (settled())
                    wait.finish();
            });
        wait.run(waitMs);
    }
    for (const auto &q : m_channels)
        q->Stop();
}

bool Notifier::HasChannels()
{
    syncChannels();
    return !m_channels.empty();
}

const ChannelQueue *Notifier::channel(const QString &name) const
{
    return queue(name);
}

QStringList Notifier::channelNames() const
{
    QStringList names;
    for (const auto &q : m_channels)
        names.append(q->channel().name);
    return names;
}

void Notifier::updateStatus()
{
    QStringList keys;
    for (const auto &q : m_channels) {
        const QString key = WaitingKey + q->channel().name + QStringLiteral(": ");
        const int waiting = q->waitingCount();
        const int failed = q->failedTotal();
        if (waiting == 0 && failed == 0) {
            m_state.UpdateStatus(key, QStringLiteral("delete"));
            continue;
        }
        keys.append(key);
        QString line = QString::number(waiting);
        if (q->attemptRunning())
            line += QStringLiteral("  Sending now");
        else if (const QDateTime next = q->nextAttemptTime(); next.isValid())
            line += QStringLiteral("  Next attempt at ") + DateTimeText(next);
        if (failed > 0)
            line += QStringLiteral("  Given up: %1").arg(failed);
        m_state.UpdateStatus(key, line);
    }
    // Channels removed from the settings leave the list too.
    for (const QString &key : std::as_const(m_statusKeys))
        if (!keys.contains(key))
            m_state.UpdateStatus(key, QStringLiteral("delete"));
    m_statusKeys = keys;
}
