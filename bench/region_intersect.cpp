// The intersection of two clip regions made from paths, as a clip record combining two paths or
// the optimiser cutting a shape by its clip does it: two overlapping discs of over 25,000
// rectangles each (one per row, as GDI hands them back). Ours visits only the rectangles that
// meet; the anchor is the loop over every pair of rectangles. Both results must be equal, rectangle
// for rectangle, before anything is timed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bench/race.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/clip_store.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"

namespace {

constexpr LONG kRadius = 20400;

// A disc as a polygon of many points, read back as region data (banded, one rectangle a row).
std::vector<uint8_t> Disc(LONG cx, LONG cy)
{
    std::vector<POINT> points;
    for (int i = 0; i < 4096; ++i) {
        const double t = 2 * M_PI * i / 4096;
        points.push_back(POINT{cx + static_cast<LONG>(std::lround(kRadius * std::cos(t))),
                               cy + static_cast<LONG>(std::lround(kRadius * std::sin(t)))});
    }
    HRGN region = CreatePolygonRgn(points.data(), static_cast<int>(points.size()), ALTERNATE);
    std::vector<uint8_t> bytes(GetRegionData(region, 0, nullptr));
    GetRegionData(region, static_cast<DWORD>(bytes.size()), reinterpret_cast<RGNDATA*>(bytes.data()));
    DeleteObject(region);
    return bytes;
}

// Every pair of rectangles, a's outer; a rectangle continuing the last one straight down joins it.
std::vector<RECT> EveryPair(const RGNDATAHEADER* a, const RGNDATAHEADER* b)
{
    std::vector<RECT> out;
    const RECT* outer = RegionDataRects(a);
    const RECT* inner = RegionDataRects(b);
    for (uint32_t i = 0; i < a->nCount; ++i) {
        for (uint32_t j = 0; j < b->nCount; ++j) {
            const RECT r{std::max(outer[i].left, inner[j].left), std::max(outer[i].top, inner[j].top),
                         std::min(outer[i].right, inner[j].right), std::min(outer[i].bottom, inner[j].bottom)};
            if (r.left >= r.right || r.top >= r.bottom) continue;
            if (!out.empty() && out.back().left == r.left && out.back().right == r.right && out.back().bottom == r.top)
                out.back().bottom = r.bottom;
            else out.push_back(r);
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    AddRace("path_discs_25k", "every_pair", [] {
        static const std::vector<uint8_t> a = Disc(0, 0);
        static const std::vector<uint8_t> b = Disc(kRadius / 2, kRadius / 3);
        const auto* ha = reinterpret_cast<const RGNDATAHEADER*>(a.data());
        const auto* hb = reinterpret_cast<const RGNDATAHEADER*>(b.data());
        static size_t sink = 0;
        auto ours = [ha, hb] {
            RGNDATAHEADER* made = RegionDataIntersect(ha, hb);
            sink += made != nullptr ? made->nCount : 0;
            RenderFree(made);
        };
        auto anchor = [ha, hb] { sink += EveryPair(ha, hb).size(); };
        auto compare = [ha, hb]() -> std::string {
            RGNDATAHEADER* made = RegionDataIntersect(ha, hb);
            if (made == nullptr) return "ours failed";
            const std::vector<RECT> want = EveryPair(ha, hb);
            std::string differs;
            if (ha->nCount < 25000 || hb->nCount < 25000) differs = "the discs are too small";
            else if (made->nCount != want.size() ||
                     std::memcmp(RegionDataRects(made), want.data(), want.size() * sizeof(RECT)) != 0)
                differs = "the rectangles differ";
            RenderFree(made);
            return differs;
        };
        return RaceSides{ours, anchor, compare};
    });
    return RaceMain(argc, argv);
}
