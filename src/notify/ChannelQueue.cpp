#include "ChannelQueue.h"

#include "ChannelFormats.h"

#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>

#include <QPointer>
#include <QSet>

namespace {
const QString kChannelWhere = QStringLiteral("Notifications");
// The timer never sleeps longer than this, so a clock set back or forward meanwhile delays
// nothing for long.
constexpr qint64 kLongestChannelSleepMs = 60 * 1000;

QString outcomeText(const NotifyRow &row)
{
    if (row.State == 1)
        return QStringLiteral("Delivered ") + DateTimeText(row.LastAttempt);
    if (row.Attempts == 0)
        return QStringLiteral("Waiting to be sent");
    const QString last = QStringLiteral("%1 (%2)").arg(row.LastError, DateTimeText(row.LastAttempt));
    if (row.State == 0)
        return QStringLiteral("Attempt %1 failed: %2; it will be tried again.").arg(row.Attempts).arg(last);
    return QStringLiteral("Given up after %1 attempt(s): %2").arg(row.Attempts).arg(last);
}
} // namespace

ChannelQueue::ChannelQueue(ProgramState &state, Database &database, const NotifyChannelSettings &channel,
                           QObject *parent)
    : QObject(parent), m_state(state), m_database(database), m_channel(channel), m_timing(state)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ChannelQueue::Resume);
    m_gatherTimer.setSingleShot(true);
    m_gatherTimer.setInterval(GatherMs);
    connect(&m_gatherTimer, &QTimer::timeout, this, &ChannelQueue::startNext);
    connect(&m_worker, &HttpWorker::finished, this, &ChannelQueue::onFinished);
    if (m_channel.type == QLatin1String("alertmanager")) {
        connect(&m_repostTimer, &QTimer::timeout, this, &ChannelQueue::repost);
        m_repostTimer.start(m_channel.repostSeconds * 1000);
    }
}

ChannelQueue::Entry *ChannelQueue::find(qint64 key)
{
    for (auto e = m_entries.rbegin(); e != m_entries.rend(); ++e)
        if (e->key == key)
            return &*e;
    return nullptr;
}

qint64 ChannelQueue::Enqueue(const NotifyEvent &event, const QString &payload, qint64 eventId,
                             const QString &recordTable, qint64 recordId, bool retries, const QueuedAt &at)
{
    if (!m_loaded)
        load();
    Entry e;
    e.key = m_nextKey++;
    e.event = event;
    e.row.Channel = m_channel.name;
    e.row.Kind = event.kind;
    e.row.MessageID = event.id;
    e.row.RecordTable = recordTable;
    e.row.RecordID = recordId;
    e.origin = at.moment;
    e.nextAttempt = e.origin;
    e.row.Created = at.wall;
    e.row.NextAttempt = e.row.Created;
    e.row.AgedFrom = e.row.Created;
    e.storedTimesCurrent = true;
    // An alert's end takes its start's time here, which the shared payload lacks.
    e.row.EventID = eventId;
    if (trackAlert(e.event))
        e.row.Payload = e.event.StoredPayload();
    else if (eventId <= 0)
        e.row.Payload = payload;
    e.row.Retries = retries;
    e.row.Outcome = outcomeText(e.row);
    m_entries.append(std::move(e));
    return m_entries.last().key;
}

void ChannelQueue::StoreQueued(const QList<std::pair<ChannelQueue *, qint64>> &queued)
{
    // Stored before the first attempt (StartDue).
    QList<std::pair<ChannelQueue *, Entry *>> entries;
    QList<NotifyRow *> rows;
    for (const auto &[queue, key] : queued)
        if (Entry *e = queue->find(key)) {
            entries.append({queue, e});
            rows.append(&e->row);
        }
    if (rows.isEmpty())
        return;
    entries.first().first->m_database.AddNotifyMessages(rows);
    for (const auto &[queue, e] : entries) {
        if (e->row.IDNum == 0) {
            queue->flush(*e); // alone, to log the refusal; kept dirty for the next try
            continue;
        }
        e->dirty = false;
        e->storedTimesCurrent = false;
    }
}

void ChannelQueue::Unstore(qint64 key)
{
    Entry *e = find(key);
    if (e && e->row.IDNum != 0) {
        e->row.IDNum = 0;
        e->dirty = true;
    }
}

void ChannelQueue::Withdraw(qint64 key)
{
    if (!isRunning(key))
        m_entries.removeIf([key](const Entry &e) { return e.key == key; });
}

