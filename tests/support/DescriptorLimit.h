#pragma once

#include <sys/resource.h>

// Raises the process's soft descriptor limit to its hard limit: runs with thousands of simulated
// devices hold a listening socket for each. Returns the soft limit in force, -1 when unknown.
inline long RaiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    return long(limit.rlim_cur);
}
