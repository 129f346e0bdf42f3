#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/resources.h"

// A table compiled into the test program itself, found through its own module handle.
namespace {
const unsigned char kProgramProfile[] = {'a', 'c', 's', 'p'};
}
FAX_RESOURCE_TABLE(ProgramResources, {FaxResourceKey("Profiles"), FaxResourceKey(101), kProgramProfile, 4},
                   {FaxResourceKey("Profiles"), FaxResourceKey(102), nullptr, 3144});  // damaged: no bytes

namespace {

const char* ModulePath() { return PLATFORM_TEST_MODULE_PATH; }

std::string Bytes(HMODULE module, HRSRC found)
{
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
}

TEST(Modules, LoadByPathBindResourcesAndUnload)
{
    HMODULE module = LoadLibraryA(ModulePath());
    ASSERT_NE(module, nullptr);

    using IntFunction = int (*)();
    auto answer = reinterpret_cast<IntFunction>(GetProcAddress(module, "TestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    auto byOrdinal = reinterpret_cast<IntFunction>(GetProcAddress(module, MAKEINTRESOURCEA(4)));
    ASSERT_NE(byOrdinal, nullptr);
    EXPECT_EQ(byOrdinal(), 7);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(3))), reinterpret_cast<void*>(answer));

    // The library's own idea of its handle names the same image, and its file.
    using HandleFunction = HMODULE (*)();
    auto own = FaxProcCast<HandleFunction>(GetProcAddress(module, "TestModuleHandle"));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own(), module);
    char path[4096];
    const DWORD n = GetModuleFileNameA(module, path, sizeof path);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(std::filesystem::path(path), std::filesystem::canonical(ModulePath()));
    WCHAR wide[8];
    EXPECT_EQ(GetModuleFileNameW(module, wide, 8), 8u);  // cut, terminated
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(wide[7], 0);

    // Resources of the loaded library, by integer and by case-blind string keys.
    HRSRC screen = FindResourceA(module, MAKEINTRESOURCEA(104), "HALFTONES");
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(SizeofResource(module, screen), 10u);
    EXPECT_EQ(Bytes(module, screen)[9], 10);
    EXPECT_FALSE(FreeResource(LoadResource(module, screen)));
    HRSRC note = FindResourceW(module, u"readme", u"nOtEs");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(Bytes(module, note), "named resource");
    HRSRC empty = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(RT_RCDATA_ID));
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(LoadResource(module, empty), nullptr);
    EXPECT_EQ(SizeofResource(module, empty), 0u);

    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(105), "Halftones"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(104), "Profiles"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceA(module, "104", "Halftones"), nullptr);  // a string is not an id
    // The program's table is not the library's, and the other way round.
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(101), "Profiles"), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(104), "Halftones"), nullptr);

    // The string table: ids 16..31 live in block 2.
    WCHAR text[16];
    EXPECT_EQ(LoadStringW(module, 16, text, 16), 1);
    EXPECT_EQ(std::u16string(text), u"A");
    EXPECT_EQ(LoadStringW(module, 18, text, 16), 4);
    EXPECT_EQ(std::u16string(text), u"\u0424\u0430\u043a\u0441");
    EXPECT_EQ(LoadStringW(module, 18, text, 3), 2);  // cut to the buffer, terminated
    EXPECT_EQ(std::u16string(text), u"\u0424\u0430");
    LPCWSTR direct = nullptr;
    EXPECT_EQ(LoadStringW(module, 18, reinterpret_cast<LPWSTR>(&direct), 0), 4);
    EXPECT_EQ(std::u16string(direct, 4), u"\u0424\u0430\u043a\u0441");
    EXPECT_EQ(LoadStringW(module, 17, text, 16), 0);  // empty
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(LoadStringW(module, 31, text, 16), 0);
    EXPECT_EQ(LoadStringW(module, 7999, text, 16), 0);  // no such block
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, FailuresGive126And127)
{
    EXPECT_EQ(LoadLibraryA("/no/such/library.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryW(u"libno_such_library_here.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // A file that exists but is no library fails the same way.
    EXPECT_EQ(LoadLibraryA("/etc/hostname"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    HMODULE module = LoadLibraryA(ModulePath());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(99)), nullptr);  // ordinal not in the table
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(5)), nullptr);  // listed, but not exported
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    // Symbols of the libraries it depends on are not its exports.
    EXPECT_EQ(GetProcAddress(module, "malloc"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, ProgramResourcesAndName)
{
    static int marker;
    HMODULE program = ModuleFromAddress(&marker);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program, GetModuleHandleA(nullptr));
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(101), "profiles");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Bytes(program, found), "acsp");
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(101), "PROFILES"), nullptr);
    // An entry that declares bytes it does not hold is found but cannot be loaded.
    HRSRC damaged = FindResourceA(program, MAKEINTRESOURCEA(102), "Profiles");
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(LoadResource(program, damaged), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
    EXPECT_EQ(std::filesystem::path(path).filename(), "platform_tests");
    EXPECT_EQ(GetModuleHandleA("libno_such_library_here.so"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

// The block builder lays strings out as a hand-written block does.
TEST(Modules, StringBlockBuilderMatchesTheLayout)
{
    constexpr auto block = FaxStringBlock(u"A", u"", u"\u0424\u0430\u043a\u0441");
    const unsigned char expected[] = {
        1, 0, 'A', 0, 0, 0, 4, 0, 0x24, 0x04, 0x30, 0x04, 0x3A, 0x04, 0x41, 0x04, 0, 0, 0, 0, 0,
        0, 0, 0,   0, 0, 0, 0, 0, 0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0,
    };
    ASSERT_EQ(block.size(), sizeof expected);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), expected));
}

TEST(MemoryStatus, MachineFigureAndOverride)
{
    MEMORYSTATUS status{};
    GlobalMemoryStatus(&status);
    EXPECT_EQ(status.dwLength, sizeof(MEMORYSTATUS));
    EXPECT_GT(status.dwTotalPhys, 0u);
    EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
    EXPECT_GE(status.dwTotalPageFile, status.dwTotalPhys);
    EXPECT_GE(status.dwAvailPageFile, status.dwAvailPhys);
    EXPECT_GT(status.dwTotalVirtual, 0u);
    EXPECT_LE(status.dwAvailVirtual, status.dwTotalVirtual);
    EXPECT_LE(status.dwMemoryLoad, 100u);

    MEMORYSTATUS small{};
    small.dwTotalPhys = 64ull << 20;
    small.dwAvailPhys = 16ull << 20;
    small.dwAvailPageFile = 32ull << 20;
    small.dwTotalVirtual = 1ull << 31;
    GlobalMemoryStatusOverride(&small);
    MEMORYSTATUS seen{};
    GlobalMemoryStatus(&seen);
    EXPECT_EQ(seen.dwTotalPhys, 64ull << 20);
    EXPECT_EQ(seen.dwAvailPageFile, 32ull << 20);
    EXPECT_EQ(seen.dwTotalVirtual, 1ull << 31);
    GlobalMemoryStatusOverride(nullptr);
    GlobalMemoryStatus(&seen);
    EXPECT_EQ(seen.dwTotalPhys, status.dwTotalPhys);
}

}  // namespace
