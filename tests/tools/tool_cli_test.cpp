// The host tools as a user runs them: damaged, missing and strange inputs, outputs that cannot be
// written, options that cannot work. Each case is (arguments, exit status, a fragment of what the
// tool says on its error output, a fragment of what it prints or writes).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/spool_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

struct ToolRun {
    int status;  // the exit status; 128 + signal when killed, -1 when it ran past its time
    std::string err;
    std::string out;
};

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a tool with its standard output to `stdoutPath` (a scratch file when empty) and the given
// environment variables set; a tool that runs longer than `seconds` is killed. A file size limit
// (bytes, -1 for none) makes a write past it fail as on a full disk.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& stdoutPath = "",
                const std::vector<std::pair<std::string, std::string>>& env = {}, int seconds = 60,
                long fileSizeLimit = -1)
{
    char outName[] = "/tmp/tool-out-XXXXXX";
    char errName[] = "/tmp/tool-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);  // the tests feed pipes with it ignored
        const int out = stdoutPath.empty() ? outFd : open(stdoutPath.c_str(), O_WRONLY);
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(errFd, 2);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        if (fileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of killing the tool
            const rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool timedOut = false;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    close(outFd);
    close(errFd);
    ToolRun run{timedOut            ? -1
                : WIFEXITED(status) ? WEXITSTATUS(status)
                                    : 128 + WTERMSIG(status),
                FileText(errName), FileText(outName)};
    unlink(outName);
    unlink(errName);
    return run;
}

void FileWrite(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}
void FileWrite(const std::string& path, const Bytes& bytes)
{
    FileWrite(path, std::string(bytes.begin(), bytes.end()));
}

const SpoolFields kA4 = {{"res_x", 204},      {"res_y", 196},      {"extent1_w", 1728},
                         {"extent1_h", 2292}, {"extent2_w", 1728}, {"extent2_h", 2292}};

SpoolFields WithFields(SpoolFields fields, const SpoolFields& more)
{
    fields.insert(fields.end(), more.begin(), more.end());
    return fields;
}

Bytes Job(const SpoolFields& header, int pages = 0)
{
    SpoolBuilder builder;
    builder.Signature().StreamVersion(2).JobHeader(WithFields(kA4, header));
    for (int p = 0; p < pages; ++p) builder.Page();
    return builder.JobEnd().Data();
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A tool that stops reading a pipe the test feeds fails the test, not the test program.
        signal(SIGPIPE, SIG_IGN);
        char name[] = "/tmp/tool-cli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    // "{}" in an argument stands for the scratch folder.
    std::vector<std::string> Args(const char* tool, const std::vector<std::string>& args) const
    {
        std::vector<std::string> all{tool};
        for (std::string a : args) {
            for (size_t at; (at = a.find("{}")) != std::string::npos;) a.replace(at, 2, dir);
            all.push_back(a);
        }
        return all;
    }
    std::string dir;
};

struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    const char* message;  // in the error output
    const char* output;  // in the standard output
};

void Check(const Case& c, const ToolRun& run)
{
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << ": said\n" << run.err;
    EXPECT_NE(run.out.find(c.output), std::string::npos) << c.what << ": printed\n" << run.out;
    EXPECT_EQ(run.err.find("AddressSanitizer"), std::string::npos) << c.what;
}

TEST_F(ToolTest, EveryToolSaysWhyItCannotReadItsInput)
{
    const Case cases[] = {
        {"faxrender, a folder", {"-q", "{}"}, 1, "cannot read /tmp/tool-cli-", ""},
        {"faxrender, a folder's reason", {"-q", "{}"}, 1, ": Is a directory", ""},
        {"faxrender, missing", {"-q", "{}/none.spl"}, 1, "none.spl: No such file or directory", ""},
        {"faxrender, a device that never ends",
         {"-q", "-o", "{}/z.fax", "/dev/zero"},
         1,
         "cannot read /dev/zero: not a regular file or pipe",
         ""},
        {"faxview, a folder", {"{}"}, 1, ": Is a directory", ""},
        {"faxview, missing", {"{}/none.fax"}, 1, "cannot read", ""},
        {"faxview, a device", {"/dev/zero"}, 1, "cannot read /dev/zero: not a regular file or pipe", ""},
        {"spoolc, a folder", {"{}"}, 1, ": Is a directory", ""},
        {"spoolc --dump, a device", {"--dump", "/dev/zero"}, 1, "cannot read /dev/zero: not a regular file", ""},
        {"jbigenc, a folder", {"{}", "{}/x.bie"}, 1, ": Is a directory", ""},
    };
    for (const Case& c : cases) {
        const std::string tool = c.what;
        const char* binary = tool.rfind("faxrender", 0) == 0 ? FAXRENDER_TOOL
                             : tool.rfind("faxview", 0) == 0 ? FAXVIEW_TOOL
                             : tool.rfind("spoolc", 0) == 0  ? SPOOLC_TOOL
                                                             : JBIGENC_TOOL;
        Check(c, RunTool(Args(binary, c.args), "", {}, 30));
    }
}

