#pragma once

#include "SmtpTransport.h"

#include <QObject>

#include <atomic>
#include <memory>

class QThread;

// Runs one SMTP exchange at a time on a thread of its own; the outcome is reported on the thread
// that started it, as a window event, so nothing waits for the mail server.
class SmtpWorker final : public QObject {
    Q_OBJECT
public:
    explicit SmtpWorker(QObject *parent = nullptr);
    // A running exchange is stopped and waited for; its outcome is not reported.
    ~SmtpWorker() override;

    bool busy() const { return m_thread != nullptr; }
    // Starts the exchange; false when one is running already.
    bool start(const SmtpServer &server, const SmtpEnvelope &envelope);
    // Stops the running exchange early and waits, window events running, until its outcome has
    // been reported (the message may have been taken just before the stop).
    void stopAndWait();

signals:
    void finished(const SmtpOutcome &outcome);

private:
    void onThreadFinished();

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<SmtpOutcome> m_outcome;
    std::shared_ptr<std::atomic_bool> m_abort;
};
