#pragma once

#include "SmtpTransport.h"

#include <QString>

class DeviceMailSource;
class MailMessage;
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
    // A test message to the given address. False with the error text when it was not sent. A host
    // or sender address given here replaces the loaded one for this message only (the settings
    // window tests what is typed there before it is saved).
    bool SendTestEmail(const QString &address, QString &errorText, const QString &host = QString(),
                       const QString &fromAddress = QString());

private:
    enum class Result { Always, OnFailureOnly };

    bool send(const QString &kind, MailMessage &message, Result saveResult, QString &errorText);
    bool sendVia(const SmtpServer &server, const QString &sender, const QString &kind, MailMessage &message,
                 Result saveResult, QString &errorText);
    // The administrator notices share recipients, sender name and the opening of the body.
    bool sendToAdministrator(const QString &kind, const QString &subject, const QString &line,
                             bool &attempted, QString &errorText);
    QString orgName() const;
    QString orgAddress() const;

    ProgramState &m_state;
    DeviceMailSource *m_devices;
    SmtpServer m_server;
    QString m_caFile;
};
