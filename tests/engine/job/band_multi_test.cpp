// Bands whose second plane lies at a whole multiple of the job's resolution, through the render
// call with the recording module: every plane, put together from the bands BandAdd received,
// equals the page painted here at that plane's resolution (a job pixel edge e lands on k x e).
// The module's halftone makes the second plane either a tile of its own (drawn with a mask made at
// its resolution) or full ink the same at every resolution (the job's mask doubled at twice the
// resolution, stretched at three times).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/common/output_module.h"
#include "tests/engine/job/render_fixture.h"

namespace {

constexpr uint32_t kJobDpi = 200;
constexpr LONG kWidth = 512, kHeight = 640;
constexpr uint8_t kSameEveryResolution = 0x10;

struct Fill {
    RECT rect;
    std::vector<RECT> clip;  // empty: none
};

// Phases below and above 16, a thin column, and a fill seen only through two clip rectangles.
const std::vector<Fill> kFills = {
    {{21, 13, 301, 77}, {}},
    {{100, 200, 117, 450}, {}},
    {{40, 300, 480, 600}, {{40, 300, 90, 350}, {250, 410, 470, 590}}},
    {{497, 5, 512, 640}, {}},
};

std::vector<uint8_t> RectsBytes(const std::vector<RECT>& rects)
{
    std::vector<uint8_t> out;
    for (const RECT& r : rects)
        for (LONG v : {r.left, r.top, r.right, r.bottom})
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    return out;
}

std::vector<uint8_t> FillsJob()
{
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1}, {"res_x", kJobDpi}, {"res_y", kJobDpi}});
    b.PageBegin({{"width", kWidth}, {"height", kHeight}});
    uint32_t clipId = 0;
    for (const Fill& f : kFills) {
        const RECT& r = f.rect;
        if (f.clip.empty()) {
            b.Add("cmd_rectfill",
                  {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}, {"brush", 0x80000000}});
            continue;
        }
        RECT bounds = f.clip[0];
        for (const RECT& c : f.clip) {
            bounds.left = std::min(bounds.left, c.left);
            bounds.top = std::min(bounds.top, c.top);
            bounds.right = std::max(bounds.right, c.right);
            bounds.bottom = std::max(bounds.bottom, c.bottom);
        }
        b.Add("clip_rects", {{"id", ++clipId},
                             {"left", bounds.left},
                             {"top", bounds.top},
                             {"right", bounds.right},
                             {"bottom", bounds.bottom},
                             {"count", f.clip.size()},
                             {"data", RectsBytes(f.clip)}});
        b.Add("cmd_rect", {{"left", r.left},
                           {"top", r.top},
                           {"right", r.right},
                           {"bottom", r.bottom},
                           {"brush", 0x80000000},
                           {"pen", 0},
                           {"clip", clipId},
                           {"mix", 13}});
    }
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// One 1-bit page per plane, put together from the bands.
struct Planes {
    uint32_t factor[2];  // plane resolution over the job's
    std::vector<uint8_t> bits[2];
    uint32_t stride[2];
    uint32_t bands = 0;
};

void BandCollect(void* user, const ImxImage* band)
{
    auto* planes = static_cast<Planes*>(user);
    ++planes->bands;
    for (uint32_t i = 0; i < 2 && i < band->planeCount; ++i) {
        const ImxPlane& plane = band->planes[i];
        const uint32_t k = planes->factor[i];
        const size_t rowBytes = std::min<size_t>(plane.stride, planes->stride[i]);
        for (uint32_t y = 0; y < plane.height; ++y) {
            const size_t row = size_t(band->y) * k + y;
            if (row >= planes->bits[i].size() / planes->stride[i] || band->x != 0) continue;
            uint8_t* to = planes->bits[i].data() + row * planes->stride[i];
            if (plane.dataPresent == 0 || plane.data == nullptr) std::memset(to, 0, rowBytes);
            else std::memcpy(to, plane.data + size_t(y) * plane.stride, rowBytes);
        }
    }
}

