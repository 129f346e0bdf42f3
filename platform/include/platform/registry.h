// The registry, stood in for by a folder tree: $FAXDRIVER_REGISTRY when set, otherwise
// $XDG_CONFIG_HOME/faxdriver/registry (XDG_CONFIG_HOME defaults to ~/.config), read at each open.
// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT are its three top folders; a key is
// a folder, a value a file "=<name>" holding a 32-bit little-endian type and then the bytes (the
// default value is the file "="). Key and value names match without regard to case and keep the
// case they were created with; a back slash separates the keys of a path. A write goes to a
// temporary file in the key's folder and is renamed over the value, so a reader in any process
// sees the old or the new value, never a part of one.
//
// The functions return the error code (ERROR_SUCCESS or a Windows code) and leave the thread's
// last error alone, as on Windows.
#pragma once

#include "platform/kernel.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

typedef DWORD REGSAM;
typedef LONG LSTATUS;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu

#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

// Opens an existing key below an open key or a root (a null or empty subKey opens the key itself
// again). Missing keys give ERROR_FILE_NOT_FOUND. The access asked for is checked by the value
// functions: a query needs KEY_QUERY_VALUE, a write KEY_SET_VALUE (else ERROR_ACCESS_DENIED).
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
// Opens the key, creating each missing key of the path; *disposition (may be null) tells which.
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, REGSAM access,
                        SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                        SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);
// Closing a root does nothing; an unknown handle gives ERROR_INVALID_HANDLE.
LSTATUS RegCloseKey(HKEY key);

// Reads a value (null or empty name: the key's default value). type, data and size may each be
// null; with data null and size given, *size receives the size. When the value is larger than
// *size the result is ERROR_MORE_DATA, *size receives the size needed and nothing is written to
// data. Strings (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are kept in UTF-16LE as on Windows: the W
// function gives them as stored, the A function converts them to UTF-8 (sizes in its bytes) and
// adds a terminator when the stored string lacks one and the buffer has room.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
// Writes a value whole (see above); the A function converts string types from UTF-8 to UTF-16LE.
// An existing value of another spelling keeps its spelling.
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);

#pragma GCC visibility pop
