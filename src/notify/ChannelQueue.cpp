#include "ChannelQueue.h"

#include "ChannelFormats.h"

#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>

#include <QPointer>
#include <QSet>

#include <tuple>

namespace {
const QString kChannelWhere = QStringLiteral("Notifications");
// The timer never sleeps longer than this, so a clock set back or forward meanwhile delays
// nothing for long.
constexpr qint64 kLongestChannelSleepMs = 60 * 1000;

QString outcomeText(const NotifyRow &row)
{
    if (row.State == 1)
        return QStringLiteral("Delivered ") + DateTimeText(row.LastAttempt);
    if (row.Attempts == 0 && row.State == 0)
        return QStringLiteral("Waiting to be sent");
    const QString last = QStringLiteral("%1 (%2)").arg(row.LastError, DateTimeText(row.LastAttempt));
    if (row.State == 0)
        return QStringLiteral("Attempt %1 failed: %2; it will be tried again.").arg(row.Attempts).arg(last);
    if (row.Attempts == 0)
        return QStringLiteral("Given up: ") + row.LastError;
    return QStringLiteral("Given up after %1 attempt(s): %2").arg(row.Attempts).arg(last);
}
} // namespace

ChannelQueue::ChannelQueue(ProgramState &state, Database &database, const NotifyChannelSettings &channel,
                           QObject *parent)
    : QObject(parent), m_state(state), m_database(database), m_channel(channel),
      m_alerts(channel.type == QLatin1String("alertmanager")), m_timing(state)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ChannelQueue::Resume);
    m_gatherTimer.setSingleShot(true);
    m_gatherTimer.setInterval(GatherMs);
    connect(&m_gatherTimer, &QTimer::timeout, this, &ChannelQueue::startNext);
    connect(&m_worker, &HttpWorker::finished, this, &ChannelQueue::onFinished);
    if (m_alerts) {
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

NotifyRow ChannelQueue::MessageRow(const QString &channel, const NotifyEvent &event, const QString &payload,
                                   qint64 eventId, const QString &recordTable, qint64 recordId, bool retries,
                                   const QDateTime &created)
{
    NotifyRow row;
    row.Channel = channel;
    row.Kind = event.StoredKind();
    row.MessageID = event.id;
    row.RecordTable = recordTable;
    row.RecordID = recordId;
    row.Created = created;
    row.NextAttempt = created;
    row.AgedFrom = created;
    row.EventID = eventId;
    if (eventId <= 0)
        row.Payload = payload;
    row.Retries = retries;
    row.Outcome = outcomeText(row);
    return row;
}

qint64 ChannelQueue::Enqueue(const NotifyEvent &event, const QString &payload, qint64 eventId,
                             const QString &recordTable, qint64 recordId, bool retries, const QueuedAt &at)
{
    if (!m_loaded)
        load();
    Entry e;
    e.key = m_nextKey++;
    e.event = event;
    e.alert = ChannelFormats::AlertKey(event);
    e.row = MessageRow(m_channel.name, event, payload, eventId, recordTable, recordId, retries, at.wall);
    e.origin = at.moment;
    e.nextAttempt = e.origin;
    e.storedTimesCurrent = true;
    e.beyondWindow = m_inTable > 0;
    giveEndItsStart(e);
    m_entries.append(std::move(e));
    return m_entries.last().key;
}

void ChannelQueue::giveEndItsStart(Entry &e) const
{
    if (!m_alerts || !ChannelFormats::EndsAlert(e.event.kind) || e.event.startedAt.isValid())
        return;
    QDateTime start = m_openAlerts.value(e.alert).time;
    for (const Entry &before : m_entries)
        if (before.waiting() && before.alert == e.alert && ChannelFormats::OpensAlert(before.event.kind))
            start = before.event.time;
    if (!start.isValid())
        return;
    // The end is posted with its alert's start, so both describe one alert.
    e.event.startedAt = start;
    e.row.Payload = e.event.StoredPayload();
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

ChannelQueue::Entry ChannelQueue::entryOf(const NotifyRow &row)
{
    Entry e;
    e.key = m_nextKey++;
    e.row = row;
    // The wall-clock time between the stop and now counts toward its age and its pause.
    e.origin = m_timing.fromStored(row.AgedFrom.isValid() ? row.AgedFrom : row.Created);
    e.nextAttempt = m_timing.fromStored(row.NextAttempt.isValid() ? row.NextAttempt : row.Created);
    e.event = NotifyEvent::FromStoredPayload(row.Payload);
    if (NotifyEvent::StoredWithoutPort(row.Payload))
        upgradeStoredBeforePort(e);
    e.alert = ChannelFormats::AlertKey(e.event);
    e.dirty = false;
    return e;
}

void ChannelQueue::upgradeStoredBeforePort(Entry &e)
{
    // The sensor's port is read from its record.
    QVariant port;
    if (!e.event.port && e.event.sensorId != 0 &&
        m_database.GetFieldValue(e.event.sensorId, QStringLiteral("tblSensors"), QStringLiteral("PortNum"),
                                 port))
        e.event.port = port.toInt();
    // Alertmanager may hold its alert under the labels of that version: it is ended there, and
    // the message keeps the payload of this one once it is.
    if (!m_alerts || !(ChannelFormats::OpensAlert(e.event.kind) || ChannelFormats::EndsAlert(e.event.kind)))
        return;
    m_endsBeforePort.append(NotifyEvent::FromStoredPayload(e.row.Payload));
    m_payloadsWithPort.append({e.row.IDNum, e.event.StoredPayload()});
}

NotifyQueuePosition ChannelQueue::positionOf(const NotifyRow &row)
{
    return {StoredDateTime(row.Created), row.IDNum};
}

void ChannelQueue::load()
{
    QList<NotifyRow> rows;
    int waiting = 0;
    if (!m_database.WaitingNotifyMessages(m_channel.name, {}, Window, rows) ||
        !m_database.CountWaitingNotifyMessages(m_channel.name, waiting))
        return;
    m_loaded = true;
    QSet<qint64> read;
    for (const NotifyRow &row : std::as_const(rows)) {
        read.insert(row.IDNum);
        const bool known = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                       [&](const Entry &e) { return e.row.IDNum == row.IDNum; });
        if (!known)
            m_entries.append(entryOf(row));
    }
    m_inTable = std::max<int>(0, waiting - int(rows.size()));
    if (m_inTable > 0) {
        m_tableFrom = positionOf(rows.last());
        ++m_tableFrom.IDNum;
        // Messages this run queued before the database answered are newer than any it holds: they
        // wait for the window, in the table once stored.
        m_entries.removeIf([&read](const Entry &e) { return e.stored() && !read.contains(e.row.IDNum); });
        for (Entry &e : m_entries)
            e.beyondWindow = !read.contains(e.row.IDNum);
    }
    // Oldest first, those this run queued before the database answered among them.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry &a, const Entry &b) { return a.row.Created < b.row.Created; });
    restoreOpenAlerts();
    // The pause an earlier run was in goes on.
    for (const Entry &e : std::as_const(m_entries))
        if (e.row.Attempts > 0 && e.nextAttempt.isValid() &&
            (!m_holdUntil.isValid() || e.nextAttempt < m_holdUntil))
            m_holdUntil = e.nextAttempt;
}

void ChannelQueue::fillWindow()
{
    if (m_inTable == 0) {
        for (Entry &e : m_entries)
            e.beyondWindow = false;
        return;
    }
    const qsizetype inWindow = std::count_if(m_entries.cbegin(), m_entries.cend(),
                                             [](const Entry &e) { return e.waiting() && !e.beyondWindow; });
    if (inWindow >= Window / 2)
        return;
    // The stored messages past the window come back from the table in their order.
    m_inTable += int(m_entries.removeIf(
        [this](const Entry &e) { return e.beyondWindow && e.stored() && !isRunning(e.key); }));
    const int wanted = Window - int(inWindow);
    QList<NotifyRow> rows;
    if (!m_database.WaitingNotifyMessages(m_channel.name, m_tableFrom, wanted, rows))
        return;
    qsizetype at =
        std::find_if(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return e.beyondWindow; }) -
        m_entries.cbegin();
    for (const NotifyRow &row : std::as_const(rows)) {
        const bool known = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                       [&](const Entry &e) { return e.row.IDNum == row.IDNum; });
        if (known)
            continue;
        m_entries.insert(at++, entryOf(row));
        --m_inTable;
    }
    if (rows.size() < wanted) {
        m_inTable = 0;
        for (Entry &e : m_entries)
            e.beyondWindow = false;
        return;
    }
    m_inTable = std::max(m_inTable, 1);
    m_tableFrom = positionOf(rows.last());
    ++m_tableFrom.IDNum;
}

