#include "model/helper/memorycap.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace helperlimits {

bool capProcessMemory(std::uint64_t bytes)
{
#ifdef _WIN32
    // A job object holding only this process, with a committed-memory limit.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limits.ProcessMemoryLimit = SIZE_T(bytes);
    return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits)) &&
           AssignProcessToJobObject(job, GetCurrentProcess());
#elif defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer reserves terabytes of shadow address space: any
    // address-space cap makes its next mapping fail. Sanitized builds run uncapped.
    (void)bytes;
    return false;
#else
    // Address space rather than resident size: only that makes malloc fail
    // instead of the kernel killing the process later.
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    if (limit.rlim_max != RLIM_INFINITY && rlim_t(bytes) > limit.rlim_max)
        bytes = limit.rlim_max;
    limit.rlim_cur = rlim_t(bytes);
    return setrlimit(RLIMIT_AS, &limit) == 0;
#endif
}

std::uint64_t physicalMemory()
{
#ifdef _WIN32
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    return GlobalMemoryStatusEx(&status) ? std::uint64_t(status.ullTotalPhys) : 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? std::uint64_t(pages) * std::uint64_t(pageSize) : 0;
#endif
}

} // namespace helperlimits
