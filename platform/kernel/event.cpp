#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "kernel_object.h"
#include "platform/kernel.h"

namespace platform {
namespace {

struct EventObject : KernelObject {
    static constexpr ObjectKind Kind = ObjectKind::Event;
    EventObject(bool manual, bool initial) : KernelObject(Kind), manualReset(manual), signalled(initial) {}
    const bool manualReset;
    std::mutex lock;
    std::condition_variable changed;
    bool signalled;
};

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, LPCSTR)
{
    std::shared_ptr<EventObject> event;
    try {
        event = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return HandleRegister(std::move(event));
}

HANDLE CreateEventW(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCWSTR)
{
    return CreateEventA(security, manualReset, initialState, nullptr);
}

BOOL SetEvent(HANDLE handle)
{
    auto event = HandleGet<EventObject>(handle);
    if (!event) return FALSE;
    {
        std::lock_guard guard(event->lock);
        event->signalled = true;
    }
    // Every waiter re-checks the state under the lock; an auto-reset event lets only the first through.
    if (event->manualReset) event->changed.notify_all();
    else event->changed.notify_one();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle)
{
    auto event = HandleGet<EventObject>(handle);
    if (!event) return FALSE;
    std::lock_guard guard(event->lock);
    event->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto event = HandleGet<EventObject>(handle);
    if (!event) return WAIT_FAILED;
    std::unique_lock guard(event->lock);
    auto ready = [&] { return event->signalled; };
    if (milliseconds == INFINITE) {
        event->changed.wait(guard, ready);
    } else if (!event->changed.wait_for(guard, std::chrono::milliseconds(milliseconds), ready)) {
        return WAIT_TIMEOUT;
    }
    if (!event->manualReset) event->signalled = false;
    return WAIT_OBJECT_0;
}

void Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) std::this_thread::yield();
    else std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }
