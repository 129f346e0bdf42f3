// Kernel services stood in for on Linux: last error, MulDiv, files, temporary files, file
// mappings, thread-local slots, critical sections, events, dynamic loading, module resources and
// the memory figure. Each function sets the calling thread's last error when it fails.
#pragma once

#include "platform/types.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// ---- Last error: one value per thread, in Windows numbering ----
#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_DISK_FULL 112L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_ARITHMETIC_OVERFLOW 534L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_FILE_INVALID 1006L
#define ERROR_CAN_NOT_COMPLETE 1003L  // also: a path call out of its order
#define ERROR_BADKEY 1010L
#define ERROR_INVALID_LEVEL 124L
#define ERROR_INVALID_PRINTER_NAME 1801L

DWORD GetLastError();
void SetLastError(DWORD code);
// Maps an errno value to the Windows code above (unknown values give ERROR_INVALID_FUNCTION).
DWORD ErrnoToWinError(int err);
// Sets the last error from errno and returns it.
DWORD SetLastErrorFromErrno();

// 64-bit product divided with rounding to nearest, halves away from zero; -1 on a zero divisor
// or a result outside 32 bits.
int MulDiv(int number, int numerator, int denominator);

// ---- Files ----
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_ATTRIBUTE_TEMPORARY 0x100u
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define MAX_PATH 260

struct SECURITY_ATTRIBUTES;

// Opens or creates a file over a file descriptor. Sharing, attributes and security are ignored
// (POSIX has no mandatory locks). FILE_FLAG_DELETE_ON_CLOSE unlinks the file as soon as it is open,
// so it is gone when the last handle closes, even if the process dies. FILE_FLAG_OPEN_REPARSE_POINT
// does not follow a symlink in the file's place: the open fails (ERROR_ACCESS_DENIED). A back
// slash in a name is a folder separator. Only a regular file opens: a folder, a FIFO or a device
// fails (ERROR_ACCESS_DENIED) without waiting, as data may name anything.
// CREATE_ALWAYS and OPEN_ALWAYS set the last error to ERROR_ALREADY_EXISTS when the file was there,
// 0 otherwise. Failure returns INVALID_HANDLE_VALUE: a missing file ERROR_FILE_NOT_FOUND, a missing
// folder ERROR_PATH_NOT_FOUND, CREATE_NEW over an existing file ERROR_FILE_EXISTS.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
// Reads and writes retry on EINTR and short transfers until the count is done; a read at the end
// of the file succeeds with fewer (or 0) bytes. The count pointers may be null; overlapped I/O is
// refused (ERROR_INVALID_PARAMETER).
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, DWORD* written, void* overlapped);
// distanceHigh may be null (then the distance is a signed 32-bit value and a target beyond 32 bits
// fails). Returns the new low 32 bits and sets the last error to 0, or INVALID_SET_FILE_POINTER with
// the last error set on failure (ERROR_NEGATIVE_SEEK before the start). Seeking past the end is
// allowed.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* newPosition, DWORD method);
// Low 32 bits of the size (high bits in *sizeHigh); on success the last error is 0, so a size whose
// low part is INVALID_FILE_SIZE can be told from a failure.
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);
BOOL GetFileSizeEx(HANDLE file, LONGLONG* size);
BOOL FlushFileBuffers(HANDLE file);
BOOL SetEndOfFile(HANDLE file);
BOOL DeleteFileA(LPCSTR name);
BOOL DeleteFileW(LPCWSTR name);
// Closes any handle this layer hands out (files, mappings, events). A handle that is not open
// gives ERROR_INVALID_HANDLE; an object in use by another thread lives until that use ends.
BOOL CloseHandle(HANDLE handle);

// ---- Temporary files ----
// The folder of $TMPDIR (default /tmp), with a trailing '/'. Returns the length written, or the
// size needed (including the terminator) when the buffer is too small.
DWORD GetTempPathA(DWORD size, LPSTR buffer);
DWORD GetTempPathW(DWORD size, LPWSTR buffer);
// Creates an empty file named <path>/<first three chars of prefix><hex>.tmp (upper-case hex of a
// 16-bit number, no leading zeros) and returns the number used; the number is chosen so that no
// existing file is replaced. With unique != 0 its low 16 bits name the file and no file is created.
// tempFileName must hold MAX_PATH characters; a longer name fails with ERROR_FILENAME_EXCED_RANGE.
UINT GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR tempFileName);
UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName);

// ---- File mappings ----
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define FILE_MAP_WRITE 0x0002u
#define FILE_MAP_READ 0x0004u
#define FILE_MAP_ALL_ACCESS 0x000F001Fu

