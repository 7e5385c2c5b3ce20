#include "HttpWorker.h"

#include <alarms/SmtpTransport.h>

#include <QThread>

HttpWorker::HttpWorker(QObject *parent) : QObject(parent) {}

HttpWorker::~HttpWorker()
{
    if (!m_thread)
        return;
    m_abort->store(true);
    m_thread->wait();
}

bool HttpWorker::start(const HttpRequest &request)
{
    if (m_thread)
        return false;
    // The library's global set-up, shared with the mail; it must run on this thread first.
    PrepareSmtpThreads();
    m_outcome = std::make_shared<HttpOutcome>();
    m_abort = std::make_shared<std::atomic_bool>(false);
    // The thread reads only its own copy of the request and writes only the shared outcome.
    m_thread.reset(QThread::create([request, outcome = m_outcome, abort = m_abort] {
        *outcome = RunHttpRequest(request, abort.get());
    }));
    connect(m_thread.get(), &QThread::finished, this, &HttpWorker::onThreadFinished, Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void HttpWorker::stop()
{
    if (m_abort)
        m_abort->store(true);
}

void HttpWorker::onThreadFinished()
{
    if (!m_thread)
        return;
    m_thread->wait();
    m_thread.reset();
    const HttpOutcome outcome = *m_outcome;
    m_outcome.reset();
    m_abort.reset();
    emit finished(outcome);
}
