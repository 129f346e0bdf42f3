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

#include "bench/race.h"
#include "engine/band/band_plan.h"
#include "engine/band/band_surface.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/optimiser.h"
#include "engine/display/page_records.h"
#include "engine/display/resource_budget.h"
#include "engine/display/resource_store.h"
#include "engine/job/output_module.h"
#include "platform/gdi.h"
#include "tests/display/command_records.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

using namespace records;

constexpr int kW = 864, kH = 1100, kBand = 128;

std::vector<uint8_t> BusyPage()
{
    SpoolBuilder b;
    MonoBitmap(b, 70, 864, 240, 1);  // the scanned picture
    MonoBitmap(b, 71, 64, 16, 2);    // glyph-like masks
    std::vector<uint8_t> rects;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 8; ++x) {
            auto r = Le32s({100 + x * 80, 700 + y * 20, 160 + x * 80, 716 + y * 20});
            rects.insert(rects.end(), r.begin(), r.end());
        }
    b.Add("clip_rects", {{"id", 5}, {"left", 100}, {"top", 700}, {"right", 740}, {"bottom", 1100}, {"count", 160},
                         {"data", rects}});
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

struct Job {
    std::unique_ptr<OutputModuleContext> device = std::make_unique<OutputModuleContext>();
    ResourceBudget* budget = nullptr;
    std::unique_ptr<MemoryStream> memory;
    Stream* stream = nullptr;
    ResourceStore* store = nullptr;
    CmdList list{};

    explicit Job(const std::vector<uint8_t>& page)
    {
        device->media.xResolution = device->media.yResolution = 204;
        budget = ResourceBudgetCreate(device.get(), 4096, 0x4000000, 0x8000000);
        memory = std::make_unique<MemoryStream>(page);
        stream = MemoryStreamOpen(memory.get());
        store = ResourceStoreCreate(budget, stream);
        CmdListInit(&list, store, 1);
        PageRecordsRead(&list, stream, nullptr);
    }
    ~Job()
    {
        CmdListDestroyAll(&list);
        ResourceStoreDestroy(store);
        ResourceBudgetDestroy(budget);
        StreamClose(stream);
    }
};

// Every command drawn into each band that it meets, as the band loop's GDI road does; the page's
// pixels are kept for the comparison.
std::vector<uint8_t> Render(const std::vector<uint8_t>& page, bool optimise)
{
    Job job(page);
    if (optimise) {
        BandIterator iterator{};
        CmdListOptimize(&job.list, 0, &iterator);
    }
    std::vector<uint8_t> pixels;
    BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{kW, kBand}, nullptr, 0, 0);
    for (int top = 0; top < kH; top += kBand) {
        BandSurfaceClear(surface, SIZE{kW, kBand});
        SetViewportOrgEx(surface->drawDC, 0, -top, nullptr);
        const RECT band{0, top, kW, std::min(top + kBand, kH)};
        for (CmdNode* n = CmdListFirst(&job.list); n != CmdListEnd(&job.list); n = n->next) {
            const RECT& r = n->bounds;
            if (r.left < band.right && r.right > band.left && r.top < band.bottom && r.bottom > band.top)
                CmdSlotDraw(n, job.store, surface, &band, nullptr);
        }
        BandSurfaceResetDC(surface);
        GdiFlush();
        pixels.insert(pixels.end(), surface->bits, surface->bits + size_t{surface->stride} * kBand);
    }
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
