#include "Notifier.h"

#include "ChannelRename.h"
#include "ChannelRules.h"
#include "core/ThreadHandOff.h"

#include <core/BackgroundPriority.h>
#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>

#include <QCoreApplication>

#include <limits>

const QString Notifier::WaitingKey = QStringLiteral("Notifications waiting for ");

Notifier::Notifier(ProgramState &state, Database &database, QObject *parent)
    : QObject(parent), m_state(state), m_database(database)
{
    m_handOverTimer.setSingleShot(true);
    connect(&m_handOverTimer, &QTimer::timeout, this, &Notifier::handOver);
    // The thread's reports are queued to this object: dropped if it is gone by then.
    NotifyHost::Reports reports;
    reports.error = [this](const QString &where, const QString &cause) {
        QueueToThread(this, [this, where, cause] { m_state.AddError(where, cause); });
    };
    reports.status = [this](const QList<ChannelStatus> &channels, quint64 handled) {
        QueueToThread(this, [this, channels, handled] { takeStatus(channels, handled); });
    };
    reports.stopped = [] { QThread::currentThread()->quit(); };
    m_host = new NotifyHost(state.programDirectory(), database.path(), state.clock(), std::move(reports));
    m_host->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_host, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("notifications"));
    RunAtBackgroundPriority(m_thread);
    m_thread.start();
}

Notifier::~Notifier()
{
    m_thread.quit();
    m_thread.wait();
    TakeThreadHandOff();
}

template <typename Call> void Notifier::request(Call call)
{
    handOver();
    requestNow(call);
}

template <typename Call> void Notifier::requestNow(Call call)
{
    if (!m_host)
        return; // shut down: what is stored waits for the next start
    const quint64 number = ++m_requests;
    QueueToThread(m_host, [host = m_host, number, call] { call(*host, number); });
}

void Notifier::applySettings()
{
    // The thread follows the settings as they were when each request was made.
    if (m_applied && m_appliedChannels == m_state.Ini.channels && m_appliedMail == m_state.Ini.mail)
        return;
    m_applied = true;
    m_appliedChannels = m_state.Ini.channels;
    m_appliedMail = m_state.Ini.mail;
    request([channels = m_appliedChannels, mail = m_appliedMail](NotifyHost &host, quint64 number) {
        host.Apply(number, channels, mail);
    });
}

QStringList Notifier::Takers(const QString &kind, const QString &device, const QString &address) const
{
    QStringList takers;
    for (const NotifyChannelSettings &c : std::as_const(m_state.Ini.channels))
        if (ChannelRules::Takes(c, kind, device, address))
            takers.append(c.name);
    return takers;
}

void Notifier::Notify(NotifyEvent event, const QString &recordTable, qint64 recordId, bool retries,
                      const std::optional<QStringList> &onlyChannels)
{
    QStringList takers;
    if (onlyChannels) {
        for (const NotifyChannelSettings &c : std::as_const(m_state.Ini.channels))
            if (onlyChannels->contains(c.name))
                takers.append(c.name);
    } else {
        takers = Takers(event.kind, event.device, event.address);
    }
    if (takers.isEmpty())
        return;
    applySettings();
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

    QueuedNotifyEvent queued;
    queued.event = event;
    queued.payload = event.StoredPayload();
    queued.channels = takers;
    queued.recordTable = recordTable;
    queued.recordId = recordId;
    queued.retries = retries;
    queued.at = {Moment::now(m_state.clock()), filled.time};
    NotifyEventRow row;
    row.Kind = event.StoredKind();
    row.MessageID = event.id;
    row.RecordTable = recordTable;
    row.RecordID = recordId;
    row.Created = filled.time;
    row.Payload = queued.payload;
    row.Retries = retries;
    row.Channels = takers;
    const bool joined = m_database.inTransaction();
    // Refused, the event still goes to the thread, which stores each channel's message itself.
    if (m_database.runInTransaction([this, &row] { return m_database.AddNotifyEvent(row); })) {
        queued.eventId = row.IDNum;
        if (m_firstEventId == 0)
            m_firstEventId = row.IDNum;
    }
    m_database.afterTransaction([this, queued, joined](bool committed) {
        // Rolled back with the caller's record, it is withdrawn as the record's e-mail is.
        if (joined && !committed)
            return;
        m_outgoing.append(queued);
        if (!m_handOverTimer.isActive())
            m_handOverTimer.start(HandOverDelayMs);
    });
}

