// The small read and write operations every reader and writer of the front end's registry values
// and data files uses, and the rules that name them (the prefix, the key, the data folder).
// Reads never fail loudly: what cannot be read comes back as zeros.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "frontend/common/records.h"
#include "platform/kernel.h"
#include "platform/registry.h"

// A zero-filled process-heap block of exactly byteCount bytes holding the value when the key
// opens and the value fits; a missing key or value, or a larger value, leaves it zero. Null only
// when the heap is exhausted. The caller frees it with HeapFree.
BYTE* RegValueRead(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD byteCount);
// Creates or opens the key and writes the value as REG_BINARY.
bool RegValueWrite(HKEY root, LPCWSTR subKey, LPCWSTR valueName, const void* data, DWORD byteCount);

// The whole file in a zero-filled process-heap block of its size, or a zero-filled 32-byte block
// when it cannot be opened or read. HeapSize tells how much it holds. Data files are never reached
// through a symlink (another user's link must not lead to this user's files).
BYTE* FileReadAll(LPCWSTR path);
// Writes the bytes from the file's start, creating the file when missing, and cuts the file after
// them, so no bytes of a longer earlier file stay behind the new records. A symlink in the file's
// place is not followed: the write fails.
bool FileWriteAll(LPCWSTR path, DWORD access, const void* data, DWORD byteCount);

// Creates "<temporary folder>QUOBADAT" when missing (mode 0700) and writes its path with a trailing
// separator into out (room for 1024 characters). The folder must be private to this user: one that
// another user owns, that others can write, or that is a symlink is refused with a message on the
// standard error; out is then empty and the result false. A private folder of ours that others
// could read is closed to them (mode 0700).
bool FaxDataDirGet(LPWSTR out);
// A data file's path: folder, prefix and name; empty when the folder is (a refused data folder),
// so that nothing is read from or written to the current folder instead.
std::u16string FaxDataFilePath(LPCWSTR folder, std::u16string_view prefix, std::u16string_view name);

void CoverPageUIDefaults(CoverPageSettings* settings);

// Replaces the first occurrence of pattern again and again, searching from the start each time,
// until none is left. Texts stay below 1000 characters; a longer result is cut there.
void StringReplaceAll(LPWSTR text, LPCWSTR pattern, LPCWSTR replacement);

// The prefix from a module's file path: base name (no folder; on this platform also without a
// leading "lib" and without everything from its first dot), at most 31 characters, in capitals,
// with every "REC" removed. out has room for 32 characters.
void FaxPrefixFromModulePath(LPCWSTR path, LPWSTR out);
// "SoftWare\QUOBA\<prefix>".
std::u16string FaxKeyName(LPCWSTR prefix);

// A text field read up to its terminator or its end, whichever comes first.
template <size_t N>
std::u16string_view FieldText(const WCHAR (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n]) ++n;
    return {field, n};
}
// Copies text into a field, cut to leave room for the terminator.
template <size_t N>
void FieldSet(WCHAR (&field)[N], std::u16string_view text)
{
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, n);
    for (size_t i = n; i < N; ++i) field[i] = 0;
}

// Contact C belongs to group G when ";" + G's members contains ";" + C's key + ";".
bool ContactInGroup(const ContactRecord& contact, const GroupRecord& group);

// The number of whole records a data-file block holds, at most the count its count value claims:
// a count larger than the file is clamped to what the file holds.
WORD RecordCountClamp(const void* block, size_t recordSize, WORD claimed);

// The cover-page settings the sheet starts from: "CoverPagePout" with the sender of
// "CoverPageUI", its paper size (Letter when it has none) with the smaller side as the width, and
// a picture scale of 100 at 50, 50 when none was stored.
void CoverPageSettingsMerge(CoverPageSettings* pout, CoverPageSettings* ui);
// A "CoverPagePout" that was never stored reads as all zeros; it takes the portrait orientation
// of the default paper (orientation 0 would read as landscape). A stored record keeps its own.
void CoverPageOrientationDefault(CoverPageSettings* settings);
// The driver folder of "DriverPath" in UTF-16, read up to its field's end.
void DriverFolderFromValue(const DriverPathValue& value, WCHAR (&out)[260]);
// Stores a text in a field of "DriverPath" in code page 1251, the field's own encoding, ended by
// a zero. False, with the field left as it was, when the text has a character that 1251 lacks or
// does not fit the field with its terminator: a name stored otherwise would name another printer.
bool DriverPathFieldSet(char* field, size_t size, std::u16string_view text);