void ChannelQueue::StartDue()
{
    // A run's end takes up what came meanwhile.
    if (!m_stopped && m_running == Running::None && !m_gatherTimer.isActive())
        m_gatherTimer.start();
}

QList<qsizetype> ChannelQueue::Changes(int maxRows) const
{
    QList<qsizetype> changes;
    for (qsizetype i = 0; i < m_entries.size() && changes.size() < maxRows; ++i)
        if (m_entries.at(i).dirty)
            changes.append(i);
    return changes;
}

int ChannelQueue::storeChanged(const QList<qsizetype> &changes)
{
    int count = 0;
    m_database.runInTransaction([this, &changes, &count] {
        QList<std::pair<qint64, bool>> written; // key, and whether its row was added
        for (const qsizetype i : changes) {
            Entry &e = m_entries[i];
            const bool added = e.row.IDNum == 0;
            if (!flush(e))
                break; // the database refuses: the rest waits for the next try
            ++count;
            written.append({e.key, added});
        }
        // Rolled back: what seemed written is not. (A caller's transaction may outlive a queue
        // that its settings removed meanwhile.)
        m_database.afterTransaction([self = QPointer(this), written](bool committed) {
            if (committed || !self)
                return;
            for (const auto &[key, added] : written)
                if (Entry *e = self->find(key)) {
                    e->dirty = true;
                    if (added)
                        e->row.IDNum = 0;
                }
        });
        return true;
    });
    return count;
}

int ChannelQueue::StoreChanges(const QList<qsizetype> &changes)
{
    const int count = storeChanged(changes);
    m_database.afterTransaction([self = QPointer(this)](bool) {
        if (self)
            self->dropFinished();
    });
    return count;
}

bool ChannelQueue::hasChanges() const
{
    return std::any_of(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return e.dirty; });
}

bool ChannelQueue::trackAlert(NotifyEvent &event)
{
    if (m_channel.type != QLatin1String("alertmanager"))
        return false;
    const QString key = ChannelFormats::AlertKey(event);
    if (ChannelFormats::OpensAlert(event.kind)) {
        m_openAlerts.insert(key, event);
    } else if (ChannelFormats::EndsAlert(event.kind)) {
        // The end is posted with its alert's start, so both describe one alert.
        const NotifyEvent open = m_openAlerts.take(key);
        if (!event.startedAt.isValid() && open.time.isValid()) {
            event.startedAt = open.time;
            return true;
        }
    }
    return false;
}

void ChannelQueue::load()
{
    QList<NotifyRow> rows;
    if (!m_database.WaitingNotifyMessages(m_channel.name, rows))
        return;
    m_loaded = true;
    for (const NotifyRow &row : rows) {
        const bool known = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                       [&](const Entry &e) { return e.row.IDNum == row.IDNum; });
        if (known)
            continue;
        Entry e;
        e.key = m_nextKey++;
        e.row = row;
        // The wall-clock time between the stop and now counts toward its age and its pause.
        e.origin = m_timing.fromStored(row.AgedFrom.isValid() ? row.AgedFrom : row.Created);
        e.nextAttempt = m_timing.fromStored(row.NextAttempt.isValid() ? row.NextAttempt : row.Created);
        e.event = NotifyEvent::FromStoredPayload(row.Payload);
        e.dirty = false;
        trackAlert(e.event);
        m_entries.append(std::move(e));
    }
    restoreOpenAlerts();
    // Oldest first, those this run queued before the database answered among them.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry &a, const Entry &b) { return a.row.Created < b.row.Created; });
    // The pause an earlier run was in goes on.
    for (const Entry &e : m_entries)
        if (e.row.Attempts > 0 && e.nextAttempt.isValid() &&
            (!m_holdUntil.isValid() || e.nextAttempt < m_holdUntil))
            m_holdUntil = e.nextAttempt;
}

void ChannelQueue::restoreOpenAlerts()
{
    // Alerts delivered by an earlier run are posted again as long as their records stay open, so
    // that the receiver does not resolve them when their endsAt passes.
    QList<NotifyRow> rows;
    if (m_channel.type != QLatin1String("alertmanager") ||
        !m_database.OpenAlertMessages(m_channel.name, rows))
        return;
    for (const NotifyRow &row : std::as_const(rows)) {
        NotifyEvent event = NotifyEvent::FromStoredPayload(row.Payload);
        const QString key = ChannelFormats::AlertKey(event);
        if (!m_openAlerts.contains(key))
            m_openAlerts.insert(key, event);
    }
}

void ChannelQueue::Resume()
{
    if (m_stopped)
        return;
    if (!m_loaded)
        load();
    dropFinished();
    startNext();
}

