#include "KeptFile.h"

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {
// The descriptor number no kept file may reach: the soft limit less an eighth of it, and less at
// least 2,048 (half of a small limit), which stay free for everything else: the connections of a
// cycle (its lanes and up to 256 slow devices), web clients, mail, the database. 0 (nothing kept)
// where the limit is unknown.
long keptDescriptorCeiling()
{
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    const long most = 1L << 20;
    const long total = limit.rlim_cur == RLIM_INFINITY ? most : std::min<long>(long(limit.rlim_cur), most);
    return total - std::max(total / 8, std::min(total / 2, 2048L));
#else
    return 0;
#endif
}
} // namespace

KeptFileBudget::KeptFileBudget() : KeptFileBudget(int(keptDescriptorCeiling())) {}

KeptFileBudget::KeptFileBudget(int capacity)
    : m_capacity(capacity), m_descriptorCeiling(keptDescriptorCeiling())
{
}

bool KeptFileBudget::admits(const RecordFile &file) const
{
    return file.isOpen() && m_kept < m_capacity && file.descriptorNumber() < m_descriptorCeiling;
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
    if (!budget.admits(file))
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