void ChannelQueue::trimWindow()
{
    qsizetype inWindow = std::count_if(m_entries.cbegin(), m_entries.cend(),
                                       [](const Entry &e) { return e.waiting() && !e.beyondWindow; });
    // From the newest back: only a suffix of the order leaves, so that what stays in memory is
    // always the oldest part of what waits.
    for (qsizetype i = m_entries.size() - 1; i >= 0; --i) {
        Entry &e = m_entries[i];
        if (!e.waiting())
            continue;
        if (isRunning(e.key))
            break;
        if (!e.beyondWindow) {
            if (inWindow <= Window)
                break;
            --inWindow;
        }
        if (!e.stored()) {
            e.beyondWindow = true; // it leaves once stored
            continue;
        }
        const NotifyQueuePosition at = positionOf(e.row);
        if (m_inTable == 0 ||
            std::tie(at.Created, at.IDNum) < std::tie(m_tableFrom.Created, m_tableFrom.IDNum))
            m_tableFrom = at;
        m_entries.removeAt(i);
        ++m_inTable;
    }
}

void ChannelQueue::restoreOpenAlerts()
{
    // Alerts delivered by an earlier run are posted again as long as their records stay open, so
    // that the receiver does not resolve them when their endsAt passes.
    QList<NotifyRow> rows;
    if (!m_alerts || !m_database.OpenAlertMessages(m_channel.name, rows))
        return;
    for (const NotifyRow &row : std::as_const(rows)) {
        if (row.State != 1)
            continue;
        // An alarm's reminder or step is stored under the alarm's kind: it opens no alert.
        const Entry e = entryOf(row);
        if (ChannelFormats::OpensAlert(e.event.kind))
            openAlert(e);
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
    if (!m_endsBeforePort.isEmpty())
        repost();
}

void ChannelQueue::Stop(StopFor why)
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
    if (why == StopFor::ProgramEnd)
        giveUpUnsentNotices();
    // Stored with their times on the wall clock as it reads now, so that the next start counts
    // from here what passes until then, whatever the clock did while they waited.
    for (Entry &e : m_entries)
        if (e.waiting())
            e.dirty = true;
    storeChanged(Changes());
}

