#include <string_view>

#include "platform/kernel.h"
#include "wide_text.h"

UINT GetACP() { return 1251; }

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, int count, LPWSTR wide, int wideSize)
{
    if (!text || count < -1 || wideSize < 0 || (codePage != CP_ACP && codePage != 1251 && codePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The terminator is converted too when the count is -1, as the caller then expects it back.
    const std::string_view narrow = count == -1 ? std::string_view(text, std::char_traits<char>::length(text) + 1)
                                                : std::string_view(text, static_cast<size_t>(count));
    const std::u16string converted =
        codePage == CP_UTF8 ? platform::Utf8ToUtf16(narrow) : platform::Cp1251ToUtf16(narrow);
    const int needed = static_cast<int>(converted.size());
    if (wideSize == 0) return needed;
    if (!wide || needed > wideSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    converted.copy(wide, converted.size());
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int count, LPSTR text, int textSize, LPCSTR defaultChar,
                        BOOL* usedDefault)
{
    const bool ansi = codePage == CP_ACP || codePage == 1251;
    if (!wide || count < -1 || textSize < 0 || (!ansi && codePage != CP_UTF8) ||
        (codePage == CP_UTF8 && (defaultChar || usedDefault))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = count == -1 ? platform::WideLength(wide) + 1 : static_cast<size_t>(count);
    const std::u16string_view source(wide, length);
    bool replaced = false;
    const std::string converted = ansi ? platform::Utf16ToCp1251(source, defaultChar ? *defaultChar : '?', &replaced)
                                       : platform::Utf16ToUtf8(source);
    if (usedDefault) *usedDefault = replaced ? TRUE : FALSE;
    const int needed = static_cast<int>(converted.size());
    if (textSize == 0) return needed;
    if (!text || needed > textSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    converted.copy(text, converted.size());
    return needed;
}
