// jbigenc end to end: a PBM file in, a BIE out that jbigkit decodes to the same image.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/jbig_oracle.h"
#include "tests/support/jbig_pages.h"

namespace {

class JbigencTool : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() / ("jbigenc_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const char* name) const { return (dir_ / name).string(); }

    static void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<uint8_t> ReadFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static int Run(const std::string& arguments)
    {
        const std::string command = std::string(JBIGENC_PATH) + " " + arguments + " 2>/dev/null";
        // bash, for the process substitution that makes a pipe of a cut file.
        const int status = std::system(("bash -c '" + command + "'").c_str());
        return WEXITSTATUS(status);
    }

    std::filesystem::path dir_;
};

TEST_F(JbigencTool, CodesAPbmFileThatJbigkitDecodes)
{
    const JbigImage page = MakeTextPage(1728, 300, 77);
    WriteFile(Path("page.pbm"), PbmWrite(page));
    ASSERT_EQ(Run(Path("page.pbm") + " " + Path("page.bie")), 0);
    const std::vector<uint8_t> bie = ReadFile(Path("page.bie"));
    JbigImage decoded;
    ASSERT_TRUE(JbigkitDecode(bie, decoded));
    EXPECT_TRUE(decoded.rows == page.rows);
    // Default: one stripe of the whole height, typical prediction on.
    ASSERT_GE(bie.size(), 20u);
    EXPECT_EQ(bie[14] << 8 | bie[15], 300);
    EXPECT_EQ(bie[19], 0x48);

    // Bands and stripes change nothing but L0; without typical prediction the options say so.
    ASSERT_EQ(Run("--band 17 --l0 300 " + Path("page.pbm") + " " + Path("bands.bie")), 0);
    EXPECT_EQ(ReadFile(Path("bands.bie")), bie);
    ASSERT_EQ(Run("--no-tp --l0 64 " + Path("page.pbm") + " " + Path("plain.bie")), 0);
    const std::vector<uint8_t> plain = ReadFile(Path("plain.bie"));
    ASSERT_TRUE(JbigkitDecode(plain, decoded));
    EXPECT_TRUE(decoded.rows == page.rows);
    EXPECT_EQ(plain[15], 64);
    EXPECT_EQ(plain[19], 0x40);
}

// The rows are read band by band as they are coded, also from a pipe; a pipe that ends early
// leaves no output behind, and a plain PBM codes as its raw twin does.
TEST_F(JbigencTool, ReadsPipesBandByBandAndLeavesNoOutputWhenTheDataEndEarly)
{
    const JbigImage page = MakeTextPage(1728, 700, 5);
    WriteFile(Path("page.pbm"), PbmWrite(page));
    ASSERT_EQ(Run(Path("page.pbm") + " " + Path("file.bie")), 0);
    ASSERT_EQ(Run("- " + Path("pipe.bie") + " < " + Path("page.pbm")), 0);
    EXPECT_EQ(ReadFile(Path("pipe.bie")), ReadFile(Path("file.bie")));
    ASSERT_EQ(Run("--band 700 " + Path("page.pbm") + " " + Path("whole.bie")), 0);
    EXPECT_EQ(ReadFile(Path("whole.bie")), ReadFile(Path("file.bie")));

    EXPECT_EQ(Run("- " + Path("cut.bie") + " < <(head -c 100000 " + Path("page.pbm") + ")"), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("cut.bie")));

    std::string plain = "P1\n# a comment\n13 2\n";
    for (int i = 0; i < 26; ++i) plain += (i % 3 == 0 ? "1 " : "0 ");
    WriteFile(Path("plain.pbm"), std::vector<uint8_t>(plain.begin(), plain.end()));
    ASSERT_EQ(Run(Path("plain.pbm") + " " + Path("plain.bie")), 0);
    JbigImage decoded;
    ASSERT_TRUE(JbigkitDecode(ReadFile(Path("plain.bie")), decoded));
    ASSERT_EQ(decoded.width, 13u);
    ASSERT_EQ(decoded.height, 2u);
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ((decoded.rows[(i / 13) * 2 + (i % 13) / 8] >> (7 - (i % 13) % 8)) & 1, i % 3 == 0 ? 1 : 0) << i;
}

TEST_F(JbigencTool, RefusesBadInput)
{
    WriteFile(Path("bad.pbm"), {'P', '5', '\n', '1', ' ', '1', '\n', 0});
    EXPECT_EQ(Run(Path("bad.pbm") + " " + Path("out.bie")), 1);
    EXPECT_EQ(Run(Path("missing.pbm") + " " + Path("out.bie")), 1);
    EXPECT_EQ(Run("--l0 0 " + Path("bad.pbm") + " " + Path("out.bie")), 2);
    EXPECT_EQ(Run(Path("bad.pbm")), 2);
}

}  // namespace
