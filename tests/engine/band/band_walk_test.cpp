#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "band_fixture.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace {

// Where page pixel (x, y) lands on the device page: the turn, then for a mirrored page a flip of
// the device's rows.
POINT DevicePixel(uint32_t orientation, uint32_t mirror, int32_t PW, int32_t PH, int32_t x, int32_t y)
{
    POINT p{};
    int32_t deviceWidth = PW;
    switch (orientation) {
        case 0: p = {x, y}; break;
        case 1: p = {PW - 1 - x, PH - 1 - y}; break;
        case 2:
            p = {y, PW - 1 - x};
            deviceWidth = PH;
            break;  // top edge to the device's left
        default:
            p = {PH - 1 - y, x};
            deviceWidth = PH;
            break;  // top edge to the device's right
    }
    if (mirror) p.x = deviceWidth - 1 - p.x;
    return p;
}

TEST(BandWalk, RectOrientMatchesTurnedPixelsInAllEightCases)
{
    const uint32_t pageSize[2] = {7, 5};
    std::mt19937 random(11);
    for (uint32_t orientation = 0; orientation < 4; ++orientation) {
        for (uint32_t mirror : {0u, 1u}) {
            for (int round = 0; round < 50; ++round) {
                const int32_t l = random() % 7, t = random() % 5;
                const RECT in{l, t, l + 1 + static_cast<int32_t>(random() % (7 - l)),
                              t + 1 + static_cast<int32_t>(random() % (5 - t))};
                // The bounding box of the turned pixels.
                RECT box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
                for (int32_t y = in.top; y < in.bottom; ++y)
                    for (int32_t x = in.left; x < in.right; ++x) {
                        const POINT p = DevicePixel(orientation, mirror, 7, 5, x, y);
                        box = RECT{std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x + 1),
                                   std::max(box.bottom, p.y + 1)};
                    }
                RECT out{};
                RectOrient(orientation, mirror, pageSize, &in, &out);
                ASSERT_TRUE(EqualRect(&out, &box)) << orientation << " " << mirror << " round " << round;
            }
        }
    }
    const RECT in{1, 2, 3, 4};
    RECT untouched{9, 9, 9, 9};
    RectOrient(4, 0, pageSize, &in, &untouched);
    EXPECT_EQ(untouched.left, 9);
}

struct Walk {
    uint32_t direction;
    std::vector<RECT> bands;
};

TEST(BandWalk, IteratorDirectionsAndShortLastBand)
{
    BandLayout layout{};
    layout.bandSize[0] = 40;
    layout.bandSize[1] = 30;
    const uint32_t pageSize[2] = {100, 70};
    const RECT page{0, 0, 100, 70};
    const Walk walks[] = {
        {0, {{0, 0, 100, 30}, {0, 30, 100, 60}, {0, 60, 100, 70}}},
        {1, {{0, 40, 100, 70}, {0, 10, 100, 40}, {0, 0, 100, 10}}},
        {2, {{60, 0, 100, 70}, {20, 0, 60, 70}, {0, 0, 20, 70}}},
        {3, {{0, 0, 40, 70}, {40, 0, 80, 70}, {80, 0, 100, 70}}},
    };
    for (const Walk& walk : walks) {
        BandIterator iterator;
        BandIterInit(&iterator, pageSize, &page, walk.direction, 0);
        std::vector<RECT> bands;
        for (int more = BandIterFirst(&iterator, &layout); more; more = BandIterNext(&iterator, &layout))
            bands.push_back(iterator.band);
        ASSERT_EQ(bands.size(), walk.bands.size()) << walk.direction;
        for (size_t i = 0; i < bands.size(); ++i)
            EXPECT_TRUE(EqualRect(&bands[i], &walk.bands[i])) << walk.direction << " " << i;
        EXPECT_TRUE(iterator.remainder.right <= iterator.remainder.left ||
                    iterator.remainder.bottom <= iterator.remainder.top)
            << walk.direction;
    }
    // An empty page rectangle has no band.
    BandIterator empty;
    const RECT none{5, 5, 5, 9};
    BandIterInit(&empty, pageSize, &none, 0, 0);
    EXPECT_EQ(BandIterFirst(&empty, &layout), 0);
}

