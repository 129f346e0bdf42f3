#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "../kernel/file.h"
#include "../kernel/wide_text.h"
#include "ini_reader.h"
#include "platform/kernel.h"
#include "platform/profile.h"

using namespace platform;

namespace {

// The file's text, or nothing (with the last error set) when it cannot be read.
std::optional<std::u16string> ReadIni(const std::string& fileName)
{
    std::vector<unsigned char> bytes;
    if (const int error = ReadWholeFile(NativePath(fileName), bytes)) {
        SetLastError(ErrnoToWinError(error));
        return std::nullopt;
    }
    return IniDecode(bytes);
}

// What a string query gives: one text, or a list of names.
struct Answer {
    bool isList = false;
    std::u16string text;
    std::vector<std::u16string> names;
};

Answer Query(const std::optional<std::u16string>& section, const std::optional<std::u16string>& key,
             std::u16string_view defaultValue, const std::string& fileName)
{
    Answer answer;
    const std::optional<std::u16string> text = ReadIni(fileName);
    if (!section || !key) {
        answer.isList = true;
        if (text) answer.names = section ? IniKeys(*text, *section) : IniSections(*text);
        return answer;
    }
    if (text)
        if (auto value = IniFind(*text, *section, *key)) {
            answer.text = std::move(*value);
            return answer;
        }
    while (!defaultValue.empty() && (defaultValue.back() == u' ' || defaultValue.back() == u'\t'))
        defaultValue.remove_suffix(1);
    answer.text = defaultValue;
    return answer;
}

// Output in UTF-16 code units or UTF-8 bytes.
template <typename Char>
std::basic_string<Char> Encode(const std::u16string& text);
template <>
std::u16string Encode<char16_t>(const std::u16string& text)
{
    return text;
}
template <>
std::string Encode<char>(const std::u16string& text)
{
    return Utf16ToUtf8(text);
}

// How much of a text fits in n units without cutting a character in two.
size_t FitLength(const std::u16string& text, size_t n)
{
    n = std::min(n, text.size());
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;
    return n;
}
size_t FitLength(const std::string& text, size_t n)
{
    n = std::min(n, text.size());
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

template <typename Char>
DWORD Deliver(const Answer& answer, Char* buffer, DWORD size)
{
    if (!buffer || size == 0) return 0;
    if (!answer.isList) {
        const std::basic_string<Char> text = Encode<Char>(answer.text);
        const size_t n = FitLength(text, size - 1);
        std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buffer);
        buffer[n] = 0;
        return static_cast<DWORD>(n);
    }
    if (size < 2) {
        buffer[0] = 0;
        return 0;
    }
    size_t at = 0;
    for (const auto& name : answer.names) {
        const std::basic_string<Char> text = Encode<Char>(name);
        if (at + text.size() + 1 > size - 1) {  // cut: the list ends in two terminators
            // The names before may already reach the last unit, leaving no room for this one.
            const size_t n = at < size - 2 ? FitLength(text, size - 2 - at) : 0;
            std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), buffer + at);
            at += n;
            buffer[at] = 0;
            buffer[size - 2] = 0;
            buffer[size - 1] = 0;
            return size - 2;
        }
        std::copy(text.begin(), text.end(), buffer + at);
        at += text.size();
        buffer[at++] = 0;
    }
    buffer[at] = 0;
    if (at == 0) buffer[1] = 0;  // an empty list is two terminators
    return static_cast<DWORD>(at);
}

std::optional<std::u16string> NarrowArgument(LPCSTR text)
{
    return text ? std::optional<std::u16string>(Utf8ToUtf16(text)) : std::nullopt;
}
std::optional<std::u16string> WideArgument(LPCWSTR text)
{
    return text ? std::optional<std::u16string>(std::u16string(text)) : std::nullopt;
}

UINT QueryInt(const std::u16string& section, const std::u16string& key, INT defaultValue, const std::string& fileName)
{
    const std::optional<std::u16string> text = ReadIni(fileName);
    if (!text) return static_cast<UINT>(defaultValue);
    const std::optional<std::u16string> value = IniFind(*text, section, key);
    return static_cast<UINT>(value ? IniParseInt(*value) : defaultValue);
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName)
{
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Deliver<char>(Answer{}, buffer, size);
    }
    const Answer answer =
        Query(NarrowArgument(section), NarrowArgument(key), Utf8ToUtf16(defaultValue ? defaultValue : ""), fileName);
    return Deliver(answer, buffer, size);
}

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName)
{
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return Deliver<char16_t>(Answer{}, buffer, size);
    }
    const Answer answer =
        Query(WideArgument(section), WideArgument(key), defaultValue ? defaultValue : u"", WideToUtf8(fileName));
    return Deliver(answer, buffer, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName)
{
    if (!section || !key || !fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(defaultValue);
    }
    return QueryInt(Utf8ToUtf16(section), Utf8ToUtf16(key), defaultValue, fileName);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName)
{
    if (!section || !key || !fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(defaultValue);
    }
    return QueryInt(section, key, defaultValue, WideToUtf8(fileName));
}
