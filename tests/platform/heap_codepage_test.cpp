#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

TEST(ProcessHeap, SizesAndZeroedGrowth)
{
    auto* block = static_cast<unsigned char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 3));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block), 3u);
    std::memset(block, 0xAB, 3);
    block = static_cast<unsigned char*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, 940 * 2));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block), 940u * 2);
    EXPECT_EQ(block[2], 0xAB);
    for (size_t i = 3; i < 940 * 2; ++i) ASSERT_EQ(block[i], 0) << i;
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, block));
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, nullptr));
    EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, SIZE_MAX), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(CodePage, AnsiIs1251)
{
    EXPECT_EQ(GetACP(), 1251u);
    const char text[] = "\xCF\xF0\xE8\xED\xF2\xE5\xF0 1";  // "Принтер 1"
    WCHAR wide[16] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 10);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 16), 10);
    EXPECT_EQ(std::u16string(wide), u"\u041f\u0440\u0438\u043d\u0442\u0435\u0440 1");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, 3, wide, 2), 0);  // does not fit
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    char narrow[32] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, 32, nullptr, nullptr),
              17);  // 7 x 2 + 2 + the terminator
    EXPECT_STREQ(narrow, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBD\xD1\x82\xD0\xB5\xD1\x80 1");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 32, nullptr, nullptr), 10);
    EXPECT_STREQ(narrow, "\xCF\xF0\xE8\xED\xF2\xE5\xF0 1");
}

// Every byte of code page 1251 that stands for a character comes back from its UTF-16 form; a
// character the page lacks becomes the default character and is reported.
TEST(CodePage, Utf16To1251RoundTripsEveryByte)
{
    for (int b = 1; b < 256; ++b) {
        const char in[2] = {static_cast<char>(b), 0};
        WCHAR wide[2] = {};
        ASSERT_EQ(MultiByteToWideChar(1251, 0, in, 1, wide, 2), 1);
        char out[2] = {};
        BOOL replaced = TRUE;
        ASSERT_EQ(WideCharToMultiByte(1251, 0, wide, 1, out, 2, nullptr, &replaced), 1) << b;
        if (b == 0x98) {  // unassigned in the code page
            EXPECT_EQ(out[0], '?');
            EXPECT_TRUE(replaced);
        } else {
            EXPECT_EQ(static_cast<unsigned char>(out[0]), b);
            EXPECT_FALSE(replaced) << b;
        }
    }
    struct Case {
        const char16_t* wide;
        const char* defaultChar;
        const char* narrow;
        BOOL replaced;
    };
    const Case cases[] = {
        {u"a\u4E2Db", nullptr, "a?b", TRUE},
        {u"a\u4E2Db", "#", "a#b", TRUE},
        {u"\u2116 \u20AC", nullptr, "\xB9 \x88", FALSE},
    };
    for (const Case& c : cases) {
        char out[16] = {};
        BOOL replaced = FALSE;
        EXPECT_GT(WideCharToMultiByte(CP_ACP, 0, c.wide, -1, out, 16, c.defaultChar, &replaced), 0);
        EXPECT_STREQ(out, c.narrow);
        EXPECT_EQ(replaced, c.replaced);
    }
    char small[2];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, small, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

}  // namespace
