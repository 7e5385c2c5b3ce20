#include "HttpWorker.h"
#include "core/ThreadHandOff.h"

#include <alarms/SmtpTransport.h>
#include <core/BackgroundPriority.h>

#include <QThread>

HttpWorker::HttpWorker(QObject *parent) : QObject(parent) {}

HttpWorker::~HttpWorker()
{
    if (!m_thread)
        return;
    m_abort->store(true);
    m_thread->quit();
    m_thread->wait();
    TakeThreadHandOff();
    // The thread has ended: its object can go from here. An answer it posted is dropped with
    // this object.
    m_runner.reset();
}

bool HttpWorker::start(const HttpRequest &request)
{
    return start(QList<RequestMaker>{[request] { return request; }});
}

bool HttpWorker::start(QList<RequestMaker> requests)
{
    if (m_busy || requests.isEmpty())
        return false;
    if (!m_thread) {
        // The library's global set-up, shared with the mail; it must run on this thread first.
        PrepareSmtpThreads();
        m_thread = std::make_unique<QThread>();
        m_thread->setObjectName(QStringLiteral("notify-http"));
        m_runner = std::make_unique<QObject>();
        m_runner->moveToThread(m_thread.get());
        RunAtBackgroundPriority(*m_thread);
        m_thread->start();
    }
    m_busy = true;
    m_abort->store(false);
    // The thread reads only its own copies and keeps each outcome as it comes; the end of the
    // run comes back as an event.
    QueueToThread(m_runner.get(), [this, requests = std::move(requests), abort = m_abort,
                                   connection = m_connection, results = m_results] {
        for (const RequestMaker &make : requests) {
            if (abort->load())
                break;
            const HttpOutcome outcome = RunHttpRequest(make(), abort.get(), *connection);
            std::lock_guard lock(results->mutex);
            results->outcomes.append(outcome);
            if (!outcome.delivered())
                break;
        }
        QueueToThread(this, [this] { onDone(); });
    });
    return true;
}

void HttpWorker::stop()
{
    m_abort->store(true);
}

QList<HttpOutcome> HttpWorker::takeOutcomes()
{
    std::lock_guard lock(m_results->mutex);
    return std::exchange(m_results->outcomes, {});
}

void HttpWorker::onDone()
{
    m_busy = false;
    emit finished(takeOutcomes());
}

#include "moc_HttpWorker.cpp"
