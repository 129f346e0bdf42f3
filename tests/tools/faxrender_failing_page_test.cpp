// A job whose second page holds a damaged record, run through faxrender on every feed: the first
// page is sent whole, the second is cancelled with the fax module's cancel line and the job ends
// there, without its end lines; faxrender fails and names the damaged record by its type and its
// byte in the file the user gave (the tool puts a fax block of its own into the job header, so
// the stream the engine reads is longer than the file).
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/spool/spool_records.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"

namespace {

std::string TempDir()
{
    char pattern[] = "/tmp/faxrender_failing_XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

int RunFaxRender(const std::string& arguments, std::string* messages)
{
    FILE* pipe = popen((std::string(FAXRENDER_PROGRAM) + " " + arguments + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) messages->append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

struct Damage {
    const char* what;
    uint16_t type;  // of the record the message must name
    void (*add)(SpoolBuilder&);
    const char* why = nullptr;  // what the message must say of it, when given
};

const Damage kDamages[] = {
    {"a line record cut to 20 of its 36 bytes", 17, [](SpoolBuilder& b) { b.Raw(17, 0, std::vector<uint8_t>(12, 0)); }},
    {"a path whose figure runs past its record", 36,
     [](SpoolBuilder& b) {
         b.Raw(SpoolRecPath, 0, SpoolLe32({1, 0, 0, 10, 10, 5, 11, 1000}));
     }},
    {"a text whose character count runs past its record", 16,
     [](SpoolBuilder& b) {
         b.Raw(kSpoolTextType, 0, SpoolTextPayload({0, 0, 200, 60}, 1, 0, 0x80000000, {{10, 30}}, u"A", 1000));
     }},
    {"a fill naming a brush never defined", 24,
     [](SpoolBuilder& b) {
         b.Add("cmd_rectfill", {{"left", 1}, {"top", 1}, {"right", 20}, {"bottom", 20}, {"brush", 77}});
     },
     "names brush 77, which is not defined"},
    {"a line naming a pen never defined", 17,
     [](SpoolBuilder& b) {
         b.Add("cmd_line", {{"x1", 1}, {"y1", 1}, {"x2", 20}, {"y2", 20}, {"pen", 9}, {"mix", 13}});
     },
     "names pen 9, which is not defined"},
};

// Three pages of fills; the damage goes into the second, behind a font its text would use.
std::vector<uint8_t> Job(const Damage& damage, uint32_t* damagedAt)
{
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", 1728},
                                              {"extent1_h", 2292},
                                              {"extent2_w", 1728},
                                              {"extent2_h", 2292},
                                              {"data", std::vector<uint8_t>{}}});
    for (int page = 0; page < 3; ++page) {
        b.PageBegin({{"width", 1728}, {"height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}});
        b.Add("cmd_rectfill", {{"left", 100}, {"top", 100}, {"right", 600}, {"bottom", 400}, {"brush", 0x80000000}});
        if (page == 1) {
            b.Raw(kSpoolFontLogType, 1, SpoolFontLogPayload(1, "Arial", -20));
            *damagedAt = b.Position();
            damage.add(b);
        }
        b.Add("cmd_rectfill", {{"left", 100}, {"top", 500}, {"right", 600}, {"bottom", 900}, {"brush", 0x80000000}});
        b.PageEnd({{"sheet_width", 1728}, {"sheet_height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

TEST(FaxRenderFailingPage, TheJobIsCancelledAtTheDamagedRecordWhichTheMessageNames)
{
    const std::string dir = TempDir();
    for (const Damage& damage : kDamages) {
        uint32_t at = 0;
        const std::vector<uint8_t> job = Job(damage, &at);
        {
            std::ofstream out(dir + "/job.spl", std::ios::binary);
            out.write(reinterpret_cast<const char*>(job.data()), std::streamsize(job.size()));
        }
        const std::string named =
            "the record of type " + std::to_string(damage.type) + " at byte " + std::to_string(at) + " ";
        for (const char* feed : {"", "--forward-only", "--producer"}) {
            SCOPED_TRACE(std::string(damage.what) + ", feed " + feed);
            std::string messages;
            EXPECT_EQ(RunFaxRender(std::string("-q -n 123 ") + feed + " -o " + dir + "/job.fax " + dir + "/job.spl",
                                   &messages),
                      1);
            EXPECT_NE(messages.find(named), std::string::npos) << messages;
            if (damage.why != nullptr) {
                EXPECT_NE(messages.find(damage.why, messages.find(named)), std::string::npos) << messages;
            }
            std::ifstream in(dir + "/job.fax", std::ios::binary);
            const std::string fax(std::istreambuf_iterator<char>(in), {});
            EXPECT_EQ(Count(fax, "@PJL SET PAGESTATUS = START"), 2u);
            EXPECT_EQ(Count(fax, "@PJL SET PAGESTATUS = END"), 1u);
            EXPECT_EQ(Count(fax, "@PJL SET IMAGELEN"), 1u) << "the first page's image, nothing of the second";
            const size_t cancel = fax.rfind("@PJL SET JOBSTATUS = CANCEL");
            ASSERT_NE(cancel, std::string::npos);
            EXPECT_EQ(fax.find("@PJL", cancel + 1), std::string::npos) << "nothing follows the cancel line";
            EXPECT_EQ(fax.find("@PJL EOJ"), std::string::npos);
        }
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

// A job file that ends inside a record of its second page: the message names that record, its
// start, and that the stream ends inside it, forward-only or not; where the stream ends at a
// record's edge, the record read last is named. A producer's stream says how far it came.
TEST(FaxRenderFailingPage, AStreamEndingInsideARecordNamesTheRecordAndItsStart)
{
    const std::string dir = TempDir();
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader(
        {{"copies", 1}, {"res_x", 204}, {"res_y", 196}, {"data", std::vector<uint8_t>{}}});
    for (int page = 0; page < 2; ++page) {
        b.PageBegin({{"width", 1728}, {"height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}});
        b.Add("cmd_rectfill", {{"left", 100}, {"top", 100}, {"right", 600}, {"bottom", 400}, {"brush", 0x80000000}});
        if (page == 0)
            b.PageEnd({{"sheet_width", 1728}, {"sheet_height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    const uint32_t fill = b.Position();
    b.Add("cmd_rectfill", {{"left", 100}, {"top", 500}, {"right", 600}, {"bottom", 900}, {"brush", 0x80000000}});
    const uint32_t pageEnd = b.Position();
    b.PageEnd({{"sheet_width", 1728}, {"sheet_height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}});
    const std::vector<uint8_t> whole = b.Data();
    struct Cut {
        uint32_t length;
        std::string said;
    } const cuts[] = {
        {fill + 10,
         "the record of type 24 at byte " + std::to_string(fill) + " (28 bytes) is cut: the stream ends inside it"},
        {pageEnd + 30,
         "the record of type 4 at byte " + std::to_string(pageEnd) + " (68 bytes) is cut: the stream ends inside it"},
        {pageEnd, "the spool stream ends at byte " + std::to_string(pageEnd) +
                      ", inside or at the end of the record of type 24 that starts at byte " + std::to_string(fill)},
    };
    for (const Cut& cut : cuts) {
        {
            std::ofstream out(dir + "/cut.spl", std::ios::binary);
            out.write(reinterpret_cast<const char*>(whole.data()), std::streamsize(cut.length));
        }
        for (const char* feed : {"", "--forward-only", "--producer"}) {
            SCOPED_TRACE("cut at " + std::to_string(cut.length) + ", feed " + feed);
            std::string messages;
            EXPECT_EQ(RunFaxRender(std::string("-q -n 123 ") + feed + " -o " + dir + "/cut.fax " + dir + "/cut.spl",
                                   &messages),
                      1);
            // A producer publishes a page only once its end is written: the cut page never reaches
            // the engine, which is told that the job's end is missing.
            const std::string said =
                std::string(feed) == "--producer" ? "after 1 whole pages, without the job-end record" : cut.said;
            EXPECT_NE(messages.find(said), std::string::npos) << messages;
        }
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
