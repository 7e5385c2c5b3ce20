#include "TrendHistoryLoader.h"

#include "SensorRange.h"
#include "TrendDecimation.h"
#include "core/ThreadHandOff.h"

#include <QMetaObject>
#include <QThread>

#include <cmath>
#include <limits>
#include <memory>

namespace {
// A span longer than a day drawn at columns of half an hour or more shows no more than the
// hourly statistics hold, and they cost a fraction of the readings (a sixtieth at one reading a
// minute).
bool drawnFromHours(const TrendHistoryRequest &request)
{
    const qint64 span = request.to.toMSecsSinceEpoch() - request.from.toMSecsSinceEpoch();
    return request.columns > 0 && span > SensorRange::InstantSpanMs &&
           span / request.columns >= SensorRange::HourMs / 2;
}

// The lowest and highest reading of each step as samples, the lowest at the step's start and the
// highest half a step later; a step without readings breaks the line.
TrendHistory hoursAsSamples(const SensorRange &range)
{
    TrendHistory history;
    history.errors = range.errors;
    history.breakMs = 2 * range.stepMs;
    for (const SensorRangeStep &step : range.steps) {
        if (step.count == 0) {
            if (!history.values.empty() && !std::isnan(history.values.back())) {
                history.times.push_back(step.start);
                history.values.push_back(std::numeric_limits<float>::quiet_NaN());
            }
            continue;
        }
        history.times.push_back(step.start);
        history.values.push_back(step.minimum);
        if (step.maximum != step.minimum) {
            history.times.push_back(step.start + range.stepMs / 2);
            history.values.push_back(step.maximum);
        }
    }
    return history;
}
} // namespace

TrendHistoryLoader::TrendHistoryLoader(QObject *parent) : QObject(parent) {}

TrendHistoryLoader::~TrendHistoryLoader()
{
    m_stop.store(true);
    if (m_thread) {
        DeleteEndedThread(m_thread);
    }
}

void TrendHistoryLoader::load(const QString &directory, const QList<TrendHistoryRequest> &requests,
                              qint64 breakMs, int ticket)
{
    if (requests.isEmpty())
        return;
    m_waiting.append({directory, requests, breakMs, ticket});
    if (!m_thread)
        startNext();
}

void TrendHistoryLoader::cancel(int ticket)
{
    if (ticket == 0)
        return;
    m_waiting.removeIf([ticket](const Batch &batch) { return batch.ticket == ticket; });
    m_cancelled.store(ticket);
}

TrendHistory TrendHistoryLoader::read(const QString &directory, const TrendHistoryRequest &request,
                                      qint64 breakMs)
{
    if (drawnFromHours(request))
        return hoursAsSamples(ReadSensorRange(
            directory, request.sensorId.toInt(), request.from, request.to,
            (request.to.toMSecsSinceEpoch() - request.from.toMSecsSinceEpoch()) / request.columns));
    TrendHistory history =
        ReadTrendHistory(directory, request.sensorId.toInt(), request.from, request.to, breakMs);
    if (request.columns <= 0)
        return history;
    TrendReduced reduced =
        ReduceTrendToColumns(TrendSamples(history.times, history.values), request.from.toMSecsSinceEpoch(),
                             request.to.toMSecsSinceEpoch() - 1, request.columns);
    history.times = std::move(reduced.times);
    history.values = std::move(reduced.values);
    return history;
}

void TrendHistoryLoader::startNext()
{
    const Batch batch = m_waiting.takeFirst();
    m_cancelled.store(0);
    m_thread = QThread::create([this, batch] { readBatch(batch); });
    // The thread's end is noticed on the loader's thread, after every reading it queued.
    connect(m_thread, &QThread::finished, this, &TrendHistoryLoader::onBatchDone, Qt::QueuedConnection);
    m_thread->start(QThread::LowPriority);
}

// Runs on the batch's own thread.
void TrendHistoryLoader::readBatch(const Batch &batch)
{
    for (const TrendHistoryRequest &request : batch.requests) {
        if (m_stop.load() || (batch.ticket != 0 && m_cancelled.load() == batch.ticket))
            return;
        auto history = std::make_shared<TrendHistory>(read(batch.directory, request, batch.breakMs));
        // Delivered on the loader's thread; dropped when the loader is gone by then. The reading
        // moves into the call, so the loader's thread, which uses it, also frees it.
        QueueToThread(this,
                      [this, id = request.sensorId, history = std::move(history), breakMs = batch.breakMs,
                       ticket = batch.ticket] { emit loaded(id, *history, breakMs, ticket); });
    }
}

void TrendHistoryLoader::onBatchDone()
{
    if (!m_thread)
        return;
    DeleteEndedThread(m_thread);
    if (!m_waiting.isEmpty()) {
        startNext();
        return;
    }
    emit finished();
}

#include "moc_TrendHistoryLoader.cpp"
