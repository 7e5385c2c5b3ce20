#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>

// How to reach the mail server. Authentication methods: "LOGIN", "PLAIN", "CRAM-MD5", "NTLM" or
// "NONE" (no authentication, whatever user name is stored).
struct SmtpServer {
    QString host;
    int port = 25;
    int timeoutSeconds = 60;
    // TLS from the first byte (smtps). Otherwise plain SMTP that upgrades with STARTTLS when the
    // server offers it.
    bool useSsl = false;
    QString authMethod = QStringLiteral("NONE");
    QString userName;
    QString password;
    QString loginDomain;
    // Extra trusted certificates (PEM) for servers with a private certificate authority.
    QString caFile;

    // "smtp://host:port" or "smtps://host:port", for URLs and logs.
    QString url() const;
    // A short description for logs: "SSL/TLS, AUTH LOGIN as name" and the like. No password.
    QString description() const;
};

// One message to hand to the server.
struct SmtpEnvelope {
    QString from;
    QStringList recipients;
    QByteArray payload; // headers and body, CR LF line ends, not dot-stuffed
};

// The server's answer to one recipient of the envelope (RCPT TO).
struct RecipientReply {
    QString address;
    QString reply; // the final line of the reply, "250 OK" or "550 5.1.1 ..."
};

struct SmtpOutcome {
    // The server took the message for at least one recipient. Recipients it refused are in
    // recipientReplies; the others got the message.
    bool sent = false;
    QString errorText;                      // readable, with the server's own reply when it gave one
    QString serverReply;                    // the server's answer to the message, or its last error reply
    QStringList transcript;                 // every reply line from the server, in order (no client lines)
    QList<RecipientReply> recipientReplies; // one per recipient the exchange got to, in order

    // Recipients the server took (a 2xx reply) and, when the message was sent, received it.
    QStringList delivered() const;
    // Recipients refused for good: a 5xx reply to RCPT. Sending again would be refused again.
    QList<RecipientReply> refusedPermanently() const;
};

// How another thread asks a running exchange to end. Finish: an exchange that is still before the
// end of its message ends at once (the server cannot have taken it); one whose message has been
// sent waits for the server's answer until the grace is over (or its own time-out), so that a
// message the server took is not counted as failed and sent again. Now: ends at once.
enum class SmtpStop { None, Finish, Now };
inline constexpr std::chrono::milliseconds DefaultStopGrace{30000};

class SmtpStopRequest {
public:
    void finish(std::chrono::milliseconds grace);
    void now() { m_kind.store(SmtpStop::Now); }
    SmtpStop kind() const { return m_kind.load(); }
    // Finish: when the grace given is over.
    std::chrono::steady_clock::time_point graceEnds() const;

private:
    std::atomic<std::chrono::steady_clock::rep> m_graceEnds{0};
    std::atomic<SmtpStop> m_kind{SmtpStop::None};
};

// Runs the whole SMTP exchange on the calling thread, bounded by the server's time-out. A
// recipient the server refuses does not stop the message going to the others. Touches nothing
// but its arguments. A message the server answered with 2xx counts as sent whatever happens
// after; one whose answer never came counts as not sent (the next attempt sends it again).
SmtpOutcome RunSmtpExchange(const SmtpServer &server, const SmtpEnvelope &envelope,
                            const SmtpStopRequest *stop = nullptr);

// The mail library's global set-up, which is not thread-safe: call it on the UI thread before an
// exchange runs on a thread of its own.
void PrepareSmtpThreads();

// Runs the exchange on a worker thread while the calling (UI) thread keeps handling window
// events in a local wait. Clearing MonitoringActive does not cut the exchange short.
SmtpOutcome SendSmtpWhileWaiting(const SmtpServer &server, const SmtpEnvelope &envelope);
