#include "MailMessage.h"

#include "EmailAddresses.h"

#include <QLocale>
#include <QUuid>

namespace {
constexpr int MaxHeaderLine = 78;
constexpr int MaxBodyLine = 998;
// UTF-8 bytes per encoded word: base64 of 42 bytes is 56 characters, 68 with "=?UTF-8?B?" and "?=", so
// one word fits after "Subject: " within 78 characters.
constexpr int EncodedWordBytes = 42;

bool IsPlainAscii(const QByteArray &bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) > 126 ||
            (static_cast<unsigned char>(c) < 32 && c != '\r' && c != '\n'))
            return false;
    return true;
}

// One line of header text: no CR, LF or other control character survives.
QString SingleLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line)
        if (c.unicode() < 32 || c.unicode() == 127)
            c = QLatin1Char(' ');
    return line;
}

// Folds ASCII words onto continuation lines so that lines stay within the limit where possible.
QByteArray FoldWords(const QList<QByteArray> &words, int usedSoFar)
{
    QByteArray out;
    int lineLength = usedSoFar;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QByteArray &word = words.at(i);
        if (i > 0) {
            if (lineLength + 1 + word.size() > MaxHeaderLine) {
                out += "\r\n";
                lineLength = 0;
            }
            out += ' ';
            ++lineLength;
        }
        out += word;
        lineLength += int(word.size());
    }
    return out;
}

QList<QByteArray> EncodedWords(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QList<QByteArray> words;
    qsizetype pos = 0;
    while (pos < utf8.size()) {
        qsizetype end = qMin(pos + EncodedWordBytes, utf8.size());
        // Never split a character: back off over UTF-8 continuation bytes.
        while (end < utf8.size() && end > pos && (static_cast<unsigned char>(utf8.at(end)) & 0xC0) == 0x80)
            --end;
        words.append("=?UTF-8?B?" + utf8.mid(pos, end - pos).toBase64() + "?=");
        pos = end;
    }
    return words;
}

QByteArray QuotedDisplayName(const QString &name)
{
    QByteArray quoted = "\"";
    for (char c : name.toLatin1()) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

QByteArray EncodeByte(unsigned char c)
{
    return '=' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
}

QByteArray QuotedPrintableLine(const QByteArray &line)
{
    QByteArray out;
    int lineLength = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line.at(i));
        const bool last = i + 1 == line.size();
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        const QByteArray piece = literal ? QByteArray(1, char(c)) : EncodeByte(c);
        // A soft break keeps every encoded line within 76 characters.
        if (lineLength + piece.size() > 75) {
            out += "=\r\n";
            lineLength = 0;
        }
        out += piece;
        lineLength += int(piece.size());
    }
    return out;
}
} // namespace

bool MailMessage::addRecipient(const QString &displayName, const QString &address)
{
    const QString trimmed = address.trimmed();
    if (!IsValidEmailAddress(trimmed)) {
        m_lastError = QStringLiteral("\"%1\" is not a valid e-mail address.").arg(trimmed);
        return false;
    }
    m_recipients.append({displayName, trimmed});
    return true;
}

bool MailMessage::addRecipientList(const QString &commaList)
{
    QStringList addresses;
    if (!SplitAddressList(commaList, addresses, m_lastError))
        return false;
    for (const QString &address : addresses)
        m_recipients.append({QString(), address});
    return true;
}

QStringList MailMessage::recipientAddresses() const
{
    QStringList addresses;
    for (const Recipient &r : m_recipients)
        addresses.append(r.address);
    return addresses;
}

