#pragma once

#include "MailRecord.h"
#include "OutboxEntry.h"
#include "SmtpWorker.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class Database;
class MailManager;
class Outbox;
class ProgramState;

// What became of a notification: queued in the outbox, which keeps its record's EmailSent from
// then on, or a text of its own for the record (it could not be queued).
struct NotificationOutcome {
    qint64 outboxKey = 0;
    QString text;

    bool queued() const { return outboxKey != 0; }
    // The record's EmailSent as it stands now; null once the outbox has written its final text.
    QString recordText(const Outbox &outbox) const;
};

// The durable queue of notification e-mails: alarm e-mails, device and backup failure notices,
// the daily system-OK e-mail and the monthly report with its PDF. Each message is stored in the database
// before its first attempt, which starts at once; attempts run one at a time on a thread of their own, so
// neither the window nor the poll cycle waits for the mail server. A failed attempt is tried again after a
// pause that doubles from [mail] retryFirstSeconds up to retryMaxSeconds, until the message is delivered or
// retryHours old. The record a message belongs to keeps its outcome in EmailSent, and every attempt is a line
// of the sent-mail log. Messages a run left are taken up by the next.
class Outbox final : public QObject {
    Q_OBJECT
public:
    static const QString WaitingKey;

    Outbox(ProgramState &state, Database &database, MailManager &mail, QObject *parent = nullptr);
    ~Outbox() override;

    // Builds the alarm e-mail of a sensor and queues it for the alarm record (0 while it could
    // not be written). The message's key, or 0 with the error text when it could not be built
    // (nothing is queued; the caller records the text).
    qint64 QueueAlarmEmail(int deviceId, const QString &sensorName, const QString &messageText,
                           qint64 alarmId, QString &errorText);
    // A reminder of an alarm to the device's alarm list, under ReminderKind, with its own subject;
    // it belongs to no record. 0 with the error text when it could not be built.
    qint64 QueueAlarmReminder(int deviceId, const QString &sensorName, const QString &subject,
                              const QString &text, QString &errorText);
    // A message about an alarm to a list of its own (a reminder, an escalation step, who took it),
    // under its own kind for the sent-mail log. It belongs to no record: the alarm's EmailSent
    // stays that of its first e-mail. 0 with the error text when it could not be built.
    qint64 QueueListEmail(const QString &kind, const QStringList &addresses, const QString &subject,
                          const QString &text, QString &errorText);
    // A notice to the device-failure address for a device or backup failure episode. 0 with the
    // error text when the address is not set or not valid.
    qint64 QueueTextEmail(const QString &text, OutboxEntry::Record record, qint64 recordId,
                          QString &errorText);
    // A report to the device-failure address with its file attached, stored with the message.
    // 0 with the error text when the address is not set or not valid.
    qint64 QueueReportEmail(const QString &subject, const QString &text, const MailMessage::Attachment &file,
                            QString &errorText);
    // The daily notice: one attempt, no retries. False when no device-failure address is set.
    bool QueueSystemOkEmail();

    // Runs writes (a record and the message queued for it) as one database transaction, so that
    // both are stored or neither: a program killed in between leaves no record whose message
    // was never queued. Attempts of messages queued meanwhile start once it has ended. False
    // when it was rolled back: messages queued in it are withdrawn (never sent; the caller
    // queues again), and records attached in it are unattached.
    bool StoreWithRecord(const std::function<bool()> &writes);
    // Whether the database holds the message as it stands now.
    bool Stored(qint64 key) const;

    // The EmailSent text of the message's record as it stands; null once the outbox no longer
    // holds the message (its record has its final text).
    QString RecordText(qint64 key) const;
    // The record of a message queued while its record could not be written; the outbox keeps
    // it up to date from now on.
    void AttachRecord(qint64 key, qint64 recordId);
    // The record of a message queued while it could not be written will never be (the alarm was
    // given up): the message goes on without one and leaves the outbox once it is done with.
    void DetachRecord(qint64 key);

    // Takes up the messages an earlier run left (once per run), writes what the database did not
    // take before and starts the next attempt that is due. The activation and every poll cycle
    // call it; the outbox's own timer does the same.
    void Resume();
    // Starts no further attempt (the program is closing); one running goes on.
    void Hold();
    // Stops the running attempt early and records it; nothing more is tried in this run. An
    // attempt whose message has been sent waits for the server's answer (for the stop's grace at
    // most); one before that point ends within about a second.
    void Shutdown();
    // The stop's grace (DefaultStopGrace); tests shorten it.
    void setStopGrace(std::chrono::milliseconds grace) { m_worker.setStopGrace(grace); }

    int waitingCount() const;
    bool attemptRunning() const { return m_runningKey != 0; }
    // The next attempt that is due (on the wall clock as it reads now), invalid when none waits.
    QDateTime nextAttemptTime() const;

signals:
    // An attempt ended and its outcome is recorded.
    void attemptFinished();

private:
    qint64 enqueue(OutboxEntry entry);
    OutboxEntry *find(qint64 key);
    const OutboxEntry *find(qint64 key) const;
    bool load();
    // Gives up a message that will not have its (next) attempt, saying why in the error log.
    void giveUpUnsent(OutboxEntry &entry, const QString &why);
    void failWithoutConnection(const SmtpOutcome &outcome);
    void startNext();
    void giveUpExpired(const Moment &now);
    bool mayStart(const OutboxEntry &entry, const Moment &now) const;
    Moment nextDue() const;
    void onAttemptFinished(const SmtpOutcome &outcome);
    void reportAttempt(const OutboxEntry &entry, const SmtpOutcome &outcome,
                       const QList<RecipientReply> &refused);
    void reportToStatus(const OutboxEntry &entry);
    bool flush(OutboxEntry &entry);
    void flushAll();
    void dropFinished();
    void updateStatusLine();
    void armTimer();

    ProgramState &m_state;
    Database &m_database;
    MailManager &m_mail;
    QList<OutboxEntry> m_entries;
    qint64 m_nextKey = 1;
    qint64 m_runningKey = 0;
    MailAttempt m_attempt; // the log record of the running attempt
    SmtpWorker m_worker;
    QTimer m_timer;
    // After an attempt that did not reach the server's recipients (the server down, silent or
    // refusing every session), retries wait until the failed message's own next attempt: the
    // others would fail the same way. First attempts are not held back.
    Moment m_holdUntil;
    bool m_loaded = false;
    bool m_held = false;
    // Within StoreWithRecord: the messages queued, and those attached to a record as they were.
    struct Attached {
        qint64 key;
        qint64 rowId;
        qint64 recordId;
    };
    bool m_storing = false;
    QList<qint64> m_queuedInStore;
    QList<Attached> m_attachedInStore;
};
