#include "MailRecord.h"

#include <core/DateTimeText.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace {
constexpr qint64 MaxLogBytes = 1024 * 1024;

QString OneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line)
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    return line.simplified();
}

QString LogLine(const MailAttempt &a)
{
    QStringList fields;
    fields << DateTimeText(a.when) << (a.outcome.sent ? QStringLiteral("SENT") : QStringLiteral("FAILED"))
           << a.kind << QStringLiteral("%1 (%2)").arg(a.server, a.connection)
           << QStringLiteral("From: ") + a.from
           << QStringLiteral("To: ") + a.recipients.join(QStringLiteral(", "))
           << QStringLiteral("Subject: ") + a.subject << QStringLiteral("Message-ID: ") + a.messageId;
    if (a.attemptNumber > 0)
        fields << QStringLiteral("Attempt: %1").arg(a.attemptNumber);
    if (a.outcome.sent)
        fields << QStringLiteral("Reply: ") + a.outcome.serverReply;
    else
        fields << QStringLiteral("Error: ") + a.outcome.errorText;
    if (a.outcome.sent) {
        QStringList refused;
        for (const RecipientReply &r : a.outcome.recipientReplies)
            if (!r.reply.startsWith(QLatin1Char('2')))
                refused << QStringLiteral("%1 (%2)").arg(r.address, r.reply);
        if (!refused.isEmpty())
            fields << QStringLiteral("Not delivered to: ") + refused.join(QStringLiteral(", "));
    }
    for (QString &field : fields)
        field = OneLine(field);
    return fields.join(QStringLiteral(" | ")) + QLatin1Char('\n');
}
} // namespace

bool AppendSentMailLog(const QString &path, const MailAttempt &attempt, QString &errorText)
{
    if (QFileInfo(path).size() > MaxLogBytes) {
        const QString old = path + QStringLiteral(".old");
        QFile::remove(old);
        QFile::rename(path, old);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered)) {
        errorText = file.errorString();
        return false;
    }
    const QByteArray line = LogLine(attempt).toUtf8();
    if (file.write(line) != line.size()) {
        errorText = file.errorString();
        return false;
    }
    return true;
}

bool SaveLastResult(const QString &path, const MailAttempt &attempt, QString &errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        errorText = file.errorString();
        return false;
    }
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("LastSentEmailResult"));
    xml.writeTextElement(QStringLiteral("Time"), DateTimeText(attempt.when));
    xml.writeTextElement(QStringLiteral("Outcome"),
                         attempt.outcome.sent ? QStringLiteral("Sent") : QStringLiteral("Failed"));
    xml.writeTextElement(QStringLiteral("Kind"), attempt.kind);
    xml.writeTextElement(QStringLiteral("Server"), attempt.server);
    xml.writeTextElement(QStringLiteral("Connection"), attempt.connection);
    xml.writeTextElement(QStringLiteral("From"), attempt.from);
    xml.writeStartElement(QStringLiteral("Recipients"));
    for (const QString &r : attempt.recipients)
        xml.writeTextElement(QStringLiteral("To"), r);
    xml.writeEndElement();
    xml.writeTextElement(QStringLiteral("Subject"), OneLine(attempt.subject));
    xml.writeTextElement(QStringLiteral("MessageID"), attempt.messageId);
    if (attempt.attemptNumber > 0)
        xml.writeTextElement(QStringLiteral("Attempt"), QString::number(attempt.attemptNumber));
    xml.writeStartElement(QStringLiteral("RecipientReplies"));
    for (const RecipientReply &r : attempt.outcome.recipientReplies) {
        xml.writeStartElement(QStringLiteral("Recipient"));
        xml.writeAttribute(QStringLiteral("Address"), r.address);
        xml.writeCharacters(OneLine(r.reply));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    if (!attempt.outcome.sent)
        xml.writeTextElement(QStringLiteral("Error"), OneLine(attempt.outcome.errorText));
    xml.writeTextElement(QStringLiteral("ServerReply"), OneLine(attempt.outcome.serverReply));
    xml.writeStartElement(QStringLiteral("ServerTranscript"));
    for (const QString &line : attempt.outcome.transcript)
        xml.writeTextElement(QStringLiteral("Line"), OneLine(line));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit()) {
        errorText = file.errorString();
        return false;
    }
    return true;
}
