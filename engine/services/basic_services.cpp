// Heap memory, event log and processor capabilities of the Imx services.
#include <cstdarg>
#include <cstdlib>

#include "engine/common/log_context.h"
#include "rastrel/imx.h"

RASTREL_API void* ImxAlloc(void* /*context*/, uint32_t size) { return std::malloc(size); }

RASTREL_API void ImxFree(void* /*context*/, void* block) { std::free(block); }

// Events go to the log file of the render call's log context when it has one the host can read
// (LogEvent); nothing in the system depends on them being kept.
RASTREL_API void ImxLogEvent(uint32_t level, const char* function, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    LogEventV(level, function, format, arguments);
    va_end(arguments);
}

// No processor capability bits are offered, so every caller takes its plain code path.
RASTREL_API uint32_t ImxCpuCapsGet(void) { return 0; }

// Second names: the same entry points, so a block from one is freed by the other.
RASTREL_API void* ImeExtAlloc(void* context, uint32_t size) __attribute__((alias("ImxAlloc")));
RASTREL_API void ImeExtFree(void* context, void* block) __attribute__((alias("ImxFree")));
RASTREL_API void ImeExtLogEvent(uint32_t level, const char* function, const char* format, ...)
    __attribute__((alias("ImxLogEvent")));
