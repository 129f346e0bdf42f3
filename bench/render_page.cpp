// The whole render call on a busy fax page: a one-page job of rectangle commands (a letterhead,
// lines of word-like bars, a grey panel, framed boxes) rendered by ImeRender through Pelvane to a
// fax job, at 204 x 196 dpi on A4. The anchor is what a user would do instead: Ghostscript paints
// the same rectangles as PostScript fills to a 1-bit page and jbigkit codes it. Both sides start a
// fresh job every round (Ghostscript its process, the render call its module), so each time is a
// page from spool to coded bytes; Ghostscript's start-up is most of its time on one page, so the
// ratio says what a one-page fax costs, not how fast either paints.
//
// Then pages per second for the three kinds of page a fax carries, each a one-page job with the
// same start-up on both sides: the vector page and the text page of the bundled sample job (with
// its letterhead form), and a scanned photo (a 24-bit image stretched over the page). Their
// PostScript is written here from the same records (sample_page_ps.h), so Ghostscript draws the
// same rectangles, lines, outlines and strings; where our records say more than PostScript can in
// a few lines (pattern brushes, region clips, downloaded glyphs) it draws the nearest plain thing.
//
// Last, the peak memory of faxrender on a 20-page job (the sample's pages in turn) beside the
// peak of the same tool on a job without pages: the fixed overhead of libraries and start-up. The
// engine's configured budgets are printed with both; the 20-page job must stay within overhead +
// budgets, and the ratio is (overhead + budgets) / peak.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/peak_memory.h"
#include "bench/race.h"
#include "bench/sample_page_ps.h"
#include "engine/job/render_call.h"
#include "engine/job/render_options.h"
#include "tests/pelvane/pelvane_host.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"
#include "tools/spoolc/spool_text.h"

namespace {

constexpr int32_t kWidth = 1728, kHeight = 2292;

struct Box {
    int32_t left, top, right, bottom;
    uint8_t grey;  // 0 black, 255 white
};

// A deterministic busy page: word-like bars of varying widths on 60 lines, a letterhead, a grey
// panel and a table of framed boxes.
std::vector<Box> BusyPage()
{
    std::vector<Box> boxes = {{120, 110, 1608, 230, 0}, {140, 130, 420, 210, 255}, {120, 260, 1608, 266, 0}};
    uint32_t seed = 12345;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int line = 0; line < 60; ++line) {
        const int32_t top = 330 + line * 28;
        for (int32_t x = 140; x < 1560;) {
            const int32_t w = 30 + static_cast<int32_t>(next(110));
            boxes.push_back({x, top, std::min(x + w, 1580), top + 18, 0});
            x += w + 14 + static_cast<int32_t>(next(8));
        }
    }
    boxes.push_back({120, 2040, 800, 2240, 128});
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 4; ++c) {
            const int32_t l = 860 + c * 185, t = 2040 + r * 67;
            boxes.push_back({l, t, l + 180, t + 3, 0});
            boxes.push_back({l, t + 59, l + 180, t + 62, 0});
            boxes.push_back({l, t, l + 3, t + 62, 0});
            boxes.push_back({l + 177, t, l + 180, t + 62, 0});
        }
    return boxes;
}

