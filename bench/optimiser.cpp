// The display list optimiser on a busy page: a scanned picture delivered as 96 abutting strips,
// 200 word-like marks painted through masks (XOR fill, AND of a black-and-white bitmap, the fill
// again), 120 XOR, black, XOR sandwiches and solid rectangles cut by a clip of many pieces. Ours
// reads the page, optimises it and draws it band by band through the command table; the anchor
// does the same without the optimiser. Both pages must be equal before anything is timed.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/display_page.h"
#include "bench/race.h"
#include "engine/display/optimiser/optimiser.h"
#include "engine/raster/band_plan.h"
#include "tests/support/command_records.h"
#include "tests/support/spool_builder.h"

namespace {

using namespace records;

constexpr int kW = 864, kH = 1100, kBand = 128;

std::vector<uint8_t> BusyPage()
{
    SpoolBuilder b;
    MonoBitmap(b, 70, 864, 240, 1);  // the scanned picture
    MonoBitmap(b, 71, 64, 16, 2);  // glyph-like masks
    std::vector<uint8_t> rects;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 8; ++x) {
            auto r = records::Le32s({100 + x * 80, 700 + y * 20, 160 + x * 80, 716 + y * 20});
            rects.insert(rects.end(), r.begin(), r.end());
        }
    b.Add("clip_rects",
          {{"id", 5}, {"left", 100}, {"top", 700}, {"right", 740}, {"bottom", 1100}, {"count", 160}, {"data", rects}});
    for (int i = 0; i < 96; ++i) BitBlt(b, {9 * i, 40, 9 * i + 9, 280}, {9 * i, 0}, 70, 0xCCCC);
    for (int i = 0; i < 200; ++i) {
        const int x = 40 + (i % 10) * 80, y = 300 + (i / 10) * 20;
        Rect(b, {x, y, x + 72, y + 18}, 0x80FF0000, 0, 0, 7);
        BitBlt(b, {x + 4, y + 1, x + 68, y + 17}, {0, 0}, 71, 0x8888);
        Rect(b, {x, y, x + 72, y + 18}, 0x80FF0000, 0, 0, 7);
    }
    for (int i = 0; i < 120; ++i) {
        const int x = 40 + (i % 12) * 66, y = 720 + (i / 12) * 36;
        Rect(b, {x, y, x + 60, y + 30}, 0x800000FF, 0, 0, 7);
        RectFill(b, {x + 5, y + 5, x + 40, y + 25}, 0x80000000);
        Rect(b, {x, y, x + 60, y + 30}, 0x800000FF, 0, 0, 7);
    }
    for (int i = 0; i < 4; ++i) Rect(b, {100, 700 + 100 * i, 740, 790 + 100 * i}, 0x80808080, 0, 5, 13);
    b.PageEnd();
    return b.Data();
}

// The page's pixels, drawn with or without the optimiser.
std::vector<uint8_t> Render(const std::vector<uint8_t>& page, bool optimise)
{
    BenchPage job(page, 204, 204);
    if (optimise) {
        BandIterator iterator{};
        CmdListOptimize(&job.list, 0, &iterator);
    }
    std::vector<uint8_t> pixels;
    BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{kW, kBand}, nullptr, 0, 0);
    DrawInBands(job, surface, kW, kH, kBand, [&](const BandSurface* s) {
        pixels.insert(pixels.end(), s->bits, s->bits + size_t{s->stride} * kBand);
    });
    BandSurfaceDestroy(surface);
    return pixels;
}

}  // namespace

int main(int argc, char** argv)
{
    AddRace("busy_page", "unoptimised", [] {
        static const std::vector<uint8_t> page = BusyPage();
        return RaceSides{[] { benchmark::DoNotOptimize(Render(page, true)); },
                         [] { benchmark::DoNotOptimize(Render(page, false)); },
                         [] { return Render(page, true) == Render(page, false) ? std::string() : "pages differ"; }};
    });
    return RaceMain(argc, argv);
}
