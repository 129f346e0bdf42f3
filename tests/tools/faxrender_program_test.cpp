// faxrender as a user runs it: every feed gives the same fax job, the producer's progress record
// reaches the engine through the one platform layer, and a render with a configuration file
// ends without a leak (under AddressSanitizer, LeakSanitizer fails the program's exit status).
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/spool_builder.h"

namespace {

std::string TempDir()
{
    char pattern[] = "/tmp/faxrender_program_XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs faxrender with the arguments; returns its exit status and what it wrote to stderr.
int RunFaxRender(const std::string& arguments, std::string* messages)
{
    const std::string command = std::string(FAXRENDER_PROGRAM) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) messages->append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FaxRenderProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = TempDir();
        // faxrender puts its own fax block into the job header.
        SpoolBuilder builder;
        builder.Signature().StreamVersion(2).JobHeader(
            {{"copies", 2}, {"res_x", 204}, {"res_y", 196}, {"data", std::vector<uint8_t>{}}});
        builder.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
        WriteAll(dir_ + "/job.spl", builder.Data());
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string dir_;
};

TEST_F(FaxRenderProgram, EveryFeedWritesTheSameJob)
{
    std::string messages;
    ASSERT_EQ(RunFaxRender("-q -n 123 -o " + dir_ + "/seekable.fax " + dir_ + "/job.spl", &messages), 0) << messages;
    const std::string seekable = ReadAll(dir_ + "/seekable.fax");
    ASSERT_FALSE(seekable.empty());
    for (const char* feed : {"--forward-only", "--producer"}) {
        const std::string output = dir_ + "/feed.fax";
        messages.clear();
        EXPECT_EQ(RunFaxRender(std::string("-q -n 123 ") + feed + " -o " + output + " " + dir_ + "/job.spl", &messages),
                  0)
            << feed << ": " << messages;
        EXPECT_EQ(ReadAll(output), seekable) << feed;
    }
}

TEST_F(FaxRenderProgram, AConfigurationFileRendersWithoutALeak)
{
    std::ofstream(dir_ + "/pelvane.ini") << "[default]\ndpi.x=204\ndpi.y=196\n";
    std::string messages;
    EXPECT_EQ(RunFaxRender("-q -n 123 --producer --config " + dir_ + "/pelvane.ini -o " + dir_ + "/config.fax " + dir_ +
                               "/job.spl",
                           &messages),
              0)
        << messages;
    EXPECT_EQ(messages.find("LeakSanitizer"), std::string::npos) << messages;
    EXPECT_FALSE(ReadAll(dir_ + "/config.fax").empty());
}

}  // namespace
