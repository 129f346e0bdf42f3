// Registry values and data files: byte-for-byte round trips, and what damaged or missing ones
// read as.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frontend/common/fax_store.h"
#include "frontend_env.h"

namespace {

std::vector<BYTE> Bytes(const BYTE* block)
{
    return {block, block + HeapSize(GetProcessHeap(), 0, block)};
}

std::vector<BYTE> Pattern(size_t size, unsigned seed)
{
    std::vector<BYTE> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<BYTE>((i * 131 + seed) >> 2);
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
