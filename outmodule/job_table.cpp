// The module-wide table that ties the documents of one fax job together: the first document
// writes the job header, the last the job end. Guarded by a lock, as a host may drive two jobs
// through the same loaded module.
#include <mutex>

#include "outmodule/pelvane_job.h"

namespace {

ImoJobEntry ImoJobTable[IMO_JOB_TABLE_SIZE];
std::mutex gLock;

}  // namespace

void ImoJobTableLock() { gLock.lock(); }
void ImoJobTableUnlock() { gLock.unlock(); }
ImoJobEntry* ImoJobTableEntries() { return ImoJobTable; }

void ImoJobTableClear()
{
    std::lock_guard hold(gLock);
    for (ImoJobEntry& entry : ImoJobTable) entry = ImoJobEntry{};
}

ImoJobEntry* ImoJobTableFind(ImoJob* job)
{
    ImoJobEntry* free = nullptr;
    for (ImoJobEntry& entry : ImoJobTable) {
        if (entry.job == job) return &entry;
        if (entry.job == nullptr && free == nullptr) free = &entry;
    }
    return free;
}

void ImoJobTableForget(ImoJob* job)
{
    std::lock_guard hold(gLock);
    for (ImoJobEntry& entry : ImoJobTable)
        if (entry.job == job) entry = ImoJobEntry{};
}
