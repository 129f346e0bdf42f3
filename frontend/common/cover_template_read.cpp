#include <algorithm>
#include <cstdlib>
#include <string>

#include "frontend/common/cover_template.h"
#include "platform/profile.h"

namespace {

LONG ReadInt(const std::u16string& section, const char16_t* key, LPCWSTR path)
{
    return static_cast<LONG>(GetPrivateProfileIntW(section.c_str(), key, 0, path));
}

std::u16string Number(long value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// The highest n for which the section defines any "LINEn_" key.
long HighestLineDefined(const std::u16string& section, LPCWSTR path)
{
    std::vector<WCHAR> names(1 << 16);
    const DWORD got =
        GetPrivateProfileStringW(section.c_str(), nullptr, u"", names.data(), static_cast<DWORD>(names.size()), path);
    long highest = 0;
    for (size_t at = 0; at < got && names[at] != 0;) {
        const WCHAR* name = names.data() + at;
        size_t length = 0;
        while (name[length] != 0) ++length;
        at += length + 1;
        auto upper = [](WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c; };
        if (length < 5 || upper(name[0]) != u'L' || upper(name[1]) != u'I' || upper(name[2]) != u'N' ||
            upper(name[3]) != u'E')
            continue;
        long n = 0;
        size_t i = 4;
        for (; i < length && name[i] >= u'0' && name[i] <= u'9' && n < 1000000000; ++i) n = n * 10 + (name[i] - u'0');
        if (i > 4 && i < length && name[i] == u'_') highest = std::max(highest, n);
    }
    return highest;
}

}  // namespace

void CoverPageTemplateRead(LPCWSTR path, WORD style, CoverPageTemplate* out)
{
    *out = CoverPageTemplate{};
    WCHAR value[kTemplateValueRoom];
    GetPrivateProfileStringW(u"DEFINE", u"FONTNAME", u"Sarvic", value, kTemplateValueRoom, path);
    std::copy_n(value, 31, out->fontName);
    out->fontName[31] = 0;
    out->charset = static_cast<BYTE>(GetPrivateProfileIntW(u"DEFINE", u"CHARSET", 0, path));

    const std::u16string section = u"STYLE" + Number(style);
    WCHAR anyKey[4] = {};
    out->found = GetPrivateProfileStringW(section.c_str(), nullptr, u"", anyKey, 4, path) > 0;
    out->titleFontSize = ReadInt(section, u"TITLE_FONTSIZE", path);
    GetPrivateProfileStringW(section.c_str(), u"ALIGN", u"LEFT", value, kTemplateValueRoom, path);
    out->centred = std::u16string_view(value) == u"CENTER";
    out->titleX = ReadInt(section, u"TITLE_X", path);
    out->titleY = ReadInt(section, u"TITLE_Y", path);
    GetPrivateProfileStringW(section.c_str(), u"TITLE_STRING", u"FAX", out->title, kTemplateValueRoom, path);
    out->rectangle = ReadInt(section, u"RECTANGLE", path) != 0;

    const LONG count = ReadInt(section, u"LINE_COUNT", path);
    if (count <= 0) return;
    const long defined = std::min<long>(count, HighestLineDefined(section, path));
    for (long n = 1; n <= defined; ++n) {
        const std::u16string line = u"LINE" + Number(n);
        out->lines.push_back(
            {ReadInt(section, (line + u"_SX").c_str(), path), ReadInt(section, (line + u"_SY").c_str(), path),
             ReadInt(section, (line + u"_EX").c_str(), path), ReadInt(section, (line + u"_EY").c_str(), path)});
    }
    if (count > defined) out->lines.push_back({0, 0, 0, 0});
}

int CoverPageStyleCount(LPCWSTR path) { return static_cast<int>(GetPrivateProfileIntW(u"DEFINE", u"COUNT", 0, path)); }

WORD CoverPageStyleOffered(LPCWSTR path, WORD style)
{
    const int offered = std::clamp(CoverPageStyleCount(path), 0, kCoverPageStylesAtMost);
    return style <= offered ? style : 0;
}
