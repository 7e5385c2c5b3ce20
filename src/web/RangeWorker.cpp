#include "RangeWorker.h"

#include <core/ThreadHandOff.h>

#include <QMetaObject>
#include <QThread>

RangeWorker::RangeWorker(QObject *parent) : QObject(parent) {}

RangeWorker::~RangeWorker()
{
    m_waiting.clear();
    if (m_thread) {
        DeleteEndedThread(m_thread);
    }
}

bool RangeWorker::start(const RangeRequest &request, Make make, Done done)
{
    if (m_waiting.size() + (m_thread ? 1 : 0) >= MaxWaiting)
        return false;
    m_waiting.append({request, std::move(make), std::move(done)});
    if (!m_thread)
        startNext();
    return true;
}

void RangeWorker::startNext()
{
    Job job = m_waiting.takeFirst();
    m_thread = QThread::create([this, job = std::move(job)]() mutable {
        RangeRequest used = job.request;
        const SensorRange read = range(used);
        WebReply reply = job.make(read, used);
        // Queued to this object: dropped by Qt when it is deleted before the call is delivered.
        QueueToThread(this, [done = std::move(job.done), reply = std::move(reply)] { done(reply); });
    });
    // The thread's end is noticed on this object's thread, after the answer it queued.
    connect(m_thread, &QThread::finished, this, &RangeWorker::onThreadDone, Qt::QueuedConnection);
    m_thread->start(QThread::LowPriority);
}

void RangeWorker::onThreadDone()
{
    if (!m_thread)
        return;
    DeleteEndedThread(m_thread);
    if (!m_waiting.isEmpty())
        startNext();
}

SensorRange RangeWorker::range(RangeRequest &request)
{
    if (!request.keepKey.isEmpty()) {
        QMutexLocker lock(&m_keptMutex);
        const auto kept = m_kept.constFind(request.keepKey);
        if (kept != m_kept.cend() && kept->age.isValid() && kept->age.elapsed() < request.keepMs) {
            request.from = kept->from;
            request.to = kept->to;
            ++m_reuses;
            return kept->range;
        }
    }
    SensorRange range = ReadSensorRange(request.directory, request.sensorId, request.from, request.to,
                                        request.stepMs, request.maxSteps);
    ++m_reads;
    if (!request.keepKey.isEmpty() && range.errors.isEmpty()) {
        QMutexLocker lock(&m_keptMutex);
        if (m_kept.size() >= MaxKept)
            m_kept.clear();
        Kept &kept = m_kept[request.keepKey];
        kept.range = range;
        kept.from = request.from;
        kept.to = request.to;
        kept.age.start();
    }
    return range;
}

#include "moc_RangeWorker.cpp"
