// Text conversions the wide-character entry points share: UTF-16 (WCHAR) to and from UTF-8,
// code page 1251 to UTF-16, and the path spelling of this platform.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// Unpaired surrogates and malformed UTF-8 become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
std::u16string Cp1251ToUtf16(std::string_view text);
// Characters that code page 1251 lacks become the default character; replaced tells whether any did.
std::string Utf16ToCp1251(std::u16string_view text, char defaultChar, bool* replaced);
// Length of a zero-terminated UTF-16 string (null counts as empty).
size_t WideLength(LPCWSTR text);
inline std::string WideToUtf8(LPCWSTR text)
{
    return Utf16ToUtf8(std::u16string_view(text ? text : u"", WideLength(text)));
}
// A file name as the system uses it: a back slash is a folder separator, as the callers' names
// are built with either.
std::string NativePath(std::string_view name);

}  // namespace platform

namespace platform {
// Case folding for names that match without regard to case: ASCII, Latin-1, Greek and Cyrillic
// letters (the scripts of this system's names and texts).
char16_t FoldCase(char16_t c);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
bool EqualNoCase(std::string_view utf8a, std::string_view utf8b);
}  // namespace platform