std::vector<uint8_t> Spool(const std::vector<Box>& boxes)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1}, {"res_x", 204}, {"res_y", 196}, {"extent1_w", kWidth},
                                              {"extent1_h", kHeight}, {"extent2_w", kWidth}, {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    for (const Box& x : boxes)
        b.Add("cmd_rectfill", {{"left", x.left}, {"top", x.top}, {"right", x.right}, {"bottom", x.bottom},
                               {"brush", 0x80000000u | x.grey * 0x010101u}});
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// The same page in PostScript: device pixels as the unit, the origin at the top left.
std::string PostScript(const std::vector<Box>& boxes)
{
    std::string ps = "%!PS\n72 204 div 72 196 div scale 0 2292 translate 1 -1 scale\n";
    char line[96];
    for (const Box& x : boxes) {
        std::snprintf(line, sizeof line, "%.3f setgray %d %d %d %d rectfill\n", x.grey / 255.0, x.left, x.top,
                      x.right - x.left, x.bottom - x.top);
        ps += line;
    }
    return ps + "showpage\n";
}

BOOL Count(void* argument, const void*, uint32_t length)
{
    *static_cast<size_t*>(argument) += length;
    return TRUE;
}

struct Anchor {
    std::string dir, ps, pbm;
    ~Anchor()
    {
        if (dir.empty()) return;
        unlink(ps.c_str());
        unlink(pbm.c_str());
        rmdir(dir.c_str());
    }
    bool Run() const
    {
        const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r204x196 -g" +
                                    std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -sOutputFile=" + pbm +
                                    " " + ps + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return false;
        std::ifstream in(pbm, std::ios::binary);
        std::string magic;
        uint32_t w = 0, h = 0;
        in >> magic >> std::ws;
        while (in.peek() == '#') in.ignore(1 << 16, '\n');  // Ghostscript names itself in a comment
        in >> w >> h;
        in.get();
        JbigImage page;
        page.width = w;
        page.height = h;
        page.rows.resize(size_t(h) * ((w + 7) / 8));
        in.read(reinterpret_cast<char*>(page.rows.data()), static_cast<std::streamsize>(page.rows.size()));
        if (!in || magic != "P4") return false;
        benchmark::DoNotOptimize(JbigkitEncodeCount(page, h, true));
        return true;
    }
};

// A race of the whole render call on one spool job against Ghostscript and jbigkit on its
// PostScript.
RaceSides JobRace(std::vector<uint8_t> job, const std::string& postScript)
{
    auto spool = std::make_shared<std::vector<uint8_t>>(std::move(job));
    auto anchor = std::make_shared<Anchor>();
    char dir[] = "/tmp/bench_render_page_XXXXXX";
    if (mkdtemp(dir) == nullptr || !JbigkitAvailable())
        return RaceSides{[] {}, [] {}, [] { return std::string("no scratch folder or no libjbig"); }};
    anchor->dir = dir;
    anchor->ps = anchor->dir + "/page.ps";
    anchor->pbm = anchor->dir + "/page.pbm";
    std::ofstream(anchor->ps) << postScript;
    if (!anchor->Run())
        return RaceSides{[] {}, [] {}, [] { return std::string("Ghostscript (gs) could not render the page"); }};
    const auto ours = [spool] {
        MemoryStream stream;
        stream.data = *spool;
        RenderOptions options{};
        size_t written = 0;
        const uint32_t result = ImeRender("pelvane", 1, nullptr, PELVANE_LIBRARY, &options, nullptr, &stream,
                                          &written, MemoryStreamRead, MemoryStreamSeek, Count);
        if (result != 0) std::fprintf(stderr, "render call failed: %u\n", result);
        benchmark::DoNotOptimize(written);
    };
    return RaceSides{ours, [anchor] { anchor->Run(); }};
}

// A text job with the fax block in its header, as the driver's host puts it there: without it the
// module would take its configuration's resolution rather than the page's 204 x 196 dpi.
std::vector<uint8_t> CompileWithFaxBlock(const std::string& text)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    std::string hex;
    char digits[3];
    for (uint8_t byte : block.bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        hex += digits;
    }
    std::string withBlock;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        withBlock += line + (line.rfind("job_header", 0) == 0 ? " data=" + hex : "") + "\n";
    return SpoolTextCompile(withBlock);
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The peak memory of faxrender on a 20-page job against the fixed overhead plus the budgets.
void TwentyPageJobPeakMemory(const std::string& sample)
{
    const SampleJobText parts = SampleJobSplit(sample);
    std::string twenty = parts.head;
    for (int page = 0; page < 20; ++page) twenty += parts.pages[size_t(page) % parts.pages.size()];
    twenty += parts.tail;
    char pattern[] = "/tmp/bench_render_peak_XXXXXX";
    if (mkdtemp(pattern) == nullptr || parts.pages.empty()) {
        ReportRatio("twenty_page_job_peak_memory", "overhead+budgets", {}, "no scratch folder or no sample pages");
        return;
    }
    const std::string dir = pattern, big = dir + "/twenty.spl", none = dir + "/none.spl", out = dir + "/out.fax",
                      time = dir + "/time";
    const auto write = [](const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    write(big, SpoolTextCompile(twenty));
    write(none, SpoolTextCompile(parts.head + parts.tail));
    RenderOptions options{};
    RenderOptionsDefault(&options);
    const uint64_t budgets = uint64_t(options.bandMemory) + options.deviceMemoryLimit + options.memoryLimit +
                             options.streamBuffer + options.textureBytes;
    std::vector<double> ratios;
    long overhead = -1, peak = -1;
    for (int round = 0; round < 5; ++round) {
        overhead = PeakMemoryKib({FAXRENDER_PATH, "-q", "-n", "1", "-o", out, none}, time);
        peak = PeakMemoryKib({FAXRENDER_PATH, "-q", "-n", "1", "-o", out, big}, time);
        if (overhead > 0 && peak > 0) ratios.push_back((double(overhead) + double(budgets) / 1024) / double(peak));
    }
    for (const std::string& f : {big, none, out, time}) std::remove(f.c_str());
    rmdir(dir.c_str());
    std::printf("twenty_page_job: peak %ld KiB; fixed overhead (a job without pages) %ld KiB; budgets %llu KiB "
                "(bands %u, resources %u + %u, stream %u, textures %u bytes); above the overhead %ld KiB\n",
                peak, overhead, static_cast<unsigned long long>(budgets / 1024), options.bandMemory,
                options.deviceMemoryLimit, options.memoryLimit, options.streamBuffer, options.textureBytes,
                peak - overhead);
    ReportRatio("twenty_page_job_peak_memory", "overhead+budgets", ratios,
                ratios.empty() ? "faxrender failed" : "");
}

}  // namespace

int main(int argc, char** argv)
{
    AddRace("busy_page_render_call", "ghostscript+jbigkit", [] {
        const std::vector<Box> boxes = BusyPage();
        return JobRace(Spool(boxes), PostScript(boxes));
    });
    const std::string sample = ReadText(SAMPLES_DIR "/sample_job.txt");
    // The sample's first page is vector drawing, its third text.
    for (const auto& [name, page] : {std::pair<const char*, size_t>{"vector_page_render_call", 0},
                                     std::pair<const char*, size_t>{"text_page_render_call", 2}})
        AddRace(name, "ghostscript+jbigkit", [sample, page] {
            const SampleJobText parts = SampleJobSplit(sample);
            if (parts.pages.size() <= page)
                return RaceSides{[] {}, [] {}, [] { return std::string("the sample job lost its pages"); }};
            const std::string text = parts.head + parts.pages[page] + parts.tail;
            return JobRace(CompileWithFaxBlock(text), SampleToPostScript(text));
        });
    AddRace("photo_page_render_call", "ghostscript+jbigkit", [sample] {
        const std::string text = PhotoJobText(SampleJobSplit(sample));
        return JobRace(CompileWithFaxBlock(text), SampleToPostScript(text));
    });
    TwentyPageJobPeakMemory(sample);
    return RaceMain(argc, argv);
}
