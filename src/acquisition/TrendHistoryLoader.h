#pragma once

#include "TrendHistory.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

class QThread;

// What to read for one sensor: its readings in [from, to).
struct TrendHistoryRequest {
    QString sensorId;
    QDateTime from;
    QDateTime to;
};

// Reads the history of the charted sensors on a worker thread, one sensor after the other, and
// hands each sensor's readings to the window's thread as soon as they are read, so the chart
// fills while the window goes on answering. The worker reads files and touches nothing else.
// Requests made while a load runs are read after it.
class TrendHistoryLoader final : public QObject {
    Q_OBJECT
public:
    explicit TrendHistoryLoader(QObject *parent = nullptr);
    // Stops the worker after the sensor it is reading and waits for it.
    ~TrendHistoryLoader() override;

    // directory: where the data files are; breakMs: see ReadTrendHistory.
    void load(const QString &directory, const QList<TrendHistoryRequest> &requests, qint64 breakMs);
    bool busy() const { return m_thread != nullptr; }

signals:
    // One sensor's history, on the loader's thread.
    void loaded(const QString &sensorId, const TrendHistory &history, qint64 breakMs);
    // Every request made so far has been read.
    void finished();

private:
    struct Batch {
        QString directory;
        QList<TrendHistoryRequest> requests;
        qint64 breakMs = 0;
    };
    void startNext();
    void onBatchDone();

    QList<Batch> m_waiting;
    QThread *m_thread = nullptr;
    std::atomic_bool m_stop = false;
};
