#include "WriteGate.h"

#include <QFileInfo>
#include <QHash>

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
