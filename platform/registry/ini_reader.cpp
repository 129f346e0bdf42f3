#include "ini_reader.h"

#include <climits>
#include <cstdint>

#include "../kernel/wide_text.h"

namespace platform {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool ValidUtf8(std::span<const unsigned char> bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = bytes[i];
        size_t extra = 0;
        if (lead < 0x80) extra = 0;
        else if (lead >= 0xC2 && lead <= 0xDF) extra = 1;
        else if (lead >= 0xE0 && lead <= 0xEF) extra = 2;
        else if (lead >= 0xF0 && lead <= 0xF4) extra = 3;
        else return false;
        if (i + extra >= bytes.size() && extra) return false;
        for (size_t j = 1; j <= extra; ++j)
            if ((bytes[i + j] & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

// One parsed line.
struct Line {
    enum Kind { Other, Section, Entry } kind = Other;
    std::u16string_view name;
    std::u16string_view value;
};

Line Parse(std::u16string_view raw)
{
    const std::u16string_view line = Trim(raw);
    Line parsed;
    if (line.empty() || line.front() == u';') return parsed;
    if (line.front() == u'[') {
        const size_t close = line.find(u']');
        parsed.kind = Line::Section;
        parsed.name = Trim(line.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
        return parsed;
    }
    const size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) return parsed;
    parsed.kind = Line::Entry;
    parsed.name = Trim(line.substr(0, equals));
    std::u16string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    parsed.value = value;
    return parsed;
}

// Calls visit(line) for each line, LF, CR LF or CR ended.
template <typename Visit>
void ForEachLine(std::u16string_view text, Visit visit)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) end = text.size();
        if (!visit(Parse(text.substr(start, end - start)))) return;
        start = end + 1;
        if (end < text.size() && text[end] == u'\r' && start < text.size() && text[start] == u'\n') ++start;
    }
}

void AddOnce(std::vector<std::u16string>& names, std::u16string_view name)
{
    for (const auto& known : names)
        if (EqualNoCase(known, name)) return;
    names.emplace_back(name);
}

}  // namespace

std::u16string IniDecode(std::span<const unsigned char> bytes)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        std::u16string text((bytes.size() - 2) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
        return text;
    }
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) bytes = bytes.subspan(3);
    const std::string_view narrow(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return ValidUtf8(bytes) ? Utf8ToUtf16(narrow) : Cp1251ToUtf16(narrow);
}

std::optional<std::u16string> IniFind(std::u16string_view text, std::u16string_view section, std::u16string_view key)
{
    section = Trim(section);
    key = Trim(key);
    std::optional<std::u16string> found;
    bool inSection = false;
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == Line::Section) {
            inSection = EqualNoCase(line.name, section);
        } else if (line.kind == Line::Entry && inSection && EqualNoCase(line.name, key)) {
            found = std::u16string(line.value);
            return false;
        }
        return true;
    });
    return found;
}

std::vector<std::u16string> IniSections(std::u16string_view text)
{
    std::vector<std::u16string> names;
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == Line::Section) AddOnce(names, line.name);
        return true;
    });
    return names;
}

std::vector<std::u16string> IniKeys(std::u16string_view text, std::u16string_view section)
{
    section = Trim(section);
    std::vector<std::u16string> names;
    bool inSection = false;
    ForEachLine(text, [&](const Line& line) {
        if (line.kind == Line::Section) inSection = EqualNoCase(line.name, section);
        else if (line.kind == Line::Entry && inSection && !line.name.empty()) AddOnce(names, line.name);
        return true;
    });
    return names;
}

int IniParseInt(std::u16string_view value)
{
    value = Trim(value);
    bool negative = false;
    if (!value.empty() && (value.front() == u'-' || value.front() == u'+')) {
        negative = value.front() == u'-';
        value.remove_prefix(1);
    }
    int64_t magnitude = 0;
    for (char16_t c : value) {
        if (c < u'0' || c > u'9') break;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > int64_t{INT_MAX} + 1) magnitude = int64_t{INT_MAX} + 1;
    }
    if (negative) return static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

}  // namespace platform
