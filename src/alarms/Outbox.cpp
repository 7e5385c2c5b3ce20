#include "Outbox.h"

#include "AlarmEvaluation.h"
#include "MailManager.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ProgramState.h>
#include <db/Database.h>

const QString Outbox::WaitingKey = QStringLiteral("Emails waiting to be sent: ");

namespace {
const QString kOutboxWhere = QStringLiteral("Outbox");
const QString kStoppedBeforeSent = QStringLiteral("Tallyport stopped before it was sent.");
// The timer never sleeps longer than this: it wakes to see to messages held back behind others.
constexpr qint64 kLongestSleepMs = 60 * 1000;
} // namespace

QString NotificationOutcome::recordText(const Outbox &outbox) const
{
    return queued() ? outbox.RecordText(outboxKey) : text;
}

Outbox::Outbox(ProgramState &state, Database &database, MailManager &mail, QObject *parent)
    : QObject(parent), m_state(state), m_database(database), m_mail(mail)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Outbox::Resume);
    connect(&m_worker, &SmtpWorker::finished, this, &Outbox::onAttemptFinished);
}

Outbox::~Outbox() = default;

qint64 Outbox::QueueAlarmEmail(int deviceId, const QString &sensorName, const QString &messageText,
                               qint64 alarmId, QString &errorText)
{
    OutboxEntry entry;
    if (!m_mail.BuildAlarmEmail(deviceId, sensorName, messageText, entry.message, errorText))
        return 0;
    entry.kind = QStringLiteral("Alarm");
    entry.record = OutboxEntry::Record::Alarm;
    entry.recordId = alarmId;
    return enqueue(std::move(entry));
}

qint64 Outbox::QueueAlarmReminder(int deviceId, const QString &sensorName, const QString &subject,
                                  const QString &text, QString &errorText)
{
    OutboxEntry entry;
    if (!m_mail.BuildAlarmEmail(deviceId, sensorName, text, entry.message, errorText))
        return 0;
    entry.message.subject = subject;
    entry.kind = QStringLiteral("alarm-reminder");
    return enqueue(std::move(entry));
}

qint64 Outbox::QueueListEmail(const QString &kind, const QStringList &addresses, const QString &subject,
                              const QString &text, QString &errorText)
{
    OutboxEntry entry;
    if (!m_mail.BuildListEmail(addresses, subject, text, entry.message, errorText))
        return 0;
    entry.kind = kind;
    return enqueue(std::move(entry));
}

qint64 Outbox::QueueTextEmail(const QString &text, OutboxEntry::Record record, qint64 recordId,
                              QString &errorText)
{
    OutboxEntry entry;
    if (!m_mail.BuildTextEmail(text, entry.message, errorText))
        return 0;
    entry.kind = QStringLiteral("Text");
    entry.record = record;
    entry.recordId = recordId;
    return enqueue(std::move(entry));
}

qint64 Outbox::QueueReportEmail(const QString &subject, const QString &text,
                                const MailMessage::Attachment &file, QString &errorText)
{
    OutboxEntry entry;
    if (!m_mail.BuildReportEmail(subject, text, file, entry.message, errorText))
        return 0;
    entry.kind = QStringLiteral("Report");
    return enqueue(std::move(entry));
}

bool Outbox::QueueSystemOkEmail()
{
    OutboxEntry entry;
    if (!m_mail.BuildSystemOkEmail(entry.message))
        return false;
    entry.kind = QStringLiteral("System OK");
    // Sent hours late, "up and running" would mislead; tomorrow's notice follows anyway.
    entry.retries = false;
    enqueue(std::move(entry));
    return true;
}

qint64 Outbox::enqueue(OutboxEntry entry)
{
    if (!m_loaded)
        m_loaded = load();
    entry.key = m_nextKey++;
    entry.created = m_state.clock().now();
    entry.origin = Moment::now(m_state.clock());
    entry.nextAttempt = entry.origin;
    entry.messageId = NewMessageId(m_state.Config.FromAddress.trimmed());
    entry.pending = entry.message.recipientAddresses();
    m_entries.append(std::move(entry));
    // Stored before the first attempt; a database that does not take it now gets it later, and
    // the message goes out meanwhile.
    flush(m_entries.last());
    const qint64 key = m_entries.last().key;
    if (m_storing) {
        m_queuedInStore.append(key);
        return key;
    }
    updateStatusLine();
    startNext();
    return key;
}

