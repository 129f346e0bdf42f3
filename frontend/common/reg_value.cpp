#include "frontend/common/reg_value.h"

#include <cstring>

BYTE* RegValueRead(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD byteCount)
{
    auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, byteCount));
    if (!block) return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return block;
    DWORD size = byteCount;
    // A larger value is refused whole by the registry (ERROR_MORE_DATA) and leaves the block zero.
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, block, &size) != ERROR_SUCCESS)
        std::memset(block, 0, byteCount);
    RegCloseKey(key);
    return block;
}

bool RegValueWrite(HKEY root, LPCWSTR subKey, LPCWSTR valueName, const void* data, DWORD byteCount)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool ok =
        RegSetValueExW(key, valueName, 0, REG_BINARY, static_cast<const BYTE*>(data), byteCount) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}