// A layout planned for a small page with a 1-bit plane, an inverted 2-bit plane and a plane of
// depth 0.
struct SmallLayout {
    BandJob job{1u << 20};
    BandLayout layout{};
    BandIterator iterator{};
    ImxImageFormat format{};
    SmallLayout(uint32_t orientation = 0)
    {
        format = PlaneFormat(3, 1, 24);
        format.planes[1].depth = 2;
        format.planes[1].flags = IMX_PLANE_FORMAT_INVERTED;
        format.planes[2].depth = 0;
        const uint32_t pageSize[2] = {100, 50};
        const RECT page{0, 0, 100, 50};
        BandIterInit(&iterator, pageSize, &page, orientation, 0);
        const uint32_t resolution[2] = {200, 200};
        ok = BandSetup(job.memory, resolution, &format, 1, &iterator, &layout) == 1;
    }
    ~SmallLayout() { BandSurfacesFree(job.memory, &layout); }
    bool ok = false;
};

TEST(BandWalk, BeginMarksAndClearsPlanes)
{
    SmallLayout small;
    ASSERT_TRUE(small.ok);
    BandLayout& layout = small.layout;
    ASSERT_EQ(layout.bandSize[1], 50u);
    const RECT band{0, 0, 100, 20};
    BandBegin(&layout, &band);
    EXPECT_EQ(layout.band.width, 100u);
    EXPECT_EQ(layout.band.height, 20u);
    EXPECT_NE(BandPlanesActive(&layout), 0u);
    // Paint every buffer, then clear: the inverted plane is 0xFF, the other 0x00, depth 0 untouched.
    std::fill(layout.workBase, layout.workBase + layout.planeBytes, 0x5A);
    BandPlanesClear(&layout);
    EXPECT_EQ(BandPlanesActive(&layout), 0u);
    const ImxPlane& one = layout.band.planes[0];
    const ImxPlane& two = layout.band.planes[1];
    EXPECT_EQ(one.stride, 16u);
    EXPECT_EQ(two.stride, 28u);
    EXPECT_EQ(layout.band.planes[2].data, nullptr);
    EXPECT_EQ(layout.band.planes[2].stride, 0u);
    for (uint32_t i = 0; i < one.height * one.stride; ++i) ASSERT_EQ(one.data[i], 0x00) << i;
    for (uint32_t i = 0; i < two.height * two.stride; ++i) ASSERT_EQ(two.data[i], 0xFF) << i;
    EXPECT_EQ(two.data, one.data + one.height * one.stride);
    const uint8_t* end = two.data + two.height * two.stride;
    EXPECT_EQ(*end, 0x5A);

    // A band of the same size keeps the clean planes clean; a larger one marks them all.
    const RECT same{0, 20, 100, 40};
    BandBegin(&layout, &same);
    EXPECT_EQ(BandPlanesActive(&layout), 0u);
    const RECT smaller{0, 40, 100, 50};
    BandBegin(&layout, &smaller);
    BandPlanesClear(&layout);
    const RECT larger{0, 30, 100, 50};
    BandBegin(&layout, &larger);
    EXPECT_EQ(layout.band.planes[1].dataPresent, 1u);
    EXPECT_EQ(layout.band.planes[2].dataPresent, 1u);
}

// A shorter band moves the inverted plane onto bytes the first plane held: it starts cleared.
TEST(BandWalk, ShorterBandStartsWithEveryPlaneCleared)
{
    SmallLayout small;
    ASSERT_TRUE(small.ok);
    BandLayout& layout = small.layout;
    const RECT full{0, 0, 100, 50};
    BandBegin(&layout, &full);
    BandPlanesClear(&layout);
    // Drawing on the first plane only.
    ImxPlane& one = layout.band.planes[0];
    std::fill(one.data, one.data + one.height * one.stride, 0x5A);
    one.dataPresent = 1;
    BandPlanesClear(&layout);
    std::fill(one.data, one.data + one.height * one.stride, 0x3C);
    one.dataPresent = 1;

    const RECT shorter{0, 0, 100, 20};
    BandBegin(&layout, &shorter);
    BandPlanesClear(&layout);
    const ImxPlane& two = layout.band.planes[1];
    ASSERT_EQ(two.height, 20u);
    ASSERT_EQ(two.data, one.data + 20 * one.stride);
    for (uint32_t i = 0; i < one.height * one.stride; ++i) ASSERT_EQ(one.data[i], 0x00) << i;
    for (uint32_t i = 0; i < two.height * two.stride; ++i) ASSERT_EQ(two.data[i], 0xFF) << i;
}

