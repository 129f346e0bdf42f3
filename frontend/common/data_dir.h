// The front end's private data folder in the temporary folder, and the data files' paths in it.
#pragma once

#include <string>
#include <string_view>

#include "platform/kernel.h"

// What FaxDataDirCheck found of the data folder.
enum DataFolderVerdict : int {
    kDataFolderPrivate = 0,  // this user's own folder, mode 0700: used
    kDataFolderNoTemporary,  // the temporary folder's path is missing or too long
    kDataFolderNotAFolder,  // a symlink or a file stands under the folder's name
    kDataFolderForeign,  // another user owns the folder
    kDataFolderUnopenable,  // the folder can be neither made nor opened
    kDataFolderUnmendable,  // ours, open to others, and its mode cannot be set to 0700
};

// Creates "<temporary folder>QUOBADAT" when missing (mode 0700) and writes its path with a trailing
// separator into out (room for 1024 characters). The folder must be private to this user: one of
// ours that others could read or write is closed to them (mode 0700) and used; one that another
// user owns, or a symlink, is refused: out is then empty. folder, when given, receives the
// folder's path (without the separator) whenever the temporary folder gave one, for messages.
DataFolderVerdict FaxDataDirCheck(LPWSTR out, std::u16string* folder);
// FaxDataDirCheck without the verdict: true when the folder is used.
bool FaxDataDirGet(LPWSTR out);
// A data file's path: folder, prefix and name; empty when the folder is (a refused data folder),
// so that nothing is read from or written to the current folder instead.
std::u16string FaxDataFilePath(LPCWSTR folder, std::u16string_view prefix, std::u16string_view name);
// A path in this system's narrow file names (UTF-8); empty when it has none.
std::string NarrowPath(LPCWSTR path);
