#pragma once

#include "SmtpTransport.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// What one send attempt did, for the sent-mail log and the last-result file.
struct MailAttempt {
    QDateTime when;
    QString kind; // "Alarm", "Text", "System OK", "Shutdown", "Test"
    QString server;
    QString connection; // security and authentication, never the password
    QString from;
    QStringList recipients;
    QString subject;
    QString messageId;
    // The number of this attempt at an outbox message (1 for the first); 0 for mail sent once.
    int attemptNumber = 0;
    SmtpOutcome outcome;
};

// Appends one line to the sent-mail log (UTF-8): time, SENT or FAILED, kind, server, sender,
// recipients, subject, Message-ID, the attempt number of an outbox message, the server's reply or
// the error, and the recipients the server refused. A log grown past 1 MB is
// first moved aside to "<name>.old" so the file stays small enough to open.
bool AppendSentMailLog(const QString &path, const MailAttempt &attempt, QString &errorText);

// Replaces the last-result file with an XML record of the attempt, the server's reply lines
// included.
bool SaveLastResult(const QString &path, const MailAttempt &attempt, QString &errorText);