bool Inside(const RECT& r, int64_t x, int64_t y, uint32_t k)
{
    return x >= int64_t(r.left) * k && x < int64_t(r.right) * k && y >= int64_t(r.top) * k && y < int64_t(r.bottom) * k;
}

// The painted page at k times the job's resolution, pixel by pixel.
bool Painted(int64_t x, int64_t y, uint32_t k)
{
    for (const Fill& f : kFills) {
        if (!Inside(f.rect, x, y, k)) continue;
        if (f.clip.empty()) return true;
        for (const RECT& c : f.clip)
            if (Inside(c, x, y, k)) return true;
    }
    return false;
}

TEST(BandMulti, EveryPlaneEqualsThePagePaintedAtItsResolution)
{
    struct Case {
        const char* name;
        uint32_t factor;  // the second plane's resolution over the job's
        uint8_t flags;  // the halftone's second plane: 0 a tile, or the same at every resolution
        uint32_t budget;
    } const cases[] = {
        {"one resolution", 1, 0, 64 * 1024},
        {"twice, a tile drawn at its own resolution", 2, 0, 64 * 1024},
        {"twice, full ink through the doubled mask", 2, kSameEveryResolution, 64 * 1024},
        {"twice, full ink through the doubled mask, one band", 2, kSameEveryResolution, 4 * 1024 * 1024},
        {"three times, a tile drawn at its own resolution", 3, 0, 96 * 1024},
        {"three times, full ink through the stretched mask", 3, kSameEveryResolution, 96 * 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderRun run(FillsJob());
        ImoMediaInfo media{};
        media.mediaFlags = IMO_MEDIA_GRAY_FORMAT_VALID;
        media.xResolution = media.yResolution = kJobDpi;
        media.outputFormat.formatId = OCM_COLOR_GRAY1;
        media.outputFormat.colorBits = 1;
        media.outputFormat.planeCount = 2;
        media.outputFormat.planes[0].depth = 1;
        media.outputFormat.planes[1].depth = 1;
        media.outputFormat.planes[1].xResolution = media.outputFormat.planes[1].yResolution = kJobDpi * c.factor;
        for (uint32_t id : {DEVICE_QUERY_MEDIA, DEVICE_QUERY_MEDIA_PLACED}) {
            run.Answer(id, media);
            run.script->answers[id].mode = FAKE_ANSWER_MEDIA;
        }
        run.Answer(DEVICE_QUERY_CAPS, uint32_t{0});
        run.script->emptySlots = 1u << IMO_SLOT_SHEET_BLANK;
        run.script->halftonePlanes = 2;
        run.script->halftoneFlags[1] = c.flags;
        run.options.bandMemory = c.budget;

        Planes planes{};
        planes.factor[0] = 1;
        planes.factor[1] = c.factor;
        for (uint32_t i = 0; i < 2; ++i) {
            planes.stride[i] = (uint32_t(kWidth) * planes.factor[i] + 7) / 8;
            planes.bits[i].assign(size_t(planes.stride[i]) * size_t(kHeight) * planes.factor[i], 0xA5);
        }
        run.script->bandSink = BandCollect;
        run.script->bandUser = &planes;
        ASSERT_EQ(run.Run(), 0u);
        EXPECT_GT(planes.bands, 0u);
        for (uint32_t i = 0; i < 2; ++i) {
            const uint32_t k = planes.factor[i];
            size_t wrong = 0;
            for (int64_t y = 0; y < int64_t(kHeight) * k; ++y)
                for (int64_t x = 0; x < int64_t(kWidth) * k; ++x) {
                    const bool got = (planes.bits[i][size_t(y) * planes.stride[i] + size_t(x) / 8] >> (7 - x % 8)) & 1;
                    wrong += got != Painted(x, y, k);
                }
            EXPECT_EQ(wrong, 0u) << "plane " << i;
        }
    }
}

}  // namespace
