#include "wide_text.h"

#include <array>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

// Code page 1251, bytes 0x80..0xFF (0x98 is unassigned).
constexpr std::array<char16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, c = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, c = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, c = lead & 0x07, minimum = 0x10000;
        } else {
            AppendUtf16(out, kReplacement);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= static_cast<size_t>(extra); ++j) {
            if (i + j >= text.size() || (static_cast<unsigned char>(text[i + j]) & 0xC0) != 0x80) break;
            c = (c << 6) | (static_cast<unsigned char>(text[i + j]) & 0x3F);
        }
        if (j <= static_cast<size_t>(extra) || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            AppendUtf16(out, kReplacement);
            i += j;
            continue;
        }
        AppendUtf16(out, c);
        i += j;
    }
    return out;
}

std::u16string Cp1251ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char ch : text) {
        const unsigned char b = static_cast<unsigned char>(ch);
        out += b < 0x80 ? static_cast<char16_t>(b) : kCp1251High[b - 0x80];
    }
    return out;
}

std::string Utf16ToCp1251(std::u16string_view text, char defaultChar, bool* replaced)
{
    std::string out;
    out.reserve(text.size());
    *replaced = false;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        size_t i = 0;
        // The table's unassigned slot (0x98) holds U+FFFD, which is no character of the page.
        while (i < kCp1251High.size() && (kCp1251High[i] != c || c == 0xFFFD)) ++i;
        if (i == kCp1251High.size()) {
            out += defaultChar;
            *replaced = true;
        } else {
            out += static_cast<char>(0x80 + i);
        }
    }
    return out;
}

size_t WideLength(LPCWSTR text)
{
    size_t n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

std::string NativePath(std::string_view name)
{
    std::string path(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

}  // namespace platform

namespace platform {

char16_t FoldCase(char16_t c)
{
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    if (c == 0x490)  // Ukrainian ghe with upturn
        return 0x491;
    return c;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    return true;
}

bool EqualNoCase(std::string_view utf8a, std::string_view utf8b)
{
    if (utf8a.size() == utf8b.size()) {  // the common all-ASCII case without conversion
        bool ascii = true;
        for (size_t i = 0; i < utf8a.size() && ascii; ++i) {
            const unsigned char x = static_cast<unsigned char>(utf8a[i]);
            const unsigned char y = static_cast<unsigned char>(utf8b[i]);
            if (x >= 0x80 || y >= 0x80) ascii = false;
            else if (FoldCase(x) != FoldCase(y)) return false;
        }
        if (ascii) return true;
    }
    return EqualNoCase(Utf8ToUtf16(utf8a), Utf8ToUtf16(utf8b));
}

}  // namespace platform
