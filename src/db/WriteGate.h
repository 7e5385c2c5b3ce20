#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// The connections of this process to one database file take turns at writing. SQLite would make
// a connection that meets another's write lock sleep (in steps of milliseconds, far longer than
// the other's transaction) or refuse a transaction that had read before; here it waits for the
// other's transaction to end, and a connection about to start a transaction lets one that waits
// go first. A thread may take the gate again while it holds it.
class WriteGate {
public:
    // The gate of the file at path, shared by every connection to it in this process.
    static std::shared_ptr<WriteGate> ForFile(const QString &path);

    void lock();
    void unlock();
    // Waits while another thread waits for the gate (unless this thread holds it).
    void yieldToWaiting() const;

private:
    std::mutex m_mutex;
    std::atomic<std::thread::id> m_owner{};
    int m_depth = 0; // the owner's
    std::atomic<int> m_waiting{0};
};
