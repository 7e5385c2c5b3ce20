#include "WriteGate.h"

#include <QFileInfo>
#include <QHash>

#include <chrono>
#include <limits>

namespace {
qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

std::shared_ptr<WriteGate> WriteGate::ForFile(const QString &path)
{
    static std::mutex registryMutex;
    static QHash<QString, std::weak_ptr<WriteGate>> registry;
    const QString key = QFileInfo(path).absoluteFilePath();
    const std::lock_guard lock(registryMutex);
    std::shared_ptr<WriteGate> gate = registry.value(key).lock();
    if (!gate) {
        gate = std::make_shared<WriteGate>();
        registry.insert(key, gate);
    }
    return gate;
}

void WriteGate::lock()
{
    const std::thread::id me = std::this_thread::get_id();
    if (m_owner.load() == me) {
        ++m_depth;
        return;
    }
    ++m_waiting;
    m_mutex.lock();
    --m_waiting;
    m_owner.store(me);
    m_depth = 1;
}

void WriteGate::unlock()
{
    if (--m_depth > 0)
        return;
    m_owner.store(std::thread::id());
    m_mutex.unlock();
}

void WriteGate::yieldToWaiting() const
{
    if (m_owner.load() == std::this_thread::get_id())
        return;
    while (m_waiting.load() > 0)
        std::this_thread::yield();
}

qint64 WriteGate::firstWritersQuietMs() const
{
    if (m_firstWriterTurns.load() > 0)
        return 0;
    const qint64 last = m_firstWriterLastNs.load();
    return last == 0 ? std::numeric_limits<qint64>::max() : (steadyNs() - last) / 1000000;
}

WriteGate::Turn::Turn(WriteGate &gate, bool givesWay) : m_gate(gate), m_givesWay(givesWay)
{
    if (m_givesWay)
        m_gate.yieldToWaiting();
    else
        ++m_gate.m_firstWriterTurns;
    m_gate.lock();
}

void WriteGate::Turn::release()
{
    if (!m_held)
        return;
    m_held = false;
    m_gate.unlock();
    if (!m_givesWay) {
        m_gate.m_firstWriterLastNs.store(steadyNs());
        --m_gate.m_firstWriterTurns;
    }
}
