#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

// What the sent-mail log (and its rolled-over ".old" part) tells of the outbox over the run: the
// messages, their attempts and retries, the most attempts one message needed, and the longest
// time from a message's first attempt to its delivery (on the run's clock).
QString OutboxFigures(const QString &sentMailLogPath);
// The Message-IDs the sent-mail log says the server took that are not among those it received.
QStringList SentButNotReceived(const QString &sentMailLogPath, const QSet<QByteArray> &receivedIds);
