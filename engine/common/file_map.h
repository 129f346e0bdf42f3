// A file mapped into memory whole, read-only or read-write: fonts, colour profiles and halftone
// files are read through it, and built fonts are written through it.
#pragma once

#include "platform/kernel.h"

struct FileMap {
    HANDLE file;  // null when not open
    HANDLE mapping;  // null when not open
    void* view;  // null when not open
};

// Opens the file with CreateFileA(name, access, share, no security, disposition, no flags) and maps
// all of it: read-only when access is GENERIC_READ alone, read-write otherwise. mappingSize 0 maps
// the file's size; a larger read-write mapping grows the file. Returns 0, or the system error with
// every handle closed and the fields cleared.
DWORD FileMapOpen(FileMap* map, LPCSTR name, DWORD access, DWORD share, DWORD disposition, DWORD mappingSize);
// Unmaps the view, closes the mapping and the file, clears the fields; errors are ignored. Returns 0.
DWORD FileMapClose(FileMap* map);
