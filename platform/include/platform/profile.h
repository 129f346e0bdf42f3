// The private-profile (INI file) readers. Each call reads the file anew (no cache, no writes).
//
// Syntax: "[section]" lines and "key=value" lines; a line whose first non-blank character is ';'
// is a comment; lines of any other form and keys before the first section are ignored. Line ends
// may be LF, CR LF or CR. Section and key names match without regard to case; when a key occurs
// more than once (also in a repeated section) the first in the file wins. Blanks (space, tab)
// around names and values are trimmed, then one pair of matching surrounding quotes (" or ') is
// stripped from the value; a ';' after the start of a value is part of it.
//
// Files may be UTF-16LE with a byte-order mark, UTF-8 (with or without a mark), or, when the
// bytes are not valid UTF-8, code page 1251. Narrow (A) names, values and file names are UTF-8.
// A back slash in a file name is a folder separator; a name without a folder is taken relative to
// the current folder.
#pragma once

#include "platform/types.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// Copies the value, else the default (null: empty; trailing blanks removed), cut to size - 1
// characters (the A form never cuts a UTF-8 sequence in two) and terminated; returns the number
// of characters copied without the terminator. A null key lists the section's key names, a null
// section the file's section names, each terminated, the list ended by a second terminator; a
// list that does not fit is cut and ended by two terminators, and the result is size - 2.
// A missing file gives the default with the last error ERROR_FILE_NOT_FOUND.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName);
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName);
// The value as an integer: an optional sign and the decimal digits that follow it, up to the first
// other character (beyond the 32-bit range it saturates); a value without digits is 0. A missing
// file, section or key gives the default. Negative values come back as their 32-bit pattern.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);

#pragma GCC visibility pop
