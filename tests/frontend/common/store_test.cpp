// Registry values and data files: byte-for-byte round trips, and what damaged or missing ones
// read as.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "frontend/common/data_dir.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/file_all.h"
#include "frontend/common/record_rules.h"
#include "frontend/common/reg_value.h"
#include "tests/frontend/frontend_env.h"

namespace {

std::vector<BYTE> Bytes(const BYTE* block) { return {block, block + HeapSize(GetProcessHeap(), 0, block)}; }

std::vector<BYTE> Pattern(size_t size, unsigned seed)
{
    std::vector<BYTE> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>((i * 131 + seed) >> 2);
    return data;
}

struct HeapDeleter {
    void operator()(BYTE* block) const { HeapFree(GetProcessHeap(), 0, block); }
};
using Block = std::unique_ptr<BYTE, HeapDeleter>;

TEST(FrontendStore, RegistryRecordsRoundTripAndMissingOnesReadAsZeros)
{
    FrontendEnv env;
    const std::u16string key = FaxKeyName(u"ABC");
    const struct {
        const char16_t* name;
        DWORD size;
    } records[] = {{kValueCoverPagePout, sizeof(CoverPageSettings)},
                   {kValueCountPout, sizeof(CountValue)},
                   {kValueDriverPath, sizeof(DriverPathValue)}};
    for (const auto& r : records) {
        Block missing(RegValueRead(HKEY_CURRENT_USER, key.c_str(), r.name, r.size));
        EXPECT_EQ(Bytes(missing.get()), std::vector<BYTE>(r.size, 0));
        const std::vector<BYTE> data = Pattern(r.size, r.size);
        ASSERT_TRUE(RegValueWrite(HKEY_CURRENT_USER, key.c_str(), r.name, data.data(), r.size));
        Block read(RegValueRead(HKEY_CURRENT_USER, key.c_str(), r.name, r.size));
        EXPECT_EQ(Bytes(read.get()), data);
    }
}

TEST(FrontendStore, ShortAndLongRegistryValues)
{
    FrontendEnv env;
    const std::u16string key = FaxKeyName(u"ABC");
    // A short value fills the front of the record and the rest stays zero.
    const std::vector<BYTE> shortValue = Pattern(5, 1);
    ASSERT_TRUE(RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountInfo, shortValue.data(), 5));
    Block count(RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueCountInfo, sizeof(CountValue)));
    std::vector<BYTE> expected = shortValue;
    expected.resize(sizeof(CountValue), 0);
    EXPECT_EQ(Bytes(count.get()), expected);
    // A value larger than the record is not read at all.
    const std::vector<BYTE> longValue = Pattern(sizeof(CountValue) + 1, 2);
    ASSERT_TRUE(RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountInfo, longValue.data(),
                              static_cast<DWORD>(longValue.size())));
    Block refused(RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueCountInfo, sizeof(CountValue)));
    EXPECT_EQ(Bytes(refused.get()), std::vector<BYTE>(sizeof(CountValue), 0));
}

TEST(FrontendStore, DataFilesRoundTripAndARewriteCutsTheFile)
{
    FrontendEnv env;
    WCHAR folder[1024];
    FaxDataDirGet(folder);
    EXPECT_EQ(std::u16string(folder), Wide(env.tmp() + "QUOBADAT/"));
    EXPECT_TRUE(std::filesystem::is_directory(env.tmp() + "QUOBADAT"));
    FaxDataDirGet(folder);  // an existing folder is no error
    EXPECT_EQ(std::u16string(folder), Wide(env.tmp() + "QUOBADAT/"));

    const std::u16string path = std::u16string(folder) + u"ABCREC.DAT";
    Block missing(FileReadAll(path.c_str()));
    EXPECT_EQ(Bytes(missing.get()), std::vector<BYTE>(32, 0));

    const std::vector<BYTE> three = Pattern(3 * sizeof(ContactRecord), 3);
    ASSERT_TRUE(FileWriteAll(path.c_str(), GENERIC_WRITE, three.data(), static_cast<DWORD>(three.size())));
    Block read(FileReadAll(path.c_str()));
    EXPECT_EQ(Bytes(read.get()), three);

    // One receiver after three: the file holds that one record and nothing of the earlier list.
    const std::vector<BYTE> one = Pattern(sizeof(ContactRecord), 4);
    ASSERT_TRUE(FileWriteAll(path.c_str(), GENERIC_WRITE, one.data(), static_cast<DWORD>(one.size())));
    Block again(FileReadAll(path.c_str()));
    EXPECT_EQ(Bytes(again.get()), one);

    // An empty file is a block of no records.
    ASSERT_TRUE(FileWriteAll(path.c_str(), GENERIC_WRITE, nullptr, 0));
    Block empty(FileReadAll(path.c_str()));
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, empty.get()), 0u);
    EXPECT_EQ(RecordCountClamp(empty.get(), sizeof(ContactRecord), 7), 0);
}

