#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

TEST(SystemInfo, ArchitectureVersionAndComparison)
{
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_GE(info.dwPageSize, 4096u);

    OSVERSIONINFOEXW extended{};
    extended.dwOSVersionInfoSize = sizeof extended;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended)));
    EXPECT_EQ(extended.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(extended.dwMajorVersion, 10u);
    EXPECT_EQ(extended.wProductType, VER_NT_WORKSTATION);
    OSVERSIONINFOW basic{};
    basic.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExW(&basic));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    basic.dwOSVersionInfoSize = sizeof basic;
    EXPECT_TRUE(GetVersionExW(&basic));
    EXPECT_EQ(basic.dwOSVersionInfoSize, 276u);

    EXPECT_LT(lstrcmpW(u"Alpha", u"Beta"), 0);
    EXPECT_GT(lstrcmpW(u"\u0411", u"\u0410"), 0);
    EXPECT_EQ(lstrcmpW(u"same", u"same"), 0);
    EXPECT_LT(lstrcmpW(u"", u"a"), 0);
    EXPECT_TRUE(DisableThreadLibraryCalls(nullptr));
}

}  // namespace
