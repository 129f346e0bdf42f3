// The names and the page geometry a run starts from.
#include "frontend/common/fax_names.h"
#include "frontend/coverprint/coverprint.h"

namespace {

char16_t Upper(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0x430 && c <= 0x44F)) return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    return c;
}

char16_t Lower(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0x410 && c <= 0x42F)) return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 80);
    return c;
}

bool Separator(char16_t c) { return c == u'/' || c == u'\\'; }

}  // namespace

CoverPrintNames CoverPrintNamesMake(std::u16string_view modulePath)
{
    size_t baseStart = modulePath.size();
    while (baseStart > 0 && !Separator(modulePath[baseStart - 1])) --baseStart;
    const std::u16string_view folder = modulePath.substr(0, baseStart);
    std::u16string_view base = modulePath.substr(baseStart);
    const size_t dot = base.rfind(u'.');
    const std::u16string_view stem = dot == std::u16string_view::npos ? base : base.substr(0, dot);
    base = stem.substr(0, 31);

    CoverPrintNames names;
    if (base.size() > 2)
        for (char16_t c : base.substr(0, base.size() - 2)) names.prefix += Upper(c);
    names.key = FaxKeyName(names.prefix.c_str());
    names.receiversFile = names.prefix + u"REC.DAT";
    // Velmora is loaded by its full path where the build and the installation put it, never
    // through a search that another folder could answer first.
    names.library = std::u16string(folder) + u"../lib/lib";
    for (char16_t c : names.prefix) names.library += Lower(c);
    names.library += u".so";
    names.templatePath = std::u16string(folder) + std::u16string(stem) + u".INI";
    return names;
}

CoverPrintGeometry CoverPrintGeometryMake(WORD orientation)
{
    // A4 in tenths of a millimetre at 392 pixels per inch, truncated.
    const int32_t across = 2100 * 392 / 254;
    const int32_t down = 2970 * 392 / 254;
    if (orientation == 1) return {across, down, 101, 130, 10, 4};
    return {down, across, 130, 101, 5, 4};
}