TEST_F(ToolTest, FaxrenderRefusesWhatWouldGoWrongAndSaysWhy)
{
    FileWrite(Path("job.spl"), Job({{"copies", 1}}));
    FileWrite(Path("job.fax"), Job({{"copies", 1}}));  // a spool file whose name ends in .fax
    FileWrite(Path("copies0.spl"), Job({{"job_flags", 1}, {"copies", 0}}, 2));
    // One flipped byte: 2,147,483,649 copies.
    FileWrite(Path("flipped.spl"), Job({{"job_flags", 1}, {"copies", 0x80000001u}}));
    FileWrite(Path("empty.spl"), std::string());
    Bytes cut = Job({{"copies", 1}});
    cut.resize(cut.size() - 40);  // inside the job header
    FileWrite(Path("cut.spl"), cut);
    FileWrite(Path("second.spl"), SpoolBuilder().Signature().JobHeader(kA4).JobHeader(kA4).JobEnd().Data());
    FileWrite(Path("strange.spl"), SpoolBuilder().Signature().JobHeader(kA4).Raw(70, 0, Bytes(4)).JobEnd().Data());
    FileWrite(Path("good.ini"), "[default]\nJBIGOptions = 0\n[fine]\nJBIGOptions = 0\n");
    FileWrite(Path("a,b.ini"), "[default]\n");
    // An A4 page with one black bar, so that its side is banded.
    FileWrite(Path("page.spl"),
              SpoolBuilder()
                  .Signature()
                  .StreamVersion(2)
                  .JobHeader(WithFields(kA4, {{"copies", 1}}))
                  .PageBegin({{"width", 1728}, {"height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}})
                  .Add("cmd_rectfill",
                       {{"left", 100}, {"top", 100}, {"right", 900}, {"bottom", 200}, {"brush", 0x80000000u}})
                  .PageEnd({{"sheet_width", 1728}, {"sheet_height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}})
                  .JobEnd()
                  .Data());
    fs::create_directory(Path("folder.ini"));

    const Case cases[] = {
        {"a job renders", {"-q", "-n", "+1 555 0100", "-o", "{}/out.fax", "{}/job.spl"}, 0, "", ""},
        {"a flipped copy count fails at once",
         {"-q", "-o", "{}/out.fax", "{}/flipped.spl"},
         1,
         "copy count 2147483649 is above 9999",
         ""},
        {"no copies: nothing written",
         {"-q", "-o", "{}/out.fax", "{}/copies0.spl"},
         1,
         "no page was written to /tmp/tool-cli-",
         ""},
        {"no copies, the reason", {"-q", "-o", "{}/out.fax", "{}/copies0.spl"}, 1, "asks for 0 copies", ""},
        {"empty spool file", {"-q", "-o", "{}/out.fax", "{}/empty.spl"}, 1, "empty.spl: the spool stream is empty", ""},
        {"cut job header",
         {"-q", "-o", "{}/out.fax", "{}/cut.spl"},
         1,
         "the spool stream ends inside the job header (type 1) at byte",
         ""},
        {"cut job header, as the engine reads it",
         {"-q", "--keep-blob", "-o", "{}/out.fax", "{}/cut.spl"},
         1,
         "the spool stream ends inside the job header (type 1) at byte",
         ""},
        {"empty, as the engine reads it",
         {"-q", "--keep-blob", "-o", "{}/out.fax", "{}/empty.spl"},
         1,
         "the spool stream is empty",
         ""},
        {"a second job header", {"-q", "-o", "{}/out.fax", "{}/second.spl"}, 1, "a second job header at byte", ""},
        {"a record with no place in the preamble",
         {"-q", "-o", "{}/out.fax", "{}/strange.spl"},
         1,
         "the record of type 70 at byte",
         ""},
        {"output defaults to the input", {"-q", "{}/job.fax"}, 1, "is the spool file itself", ""},
        {"output named as the input", {"-q", "-o", "{}/job.spl", "{}/job.spl"}, 1, "is the spool file itself", ""},
        {"configuration and section",
         {"-q", "--config", "{}/good.ini", "--section", "FINE", "-o", "{}/out.fax", "{}/job.spl"},
         0,
         "",
         ""},
        {"missing configuration",
         {"-q", "--config", "{}/none.ini", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "cannot read the configuration file /tmp/tool-cli-",
         ""},
        {"configuration is a folder",
         {"-q", "--config", "{}/folder.ini", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "folder.ini: Is a directory",
         ""},
        {"configuration is a device",
         {"-q", "--config", "/dev/zero", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "/dev/zero: not a regular file",
         ""},
        {"missing section",
         {"-q", "--config", "{}/good.ini", "--section", "coarse", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "has no section [coarse]",
         ""},
        {"a comma in the configuration's path",
         {"-q", "--config", "{}/a,b.ini", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "cannot hold a comma",
         ""},
        {"escape in a fax number",
         {"-q", "-n", "1\x1b%-12345X@PJL", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "holds the byte 0x1B at character 2",
         ""},
        {"control byte in a fax number",
         {"-q", "-n", "555\x01", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "holds the byte 0x01",
         ""},
        // A band needs 8 lines; an A4 line at 204 dpi takes a 24-bit colour row, a mask row and a
        // plane row: 5,184 + 216 + 216 bytes, so 8 lines need 44,928 bytes, 45,056 in whole pages.
        {"a band budget too small for the page",
         {"-q", "--band-memory", "16384", "-o", "{}/out.fax", "{}/page.spl"},
         1,
         "the band budget of 16384 bytes holds 2 lines of this 1728x2292 page side; a band needs at least 8",
         ""},
        {"a small band budget is a lack of memory, not a damaged stream",
         {"-q", "--band-memory", "40960", "-o", "{}/out.fax", "{}/page.spl"},
         1,
         "not enough memory (8)",
         ""},
        {"the smallest band budget for the page",
         {"-q", "--band-memory", "45056", "-o", "{}/out.fax", "{}/page.spl"},
         0,
         "",
         ""},
        {"a band budget of 0",
         {"-q", "--band-memory", "0", "-o", "{}/out.fax", "{}/page.spl"},
         2,
         "--band-memory needs a byte count",
         ""},
        {"non-ASCII in a fax number",
         {"-q", "-n", "0800 \xc3\xa9", "-o", "{}/out.fax", "{}/job.spl"},
         1,
         "a fax number has digits, blanks, #, *, +, - and P",
         ""},
    };
    const std::string jobFax = FileText(Path("job.fax"));
    const std::string jobSpl = FileText(Path("job.spl"));
    // LeakSanitizer stays on: a job with a configuration file leaves nothing behind.
    const std::vector<std::pair<std::string, std::string>> env;
    for (const Case& c : cases) {
        fs::remove(Path("out.fax"));
        Check(c, RunTool(Args(FAXRENDER_TOOL, c.args), "", env, 30));
        EXPECT_EQ(FileText(Path("job.fax")), jobFax) << c.what << ": the spool file named .fax was overwritten";
        EXPECT_EQ(FileText(Path("job.spl")), jobSpl) << c.what << ": the spool file was overwritten";
        if (c.status == 0) {
            EXPECT_NE(FileText(Path("out.fax")).find("@PJL EOJ"), std::string::npos) << c.what;
        }
    }
}

TEST_F(ToolTest, FaxrenderReadsPipesAndTellsAFailedTemporaryFile)
{
    FileWrite(Path("job.spl"), Job({{"copies", 1}}));
    // Reverse order makes a forward-only stream be copied to a temporary file to be read again.
    FileWrite(Path("reverse.spl"), Job({{"job_flags", 5}, {"copies", 2}}));
    ASSERT_EQ(mkfifo(Path("pipe.spl").c_str(), 0600), 0);
    std::thread feeder([&] { FileWrite(Path("pipe.spl"), FileText(Path("job.spl"))); });
    const ToolRun piped = RunTool(Args(FAXRENDER_TOOL, {"-q", "-n", "1", "-o", "{}/out.fax", "{}/pipe.spl"}));
    feeder.join();
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_NE(FileText(Path("out.fax")).find("@PJL EOJ"), std::string::npos);

    const std::pair<std::string, std::string> noTemp{"TMPDIR", dir + "/none"};
    const ToolRun forward =
        RunTool(Args(FAXRENDER_TOOL, {"-q", "--forward-only", "-o", "{}/out.fax", "{}/reverse.spl"}), "", {noTemp});
    EXPECT_EQ(forward.status, 1);
    EXPECT_NE(forward.err.find("could not create a temporary file"), std::string::npos) << forward.err;
    const ToolRun producer =
        RunTool(Args(FAXRENDER_TOOL, {"-q", "--producer", "-o", "{}/out.fax", "{}/job.spl"}), "", {noTemp});
    EXPECT_EQ(producer.status, 1);
    EXPECT_NE(producer.err.find("cannot create the producer's temporary file"), std::string::npos) << producer.err;
}

// What the fax module writes for a job: its header, one page with one image chunk, the end.
std::string FaxJobText(bool withEnd)
{
    std::string job =
        "\x1b%-12345X@PJL\r\n@PJL SET FAXTEL = 1\r\n@PJL SET PAGESTATUS = START\r\n"
        "@PJL SET IMAGELEN = 4\r\nabcd";
    if (withEnd) job += "@PJL SET PAGESTATUS = END\r\n@PJL EOJ\r\n\x1b%-12345X\r\n";
    return job;
}

TEST_F(ToolTest, FaxviewTellsEveryJobAndFailsOnIncompleteOnes)
{
    const std::string pageless = "\x1b%-12345X@PJL\r\n@PJL SET FAXTEL = 1\r\n@PJL EOJ\r\n\x1b%-12345X\r\n";
    FileWrite(Path("empty.fax"), std::string());
    FileWrite(Path("cut.fax"), FaxJobText(false));
    FileWrite(Path("whole.fax"), FaxJobText(true));
    FileWrite(Path("noeoj.fax"), std::string("\x1b%-12345X@PJL\r\n@PJL SET FAXTEL = 1\r\n"));
    FileWrite(Path("two.fax"), pageless + FaxJobText(true));
    const Case cases[] = {
        {"empty", {"--lines", "{}/empty.fax"}, 1, "empty.fax is empty: it holds no fax job", ""},
        {"cut after an image chunk",
         {"--lines", "{}/cut.fax"},
         1,
         "its last page has no end",
         "1 page(s) to 1 number(s); the job is cut inside its last page"},
        {"no end of job", {"--lines", "{}/noeoj.fax"}, 1, "it has no end (EOJ)", "0 page(s)"},
        {"a whole job", {"--lines", "{}/whole.fax"}, 0, "", "faxview: 1 page(s) to 1 number(s)\n"},
        {"two jobs, the first", {"--lines", "{}/two.fax"}, 0, "", "faxview: job 1: 0 page(s) to 1 number(s)\n"},
        {"two jobs, the second", {"--lines", "{}/two.fax"}, 0, "", "faxview: job 2: 1 page(s) to 1 number(s)\n"},
    };
    for (const Case& c : cases) Check(c, RunTool(Args(FAXVIEW_TOOL, c.args)));

    const ToolRun full = RunTool(Args(FAXVIEW_TOOL, {"--lines", "{}/whole.fax"}), "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("writing the standard output failed: No space left on device"), std::string::npos)
        << full.err;
}

TEST_F(ToolTest, SpoolcChecksFieldsAndItsOutput)
{
    FileWrite(Path("job.spl"), Job({{"copies", 1}}));
    FileWrite(Path("minus.txt"), "signature\njob_header copies=-1\njob_end\n");
    FileWrite(Path("wide.txt"), "signature\njob_header copies=0x100000000\njob_end\n");
    FileWrite(Path("twice.txt"), "signature\njob_header copies=1 copies=3\njob_end\n");
    FileWrite(Path("fine.txt"), "signature\njob_header copies=4294967295 extent1_w=-5\njob_end\n");
    const Case cases[] = {
        {"a negative count", {"-o", "{}/x.spl", "{}/minus.txt"}, 1, "copies=-1 is out of range (0 to 4294967295)", ""},
        {"a count past 32 bits", {"-o", "{}/x.spl", "{}/wide.txt"}, 1, "is out of range", ""},
        {"a field given twice", {"-o", "{}/x.spl", "{}/twice.txt"}, 1, "field copies is given twice", ""},
        {"the ends of the ranges", {"-o", "{}/x.spl", "{}/fine.txt"}, 0, "", ""},
        {"a dump that cannot be written",
         {"--dump", "-o", "/dev/full", "{}/job.spl"},
         1,
         "cannot write /dev/full: No space left on device",
         ""},
    };
    for (const Case& c : cases) Check(c, RunTool(Args(SPOOLC_TOOL, c.args)));
    const ToolRun full = RunTool(Args(SPOOLC_TOOL, {"--dump", "{}/job.spl"}), "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("cannot write the standard output: No space left on device"), std::string::npos)
        << full.err;
}

// The dump as spoolc wrote it when it held the whole input and its text in memory, for a job of
// two pages with a form, data behind fixed parts, records no layout says exactly, a record with a
// size below its header's and one cut by the end of the file; and for leftover bytes.
const struct {
    const char* text;
    const char* dump;
} kDumpsAsBefore[] = {
    {"signature\n"
     "stream_version\n"
     "job_header copies=2 res_x=200 res_y=200 data=0102\n"
     "form_begin id=1 res_x=200 res_y=200 width=1728 height=2200\n"
     "cmd_rectfill left=100 top=70 right=1628 bottom=76 brush=0x80000000\n"
     "form_end\n"
     "page_begin width=1728 height=2200 paper_code=9 paper_name=\"A4\" page_form=1\n"
     "bitmap id=5 width=3 height=2 palette_count=2 depth=1 data=00000000ffffff00a0000000c0000000\n"
     "cmd_bitblt left=1 top=2 right=4 bottom=4 bitmap=5 rop=0xcc0020\n"
     "cmd_text left=1 top=2 right=3 bottom=4 font=7 count=1 mix=13 data=0a000000140000004100\n"
     "page_end sheet_width=1728 sheet_height=2200 paper_code=9 paper_name=\"A4\"\n"
     "page_begin width=1728 height=2200 paper_name=\"Letter\\x01\"\n"
     "reserved64 data=0304\n"
     "raw type=0x8064 v=7 data=01\n"
     "page_end v=0 paper_code=7 reserved=0x05\n"
     "cmd_line x1=1 y1=-2 v=0 size=40 data=00000000\n"
     "page_begin v=2 height=11 blob_size=3 data=01\n"
     "page_end\n"
     "raw type=0x22 v=0 size=4\n"
     "raw type=3 v=2 "
     "data="
     "11111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111"
     "11111111111111111111111111111111111111111111111111111111111111111111111\n"
     "raw type=4 v=0 data=070002410042000000000000000000000000000000\n"
     "job_end\n"
     "raw type=0x42 v=0 size=99 data=0102\n",
     "signature  # @0\n"
     "stream_version  # @8\n"
     "job_header v=2 copies=2 res_x=200 res_y=200 data=0102  # @24\n"
     "form_begin id=1 res_x=200 res_y=200 width=1728 height=2200  # @214\n"
     "cmd_rectfill left=100 top=70 right=1628 bottom=76 brush=2147483648  # @242\n"
     "form_end  # @270\n"
     "page_begin v=3 width=1728 height=2200 page_form=1 paper_code=9 paper_name=\"A4\"  # @278\n"
     "bitmap id=5 width=3 height=2 palette_count=2 depth=1 data=00000000ffffff00a0000000c0000000  # @386\n"
     "cmd_bitblt left=1 top=2 right=4 bottom=4 bitmap=5 rop=13369376  # @426\n"
     "cmd_text left=1 top=2 right=3 bottom=4 font=7 count=1 mix=13 data=0a000000140000004100  # @494\n"
     "page_end v=2 sheet_width=1728 sheet_height=2200 paper_code=9 paper_name=\"A4\"  # @556\n"
     "page_begin v=3 width=1728 height=2200 paper_name=\"Letter\\x01\"  # @624\n"
     "reserved64 data=0304  # @732\n"
     "raw type=0x8064 v=7 data=01  # @742\n"
     "page_end v=0 paper_code=7 reserved=5  # @751\n"
     "cmd_line x1=1 y1=-2 data=00000000  # @779\n"
     "page_begin v=2 height=11 blob_size=3 data=01  # @819\n"
     "page_end v=2  # @924\n"
     "raw type=0x22 v=0 size=4  # @992\n"
     "raw type=0x3 v=2 "
     "data="
     "11111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111111"
     "11111111111111111111111111111111111111111111111111111111111111111111111  # @1000\n"
     "raw type=0x4 v=0 data=070002410042000000000000000000000000000000  # @1100\n"
     "job_end v=1  # @1129\n"
     "raw type=0x42 v=0 size=99 data=0102  # @1141\n"},
    {"signature\nbytes data=010203\n", "signature  # @0\nbytes data=010203  # @8\n"},
};

// Runs `tool args` with its standard output to a file and returns that output.
std::string ToolOutputText(const std::vector<std::string>& args, const std::string& path, int* status)
{
    FileWrite(path, std::string());
    const ToolRun run = RunTool(args, path);
    *status = run.status;
    EXPECT_EQ(run.err, "");
    return FileText(path);
}

// The dump is written as the input is read, from a file or a pipe, to a file or the standard
// output; what it writes is what it wrote before.
TEST_F(ToolTest, SpoolcDumpsAsBefore)
{
    for (const auto& c : kDumpsAsBefore) {
        FileWrite(Path("job.txt"), std::string(c.text));
        ASSERT_EQ(RunTool(Args(SPOOLC_TOOL, {"-o", "{}/job.spl", "{}/job.txt"})).status, 0) << c.text;
        fs::remove(Path("job.dump"));
        ASSERT_EQ(RunTool(Args(SPOOLC_TOOL, {"--dump", "-o", "{}/job.dump", "{}/job.spl"})).status, 0);
        EXPECT_EQ(FileText(Path("job.dump")), c.dump);
        int status = -1;
        EXPECT_EQ(ToolOutputText(Args(SPOOLC_TOOL, {"--dump", "{}/job.spl"}), Path("out.txt"), &status), c.dump);
        EXPECT_EQ(status, 0);
        // From a pipe, to the standard output and to a file (which once opened the pipe again to
        // see whether the output was the input, and waited there for a writer that never came).
        fs::remove(Path("pipe.spl"));
        ASSERT_EQ(mkfifo(Path("pipe.spl").c_str(), 0600), 0);
        std::thread feeder([&] { FileWrite(Path("pipe.spl"), FileText(Path("job.spl"))); });
        EXPECT_EQ(ToolOutputText(Args(SPOOLC_TOOL, {"--dump", "{}/pipe.spl"}), Path("out.txt"), &status), c.dump);
        feeder.join();
        EXPECT_EQ(status, 0);
        fs::remove(Path("job.dump"));
        feeder = std::thread([&] { FileWrite(Path("pipe.spl"), FileText(Path("job.spl"))); });
        const ToolRun piped = RunTool(Args(SPOOLC_TOOL, {"--dump", "-o", "{}/job.dump", "{}/pipe.spl"}), "", {}, 20);
        feeder.join();
        EXPECT_EQ(piped.status, 0) << piped.err;
        EXPECT_EQ(FileText(Path("job.dump")), c.dump);
    }
}

// The bundled sample, and records whose data is larger than the pieces the dump reads and writes
// (a whole one and one cut by the end of the file): the dump compiles back to the same bytes, and
// a pipe gives the same dump as the file.
TEST_F(ToolTest, SpoolcDumpsTheSampleAndLargeRecordsWhole)
{
    std::string large = "signature\nstream_version\njob_data data=";
    for (int i = 0; i < 100000; ++i) large += "0123456789abcdef"[(i * 7 + i / 3) % 16];
    large += "\nraw type=0x42 v=0 size=200000 data=";
    for (int i = 0; i < 150000; ++i) large += "fedcba9876543210"[(i * 5 + i / 7) % 16];
    FileWrite(Path("large.txt"), large + "\n");
    for (const std::string& source : {std::string(SAMPLE_JOB), Path("large.txt")}) {
        ASSERT_EQ(RunTool(Args(SPOOLC_TOOL, {"-o", "{}/job.spl", source})).status, 0) << source;
        ASSERT_EQ(RunTool(Args(SPOOLC_TOOL, {"--dump", "-o", "{}/job.dump", "{}/job.spl"})).status, 0) << source;
        ASSERT_EQ(RunTool(Args(SPOOLC_TOOL, {"-o", "{}/again.spl", "{}/job.dump"})).status, 0) << source;
        EXPECT_TRUE(FileText(Path("again.spl")) == FileText(Path("job.spl"))) << source;
        fs::remove(Path("pipe.spl"));
        ASSERT_EQ(mkfifo(Path("pipe.spl").c_str(), 0600), 0);
        std::thread feeder([&] { FileWrite(Path("pipe.spl"), FileText(Path("job.spl"))); });
        int status = -1;
        const std::string piped =
            ToolOutputText(Args(SPOOLC_TOOL, {"--dump", "{}/pipe.spl"}), Path("out.txt"), &status);
        feeder.join();
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(piped == FileText(Path("job.dump"))) << source;
    }
}

// Memory stays below the size of the input: the sanitizer's allocator may map less than the input
// (32 MB of records with 64 KB of data each) while the dump runs, from a file or a pipe. A tool
// built without the sanitizer ignores the limit.
TEST_F(ToolTest, SpoolcDumpsAnInputLargerThanItsMemory)
{
    std::string record(65536, '\0');
    record[0] = 66;  // job data, version 0, its size 65,536
    record[6] = 1;
    for (size_t i = 8; i < record.size(); ++i) record[i] = static_cast<char>(i * 7);
    std::string job;
    for (int i = 0; i < 512; ++i) job += record;
    FileWrite(Path("large.spl"), job);
    ASSERT_EQ(mkfifo(Path("pipe.spl").c_str(), 0600), 0);
    const std::pair<std::string, std::string> limit{"ASAN_OPTIONS",
                                                    "detect_leaks=0:quarantine_size_mb=0:mmap_limit_mb=24"};
    for (const char* input : {"{}/large.spl", "{}/pipe.spl"}) {
        std::thread feeder;
        if (std::string(input) == "{}/pipe.spl") feeder = std::thread([&] { FileWrite(Path("pipe.spl"), job); });
        const ToolRun run = RunTool(Args(SPOOLC_TOOL, {"--dump", "-o", "/dev/null", input}), "", {limit});
        if (feeder.joinable()) feeder.join();
        EXPECT_EQ(run.status, 0) << input << ": " << run.err;
    }
}

// A PBM of noise, one pixel in `oneIn` black.
std::string NoisePbm(uint32_t width, uint32_t height, uint32_t seed, uint32_t oneIn)
{
    std::string pbm = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
    const size_t rowBytes = (width + 7) / 8;
    std::string rows(rowBytes * height, '\0');
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            if ((seed >> 16) % oneIn == 0)
                rows[y * rowBytes + x / 8] = static_cast<char>(rows[y * rowBytes + x / 8] | (0x80 >> (x % 8)));
        }
    return pbm + rows;
}

struct FaxPage {
    uint32_t width, height;
    std::vector<std::string> pbms;  // its images: the front, then the back
};

// A fax job as the fax module writes it, its images coded by jbigenc and cut into chunks of at
// most 32,768 bytes; *lines gets its lines as faxview prints them.
std::string FaxJobFile(const std::string& folder, const std::vector<FaxPage>& pages, std::string* lines)
{
    std::vector<std::string> all = {"\x1b%-12345X@PJL", "@PJL SET FAXTEL = 0800 42"};
    std::string job = all[0] + "\r\n" + all[1] + "\r\n";
    const auto line = [&](const std::string& text) {
        all.push_back(text);
        job += text + "\r\n";
    };
    for (const FaxPage& page : pages) {
        line("@PJL SET PAGESTATUS = START");
        line("@PJL SET PAPERWIDTH = " + std::to_string(page.width));
        line("@PJL SET PAPERLENGTH = " + std::to_string(page.height));
        line("@PJL SET RESOLUTION = 200");
        for (const std::string& pbm : page.pbms) {
            FileWrite(folder + "/image.pbm", pbm);
            EXPECT_EQ(RunTool({JBIGENC_TOOL, folder + "/image.pbm", folder + "/image.bie"}).status, 0);
            const std::string bie = FileText(folder + "/image.bie");
            for (size_t at = 0; at < bie.size(); at += 32768) {
                const std::string chunk = bie.substr(at, 32768);
                line("@PJL SET IMAGELEN = " + std::to_string(chunk.size()));
                job += chunk;
            }
        }
        line("@PJL SET PAGESTATUS = END");
    }
    line("@PJL EOJ");
    line("\x1b%-12345X");
    for (std::string text : all) {
        if (text[0] == '\x1b') text.replace(0, 1, "<ESC>");
        *lines += text + "\n";
    }
    return job;
}

// faxview reads a file of two jobs a page at a time, from a file or a pipe, and writes what it
// wrote when it held the whole file: every line, each job's count, and each page's pixels.
TEST_F(ToolTest, FaxviewWritesEveryPageAsBefore)
{
    const std::vector<FaxPage> first = {
        {1728, 300, {NoisePbm(1728, 300, 1, 50)}},
        {1000, 500, {NoisePbm(1000, 500, 2, 2)}},  // several chunks
        {1000, 300, {NoisePbm(1000, 300, 3, 9), NoisePbm(1000, 300, 4, 1000)}},  // front and back
    };
    const std::vector<FaxPage> second = {{64, 64, {NoisePbm(64, 64, 5, 3)}}};
    std::string lines1, lines2;
    const std::string job1 = FaxJobFile(dir, first, &lines1), job2 = FaxJobFile(dir, second, &lines2);
    FileWrite(Path("two.fax"), job1 + job2);
    ASSERT_EQ(mkfifo(Path("pipe.fax").c_str(), 0600), 0);
    for (const std::string input : {"two.fax", "pipe.fax"}) {
        std::thread feeder;
        if (input == "pipe.fax") feeder = std::thread([&] { FileWrite(Path("pipe.fax"), job1 + job2); });
        int status = -1;
        const std::string printed =
            ToolOutputText(Args(FAXVIEW_TOOL, {"--pbm", "-o", "{}/page", "{}/" + input}), Path("out.txt"), &status);
        if (feeder.joinable()) feeder.join();
        EXPECT_EQ(status, 0) << input;
        std::string expected = lines1 + "faxview: job 1: 3 page(s) to 1 number(s)\n";
        const char* names[] = {"page-001.pbm", "page-002.pbm", "page-003.pbm", "page-003-back.pbm"};
        const char* sizes[] = {"1728 x 300", "1000 x 500", "1000 x 300", "1000 x 300"};
        for (int i = 0; i < 4; ++i)
            expected += "faxview: page " + std::to_string(i < 3 ? i + 1 : 3) + " image " + (i < 3 ? "1" : "2") + ": " +
                        sizes[i] + " pixels at 200 dpi -> " + Path(names[i]) + "\n";
        expected += lines2 + "faxview: job 2: 1 page(s) to 1 number(s)\n" +
                    "faxview: page 1 image 1: 64 x 64 pixels at 200 dpi -> " + Path("page-job2-001.pbm") + "\n";
        EXPECT_EQ(printed, expected) << input;
        const std::vector<std::pair<std::string, std::string>> pixels = {{"page-001.pbm", first[0].pbms[0]},
                                                                         {"page-002.pbm", first[1].pbms[0]},
                                                                         {"page-003.pbm", first[2].pbms[0]},
                                                                         {"page-003-back.pbm", first[2].pbms[1]},
                                                                         {"page-job2-001.pbm", second[0].pbms[0]}};
        for (const auto& [name, pbm] : pixels) {
            EXPECT_TRUE(FileText(Path(name)) == pbm) << input << ": " << name;
            fs::remove(Path(name));
        }
    }

    // A file larger than the memory faxview may take (the sanitizer's allocator maps less than it):
    // 32 jobs of one page, each with 1 MB of image data that claims a size no image has. The lines
    // are all told, and each page fails on its own.
    std::string job = "\x1b%-12345X@PJL\r\n@PJL SET FAXTEL = 1\r\n@PJL SET PAGESTATUS = START\r\n";
    for (int i = 0; i < 32; ++i) job += "@PJL SET IMAGELEN = 32768\r\n" + std::string(32768, '\xff');
    job += "@PJL SET IMAGELEN = 1\r\n\xff@PJL SET PAGESTATUS = END\r\n@PJL EOJ\r\n\x1b%-12345X\r\n";
    std::string many;
    for (int i = 0; i < 32; ++i) many += job;
    FileWrite(Path("many.fax"), many);
    const std::pair<std::string, std::string> limit{"ASAN_OPTIONS",
                                                    "detect_leaks=0:quarantine_size_mb=0:mmap_limit_mb=24"};
    const ToolRun lines = RunTool(Args(FAXVIEW_TOOL, {"--lines", "{}/many.fax"}), "", {limit});
    EXPECT_EQ(lines.status, 0) << lines.err;
    EXPECT_NE(lines.out.find("faxview: job 32: 1 page(s) to 1 number(s)\n"), std::string::npos);
    const ToolRun pages = RunTool(Args(FAXVIEW_TOOL, {"--pbm", "-o", "{}/page", "{}/many.fax"}), "", {limit});
    EXPECT_EQ(pages.status, 1);
    EXPECT_EQ(pages.err.find("mmap"), std::string::npos) << pages.err;
    EXPECT_NE(pages.err.find("faxview: page 1: image 1 is 4294967295 x 4294967295 pixels"), std::string::npos)
        << pages.err;
    EXPECT_NE(pages.out.find("faxview: job 32: 1 page(s) to 1 number(s)\n"), std::string::npos);
}

TEST_F(ToolTest, JbigencChecksItsDataFirstAndNamesWriteErrors)
{
    FileWrite(Path("huge.pbm"), std::string("P4\n65536 65536\n") + std::string(100, '\0'));
    FileWrite(Path("small.pbm"), std::string("P4\n8 2\n\x80\x01", 9));
    const Case cases[] = {
        {"a header far larger than its data",
         {"{}/huge.pbm", "{}/x.bie"},
         1,
         "PBM data ends early: the header says 65536 x 65536 pixels",
         ""},
        {"an output that cannot be written",
         {"{}/small.pbm", "/dev/full"},
         1,
         "writing /dev/full failed: No space left on device",
         ""},
        {"a small image", {"{}/small.pbm", "{}/x.bie"}, 0, "", ""},
    };
    // The huge header must fail before 600 MB are allocated: the limit makes an allocation fail.
    for (const Case& c : cases)
        Check(c, RunTool(Args(JBIGENC_TOOL, c.args), "",
                         {{"ASAN_OPTIONS", "allocator_may_return_null=1:max_allocation_size_mb=64"}}));
}

// The folder's file names, sorted: a temporary file left behind shows here.
std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(ToolTest, JbigencRefusesAnOutputThatIsItsInput)
{
    const std::string pbm("P4\n8 2\n\x80\x01", 9);
    FileWrite(Path("small.pbm"), pbm);
    ASSERT_EQ(link(Path("small.pbm").c_str(), Path("linked.pbm").c_str()), 0);
    const Case cases[] = {
        {"the same name", {"{}/small.pbm", "{}/small.pbm"}, 1, "is the input itself", ""},
        {"a hard link to it", {"{}/small.pbm", "{}/linked.pbm"}, 1, "is the input itself", ""},
    };
    for (const Case& c : cases) {
        Check(c, RunTool(Args(JBIGENC_TOOL, c.args)));
        EXPECT_EQ(FileText(Path("small.pbm")), pbm) << c.what;
    }
    EXPECT_EQ(Listing(dir), (std::vector<std::string>{"linked.pbm", "small.pbm"}));
}

// A write that fails part way (the file size limit stands in for a full disk) leaves no partial
// output and no temporary file, and an earlier output of that name stays as it was; so does a job
// the module cannot even begin.
TEST_F(ToolTest, AFailedWriteLeavesNoPartialOutput)
{
    std::string noise = "P4\n1024 1024\n";
    for (int i = 0; i < 1024 * 128; ++i) noise += char((i * 2654435761u) >> 13);
    FileWrite(Path("noise.pbm"), noise);
    FileWrite(Path("job.spl"), Job({{"copies", 1}}, 40));
    const ToolRun made = RunTool(Args(FAXRENDER_TOOL, {"-q", "-n", "1", "-o", "{}/whole.fax", "{}/job.spl"}));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::vector<std::string> before = {"job.spl", "noise.pbm", "old.out", "whole.fax"};
    const struct {
        const char* what;
        const char* tool;
        std::vector<std::string> args;
        long limit;
    } cases[] = {
        {"jbigenc", JBIGENC_TOOL, {"{}/noise.pbm", "{}/old.out"}, 4096},
        {"spoolc --dump", SPOOLC_TOOL, {"--dump", "-o", "{}/old.out", "{}/job.spl"}, 1024},
        {"faxrender", FAXRENDER_TOOL, {"-q", "-n", "1", "-o", "{}/old.out", "{}/job.spl"}, 1024},
        {"faxrender, a module that cannot load",
         FAXRENDER_TOOL,
         {"-q", "--module", "{}/none.so", "-o", "{}/old.out", "{}/job.spl"},
         -1},
        {"faxview --pbm", FAXVIEW_TOOL, {"--pbm", "-o", "{}/old.out", "{}/whole.fax"}, 4096},
    };
    for (const auto& c : cases) {
        FileWrite(Path("old.out"), std::string("earlier"));
        const ToolRun run = RunTool(Args(c.tool, c.args), "", {}, 60, c.limit);
        EXPECT_EQ(run.status, 1) << c.what << ": " << run.err;
        EXPECT_EQ(FileText(Path("old.out")), "earlier") << c.what;
        EXPECT_EQ(Listing(dir), before) << c.what;
    }
}

}  // namespace
