// The front end's private data folder in the temporary folder, and the data files' paths in it.
#pragma once

#include <string>
#include <string_view>

#include "platform/kernel.h"

// Creates "<temporary folder>QUOBADAT" when missing (mode 0700) and writes its path with a trailing
// separator into out (room for 1024 characters). The folder must be private to this user: one that
// another user owns, that others can write, or that is a symlink is refused with a message on the
// standard error; out is then empty and the result false. A private folder of ours that others
// could read is closed to them (mode 0700).
bool FaxDataDirGet(LPWSTR out);
// A data file's path: folder, prefix and name; empty when the folder is (a refused data folder),
// so that nothing is read from or written to the current folder instead.
std::u16string FaxDataFilePath(LPCWSTR folder, std::u16string_view prefix, std::u16string_view name);
