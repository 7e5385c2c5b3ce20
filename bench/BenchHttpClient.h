#pragma once

// A plain HTTP/1.1 client for the benchmarks that put the web server under load: one keep-alive
// connection, used from a thread of its own while the main thread serves.

#include <QByteArray>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace bench {

class HttpClient {
public:
    bool connect(quint16 port)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        return m_socket.waitForConnected(5000);
    }

    // Sends a GET and reads the whole answer; the body's size, or -1.
    qint64 get(const QByteArray &path)
    {
        m_socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray data;
        qint64 headEnd = -1, length = -1;
        while (true) {
            if (!m_socket.waitForReadyRead(30000))
                return -1;
            data += m_socket.readAll();
            if (headEnd < 0 && (headEnd = data.indexOf("\r\n\r\n")) >= 0) {
                const qsizetype at = data.toLower().indexOf("content-length:");
                length = at >= 0
                             ? data.mid(at + 15, data.indexOf("\r\n", at) - at - 15).trimmed().toLongLong()
                             : 0;
            }
            if (headEnd >= 0 && data.size() >= headEnd + 4 + length)
                return length;
        }
    }

private:
    QTcpSocket m_socket;
};

// A client fetching one path once a second, as a monitoring system scrapes, from a thread of its
// own, while it is switched on. Each fetch's time from request to the whole answer is kept.
class Scraper {
public:
    Scraper(quint16 port, QByteArray path) : m_port(port), m_path(std::move(path)) {}
    ~Scraper()
    {
        m_stop = true;
        if (m_thread) {
            m_thread->wait();
            delete m_thread;
        }
    }

    void start()
    {
        m_thread = QThread::create([this] { run(); });
        m_thread->start();
    }
    // Switched on, it fetches at once and then once a second.
    void setActive(bool active) { m_active = active; }

    // The answers' times (ms) so far, taken and cleared.
    std::vector<double> takeTimes()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_times, {});
    }
    // True from a fetch's request to its whole answer.
    bool busy() const { return m_busy; }
    qint64 bytes() const { return m_bytes; } // the last answer's body
    int failed() const { return m_failed; }

private:
    void run()
    {
        HttpClient client;
        if (!client.connect(m_port)) {
            ++m_failed;
            return;
        }
        QElapsedTimer sinceLast;
        while (!m_stop) {
            // Busy before switched on is looked at: once setActive(false) has returned, busy()
            // covers any fetch that still starts.
            m_busy = true;
            if (!m_active || (sinceLast.isValid() && sinceLast.elapsed() < 1000)) {
                m_busy = false;
                if (!m_active)
                    sinceLast.invalidate();
                QThread::msleep(5);
                continue;
            }
            sinceLast.start();
            QElapsedTimer answer;
            answer.start();
            const qint64 size = client.get(m_path);
            if (size < 0) {
                ++m_failed;
            } else {
                m_bytes = size;
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_times.push_back(answer.nsecsElapsed() / 1e6);
            }
            m_busy = false;
        }
    }

    quint16 m_port;
    QByteArray m_path;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_active{false};
    std::atomic<bool> m_busy{false};
    std::atomic<qint64> m_bytes{0};
    std::atomic<int> m_failed{0};
    std::mutex m_mutex;
    std::vector<double> m_times;
};

} // namespace bench
