// The JBIG encoder against jbigkit on the same pages, with the same options (one stripe per page,
// LRLTWO, typical prediction, MX 0), 1728 x 2200. Our
// encoder gets the page in bands of 128 lines, as the engine renders it; jbigkit gets the whole
// page. Pages: text, mostly white, blank, and a gray picture through the 1-bit halftone, made
// here; and text, halftoned and blank pages rendered by Ghostscript at 204 x 196. A race fails if
// our encoder allocates anything after ImxJBIGEncoderInit.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/race.h"
#include "engine/services/halftone.h"
#include "rastrel/imx.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/jbig_pages.h"

// ---- Allocation counter: the C allocator is interposed so that every heap allocation is seen.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}
namespace {
bool gCounting = false;
long gAllocations = 0;
void Count()
{
    if (gCounting) {
        ++gAllocations;
    }
}
}  // namespace
extern "C" void* malloc(size_t size) noexcept
{
    Count();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) noexcept
{
    Count();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) noexcept
{
    Count();
    return __libc_realloc(block, size);
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) noexcept
{
    Count();
    return __libc_memalign(alignment, size);
}
extern "C" int posix_memalign(void** block, size_t alignment, size_t size) noexcept
{
    Count();
    *block = __libc_memalign(alignment, size);
    return *block != nullptr ? 0 : 12;
}

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 2200;
constexpr uint32_t kBandLines = 128;

// A photo-like gray page through the fax path's 1-bit halftone: the densest page a fax sends.
JbigImage MakeHalftonePage()
{
    constexpr uint32_t kScreen = 16;
    std::vector<uint8_t> matrix(32 * kScreen);
    for (uint32_t y = 0; y < kScreen; ++y)
        for (uint32_t x = 0; x < 32; ++x)
            matrix[y * 32 + x] = static_cast<uint8_t>(1 + ((x % kScreen) * 37 + y * 91) % 255);
    HalftoneScreen screen{32, 0, kScreen, kScreen, 1, 1, matrix.data()};
    std::vector<uint8_t> gray(size_t{kWidth} * kHeight);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x)
            gray[size_t{y} * kWidth + x] = static_cast<uint8_t>(128 + 90 * std::sin(x / 150.0) * std::cos(y / 210.0));
    JbigImage page{kWidth, kHeight, std::vector<uint8_t>(size_t{kWidth / 8} * kHeight)};
    HalftoneImage1Bit(&screen, gray.data(), kWidth, 1, kWidth, kHeight, 0, 0, page.rows.data(), kWidth / 8);
    return page;
}

struct Sink {
    uint8_t buffer[32768];
    size_t total = 0;
};

void SinkOutput(void* argument, uint8_t** buffer, uint32_t* size)
{
    auto* sink = static_cast<Sink*>(argument);
    if (*buffer != nullptr) {
        sink->total += *size;
    }
    *buffer = sink->buffer;
    *size = sizeof sink->buffer;
}

// Our encoder, given the page in bands as the engine renders it.
struct Ours {
    JbigImage page;
    Sink sink;
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(kWidth, 0, SinkOutput, &sink);
    explicit Ours(JbigImage p) : page(std::move(p)) {}
    ~Ours() { ImxJBIGEncoderDeinit(encoder); }
    void Run()
    {
        const uint32_t size[2] = {kWidth, kHeight};
        const uint32_t stride = kWidth / 8;
        sink.total = 0;
        ImxJBIGImageBegin(encoder, size, kHeight);
        for (uint32_t y = 0; y < kHeight; y += kBandLines)
            ImxJBIGImageBandAdd(encoder, page.rows.data() + size_t{y} * stride, std::min(kBandLines, kHeight - y),
                                stride);
        ImxJBIGImageEnd(encoder);
    }
};