void ChannelQueue::giveUpUnsentNotices()
{
    const QString why = QStringLiteral("Tallyport stopped before it was sent.");
    for (Entry &e : m_entries)
        if (e.waiting() && !e.row.Retries)
            giveUp(e, why);
    int dropped = 0;
    if (m_inTable > 0 && m_database.DropUnsentMessages(m_channel.name, dropped) && dropped > 0)
        m_state.AddError(kChannelWhere, QStringLiteral("%1: %2 more notice(s) were given up: %3")
                                            .arg(m_channel.name)
                                            .arg(dropped)
                                            .arg(why));
}

bool ChannelQueue::mayStart(const Entry &e, const Moment &now) const
{
    // Retries follow the channel's pause, oldest first, so a receiver that comes back gets the
    // messages in the order they were queued.
    return e.waiting() && !e.beyondWindow &&
           (e.row.Attempts == 0 || !m_holdUntil.isValid() || now >= m_holdUntil);
}

template <typename Visit> void ChannelQueue::forEachFirstOfItsAlert(Visit visit) const
{
    QSet<QString> waiting;
    for (const Entry &e : m_entries) {
        if (!e.waiting() || e.beyondWindow || waiting.contains(e.alert))
            continue;
        waiting.insert(e.alert);
        visit(e);
    }
}

bool ChannelQueue::firstAttemptDue() const
{
    bool due = false;
    forEachFirstOfItsAlert([&due](const Entry &e) { due = due || e.row.Attempts == 0; });
    return due;
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
    fillWindow();
    // The oldest first, so that a receiver gets an alarm before its end whenever it can. A message
    // that may not go yet holds back the later ones of its alert; Alertmanager takes a run's alerts
    // in one request, and so one state of each.
    QList<NotifyEvent> events;
    QSet<QString> heldBack;
    QSet<QString> taken;
    for (const Entry &e : std::as_const(m_entries)) {
        if (events.size() == MaxRun)
            break;
        if (!e.waiting() || heldBack.contains(e.alert))
            continue;
        if (!mayStart(e, now) || (m_alerts && taken.contains(e.alert))) {
            heldBack.insert(e.alert);
            continue;
        }
        taken.insert(e.alert);
        m_runningKeys.append(e.key);
        events.append(e.event);
    }
    if (events.isEmpty()) {
        armTimer();
        return;
    }
    m_running = Running::Entry;
    m_worker.start(requestsFor(events));
    emit attemptStarted();
}

QList<HttpWorker::RequestMaker> ChannelQueue::requestsFor(const QList<NotifyEvent> &events) const
{
    // The requests are built on the worker's thread; it sends them one after the other and stops
    // at the first that fails.
    const QDateTime now = m_timing.wallNow();
    if (m_alerts)
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
    else if (was == Running::EndsBeforePort && !m_stopped)
        endAlertsBeforePort(outcomes);
    m_runningKeys.clear();
    emit attemptFinished();
    startNext();
}

