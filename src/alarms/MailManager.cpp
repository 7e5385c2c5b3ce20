#include "MailManager.h"

#include "DeviceMailSource.h"
#include "EmailAddresses.h"
#include "MailMessage.h"
#include "MailRecord.h"

#include <core/Clock.h>
#include <core/DateTimeText.h>
#include <core/ProgramState.h>

namespace {
const QChar kMailCR(13);
constexpr int DefaultPort = 25;
constexpr int DefaultSslPort = 465;
constexpr int DefaultTimeOutSeconds = 60;
} // namespace

MailManager::MailManager(ProgramState &state, DeviceMailSource *devices) : m_state(state), m_devices(devices)
{
}

void MailManager::setCertificateAuthorityFile(const QString &path)
{
    m_caFile = path;
    m_server.caFile = path;
}

void MailManager::SetUpMailManager()
{
    m_server = serverFor(m_state.Config);
}

SmtpServer MailManager::serverFor(const ConfigRecord &config) const
{
    SmtpServer server;
    server.host = config.SMTPHost.trimmed();
    server.useSsl = config.UseSSL == 1;
    // The record keeps the port in 16 bits; a port number is never negative, so read them unsigned.
    const int port = quint16(config.SMTPPort);
    server.port = port > 0 ? port : (server.useSsl ? DefaultSslPort : DefaultPort);
    server.timeoutSeconds = config.SMTPTimeOut > 0 ? config.SMTPTimeOut : DefaultTimeOutSeconds;
    if (config.AuthenticationRequired == 1) {
        server.authMethod = config.AuthenticationMethod.trimmed().toUpper();
        // A record saved before any method was chosen: the settings window shows "LOGIN".
        if (server.authMethod.isEmpty())
            server.authMethod = QStringLiteral("LOGIN");
        server.userName = config.SMTPUserName.trimmed();
        server.password = config.SMTPPassword.trimmed();
        server.loginDomain = config.LoginDomain.trimmed();
    } else {
        server.authMethod = QStringLiteral("NONE");
    }
    server.caFile = m_caFile;
    return server;
}

QString MailManager::orgName() const
{
    return m_state.Config.OrgName.trimmed();
}

QString MailManager::orgAddress() const
{
    return m_state.Config.OrgAddress.trimmed();
}

bool MailManager::send(const QString &kind, MailMessage &message, Result saveResult, QString &errorText)
{
    return sendVia(m_server, m_state.Config.FromAddress.trimmed(), kind, message, saveResult, errorText);
}

MailAttempt MailManager::newAttempt(const SmtpServer &server, const QString &sender, const QString &kind,
                                    const MailMessage &message, const QString &messageId) const
{
    MailAttempt attempt;
    attempt.when = m_state.clock().now();
    attempt.kind = kind;
    attempt.server = server.url();
    attempt.connection = server.description();
    attempt.from = sender;
    attempt.recipients = message.recipientAddresses();
    attempt.subject = message.subject;
    attempt.messageId = messageId;
    if (!IsValidEmailAddress(sender))
        attempt.outcome.errorText =
            sender.isEmpty()
                ? QStringLiteral("The sender e-mail address has not been programmed.")
                : QStringLiteral("The sender address \"%1\" is not a valid e-mail address.").arg(sender);
    return attempt;
}

bool MailManager::PrepareAttempt(const QString &kind, const MailMessage &message,
                                 const QStringList &recipients, const QDateTime &created,
                                 const QString &messageId, MailAttempt &attempt, SmtpEnvelope &envelope) const
{
    const QString sender = m_state.Config.FromAddress.trimmed();
    attempt = newAttempt(m_server, sender, kind, message, messageId);
    attempt.recipients = recipients;
    if (!attempt.outcome.errorText.isEmpty())
        return false;
    MailMessage withSender = message;
    withSender.senderAddress = sender;
    envelope.from = sender;
    envelope.recipients = attempt.recipients;
    envelope.payload = ComposeMessage(withSender, created, messageId);
    return true;
}

void MailManager::RecordAttempt(const MailAttempt &attempt)
{
    recordAttempt(attempt, Result::Always);
}

