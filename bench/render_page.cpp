// Whole pages as a user runs them, each side a new process from its start to coded bytes: faxrender
// renders a spool job through Rastrel and Pelvane to a fax job file, against Ghostscript rendering
// the same drawing from PostScript to 1-bit pages at 204 x 196 dpi, then jbigkit's pbmtojbg coding
// each page with the options Pelvane gives its encoder (one stripe a page, typical prediction,
// two-line template, no adaptive pixel moves). Both jobs come from one description (page_jobs.h),
// with the same Liberation Sans on both sides. The jobs: a business letter of about 2,900
// characters a page whose text commands have the page as their bounds, the same letter with each
// line's bounds its own, a form of rectangles, lines, polygons and a pie chart, and a scanned
// photo stretched over the page; each at 1 and at 20 pages. Start-up is part of every time, so
// the one-page races say what a one-page fax costs and the twenty-page ones how fast pages go.
//
// Each side is timed by the processor time of its processes (user and system), which a busy
// machine does not inflate; one core is the fair measure as both sides use one.
//
// Before timing, the first page of each side is decoded and the two are compared cell by cell
// (32 x 32 pixels): the ink must lie in the same places, within what hinting, the pixel rules
// and halftoning leave to each side. Each `_peak_memory` line is the peak resident memory of
// Ghostscript's processes (the larger of gs and pbmtojbg) over faxrender's, in the same rounds.
//
// Then a long letter against a short one: the 500-page letter once against the 20-page letter 25
// times, at the default band budget and at 262,144 bytes; a ratio near 1 is the same cost a page.
//
// Last, the peak memory of faxrender on a 20-page job (the sample's pages in turn) beside the
// peak of the same tool on a job without pages: the fixed overhead of libraries and start-up. The
// engine's configured budgets are printed with both; the 20-page job must stay within overhead +
// budgets, and the ratio is (overhead + budgets) / peak.
#include <fcntl.h>
#include <sys/resource.h>
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

#include "bench/page_jobs.h"
#include "bench/peak_memory.h"
#include "bench/race.h"
#include "engine/common/render_options.h"
#include "tools/faxview/fax_job_parse.h"
#include "tools/faxview/fax_page_image.h"
#include "tools/spoolc/spool_text.h"

namespace {

using page_jobs::kHeight;
using page_jobs::kWidth;

std::vector<uint8_t> Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const void* bytes, size_t size)
{
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(bytes), std::streamsize(size));
}

// A raw PBM as Ghostscript writes it (a comment naming itself after the magic number).
bool ReadPbm(const std::string& path, FaxBitmap* page)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic >> std::ws;
    while (in.peek() == '#') in.ignore(1 << 16, '\n');
    in >> page->width >> page->height;
    in.get();
    page->rows.resize(size_t(page->height) * ((page->width + 7) / 8));
    in.read(reinterpret_cast<char*>(page->rows.data()), std::streamsize(page->rows.size()));
    return bool(in) && magic == "P4";
}

// Where the two pages' ink differs, cell by cell: the sum over 32 x 32 cells of the difference of
// their black pixel counts over the sum of the larger count; 0 is the same ink in every cell.
double CellDifference(const FaxBitmap& a, const FaxBitmap& b, long* inkA, long* inkB)
{
    constexpr uint32_t kCell = 32;
    const uint32_t columns = (kWidth + kCell - 1) / kCell, rows = (kHeight + kCell - 1) / kCell;
    std::vector<long> ca(size_t(columns) * rows), cb(ca.size());
    const auto count = [&](const FaxBitmap& page, std::vector<long>& cells, long* ink) {
        const size_t stride = (page.width + 7) / 8;
        for (uint32_t y = 0; y < std::min<uint32_t>(page.height, kHeight); ++y)
            for (uint32_t x = 0; x < std::min<uint32_t>(page.width, kWidth); ++x)
                if (page.rows[y * stride + x / 8] & (0x80 >> (x % 8))) {
                    ++cells[(y / kCell) * columns + x / kCell];
                    ++*ink;
                }
    };
    count(a, ca, inkA);
    count(b, cb, inkB);
    long differ = 0, larger = 0;
    for (size_t i = 0; i < ca.size(); ++i) {
        differ += std::labs(ca[i] - cb[i]);
        larger += std::max(ca[i], cb[i]);
    }
    return larger == 0 ? 0 : double(differ) / double(larger);
}

struct Sides {
    std::string dir, spool, fax, ps;
    int pages = 0;
    double tolerance = 0.25;  // of CellDifference
    long oursPeak = 0, theirsPeak = 0;
    std::vector<long> oursPeaks, theirsPeaks;  // every timed run's

