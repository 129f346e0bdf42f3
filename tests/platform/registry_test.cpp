#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

// Points the registry at a fresh folder for one test.
class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = getenv("FAXDRIVER_REGISTRY");
        hadValue_ = old != nullptr;
        saved_ = old ? old : "";
        setenv("FAXDRIVER_REGISTRY", root().c_str(), 1);
    }
    void TearDown() override
    {
        if (hadValue_) setenv("FAXDRIVER_REGISTRY", saved_.c_str(), 1);
        else unsetenv("FAXDRIVER_REGISTRY");
    }
    std::string root() const { return dir_.file("registry"); }

    HKEY Create(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr), ERROR_SUCCESS);
        return key;
    }

    ScratchDir dir_;
    std::string saved_;
    bool hadValue_ = false;
};

std::vector<BYTE> Pattern(size_t size, unsigned seed)
{
    std::vector<BYTE> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>((i * 131 + seed) >> 3);
    return data;
}

TEST_F(Registry, BinaryValuesOfSeveralSizesRoundTrip)
{
    HKEY key = Create(HKEY_CURRENT_USER, "SoftWare\\QUOBA\\ABC");
    ASSERT_NE(key, nullptr);
    for (size_t size : {0u, 1u, 8u, 1632u, 4096u, 100000u}) {
        const std::vector<BYTE> data = Pattern(size, static_cast<unsigned>(size));
        ASSERT_EQ(RegSetValueExW(key, u"CoverPagePout", 0, REG_BINARY, data.data(), static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
        DWORD type = 0, got = 0;
        ASSERT_EQ(RegQueryValueExA(key, "CoverPagePout", nullptr, &type, nullptr, &got), ERROR_SUCCESS);
        EXPECT_EQ(type, REG_BINARY);
        EXPECT_EQ(got, size);
        std::vector<BYTE> back(size + 1, 0xEE);
        got = static_cast<DWORD>(back.size());
        ASSERT_EQ(RegQueryValueExW(key, u"CoverPagePout", nullptr, nullptr, back.data(), &got), ERROR_SUCCESS);
        EXPECT_EQ(got, size);
        EXPECT_EQ(back[size], 0xEE);  // nothing written past the value
        back.resize(size);
        EXPECT_EQ(back, data) << size;
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, OversizedValueLeavesTheBufferAlone)
{
    HKEY key = Create(HKEY_CURRENT_USER, "SoftWare\\QUOBA\\ABC");
    const std::vector<BYTE> data = Pattern(1632, 1);
    ASSERT_EQ(RegSetValueExA(key, "CountPout", 0, REG_BINARY, data.data(), 1632), ERROR_SUCCESS);
    BYTE small[8] = {};
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "CountPout", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 1632u);
    for (BYTE b : small) EXPECT_EQ(b, 0);
    RegCloseKey(key);
}

TEST_F(Registry, NamesMatchWithoutRegardToCaseAndKeepTheirCase)
{
    HKEY key = Create(HKEY_CURRENT_USER, "SoftWare\\QUOBA\\ABC");
    const BYTE one[] = {1}, two[] = {2};
    ASSERT_EQ(RegSetValueExA(key, "CountInfo", 0, REG_BINARY, one, 1), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "COUNTINFO", 0, REG_BINARY, two, 1), ERROR_SUCCESS);  // same value
    RegCloseKey(key);

    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"software\\quoba\\abc", 0, nullptr, 0, KEY_READ, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    BYTE got = 0;
    DWORD size = 1;
    EXPECT_EQ(RegQueryValueExW(key, u"countinfo", nullptr, nullptr, &got, &size), ERROR_SUCCESS);
    EXPECT_EQ(got, 2);
    RegCloseKey(key);

    const fs::path folder = fs::path(root()) / "HKEY_CURRENT_USER" / "SoftWare" / "QUOBA" / "ABC";
    EXPECT_TRUE(fs::exists(folder / "=CountInfo"));  // the first spelling stays
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++entries;
    EXPECT_EQ(entries, 1u);  // no temporary left behind

    // Cyrillic names fold too; odd characters stay within their key.
    key = Create(HKEY_CURRENT_USER, "\xD0\xA4\xD0\x90\xD0\x9A\xD0\xA1\\a/b%c\\.hidden\\=x");  // "ФАКС\..."
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\xD1\x84\xD0\xB0\xD0\xBA\xD1\x81\\A/B%C\\.HIDDEN\\=X", 0, KEY_READ,
                            &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, MissingKeysValuesAndSeparateRoots)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Talvern Imaging", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    key = Create(HKEY_CURRENT_USER, "SOFTWARE\\Talvern Imaging");
    const char folder[] = "/var/log/fax/";
    ASSERT_EQ(RegSetValueExA(key, "OutputDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder), sizeof folder),
              ERROR_SUCCESS);
    BYTE buffer[8];
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "OutputDirectory", nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    // The value lives under the current user only.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Talvern Imaging", 0, KEY_QUERY_VALUE, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "SOFTWARE", 0, KEY_QUERY_VALUE, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x1234), "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, StringsDefaultValuesAndAccess)
{
    HKEY key = Create(HKEY_CLASSES_ROOT, "CLSID\\{0}\\InprocServer32");
    const char16_t path[] = u"/opt/\u0444\u0430\u043a\u0441/viewer.so";
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "clsid\\{0}\\inprocserver32", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    char narrow[260];
    DWORD size = sizeof narrow;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(narrow), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(narrow, "/opt/\xD1\x84\xD0\xB0\xD0\xBA\xD1\x81/viewer.so");
    EXPECT_EQ(size, std::string(narrow).size() + 1);
    WCHAR wide[64];
    size = sizeof wide;
    ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof path);
    EXPECT_EQ(std::u16string(wide), path);

    const BYTE dword[] = {1, 0, 0, 0};
    EXPECT_EQ(RegSetValueExA(key, "Flags", 0, REG_DWORD, dword, 4), ERROR_ACCESS_DENIED);  // opened to read
    RegCloseKey(key);
    key = Create(HKEY_CLASSES_ROOT, "CLSID", KEY_SET_VALUE);
    EXPECT_EQ(RegSetValueExA(key, "Flags", 0, REG_DWORD, dword, 4), ERROR_SUCCESS);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Flags", nullptr, nullptr, reinterpret_cast<BYTE*>(narrow), &size),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(Registry, FolderFollowsXdgConfigHome)
{
    unsetenv("FAXDRIVER_REGISTRY");
    const char* oldConfig = getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    HKEY key = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Talvern Imaging");
    RegCloseKey(key);
    if (oldConfig) setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(fs::is_directory(fs::path(dir_.file("config")) / "faxdriver" / "registry" / "HKEY_LOCAL_MACHINE" /
                                 "SOFTWARE" / "Talvern Imaging"));
}

std::string RunProbe(const std::string& arguments, int* status)
{
    const std::string command = std::string(PLATFORM_REGISTRY_PROBE_PATH) + " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int raw = pipe ? pclose(pipe) : -1;
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

TEST_F(Registry, ValueWrittenHereIsReadByAChildProcessAndBack)
{
    HKEY key = Create(HKEY_CURRENT_USER, "SoftWare\\QUOBA\\ABC");
    const BYTE count[8] = {3, 0, 0, 0, 0xff, 0x10, 0, 0x80};
    ASSERT_EQ(RegSetValueExA(key, "CountPout", 0, REG_BINARY, count, sizeof count), ERROR_SUCCESS);
    int status = -1;
    EXPECT_EQ(RunProbe("read 'software\\quoba\\abc' countpout", &status), "03000000ff100080");
    EXPECT_EQ(status, 0);
    RunProbe("read 'software\\quoba\\abc' Missing", &status);
    EXPECT_EQ(status, 2);

    RunProbe("write 'SoftWare\\QUOBA\\ABC' CountInfo 0a0b0c", &status);
    EXPECT_EQ(status, 0);
    BYTE back[3] = {};
    DWORD size = sizeof back;
    ASSERT_EQ(RegQueryValueExA(key, "CountInfo", nullptr, nullptr, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(back[0], 0x0a);
    EXPECT_EQ(back[2], 0x0c);
    RegCloseKey(key);
}

// A writer killed at any moment leaves the old or the new value whole: values of two sizes and
// contents are written in turn while this process checks each read, then the writer is killed.
TEST_F(Registry, KilledWriterLeavesNoTornValue)
{
    HKEY key = Create(HKEY_CURRENT_USER, "SoftWare\\QUOBA\\ABC");
    const std::vector<BYTE> first(60000, 0x11), second(90000, 0x22);
    ASSERT_EQ(RegSetValueExA(key, "CoverPageUI", 0, REG_BINARY, first.data(), static_cast<DWORD>(first.size())),
              ERROR_SUCCESS);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        for (unsigned i = 0;; ++i) {
            const std::vector<BYTE>& data = i % 2 ? first : second;
            RegSetValueExA(key, "CoverPageUI", 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
        }
    }
    auto checkWhole = [&] {
        std::vector<BYTE> buffer(100000);
        DWORD size = static_cast<DWORD>(buffer.size());
        ASSERT_EQ(RegQueryValueExA(key, "CoverPageUI", nullptr, nullptr, buffer.data(), &size), ERROR_SUCCESS);
        ASSERT_TRUE(size == first.size() || size == second.size()) << size;
        const BYTE fill = size == first.size() ? 0x11 : 0x22;
        const auto end = buffer.begin() + size;
        const auto torn = std::find_if(buffer.begin(), end, [fill](BYTE b) { return b != fill; });
        ASSERT_TRUE(torn == end) << "torn at " << (torn - buffer.begin());
    };
    for (int i = 0; i < 100; ++i) checkWhole();
    kill(writer, SIGKILL);
    int status = 0;
    waitpid(writer, &status, 0);
    checkWhole();
    RegCloseKey(key);
}

}  // namespace