void Notifier::handOver()
{
    m_handOverTimer.stop();
    if (m_outgoing.isEmpty())
        return;
    requestNow([events = std::exchange(m_outgoing, {})](NotifyHost &host, quint64 number) {
        host.Take(number, events);
    });
}

void Notifier::Resume()
{
    dropLeftOverNotices();
    applySettings();
    request([](NotifyHost &host, quint64 number) { host.Resume(number); });
}

void Notifier::dropLeftOverNotices()
{
    // Before the thread takes up what an earlier run left: the daily OK or the shutdown notice of
    // a run that was killed before their attempt would mislead now. (A run stopped as it should
    // gives them up itself.) The thread writes messages only of events this run handed it, so
    // while this run has stored none, every one waiting is an earlier run's.
    if (m_leftOverNoticesDropped || !HasChannels())
        return;
    int messages = 0, events = 0;
    const bool noneOfThisRun = m_firstEventId == 0;
    const bool dropped = m_database.runInTransaction([&] {
        return (!noneOfThisRun || m_database.DropUnsentMessages(QString(), messages)) &&
               m_database.DropUnexpandedNotices(
                   noneOfThisRun ? std::numeric_limits<qint64>::max() : m_firstEventId, events);
    });
    if (!dropped)
        return;
    m_leftOverNoticesDropped = true;
    if (messages + events > 0)
        m_state.AddError(
            QStringLiteral("Notifications"),
            QStringLiteral("%1 notice(s) left by the last run without their one attempt were given "
                           "up: Tallyport stopped before they were sent.")
                .arg(messages + events));
}

bool Notifier::RenameChannel(const QString &from, const NotifyChannelSettings &to, QString &error)
{
    if (!RenameNotifyChannel(m_state, m_database, from, to, error))
        return false;
    // Events handed over before the rename reach the queue of the old name, which then goes with
    // what it holds; the settings applied next make the queue of the new name.
    request([from, name = to.name](NotifyHost &host, quint64 number) { host.Rename(number, from, name); });
    return true;
}

void Notifier::Acknowledged(const AlertAcknowledgement &ack)
{
    request([ack](NotifyHost &host, quint64 number) { host.Acknowledged(number, ack); });
}

void Notifier::Shutdown(int waitMs)
{
    if (!m_thread.isRunning())
        return;
    NotifyEvent event;
    event.kind = QStringLiteral("shutdown");
    event.subject = QStringLiteral("Shutdown");
    event.text = QStringLiteral("Tallyport has been shut down.");
    Notify(event, QString(), 0, false);
    request([waitMs](NotifyHost &host, quint64 number) { host.Shutdown(number, waitMs); });
    // The thread ends once its channels have stopped; its last reports are taken in here.
    m_thread.wait();
    TakeThreadHandOff();
    m_host = nullptr; // deleted with its thread
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

bool Notifier::HasChannels() const
{
    return !m_state.Ini.channels.isEmpty();
}

std::optional<ChannelStatus> Notifier::channel(const QString &name) const
{
    for (const ChannelStatus &c : m_channels)
        if (c.channel().name == name)
            return c;
    return std::nullopt;
}

QStringList Notifier::channelNames() const
{
    QStringList names;
    for (const ChannelStatus &c : m_channels)
        names.append(c.channel().name);
    return names;
}

void Notifier::takeStatus(const QList<ChannelStatus> &channels, quint64 handled)
{
    m_channels = channels;
    m_reported = handled;
    updateStatusList();
}

void Notifier::updateStatusList()
{
    QStringList keys;
    for (const ChannelStatus &c : std::as_const(m_channels)) {
        const QString key = WaitingKey + c.channel().name + QStringLiteral(": ");
        const int waiting = c.waitingCount();
        const int failed = c.failedTotal();
        if (waiting == 0 && failed == 0) {
            m_state.UpdateStatus(key, QStringLiteral("delete"));
            continue;
        }
        keys.append(key);
        QString line = QString::number(waiting);
        if (c.attemptRunning())
            line += QStringLiteral("  Sending now");
        else if (const QDateTime next = c.nextAttemptTime(); next.isValid())
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

#include "moc_Notifier.cpp"
