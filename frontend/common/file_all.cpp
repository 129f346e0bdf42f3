#include "frontend/common/file_all.h"

namespace {

// Data files are small; one larger than this is damaged and reads as missing.
constexpr LONGLONG kLargestDataFile = 0x7FFFFFFF;

BYTE* EmptyBlock() { return static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 32)); }

}  // namespace

BYTE* FileReadAll(LPCWSTR path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return EmptyBlock();
    LONGLONG size = 0;
    if (!GetFileSizeEx(file, &size) || size > kLargestDataFile) {
        CloseHandle(file);
        return EmptyBlock();
    }
    auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size)));
    DWORD read = 0;
    const bool ok = block && ReadFile(file, block, static_cast<DWORD>(size), &read, nullptr) && read == size;
    CloseHandle(file);
    if (ok) return block;
    HeapFree(GetProcessHeap(), 0, block);
    return EmptyBlock();
}

bool FileWriteAll(LPCWSTR path, DWORD access, const void* data, DWORD byteCount)
{
    HANDLE file = CreateFileW(path, access, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    // The file is cut only after the new bytes are in, so a failed write leaves the earlier
    // list's length in place rather than an empty file.
    const bool ok = WriteFile(file, data, byteCount, &written, nullptr) && written == byteCount && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}
