#include "KeptFile.h"

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {
// Up to half of a small limit, and all but 2,048 descriptors of a large one.
int capacityUnder(long limit)
{
    if (limit <= 0)
        return 0;
    const long capacity = limit <= 4096 ? limit / 2 : limit - 2048;
    return int(std::min<long>(capacity, 1L << 20));
}
} // namespace

KeptFileBudget::KeptFileBudget()
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0)
        m_capacity =
            limit.rlim_cur == RLIM_INFINITY ? capacityUnder(1L << 20) : capacityUnder(long(limit.rlim_cur));
#endif
}

KeptFile::KeptFile(KeptFile &&other) noexcept
    : m_file(std::move(other.m_file)), m_budget(std::exchange(other.m_budget, nullptr))
{
}

KeptFile &KeptFile::operator=(KeptFile &&other) noexcept
{
    if (this != &other) {
        release();
        m_file = std::move(other.m_file);
        m_budget = std::exchange(other.m_budget, nullptr);
    }
    return *this;
}

bool KeptFile::keep(RecordFile &&file, KeptFileBudget &budget)
{
    release();
    if (!file.isOpen() || budget.m_kept >= budget.m_capacity)
        return false;
    m_file = std::move(file);
    m_budget = &budget;
    ++budget.m_kept;
    return true;
}

RecordFile KeptFile::take()
{
    if (m_budget)
        --std::exchange(m_budget, nullptr)->m_kept;
    return std::move(m_file);
}

void KeptFile::release()
{
    take().close();
}
