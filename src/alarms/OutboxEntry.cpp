#include "OutboxEntry.h"

#include <core/DateTimeText.h>

#include <QDataStream>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

const QString OutboxEntry::WaitingText = QStringLiteral("Waiting to be sent");

namespace {
const QChar kOutboxCR(13);

const struct {
    OutboxEntry::Record record;
    const char *table;
} kRecordTables[] = {{OutboxEntry::Record::Alarm, "tblAlarms"},
                     {OutboxEntry::Record::DeviceFailure, "tblServerFailures"},
                     {OutboxEntry::Record::BackupFailure, "tblLogFileBackup"}};

const RecipientReply *replyFor(const SmtpOutcome &outcome, const QString &address)
{
    for (const RecipientReply &r : outcome.recipientReplies)
        if (r.address.compare(address, Qt::CaseInsensitive) == 0)
            return &r;
    return nullptr;
}

// The recipients, those still to reach and whether any got the message, as one JSON text.
QString recipientsText(const OutboxEntry &e)
{
    QJsonArray to;
    for (const MailMessage::Recipient &r : e.message.recipients())
        to.append(
            QJsonObject{{QStringLiteral("name"), r.displayName}, {QStringLiteral("address"), r.address}});
    const QJsonObject object{{QStringLiteral("to"), to},
                             {QStringLiteral("pending"), QJsonArray::fromStringList(e.pending)},
                             {QStringLiteral("deliveredToSome"), e.deliveredToSome}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void readRecipients(const QString &text, OutboxEntry &e)
{
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    for (const QJsonValue &value : object.value(QStringLiteral("to")).toArray()) {
        const QJsonObject r = value.toObject();
        e.message.addRecipient(r.value(QStringLiteral("name")).toString(),
                               r.value(QStringLiteral("address")).toString());
    }
    for (const QJsonValue &value : object.value(QStringLiteral("pending")).toArray())
        e.pending.append(value.toString());
    e.deliveredToSome = object.value(QStringLiteral("deliveredToSome")).toBool();
}
} // namespace

Moment OutboxEntry::deadline(const MailIniSettings &settings) const
{
    return retries ? origin.addSecs(qint64(settings.retryHours) * 3600) : origin;
}

void OutboxEntry::giveUp()
{
    state = State::GivenUp;
    nextAttempt = Moment();
    dirty = true;
}

Moment NextAttemptAfterFailure(const Moment &origin, const Moment &failedAt, int failedAttempts,
                               const MailIniSettings &settings)
{
    const Moment deadline = origin.addSecs(qint64(settings.retryHours) * 3600);
    if (failedAt >= deadline)
        return {};
    const qint64 first = qMax(1, settings.retryFirstSeconds);
    const qint64 longest = qMax<qint64>(first, settings.retryMaxSeconds);
    qint64 pause = first;
    for (int i = 1; i < failedAttempts && pause < longest; ++i)
        pause = qMin(pause * 2, longest);
    return qMin(failedAt.addSecs(pause), deadline);
}

QList<RecipientReply> OutboxEntry::applyOutcome(const SmtpOutcome &outcome, const Clock &clock,
                                                const MailIniSettings &settings)
{
    ++attempts;
    lastAttempt = clock.now();
    dirty = true;
    QList<RecipientReply> refused;
    QStringList left;
    for (const QString &address : std::as_const(pending)) {
        const RecipientReply *reply = replyFor(outcome, address);
        // A server that took the message without a reply on record took it for everyone.
        if (outcome.sent && (!reply || reply->reply.startsWith(QLatin1Char('2'))))
            deliveredToSome = true;
        else if (reply && reply->reply.startsWith(QLatin1Char('5')))
            refused.append(*reply);
        else
            left.append(address);
    }
    pending = left;
    if (pending.isEmpty()) {
        refusedForGood = !deliveredToSome;
        state = deliveredToSome ? State::Delivered : State::GivenUp;
        if (!refused.isEmpty())
            lastError = outcome.errorText.isEmpty() ? refused.last().reply : outcome.errorText;
        nextAttempt = Moment();
        return refused;
    }
    lastError = outcome.errorText;
    if (outcome.sent)
        lastError = QStringLiteral("The mail server did not take the message for %1.")
                        .arg(pending.join(QStringLiteral(", ")));
    nextAttempt =
        retries ? NextAttemptAfterFailure(origin, Moment::now(clock), attempts, settings) : Moment();
    if (!nextAttempt.isValid())
        giveUp();
    return refused;
}

QString OutboxEntry::recordText() const
{
    if (state == State::Delivered)
        return DateTimeText(lastAttempt);
    if (attempts == 0)
        return WaitingText;
    QString text = lastError;
    if (record == Record::Alarm || record == Record::BackupFailure)
        text = QStringLiteral("There was an error sending an alarm email ") + DateTimeText(lastAttempt) +
               kOutboxCR + QStringLiteral("The email error is:") + kOutboxCR + lastError;
    if (state == State::Waiting)
        return text + kOutboxCR + QStringLiteral("Attempt %1 failed; it will be tried again.").arg(attempts);
    if (refusedForGood)
        return text + kOutboxCR +
               QStringLiteral("The mail server refused the recipients; no further attempt is made (%1 "
                              "attempt(s) made).")
                   .arg(attempts);
    return text + kOutboxCR + QStringLiteral("Given up after %1 attempt(s).").arg(attempts);
}

QString OutboxEntry::recordTable() const
{
    for (const auto &t : kRecordTables)
        if (t.record == record)
            return QString::fromLatin1(t.table);
    return {};
}

OutboxRow OutboxEntry::toRow(const Clock &clock) const
{
    OutboxRow row;
    row.IDNum = rowId;
    row.Kind = kind;
    row.RecordTable = recordTable();
    row.RecordID = recordId;
    row.Created = created;
    row.AgedFrom = origin.toWallClock(clock);
    row.MessageID = messageId;
    row.Recipients = recipientsText(*this);
    row.Subject = message.subject;
    row.SenderName = message.senderDisplayName;
    row.Body = message.body;
    row.Attempts = attempts;
    row.LastAttempt = lastAttempt;
    row.NextAttempt = nextAttempt.toWallClock(clock);
    row.LastError = lastError;
    row.Retries = retries;
    return row;
}

bool OutboxEntry::fromRow(const OutboxRow &row, const Clock &clock, OutboxEntry &e)
{
    e = OutboxEntry();
    e.rowId = row.IDNum;
    e.kind = row.Kind;
    for (const auto &t : kRecordTables)
        if (row.RecordTable == QLatin1String(t.table))
            e.record = t.record;
    e.recordId = row.RecordID;
    e.created = row.Created;
    // A row an older version wrote has no AgedFrom: its age counts from its creation.
    e.origin = Moment::fromWallClock(clock, row.AgedFrom.isValid() ? row.AgedFrom : row.Created);
    e.messageId = row.MessageID;
    readRecipients(row.Recipients, e);
    e.message.subject = row.Subject;
    e.message.senderDisplayName = row.SenderName;
    e.message.body = row.Body;
    e.attempts = row.Attempts;
    e.lastAttempt = row.LastAttempt;
    e.nextAttempt = Moment::fromWallClock(clock, row.NextAttempt.isValid() ? row.NextAttempt : row.Created);
    e.lastError = row.LastError;
    e.retries = row.Retries;
    e.dirty = false;
    return DecodeAttachments(row.Attachments, e.message.attachments);
}

namespace {
// "TPA1": the first form of stored attachments.
constexpr quint32 kAttachmentsMagic = 0x54504131;
constexpr quint32 kMostAttachments = 64;
} // namespace

QByteArray EncodeAttachments(const QList<MailMessage::Attachment> &files)
{
    if (files.isEmpty())
        return {};
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kAttachmentsMagic << quint32(files.size());
    for (const MailMessage::Attachment &file : files)
        out << file.fileName << file.contentType << file.data;
    return bytes;
}

bool DecodeAttachments(const QByteArray &bytes, QList<MailMessage::Attachment> &files)
{
    files.clear();
    if (bytes.isEmpty())
        return true;
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    quint32 count = 0;
    in >> magic >> count;
    if (in.status() != QDataStream::Ok || magic != kAttachmentsMagic || count == 0 ||
        count > kMostAttachments)
        return false;
    QList<MailMessage::Attachment> read;
    for (quint32 i = 0; i < count; ++i) {
        MailMessage::Attachment file;
        in >> file.fileName >> file.contentType >> file.data;
        if (in.status() != QDataStream::Ok)
            return false;
        read.append(std::move(file));
    }
    if (!in.atEnd())
        return false;
    files = std::move(read);
    return true;
}
