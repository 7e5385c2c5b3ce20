#pragma once

#include "WebExchange.h"

#include <acquisition/SensorRange.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>

class QThread;

#include <atomic>
#include <functional>

// What to read of a sensor's past.
struct RangeRequest {
    QString directory;
    int sensorId = 0;
    QDateTime from;
    QDateTime to;
    qint64 stepMs = 0;
    int maxSteps = SensorRange::DefaultSteps;
    // A span asked again and again (a page's chart of the last year) is read once and kept for
    // keepMs under this key; empty: read every time.
    QString keepKey;
    qint64 keepMs = 0;
};

// Reads sensors' ranges from the data files and makes the answers from them on a thread of their
// own, one at a time, so that neither a year of hourly statistics nor the drawing ever holds up
// the window's thread or a poll cycle; the answer comes back on the worker's own thread (the
// server's). A kept range is used again while it is young enough; requests beyond MaxWaiting are
// refused. Each answer gets a new thread: its start and its end order it with the server's thread
// where a thread checker can see it (a pool's hand-over happens inside Qt, out of its sight).
class RangeWorker final : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxWaiting = 16;
    static constexpr int MaxKept = 256;

    explicit RangeWorker(QObject *parent = nullptr);
    ~RangeWorker() override;

    using Make = std::function<WebReply(const SensorRange &, const RangeRequest &)>;
    using Done = std::function<void(const WebReply &)>;

    // Reads the range (or takes the kept one) and calls make with it on the worker thread, then
    // done with make's answer on this object's thread (never when this object is gone by then).
    // False, and neither is called, while MaxWaiting answers wait or are being made.
    bool start(const RangeRequest &request, Make make, Done done);

    // How many ranges were read from the files and how many were taken from those kept.
    quint64 reads() const { return m_reads.load(); }
    quint64 reuses() const { return m_reuses.load(); }

private:
    struct Job {
        RangeRequest request;
        Make make;
        Done done;
    };
    void startNext();
    void onThreadDone();
    SensorRange range(RangeRequest &request);

    struct Kept {
        SensorRange range;
        QDateTime from;
        QDateTime to;
        QElapsedTimer age;
    };
    QList<Job> m_waiting;
    QThread *m_thread = nullptr;
    // Only the worker threads use what is kept, one after another; the lock is for clarity.
    QMutex m_keptMutex;
    QHash<QString, Kept> m_kept;
    std::atomic<quint64> m_reads{0};
    std::atomic<quint64> m_reuses{0};
};
