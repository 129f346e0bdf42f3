// faxsheet end to end: it records the printer for the sheet, loads libvelmora.so, and prints
// the state the sheet saved.
#include <array>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "frontend/common/fax_store.h"
#include "frontend_env.h"

namespace {

std::string RunFaxsheet(const std::string& arguments, int& status)
{
    const std::string command = "QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 '" FAXSHEET_PROGRAM "' " +
                                arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        output.append(chunk.data(), n);
    status = pclose(pipe);
    return output;
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
              std::string::npos) << output;
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

}  // namespace
