#include <algorithm>

#include "frontend/common/fax_store.h"

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

void StringReplaceAll(LPWSTR text, LPCWSTR pattern, LPCWSTR replacement)
{
    const std::u16string_view find(pattern, Length(pattern, kTextRoom));
    const std::u16string_view put(replacement, Length(replacement, kTextRoom));
    if (find.empty()) return;
    std::u16string work(text, Length(text, kTextRoom - 1));
    // Each round removes one occurrence, so a replacement that keeps the pattern alive (or grows
    // the text) must not spin for ever: the text is bounded, and so are the rounds.
    for (size_t rounds = 0; rounds < kTextRoom * 4; ++rounds) {
        const size_t at = work.find(find);
        if (at == std::u16string::npos) break;
        work.replace(at, find.size(), put);
        if (work.size() > kTextRoom - 1) work.resize(kTextRoom - 1);
    }
    work.copy(text, work.size());
    text[work.size()] = 0;
}

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

bool ContactInGroup(const ContactRecord& contact, const GroupRecord& group)
{
    // Appended piece by piece: GCC 12 at -O3 warns wrongly about inserting before a string.
    std::u16string members(u";");
    members += FieldText(group.members);
    std::u16string wanted(u";");
    wanted += FieldText(contact.key);
    wanted += u';';
    return members.find(wanted) != std::u16string::npos;
}

WORD RecordCountClamp(const void* block, size_t recordSize, WORD claimed)
{
    const size_t held = block ? HeapSize(GetProcessHeap(), 0, block) / recordSize : 0;
    return static_cast<WORD>(std::min<size_t>(claimed, held));
}

void CoverPageOrientationDefault(CoverPageSettings* settings)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(settings);
    if (std::all_of(bytes, bytes + sizeof *settings, [](BYTE b) { return b == 0; })) settings->orientation = 1;
}

void CoverPageSettingsMerge(CoverPageSettings* pout, CoverPageSettings* ui)
{
    CoverPageOrientationDefault(pout);
    pout->sender = ui->sender;
    // A stored paper size with either side 0 is damaged: it would make a page of no width for
    // the preview to divide by. Both cases take the defaults, as an unset record does.
    if (ui->paperWidth == 0 || ui->paperHeight == 0) CoverPageUIDefaults(ui);
    pout->paperWidth = std::min(ui->paperWidth, ui->paperHeight);
    pout->paperHeight = std::max(ui->paperWidth, ui->paperHeight);
    if (pout->pictureScale == 0) {
        pout->pictureScale = 100;
        pout->pictureX = 50;
        pout->pictureY = 50;
    }
}

bool DriverPathFieldSet(char* field, size_t size, std::u16string_view text)
{
    if (size == 0 || text.size() >= size)  // 1251 takes one byte a character
        return false;
    if (text.empty()) {
        field[0] = 0;
        return true;
    }
    std::string bytes(size, '\0');
    BOOL replaced = FALSE;
    const int n = WideCharToMultiByte(1251, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                      static_cast<int>(size) - 1, nullptr, &replaced);
    if (n <= 0 || replaced || static_cast<size_t>(n) != text.size()) return false;
    std::copy_n(bytes.data(), n, field);
    field[n] = 0;
    return true;
}

void DriverFolderFromValue(const DriverPathValue& value, WCHAR (&out)[260])
{
    size_t n = 0;
    while (n < sizeof value.driverFolder && value.driverFolder[n]) ++n;
    std::fill(std::begin(out), std::end(out), 0);
    // The folder may fill its field without a terminator; what does not fit 259 units is cut.
    WCHAR wide[sizeof value.driverFolder] = {};
    const int converted = MultiByteToWideChar(CP_ACP, 0, value.driverFolder, static_cast<int>(n), wide,
                                              static_cast<int>(std::size(wide)));
    FieldSet(out, std::u16string_view(wide, converted > 0 ? static_cast<size_t>(converted) : 0));
}
