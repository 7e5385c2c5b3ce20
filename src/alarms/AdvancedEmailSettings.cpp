#include "AdvancedEmailSettings.h"

#include <core/ConfigRecord.h>

namespace {
const QString kNone = QStringLiteral("NONE");

QString shownMethod(const ConfigRecord &record)
{
    const QString &stored = record.AuthenticationMethod;
    if (stored.isEmpty() || stored.front() == QChar(0))
        return AuthenticationMethods().first();
    for (const QString &method : AuthenticationMethods())
        if (method.compare(stored.trimmed(), Qt::CaseInsensitive) == 0)
            return method;
    return AuthenticationMethods().first();
}

// "The <subject> can not be left blank.  <request>" and the like for a number too large.
Refusal checkNumber(const QString &text, const QString &box, const QString &subject, const QString &request,
                    qint16 &value)
{
    return CheckRecordNumber(text, box,
                             QStringLiteral("The %1 can not be left blank.  %2").arg(subject, request),
                             QStringLiteral("The %1 can not be larger than %2.  %3")
                                 .arg(subject, QString::number(LargestRecordNumber), request),
                             value);
}
} // namespace

const QStringList &AuthenticationMethods()
{
    static const QStringList methods{QStringLiteral("LOGIN"), QStringLiteral("PLAIN"),
                                     QStringLiteral("CRAM-MD5"), QStringLiteral("NTLM"), kNone};
    return methods;
}

AdvancedEmailInput AdvancedEmailFromRecord(const ConfigRecord &record)
{
    AdvancedEmailInput input;
    input.port = QString::number(record.SMTPPort);
    input.timeOut = QString::number(record.SMTPTimeOut);
    input.useSsl = record.UseSSL == 1;
    input.authentication = record.AuthenticationRequired == 1;
    input.method = shownMethod(record);
    input.userName = record.SMTPUserName.trimmed();
    input.password = record.SMTPPassword.trimmed();
    input.loginDomain = record.LoginDomain.trimmed();
    return input;
}

Refusal CheckAndCopyAdvancedEmail(ConfigRecord &record, const AdvancedEmailInput &input)
{
    qint16 port = 0;
    qint16 timeOut = 0;
    if (Refusal r = checkNumber(input.port, QStringLiteral("txtSMTPPort"), QStringLiteral("SMTP Port"),
                                QStringLiteral("Please enter the SMTP port number."), port);
        r.refused())
        return r;
    if (Refusal r =
            checkNumber(input.timeOut, QStringLiteral("txtServerTimeOut"), QStringLiteral("server timeout"),
                        QStringLiteral("Please enter a time in seconds."), timeOut);
        r.refused())
        return r;

    record.SMTPPort = port;
    record.SMTPTimeOut = timeOut;
    record.UseSSL = input.useSsl ? 1 : 0;
    record.AuthenticationRequired = input.authentication ? 1 : 0;
    record.AuthenticationMethod = CutToField("AuthenticationMethod", input.method);
    record.SMTPUserName = input.userName;
    record.SMTPPassword = input.password;
    record.LoginDomain = CutToField("LoginDomain", input.loginDomain);
    return {};
}
