#pragma once

#include "MailMessage.h"
#include "MailRecord.h"
#include "SmtpTransport.h"

#include <QString>

class DeviceMailSource;
struct ConfigRecord;
class ProgramState;

// The program's one mailer, kept for the whole run. SetUpMailManager loads the server settings
// from the settings record; each Send... builds one message, sends it while the window stays
// responsive, appends a line to "VKL-E_Sent_Mail.log" and (except after a successful test
// e-mail) replaces "LastSentEmailResult.xml", both in the program directory. The texts of the
// settings record (organization, sender and device-failure addresses) are read at each send.
class MailManager final {
public:
    static constexpr const char *SentMailLogName = "VKL-E_Sent_Mail.log";
    static constexpr const char *LastResultName = "LastSentEmailResult.xml";

    explicit MailManager(ProgramState &state, DeviceMailSource *devices = nullptr);

    // The source of device names and alarm address lists (the database, once it is open).
    void setDeviceSource(DeviceMailSource *devices) { m_devices = devices; }
    // Trusted certificates (PEM) instead of the system's store, for SSL/TLS connections.
    void setCertificateAuthorityFile(const QString &path);

    // Loads host, port, time-out, SSL and authentication from the settings record. With
    // authentication off the method is "NONE" and no user name or password is used.
    void SetUpMailManager();
    const SmtpServer &server() const { return m_server; }

    // The alarm e-mail of a sensor to the device's address list. False with the error text when
    // it was not sent; the caller records the text.
    bool SendAlarmEmail(int deviceId, const QString &sensorName, const QString &messageText,
                        QString &errorText);
    // A notice to the device-failure address. False with the error text when it was not sent
    // (logged as "SendTextEmail").
    bool SendTextEmail(const QString &text, QString &errorText);
    // The daily "up and running" notice. True when an attempt was made, even a failed one (logged);
    // false when no device-failure address is set.
    bool SendSytemOKEmail();
    // The notice that the program is shutting down. Failures are ignored.
    void SendShutdownEmail();
    // The messages themselves, for the outbox. The alarm e-mail of a sensor: false with the
    // error text when the device's address list cannot be used (logged as "SendAlarmEmail"
    // when the device could not be read).
    bool BuildAlarmEmail(int deviceId, const QString &sensorName, const QString &messageText,
                         MailMessage &message, QString &errorText);
    // A notice to the device-failure address; false with the error text when the address is not
    // set (not logged) or not valid (logged as "SendTextEmail").
    bool BuildTextEmail(const QString &text, MailMessage &message, QString &errorText);
    // A message about an alarm to the addresses given (a reminder, an escalation step, or who
    // took it): the organisation's lines, then the text. False with the error text when no
    // address is usable.
    bool BuildListEmail(const QStringList &addresses, const QString &subject, const QString &text,
                        MailMessage &message, QString &errorText);
    // The daily "up and running" notice; false when no device-failure address is set.
    bool BuildSystemOkEmail(MailMessage &message);
    // A report to the device-failure address with the report's file attached; false with the
    // error text when the address is not set or not valid (logged as "SendReportEmail").
    bool BuildReportEmail(const QString &subject, const QString &text, const MailMessage::Attachment &file,
                          MailMessage &message, QString &errorText);

    // One attempt at a message made elsewhere (the outbox sends on a thread of its own) to the
    // given recipients of it: the attempt as the logs record it, from the current sender address
    // and server, and the envelope to send. False, with the attempt's error, when the sender
    // address is not usable.
    bool PrepareAttempt(const QString &kind, const MailMessage &message, const QStringList &recipients,
                        const QDateTime &created, const QString &messageId, MailAttempt &attempt,
                        SmtpEnvelope &envelope) const;
    // Writes the attempt to the sent-mail log and the last-result file.
    void RecordAttempt(const MailAttempt &attempt);

    // A test message to the given address through the loaded server. False with the error text
    // when it was not sent.
    bool SendTestEmail(const QString &address, QString &errorText);
    // The same through the server, sender and organization of the settings given, for this message
    // only: the settings window tests what is typed there before it is saved, and the mailer
    // keeps the server it has.
    bool SendTestEmail(const QString &address, const ConfigRecord &settings, QString &errorText);

private:
    enum class Result { Always, OnFailureOnly };

    // The server the settings describe.
    SmtpServer serverFor(const ConfigRecord &config) const;
    bool sendTest(const QString &address, const SmtpServer &server, const ConfigRecord &settings,
                  QString &errorText);
    bool send(const QString &kind, MailMessage &message, Result saveResult, QString &errorText);
    bool sendVia(const SmtpServer &server, const QString &sender, const QString &kind, MailMessage &message,
                 Result saveResult, QString &errorText);
    MailAttempt newAttempt(const SmtpServer &server, const QString &sender, const QString &kind,
                           const MailMessage &message, const QString &messageId) const;
    // The administrator notices share recipients, sender name and the opening of the body. False
    // with the error text when the address is not set (attempted false) or not valid.
    bool buildAdministratorNotice(const QString &subject, const QString &line, MailMessage &message,
                                  bool &attempted, QString &errorText);
    bool sendToAdministrator(const QString &kind, const QString &subject, const QString &line,
                             bool &attempted, QString &errorText);
    void recordAttempt(const MailAttempt &attempt, Result saveResult);
    QString orgName() const;
    QString orgAddress() const;

    ProgramState &m_state;
    DeviceMailSource *m_devices;
    SmtpServer m_server;
    QString m_caFile;
};