    ~Sides()
    {
        for (const std::string& f : {spool, fax, ps}) std::remove(f.c_str());
        for (int i = 1; i <= pages; ++i) {
            std::remove(Pbm(i).c_str());
            std::remove((Pbm(i) + ".jbg").c_str());
        }
        rmdir(dir.c_str());
    }
    std::string Pbm(int page) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "/page%03d.pbm", page);
        return dir + name;
    }
    bool Ours()
    {
        oursPeak = 0;
        return RunProcess({FAXRENDER_PATH, "-q", "-n", "5550100", "-o", fax, spool}, &oursPeak);
    }
    bool Theirs()
    {
        theirsPeak = 0;
        if (!RunProcess({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pbmraw", "-r204x196",
                         "-g" + std::to_string(kWidth) + "x" + std::to_string(kHeight),
                         "-sOutputFile=" + dir + "/page%03d.pbm", ps},
                        &theirsPeak))
            return false;
        for (int i = 1; i <= pages; ++i)
            if (!RunProcess({"pbmtojbg", "-q", "-s", std::to_string(kHeight), "-m", "0", "-p", "72", Pbm(i),
                             Pbm(i) + ".jbg"},
                            &theirsPeak))
                return false;
        return true;
    }
    // Both sides once, then their first pages side by side.
    std::string Compare()
    {
        if (!Ours()) return "faxrender failed";
        if (!Theirs()) return "Ghostscript (gs) or pbmtojbg failed";
        FaxJob job;
        std::string error;
        const std::vector<uint8_t> bytes = Slurp(fax);
        if (!FaxJobParse(bytes, &job, &error)) return "the fax job does not parse: " + error;
        if (int(job.pages.size()) != pages) return "the fax job has " + std::to_string(job.pages.size()) + " pages";
        for (int i = 1; i <= pages; ++i)
            if (Slurp(Pbm(i) + ".jbg").empty()) return "Ghostscript made fewer pages";
        std::vector<FaxBitmap> ours;
        if (job.pages[0].images.empty() || !FaxBieDecode(job.pages[0].images[0].bie, &ours, &error) || ours.empty())
            return "our first page does not decode: " + error;
        FaxBitmap theirs;
        if (!ReadPbm(Pbm(1), &theirs)) return "Ghostscript's first page does not read";
        long inkOurs = 0, inkTheirs = 0;
        const double differ = CellDifference(ours[0], theirs, &inkOurs, &inkTheirs);
        std::printf("%s: first page ink %ld pixels ours, %ld Ghostscript's; cells differ by %.3f of their ink\n",
                    dir.c_str(), inkOurs, inkTheirs, differ);
        if (differ > tolerance) return "the first pages differ by " + std::to_string(differ) + " of their ink";
        return {};
    }
};

void AddPageRace(const std::string& name, page_jobs::Kind kind, int pages)
{
    AddRace(
        name, "ghostscript+pbmtojbg",
        [name, kind, pages] {
            if (page_jobs::SansAdvances().empty())
                return RaceSides{[] {}, [] {}, [] { return std::string("Liberation Sans is not installed"); }};
            auto sides = std::make_shared<Sides>();
            char pattern[] = "/tmp/bench_render_page_XXXXXX";
            if (mkdtemp(pattern) == nullptr)
                return RaceSides{[] {}, [] {}, [] { return std::string("no scratch folder"); }};
            sides->dir = pattern;
            sides->spool = sides->dir + "/job.spl";
            sides->fax = sides->dir + "/job.fax";
            sides->ps = sides->dir + "/job.ps";
            sides->pages = pages;
            // Each side makes its own black and white of the photo's greys, and ours is the darker.
            sides->tolerance = kind == page_jobs::Kind::photo ? 0.4 : 0.25;
            {
                const page_jobs::Job job = page_jobs::MakeJob(kind, pages);
                const std::vector<uint8_t> spool = SpoolTextCompile(job.spoolText);
                WriteFile(sides->spool, spool.data(), spool.size());
                WriteFile(sides->ps, job.postScript.data(), job.postScript.size());
            }
            RaceSides race{[sides] {
                               if (sides->Ours()) sides->oursPeaks.push_back(sides->oursPeak);
                           },
                           [sides] {
                               if (sides->Theirs()) sides->theirsPeaks.push_back(sides->theirsPeak);
                           },
                           [sides] { return sides->Compare(); },
                           [sides, name] {
                               std::vector<double> ratios;
                               for (size_t i = 0; i < std::min(sides->oursPeaks.size(), sides->theirsPeaks.size()); ++i)
                                   ratios.push_back(double(sides->theirsPeaks[i]) / double(sides->oursPeaks[i]));
                               std::printf("%s: peak memory %ld KiB ours, %ld KiB Ghostscript's (last round)\n",
                                           name.c_str(), sides->oursPeak, sides->theirsPeak);
                               ReportRatio(name + "_peak_memory", "ghostscript+pbmtojbg", ratios,
                                           ratios.empty() ? "a side failed in every round" : "");
                           }};
            race.childProcessorTime = true;
            return race;
        },
        pages == 1 ? race_detail::kRounds : 7);
}

