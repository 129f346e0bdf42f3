#include <mutex>

#include "platform/kernel.h"

namespace {
std::recursive_mutex& Mutex(CRITICAL_SECTION* section) { return *static_cast<std::recursive_mutex*>(section->impl); }
}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* section) { section->impl = new std::recursive_mutex; }

void DeleteCriticalSection(CRITICAL_SECTION* section)
{
    delete static_cast<std::recursive_mutex*>(section->impl);
    section->impl = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* section) { Mutex(section).lock(); }

void LeaveCriticalSection(CRITICAL_SECTION* section) { Mutex(section).unlock(); }

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) { return Mutex(section).try_lock() ? TRUE : FALSE; }
