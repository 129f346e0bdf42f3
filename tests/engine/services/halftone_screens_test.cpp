// The fax module's two generated screens as the module's resources: their sizes, heads, row-0
// starts and histograms, and loading them through the resource source.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "platform/kernel.h"
#include "platform/resources.h"
#include "tests/engine/services/halftone_fixture.h"

FAX_DECLARE_RESOURCE_TABLE(PelvaneHalftones);

namespace {

HMODULE OwnModule()
{
    FaxResourceTableLink_PelvaneHalftones();
    return ModuleFromAddress(reinterpret_cast<const void*>(&OwnModule));
}

struct ScreenCase {
    uint32_t id;
    uint32_t fileSize;
    uint32_t side;
    std::array<uint8_t, 10> rowStart;
};

const ScreenCase kScreens[] = {
    {104, 6428, 80, {255, 251, 134, 119, 53, 253, 230, 191, 83, 18}},
    {105, 25628, 160, {255, 254, 160, 68, 140, 180, 112, 43, 94, 247}},
};

TEST(HalftoneScreens, ResourcesHaveTheirSizesHeadsAndEvenHistograms)
{
    HMODULE module = OwnModule();
    for (const ScreenCase& c : kScreens) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(c.id), "Halftones");
        ASSERT_NE(found, nullptr) << c.id;
        ASSERT_EQ(SizeofResource(module, found), c.fileSize);
        const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
        const std::vector<uint8_t> head =
            HalftoneFile({{0, static_cast<uint16_t>(c.side), static_cast<uint16_t>(c.side), 1, 1, {}}});
        std::vector<uint8_t> expected = head;
        // The entry's size counts the screen's thresholds as well.
        expected[16] = static_cast<uint8_t>((8 + c.side * c.side) & 0xFF);
        expected[17] = static_cast<uint8_t>((8 + c.side * c.side) >> 8);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), bytes)) << c.id;
        const uint8_t* thresholds = bytes + 28;
        EXPECT_TRUE(std::equal(c.rowStart.begin(), c.rowStart.end(), thresholds)) << c.id;
        std::array<uint32_t, 256> histogram{};
        for (uint32_t i = 0; i < c.side * c.side; ++i) ++histogram[thresholds[i]];
        EXPECT_EQ(histogram[0], 0u);
        const auto [low, high] = std::minmax_element(histogram.begin() + 1, histogram.end());
        EXPECT_GE(*low, 1u);
        EXPECT_LE(*high - *low, 1u) << c.id;
        // Blue noise: at half ink no two set cells are horizontal neighbours more often than a
        // random pattern would make them (a quarter of pairs).
        uint32_t pairs = 0;
        uint32_t both = 0;
        for (uint32_t y = 0; y < c.side; ++y)
            for (uint32_t x = 0; x < c.side; ++x) {
                const bool a = 128 >= thresholds[y * c.side + x];
                const bool b = 128 >= thresholds[y * c.side + (x + 1) % c.side];
                ++pairs;
                both += a && b ? 1 : 0;
            }
        EXPECT_LT(both * 100 / pairs, 20u) << c.id;
    }
}

TEST(HalftoneScreens, LoadedFromResourcesTheyHalftoneAtTheirPhase)
{
    HMODULE module = OwnModule();
    ImxImageFormat format{};
    format.formatId = OCM_COLOR_GRAY1;
    format.planeCount = 1;
    format.planes[0].depth = 1;
    const ImxHalftoneRequest request = {0, 1};
    ImxHalftoneSet* set = ImxHalftoneCreate();
    ImxDataSource source = {IMX_SOURCE_RESOURCE, module, "Halftones", 104};
    ASSERT_EQ(ImxHalftoneLoad(set, &source, &format, 1, &request), IMX_OK);
    EXPECT_EQ(set->screens[0].width, 80u);
    EXPECT_EQ(set->screens[0].pitch, 96u);
    TextureHost host;
    auto one = [&](uint8_t sample, int32_t x0) {
        ImxImage image{};
        image.width = 1;
        image.height = 1;
        image.x = x0;
        image.planeCount = 1;
        image.planes[0].stride = 4;
        uint8_t bytes[4] = {sample};
        image.planes[0].data = bytes;
        ImxTexture texture{};
        EXPECT_EQ(ImxHalftoneTextureImage(set, &host.context, &image, &texture), IMX_OK);
        const uint8_t bit = texture.planes[0].data[0] >> 7;
        ImxTextureFree(&host.context, texture.planes[0].data);
        return bit;
    };
    EXPECT_EQ(one(255, 0), 1);
    EXPECT_EQ(one(254, 0), 0);
    EXPECT_EQ(one(250, 81), 0);  // column 1 holds 251
    EXPECT_EQ(one(251, 81), 1);
    EXPECT_EQ(one(251, -79), 1);
    // No entry of depth 2.
    ImxImageFormat deep = format;
    deep.planes[0].depth = 2;
    const ImxHalftoneRequest deepRequest = {0, 2};
    EXPECT_EQ(ImxHalftoneLoad(set, &source, &deep, 1, &deepRequest), IMX_ERR_NOT_FOUND);
    source.resourceId = 106;
    EXPECT_EQ(ImxHalftoneLoad(set, &source, &format, 1, &request), IMX_ERR_NOT_FOUND);
    source.resourceId = 105;
    ASSERT_EQ(ImxHalftoneLoad(set, &source, &format, 1, &request), IMX_OK);
    EXPECT_EQ(set->screens[0].width, 160u);
    ImxHalftoneDestroy(set);
}

}  // namespace
