#pragma once

#include "SmtpTransport.h"

#include <QObject>

#include <memory>

class QThread;

// Runs one SMTP exchange at a time on a thread of its own; the outcome is reported on the thread
// that started it, as a window event, so nothing waits for the mail server.
class SmtpWorker final : public QObject {
    Q_OBJECT
public:
    explicit SmtpWorker(QObject *parent = nullptr);
    // A running exchange is stopped at once and waited for; its outcome is not reported.
    ~SmtpWorker() override;

    bool busy() const { return m_thread != nullptr; }
    // Starts the exchange; false when one is running already.
    bool start(const SmtpServer &server, const SmtpEnvelope &envelope);
    // Stops the running exchange early and waits, window events running, until its outcome has
    // been reported. An exchange whose message has been sent waits for the server's answer first,
    // until the stop's grace is over (or its own time-out), so a message taken is reported as sent.
    void stopAndWait();
    // How long a stop waits for the answer to a message sent (DefaultStopGrace).
    void setStopGrace(std::chrono::milliseconds grace) { m_stopGrace = grace; }

signals:
    void finished(const SmtpOutcome &outcome);

private:
    void onThreadFinished();

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<SmtpOutcome> m_outcome;
    std::shared_ptr<SmtpStopRequest> m_stop;
    std::chrono::milliseconds m_stopGrace = DefaultStopGrace;
};