void MailManager::recordAttempt(const MailAttempt &attempt, Result saveResult)
{
    QString fileError;
    if (!AppendSentMailLog(m_state.programFile(QLatin1String(SentMailLogName)), attempt, fileError))
        m_state.AddError(QLatin1String(SentMailLogName), fileError);
    if (saveResult == Result::Always || !attempt.outcome.sent)
        if (!SaveLastResult(m_state.programFile(QLatin1String(LastResultName)), attempt, fileError))
            m_state.AddError(QLatin1String(LastResultName), fileError);
}

bool MailManager::sendVia(const SmtpServer &server, const QString &sender, const QString &kind,
                          MailMessage &message, Result saveResult, QString &errorText)
{
    message.senderAddress = sender;
    MailAttempt attempt = newAttempt(server, sender, kind, message, NewMessageId(sender));
    if (attempt.outcome.errorText.isEmpty()) {
        SmtpEnvelope envelope;
        envelope.from = sender;
        envelope.recipients = attempt.recipients;
        envelope.payload = ComposeMessage(message, attempt.when, attempt.messageId);
        attempt.outcome = SendSmtpWhileWaiting(server, envelope);
    }
    recordAttempt(attempt, saveResult);
    errorText = attempt.outcome.sent ? QString() : attempt.outcome.errorText;
    return attempt.outcome.sent;
}

bool MailManager::BuildAlarmEmail(int deviceId, const QString &sensorName, const QString &messageText,
                                  MailMessage &message, QString &errorText)
{
    DeviceMailSource::DeviceMailInfo device;
    if (!m_devices) {
        errorText = QStringLiteral("The device records are not available.");
        m_state.AddError(QStringLiteral("SendAlarmEmail"), errorText);
        return false;
    }
    if (!m_devices->deviceMailInfo(deviceId, device, errorText)) {
        m_state.AddError(QStringLiteral("SendAlarmEmail"), errorText);
        return false;
    }
    QString commaList;
    if (!ParseEmailAddresses(device.addressList, commaList)) {
        errorText = QStringLiteral("Error in ParseEmailAddress()");
        return false;
    }
    message = MailMessage();
    if (!message.addRecipientList(commaList)) {
        errorText = message.lastError();
        return false;
    }
    message.subject = QStringLiteral("Sensor: ") + sensorName + QStringLiteral(" has generated an alarm!");
    message.senderDisplayName = QStringLiteral("Quellmark VKL");
    message.body = QStringLiteral("This email has been sent by: ") + kMailCR + orgName() + kMailCR +
                   orgAddress() + kMailCR + kMailCR + sensorName + QStringLiteral(" connected to server ") +
                   device.deviceName + QStringLiteral(" has generated an alarm!") + kMailCR + kMailCR +
                   messageText;
    return true;
}

bool MailManager::BuildListEmail(const QStringList &addresses, const QString &subject, const QString &text,
                                 MailMessage &message, QString &errorText)
{
    message = MailMessage();
    if (addresses.isEmpty() || !message.addRecipientList(addresses.join(QLatin1Char(',')))) {
        errorText = addresses.isEmpty() ? QStringLiteral("No e-mail address is given.") : message.lastError();
        return false;
    }
    message.subject = subject;
    message.senderDisplayName = QStringLiteral("Quellmark VKL");
    message.body = QStringLiteral("This email has been sent by: ") + kMailCR + orgName() + kMailCR +
                   orgAddress() + kMailCR + kMailCR + text;
    return true;
}

bool MailManager::SendAlarmEmail(int deviceId, const QString &sensorName, const QString &messageText,
                                 QString &errorText)
{
    MailMessage message;
    return BuildAlarmEmail(deviceId, sensorName, messageText, message, errorText) &&
           send(QStringLiteral("Alarm"), message, Result::Always, errorText);
}

bool MailManager::buildAdministratorNotice(const QString &subject, const QString &line, MailMessage &message,
                                           bool &attempted, QString &errorText)
{
    attempted = false;
    const QString address = m_state.Config.AdminEmailAddress.trimmed();
    if (address.isEmpty()) {
        errorText = QStringLiteral("Device failure email address has not been programmed.");
        return false;
    }
    attempted = true;
    message = MailMessage();
    if (!message.addRecipient(QStringLiteral("IT Support Team"), address)) {
        errorText = message.lastError();
        return false;
    }
    message.subject = subject;
    message.senderDisplayName = QStringLiteral("Quellmark VKL-E");
    message.body = QStringLiteral("This email has been sent by:") + kMailCR + orgName() + kMailCR +
                   orgAddress() + kMailCR + kMailCR + QLatin1Char(' ') + line + kMailCR + kMailCR;
    return true;
}

