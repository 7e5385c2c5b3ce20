#include "TrendHistoryLoader.h"

#include <QMetaObject>
#include <QThread>

#include <memory>

TrendHistoryLoader::TrendHistoryLoader(QObject *parent) : QObject(parent) {}

TrendHistoryLoader::~TrendHistoryLoader()
{
    m_stop.store(true);
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void TrendHistoryLoader::load(const QString &directory, const QList<TrendHistoryRequest> &requests,
                              qint64 breakMs)
{
    if (requests.isEmpty())
        return;
    m_waiting.append({directory, requests, breakMs});
    if (!m_thread)
        startNext();
}

void TrendHistoryLoader::startNext()
{
    const Batch batch = m_waiting.takeFirst();
    m_thread = QThread::create([this, batch] {
        for (const TrendHistoryRequest &request : batch.requests) {
            if (m_stop.load())
                return;
            auto history = std::make_shared<TrendHistory>(ReadTrendHistory(
                batch.directory, request.sensorId.toInt(), request.from, request.to, batch.breakMs));
            // Delivered on the loader's thread; dropped when the loader is gone by then.
            QMetaObject::invokeMethod(
                this,
                [this, id = request.sensorId, history, breakMs = batch.breakMs] {
                    emit loaded(id, *history, breakMs);
                },
                Qt::QueuedConnection);
        }
    });
    // The thread's end is noticed on the loader's thread, after every reading it queued.
    connect(m_thread, &QThread::finished, this, &TrendHistoryLoader::onBatchDone, Qt::QueuedConnection);
    m_thread->start(QThread::LowPriority);
}

void TrendHistoryLoader::onBatchDone()
{
    if (!m_thread)
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    if (!m_waiting.isEmpty()) {
        startNext();
        return;
    }
    emit finished();
}