TEST(FrontendStore, FailedWritesReportFalse)
{
    FrontendEnv env;
    const std::u16string missingFolder = Wide(env.file("no/such/folder/X.DAT"));
    const BYTE data[4] = {1, 2, 3, 4};
    EXPECT_FALSE(FileWriteAll(missingFolder.c_str(), GENERIC_WRITE, data, 4));
    // A folder is not a file to read: it reads as the 32-byte stand-in.
    Block folder(FileReadAll(Wide(env.tmp()).c_str()));
    EXPECT_EQ(Bytes(folder.get()), std::vector<BYTE>(32, 0));
}

}  // namespace

namespace {

// The folder's permission bits, or -1 when it cannot be examined.
int FolderMode(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Another user's id for the folder's owner: only root can give a folder away, so elsewhere the
// case is skipped.
bool GiveAway(const std::string& path) { return geteuid() == 0 && chown(path.c_str(), 65534, 65534) == 0; }

TEST(FrontendStore, TheDataFolderIsMadePrivateAndAnotherUsersFolderIsRefused)
{
    const struct Case {
        const char* what;
        int mode;  // -1: no folder beforehand; -2: a symlink to a folder of ours
        bool otherUser;
        bool used;
    } cases[] = {
        {"made afresh", -1, false, true},
        {"ours, readable by others", 0755, false, true},
        {"ours, writable by the group", 0770, false, true},
        {"ours, writable by everyone", 0777, false, true},
        {"another user's, private to them", 0700, true, false},
        {"another user's, open to all", 0777, true, false},
        {"a symlink to a folder of ours", -2, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FrontendEnv env;
        const std::string path = env.tmp() + "QUOBADAT";
        if (c.mode >= 0) {
            ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
            ASSERT_EQ(chmod(path.c_str(), mode_t(c.mode)), 0);
            if (c.otherUser && !GiveAway(path)) continue;
        } else if (c.mode == -2) {
            ASSERT_EQ(mkdir(env.file("mine").c_str(), 0700), 0);
            ASSERT_EQ(symlink(env.file("mine").c_str(), path.c_str()), 0);
        }
        WCHAR folder[1024];
        EXPECT_EQ(FaxDataDirGet(folder), c.used);
        if (c.used) {
            EXPECT_EQ(std::u16string(folder), Wide(path + "/"));
            EXPECT_EQ(FolderMode(path), 0700);
        } else {
            EXPECT_EQ(folder[0], 0);
            EXPECT_EQ(FaxDataFilePath(folder, u"ABC", u"REC.DAT"), u"");
            if (c.mode >= 0) {
                EXPECT_EQ(FolderMode(path), c.mode);  // a refused folder is left as it was
            }
        }
    }
}

TEST(FrontendStore, DataFilesAreNeverReachedThroughASymlink)
{
    FrontendEnv env;
    WCHAR folder[1024];
    ASSERT_TRUE(FaxDataDirGet(folder));
    const std::string victim = env.file("victim.txt");
    std::ofstream(victim) << "the victim's own file";
    const std::u16string link = FaxDataFilePath(folder, u"ABC", u"REC.DAT");
    ASSERT_EQ(symlink(victim.c_str(), (env.tmp() + "QUOBADAT/ABCREC.DAT").c_str()), 0);

    const std::vector<BYTE> records = Pattern(sizeof(ContactRecord), 5);
    EXPECT_FALSE(FileWriteAll(link.c_str(), GENERIC_WRITE, records.data(), DWORD(records.size())));
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the victim's own file");
    Block read(FileReadAll(link.c_str()));
    EXPECT_EQ(Bytes(read.get()), std::vector<BYTE>(32, 0));
}

// A folder of ours that others could once write may still hold what they planted: a data file
// that is not a regular file of this user's is neither read nor written, and never waited on.
TEST(FrontendStore, DataFilesThatAreNotOurRegularFilesAreRefused)
{
    const std::vector<BYTE> records = Pattern(sizeof(ContactRecord), 5);
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "a FIFO" : "another user's file");
        if (!fifo && geteuid() != 0) continue;  // only root can give a file away
        FrontendEnv env;
        WCHAR folder[1024];
        ASSERT_TRUE(FaxDataDirGet(folder));
        const std::string path = env.tmp() + "QUOBADAT/ABCUSER.DAT";
        if (fifo) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        } else {
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(records.data()), long(records.size()));
            ASSERT_EQ(chmod(path.c_str(), 0666), 0);
            ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        }
        const std::u16string file = FaxDataFilePath(folder, u"ABC", u"USER.DAT");
        Block read(FileReadAll(file.c_str()));
        EXPECT_EQ(Bytes(read.get()), std::vector<BYTE>(32, 0));
        EXPECT_FALSE(FileWriteAll(file.c_str(), GENERIC_WRITE, records.data(), DWORD(records.size() / 2)));
        struct stat st;
        ASSERT_EQ(lstat(path.c_str(), &st), 0);
        if (!fifo) {
            EXPECT_EQ(st.st_size, off_t(records.size()));  // their file keeps its bytes
        }
    }
    // Our own file, left readable by an older build, is closed to others when written.
    FrontendEnv env;
    WCHAR folder[1024];
    ASSERT_TRUE(FaxDataDirGet(folder));
    const std::string path = env.tmp() + "QUOBADAT/ABCREC.DAT";
    std::ofstream(path) << "old";
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    const std::u16string file = FaxDataFilePath(folder, u"ABC", u"REC.DAT");
    EXPECT_TRUE(FileWriteAll(file.c_str(), GENERIC_WRITE, records.data(), DWORD(records.size())));
    EXPECT_EQ(FolderMode(path), 0600);
    Block read(FileReadAll(file.c_str()));
    EXPECT_EQ(Bytes(read.get()), records);
}

