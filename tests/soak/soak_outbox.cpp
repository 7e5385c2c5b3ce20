#include "soak_outbox.h"

#include <core/DateTimeText.h>

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace {
struct Message {
    int attempts = 0;
    QDateTime first;
    QDateTime delivered;
};

QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The outbox's messages in the sent-mail log by Message-ID, and how many attempts failed.
QHash<QString, Message> loggedMessages(const QString &sentMailLogPath, int &failed)
{
    static const QRegularExpression idPattern(QStringLiteral("\\| Message-ID: ([^ |]+) \\|"));
    static const QRegularExpression attemptPattern(QStringLiteral("\\| Attempt: (\\d+) \\|"));
    QHash<QString, Message> messages;
    failed = 0;

    for (const QString &line : linesOf(sentMailLogPath + QStringLiteral(".old")) + linesOf(sentMailLogPath)) {
        const QString attempt = attemptPattern.match(line).captured(1);
        if (attempt.isEmpty())
            continue; // not an outbox message (shutdown e-mails)
        Message &m = messages[idPattern.match(line).captured(1)];
        const QDateTime when = ParseDateTimeText(line.section(QStringLiteral(" | "), 0, 0));
        ++m.attempts;
        if (!m.first.isValid())
            m.first = when;
        if (line.contains(QLatin1String(" | SENT | ")))
            m.delivered = when;
        else
            ++failed;
    }
    return messages;
}
} // namespace

QString OutboxFigures(const QString &sentMailLogPath)
{
    int failed = 0;
    const QHash<QString, Message> messages = loggedMessages(sentMailLogPath, failed);
    int attempts = 0, retried = 0, most = 0, undelivered = 0;
    qint64 longestWait = 0;
    for (const Message &m : std::as_const(messages)) {
        attempts += m.attempts;
        most = qMax(most, m.attempts);
        retried += m.attempts > 1 ? 1 : 0;
        if (!m.delivered.isValid())
            ++undelivered;
        else
            longestWait = qMax(longestWait, m.first.secsTo(m.delivered));
    }
    return QStringLiteral("Outbox: %1 messages, %2 attempts (%3 failed); %4 delivered after a retry, %5 not "
                          "delivered; most attempts for one message: %6; longest from first attempt to "
                          "delivery: %7 min")
        .arg(messages.size())
        .arg(attempts)
        .arg(failed)
        .arg(retried)
        .arg(undelivered)
        .arg(most)
        .arg(longestWait / 60);
}

QStringList SentButNotReceived(const QString &sentMailLogPath, const QSet<QByteArray> &receivedIds)
{
    int failed = 0;
    QStringList missing;
    const QHash<QString, Message> messages = loggedMessages(sentMailLogPath, failed);
    for (auto it = messages.constBegin(); it != messages.constEnd(); ++it)
        if (it->delivered.isValid() && !receivedIds.contains(it.key().toLatin1()))
            missing << it.key();
    return missing;
}
