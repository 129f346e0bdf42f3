// A full fax page (1728 x 2292, A4 at 204 x 196 dpi) that is one picture drawn through a 1-bit
// mask: a 24-bit 864 x 1146 picture and its mask stretched twice onto the page, drawn band by
// band (128 rows) through GDI as the band loop's GDI road does. The anchor is the same picture
// drawn without its mask, a plain StretchBlt. Besides the time, each side's peak resident memory
// is measured in a child process of its own. A second race draws a run-length picture over the
// page the same way, against the same colours in plain 24-bit rows.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/display_page.h"
#include "bench/race.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/spool_builder.h"

namespace {

constexpr int kW = 1728, kH = 2292, kBand = 128;
constexpr int kPictureW = kW / 2, kPictureH = kH / 2;
constexpr uint32_t kPicture = 81, kMask = 82;

// A picture of soft colour ramps and a mask of blobs and speckle, so that both sides of the mask
// hold long runs and single pixels.
std::vector<uint8_t> Page(bool masked)
{
    const uint32_t stride = BitmapRowBytes(24, kPictureW), maskStride = BitmapRowBytes(1, kPictureW);
    std::vector<uint8_t> rows(size_t(stride) * kPictureH), maskRows(size_t(maskStride) * kPictureH);
    uint32_t random = 12345;
    for (int y = 0; y < kPictureH; ++y)
        for (int x = 0; x < kPictureW; ++x) {
            uint8_t* p = &rows[size_t(y) * stride + 3 * size_t(x)];
            p[0] = uint8_t(x * 255 / kPictureW), p[1] = uint8_t(y * 255 / kPictureH), p[2] = uint8_t((x + y) / 8);
            random ^= random << 13, random ^= random >> 17, random ^= random << 5;
            const int cx = x % 96 - 48, cy = y % 80 - 40;
            const bool white = cx * cx + cy * cy < 900 || (random & 0xF) == 0;
            if (white) maskRows[size_t(y) * maskStride + x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    SpoolBuilder b;
    AddBitmap(b, {kPicture, kPictureW, -kPictureH, 24, 0, {}, rows});
    AddBitmap(b, {kMask, kPictureW, -kPictureH, 1, 0, {0, 0, 0, 0, 255, 255, 255, 0}, maskRows});
    b.Raw(21, 0,
          Cat({Le({0, 0, kPictureW, kPictureH}),
               Le({0, 0, kW, kH}),
               Le({0, 0}),
               std::vector<uint8_t>(24),
               Le({0, kPicture, masked ? kMask : 0, 0}),
               Le({masked ? 0xAACC : 0xCCCC}, 2),
               {0, 0}}));
    b.PageEnd();
    return b.Data();
}

// A picture of 256 colours in diagonal stripes, stretched twice onto the page with a plain copy:
// as RLE8 runs, which only GDI reads, or as the same colours in plain 24-bit rows.
std::vector<uint8_t> StripesPage(bool runLength)
{
    std::vector<uint8_t> palette, runs, rows(size_t(BitmapRowBytes(24, kPictureW)) * kPictureH);
    for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0});
    auto index = [](int x, int y) { return uint8_t((x / 24 + y / 16) % 256); };
    for (int y = kPictureH - 1; y >= 0; --y) {  // run-length rows go bottom row first
        for (int x = 0; x < kPictureW;) {
            int run = 1;
            while (x + run < kPictureW && run < 255 && index(x + run, y) == index(x, y)) ++run;
            runs.insert(runs.end(), {uint8_t(run), index(x, y)});
            x += run;
        }
        runs.insert(runs.end(), {0, 0});
    }
    runs.insert(runs.end(), {0, 1});
    for (int y = 0; y < kPictureH; ++y)
        for (int x = 0; x < kPictureW; ++x)
            std::copy_n(&palette[4 * size_t(index(x, y))], 3,
                        &rows[size_t(y) * BitmapRowBytes(24, kPictureW) + 3 * size_t(x)]);
    SpoolBuilder b;
    if (runLength) AddBitmap(b, {kPicture, kPictureW, kPictureH, 8, 2, palette, runs});
    else AddBitmap(b, {kPicture, kPictureW, -kPictureH, 24, 0, {}, rows});
    b.Raw(21, 0,
          Cat({Le({0, 0, kPictureW, kPictureH}),
               Le({0, 0, kW, kH}),
               Le({0, 0}),
               std::vector<uint8_t>(24),
               Le({0, kPicture, 0, 0}),
               Le({0xCCCC}, 2),
               {0, 0}}));
    b.PageEnd();
    return b.Data();
}

struct Job {
    BenchPage page;
    BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{kW, kBand}, nullptr, 0, 0);