// The bytes this process has read through read() so far.
uint64_t BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string field;
    uint64_t value = 0;
    while (io >> field >> value)
        if (field == "rchar:") return value;
    return 0;
}

// Every value has a size: a value file grown far beyond it (a damaged or planted "CountPout") is
// answered by its length, never read whole. Counted in bytes read, the run's cost.
TEST(FrontendStore, AHugeValueIsNotReadWhole)
{
    FrontendEnv env;
    const std::u16string key = FaxKeyName(u"ABC");
    CountValue count{};
    count.contactCount = 7;
    ASSERT_TRUE(RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, &count, sizeof count));
    std::string file;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(env.file("registry")))
        if (entry.path().filename().string().find("CountPout") != std::string::npos) file = entry.path().string();
    ASSERT_FALSE(file.empty());
    constexpr off_t kHuge = off_t(256) << 20;
    ASSERT_EQ(truncate(file.c_str(), kHuge), 0);  // sparse: no disk, but 256 MB to read whole

    const uint64_t before = BytesRead();
    ASSERT_GT(before, 0u);
    Block read(RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, sizeof(CountValue)));
    const uint64_t spent = BytesRead() - before;
    ASSERT_TRUE(read);
    EXPECT_EQ(Bytes(read.get()), std::vector<BYTE>(sizeof(CountValue), 0));  // too large: zeros
    EXPECT_LT(spent, uint64_t(1) << 20) << spent;
    // The length is still told, and a value that fits is read as stored.
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(opened, kValueCountPout, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, DWORD(kHuge - 4));
    RegCloseKey(opened);
    ASSERT_EQ(truncate(file.c_str(), 4 + off_t(sizeof(CountValue))), 0);
    Block fits(RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, sizeof(CountValue)));
    const auto* stored = reinterpret_cast<const BYTE*>(&count);
    EXPECT_EQ(Bytes(fits.get()), std::vector<BYTE>(stored, stored + sizeof count));
    EXPECT_LT(BytesRead() - before, uint64_t(1) << 20);
}

}  // namespace