void ChannelQueue::Stop()
{
    m_stopped = true;
    m_timer.stop();
    m_gatherTimer.stop();
    m_repostTimer.stop();
    m_worker.stop();
    // What the receiver took before the stop is not sent again; the request the stop broke off
    // says nothing about the receiver.
    if (m_running == Running::Entry) {
        QList<HttpOutcome> taken = m_worker.takeOutcomes();
        taken.removeIf([](const HttpOutcome &o) { return !o.delivered(); });
        applyOutcomes(taken);
    }
    // Stored with their times on the wall clock as it reads now, so that the next start counts
    // from here what passes until then, whatever the clock did while they waited.
    for (Entry &e : m_entries)
        if (e.waiting())
            e.dirty = true;
    storeChanged(Changes());
}

bool ChannelQueue::mayStart(const Entry &e, const Moment &now) const
{
    // Retries follow the channel's pause, oldest first, so a receiver that comes back gets the
    // messages in the order they were queued.
    return e.waiting() && (e.row.Attempts == 0 || !m_holdUntil.isValid() || now >= m_holdUntil);
}

bool ChannelQueue::firstAttemptDue() const
{
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [](const Entry &e) { return e.waiting() && e.row.Attempts == 0; });
}

void ChannelQueue::giveUpExpired(const Moment &now)
{
    for (Entry &e : m_entries) {
        if (!e.waiting() || e.row.Attempts == 0 || isRunning(e.key) ||
            now < m_timing.deadline(e.origin, e.row.Retries))
            continue;
        giveUp(e, e.row.LastError);
    }
}

void ChannelQueue::startNext()
{
    if (m_stopped || m_running != Running::None)
        return;
    const Moment now = m_timing.now();
    giveUpExpired(now);
    dropFinished();
    // The oldest first, so that a receiver gets an alarm before its end whenever it can.
    QList<NotifyEvent> events;
    const bool alerts = m_channel.type == QLatin1String("alertmanager");
    QSet<QString> alertsTaken;
    for (const Entry &e : std::as_const(m_entries)) {
        if (events.size() == MaxRun)
            break;
        if (!mayStart(e, now))
            continue;
        // Alertmanager takes a run's alerts in one request, but one state of each alert: a
        // second message about the same alert waits for the next run.
        if (alerts) {
            const QString key = ChannelFormats::AlertKey(e.event);
            if (alertsTaken.contains(key))
                break;
            alertsTaken.insert(key);
        }
        m_runningKeys.append(e.key);
        events.append(e.event);
    }
    if (events.isEmpty()) {
        armTimer();
        return;
    }
    m_running = Running::Entry;
    m_worker.start(requestsFor(events));
}

QList<HttpWorker::RequestMaker> ChannelQueue::requestsFor(const QList<NotifyEvent> &events) const
{
    // The requests are built on the worker's thread; it sends them one after the other and stops
    // at the first that fails.
    const QDateTime now = m_timing.wallNow();
    if (m_channel.type == QLatin1String("alertmanager"))
        return {[channel = m_channel, events, now] {
            return ChannelFormats::AlertsRequest(channel, events, now);
        }};
    QList<HttpWorker::RequestMaker> requests;
    for (const NotifyEvent &event : events)
        requests.append(
            [channel = m_channel, event, now] { return ChannelFormats::Request(channel, event, now); });
    return requests;
}

void ChannelQueue::onFinished(const QList<HttpOutcome> &outcomes)
{
    const Running was = m_running;
    m_running = Running::None;
    // A request stopped with the queue says nothing about the receiver: its message waits for the
    // next run. The outcomes are stored a moment later, with the other channels' (StoreChanges).
    if (was == Running::Entry && !m_stopped)
        applyOutcomes(outcomes);
    m_runningKeys.clear();
    emit attemptFinished();
    startNext();
}

void ChannelQueue::applyOutcomes(const QList<HttpOutcome> &outcomes)
{
    if (outcomes.isEmpty())
        return;
    // An Alertmanager run is one request: its outcome is every message's.
    const bool shared = m_channel.type == QLatin1String("alertmanager");
    const qsizetype count = shared ? m_runningKeys.size() : std::min(outcomes.size(), m_runningKeys.size());
    for (qsizetype i = 0; i < count; ++i)
        if (Entry *e = find(m_runningKeys[i]))
            applyOutcome(*e, outcomes[shared ? 0 : i]);
    m_runningKeys.remove(0, count);
}

