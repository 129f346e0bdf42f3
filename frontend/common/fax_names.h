// The names the front end derives from its module: the prefix and the registry key under it.
#pragma once

#include <string>

#include "platform/kernel.h"

// The prefix from a module's file path: base name (no folder; on this platform also without a
// leading "lib" and without everything from its first dot), at most 31 characters, in capitals,
// with every "REC" removed. out has room for 32 characters.
void FaxPrefixFromModulePath(LPCWSTR path, LPWSTR out);
// "SoftWare\QUOBA\<prefix>".
std::u16string FaxKeyName(LPCWSTR prefix);
