#pragma once

#include "MailMessage.h"
#include "SmtpTransport.h"

#include <core/IniSettings.h>
#include <core/Moment.h>
#include <db/Records.h>

#include <QDateTime>
#include <QString>

// A notification e-mail in the outbox: the message as it was built (its Message-ID, date and body
// stay the same for every attempt), the record whose EmailSent follows it, and how its delivery
// stands.
struct OutboxEntry {
    enum class State { Waiting, Delivered, GivenUp };
    enum class Record { None, Alarm, DeviceFailure, BackupFailure };

    static const QString WaitingText;

    qint64 key = 0;   // the outbox's own number for the run
    qint64 rowId = 0; // in tblOutbox; 0 until the database took it
    QString kind;     // as the sent-mail log names it: "Alarm", "Text", "System OK"
    Record record = Record::None;
    qint64 recordId = 0; // 0 while the record itself could not be written
    QDateTime created;   // on the wall clock: the message's Date
    Moment origin;       // its age counts from here
    QString messageId;
    MailMessage message; // as built: its To header names every recipient
    QStringList pending; // the recipients still to reach
    bool retries = true; // false: one attempt only
    int attempts = 0;
    QDateTime lastAttempt; // on the wall clock, for the record's text
    Moment nextAttempt;
    QString lastError;
    bool deliveredToSome = false; // an earlier attempt reached part of the recipients
    bool refusedForGood = false;  // every recipient left was refused with a 5xx reply
    State state = State::Waiting;
    bool dirty = true; // changed since the database last took it
    bool storeFailureLogged = false;

    bool finished() const { return state != State::Waiting; }
    // When the message is retryHours old: no attempt is made after this.
    Moment deadline(const MailIniSettings &settings) const;
    void giveUp();

    // After an attempt: recipients that got the message, and those the server refused for good
    // (a 5xx reply to RCPT), leave the message; it is delivered once none is left and one got
    // it, given up when all were refused or when no further attempt falls within retryHours.
    // Returns the recipients refused for good by this attempt.
    QList<RecipientReply> applyOutcome(const SmtpOutcome &outcome, const Clock &clock,
                                       const MailIniSettings &settings);

    // The text of the record's EmailSent: "Waiting to be sent", the error of the last attempt
    // (and that the message will be tried again), the delivery time, or the last error and the
    // number of attempts once given up.
    QString recordText() const;
    // The table of the record ("tblAlarms", ...), empty for none.
    QString recordTable() const;

    // The row as stored, its times on the wall clock as it reads now; its Attachments are left
    // empty (they are written once, with the new message, by the caller that adds it).
    OutboxRow toRow(const Clock &clock) const;
    // The entry of a stored row, its times placed from the wall clock as it reads now; false when
    // the row's attachments cannot be read (the entry then holds the rest of the message).
    static bool fromRow(const OutboxRow &row, const Clock &clock, OutboxEntry &entry);
};

// The files of a message as one stored value, and back. Decoding fails, leaving the list empty,
// for bytes that were not made by EncodeAttachments whole.
QByteArray EncodeAttachments(const QList<MailMessage::Attachment> &files);
bool DecodeAttachments(const QByteArray &bytes, QList<MailMessage::Attachment> &files);

// When the attempt after the failedAttempts-th failed one (made at failedAt) is due: the pause
// starts at retryFirstSeconds and doubles up to retryMaxSeconds, and the last attempt falls at
// origin + retryHours. None when no attempt is left.
Moment NextAttemptAfterFailure(const Moment &origin, const Moment &failedAt, int failedAttempts,
                               const MailIniSettings &settings);
