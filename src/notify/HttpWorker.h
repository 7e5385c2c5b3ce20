#pragma once

#include "HttpTransport.h"

#include <QObject>

#include <atomic>
#include <memory>

class QThread;

// Runs one HTTP request at a time on a thread of its own, kept for the worker's life with the
// receiver's connection; the answer is reported on the thread that started it, as an event, so
// neither the window nor the poll cycle waits for a receiver.
class HttpWorker final : public QObject {
    Q_OBJECT
public:
    explicit HttpWorker(QObject *parent = nullptr);
    // A running request is stopped and waited for; its outcome is not reported.
    ~HttpWorker() override;

    bool busy() const { return m_busy; }
    // Starts the request; false when one is running already.
    bool start(const HttpRequest &request);
    // Asks the running request to stop; its outcome still arrives as an event.
    void stop();

signals:
    void finished(const HttpOutcome &outcome);

private:
    void onDone(const HttpOutcome &outcome);

    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_runner; // lives on m_thread; requests run in its events
    std::shared_ptr<std::atomic_bool> m_abort = std::make_shared<std::atomic_bool>(false);
    // Used by one request at a time, on m_thread.
    std::shared_ptr<HttpConnection> m_connection = std::make_shared<HttpConnection>();
    bool m_busy = false;
};