// A long letter costs per page what a short one does: the 500-page letter against the 20-page
// letter rendered 25 times (the same number of pages), each page defining its own fonts, at the
// default band budget or at a small one. A cost per page that grew with the page number (fonts
// opened again and again, a budget that thrashes) makes ours the slower side.
void AddLongJobRace(const std::string& name, const char* bandMemory)
{
    AddRace(
        name, "letter_20_pages_x25",
        [bandMemory] {
            if (page_jobs::SansAdvances().empty())
                return RaceSides{[] {}, [] {}, [] { return std::string("Liberation Sans is not installed"); }};
            char pattern[] = "/tmp/bench_long_job_XXXXXX";
            if (mkdtemp(pattern) == nullptr)
                return RaceSides{[] {}, [] {}, [] { return std::string("no scratch folder"); }};
            const std::string dir = pattern;
            for (const int pages : {500, 20}) {
                const page_jobs::Job job = page_jobs::MakeJob(page_jobs::Kind::letterLineBounds, pages);
                const std::vector<uint8_t> spool = SpoolTextCompile(job.spoolText);
                WriteFile(dir + "/" + std::to_string(pages) + ".spl", spool.data(), spool.size());
            }
            const auto command = [dir, bandMemory](int pages) {
                std::vector<std::string> c = {FAXRENDER_PATH, "-q", "-n", "5550100"};
                if (bandMemory != nullptr) c.insert(c.end(), {"--band-memory", bandMemory});
                c.insert(c.end(), {"-o", dir + "/out" + std::to_string(pages) + ".fax",
                                   dir + "/" + std::to_string(pages) + ".spl"});
                return c;
            };
            auto failed = std::make_shared<bool>(false);
            RaceSides race{[command, failed] {
                               long peak = 0;
                               if (!RunProcess(command(500), &peak)) *failed = true;
                           },
                           [command, failed] {
                               long peak = 0;
                               for (int i = 0; i < 25; ++i)
                                   if (!RunProcess(command(20), &peak)) *failed = true;
                           },
                           [failed] { return *failed ? std::string("faxrender failed") : std::string(); },
                           [dir] {
                               for (const char* f : {"/500.spl", "/20.spl", "/out500.fax", "/out20.fax"})
                                   std::remove((dir + f).c_str());
                               rmdir(dir.c_str());
                           }};
            race.childProcessorTime = true;
            return race;
        },
        3);
}

struct SampleJobText {
    std::string head;  // everything before the first page: header, forms
    std::vector<std::string> pages;  // page_begin .. page_end, each with its resources
    std::string tail;  // job_end
};

SampleJobText SampleJobSplit(const std::string& text)
{
    SampleJobText parts;
    std::istringstream in(text);
    std::string line, page;
    bool inPage = false;
    while (std::getline(in, line)) {
        if (line.rfind("page_begin", 0) == 0) inPage = true;
        if (inPage) {
            page += line + "\n";
            if (line.rfind("page_end", 0) == 0) {
                parts.pages.push_back(page);
                page.clear();
                inPage = false;
            }
        } else if (line.rfind("job_end", 0) == 0) {
            parts.tail += line + "\n";
        } else if (parts.pages.empty()) {
            parts.head += line + "\n";
        }
    }
    return parts;
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
    const std::string dir = pattern, big = dir + "/twenty.spl", none = dir + "/none.spl", out = dir + "/out.fax";
    const auto write = [](const std::string& path, const std::vector<uint8_t>& bytes) {
        WriteFile(path, bytes.data(), bytes.size());
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
        overhead = PeakMemoryKib({FAXRENDER_PATH, "-q", "-n", "1", "-o", out, none});
        peak = PeakMemoryKib({FAXRENDER_PATH, "-q", "-n", "1", "-o", out, big});
        if (overhead > 0 && peak > 0) ratios.push_back((double(overhead) + double(budgets) / 1024) / double(peak));
    }
    for (const std::string& f : {big, none, out}) std::remove(f.c_str());
    rmdir(dir.c_str());
    std::printf(
        "twenty_page_job: peak %ld KiB; fixed overhead (a job without pages) %ld KiB; budgets %llu KiB "
        "(bands %u, resources %u + %u, stream %u, textures %u bytes); above the overhead %ld KiB\n",
        peak, overhead, static_cast<unsigned long long>(budgets / 1024), options.bandMemory, options.deviceMemoryLimit,
        options.memoryLimit, options.streamBuffer, options.textureBytes, peak - overhead);
    ReportRatio("twenty_page_job_peak_memory", "overhead+budgets", ratios, ratios.empty() ? "faxrender failed" : "");
}

}  // namespace

int main(int argc, char** argv)
{
    using page_jobs::Kind;
    for (const auto& [name, kind] :
         {std::pair<const char*, Kind>{"letter_page_bounds", Kind::letterPageBounds},
          std::pair<const char*, Kind>{"letter_line_bounds", Kind::letterLineBounds},
          std::pair<const char*, Kind>{"form", Kind::form}, std::pair<const char*, Kind>{"photo", Kind::photo}}) {
        AddPageRace(std::string(name) + "_1_page", kind, 1);
        AddPageRace(std::string(name) + "_20_pages", kind, 20);
    }
    AddLongJobRace("letter_500_pages_per_page", nullptr);
    AddLongJobRace("letter_500_pages_per_page_at_262144", "262144");
    std::ifstream in(SAMPLES_DIR "/sample_job.txt", std::ios::binary);
    TwentyPageJobPeakMemory(std::string(std::istreambuf_iterator<char>(in), {}));
    return RaceMain(argc, argv);
}