void ChannelQueue::applyOutcomes(const QList<HttpOutcome> &outcomes)
{
    if (outcomes.isEmpty())
        return;
    // An Alertmanager run is one request: its outcome is every message's.
    const qsizetype count = m_alerts ? m_runningKeys.size() : std::min(outcomes.size(), m_runningKeys.size());
    for (qsizetype i = 0; i < count; ++i)
        if (Entry *e = find(m_runningKeys[i]))
            applyOutcome(*e, outcomes[m_alerts ? 0 : i]);
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
        // The receiver holds the alert open from its start's delivery to its end's.
        if (m_alerts && ChannelFormats::OpensAlert(e.event.kind))
            openAlert(e);
        else if (m_alerts && ChannelFormats::EndsAlert(e.event.kind))
            closeAlert(e);
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
    if (e.row.Attempts == 0)
        e.row.LastError = why;
    e.nextAttempt = Moment();
    e.row.NextAttempt = QDateTime();
    e.row.Outcome = outcomeText(e.row);
    e.dirty = true;
    ++m_failedTotal;
    // An end that never reaches the receiver leaves the alert to run out there.
    if (m_alerts && ChannelFormats::EndsAlert(e.event.kind))
        closeAlert(e);
    m_state.AddError(kChannelWhere,
                     QStringLiteral("%1: the %2 message %3 was given up after %4 attempt(s): %5")
                         .arg(m_channel.name, e.event.kind, e.row.MessageID)
                         .arg(e.row.Attempts)
                         .arg(why));
    flush(e);
}

void ChannelQueue::openAlert(const Entry &e)
{
    NotifyEvent event = e.event;
    for (const AlertAcknowledgement &ack : std::as_const(m_acknowledged))
        if (ack.Names(event))
            event.acknowledgedBy = ack.by;
    m_openAlerts.insert(e.alert, event);
}

void ChannelQueue::closeAlert(const Entry &e)
{
    m_openAlerts.remove(e.alert);
    m_acknowledged.removeIf([&e](const AlertAcknowledgement &ack) { return ack.Names(e.event); });
}

void ChannelQueue::Acknowledged(const AlertAcknowledgement &ack)
{
    if (!m_alerts)
        return;
    m_acknowledged.append(ack);
    for (NotifyEvent &event : m_openAlerts)
        if (ack.Names(event))
            event.acknowledgedBy = ack.by;
}

void ChannelQueue::repost()
{
    // Re-posts replace each other: one that cannot go now is simply left to the next.
    const Moment now = m_timing.now();
    if (m_stopped || m_running != Running::None || (m_holdUntil.isValid() && now < m_holdUntil))
        return;
    // First the end of alerts an earlier version posted under other labels, so that none stays
    // twice.
    if (!m_endsBeforePort.isEmpty()) {
        m_running = Running::EndsBeforePort;
        m_worker.start(
            ChannelFormats::EndsBeforePortRequest(m_channel, m_endsBeforePort, m_timing.wallNow()));
        return;
    }
    if (m_openAlerts.isEmpty())
        return;
    m_running = Running::Repost;
    m_worker.start(ChannelFormats::AlertsRequest(m_channel, m_openAlerts.values(), m_timing.wallNow()));
}

void ChannelQueue::endAlertsBeforePort(const QList<HttpOutcome> &outcomes)
{
    if (outcomes.isEmpty() || !outcomes.first().delivered())
        return; // the next re-post tries again
    m_endsBeforePort.clear();
    // Their messages are stored as this version makes them: the next start ends nothing again.
    m_database.runInTransaction([this] {
        for (const auto &[id, payload] : std::as_const(m_payloadsWithPort))
            if (!m_database.SetNotifyPayload(id, payload))
                return false;
        return true;
    });
    m_payloadsWithPort.clear();
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
                             .arg(m_channel.name, e.event.kind, e.row.MessageID, m_database.lastError()));
    e.storeFailureLogged = true;
    return false;
}

void ChannelQueue::dropFinished()
{
    m_entries.removeIf([this](const Entry &e) { return !e.waiting() && !e.dirty && !isRunning(e.key); });
    trimWindow();
}

int ChannelQueue::waitingInMemory() const
{
    return int(
        std::count_if(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return e.waiting(); }));
}

int ChannelQueue::waitingCount() const
{
    return waitingInMemory() + m_inTable;
}

Moment ChannelQueue::nextDue() const
{
    // A message held back behind an older one of its alert is due when that one is done with.
    Moment next;
    forEachFirstOfItsAlert([this, &next](const Entry &e) {
        const Moment due = e.row.Attempts > 0 && m_holdUntil.isValid() ? m_holdUntil : e.origin;
        if (!next.isValid() || due < next)
            next = due;
    });
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

#include "moc_ChannelQueue.cpp"
