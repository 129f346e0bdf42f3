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
    for (size_t i = 3; i < 940 * 2; ++i)
        ASSERT_EQ(block[i], 0) << i;
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
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, 32, nullptr, nullptr), 17);  // 7 x 2 + 2 + the terminator
    EXPECT_STREQ(narrow, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBD\xD1\x82\xD0\xB5\xD1\x80 1");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 32, nullptr, nullptr), 0);  // UTF-8 only
}

}  // namespace