void ChannelQueue::applyOutcome(Entry &e, const HttpOutcome &outcome)
{
    ++e.row.Attempts;
    e.row.LastAttempt = m_timing.wallNow();
    e.dirty = true;
    if (outcome.delivered()) {
        e.row.State = 1;
        e.row.LastError.clear();
        e.nextAttempt = Moment();
        e.row.NextAttempt = QDateTime();
        m_holdUntil = Moment();
        e.row.Outcome = outcomeText(e.row);
        return;
    }
    e.row.LastError = outcome.errorText.isEmpty() ? outcome.summary() : outcome.errorText;
    if (outcome.refusedForGood()) {
        giveUp(e, e.row.LastError);
        return;
    }
    e.nextAttempt =
        e.row.Retries ? m_timing.nextAttemptAfterFailure(e.origin, m_timing.now(), e.row.Attempts) : Moment();
    if (!e.nextAttempt.isValid()) {
        giveUp(e, e.row.LastError);
        return;
    }
    e.row.NextAttempt = m_timing.toStored(e.nextAttempt);
    m_holdUntil = e.nextAttempt;
    e.row.Outcome = outcomeText(e.row);
}

void ChannelQueue::giveUp(Entry &e, const QString &why)
{
    e.row.State = 2;
    e.nextAttempt = Moment();
    e.row.NextAttempt = QDateTime();
    e.row.Outcome = outcomeText(e.row);
    e.dirty = true;
    ++m_failedTotal;
    m_state.AddError(kChannelWhere,
                     QStringLiteral("%1: the %2 message %3 was given up after %4 attempt(s): %5")
                         .arg(m_channel.name, e.row.Kind, e.row.MessageID)
                         .arg(e.row.Attempts)
                         .arg(why));
    flush(e);
}

void ChannelQueue::repost()
{
    // Re-posts replace each other: one that cannot go now is simply left to the next.
    const Moment now = m_timing.now();
    if (m_stopped || m_running != Running::None || m_openAlerts.isEmpty() ||
        (m_holdUntil.isValid() && now < m_holdUntil))
        return;
    m_running = Running::Repost;
    m_worker.start(ChannelFormats::AlertsRequest(m_channel, m_openAlerts.values(), m_timing.wallNow()));
}

bool ChannelQueue::flush(Entry &e)
{
    if (!e.dirty)
        return true;
    // A waiting message's age and next attempt go as the wall clock reads them now; a finished
    // one needs neither.
    if (e.waiting() && !e.storedTimesCurrent) {
        e.row.AgedFrom = m_timing.toStored(e.origin);
        if (e.nextAttempt.isValid())
            e.row.NextAttempt = m_timing.toStored(e.nextAttempt);
    }
    e.storedTimesCurrent = false;
    bool stored = true;
    if (e.row.IDNum == 0)
        stored = e.waiting() ? m_database.AddNotifyMessage(e.row)
                             : e.row.RecordID <= 0 || m_database.AddNotifyMessage(e.row);
    else
        stored = m_database.SaveNotifyMessage(e.row);
    if (stored) {
        e.dirty = false;
        return true;
    }
    if (!e.storeFailureLogged)
        m_state.AddError(kChannelWhere,
                         QStringLiteral("%1: the %2 message %3 could not be stored; it is kept in memory "
                                        "until the database takes it: %4")
                             .arg(m_channel.name, e.row.Kind, e.row.MessageID, m_database.lastError()));
    e.storeFailureLogged = true;
    return false;
}

void ChannelQueue::dropFinished()
{
    m_entries.removeIf([this](const Entry &e) { return !e.waiting() && !e.dirty && !isRunning(e.key); });
}

int ChannelQueue::waitingCount() const
{
    return int(
        std::count_if(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return e.waiting(); }));
}

Moment ChannelQueue::nextDue() const
{
    Moment next;
    for (const Entry &e : m_entries) {
        if (!e.waiting())
            continue;
        const Moment due = e.row.Attempts > 0 && m_holdUntil.isValid() ? m_holdUntil : e.origin;
        if (!next.isValid() || due < next)
            next = due;
    }
    return next;
}

QDateTime ChannelQueue::nextAttemptTime() const
{
    return m_timing.toStored(nextDue());
}

void ChannelQueue::armTimer()
{
    const Moment next = nextDue();
    if (m_stopped || !next.isValid()) {
        m_timer.stop();
        return;
    }
    const qint64 ms = std::clamp<qint64>(m_timing.now().msecsTo(next), 10, kLongestChannelSleepMs);
    m_timer.start(int(ms));
}
