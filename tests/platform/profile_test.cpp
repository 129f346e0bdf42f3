#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/profile.h"
#include "tests/support/scratch_dir.h"

namespace {

const char kTemplate[] =
    "; cover-page template\r\n"
    "[DEFINE]\r\n"
    "  FontName =  Arial Cyr  \r\n"
    "CHARSET=204\r\n"
    "COUNT = 3\r\n"
    "fontname=second match is ignored\r\n"
    "Quoted=\"  spaced out  \"\r\n"
    "Single='x'\r\n"
    "Mismatched=\"half'\r\n"
    "Lonely=\"\r\n"
    "Inline=a;b ; c\r\n"
    "  ; COMMENTED=1\r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    "Negative=-42\r\n"
    "Plus=+17xyz\r\n"
    "Junk=abc\r\n"
    "Huge=99999999999\r\n"
    "HugeNegative=-99999999999\r\n"
    "Hex=0x10\r\n"
    "[ style1 ]\n"
    "TITLE=Fax\n"
    "[DEFINE]\r"
    "Late=only in the repeated section\r"
    "COUNT=9\r";

class Profiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir_.file(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Get(const char* section, const char* key, const char* fallback, const std::string& file,
                    DWORD size = 256)
    {
        std::vector<char> buffer(size + 1, '#');
        const DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file.c_str());
        EXPECT_EQ(buffer[n], '\0');
        EXPECT_EQ(buffer[size], '#');  // nothing beyond the buffer
        return std::string(buffer.data(), n);
    }
    ScratchDir dir_;
};

TEST_F(Profiles, StringSemantics)
{
    const std::string file = Write("ABCCP.INI", kTemplate);
    struct Case {
        const char* section;
        const char* key;
        const char* want;
    } cases[] = {
        {"DEFINE", "FONTNAME", "Arial Cyr"},  // case, trimming, first match
        {"define", "charset", "204"},
        {"DEFINE", "Quoted", "  spaced out  "},  // one pair of quotes stripped, inside kept
        {"DEFINE", "Single", "x"},
        {"DEFINE", "Mismatched", "\"half'"},  // quotes must match
        {"DEFINE", "Lonely", "\""},
        {"DEFINE", "Inline", "a;b ; c"},  // an inline ';' belongs to the value
        {"DEFINE", "COMMENTED", "dflt"},  // a comment line defines nothing
        {"DEFINE", "Empty", ""},  // present but empty: not the default
        {"DEFINE", "NoEquals", "dflt"},
        {"DEFINE", "TITLE", "dflt"},  // key of another section
        {"STYLE1", "title", "Fax"},  // blanks inside the brackets trimmed
        {"DEFINE", "Late", "only in the repeated section"},
        {"DEFINE", "COUNT", "3"},  // the first occurrence wins over the repeat
        {"STYLE2", "TITLE", "dflt"},  // missing section
        {" DEFINE ", " COUNT ", "3"},  // blanks around the asked names
    };
    for (const auto& c : cases) EXPECT_EQ(Get(c.section, c.key, "dflt", file), c.want) << c.section << "/" << c.key;

    EXPECT_EQ(Get("DEFINE", "Missing", "trailing blanks  ", file), "trailing blanks");
    EXPECT_EQ(Get("DEFINE", "Missing", nullptr, file), "");
    // Cut to the buffer: size - 1 characters and a terminator.
    EXPECT_EQ(Get("DEFINE", "FONTNAME", "", file, 6), "Arial");
    EXPECT_EQ(Get("DEFINE", "FONTNAME", "", file, 1), "");
    EXPECT_EQ(Get("DEFINE", "Missing", "default text", file, 4), "def");

    SetLastError(0);
    EXPECT_EQ(Get("DEFINE", "COUNT", "none", dir_.file("missing.ini")), "none");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Profiles, NameLists)
{
    const std::string file = Write("list.ini", "[One]\na=1\nB=2\nA=3\n[two]\n[ONE]\nc=4\n");
    char buffer[64];
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "x", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("One\0two\0\0", 9));
    n = GetPrivateProfileStringA("one", nullptr, "x", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(std::string(buffer, n + 1), std::string("a\0B\0c\0\0", 7));
    n = GetPrivateProfileStringA("one", nullptr, "x", buffer, 5, file.c_str());  // cut: size - 2
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buffer, 5), std::string("a\0B\0\0", 5));
    // The names before the cut filled the buffer to its last unit: nothing is written past it.
    std::fill(std::begin(buffer), std::end(buffer), 'X');
    n = GetPrivateProfileStringA("one", nullptr, "x", buffer, 5, file.c_str());
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(std::string(buffer, 6), std::string("a\0B\0\0X", 6));
    n = GetPrivateProfileStringA("none", nullptr, "x", buffer, sizeof buffer, file.c_str());
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], 0);
}

