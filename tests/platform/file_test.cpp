#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/gdi_text.h"
#include "platform/kernel.h"
#include "platform/profile.h"
#include "tests/support/scratch_dir.h"

namespace {

namespace fs = std::filesystem;

HANDLE Open(const std::string& name, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL)
{
    return CreateFileA(name.c_str(), access, 0, nullptr, disposition, flags, nullptr);
}

TEST(Files, WriteSeekReadAndSize)
{
    ScratchDir dir;
    const std::string name = dir.file("data.bin");
    HANDLE file = Open(name, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "hello world", 11, &written, nullptr));
    EXPECT_EQ(written, 11u);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), 11u);
    EXPECT_EQ(high, 0u);

    EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_END), 6u);
    char buffer[16] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 5u);
    EXPECT_STREQ(buffer, "world");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));  // end of file: success, 0 bytes
    EXPECT_EQ(read, 0u);

    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    LONG distanceHigh = 1;  // 4 GB + 2: fine with a high part, beyond 32 bits without one
    EXPECT_EQ(SetFilePointer(file, 2, &distanceHigh, FILE_BEGIN), 2u);
    EXPECT_EQ(distanceHigh, 1);
    LONGLONG position = 0;
    EXPECT_TRUE(SetFilePointerEx(file, 0, &position, FILE_CURRENT));
    EXPECT_EQ(position, (LONGLONG{1} << 32) + 2);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);

    EXPECT_TRUE(SetFilePointerEx(file, 5, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    LONGLONG size = 0;
    EXPECT_TRUE(GetFileSizeEx(file, &size));
    EXPECT_EQ(size, 5);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Files, DispositionsAndErrors)
{
    ScratchDir dir;
    const std::string name = dir.file("a.txt");
    EXPECT_EQ(Open(name, GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open(dir.file("no/such/dir.txt"), GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    HANDLE file = Open(name, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(WriteFile(file, "abc", 3, nullptr, nullptr));
    CloseHandle(file);

    EXPECT_EQ(Open(name, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    file = Open(name, GENERIC_READ, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(WriteFile(file, "x", 1, nullptr, nullptr));  // opened for reading only
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(file);

    file = Open(name, GENERIC_WRITE, TRUNCATE_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);

    EXPECT_EQ(Open(dir.path().string(), GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // Back slashes separate folders, as the callers build names with them.
    fs::create_directory(dir.path() / "sub");
    std::string windowsStyle = dir.path().string() + "\\sub\\b.txt";
    file = Open(windowsStyle, GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(dir.path() / "sub" / "b.txt"));

    EXPECT_TRUE(DeleteFileA(name.c_str()));
    EXPECT_FALSE(DeleteFileA(name.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(ReadFile(nullptr, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Data may name anything: a FIFO, a device or a folder in a file's place fails at once (a FIFO
// would otherwise wait for a writer forever), for reading and for writing alike. The alarm turns a
// hang into a failure.
TEST(Files, OnlyRegularFilesOpenAndAFifoNeverWaits)
{
    ScratchDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* name;
        DWORD access, disposition;
    } cases[] = {
        {"pipe", GENERIC_READ, OPEN_EXISTING},
        {"pipe", GENERIC_WRITE, OPEN_ALWAYS},
        {"pipe", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS},
        {"/dev/zero", GENERIC_READ, OPEN_EXISTING},
        {"/dev/null", GENERIC_WRITE, OPEN_ALWAYS},
        {".", GENERIC_READ, OPEN_EXISTING},
    };
    alarm(20);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = c.name[0] == '/' ? c.name : dir.file(c.name);
        EXPECT_EQ(Open(name, c.access, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    }
    // The profile reader reads its file whole through the same rule.
    char text[16] = "unchanged";
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "default", text, sizeof text, fifo.c_str()), 7u);
    EXPECT_STREQ(text, "default");
    // So does the font installer.
    for (const std::string& font : {fifo, std::string("/dev/zero")}) {
        SCOPED_TRACE(font);
        SetLastError(0);
        EXPECT_EQ(AddFontResourceExA(font.c_str(), FR_PRIVATE, nullptr), 0);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    }
    alarm(0);
    // A regular file still opens.
    HANDLE file = Open(dir.file("plain"), GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST(Files, WideNames)
{
    ScratchDir dir;
    const std::u16string name = std::u16string(fs::path(dir.file("")).u16string()) + u"\u0444\u0430\u043a\u0441.txt";
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(fs::exists(dir.path() / u8"\u0444\u0430\u043a\u0441.txt"));
    EXPECT_TRUE(DeleteFileW(name.c_str()));
}

class TempFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = getenv("TMPDIR");
        saved_ = old ? old : "";
        hadValue_ = old != nullptr;
        setenv("TMPDIR", dir_.path().c_str(), 1);
    }
    void TearDown() override
    {
        if (hadValue_) setenv("TMPDIR", saved_.c_str(), 1);
        else unsetenv("TMPDIR");
    }
    ScratchDir dir_;
    std::string saved_;
    bool hadValue_ = false;
};

TEST_F(TempFiles, PathFollowsTmpdirWithTrailingSlash)
{
    char path[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, path);
    const std::string want = dir_.path().string() + "/";
    EXPECT_EQ(n, want.size());
    EXPECT_EQ(std::string(path), want);
    EXPECT_EQ(GetTempPathA(3, path), want.size() + 1);  // too small: the size needed

    WCHAR wide[MAX_PATH];
    EXPECT_EQ(GetTempPathW(MAX_PATH, wide), want.size());
    EXPECT_EQ(std::u16string(wide), fs::path(want).u16string());

    unsetenv("TMPDIR");
    EXPECT_EQ(GetTempPathA(MAX_PATH, path), 5u);
    EXPECT_STREQ(path, "/tmp/");
}

TEST_F(TempFiles, NamesAreUniqueAndDeleteOnCloseLeavesNothing)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    char first[MAX_PATH], second[MAX_PATH];
    const UINT a = GetTempFileNameA(folder, "sMsExtra", 0, first);
    const UINT b = GetTempFileNameA(folder, "sMs", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_STRNE(first, second);
    EXPECT_EQ(fs::path(first).filename().string().rfind("sMs", 0), 0u);
    EXPECT_EQ(fs::path(first).extension(), ".tmp");
    EXPECT_TRUE(fs::exists(first));  // unique 0 creates the file

    char fixed[MAX_PATH];
    EXPECT_EQ(GetTempFileNameA(folder, "gFt", 0x1abcd, fixed), 0xabcdu);
    EXPECT_EQ(std::string(fixed), std::string(folder) + "gFtABCD.tmp");
    EXPECT_FALSE(fs::exists(fixed));

    HANDLE file = CreateFileA(first, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_RANDOM_ACCESS |
                                  FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<char> data(100000, 'x');
    EXPECT_TRUE(WriteFile(file, data.data(), static_cast<DWORD>(data.size()), nullptr, nullptr));
    EXPECT_EQ(GetFileSize(file, nullptr), data.size());  // still usable while its name is gone
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(fs::exists(first));
    DeleteFileA(second);
    EXPECT_TRUE(fs::is_empty(dir_.path()));

    WCHAR wideFolder[MAX_PATH], wideName[MAX_PATH];
    GetTempPathW(MAX_PATH, wideFolder);
    ASSERT_NE(GetTempFileNameW(wideFolder, u"MWM", 0, wideName), 0u);
    EXPECT_TRUE(fs::exists(fs::path(std::u16string(wideName))));
    EXPECT_TRUE(DeleteFileW(wideName));

    EXPECT_EQ(GetTempFileNameA(dir_.file("missing").c_str(), "x", 0, first), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileMappings, ReadWriteViewsAndEmptyFile)
{
    ScratchDir dir;
    const std::string name = dir.file("map.bin");
    HANDLE file = Open(name, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);  // empty file
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));

    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 10000, nullptr);  // grows the file
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(GetFileSize(file, nullptr), 10000u);
    CloseHandle(file);  // the mapping keeps the file open
    auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    std::memset(view, 0x5a, 10000);
    view[5000] = 1;
    // An offset that is not page aligned still sees the same bytes.
    auto* inner = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4999, 2));
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner[0], 0x5a);
    EXPECT_EQ(inner[1], 1);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 9999, 2), nullptr);  // past the end
    EXPECT_TRUE(UnmapViewOfFile(inner));
    EXPECT_FALSE(UnmapViewOfFile(inner));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_EQ(view[5000], 1);  // a view outlives its mapping handle
    EXPECT_TRUE(UnmapViewOfFile(view));

    file = Open(name, GENERIC_READ, OPEN_EXISTING);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    auto* readOnly = static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(readOnly[5000], 1);
    EXPECT_EQ(readOnly[9999], 0x5a);
    UnmapViewOfFile(readOnly);
    CloseHandle(mapping);
    CloseHandle(file);
}

TEST(ThreadLocalSlots, FreedSlotsReadNullAndBadIndexesFail)
{
    const DWORD slot = TlsAlloc();
    ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
    SetLastError(99);
    EXPECT_EQ(TlsGetValue(slot), nullptr);
    EXPECT_EQ(GetLastError(), 0u);
    int value = 0;
    EXPECT_TRUE(TlsSetValue(slot, &value));
    EXPECT_EQ(TlsGetValue(slot), &value);
    EXPECT_TRUE(TlsFree(slot));
    EXPECT_FALSE(TlsFree(slot));
    EXPECT_FALSE(TlsSetValue(slot, &value));
    EXPECT_EQ(TlsGetValue(slot), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const DWORD again = TlsAlloc();
    ASSERT_EQ(again, slot);  // the lowest free slot is reused
    EXPECT_EQ(TlsGetValue(again), nullptr);
    TlsFree(again);
    EXPECT_FALSE(TlsSetValue(TLS_OUT_OF_INDEXES, &value));
}

}  // namespace