namespace MailEncoding {

QByteArray HeaderText(const QString &text, int usedSoFar)
{
    const QString line = SingleLine(text).trimmed();
    const QByteArray latin = line.toUtf8();
    if (IsPlainAscii(latin) && !line.contains(QLatin1String("=?")))
        return FoldWords(latin.split(' '), usedSoFar);
    return FoldWords(EncodedWords(line), usedSoFar);
}

QByteArray Mailbox(const QString &displayName, const QString &address)
{
    const QString name = SingleLine(displayName).trimmed();
    const QByteArray angle = '<' + address.toLatin1() + '>';
    if (name.isEmpty())
        return address.toLatin1();
    if (IsPlainAscii(name.toUtf8()) && !name.contains(QLatin1String("=?")))
        return QuotedDisplayName(name) + ' ' + angle;
    return EncodedWords(name).join(' ') + ' ' + angle;
}

QByteArray CrLfLines(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 20);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray QuotedPrintable(const QByteArray &crlfText)
{
    const QList<QByteArray> lines = crlfText.split('\n');
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        out += QuotedPrintableLine(line);
        if (i + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

QByteArray Base64Lines(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 38 + 2);
    for (qsizetype pos = 0; pos < encoded.size(); pos += 76)
        out += encoded.mid(pos, 76) + "\r\n";
    return out;
}

QByteArray FileNameParameter(const QByteArray &parameter, const QString &fileName)
{
    const QString name = SingleLine(fileName).trimmed();
    const QByteArray utf8 = name.toUtf8();
    if (IsPlainAscii(utf8) && !name.contains(QLatin1Char('"')) && !name.contains(QLatin1Char('\\')))
        return parameter + "=\"" + utf8 + '"';
    return parameter + "*=UTF-8''" + utf8.toPercentEncoding();
}

QByteArray DateHeader(const QDateTime &when)
{
    const int offsetMinutes = when.offsetFromUtc() / 60;
    const int absolute = qAbs(offsetMinutes);
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(absolute / 60, 2, 10, QLatin1Char('0'))
                             .arg(absolute % 60, 2, 10, QLatin1Char('0'));
    return (QLocale::c().toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) + zone).toLatin1();
}
} // namespace MailEncoding

QString NewMessageId(const QString &senderAddress)
{
    QString domain = senderAddress.section(QLatin1Char('@'), 1).trimmed();
    if (domain.isEmpty() || !IsValidEmailAddress(QStringLiteral("x@") + domain))
        domain = QStringLiteral("tallyport.invalid");
    return QLatin1Char('<') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('@') + domain +
           QLatin1Char('>');
}

namespace {
// The text part: 7-bit when it can be, quoted-printable otherwise.
QByteArray TextPart(const QString &text, QByteArray &encoding)
{
    using namespace MailEncoding;
    QByteArray body = CrLfLines(text.toUtf8());
    bool plain = IsPlainAscii(body);
    for (const QByteArray &line : body.split('\n'))
        plain = plain && line.size() <= MaxBodyLine;
    if (!plain)
        body = QuotedPrintable(body);
    if (!body.endsWith("\r\n"))
        body += "\r\n";
    encoding = plain ? "7bit" : "quoted-printable";
    return body;
}

QByteArray AttachmentPart(const MailMessage::Attachment &file)
{
    using namespace MailEncoding;
    QByteArray out;
    out += "Content-Type: " + file.contentType + "; " + FileNameParameter("name", file.fileName) + "\r\n";
    out += "Content-Disposition: attachment; " + FileNameParameter("filename", file.fileName) + "\r\n";
    out += "Content-Transfer-Encoding: base64\r\n\r\n";
    out += Base64Lines(file.data);
    return out;
}
} // namespace

QByteArray ComposeMessage(const MailMessage &message, const QDateTime &now, const QString &messageId)
{
    using namespace MailEncoding;
    QList<QByteArray> to;
    for (const MailMessage::Recipient &r : message.recipients())
        to.append(Mailbox(r.displayName, r.address));
    for (qsizetype i = 0; i + 1 < to.size(); ++i)
        to[i] += ',';

    QByteArray encoding;
    const QByteArray body = TextPart(message.body, encoding);
    const QByteArray textHeaders = "Content-Type: text/plain; charset=UTF-8\r\n"
                                   "Content-Transfer-Encoding: " +
                                   encoding + "\r\n";

    QByteArray out;
    out += "Date: " + DateHeader(now) + "\r\n";
    out += "From: " + Mailbox(message.senderDisplayName, message.senderAddress) + "\r\n";
    out += "To: " + FoldWords(to, 4) + "\r\n";
    out += "Subject: " + HeaderText(message.subject, 9) + "\r\n";
    out += "Message-ID: " + messageId.toLatin1() + "\r\n";
    out += "MIME-Version: 1.0\r\n";
    if (message.attachments.isEmpty()) {
        out += textHeaders + "\r\n" + body;
        return out;
    }
    // A boundary that base64 and the body's text cannot hold ("=_" never starts an encoded line).
    const QByteArray boundary = "=_" + QUuid::createUuid().toString(QUuid::Id128).toLatin1();
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "--" + boundary + "\r\n" + textHeaders + "\r\n" + body;
    for (const MailMessage::Attachment &file : message.attachments)
        out += "--" + boundary + "\r\n" + AttachmentPart(file);
    out += "--" + boundary + "--\r\n";
    return out;
}
