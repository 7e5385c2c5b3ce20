#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// The connections of this process to one database file take turns at writing. SQLite would make
// a connection that meets another's write lock sleep (in steps of milliseconds, far longer than
// the other's transaction) or refuse a transaction that had read before; here it waits for the
// other's transaction to end, and a connection about to start a transaction lets one that waits
// go first. A thread may take the gate again while it holds it.
//
// The gate also tells how long the connections that write first (those that do not give way:
// the poll cycle's) have left the file alone, so that background work can write in their pauses.
class WriteGate {
public:
    // One connection's turn: waits for the gate and holds it until released or destroyed.
    class Turn {
    public:
        // A connection that gives way first lets a waiting one go ahead (unless this thread holds
        // the gate already).
        Turn(WriteGate &gate, bool givesWay);
        ~Turn() { release(); }
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        void release();

    private:
        WriteGate &m_gate;
        bool m_givesWay;
        bool m_held = true;
    };

    // The gate of the file at path, shared by every connection to it in this process.
    static std::shared_ptr<WriteGate> ForFile(const QString &path);

    void lock();
    void unlock();
    // Waits while another thread waits for the gate (unless this thread holds it).
    void yieldToWaiting() const;
    // Milliseconds since a connection that writes first last held the gate: 0 while one holds
    // it, very many when none ever did.
    qint64 firstWritersQuietMs() const;

private:
    std::mutex m_mutex;
    std::atomic<std::thread::id> m_owner{};
    int m_depth = 0; // the owner's
    std::atomic<int> m_waiting{0};
    std::atomic<int> m_firstWriterTurns{0};
    std::atomic<qint64> m_firstWriterLastNs{0}; // on the steady clock; 0: never
};
