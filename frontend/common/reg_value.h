// The registry values the sheet, Coverprint and the host tools share: fixed-size binary records
// under the prefix's key. Reads never fail loudly: what cannot be read comes back as zeros.
#pragma once

#include "platform/registry.h"

// A zero-filled process-heap block of exactly byteCount bytes holding the value when the key
// opens and the value fits; a missing key or value, or a larger value, leaves it zero. Null only
// when the heap is exhausted. The caller frees it with HeapFree.
BYTE* RegValueRead(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD byteCount);
// Creates or opens the key and writes the value as REG_BINARY.
bool RegValueWrite(HKEY root, LPCWSTR subKey, LPCWSTR valueName, const void* data, DWORD byteCount);