// A mapping of an open file handle (not INVALID_HANDLE_VALUE: there is no page-file backing here).
// Size 0 means the file's size; an empty file cannot be mapped (null, ERROR_FILE_INVALID). A
// read-write mapping larger than the file grows the file; a read-only one fails. Names are ignored.
// The mapping keeps its own reference to the file, so the file handle may be closed first; views
// stay valid after the mapping handle is closed. Failure returns null.
HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          LPCSTR name);
// bytes 0 maps to the end of the mapping. Any offset is accepted (not only multiples of 64 KB);
// a view reaching past the mapping fails with ERROR_ACCESS_DENIED, as does FILE_MAP_WRITE on a
// read-only mapping.
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
// Takes exactly the address MapViewOfFile returned (ERROR_INVALID_ADDRESS otherwise).
BOOL UnmapViewOfFile(LPCVOID view);

// ---- Thread-local slots ----
#define TLS_OUT_OF_INDEXES 0xFFFFFFFFu
// 64 slots per process (TLS_OUT_OF_INDEXES with ERROR_NO_MORE_ITEMS beyond). The lowest free slot
// is given; a freed slot reads as null in every thread when it is allocated again.
DWORD TlsAlloc();
BOOL TlsFree(DWORD index);
LPVOID TlsGetValue(DWORD index);  // sets the last error to 0 on success, as callers test it
BOOL TlsSetValue(DWORD index, LPVOID value);

// ---- Critical sections: a recursive mutex (the owner may enter again; leave as often) ----
struct CRITICAL_SECTION {
    void* impl;
};
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* section);

// ---- Events and waiting ----
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu

// Manual-reset events stay signalled until ResetEvent; auto-reset events release one waiter and
// reset themselves. A signal before the wait is never lost. Names are ignored (events are local
// to the process). WaitForSingleObject waits on events only; other handles give WAIT_FAILED with
// ERROR_INVALID_HANDLE.
HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCSTR name);
HANDLE CreateEventW(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

// ---- Dynamic loading ----
// A module handle is the dynamic loader's handle; null stands for the main program where a
// module is asked for. LoadLibraryA/W: dlopen(RTLD_NOW | RTLD_LOCAL) of the name (a back slash is a
// folder separator; a name without a folder is searched as dlopen searches); failure sets 126
// (ERROR_MOD_NOT_FOUND), also when the file exists but cannot be loaded. FreeLibrary: dlclose;
// the library need not really unload.
HMODULE LoadLibraryA(LPCSTR fileName);
HMODULE LoadLibraryW(LPCWSTR fileName);
// By name: a symbol defined in the module itself (not in a library it depends on); failure sets
// 127 (ERROR_PROC_NOT_FOUND). A name whose pointer value is below 0x10000 is an ordinal, looked
// up in the module's own ordinal table (FAX_MODULE_ORDINALS below); a module without one, or an
// ordinal not in it, gives 127.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
// Converts an address from GetProcAddress to the function type it has, without the warning a
// direct cast between function types gives:  auto init = FaxProcCast<ImoInitializeFn>(proc);
template <typename Function>
Function FaxProcCast(FARPROC proc)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

// A module publishes its export ordinals as an exported array named FaxModuleOrdinals of
// {ordinal, export name} entries ended by {0, nullptr}; the named exports must exist. The
// library's version script must export FaxModuleOrdinals. Write in one source file:
//     FAX_MODULE_ORDINALS({7, "ImeRender"}, {35, "ImeRenderOverlay"});
struct FaxModuleOrdinal {
    DWORD ordinal;
    const char* name;
};
#define FAX_MODULE_ORDINALS_SYMBOL "FaxModuleOrdinals"
#define FAX_MODULE_ORDINALS(...)                      \
    extern "C" __attribute__((visibility("default"))) \
    const FaxModuleOrdinal FaxModuleOrdinals[] = {__VA_ARGS__, {0, nullptr}}

// A module already loaded, without taking a reference (null name: the main program); not
// loaded gives 126.
HMODULE GetModuleHandleA(LPCSTR name);
// The module whose image holds the given address (as GetModuleHandleExA with FROM_ADDRESS and
// an unchanged reference count); a library uses it with one of its own functions to learn its
// own handle.
HMODULE ModuleFromAddress(const void* address);
// The full path of the module's file (null: the program). A name that does not fit is cut to
// size - 1 characters and terminated; the result is then size with ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// No thread notifications reach libraries here, so there is nothing to turn off; returns TRUE.
BOOL DisableThreadLibraryCalls(HMODULE module);

// ---- System information ----
#define PROCESSOR_ARCHITECTURE_AMD64 9
struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
static_assert(sizeof(SYSTEM_INFO) == 48);
// The machine this runs on: x86-64 (architecture 9), its page size, the processors this process
// may use, and an allocation granularity of 64 KB. Both forms give the same answer.
void GetSystemInfo(SYSTEM_INFO* info);
void GetNativeSystemInfo(SYSTEM_INFO* info);

#define VER_PLATFORM_WIN32_NT 2u
#define VER_NT_WORKSTATION 1u
struct OSVERSIONINFOW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
static_assert(sizeof(OSVERSIONINFOW) == 276 && sizeof(OSVERSIONINFOEXW) == 284);
// Answers as a current NT workstation: platform 2, version 10.0, build 19045, product type 1 and
// no service pack, so version tables that stop at older releases find no row. The structure's
// size field must be 276 or 284 (else ERROR_INVALID_PARAMETER); the extended fields are filled
// only for 284.
BOOL GetVersionExW(OSVERSIONINFOW* info);

// Compares two strings by the collation of the current C locale (code point order in the "C"
// locale); returns a negative, zero or positive value. A null string sorts before any other.
int lstrcmpW(LPCWSTR a, LPCWSTR b);

// ---- Module resources ----
// Each library compiles in a table of (type, name) -> bytes (see platform/resources.h). A type or
// name whose pointer value is below 0x10000 is an integer id (MAKEINTRESOURCE); a string type or
// name compares without regard to case ("#123" is not read as an id). A null module is the main
// program. Failures: ERROR_RESOURCE_TYPE_NOT_FOUND when the module has no resource of that type,
// ERROR_RESOURCE_NAME_NOT_FOUND when the type is there but not the name.
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)
#define RT_BITMAP_ID 2
#define RT_STRING_ID 6
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// The data are the library's own read-only bytes: LoadResource and LockResource give their
// address (never null for a found resource, also when its size is 0; null with
// ERROR_RESOURCE_DATA_NOT_FOUND for a table entry that declares a size but holds no bytes),
// FreeResource does nothing and returns FALSE, as on Windows.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);
BOOL FreeResource(HGLOBAL data);
// String id from the RT_STRING block id / 16 + 1. Copies at most size - 1 code units and a
// terminator and returns the count copied; size 0 stores a read-only pointer to the (not
// terminated) string in *(LPWSTR*)buffer and returns its length. A missing or empty string gives
// 0 (with ERROR_RESOURCE_NAME_NOT_FOUND when missing) and an empty buffer.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size);

