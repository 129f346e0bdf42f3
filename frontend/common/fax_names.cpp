#include "frontend/common/fax_names.h"

#include <algorithm>

#include "frontend/common/records.h"
#include "frontend/common/text_rules.h"

namespace {

constexpr size_t kTextRoom = 1000;

size_t Length(LPCWSTR text, size_t room)
{
    size_t n = 0;
    while (n < room && text[n]) ++n;
    return n;
}

char16_t Upper(char16_t c)
{
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= u'\u0430' && c <= u'\u044F')  // Cyrillic а..я
        return static_cast<char16_t>(c - 32);
    if (c >= u'\u0450' && c <= u'\u045F')  // Cyrillic ѐ..џ
        return static_cast<char16_t>(c - 80);
    return c;
}

}  // namespace

void FaxPrefixFromModulePath(LPCWSTR path, LPWSTR out)
{
    std::u16string_view name(path, Length(path, 4096));
    const size_t slash = name.find_last_of(u"/\\");
    if (slash != std::u16string_view::npos) name.remove_prefix(slash + 1);
    // Libraries here are named lib<name>.so[.version]: that decoration is no part of the name.
    if (name.size() > 3 && (name.substr(0, 3) == u"lib" || name.substr(0, 3) == u"LIB") && name.find(u'.') != 3)
        name.remove_prefix(3);
    name = name.substr(0, name.find(u'.'));
    WCHAR work[kTextRoom] = {};
    const size_t n = std::min<size_t>(name.size(), 31);
    std::transform(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n), work, Upper);
    StringReplaceAll(work, u"REC", u"");
    const std::u16string_view prefix = FieldText(work);
    prefix.copy(out, prefix.size());  // at most the 31 characters taken above
    out[prefix.size()] = 0;
}

std::u16string FaxKeyName(LPCWSTR prefix) { return std::u16string(kFaxKeyFormat) + prefix; }
