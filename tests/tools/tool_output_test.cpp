// The tools' output files against a shared folder: a symbolic link that another user planted at
// the output name in a folder others can write to is refused, links that the user made or that
// lie in a folder only its owner writes are followed; a new output gets the process's umask
// without the umask being changed on the way.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/common/tool_output.h"

// Every umask call of the process is counted: setting it, even for a moment, changes the mode of
// files other threads create meanwhile.
namespace {
std::atomic<int> gUmaskCalls{0};
}
extern "C" mode_t umask(mode_t mask)
{
    ++gUmaskCalls;
    static auto real = reinterpret_cast<mode_t (*)(mode_t)>(dlsym(RTLD_NEXT, "umask"));
    return real(mask);
}

namespace {

namespace fs = std::filesystem;

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Write(const std::string& path, const std::string& text, std::string* error)
{
    ToolOutput out;
    if (!ToolOutputOpen(path, -1, &out, error)) return false;
    std::fputs(text.c_str(), out.file);
    return ToolOutputCommit(&out, error);
}

class ToolOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/tool-output-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string dir;
};

TEST_F(ToolOutputTest, ALinkOfAnotherUserInAFolderOthersWriteIsRefused)
{
    if (geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
    constexpr uid_t kOther = 54321;
    const std::string victim = dir + "/victim.txt";
    const std::string shared = dir + "/shared", own = dir + "/own";
    ASSERT_TRUE(fs::create_directory(shared) && fs::create_directory(own));
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(chmod(own.c_str(), 0755), 0);
    const struct {
        const char* what;
        std::string link;
        uid_t owner;
        bool followed;
    } cases[] = {
        {"another user's link in a sticky folder all can write", shared + "/job.fax", kOther, false},
        {"the user's own link there", shared + "/mine.fax", geteuid(), true},
        {"another user's link in a folder only its owner writes", own + "/job.fax", kOther, true},
        {"a chain through another user's link in the shared folder", own + "/chain.fax", geteuid(), false},
    };
    ASSERT_EQ(symlink(victim.c_str(), (shared + "/hop").c_str()), 0);
    ASSERT_EQ(lchown((shared + "/hop").c_str(), kOther, kOther), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::ofstream(victim) << "notes";
        }
        const std::string to = std::string(c.what).starts_with("a chain") ? shared + "/hop" : victim;
        ASSERT_EQ(symlink(to.c_str(), c.link.c_str()), 0);
        ASSERT_EQ(lchown(c.link.c_str(), c.owner, c.owner), 0);
        std::string error;
        const bool written = Write(c.link, "fax job", &error);
        EXPECT_EQ(written, c.followed) << error;
        EXPECT_EQ(FileText(victim), c.followed ? "fax job" : "notes");
        if (!c.followed) {
            EXPECT_NE(error.find("is a symbolic link of another user"), std::string::npos) << error;
        }
        EXPECT_TRUE(fs::is_symlink(c.link)) << "the link itself stays";
    }
}

TEST_F(ToolOutputTest, ANewOutputTakesTheUmaskWithoutChangingIt)
{
    for (mode_t mask : {mode_t(022), mode_t(027), mode_t(077)}) {
        SCOPED_TRACE(mask);
        const mode_t previous = ::umask(mask);
        const std::string path = dir + "/new-" + std::to_string(mask);
        const int before = gUmaskCalls;
        std::string error;
        ASSERT_TRUE(Write(path, "x", &error)) << error;
        EXPECT_EQ(gUmaskCalls - before, 0) << "the umask was set while writing";
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
        // A replaced output keeps the mode it had.
        ASSERT_EQ(chmod(path.c_str(), 0604), 0);
        ASSERT_TRUE(Write(path, "y", &error)) << error;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0604u);
        ::umask(previous);
    }
}

}  // namespace