bool Outbox::StoreWithRecord(const std::function<bool()> &writes)
{
    if (m_storing) // part of the store already under way
        return writes();
    m_storing = true;
    const bool stored = m_database.runInTransaction(writes);
    m_storing = false;
    if (!stored) {
        m_entries.removeIf([this](const OutboxEntry &e) { return m_queuedInStore.contains(e.key); });
        for (const Attached &a : std::as_const(m_attachedInStore))
            if (OutboxEntry *e = find(a.key)) {
                e->rowId = a.rowId;
                e->recordId = a.recordId;
                e->dirty = true;
            }
    }
    m_queuedInStore.clear();
    m_attachedInStore.clear();
    dropFinished();
    updateStatusLine();
    startNext();
    return stored;
}

bool Outbox::Stored(qint64 key) const
{
    const OutboxEntry *e = find(key);
    return e && !e->dirty;
}

OutboxEntry *Outbox::find(qint64 key)
{
    for (OutboxEntry &e : m_entries)
        if (e.key == key)
            return &e;
    return nullptr;
}

const OutboxEntry *Outbox::find(qint64 key) const
{
    return const_cast<Outbox *>(this)->find(key);
}

QString Outbox::RecordText(qint64 key) const
{
    const OutboxEntry *e = find(key);
    return e ? e->recordText() : QString();
}

void Outbox::AttachRecord(qint64 key, qint64 recordId)
{
    OutboxEntry *e = find(key);
    if (!e)
        return;
    if (m_storing)
        m_attachedInStore.append({key, e->rowId, e->recordId});
    e->recordId = recordId;
    e->dirty = true;
    flush(*e);
    dropFinished();
}

void Outbox::DetachRecord(qint64 key)
{
    OutboxEntry *e = find(key);
    if (!e || e->recordId > 0)
        return;
    e->record = OutboxEntry::Record::None;
    e->dirty = true;
    flush(*e);
    dropFinished();
}

bool Outbox::load()
{
    QList<OutboxRow> rows;
    if (!m_database.WaitingOutboxMessages(rows))
        return false;
    for (const OutboxRow &row : rows) {
        const bool known = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                       [&](const OutboxEntry &e) { return e.rowId == row.IDNum; });
        if (known)
            continue;
        OutboxEntry e;
        const bool whole = OutboxEntry::fromRow(row, m_state.clock(), e);
        e.key = m_nextKey++;
        // Its record waited in the memory of the run that queued it: none will be written now.
        if (e.recordId <= 0)
            e.record = OutboxEntry::Record::None;
        // Sent without its files, the message would claim what it does not carry; a notice that
        // gets one attempt and had none before a run was killed would mislead now.
        const QString unusable = !whole ? QStringLiteral("The stored message's attachments cannot be read.")
                                 : e.pending.isEmpty()
                                     ? QStringLiteral("The stored message has no recipient left.")
                                 : !e.retries && e.attempts == 0 ? kStoppedBeforeSent
                                                                 : QString();
        if (!unusable.isEmpty())
            giveUpUnsent(e, unusable);
        m_entries.append(std::move(e));
    }
    return true;
}

void Outbox::giveUpUnsent(OutboxEntry &e, const QString &why)
{
    e.giveUp();
    e.lastError = why;
    m_state.AddError(kOutboxWhere, QStringLiteral("\"%1\" was given up: %2").arg(e.message.subject, why));
}

void Outbox::Resume()
{
    if (!m_loaded)
        m_loaded = load();
    flushAll();
    dropFinished();
    updateStatusLine();
    startNext();
}

void Outbox::Hold()
{
    m_held = true;
    m_timer.stop();
}

void Outbox::Shutdown()
{
    Hold();
    m_worker.stopAndWait();
    // A notice that gets one attempt and has not had it is given up: sent after the next start,
    // "up and running" would mislead.
    for (OutboxEntry &e : m_entries)
        if (!e.finished() && !e.retries && e.attempts == 0)
            giveUpUnsent(e, kStoppedBeforeSent);
    // Stored with their times on the wall clock as it reads now, so that the next start counts
    // from here what passes until then, whatever the clock did while they waited.
    for (OutboxEntry &e : m_entries)
        if (!e.finished() && e.rowId > 0)
            e.dirty = true;
    flushAll();
    // What the database has not taken by now (it stayed busy) goes with the program: each is
    // named in the error log, which may take a line when the outbox's table could not.
    for (const OutboxEntry &e : m_entries)
        if (e.dirty)
            m_state.AddError(kOutboxWhere, QStringLiteral("\"%1\" and its outcome could not be stored before "
                                                          "Tallyport closed: %2")
                                               .arg(e.message.subject, m_database.lastError()));
}

