// The log context of a render call (where a log would be written, the job's name and its start
// time), kept in a thread-local slot that the library allocates when it is loaded; and the
// library's entry routine.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/kernel.h"
#include "rastrel/imx.h"  // the event levels, IMX_LOG_ERROR and IMX_LOG_WARNING

inline constexpr size_t LOG_PATH_MAX = 260;

struct LogContext {
    char* path;  // the log file's full path, held behind the record
    char* jobName;  // private copy, or null
    int64_t startTime;  // seconds since 1970-01-01 UTC
    int64_t counterFrequency;  // ticks per second of the performance counter
    CRITICAL_SECTION lock;
};

// The registry key and value that name the log folder.
inline constexpr const char* LOG_REGISTRY_KEY = "SOFTWARE\\Talvern Imaging";
inline constexpr const char* LOG_REGISTRY_VALUE = "OutputDir";
inline constexpr const char* LOG_FILE_NAME = "imeLog.txt";
inline constexpr const char* LOG_DEFAULT_FOLDER = "c:\\Temp\\";

// A new log context in the calling thread's slot, or null when memory is short.
LogContext* LogOpen(const char* defaultFolder, const char* jobName);
// Takes the log out of the thread's slot when it is there and frees it. Null does nothing.
void LogClose(LogContext* log);

// The calling thread's log context, and storing one there (the slot is the library's).
LogContext* LogCurrent();
void LogCurrentSet(LogContext* log);

// Appends one event to the log file of the calling thread's log context, as a line
// "error|warning <function>: <message>", under the context's lock. Nothing happens without a
// context, or when its path is not a path of this system (the default folder is a drive path):
// the render call never depends on the log, the host reads it to tell its user why a job failed.
void LogEvent(uint32_t level, const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));
void LogEventV(uint32_t level, const char* function, const char* format, va_list arguments);

#define DLL_PROCESS_DETACH 0u
#define DLL_PROCESS_ATTACH 1u
#define DLL_THREAD_ATTACH 2u
#define DLL_THREAD_DETACH 3u

// The library's entry routine: allocates the thread-local log slot on process attach and frees it
// on detach. Returns 1 for the four known reasons, 0 for any other. Run by the loader here.
BOOL DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
// The library's own module handle, kept at attach.
HMODULE RastrelModuleHandle();
