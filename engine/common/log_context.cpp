#include "engine/common/log_context.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/common/render_heap.h"
#include "platform/registry.h"

namespace {

HMODULE gModule = nullptr;
DWORD gLogSlot = TLS_OUT_OF_INDEXES;
bool gLogSlotAllocated = false;

// The log folder from the registry, or the default folder when the key or value cannot be read.
void LogFolderRead(const char* defaultFolder, char folder[LOG_PATH_MAX])
{
    folder[0] = '\0';
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, LOG_REGISTRY_KEY, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD type = 0;
        DWORD size = LOG_PATH_MAX;
        const LONG result =
            RegQueryValueExA(key, LOG_REGISTRY_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
        RegCloseKey(key);
        if (result == ERROR_SUCCESS) {
            folder[size < LOG_PATH_MAX ? size : LOG_PATH_MAX - 1] = '\0';
            return;
        }
        folder[0] = '\0';
    }
    if (defaultFolder != nullptr) {
        const size_t length = strnlen(defaultFolder, LOG_PATH_MAX - 1);
        std::memcpy(folder, defaultFolder, length);
        folder[length] = '\0';
    }
}

// Appends text, cutting the whole at LOG_PATH_MAX bytes with its terminator.
void PathAppend(char path[LOG_PATH_MAX], const char* text)
{
    const size_t used = strnlen(path, LOG_PATH_MAX - 1);
    const size_t room = LOG_PATH_MAX - 1 - used;
    const size_t length = strnlen(text, room);
    std::memcpy(path + used, text, length);
    path[used + length] = '\0';
}

}  // namespace

LogContext* LogOpen(const char* defaultFolder, const char* jobName)
{
    char path[LOG_PATH_MAX];
    LogFolderRead(defaultFolder, path);
    const size_t length = strnlen(path, LOG_PATH_MAX);
    if (length == 0 || (path[length - 1] != '\\' && path[length - 1] != '/')) PathAppend(path, "\\");
    PathAppend(path, LOG_FILE_NAME);

    const size_t pathBytes = strnlen(path, LOG_PATH_MAX) + 1;
    auto* log = static_cast<LogContext*>(RenderAlloc(sizeof(LogContext) + pathBytes));
    if (log == nullptr) return nullptr;
    log->path = reinterpret_cast<char*>(log + 1);
    std::memcpy(log->path, path, pathBytes);
    if (jobName != nullptr) {
        const size_t nameBytes = std::strlen(jobName) + 1;
        log->jobName = static_cast<char*>(RenderAlloc(nameBytes));
        if (log->jobName != nullptr) std::memcpy(log->jobName, jobName, nameBytes);
    }
    log->startTime = static_cast<int64_t>(std::time(nullptr));
    using Period = std::chrono::steady_clock::period;
    log->counterFrequency = static_cast<int64_t>(Period::den / Period::num);
    InitializeCriticalSection(&log->lock);
    LogCurrentSet(log);
    return log;
}

void LogClose(LogContext* log)
{
    if (log == nullptr) return;
    if (LogCurrent() == log) LogCurrentSet(nullptr);
    DeleteCriticalSection(&log->lock);
    RenderFree(log->jobName);
    RenderFree(log);
}

void LogEventV(uint32_t level, const char* function, const char* format, va_list arguments)
{
    // Callers log on their failure paths and then report by the last error: keep it as it was.
    const DWORD error = GetLastError();
    LogContext* log = LogCurrent();
    if (log == nullptr || log->path == nullptr || log->path[0] != '/' || format == nullptr) {
        SetLastError(error);
        return;
    }
    char message[1024];
    vsnprintf(message, sizeof message, format, arguments);
    EnterCriticalSection(&log->lock);
    if (FILE* file = std::fopen(log->path, "a")) {
        std::fprintf(file, "%s %s: %s\n", level == 1 ? "error" : "warning", function ? function : "?", message);
        std::fclose(file);
    }
    LeaveCriticalSection(&log->lock);
    SetLastError(error);
}

void LogEvent(uint32_t level, const char* function, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    LogEventV(level, function, format, arguments);
    va_end(arguments);
}

LogContext* LogCurrent()
{
    if (!gLogSlotAllocated) return nullptr;
    return static_cast<LogContext*>(TlsGetValue(gLogSlot));
}

void LogCurrentSet(LogContext* log)
{
    if (gLogSlotAllocated) TlsSetValue(gLogSlot, log);
}

BOOL DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            gModule = module;
            // Thread notifications are not wanted: nothing here is per-thread but the slot's value.
            if (!gLogSlotAllocated) {
                gLogSlot = TlsAlloc();
                gLogSlotAllocated = gLogSlot != TLS_OUT_OF_INDEXES;
            }
            return TRUE;
        case DLL_PROCESS_DETACH:
            if (gLogSlotAllocated) TlsFree(gLogSlot);
            gLogSlotAllocated = false;
            gLogSlot = TLS_OUT_OF_INDEXES;
            return TRUE;
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH: return TRUE;
        default: return FALSE;
    }
}

HMODULE RastrelModuleHandle() { return gModule; }

// The loader's attach and detach of this library (or of the program that links the engine).
__attribute__((constructor)) static void RastrelAttach()
{
    DllMain(ModuleFromAddress(reinterpret_cast<const void*>(&RastrelAttach)), DLL_PROCESS_ATTACH, nullptr);
}
__attribute__((destructor)) static void RastrelDetach() { DllMain(RastrelModuleHandle(), DLL_PROCESS_DETACH, nullptr); }