bool Outbox::mayStart(const OutboxEntry &entry, const Moment &now) const
{
    if (entry.finished() || entry.nextAttempt > now)
        return false;
    return entry.attempts == 0 || !m_holdUntil.isValid() || now >= m_holdUntil;
}

void Outbox::giveUpExpired(const Moment &now)
{
    // A message held back behind another one's attempts (the server still down) can reach its
    // deadline without an attempt of its own falling due.
    for (OutboxEntry &e : m_entries) {
        if (e.finished() || e.attempts == 0 || mayStart(e, now) || now < e.deadline(m_state.Ini.mail))
            continue;
        e.giveUp();
        reportAttempt(e, SmtpOutcome(), {});
        flush(e);
    }
    dropFinished();
}

void Outbox::startNext()
{
    if (m_held || m_runningKey != 0)
        return;
    const Moment now = Moment::now(m_state.clock());
    giveUpExpired(now);
    OutboxEntry *next = nullptr;
    for (OutboxEntry &e : m_entries)
        if (mayStart(e, now) && (!next || e.nextAttempt < next->nextAttempt))
            next = &e;
    if (!next) {
        armTimer();
        return;
    }
    m_runningKey = next->key;
    SmtpEnvelope envelope;
    if (!m_mail.PrepareAttempt(next->kind, next->message, next->pending, next->created, next->messageId,
                               m_attempt, envelope) ||
        !m_worker.start(m_mail.server(), envelope)) {
        failWithoutConnection(m_attempt.outcome);
        return;
    }
    updateStatusLine();
}

void Outbox::failWithoutConnection(const SmtpOutcome &outcome)
{
    // Reported as an event like any other outcome, so a caller queueing a message never sees
    // its outcome before it returns.
    QMetaObject::invokeMethod(
        this, [this, outcome] { onAttemptFinished(outcome); }, Qt::QueuedConnection);
}

void Outbox::onAttemptFinished(const SmtpOutcome &outcome)
{
    OutboxEntry *e = find(m_runningKey);
    m_runningKey = 0;
    if (e) {
        m_attempt.outcome = outcome;
        m_attempt.attemptNumber = e->attempts + 1;
        m_mail.RecordAttempt(m_attempt);
        const QList<RecipientReply> refused = e->applyOutcome(outcome, m_state.clock(), m_state.Ini.mail);
        // No recipient was reached: the server (or the settings) failed the whole session.
        if (!outcome.sent && outcome.recipientReplies.isEmpty()) {
            if (e->nextAttempt.isValid())
                m_holdUntil = e->nextAttempt;
        } else {
            m_holdUntil = Moment();
        }
        reportAttempt(*e, outcome, refused);
        flush(*e);
        dropFinished();
    }
    updateStatusLine();
    emit attemptFinished();
    startNext();
}

void Outbox::reportAttempt(const OutboxEntry &entry, const SmtpOutcome &outcome,
                           const QList<RecipientReply> &refused)
{
    reportToStatus(entry);
    for (const RecipientReply &r : refused)
        m_state.AddError(kOutboxWhere, QStringLiteral("The mail server refused %1 for \"%2\": %3")
                                           .arg(r.address, entry.message.subject, r.reply));
    const bool delivered = entry.state == OutboxEntry::State::Delivered;
    // The first failure of a notice is logged as a failed notice always was; retries are not.
    if (!delivered && entry.attempts == 1 && !outcome.errorText.isEmpty()) {
        if (entry.kind == QLatin1String("Text"))
            m_state.AddError(QStringLiteral("SendTextEmail"), outcome.errorText);
        else if (entry.kind == QLatin1String("System OK"))
            m_state.AddError(QStringLiteral("SendSytemOKEmail"), outcome.errorText);
        else if (entry.kind == QLatin1String("Report"))
            m_state.AddError(QStringLiteral("SendReportEmail"), outcome.errorText);
    }
    if (entry.state == OutboxEntry::State::GivenUp && entry.retries)
        m_state.AddError(kOutboxWhere,
                         QStringLiteral("\"%1\" to %2 was given up after %3 attempt(s): %4")
                             .arg(entry.message.subject, entry.pending.join(QStringLiteral(", ")))
                             .arg(entry.attempts)
                             .arg(entry.lastError));
}

