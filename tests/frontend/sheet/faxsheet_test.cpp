// faxsheet end to end: it records the printer for the sheet, loads libvelmora.so, and prints
// the state the sheet saved.
#include <array>
#include <cstdio>
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
#include "frontend/common/records.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "tests/frontend/frontend_env.h"

namespace {

std::string RunProgram(const std::string& program, const std::string& arguments, int& status, bool withErrors = false)
{
    const std::string command = "QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 '" + program + "' " + arguments +
                                (withErrors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
    status = pclose(pipe);
    return output;
}

std::string RunFaxsheet(const std::string& arguments, int& status)
{
    return RunProgram(FAXSHEET_PROGRAM, arguments, status);
}

TEST(Faxsheet, ShowsTheSheetAndPrintsTheSavedState)
{
    FrontendEnv env;
    // What an earlier sheet saved for the prefix of libvelmora.so.
    const std::u16string key = FaxKeyName(u"VELMORA");
    CountValue count{};
    count.contactCount = 1;
    count.groupCount = 3;
    ASSERT_TRUE(RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, &count, sizeof count));
    CoverPageSettings settings{};
    settings.style = 2;
    settings.paperWidth = 2100;
    settings.paperHeight = 2970;
    settings.orientation = 1;
    FieldSet(settings.subject, u"Счёт");
    ASSERT_TRUE(RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCoverPagePout, &settings, sizeof settings));
    ContactRecord receiver{};
    FieldSet(receiver.name, u"Анна");
    FieldSet(receiver.fax, u"+7 495 000");
    WCHAR folder[1024];
    FaxDataDirGet(folder);
    const std::u16string receivers = std::u16string(folder) + u"VELMORAREC.DAT";
    ASSERT_TRUE(FileWriteAll(receivers.c_str(), GENERIC_WRITE, &receiver, sizeof receiver));

    int status = 0;
    const std::string output = RunFaxsheet("'Fax 1'", status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("sheet for \"Fax 1\": cancelled, nothing saved (0)"), std::string::npos) << output;
    EXPECT_NE(output.find("1. Анна, fax +7 495 000"), std::string::npos) << output;
    EXPECT_NE(output.find("cover page: style 2, paper 2100 x 2970 (tenths of mm), orientation portrait"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("subject not shown: \"Счёт\""), std::string::npos) << output;
    EXPECT_NE(output.find("count: 1 receivers, 3 groups"), std::string::npos) << output;

    // The driver's record for the sheet: the printer and the library's folder.
    BYTE* driver = RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueDriverPath, sizeof(DriverPathValue));
    DriverPathValue value;
    RecordFromBytes(value, {driver, sizeof value});
    HeapFree(GetProcessHeap(), 0, driver);
    EXPECT_STREQ(value.printerName, "Fax 1");
    EXPECT_NE(std::string(value.driverFolder).find("/lib/"), std::string::npos);

    RunFaxsheet("", status);
    EXPECT_NE(status, 0);  // no printer named
}

// The driver's record names the printer in code page 1251, the field's own encoding, as the sheet
// and Coverprint read it; a name that 1251 cannot hold is refused with a message.
TEST(Faxsheet, PrinterNameIsStoredInCodePage1251)
{
    FrontendEnv env;
    const std::u16string key = FaxKeyName(u"VELMORA");
    const auto storedName = [&] {
        BYTE* block = RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueDriverPath, sizeof(DriverPathValue));
        DriverPathValue value;
        RecordFromBytes(value, {block, sizeof value});
        HeapFree(GetProcessHeap(), 0, block);
        return std::string(value.printerName);
    };
    int status = 0;
    std::string output = RunFaxsheet("'Факс'", status);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(storedName(), "\xD4\xE0\xEA\xF1");  // "Факс" in code page 1251

    output = RunProgram(FAXSHEET_PROGRAM, "'Fax 传真'", status, true);
    EXPECT_NE(status, 0) << output;
    EXPECT_NE(output.find("code page 1251"), std::string::npos) << output;
    EXPECT_EQ(storedName(), "\xD4\xE0\xEA\xF1");  // the earlier record stays
}