    explicit Job(const std::vector<uint8_t>& records) : page(records, 204, 196) {}
    ~Job() { BandSurfaceDestroy(surface); }

    // A checksum of the page's pixels.
    uint64_t Render()
    {
        uint64_t sum = 0;
        DrawInBands(page, surface, kW, kH, kBand, [&](const BandSurface* s) {
            for (uint32_t i = 0; i < s->stride * uint32_t(kBand); i += 61) sum = sum * 31 + s->bits[i];
        });
        return sum;
    }
};

// A field of /proc/self/status in KiB, or -1.
long StatusKib(const char* field)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (kib < 0 && std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, field, std::strlen(field)) == 0) std::sscanf(line + std::strlen(field), ": %ld", &kib);
    std::fclose(status);
    return kib;
}

// How far a child's resident memory rises above what it holds at the start while it reads the page
// and renders it once (KiB): the child's high-water mark is reset first, so what the parent built
// before does not count.
long RenderPeakKib(const std::vector<uint8_t>& page)
{
    int pipe[2];
    if (::pipe(pipe) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        std::FILE* reset = std::fopen("/proc/self/clear_refs", "w");
        if (reset == nullptr || std::fputs("5", reset) < 0 || std::fclose(reset) != 0) _exit(1);
        const long start = StatusKib("VmRSS");
        {
            Job job(page);
            benchmark::DoNotOptimize(job.Render());
        }
        const long grown = StatusKib("VmHWM") - start;
        _exit(start >= 0 && write(pipe[1], &grown, sizeof grown) == sizeof grown ? 0 : 1);
    }
    close(pipe[1]);
    long grown = -1;
    if (read(pipe[0], &grown, sizeof grown) != sizeof grown) grown = -1;
    close(pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? grown : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    AddRace("masked_page_in_bands", "unmasked", [] {
        static Job masked(Page(true)), plain(Page(false));
        return RaceSides{[] { benchmark::DoNotOptimize(masked.Render()); },
                         [] { benchmark::DoNotOptimize(plain.Render()); }};
    });
    AddRace("run_length_page_in_bands", "plain_24bit_rows", [] {
        static Job runLength(StripesPage(true)), plain(StripesPage(false));
        return RaceSides{[] { benchmark::DoNotOptimize(runLength.Render()); },
                         [] { benchmark::DoNotOptimize(plain.Render()); },
                         [] {
                             return runLength.Render() == plain.Render() ? std::string()
                                                                         : std::string("the pages differ");
                         }};
    });
    {
        // The platform's first use (stock objects, the font list) is made here, not in a child.
        Job warm(Page(false));
        benchmark::DoNotOptimize(warm.Render());
    }
    const long maskedKib = RenderPeakKib(Page(true)), plainKib = RenderPeakKib(Page(false));
    std::printf("peak memory of one render: masked %ld KiB, unmasked %ld KiB\n", maskedKib, plainKib);
    if (maskedKib > 0 && plainKib > 0)
        ReportRatio("masked_page_memory", "unmasked", {double(plainKib) / double(maskedKib)}, "peak resident memory");
    return RaceMain(argc, argv);
}
