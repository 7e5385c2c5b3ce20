#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// A real SMTP server for a test: tests/support/smtp_test_server.py (aiosmtpd) started on a free
// loopback port and stopped with the fixture. The test reads back every message the server
// received: envelope, bytes, authentication used and whether the connection was encrypted.
class SmtpTestServer {
public:
    // Drop: takes the envelope, then drops the connection part-way through the message.
    enum class Mode { Smtp, Silent, Refuse, Drop };
    enum class Tls { None, StartTls, Implicit };

    struct Options {
        Mode mode = Mode::Smtp;
        QString user; // offers AUTH (CRAM-MD5, LOGIN, PLAIN) for this user
        QString password;
        bool requireAuth = false;
        Tls tls = Tls::None;
        QString rejectPrefix; // recipients starting with this are refused with 550
        QString deferPrefix;  // recipients starting with this are refused for now with 450
        // Seconds the server waits before it answers a message (those containing holdText, when
        // set); a message counts as received only once it is answered.
        double holdReplySeconds = 0;
        QByteArray holdText;
        // Where to listen: a loopback address of the test's own and a fixed port (a port number
        // the settings record holds, below 32768), or 127.0.0.1 and any free port.
        QString host = QStringLiteral("127.0.0.1");
        quint16 port = 0;
    };

    struct Received {
        QString mailFrom;
        QStringList recipients;
        QByteArray data; // as received, dot-stuffing removed
        QString authMechanism;
        QString login;
        bool tls = false;

        QByteArray headers() const; // up to the blank line, unfolded lines kept as sent
        QByteArray body() const;
        // The first header of that name (case-insensitive), continuation lines joined.
        QByteArray header(const QByteArray &name) const;
    };

    SmtpTestServer();
    explicit SmtpTestServer(Options options);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer &) = delete;
    SmtpTestServer &operator=(const SmtpTestServer &) = delete;

    // Starts the server and waits until it listens. False when it could not start.
    bool start();
    quint16 port() const { return m_port; }
    const QString &host() const { return m_options.host; }
    // The server's self-signed certificate (PEM), to trust in tests that verify it.
    QString certificateFile() const;

    // Waits until the server has reported at least `count` messages in all.
    bool waitForMessages(int count, int timeoutMs = 5000);
    // Waits until the server holds back its answer to a message (now, or it did since the last
    // answer it gave to a held message).
    bool waitForHeldAnswer(int timeoutMs = 5000);
    // The messages reported so far.
    QList<Received> messages();
    // Forgets the messages reported so far (long runs keep memory flat).
    void clearMessages();
    QString errorOutput();

private:
    void readOutput();
    // Reads the server's reports until done() holds or the time-out passes; done() at the end.
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);

    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_buffer;
    quint16 m_port = 0;
    QList<Received> m_messages;
    int m_holding = 0;      // answers held back, in all
    int m_heldAnswered = 0; // of those, answered
};

// Writes a self-signed certificate for localhost and 127.0.0.1 and its private key (PEM).
bool WriteSelfSignedCertificate(const QString &certificatePath, const QString &keyPath);
