#include "OffThreadRender.h"

#include <core/ThreadHandOff.h>

#include <QThread>

OffThreadRender::OffThreadRender(QObject *parent) : QObject(parent) {}

OffThreadRender::~OffThreadRender()
{
    m_waiting.clear();
    if (m_thread)
        DeleteEndedThread(m_thread);
}

void OffThreadRender::render(const Make &make, Done done)
{
    m_waiting.append(std::move(done));
    if (m_thread)
        return;
    m_thread = QThread::create([this, make] { m_made = make(); });
    // The thread's end is noticed on this object's thread, once what it made is written.
    connect(m_thread, &QThread::finished, this, &OffThreadRender::onThreadDone, Qt::QueuedConnection);
    m_thread->start();
}

void OffThreadRender::onThreadDone()
{
    if (!m_thread)
        return;
    DeleteEndedThread(m_thread);
    const QByteArray made = std::exchange(m_made, QByteArray());
    // A done may ask for another answer: it starts afresh, after these.
    const QList<Done> waiting = std::exchange(m_waiting, {});
    for (const Done &done : waiting)
        done(made);
}

#include "moc_OffThreadRender.cpp"
