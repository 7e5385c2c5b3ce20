#include "SmtpWorker.h"
#include "core/ThreadHandOff.h"

#include <core/LocalWait.h>

#include <QThread>

SmtpWorker::SmtpWorker(QObject *parent) : QObject(parent) {}

SmtpWorker::~SmtpWorker()
{
    if (!m_thread)
        return;
    m_stop->now();
    m_thread->wait();
    TakeThreadHandOff();
}

bool SmtpWorker::start(const SmtpServer &server, const SmtpEnvelope &envelope)
{
    if (m_thread)
        return false;
    PrepareSmtpThreads();
    m_outcome = std::make_shared<SmtpOutcome>();
    m_stop = std::make_shared<SmtpStopRequest>();
    // The thread reads only its own copies and writes only the shared outcome.
    m_thread.reset(QThread::create([server, envelope, outcome = m_outcome, stop = m_stop] {
        *outcome = RunSmtpExchange(server, envelope, stop.get());
    }));
    connect(m_thread.get(), &QThread::finished, this, &SmtpWorker::onThreadFinished, Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void SmtpWorker::onThreadFinished()
{
    if (!m_thread)
        return;
    m_thread->wait();
    TakeThreadHandOff();
    m_thread.reset();
    const SmtpOutcome outcome = *m_outcome;
    m_outcome.reset();
    m_stop.reset();
    emit finished(outcome);
}

void SmtpWorker::stopAndWait()
{
    if (!m_thread)
        return;
    m_stop->finish(m_stopGrace);
    // The library notices the stop within about a second; the outcome arrives as an event.
    LocalWait wait;
    wait.endOn(this, &SmtpWorker::finished);
    wait.run(-1);
}

#include "moc_SmtpWorker.cpp"
