#include "HttpWorker.h"

#include <alarms/SmtpTransport.h>

#include <QThread>

HttpWorker::HttpWorker(QObject *parent) : QObject(parent) {}

HttpWorker::~HttpWorker()
{
    if (!m_thread)
        return;
    m_abort->store(true);
    m_thread->quit();
    m_thread->wait();
    // The thread has ended: its object can go from here. An answer it posted is dropped with
    // this object.
    m_runner.reset();
}

bool HttpWorker::start(const HttpRequest &request)
{
    if (m_busy)
        return false;
    if (!m_thread) {
        // The library's global set-up, shared with the mail; it must run on this thread first.
        PrepareSmtpThreads();
        m_thread = std::make_unique<QThread>();
        m_runner = std::make_unique<QObject>();
        m_runner->moveToThread(m_thread.get());
        m_thread->start();
    }
    m_busy = true;
    m_abort->store(false);
    // The thread reads only its own copy of the request; the answer comes back as an event.
    QMetaObject::invokeMethod(
        m_runner.get(),
        [this, request, abort = m_abort, connection = m_connection] {
            const HttpOutcome outcome = RunHttpRequest(request, abort.get(), *connection);
            QMetaObject::invokeMethod(this, [this, outcome] { onDone(outcome); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return true;
}

void HttpWorker::stop()
{
    m_abort->store(true);
}

void HttpWorker::onDone(const HttpOutcome &outcome)
{
    m_busy = false;
    emit finished(outcome);
}