TEST(BandWalk, PlaneConfigUpdateReLaysOnlyWhatChangesAndFits)
{
    SmallLayout small;
    ASSERT_TRUE(small.ok);
    BandLayout& layout = small.layout;
    const RECT band{0, 0, 100, 50};
    BandBegin(&layout, &band);
    BandPlanesClear(&layout);
    const BandLayout before = layout;
    // Equal once the zero resolutions are read as the job's: nothing changes.
    EXPECT_TRUE(BandPlaneConfigUpdate(&layout, &small.format));
    EXPECT_EQ(0, std::memcmp(&before, &layout, sizeof(layout)));

    ImxImageFormat gray = PlaneFormat(1, 1, 8);
    gray.formatId = OCM_COLOR_GRAY1;
    ASSERT_TRUE(BandPlaneConfigUpdate(&layout, &gray));
    EXPECT_EQ(layout.band.planeCount, 1u);
    EXPECT_EQ(layout.band.planes[0].dataPresent, 1u);
    EXPECT_EQ(layout.band.planes[0].stride, 16u);
    EXPECT_EQ(layout.band.planes[0].data, layout.workBase);
    EXPECT_EQ(layout.planeConfig.planes[0].xResolution, 200u);
    EXPECT_EQ(layout.band.planes[1].data, nullptr);

    // A configuration that needs more than the planned plane bytes is refused and changes nothing.
    const BandLayout kept = layout;
    ImxImageFormat deep = PlaneFormat(4, 8, 32);
    EXPECT_FALSE(BandPlaneConfigUpdate(&layout, &deep));
    EXPECT_EQ(0, std::memcmp(&kept, &layout, sizeof(layout)));
}

TEST(BandWalk, SurfaceMappingAndBandOrigin)
{
    SmallLayout small;
    ASSERT_TRUE(small.ok);
    BandLayout& layout = small.layout;
    const RECT band{0, 10, 100, 30};
    BandBegin(&layout, &band);
    POINT origin{};
    GetViewportOrgEx(layout.colorSurface->drawDC, &origin);
    EXPECT_EQ(origin.y, -10);
    GetViewportOrgEx(layout.maskSurface->drawDC, &origin);
    EXPECT_EQ(origin.y, -10);

    const DcMap map{{4, 6}, {2, 2}, {7, 8}, {1, 1}};
    BandSurfacesMapSet(&layout, &map, 1);
    for (BandSurface* s :
         {layout.colorSurface, layout.maskSurface, layout.secondColorSurface, layout.secondMaskSurface}) {
        ASSERT_NE(s, nullptr);
        POINT p{24, 46};  // page (24, 46) -> ((24 - 4) / 2 + 7, (46 - 6) / 2 + 8 - 10)
        LPtoDP(s->drawDC, &p, 1);
        EXPECT_EQ(p.x, 17);
        EXPECT_EQ(p.y, 18);
    }
    // Without the second pair asked for, the second surfaces keep their mapping.
    const DcMap other{{0, 0}, {1, 1}, {0, 0}, {1, 1}};
    BandSurfacesMapSet(&layout, &other, 0);
    POINT p{24, 46};
    LPtoDP(layout.secondColorSurface->drawDC, &p, 1);
    EXPECT_EQ(p.x, 17);
    p = POINT{24, 46};
    LPtoDP(layout.colorSurface->drawDC, &p, 1);
    EXPECT_EQ(p.x, 24);
    EXPECT_EQ(p.y, 36);
}

TEST(BandWalk, QuarterTurnBandsUseTurnedPlanes)
{
    SmallLayout small(2);
    ASSERT_TRUE(small.ok);
    BandLayout& layout = small.layout;
    ASSERT_EQ(layout.bandSize[1], 50u);
    const RECT band{60, 0, 100, 50};
    BandBegin(&layout, &band);
    EXPECT_EQ(layout.band.x, 0);
    EXPECT_EQ(layout.band.y, 0);
    EXPECT_EQ(layout.band.width, 50u);
    EXPECT_EQ(layout.band.height, 40u);
    const ImxPlane& two = layout.band.planes[1];
    EXPECT_EQ(two.stride, 16u);
    EXPECT_LE(two.data + two.height * two.stride, layout.workBase + layout.planeBytes);
}

}  // namespace
