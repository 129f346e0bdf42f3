// Whole-file reads and writes of the front end's data files (address book, groups, receivers).
#pragma once

#include "platform/kernel.h"

// The whole file in a zero-filled process-heap block of its size, or a zero-filled 32-byte block
// when it cannot be opened or read. HeapSize tells how much it holds. Data files are never reached
// through a symlink (another user's link must not lead to this user's files), and one that is not
// a regular file of this user's (checked on what was opened) reads as missing.
BYTE* FileReadAll(LPCWSTR path);
// Writes the bytes from the file's start, creating the file when missing, and cuts the file after
// them, so no bytes of a longer earlier file stay behind the new records. A symlink in the file's
// place is not followed, and a file that is not a regular file of this user's is not written: the
// write fails. The file is left with mode 0600. access is kept for the callers' sake: the file is
// always opened for writing only.
bool FileWriteAll(LPCWSTR path, DWORD access, const void* data, DWORD byteCount);