TEST_F(Profiles, Integers)
{
    const std::string file = Write("ABCCP.INI", kTemplate);
    struct Case {
        const char* key;
        int want;
    } cases[] = {
        {"COUNT", 3},
        {"Negative", -42},
        {"Plus", 17},  // leading digits only
        {"Junk", 0},  // no digits
        {"Empty", 0},
        {"Hex", 0},  // decimal only
        {"Quoted", 0},
        {"Huge", 2147483647},  // saturates
        {"HugeNegative", -2147483647 - 1},
        {"Missing", 77},  // the default
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("DEFINE", c.key, 77, file.c_str())), c.want) << c.key;
        const std::u16string key(c.key, c.key + std::char_traits<char>::length(c.key));
        const std::u16string wideFile(file.begin(), file.end());
        EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(u"define", key.c_str(), 77, wideFile.c_str())), c.want);
    }
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("NOSECTION", "COUNT", -5, file.c_str())), -5);
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("DEFINE", "COUNT", -5, dir_.file("none.ini").c_str())), -5);
}

// The same template in the three encodings gives the same answers.
TEST_F(Profiles, Utf16AndCodePage1251Files)
{
    const std::u16string text =
        u"[DEFINE]\r\nFONTNAME=\u0422\u0430\u0439\u043c\u0441\r\n"
        u"[\u0421\u0422\u0418\u041b\u042c]\r\n\u0418\u041c\u042f = \"\u0424\u0430\u043a\u0441\"\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : text) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    // Code page 1251: U+0410..U+044F are 0xC0..0xFF.
    std::string cp1251;
    for (char16_t c : text)
        cp1251 += c >= 0x410 && c <= 0x44F ? static_cast<char>(c - 0x410 + 0xC0) : static_cast<char>(c);
    std::string utf8 = "\xEF\xBB\xBF";
    for (char16_t c : text) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    for (const auto& [name, bytes] : {std::pair{"utf16.ini", utf16}, {"cp1251.ini", cp1251}, {"utf8.ini", utf8}}) {
        const std::string path = Write(name, bytes);
        const std::u16string widePath(path.begin(), path.end());
        WCHAR buffer[32];
        DWORD n = GetPrivateProfileStringW(u"define", u"fontname", u"", buffer, 32, widePath.c_str());
        EXPECT_EQ(std::u16string(buffer, n), u"\u0422\u0430\u0439\u043c\u0441") << name;
        // Cyrillic section and key names match without regard to case too.
        n = GetPrivateProfileStringW(u"\u0441\u0442\u0438\u043b\u044c", u"\u0438\u043c\u044f", u"", buffer, 32,
                                     widePath.c_str());
        EXPECT_EQ(std::u16string(buffer, n), u"\u0424\u0430\u043a\u0441") << name;
        // The narrow form gives UTF-8 and never cuts a character in two.
        char narrow[8];
        n = GetPrivateProfileStringA("DEFINE", "FONTNAME", "", narrow, sizeof narrow, path.c_str());
        EXPECT_EQ(std::string(narrow, n), "\xD0\xA2\xD0\xB0\xD0\xB9") << name;  // 3 of 5 letters fit in 7 bytes
    }
}

}  // namespace
