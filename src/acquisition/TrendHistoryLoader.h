#pragma once

#include "TrendHistory.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>

class QThread;

// What to read for one sensor: its readings in [from, to), every one of them, or with columns
// set only what that many pixel columns over the span show (see ReduceTrendToColumns): for a
// span beyond a day at columns of half an hour or more, the lowest and highest reading of each
// hour or more from the hourly statistics (see ReadSensorRange).
struct TrendHistoryRequest {
    QString sensorId;
    QDateTime from;
    QDateTime to;
    int columns = 0;
};

// Reads the history of the charted sensors on a worker thread, one sensor after the other, and
// hands each sensor's readings to the window's thread as soon as they are read, so the chart
// fills while the window goes on answering. The worker reads files and touches nothing else.
// Requests made while a load runs are read after it. A load may carry a ticket, by which it can be
// called off when its readings are no longer wanted.
class TrendHistoryLoader final : public QObject {
    Q_OBJECT
public:
    explicit TrendHistoryLoader(QObject *parent = nullptr);
    // Stops the worker after the sensor it is reading and waits for it.
    ~TrendHistoryLoader() override;

    // directory: where the data files are; breakMs: see ReadTrendHistory.
    void load(const QString &directory, const QList<TrendHistoryRequest> &requests, qint64 breakMs,
              int ticket = 0);
    // Calls off the loads with this ticket (not 0): those waiting are forgotten, the one being
    // read stops after its current sensor.
    void cancel(int ticket);
    bool busy() const { return m_thread != nullptr; }

signals:
    // One sensor's history, on the loader's thread, with the ticket of its load.
    void loaded(const QString &sensorId, const TrendHistory &history, qint64 breakMs, int ticket);
    // Every request made so far has been read.
    void finished();

private:
    struct Batch {
        QString directory;
        QList<TrendHistoryRequest> requests;
        qint64 breakMs = 0;
        int ticket = 0;
    };
    // Runs on the worker: the readings of one request, reduced when it asks for columns.
    static TrendHistory read(const QString &directory, const TrendHistoryRequest &request, qint64 breakMs);
    void startNext();
    void readBatch(const Batch &batch);
    void onBatchDone();

    QList<Batch> m_waiting;
    QThread *m_thread = nullptr;
    std::atomic_bool m_stop = false;
    std::atomic_int m_cancelled = 0; // the ticket called off while its load was being read
};
