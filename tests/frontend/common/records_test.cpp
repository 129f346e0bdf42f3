// The naming rules and record rules of the front end: prefixes, text replacement, membership,
// count clamping and the cover-page settings the sheet starts from.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "frontend/common/cover_settings.h"
#include "frontend/common/driver_path.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/record_rules.h"
#include "frontend/common/text_rules.h"

namespace {

std::u16string Prefix(const char16_t* path)
{
    WCHAR out[32];
    FaxPrefixFromModulePath(path, out);
    return out;
}

TEST(FrontendPrefix, FromModuleNames)
{
    const struct {
        const char16_t* path;
        const char16_t* prefix;
    } cases[] = {
        {u"ABCREC.DLL", u"ABC"},
        {u"ABRECREC.DLL", u"AB"},
        {u"C:\\driver\\abcrec.dll", u"ABC"},
        {u"/usr/lib/faxdriver/libabcrec.so", u"ABC"},
        {u"/opt/lib/libvelmora.so.1", u"VELMORA"},
        {u"fax.dll", u"FAX"},  // no "REC": the base name whole, in capitals
        {u"RERECC.DLL", u""},  // a removal that forms a new "REC" removes that one too
        {u"RECREC", u""},
        {u"lib.so", u"LIB"},  // "lib" alone is the name itself
        {u"\u0444\u0430\u043a\u0441rec.dll", u"\u0424\u0410\u041a\u0421"},
        // More than 31 characters: the first 31 are the base name, then "REC" goes.
        {u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ.DLL", u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE"},
        {u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEREC.DLL", u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDE"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Prefix(c.path), c.prefix) << std::string(reinterpret_cast<const char*>(c.path));
    EXPECT_EQ(FaxKeyName(u"ABC"), u"SoftWare\\QUOBA\\ABC");
}

TEST(FrontendText, ReplaceAllSearchesFromTheStartEachTime)
{
    const struct {
        const char16_t* text;
        const char16_t* pattern;
        const char16_t* replacement;
        const char16_t* result;
    } cases[] = {
        {u"12 34 5", u" ", u"", u"12345"},
        {u";A;B;A;", u";A;", u";", u";B;"},
        {u"none here", u"REC", u"", u"none here"},
        {u"aaa", u"a", u"b", u"bbb"},
        {u"", u"x", u"", u""},
    };
    for (const auto& c : cases) {
        WCHAR text[1000] = {};
        std::u16string(c.text).copy(text, 999);
        StringReplaceAll(text, c.pattern, c.replacement);
        EXPECT_EQ(std::u16string(text), c.result);
    }
    // A replacement that keeps the pattern alive stops at the text's room instead of spinning.
    WCHAR grow[1000] = u"a";
    StringReplaceAll(grow, u"a", u"aa");
    EXPECT_EQ(std::u16string(grow).size(), 999u);
}

ContactRecord Contact(const char16_t* key)
{
    ContactRecord contact{};
    FieldSet(contact.key, key);
    return contact;
}

GroupRecord Group(const char16_t* members)
{
    GroupRecord group{};
    FieldSet(group.members, members);
    return group;
}

TEST(FrontendMembership, KeyBetweenSemicolons)
{
    const struct {
        const char16_t* key;
        const char16_t* members;
        bool member;
    } cases[] = {
        {u"A1", u"A1;B2;", true}, {u"B2", u"A1;B2;", true}, {u"B2", u";A1;B2;", true},  // with a leading semicolon too
        {u"A", u"A1;B2;", false},  // a key that only starts another key
        {u"1", u"A1;", false},  // nor one that only ends it
        {u"B2", u"A1;B2", false},  // the last key lacks its semicolon
        {u"C3", u"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ContactInGroup(Contact(c.key), Group(c.members)), c.member)
            << std::string(reinterpret_cast<const char*>(c.key));

    // Fields that fill their whole size without a terminator are read only to their end.
    ContactRecord full{};
    for (auto& ch : full.key) ch = u'K';
    GroupRecord members{};
    for (auto& ch : members.members) ch = u'K';
    EXPECT_FALSE(ContactInGroup(full, members));
    const std::u16string key(8, u'K');
    FieldSet(members.members, key + u";");
    EXPECT_TRUE(ContactInGroup(full, members));
}

TEST(FrontendRecords, CountsAreClampedToTheFile)
{
    const struct {
        size_t bytes;
        WORD claimed;
        WORD used;
    } cases[] = {
        {32, 0, 0},  // the stand-in for a missing file
        {32, 5, 0},
        {940 * 3, 3, 3},
        {940 * 3, 2, 2},  // records behind the count are no part of the list
        {940 * 3 + 100, 9, 3},  // a short last record is not used
        {940 * 2 - 1, 2, 1},
    };
    for (const auto& c : cases) {
        void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, c.bytes);
        EXPECT_EQ(RecordCountClamp(block, sizeof(ContactRecord), c.claimed), c.used) << c.bytes;
        HeapFree(GetProcessHeap(), 0, block);
    }
    EXPECT_EQ(RecordCountClamp(nullptr, sizeof(GroupRecord), 4), 0);
}

TEST(FrontendRecords, CoverPageSettingsMerge)
{
    const struct {
        WORD uiWidth, uiHeight, poutScale;
        WORD width, height, scale, x, y;
    } cases[] = {
        {2794, 2159, 0, 2159, 2794, 100, 50, 50},  // landscape-stored Letter turns upright
        {2100, 2970, 0, 2100, 2970, 100, 50, 50},
        {0, 0, 0, 2159, 2794, 100, 50, 50},  // nothing stored: the Letter defaults
        {0, 3556, 0, 2159, 2794, 100, 50, 50},  // no width is no size at all
        {2159, 0, 0, 2159, 2794, 100, 50, 50},  // nor is no height (a damaged record)
        {2000, 2000, 250, 2000, 2000, 250, 7, 9},  // a stored scale keeps its position
    };
    for (const auto& c : cases) {
        CoverPageSettings pout{}, ui{};
        ui.paperWidth = c.uiWidth;
        ui.paperHeight = c.uiHeight;
        FieldSet(ui.sender.name, u"Sender");
        FieldSet(pout.sender.name, u"Old");
        pout.orientation = 2;
        pout.pictureScale = c.poutScale;
        pout.pictureX = 7;
        pout.pictureY = 9;
        CoverPageSettingsMerge(&pout, &ui);
        EXPECT_EQ(pout.paperWidth, c.width);
        EXPECT_EQ(pout.paperHeight, c.height);
        EXPECT_EQ(pout.pictureScale, c.scale);
        EXPECT_EQ(pout.pictureX, c.x);
        EXPECT_EQ(pout.pictureY, c.y);
        EXPECT_EQ(pout.orientation, 2);  // left as stored
        EXPECT_EQ(FieldText(pout.sender.name), u"Sender");
    }
}

// A cover-page record that was never stored reads as zeros and takes the portrait orientation of
// the default paper; a stored one keeps its own, 0 (landscape) included.
TEST(FrontendRecords, OrientationIsPortraitUntilSettingsAreStored)
{
    const struct {
        const char* name;
        WORD orientation, style, scale;
        WORD expected;
    } cases[] = {
        {"nothing stored", 0, 0, 0, 1},
        {"stored landscape as 0", 0, 1, 100, 0},
        {"stored landscape as 2", 2, 0, 100, 2},
        {"stored portrait", 1, 3, 50, 1},
    };
    for (const auto& c : cases) {
        CoverPageSettings pout{}, ui{};
        pout.orientation = c.orientation;
        pout.style = c.style;
        pout.pictureScale = c.scale;
        CoverPageSettings alone = pout;
        CoverPageSettingsMerge(&pout, &ui);
        EXPECT_EQ(pout.orientation, c.expected) << c.name;
        CoverPageOrientationDefault(&alone);
        EXPECT_EQ(alone.orientation, c.expected) << c.name;
    }
}

TEST(FrontendRecords, DriverFolderIsConvertedFromTheAnsiCodePage)
{
    DriverPathValue value{};
    std::strcpy(value.driverFolder, "/opt/\xF4\xE0\xEA\xF1/");  // "факс" in code page 1251
    WCHAR folder[260];
    DriverFolderFromValue(value, folder);
    EXPECT_EQ(std::u16string(folder), u"/opt/\u0444\u0430\u043a\u0441/");

    std::memset(value.driverFolder, 'a', sizeof value.driverFolder);  // no terminator
    std::memset(value.printerName, 'b', sizeof value.printerName);
    DriverFolderFromValue(value, folder);
    EXPECT_EQ(std::u16string(folder), std::u16string(259, u'a'));
}

}  // namespace
