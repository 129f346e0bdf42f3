#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "band_fixture.h"
#include "engine/job/render_call.h"
#include "platform/user.h"

namespace {

constexpr uint32_t kEightMegabytes = 8u << 20;
constexpr uint32_t kSmallestBudget = 512u << 10;

struct Page {
    const char* name;
    uint32_t resolution[2];
    uint32_t size[2];
};

// A4 (210 x 297 mm) and Letter (8.5 x 11 in) at the fax and printer resolutions; the fax A4 is
// the T.4 line of 1728 pixels.
std::vector<Page> Pages()
{
    std::vector<Page> pages;
    pages.push_back({"A4 fax", {204, 196}, {1728, 2292}});
    for (uint32_t dpi : {200u, 300u, 600u}) {
        pages.push_back({"A4", {dpi, dpi}, {210 * dpi * 10 / 254, 297 * dpi * 10 / 254}});
    }
    for (auto r : {std::pair{204u, 196u}, std::pair{200u, 200u}, std::pair{300u, 300u}, std::pair{600u, 600u}}) {
        pages.push_back({"Letter", {r.first, r.second}, {85 * r.first / 10, 11 * r.second}});
    }
    return pages;
}

struct Config {
    const char* name;
    ImxImageFormat format;
};

std::vector<Config> Configs()
{
    return {
        {"fax 1-bit", PlaneFormat(1, 1, 8)},
        {"four 1-bit planes, 32-bit colour", PlaneFormat(4, 1, 32)},
        {"8-bit grey plane", PlaneFormat(1, 8, 24)},
    };
}

// The resolution mask and multi-resolution planes: a 1-bit plane at the job's resolution and a
// 2-bit one at twice it.
ImxImageFormat DoubleResolution(const uint32_t job[2])
{
    ImxImageFormat format = PlaneFormat(2, 1, 24);
    format.planes[1] = ImxPlaneFormat{2, 0, 2, job[0] * 2, job[1] * 2};
    return format;
}

uint64_t SurfaceBytes(const BandLayout& layout)
{
    uint64_t total = 0;
    for (const BandSurface* s : {layout.colorSurface, layout.maskSurface, layout.secondColorSurface,
                                 layout.secondMaskSurface, layout.resolutionMaskSurface})
        if (s != nullptr) total += s->bytes;
    return total;
}

// Walks the planned bands and checks that they tile the page rectangle in walk order and the
// device page top to bottom, each but the last of the planned size.
void CheckWalk(const BandLayout& layout, BandIterator iterator, uint32_t minimum, uint32_t granule,
               std::vector<uint32_t>* sizes, const std::string& what)
{
    const RECT page = iterator.pageRect;
    const bool quarter = iterator.direction >= 2;
    const uint32_t planned = quarter ? layout.bandSize[0] : layout.bandSize[1];
    const uint32_t deviceWidth = quarter ? layout.pageSize[1] : layout.pageSize[0];
    const uint32_t deviceHeight = quarter ? layout.pageSize[0] : layout.pageSize[1];
    BandLayout walking = layout;
    int64_t area = 0;
    int64_t deviceTop = 0;
    RECT previous{};
    std::vector<RECT> bands;
    for (int more = BandIterFirst(&iterator, &walking); more; more = BandIterNext(&iterator, &walking)) {
        const RECT band = iterator.band;
        RECT inside;
        ASSERT_TRUE(IntersectRect(&inside, &band, &page) && EqualRect(&inside, &band)) << what;
        const uint32_t size = quarter ? band.right - band.left : band.bottom - band.top;
        sizes->push_back(size);
        if (!bands.empty()) {
            // Adjacent to the previous band in the walk's direction.
            switch (iterator.direction) {
                case 0: ASSERT_EQ(band.top, previous.bottom) << what; break;
                case 1: ASSERT_EQ(band.bottom, previous.top) << what; break;
                case 2: ASSERT_EQ(band.right, previous.left) << what; break;
                default: ASSERT_EQ(band.left, previous.right) << what; break;
            }
        }
        // The device page fills top to bottom, whole lines of it per band.
        RECT device;
        RectOrient(layout.orientation, layout.mirror, layout.pageSize, &band, &device);
        ASSERT_EQ(device.top, deviceTop) << what;
        ASSERT_EQ(device.left, 0) << what;
        ASSERT_EQ(device.right, static_cast<LONG>(deviceWidth)) << what;
        deviceTop = device.bottom;
        // The band image that the module receives has the same place.
        BandBegin(&walking, &band);
        ASSERT_EQ(walking.band.x, device.left) << what;
        ASSERT_EQ(walking.band.y, device.top) << what;
        ASSERT_EQ(walking.band.width, static_cast<uint32_t>(device.right - device.left)) << what;
        ASSERT_EQ(walking.band.height, static_cast<uint32_t>(device.bottom - device.top)) << what;
        for (uint32_t i = 0; i < walking.band.planeCount; ++i) {
            const ImxPlane& plane = walking.band.planes[i];
            ASSERT_GE(uint64_t{plane.stride} * 8, uint64_t{plane.width} * plane.depth) << what;
            ASSERT_LE(plane.data + uint64_t{plane.height} * plane.stride, walking.workBase + walking.planeBytes)
                << what;
        }
        area += int64_t{band.right - band.left} * (band.bottom - band.top);
        previous = band;
        bands.push_back(band);
    }
    ASSERT_FALSE(bands.empty()) << what;
    EXPECT_EQ(area, int64_t{page.right - page.left} * (page.bottom - page.top)) << what;
    EXPECT_EQ(deviceTop, static_cast<int64_t>(deviceHeight)) << what;
    for (size_t i = 0; i + 1 < sizes->size(); ++i) {
        EXPECT_EQ((*sizes)[i], planned) << what;
        EXPECT_GE((*sizes)[i], minimum) << what;
        if (granule != 0) {
            EXPECT_EQ((*sizes)[i] % granule, 0u) << what;
        }
    }
    EXPECT_LE(sizes->back(), planned) << what;
}

TEST(BandPlan, A4FaxPageUprightGivesTwoBands)
{
    BandJob job(kEightMegabytes);
    ASSERT_NE(job.memory, nullptr);
    const uint32_t resolution[2] = {204, 196};
    const uint32_t pageSize[2] = {1728, 2292};
    const RECT page{0, 0, 1728, 2292};
    const ImxImageFormat format = PlaneFormat(1, 1, 8);
    BandIterator iterator;
    BandIterInit(&iterator, pageSize, &page, 0, 0);
    BandLayout layout;
    ASSERT_EQ(BandSetup(job.memory, resolution, &format, 0, &iterator, &layout), 1);
    LayoutGuard guard{job.memory, &layout};
    EXPECT_EQ(layout.bandSize[0], 1728u);
    EXPECT_EQ(layout.bandSize[1], 1493u);
    EXPECT_EQ(layout.resolutionCount, 0u);
    EXPECT_EQ(layout.resolutionMaskSurface, nullptr);
    EXPECT_EQ(layout.secondColorSurface, nullptr);
    EXPECT_EQ(layout.secondMaskSurface, nullptr);
    EXPECT_EQ(layout.maskOut, layout.maskSurface->bits);
    EXPECT_EQ(layout.colorOut, layout.colorSurface->bits);
    EXPECT_EQ(layout.band.planes[0].stride, 216u);
    EXPECT_EQ(layout.band.planes[0].data, layout.workBase);
    EXPECT_EQ(layout.planeBytes, 216u * 1493);
    std::vector<uint32_t> sizes;
    CheckWalk(layout, iterator, 8, 0, &sizes, "A4 fax");
    EXPECT_EQ(sizes, (std::vector<uint32_t>{1493, 799}));
}

TEST(BandPlan, PagesOrientationsBudgetsTileAndFit)
{
    for (const Page& p : Pages()) {
        std::vector<Config> configs = Configs();
        configs.push_back({"two resolutions", DoubleResolution(p.resolution)});
        for (const Config& config : configs) {
            // Every budget for the fax configuration; one for the others, which add second
            // surfaces on mirrored pages. (Each set-up allocates its whole budget.)
            const bool fax = &config == &configs.front();
            const std::vector<uint32_t> budgets =
                fax ? std::vector<uint32_t>{kSmallestBudget, 2u << 20, kEightMegabytes}
                    : std::vector<uint32_t>{1u << 20};
            for (uint32_t budget : budgets) {
                {
                    for (uint32_t orientation = 0; orientation < 4; ++orientation) {
                        for (uint32_t mirror : {0u, 1u}) {
                            const uint32_t second = fax ? 0 : mirror;
                            const std::string what = std::string(p.name) + " " + std::to_string(p.resolution[0]) + "x" +
                                                     std::to_string(p.resolution[1]) + " " + config.name + " budget " +
                                                     std::to_string(budget) + " second " + std::to_string(second) +
                                                     " orientation " + std::to_string(orientation) + " mirror " +
                                                     std::to_string(mirror);
                            BandJob job(budget);
                            const RECT page{0, 0, static_cast<LONG>(p.size[0]), static_cast<LONG>(p.size[1])};
                            BandIterator iterator;
                            BandIterInit(&iterator, p.size, &page, orientation, mirror);
                            BandLayout layout;
                            if (BandSetup(job.memory, p.resolution, &config.format, second, &iterator, &layout) != 1) {
                                // Only a budget too small for the minimum band may fail, and it
                                // leaves nothing behind.
                                EXPECT_TRUE(budget == kSmallestBudget || budget == 1u << 20) << what;
                                EXPECT_EQ(SurfaceBytes(layout), 0u) << what;
                                continue;
                            }
                            LayoutGuard guard{job.memory, &layout};
                            EXPECT_LE(SurfaceBytes(layout) + job.memory->workCapacity, job.memory->budget) << what;
                            EXPECT_EQ(layout.secondColorSurface != nullptr, second != 0) << what;
                            EXPECT_EQ(layout.resolutionMaskSurface != nullptr, layout.resolutionCount != 0) << what;
                            std::vector<uint32_t> sizes;
                            CheckWalk(layout, iterator, 8, 0, &sizes, what);
                        }
                    }
                }
            }
        }
    }
}

TEST(BandPlan, HostBandLinesAsGranuleOrFixedSize)
{
    const uint32_t resolution[2] = {300, 300};
    const uint32_t pageSize[2] = {2480, 3507};
    const RECT page{0, 0, 2480, 3507};
    const ImxImageFormat format = PlaneFormat(1, 1, 24);
    for (uint32_t orientation = 0; orientation < 4; ++orientation) {
        for (uint32_t mirror : {0u, 1u}) {
            for (uint32_t budget : {2u << 20, kEightMegabytes}) {
                const std::string what = "orientation " + std::to_string(orientation) + " mirror " +
                                         std::to_string(mirror) + " budget " + std::to_string(budget);
                // A granule: bands a multiple of 64 lines and at least 64.
                BandJob granule(budget, IMO_CAPS_BAND_HEIGHT);
                granule.fake.bandFlags = 1;
                granule.fake.bandLines = 64;
                BandIterator iterator;
                BandIterInit(&iterator, pageSize, &page, orientation, mirror);
                BandLayout layout;
                ASSERT_EQ(BandSetup(granule.memory, resolution, &format, 0, &iterator, &layout), 1) << what;
                EXPECT_EQ(granule.fake.bandLinesAsked, 1);
                {
                    LayoutGuard guard{granule.memory, &layout};
                    EXPECT_LE(SurfaceBytes(layout) + granule.memory->workCapacity, granule.memory->budget) << what;
                    std::vector<uint32_t> sizes;
                    CheckWalk(layout, iterator, 64, 64, &sizes, what + " granule");
                }
                // A fixed size: every band 100 lines (the last cut to the page), whatever the budget.
                BandJob fixed(budget, IMO_CAPS_BAND_HEIGHT);
                fixed.fake.bandLines = 100;
                ASSERT_EQ(BandSetup(fixed.memory, resolution, &format, 0, &iterator, &layout), 1) << what;
                LayoutGuard guard{fixed.memory, &layout};
                EXPECT_EQ(orientation >= 2 ? layout.bandSize[0] : layout.bandSize[1], 100u) << what;
                std::vector<uint32_t> sizes;
                CheckWalk(layout, iterator, 100, 0, &sizes, what + " fixed");
            }
        }
    }
}

struct SetupCase {
    const char* name;
    uint32_t caps;
    uint32_t bandFlags, bandLines;
    uint32_t planeLimit;
    int32_t alignment;
    uint32_t pageHeight;
    uint32_t budget;
    int expected;
    uint32_t bandHeight;  // when it succeeds
};

TEST(BandPlan, MinimumsLimitsAndAlignment)
{
    const uint32_t resolution[2] = {200, 200};
    const ImxImageFormat format = PlaneFormat(1, 1, 24);
    // Line bytes of a 1000-pixel upright band: colour 3000 + mask 128 + plane 128 = 3256.
    const SetupCase cases[] = {
        {"whole page fits", 0, 0, 0, 0, 0, 500, kEightMegabytes, 1, 500},
        {"page below 8 lines", 0, 0, 0, 0, 0, 7, kEightMegabytes, 0, 0},
        {"page of 8 lines", 0, 0, 0, 0, 0, 8, kEightMegabytes, 1, 8},
        {"budget below 8 lines", 0, 0, 0, 0, 0, 500, 4096 * 6, 0, 0},
        {"budget of 9 lines", 0, 0, 0, 0, 0, 500, 4096 * 8, 1, 32768 / 3256},
        {"plane limit", 0, 0, 0, 128 * 50 + 3, 0, 500, kEightMegabytes, 1, 50},
        {"granule", IMO_CAPS_BAND_HEIGHT, 1, 16, 0, 0, 500, 4096 * 16, 1, 16},
        {"page shorter than granule", IMO_CAPS_BAND_HEIGHT, 1, 64, 0, 0, 50, kEightMegabytes, 0, 0},
        {"fixed below 8 is the minimum", IMO_CAPS_BAND_HEIGHT, 0, 4, 0, 0, 500, kEightMegabytes, 1, 4},
        {"band lines need the capability", 0, 0, 4, 0, 0, 500, kEightMegabytes, 1, 500},
        {"aligned page height", IMO_CAPS_TRIM_ALIGN, 0, 0, 0, 32, 500, kEightMegabytes, 1, 512},
        {"alignment needs the capability", 0, 0, 0, 0, 32, 500, kEightMegabytes, 1, 500},
    };
    for (const SetupCase& c : cases) {
        BandJob job(c.budget, c.caps);
        job.fake.bandFlags = c.bandFlags;
        job.fake.bandLines = c.bandLines;
        job.fake.planeLimit = c.planeLimit;
        job.context.scale[3] = c.alignment;
        const uint32_t pageSize[2] = {1000, c.pageHeight};
        const RECT page{0, 0, 1000, static_cast<LONG>(c.pageHeight)};
        BandIterator iterator;
        BandIterInit(&iterator, pageSize, &page, 0, 0);
        BandLayout layout;
        ASSERT_EQ(BandSetup(job.memory, resolution, &format, 0, &iterator, &layout), c.expected) << c.name;
        LayoutGuard guard{job.memory, &layout};
        if (c.expected == 1) {
            EXPECT_EQ(layout.bandSize[1], c.bandHeight) << c.name;
        } else {
            EXPECT_EQ(layout.colorSurface, nullptr) << c.name;
        }
    }
}

TEST(BandPlan, QueriesResolutionsAndFailuresLeaveNothing)
{
    const uint32_t resolution[2] = {300, 300};
    const uint32_t pageSize[2] = {800, 600};
    const RECT page{0, 0, 800, 600};
    BandIterator iterator;
    BandIterInit(&iterator, pageSize, &page, 1, 0);
    BandLayout layout;
    const ImxImageFormat fax = PlaneFormat(1, 1, 8);

    // A plane-limit question that fails fails the set-up; one that is not answered does not.
    BandJob refused(kEightMegabytes);
    refused.fake.limitResult = IMX_ERR_NO_MEMORY;
    EXPECT_EQ(BandSetup(refused.memory, resolution, &fax, 0, &iterator, &layout), 0);
    refused.fake.limitResult = IMX_ERR_QUERY_UNKNOWN;
    EXPECT_EQ(BandSetup(refused.memory, resolution, &fax, 0, &iterator, &layout), 1);
    BandSurfacesFree(refused.memory, &layout);
    BandIterator unknown = iterator;
    unknown.direction = 4;
    EXPECT_EQ(BandSetup(refused.memory, resolution, &fax, 0, &unknown, &layout), 0);
    const uint32_t zero[2] = {0, 300};
    EXPECT_EQ(BandSetup(refused.memory, zero, &fax, 0, &iterator, &layout), 0);

    // Zero resolutions are the job's; eight distinct resolutions fit the list, nine do not.
    ImxImageFormat many = PlaneFormat(8, 1, 24);
    for (uint32_t i = 0; i < 8; ++i) many.planes[i].xResolution = i == 0 ? 0 : 300 + i * 100;
    many.planes[0].yResolution = 300;
    BandJob job(kEightMegabytes);
    ASSERT_EQ(BandSetup(job.memory, resolution, &many, 0, &iterator, &layout), 1);
    EXPECT_EQ(layout.resolutionCount, 8u);
    EXPECT_EQ(layout.planeConfig.planes[0].xResolution, 300u);
    EXPECT_EQ(layout.planeResolutionIndex[0], 0u);
    EXPECT_EQ(layout.planeResolutionIndex[7], 7u);
    EXPECT_NE(layout.resolutionMaskSurface, nullptr);
    EXPECT_EQ(layout.maskSurface->width, 800u * 1000 / 300);
    BandSurfacesFree(job.memory, &layout);
    many.planes[0].xResolution = 250;
    EXPECT_EQ(BandSetup(job.memory, resolution, &many, 0, &iterator, &layout), 0);
    ImxImageFormat tooMany = PlaneFormat(8, 1, 24);
    tooMany.planeCount = 9;
    EXPECT_EQ(BandSetup(job.memory, resolution, &tooMany, 0, &iterator, &layout), 0);

    // An allocation that fails at any point of the set-up leaves no surface behind.
    for (uint32_t failAt = 1; failAt <= 8; ++failAt) {
        BandJob fresh(kEightMegabytes);
        const int64_t before = RenderAllocLiveBlocks();
        RenderAllocFailAt(failAt);
        const int result = BandSetup(fresh.memory, resolution, &fax, 1, &iterator, &layout);
        RenderAllocFailAt(0);
        if (result == 1) {
            BandSurfacesFree(fresh.memory, &layout);
            EXPECT_GE(failAt, 6u);
            continue;
        }
        EXPECT_EQ(layout.colorSurface, nullptr) << failAt;
        EXPECT_EQ(layout.maskSurface, nullptr) << failAt;
        // Only the grown work buffer stays, with the band memory.
        EXPECT_EQ(RenderAllocLiveBlocks() - before, fresh.memory->workBuffer != nullptr ? 1 : 0) << failAt;
    }
}

// Answers and pages at the ends of their ranges fail the set-up instead of wrapping.
TEST(BandPlan, AbsurdAnswersAndPagesFailCleanly)
{
    const uint32_t resolution[2] = {200, 200};
    const ImxImageFormat format = PlaneFormat(1, 1, 24);
    struct Case {
        const char* name;
        uint32_t bandFlags, bandLines, planeLimit;
        uint32_t pageWidth, pageHeight, orientation;
    };
    const Case cases[] = {
        {"widest page", 0, 0, 0, 0x7FFFFFFF, 10, 0},
        {"widest page half-turned", 0, 0, 0, 0x7FFFFFFF, 10, 1},
        {"tallest page quarter-turned", 0, 0, 0, 10, 0x7FFFFFFF, 2},
        {"largest fixed band", 0, 0xFFFFFFFF, 0, 1000, 500, 0},
        {"largest granule", 1, 0xFFFFFFFF, 0, 1000, 500, 3},
        {"plane limit of one byte", 0, 0, 1, 1000, 500, 0},
    };
    for (const Case& c : cases) {
        BandJob job(kEightMegabytes, IMO_CAPS_BAND_HEIGHT);
        job.fake.bandFlags = c.bandFlags;
        job.fake.bandLines = c.bandLines;
        job.fake.planeLimit = c.planeLimit;
        const uint32_t pageSize[2] = {c.pageWidth, c.pageHeight};
        const RECT page{0, 0, static_cast<LONG>(c.pageWidth), static_cast<LONG>(c.pageHeight)};
        BandIterator iterator;
        BandIterInit(&iterator, pageSize, &page, c.orientation, 0);
        BandLayout layout;
        EXPECT_EQ(BandSetup(job.memory, resolution, &format, 0, &iterator, &layout), 0) << c.name;
        EXPECT_EQ(layout.colorSurface, nullptr) << c.name;
        EXPECT_EQ(job.memory->workCapacity, 0u) << c.name;
    }
}

TEST(BandPlan, WorkBufferOnlyGrows)
{
    BandJob job(kEightMegabytes);
    const uint32_t resolution[2] = {200, 200};
    const ImxImageFormat format = PlaneFormat(1, 1, 24);
    BandLayout layout;
    BandIterator iterator;
    uint32_t capacity = 0;
    for (uint32_t width : {400u, 1600u, 800u}) {
        const uint32_t pageSize[2] = {width, 300};
        const RECT page{0, 0, static_cast<LONG>(width), 300};
        BandIterInit(&iterator, pageSize, &page, 1, 0);
        ASSERT_EQ(BandSetup(job.memory, resolution, &format, 0, &iterator, &layout), 1);
        EXPECT_GE(job.memory->workCapacity, capacity);
        capacity = job.memory->workCapacity;
        EXPECT_EQ(layout.workBase, job.memory->workBuffer);
        BandSurfacesFree(job.memory, &layout);
    }
}

TEST(BandPlan, StringFormatIsBounded)
{
    char buffer[8];
    EXPECT_EQ(StringFormat(buffer, sizeof(buffer), "%d", 1234), 4);
    EXPECT_STREQ(buffer, "1234");
    EXPECT_EQ(StringFormat(buffer, sizeof(buffer), "job%d.txt", 123456), -1);
    EXPECT_STREQ(buffer, "job1234");
}

}  // namespace
