#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include "platform/kernel.h"

namespace {

std::mutex overrideLock;
std::optional<MEMORYSTATUS> overrideFigure;

// A "Name: value kB" line of /proc/meminfo in bytes, or 0 when absent.
uint64_t MeminfoBytes(const char* name)
{
    FILE* file = std::fopen("/proc/meminfo", "r");
    if (!file) return 0;
    char line[256];
    uint64_t bytes = 0;
    const size_t nameLength = std::strlen(name);
    while (std::fgets(line, sizeof line, file)) {
        unsigned long long kb = 0;
        if (std::strncmp(line, name, nameLength) == 0 && line[nameLength] == ':' &&
            std::sscanf(line + nameLength + 1, "%llu", &kb) == 1) {
            bytes = kb * 1024;
            break;
        }
    }
    std::fclose(file);
    return bytes;
}

uint64_t MappedBytes()
{
    FILE* file = std::fopen("/proc/self/statm", "r");
    if (!file) return 0;
    unsigned long long pages = 0;
    if (std::fscanf(file, "%llu", &pages) != 1) pages = 0;
    std::fclose(file);
    return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

void GlobalMemoryStatusOverride(const MEMORYSTATUS* status)
{
    std::lock_guard guard(overrideLock);
    if (status) overrideFigure = *status;
    else overrideFigure.reset();
}

void GlobalMemoryStatus(MEMORYSTATUS* status)
{
    if (!status) return;
    {
        std::lock_guard guard(overrideLock);
        if (overrideFigure) {
            *status = *overrideFigure;
            status->dwLength = sizeof(MEMORYSTATUS);
            return;
        }
    }
    MEMORYSTATUS figure{};
    figure.dwLength = sizeof(MEMORYSTATUS);
    struct sysinfo info {};
    if (::sysinfo(&info) == 0) {
        const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
        const uint64_t total = info.totalram * unit;
        uint64_t available = MeminfoBytes("MemAvailable");
        if (available == 0 || available > total) available = (info.freeram + info.bufferram) * unit;
        figure.dwTotalPhys = total;
        figure.dwAvailPhys = available;
        figure.dwTotalPageFile = total + info.totalswap * unit;
        figure.dwAvailPageFile = available + info.freeswap * unit;
        figure.dwMemoryLoad = total ? static_cast<DWORD>(100 - available * 100 / total) : 0;
    }
    uint64_t limit = uint64_t{1} << 47;
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < limit) limit = rl.rlim_cur;
    const uint64_t mapped = MappedBytes();
    figure.dwTotalVirtual = limit;
    figure.dwAvailVirtual = mapped < limit ? limit - mapped : 0;
    *status = figure;
}
