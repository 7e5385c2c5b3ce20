#pragma once

#include "HttpTransport.h"

#include <QList>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

// Runs HTTP requests one at a time on a thread of its own, kept for the worker's life with the
// receiver's connection; the answers are reported on the thread that started them, as an event,
// so neither the window nor the poll cycle waits for a receiver.
class HttpWorker final : public QObject {
    Q_OBJECT
public:
    // Builds a request on the worker's thread (its body, a signature), so that the caller's thread
    // only hands over what the request is made of.
    using RequestMaker = std::function<HttpRequest()>;

    explicit HttpWorker(QObject *parent = nullptr);
    // A running request is stopped and waited for; its outcome is not reported.
    ~HttpWorker() override;

    bool busy() const { return m_busy; }
    // Starts the request; false when requests are running already.
    bool start(const HttpRequest &request);
    // Starts a run of requests, sent in order until one is not delivered (the rest are not tried);
    // false when requests are running already.
    bool start(QList<RequestMaker> requests);
    // Asks the running request to stop and the run to end; its outcomes still arrive as an event.
    void stop();
    // The outcomes of the run's requests that have ended and not been reported, in order: what
    // finished() would report next.
    QList<HttpOutcome> takeOutcomes();

signals:
    // The run ended with these outcomes, one per request tried, in order.
    void finished(const QList<HttpOutcome> &outcomes);

private:
    struct Results {
        std::mutex mutex;
        QList<HttpOutcome> outcomes;
    };
    void onDone();

    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<QObject> m_runner; // lives on m_thread; requests run in its events
    std::shared_ptr<std::atomic_bool> m_abort = std::make_shared<std::atomic_bool>(false);
    // Used by one request at a time, on m_thread.
    std::shared_ptr<HttpConnection> m_connection = std::make_shared<HttpConnection>();
    std::shared_ptr<Results> m_results = std::make_shared<Results>();
    bool m_busy = false;
};
