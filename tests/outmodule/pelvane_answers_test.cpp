// Device answers, the gray conversion against an independent tone curve, and the halftone slots
// with their set-up reaching the texture cache.
#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

#include "engine/services/halftone.h"
#include "tests/support/pelvane_host.h"

namespace {

TEST(PelvaneAnswers, QueriesAnswerFromTheConfigurationAndTheJob)
{
    PelvaneHost host;
    uint32_t word = 0;
    uint32_t size = 4;
    EXPECT_EQ(host.slots.DeviceQuery(host.job, 1, 0, nullptr, &size, &word), IMX_OK);
    EXPECT_EQ(word, 0u);  // the configured sheet repeat is not claimed: the module writes each sheet once
    for (const auto& [id, value] : {std::pair{4u, 5u}, {7u, 150u}, {9u, 300u}}) {
        size = 4;
        EXPECT_EQ(host.slots.DeviceQuery(host.job, id, 0, nullptr, &size, &word), IMX_OK);
        EXPECT_EQ(word, value) << id;
        size = 3;
        EXPECT_EQ(host.slots.DeviceQuery(host.job, id, 0, nullptr, &size, &word), IMX_ERR_BUFFER_TOO_SMALL);
        EXPECT_EQ(size, 4u);
    }
    for (uint32_t id : {2u, 15u}) {
        size = 4;
        EXPECT_EQ(host.slots.DeviceQuery(host.job, id, 0, nullptr, &size, &word), IMX_ERR_QUERY_UNKNOWN);
        EXPECT_EQ(size, 4u);
    }
    ImoMediaRequest request{};
    request.paperCode = 9;
    request.xResolution = 204;
    request.yResolution = 98;
    ImoMediaInfo info{};
    size = 100;
    EXPECT_EQ(host.slots.DeviceQuery(host.job, 5, sizeof request, &request, &size, &info), IMX_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 368u);
    EXPECT_EQ(host.slots.DeviceQuery(host.job, 5, 40, &request, &size, &info), IMX_ERR_ARGUMENT);
    EXPECT_EQ(size, 368u);
    ASSERT_EQ(host.slots.DeviceQuery(host.job, 5, sizeof request, &request, &size, &info), IMX_OK);
    EXPECT_EQ(info.xResolution, 204u);
    EXPECT_EQ(info.yResolution, 98u);
    EXPECT_EQ(info.paperCode, 9);
    EXPECT_EQ(info.feedEdge, 1);
    EXPECT_EQ(info.duplexMode, 1);
    EXPECT_EQ(info.mediaFlags, 4u);
    FaxBlock block({}, 1, 300, 300);
    ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
    ASSERT_EQ(host.slots.DeviceQuery(host.job, 5, sizeof request, &request, &size, &info), IMX_OK);
    EXPECT_EQ(info.xResolution, 300u);
    EXPECT_EQ(info.outputFormat.formatId, OCM_COLOR_GRAY1);
    EXPECT_EQ(info.outputFormat.planeCount, 1u);
    EXPECT_EQ(info.outputFormat.planes[0].depth, 1u);
    host.slots.DocEnd(host.job, 0, nullptr);
}

// The tone curve computed apart from the module: long double, written from the curve's definition.
int CurveValue(int i, int contrast, int brightness)
{
    long double t = (brightness + 50) / 50.0L - 1;
    t /= 1.001L - std::fabs(t);
    const long double exponent = t >= 0 ? 1 / (t + 1) : 1 - t;
    long double s = (contrast + 50) / 50.0L - 1;
    s /= 1.001L - std::fabs(s);
    const long double e = 2 * std::pow(i / 255.0L, exponent) - 1;
    const long double v = s > 0 ? (s + 1) * e / (std::fabs(e) * s + 1) : e / ((1 - std::fabs(e)) * std::fabs(s) + 1);
    return static_cast<int>(std::floor((v + 1) * 127.5L + 0.5L));
}

TEST(PelvaneAnswers, GrayTablesFollowTheToneCurve)
{
    uint16_t tables[3][256];
    for (int contrast : {-25, 0, 25, 50}) {
        for (int brightness : {-25, 0, 25, 50}) {
            ImoGrayTableBuild(tables, static_cast<int16_t>(contrast), static_cast<int16_t>(brightness));
            for (int i = 0; i < 256; ++i) {
                const int f = i == 0 ? 0 : i == 255 ? 255 : CurveValue(i, contrast, brightness);
                EXPECT_EQ(tables[0][i], 74 * f) << contrast << " " << brightness << " " << i;
                EXPECT_EQ(tables[1][i], 155 * f);
                EXPECT_EQ(tables[2][i], 27 * f);
            }
        }
    }
    ImoGrayTableBuild(tables, 0, 0);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(tables[0][i], 74 * i);
}

TEST(PelvaneAnswers, ColoursBecomeInvertedGray)
{
    PelvaneHost host;
    for (const auto& [contrast, brightness] : {std::pair{0, 0}, {50, -50}, {-25, 25}}) {
        ImoGrayTableBuild(host.job->grayTables, static_cast<int16_t>(contrast), static_cast<int16_t>(brightness));
        uint8_t flag = 0;
        uint32_t out = 7;
        const uint8_t white[4] = {255, 255, 255, 0};
        const uint8_t black[4] = {0, 0, 0, 0};
        host.slots.ColorConvertPixel(host.job, OCM_COLOR_BGR24, &flag, 0, white, &out);
        EXPECT_EQ(out, 0u);
        EXPECT_EQ(flag, 255);
        host.slots.ColorConvertPixel(host.job, OCM_COLOR_BGR24, &flag, 0, black, &out);
        EXPECT_EQ(out, 255u);
    }
    ImoGrayTableBuild(host.job->grayTables, 0, 0);
    const uint8_t mid[4] = {128, 128, 128, 0};
    uint32_t out = 0;
    uint8_t flag = 0;
    host.slots.ColorConvertPixel(host.job, OCM_COLOR_BGR24, &flag, 0, mid, &out);
    EXPECT_EQ(out, 127u);
    // Brightness lightens the middle tones; contrast pushes them apart.
    uint8_t neutral = ImoGrayOf(host.job, 100, 100, 100);
    ImoGrayTableBuild(host.job->grayTables, 0, 50);
    EXPECT_LT(ImoGrayOf(host.job, 100, 100, 100), neutral);
    ImoGrayTableBuild(host.job->grayTables, 50, 0);
    EXPECT_GT(ImoGrayOf(host.job, 60, 60, 60), 200);
    EXPECT_LT(ImoGrayOf(host.job, 200, 200, 200), 30);

    // Images: 3-byte BGR, 4-byte BGRx and the alpha copy of format 3.
    ImoGrayTableBuild(host.job->grayTables, 0, 0);
    uint8_t source[2][8] = {{255, 255, 255, 0, 0, 0, 0, 0}, {0, 0, 0, 9, 1, 2, 3, 4}};
    uint8_t destination[2][4] = {};
    ImxImage from{};
    from.width = 2;
    from.height = 2;
    from.planes[0].stride = 8;
    from.planes[0].depth = 32;
    from.planes[0].data = &source[0][0];
    ImxImage to{};
    to.planes[0].stride = 4;
    to.planes[0].data = &destination[0][0];
    from.formatId = OCM_COLOR_BGR32;
    ASSERT_EQ(host.slots.ColorConvertImage(host.job, 0, &from, &to), IMX_OK);
    EXPECT_EQ(destination[0][0], 0);
    EXPECT_EQ(destination[1][0], 255);
    from.formatId = 3;
    ASSERT_EQ(host.slots.ColorConvertImage(host.job, 0, &from, &to), IMX_OK);
    EXPECT_EQ(destination[1][0], 9);
    EXPECT_EQ(destination[1][1], 4);
    from.formatId = OCM_COLOR_BGR24;
    from.planes[0].depth = 24;
    ASSERT_EQ(host.slots.ColorConvertImage(host.job, 0, &from, &to), IMX_OK);
    EXPECT_EQ(destination[0][0], 0);  // 3-byte pixels: the second one is black
    EXPECT_EQ(destination[0][1], 255);
}

TEST(PelvaneAnswers, HalftoneSetFollowsTheResolutionAndTheGivenFile)
{
    for (const auto& [dpi, width] : {std::pair{300, 80u}, {200, 160u}, {600, 160u}}) {
        PelvaneHost host;
        FaxBlock block({}, 1, static_cast<int16_t>(dpi), static_cast<int16_t>(dpi));
        ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
        ASSERT_NE(host.job->halftoneSet, nullptr);
        EXPECT_EQ(host.job->halftoneSet->screens[0].width, width) << dpi;
        host.slots.DocEnd(host.job, 0, nullptr);
        EXPECT_EQ(host.job->halftoneSet, nullptr);
    }
    // A file named in the block; one that does not load falls back to the resources.
    const uint8_t file[] = {'t', 'H', 'v', 'Q', 1, 0, 0, 0, 0, 0, 1, 0, 20, 0,  0,
                            0,   10,  0,   0,   0, 2, 0, 1, 0, 1, 0, 1, 0,  10, 200};
    char name[] = "/tmp/pelvane_htXXXXXX";
    const int fd = mkstemp(name);
    ASSERT_EQ(write(fd, file, sizeof file), static_cast<ssize_t>(sizeof file));
    close(fd);
    for (const auto& [path, width] : {std::pair{std::string(name), 2u}, {std::string("/nonexistent/ht.bin"), 160u}}) {
        PelvaneHost host;
        FaxBlock block({});
        block.Put16(IMO_OEM_HALFTONE_FLAG, 1);
        std::memcpy(&block.bytes[IMO_OEM_HALFTONE_PATH], path.c_str(), path.size() + 1);
        ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
        EXPECT_EQ(host.job->halftoneSet->screens[0].width, width) << path;
        host.slots.DocEnd(host.job, 0, nullptr);
    }
    unlink(name);
}

TEST(PelvaneAnswers, HalftoneSlotsReachTheTextureCache)
{
    PelvaneHost host;
    ImxHalftoneRequest request{};
    (void)request;
    FaxBlock block({}, 1, 300, 300);
    ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
    TextureColorRequest color{};
    color.flag = 3;
    color.color = 128;
    TextureCacheEntry* entry = TextureCacheColorAdd(host.cache, &host.context, &host.job->halftoneFormat, 128, &color);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->kind, 255);
    const ImxPlane& plane = entry->texture.planes[0];
    EXPECT_EQ(plane.width, 80u);
    EXPECT_EQ(plane.stride, 12u);
    const auto* head = reinterpret_cast<const TextureBlockHead*>(plane.data) - 1;
    EXPECT_EQ(std::memcmp(head->tag, "xTmI", 4), 0);
    EXPECT_EQ(head->charge, 12u * 80);
    EXPECT_EQ(host.cache->used, 12u * 80);
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 128), entry);
    // An image through the module's slot: lent, uncharged.
    uint8_t samples[16] = {255, 0, 255, 0};
    const int32_t origin[2] = {0, 0};
    const uint32_t size[2] = {4, 1};
    ImxImageFormat gray8{};
    gray8.formatId = OCM_COLOR_GRAY8;
    gray8.planeCount = 1;
    gray8.planes[0].depth = 8;
    TextureCacheEntry* image = TextureCacheImageAdd(host.cache, &host.context, &gray8, 1, samples, 16, origin, size);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->texture.planes[0].data[0] >> 4, 0xA);  // 255 sets, 0 never does
    EXPECT_EQ(host.cache->used, 12u * 80);
    TextureCacheRelease(host.cache, image);
    host.slots.DocEnd(host.job, 0, nullptr);
    // No halftone set: the slots refuse.
    ImxTexture texture{};
    uint8_t flag = 0;
    const uint8_t value = 9;
    EXPECT_EQ(host.slots.HalftoneColor(host.job, 0, &flag, &value, &texture), IMX_ERR_NO_MEMORY);
}

}  // namespace