void Outbox::reportToStatus(const OutboxEntry &entry)
{
    const bool delivered = entry.state == OutboxEntry::State::Delivered;
    if (entry.record == OutboxEntry::Record::Alarm)
        m_state.UpdateStatus(AlarmEvaluation::MailErrorKey,
                             delivered ? QStringLiteral("delete")
                                       : QStringLiteral("See Alarm Tab for details"));
    else if (entry.record == OutboxEntry::Record::BackupFailure)
        m_state.UpdateStatus(AlarmEvaluation::MailErrorKey, delivered ? QStringLiteral("delete") : QString());
}

bool Outbox::flush(OutboxEntry &entry)
{
    if (!entry.dirty)
        return true;
    // A new message and its record's text together: never a record saying "Waiting to be sent"
    // without the message, nor the message twice (a new row at each try).
    const qint64 rowBefore = entry.rowId;
    const bool stored = m_database.runInTransaction([&] {
        if (entry.rowId == 0 && !entry.finished()) {
            OutboxRow row = entry.toRow(m_state.clock());
            row.Attachments = EncodeAttachments(entry.message.attachments);
            if (!m_database.AddOutboxMessage(row))
                return false;
            entry.rowId = row.IDNum;
        }
        return m_database.SaveOutboxMessage(entry.toRow(m_state.clock()), entry.recordText(),
                                            entry.finished());
    });
    if (stored) {
        entry.dirty = false;
        return true;
    }
    entry.rowId = rowBefore;
    // Within a larger transaction its owner reports the failure.
    if (!entry.storeFailureLogged && !m_database.inTransaction())
        m_state.AddError(kOutboxWhere,
                         QStringLiteral("\"%1\" could not be stored; it is kept in memory until the "
                                        "database takes it: %2")
                             .arg(entry.message.subject, m_database.lastError()));
    entry.storeFailureLogged = true;
    return false;
}

void Outbox::flushAll()
{
    // One refusal means the database is locked or read-only: the others would only wait for it.
    for (OutboxEntry &e : m_entries)
        if (!flush(e))
            return;
}

void Outbox::dropFinished()
{
    // A store under way may still be rolled back: its messages stay until it has ended.
    if (m_storing)
        return;
    // A message whose record is not written yet stays: the record takes its text when it is.
    m_entries.removeIf([this](const OutboxEntry &e) {
        return e.finished() && !e.dirty && e.key != m_runningKey &&
               (e.record == OutboxEntry::Record::None || e.recordId > 0);
    });
}

int Outbox::waitingCount() const
{
    return int(std::count_if(m_entries.cbegin(), m_entries.cend(),
                             [](const OutboxEntry &e) { return !e.finished(); }));
}

QDateTime Outbox::nextAttemptTime() const
{
    return nextDue().toWallClock(m_state.clock());
}

Moment Outbox::nextDue() const
{
    Moment next;
    for (const OutboxEntry &e : m_entries) {
        if (e.finished())
            continue;
        Moment due = e.nextAttempt;
        if (e.attempts > 0 && m_holdUntil.isValid() && m_holdUntil > due)
            due = m_holdUntil;
        if (!next.isValid() || due < next)
            next = due;
    }
    return next;
}

void Outbox::updateStatusLine()
{
    const int waiting = waitingCount();
    if (waiting == 0) {
        m_state.UpdateStatus(WaitingKey, QStringLiteral("delete"));
        return;
    }
    QString line = QString::number(waiting);
    if (m_runningKey != 0)
        line += QStringLiteral("  Sending now");
    else if (const QDateTime next = nextAttemptTime(); next.isValid())
        line += QStringLiteral("  Next attempt at ") + DateTimeText(next);
    m_state.UpdateStatus(WaitingKey, line);
}

void Outbox::armTimer()
{
    const Moment next = nextDue();
    if (m_held || !next.isValid()) {
        m_timer.stop();
        return;
    }
    const qint64 ms = std::clamp<qint64>(Moment::now(m_state.clock()).msecsTo(next), 10, kLongestSleepMs);
    m_timer.start(int(ms));
}

#include "moc_Outbox.cpp"
