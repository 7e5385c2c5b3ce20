#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One e-mail before it is sent: recipients, subject, sender and a body whose lines are broken by
// single carriage returns (or any other line break).
class MailMessage {
public:
    struct Recipient {
        QString displayName;
        QString address;
    };
    // A file sent with the message.
    struct Attachment {
        QString fileName;
        QByteArray contentType; // "application/pdf"
        QByteArray data;
    };

    // Adds one recipient; false with lastError() when the address is not valid.
    bool addRecipient(const QString &displayName, const QString &address);
    // Adds every address of a comma-separated list; false with lastError() when the list names
    // no address or holds an invalid one (then none is added).
    bool addRecipientList(const QString &commaList);

    QString subject;
    QString senderDisplayName;
    QString senderAddress;
    QString body;
    QList<Attachment> attachments;

    const QList<Recipient> &recipients() const { return m_recipients; }
    QStringList recipientAddresses() const;
    const QString &lastError() const { return m_lastError; }

private:
    QList<Recipient> m_recipients;
    QString m_lastError;
};

// The message as it goes on the wire: headers (Date, Message-ID, From, To, Subject, MIME) and a
// UTF-8 body, every line ending in CR LF. With attachments the body is the first part of a
// multipart/mixed message and each file follows in base64. Dot-stuffing and the end-of-data line are left to
// the SMTP transfer.
QByteArray ComposeMessage(const MailMessage &message, const QDateTime &now, const QString &messageId);

// A new unique Message-ID ("<...@domain>") with the domain of the sender address.
QString NewMessageId(const QString &senderAddress);

// Building blocks, exposed for tests.
namespace MailEncoding {
// A header value with line breaks and control characters replaced by blanks; non-ASCII text (or
// text that looks like an encoded word) becomes RFC 2047 UTF-8 encoded words. Folded so that no
// line of the header is longer than 78 characters where blanks allow it. `usedSoFar` is the
// length of "Name: " already on the line.
QByteArray HeaderText(const QString &text, int usedSoFar);
// A display name and address: "Name" <a@x>, or just the address without a name.
QByteArray Mailbox(const QString &displayName, const QString &address);
// Every line break (CR LF, CR, LF) as CR LF.
QByteArray CrLfLines(const QByteArray &text);
// Quoted-printable, with CR LF line breaks kept as hard breaks.
QByteArray QuotedPrintable(const QByteArray &crlfText);
// Base64 in lines of 76 characters, each ending in CR LF.
QByteArray Base64Lines(const QByteArray &data);
// The file name parameter of a MIME header: filename="name", or RFC 2231 UTF-8 for other text.
QByteArray FileNameParameter(const QByteArray &parameter, const QString &fileName);
// RFC 5322 date: "Sat, 14 Mar 2026 10:30:00 +0100".
QByteArray DateHeader(const QDateTime &when);
} // namespace MailEncoding