bool MailManager::sendToAdministrator(const QString &kind, const QString &subject, const QString &line,
                                      bool &attempted, QString &errorText)
{
    MailMessage message;
    return buildAdministratorNotice(subject, line, message, attempted, errorText) &&
           send(kind, message, Result::Always, errorText);
}

namespace {
const QString kTextSubject = QStringLiteral("Message from Quellmark VKL-E");
const QString kSystemOkSubject = QStringLiteral("Quellmark VKL-E is up and running!");
const QString kSystemOkLine = QStringLiteral("Tallyport is up and running.");
} // namespace

bool MailManager::BuildTextEmail(const QString &text, MailMessage &message, QString &errorText)
{
    bool attempted = false;
    if (buildAdministratorNotice(kTextSubject, text + QLatin1Char('.'), message, attempted, errorText))
        return true;
    if (attempted)
        m_state.AddError(QStringLiteral("SendTextEmail"), errorText);
    return false;
}

bool MailManager::BuildSystemOkEmail(MailMessage &message)
{
    bool attempted = false;
    QString errorText;
    if (buildAdministratorNotice(kSystemOkSubject, kSystemOkLine, message, attempted, errorText))
        return true;
    if (attempted)
        m_state.AddError(QStringLiteral("SendSytemOKEmail"), errorText);
    return false;
}

bool MailManager::SendTextEmail(const QString &text, QString &errorText)
{
    bool attempted = false;
    if (sendToAdministrator(QStringLiteral("Text"), kTextSubject, text + QLatin1Char('.'), attempted,
                            errorText))
        return true;
    if (attempted)
        m_state.AddError(QStringLiteral("SendTextEmail"), errorText);
    return false;
}

bool MailManager::SendSytemOKEmail()
{
    bool attempted = false;
    QString errorText;
    if (sendToAdministrator(QStringLiteral("System OK"), kSystemOkSubject, kSystemOkLine, attempted,
                            errorText))
        return true;
    if (attempted)
        m_state.AddError(QStringLiteral("SendSytemOKEmail"), errorText);
    return attempted;
}

bool MailManager::BuildReportEmail(const QString &subject, const QString &text,
                                   const MailMessage::Attachment &file, MailMessage &message,
                                   QString &errorText)
{
    bool attempted = false;
    if (!buildAdministratorNotice(subject, text, message, attempted, errorText)) {
        m_state.AddError(QStringLiteral("SendReportEmail"), errorText);
        return false;
    }
    message.attachments = {file};
    return true;
}

void MailManager::SendShutdownEmail()
{
    bool attempted = false;
    QString errorText;
    sendToAdministrator(QStringLiteral("Shutdown"), QStringLiteral("Quellmark VKL-E has been shutdown!"),
                        QStringLiteral("Tallyport has been shut down ") +
                            DateTimeText(m_state.clock().now()) +
                            QStringLiteral(" and is no longer logging data."),
                        attempted, errorText);
}

bool MailManager::SendTestEmail(const QString &address, QString &errorText)
{
    return sendTest(address, m_server, m_state.Config, errorText);
}

bool MailManager::SendTestEmail(const QString &address, const ConfigRecord &settings, QString &errorText)
{
    return sendTest(address, serverFor(settings), settings, errorText);
}

bool MailManager::sendTest(const QString &address, const SmtpServer &server, const ConfigRecord &settings,
                           QString &errorText)
{
    MailMessage message;
    bool sent = false;
    if (!message.addRecipient(QStringLiteral("Quellmark VKL-E Test Message"), address)) {
        errorText = message.lastError();
    } else {
        message.subject = QStringLiteral("Message from Quellmark VKL-E");
        message.senderDisplayName = QStringLiteral("Quellmark VKL-E");
        message.body = QStringLiteral("This test email has been sent by ") + settings.OrgName.trimmed() +
                       QStringLiteral(" located at ") + settings.OrgAddress.trimmed() +
                       QStringLiteral(".  ") + kMailCR;
        sent = sendVia(server, settings.FromAddress.trimmed(), QStringLiteral("Test"), message,
                       Result::OnFailureOnly, errorText);
    }
    if (!sent) {
        if (errorText.isEmpty())
            errorText = QStringLiteral("The test e-mail could not be sent.");
        m_state.AddError(QStringLiteral("SendTestEmail"), errorText);
    }
    return sent;
}