// ---- Memory figure ----
struct MEMORYSTATUS {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    SIZE_T dwTotalPhys;
    SIZE_T dwAvailPhys;
    SIZE_T dwTotalPageFile;
    SIZE_T dwAvailPageFile;
    SIZE_T dwTotalVirtual;
    SIZE_T dwAvailVirtual;
};
// dwTotalPhys: physical memory; dwAvailPhys: memory available without swapping (MemAvailable);
// dwTotalPageFile / dwAvailPageFile: those plus total / free swap; dwTotalVirtual: the address-space
// limit (RLIMIT_AS, or the 128 TB of user space); dwAvailVirtual: that less what the process has
// mapped. dwMemoryLoad is the percentage of physical memory in use.
void GlobalMemoryStatus(MEMORYSTATUS* status);
// Tests: replace the figure GlobalMemoryStatus reports (null restores the machine's own).
void GlobalMemoryStatusOverride(const MEMORYSTATUS* status);

// ---- Process heap ----
// One heap per process; each block remembers its size, so HeapSize answers the size asked for.
// HEAP_ZERO_MEMORY zero-fills a new block and, on a reallocation, the bytes it grows by. Failure
// returns null with ERROR_NOT_ENOUGH_MEMORY; the old block of a failed reallocation stays valid.
#define HEAP_ZERO_MEMORY 0x00000008u
HANDLE GetProcessHeap();
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
// A null block is no error.
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
// (SIZE_T)-1 for a null block.
SIZE_T HeapSize(HANDLE heap, DWORD flags, LPCVOID block);

// ---- Folders ----
// Creates one folder (mode 0777 less the umask); an existing one fails with ERROR_ALREADY_EXISTS,
// a missing parent with ERROR_PATH_NOT_FOUND. A back slash is a folder separator.
BOOL CreateDirectoryW(LPCWSTR name, SECURITY_ATTRIBUTES* security);

// ---- Code pages ----
// The system ANSI code page of this platform is 1251 (the front end's narrow fields are Cyrillic
// text); CP_UTF8 is also understood. Flags are ignored. With wideSize 0 the length needed is
// returned; a count of -1 converts through the terminator and counts it. A result that does not
// fit fails with ERROR_INSUFFICIENT_BUFFER and returns 0.
#define CP_ACP 0u
#define CP_UTF8 65001u
UINT GetACP();
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int count, LPWSTR wide, int wideSize);
// UTF-16 to CP_UTF8 or to the ANSI code page 1251 (others fail with ERROR_INVALID_PARAMETER); sizes
// as above, in bytes. For 1251 a character the code page lacks becomes the default character ('?'
// when null) and sets *usedDefault; for CP_UTF8 both default-character arguments must be null.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int count, LPSTR text, int textSize,
                        LPCSTR defaultChar, BOOL* usedDefault);

#pragma GCC visibility pop
