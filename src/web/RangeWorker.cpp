#include "RangeWorker.h"

#include <core/ThreadHandOff.h>

#include <QMetaObject>

RangeWorker::RangeWorker(QObject *parent) : QObject(parent)
{
    // One thread: the answers are cheap once read, and reading files side by side gains nothing
    // on one disk while it takes a second core from the poll cycle.
    m_pool.setMaxThreadCount(1);
    m_pool.setObjectName(QStringLiteral("rangeWorker"));
}

RangeWorker::~RangeWorker()
{
    m_pool.clear();
    m_pool.waitForDone();
}

bool RangeWorker::start(const RangeRequest &request,
                        std::function<WebReply(const SensorRange &, const RangeRequest &)> make,
                        std::function<void(const WebReply &)> done)
{
    if (m_waiting.fetch_add(1) >= MaxWaiting) {
        --m_waiting;
        return false;
    }
    m_pool.start([this, request, make = std::move(make), done = std::move(done)]() mutable {
        RangeRequest used = request;
        const SensorRange range = this->range(used);
        WebReply reply = make(range, used);
        --m_waiting;
        MarkThreadHandOff();
        // Queued to this object: dropped by Qt when it is deleted before the call is delivered.
        QMetaObject::invokeMethod(
            this, [done = std::move(done), reply = std::move(reply)] { done(reply); }, Qt::QueuedConnection);
    });
    return true;
}

void RangeWorker::waitForIdle()
{
    m_pool.waitForDone();
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