// A PNG file's width and height from its header, or 0 x 0 when it is none.
std::pair<uint32_t, uint32_t> PngSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() < 24 || !std::equal(signature, signature + 8, bytes.begin()) ||
        std::string(bytes.begin() + 12, bytes.begin() + 16) != "IHDR")
        return {0, 0};
    const auto be32 = [&](size_t at) {
        return uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    };
    return {be32(16), be32(20)};
}

// The demo's run: coversetup stores an address book and a cover page with a picture, faxsheet
// fills the send list as a person would, writes both pages as pictures and presses OK; what the
// sheet saved is the send list in send order.
TEST(Faxsheet, FilledSheetIsWrittenAndSaved)
{
    FrontendEnv env;
    const std::string picture = env.tmp() + "logo.bmp";
    {
        // 2 x 1 at 24 bits: two blue pixels and the row's padding.
        const unsigned char bmp[] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0,    0,    54,   0,    0,    0,    40, 0, 0, 0,
                                     2,   0,   0,  0, 1, 0, 0, 0, 1,    0,    24,   0,    0,    0,    0,  0, 8, 0,
                                     0,   0,   0,  0, 0, 0, 0, 0, 0,    0,    0,    0,    0,    0,    0,  0, 0, 0,
                                     0,   0,   0,  0, 0, 0, 0, 0, 0xC0, 0x60, 0x20, 0xC0, 0x60, 0x20, 0,  0};
        std::ofstream(picture, std::ios::binary).write(reinterpret_cast<const char*>(bmp), sizeof bmp);
    }
    int status = 0;
    const std::string setup = RunProgram(COVERSETUP_PROGRAM, "--address-book --picture '" + picture + "'", status);
    ASSERT_EQ(status, 0) << setup;
    const std::string pages = env.file("pages");
    const std::string filled =
        RunProgram("/usr/bin/env", "FAXDRIVER_UI_SNAPSHOT='" + pages + "' '" FAXSHEET_PROGRAM "' --fill 'Fax'", status);
    EXPECT_EQ(status, 0) << filled;
    EXPECT_NE(filled.find("sheet for \"Fax\": OK (1)"), std::string::npos) << filled;
    // Contacts as added, the typed receiver, then the group's members in the address book's order.
    const char* receivers[] = {"1. Анна Смирнова", "2. Борис Орлов", "3. Дмитрий Соколов, fax +7495555-01-02",
                               "4. Глеб Морозов", "5. Дарья Волкова"};
    EXPECT_NE(filled.find("receivers: 5"), std::string::npos) << filled;
    for (const char* r : receivers) EXPECT_NE(filled.find(r), std::string::npos) << r << "\n" << filled;
    EXPECT_NE(filled.find("picture on: \"" + picture + "\""), std::string::npos) << filled;
    for (const char* name : {"/sheet-page1.png", "/sheet-page2.png"}) {
        const auto [width, height] = PngSize(pages + name);
        EXPECT_GT(width, 400u) << name;
        EXPECT_GT(height, 300u) << name;
    }
}

// Another local user makes the shared data folder first, open to all, with the receivers file a
// symlink to one of the victim's files: pressing OK must neither overwrite that file nor use the
// folder, and coversetup refuses to store its address book there.
TEST(Faxsheet, AnotherUsersDataFolderIsNeverWrittenThrough)
{
    FrontendEnv env;
    const std::string folder = env.tmp() + "QUOBADAT";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    }
    const std::string victim = env.file("victim.txt");
    std::ofstream(victim) << "the victim's own file";
    ASSERT_EQ(symlink(victim.c_str(), (folder + "/VELMORAREC.DAT").c_str()), 0);

    int status = 0;
    RunProgram(COVERSETUP_PROGRAM, "--address-book", status);
    EXPECT_NE(status, 0);
    const std::string filled =
        RunProgram("/usr/bin/env",
                   "FAXDRIVER_UI_SNAPSHOT='" + env.file("pages") + "' '" FAXSHEET_PROGRAM "' --fill 'Fax'", status);
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the victim's own file") << filled;
    EXPECT_FALSE(std::filesystem::exists(folder + "/VELMORAUSER.DAT"));
}

}  // namespace