void AddPageRace(const char* name, JbigImage (*make)())
{
    AddRace(name, "jbigkit", [make] {
        auto ours = std::make_shared<Ours>(make());
        if (!JbigkitAvailable())
            return RaceSides{[] {}, [] {}, [] { return std::string("libjbig could not be loaded"); }};
        return RaceSides{[ours] { ours->Run(); },
                         [ours] { benchmark::DoNotOptimize(JbigkitEncodeCount(ours->page, kHeight, true)); },
                         [ours] {
                             // Nothing may be allocated after ImxJBIGEncoderInit.
                             gAllocations = 0;
                             gCounting = true;
                             ours->Run();
                             gCounting = false;
                             return gAllocations == 0 ? std::string() : std::string("the encoder allocated after init");
                         }};
    });
}

// Pages a user would fax, rendered by Ghostscript at the fax resolution: a page of text, gray
// areas through Ghostscript's own halftone, and a blank page. Empty when Ghostscript is missing.
JbigImage GhostscriptPage(const std::string& postscript)
{
    char dir[] = "/tmp/bench_jbig_XXXXXX";
    if (mkdtemp(dir) == nullptr) return {};
    const std::string ps = std::string(dir) + "/page.ps", pbm = std::string(dir) + "/page.pbm";
    std::ofstream(ps) << postscript;
    const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pbmraw -r204x196 -g" +
                                std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -sOutputFile=" + pbm + " " +
                                ps + " >/dev/null 2>&1";
    JbigImage page;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(pbm, std::ios::binary);
        std::string magic;
        uint32_t width = 0, height = 0;
        in >> magic;
        while (in >> std::ws && in.peek() == '#') in.ignore(1 << 20, '\n');
        in >> width >> height;
        in.get();
        if (magic == "P4" && width == kWidth && height == kHeight) {
            page = JbigImage{width, height, std::vector<uint8_t>(size_t{width / 8} * height)};
            if (!in.read(reinterpret_cast<char*>(page.rows.data()), std::streamsize(page.rows.size()))) page = {};
        }
    }
    std::remove(ps.c_str());
    std::remove(pbm.c_str());
    rmdir(dir);
    return page;
}

const char* const kTextPostScript = R"(/Times-Roman findfont 10 scalefont setfont
/y 770 def
0 1 61 { pop 40 y moveto
  (Dear colleague, the figures for the third quarter follow below; please check them against your own records, 0123456789.) show
  /y y 12 sub def } for
showpage
)";

const char* const kHalftonePostScript = R"(0 1 49 { /i exch def i 49 div setgray 0 i 15.84 mul 612 15.84 rectfill } for
0 1 9 { /i exch def 1 i 10 div sub setgray 306 396 300 i 30 mul sub 0 360 arc fill } for
showpage
)";

void AddGhostscriptPageRace(const char* name, const char* postscript)
{
    AddRace(name, "jbigkit", [postscript] {
        JbigImage page = GhostscriptPage(postscript);
        if (page.rows.empty())
            return RaceSides{[] {}, [] {}, [] { return std::string("Ghostscript (gs) could not render the page"); }};
        auto ours = std::make_shared<Ours>(std::move(page));
        return RaceSides{[ours] { ours->Run(); },
                         [ours] { benchmark::DoNotOptimize(JbigkitEncodeCount(ours->page, kHeight, true)); }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddGhostscriptPageRace("ghostscript_text_page", kTextPostScript);
    AddGhostscriptPageRace("ghostscript_halftone_page", kHalftonePostScript);
    AddGhostscriptPageRace("ghostscript_blank_page", "showpage\n");
    AddPageRace("text_page", [] { return MakeTextPage(kWidth, kHeight, 1); });
    AddPageRace("mostly_white_page", [] { return MakeMostlyWhitePage(kWidth, kHeight, 2); });
    AddPageRace("blank_page", [] { return MakeWhitePage(kWidth, kHeight); });
    AddPageRace("halftone_page", MakeHalftonePage);
    return RaceMain(argc, argv);
}
