// Halftone sets: every kernel kind against the plain threshold rule over random origins (negative
// ones included) and sizes, colour tiles with their padding, and the loader's sources and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

#include "engine/common/image_format_kind.h"
#include "platform/kernel.h"
#include "tests/engine/services/halftone_fixture.h"

namespace {

struct SetOwner {
    ImxHalftoneSet* set = ImxHalftoneCreate();
    ~SetOwner() { ImxHalftoneDestroy(set); }
};

// A random screen: thresholds per cell sorted highest first.
TestScreen RandomScreen(std::mt19937& random, uint16_t key, uint16_t bits, uint16_t perCell)
{
    TestScreen s{key, static_cast<uint16_t>(1 + random() % 13), static_cast<uint16_t>(1 + random() % 11), perCell, bits,
                 {}};
    for (uint32_t cell = 0; cell < uint32_t{s.width} * s.height; ++cell) {
        std::vector<uint8_t> t(perCell);
        for (auto& v : t) v = static_cast<uint8_t>(1 + random() % 255);
        std::sort(t.rbegin(), t.rend());
        s.thresholds.insert(s.thresholds.end(), t.begin(), t.end());
    }
    return s;
}

ImxImageFormat Format(std::initializer_list<uint32_t> depths)
{
    ImxImageFormat f{};
    f.formatId = 0x4242;
    for (uint32_t d : depths) {
        f.planes[f.planeCount].depth = d;
        f.planes[f.planeCount].colorantId = 10 + f.planeCount;
        ++f.planeCount;
    }
    return f;
}

int64_t Mod(int64_t a, int64_t m) { return ((a % m) + m) % m; }

uint32_t ReferenceLevel(const TestScreen& s, int64_t row, int64_t column, uint8_t sample)
{
    const uint8_t* cell = &s.thresholds[(static_cast<size_t>(row) * s.width + static_cast<size_t>(column)) * s.perCell];
    uint32_t level = 0;
    for (uint32_t k = 0; k < s.perCell; ++k) level += sample >= cell[k] ? 1 : 0;
    return std::min(level, (1u << s.bits) - 1);
}

uint32_t PixelAt(const ImxPlane& plane, uint32_t x, uint32_t y)
{
    const uint32_t bits = plane.depth;
    const uint64_t bit = uint64_t{x} * bits;
    const uint8_t byte = plane.data[static_cast<size_t>(y) * plane.stride + bit / 8];
    return (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

struct KindCase {
    std::vector<uint32_t> depths;
    ImageFormatKind kind;
    uint32_t bytesPerPixel;
};

TEST(HalftoneKernels, EveryKindAgreesWithThePlainThresholdRule)
{
    const KindCase cases[] = {
        {{1}, IMAGE_FORMAT_KIND_1BIT, 1},
        {{2}, IMAGE_FORMAT_KIND_2BIT, 1},
        {{4}, IMAGE_FORMAT_KIND_4BIT, 1},
        {{1, 1, 1}, IMAGE_FORMAT_KIND_3X1BIT, 3},
        {{1, 1, 1, 1}, IMAGE_FORMAT_KIND_4X1BIT, 4},
        {{2, 2, 2, 1}, IMAGE_FORMAT_KIND_2221BIT, 4},
        {{2, 2, 2, 2}, IMAGE_FORMAT_KIND_4X2BIT, 4},
        {{4, 4, 4, 4}, IMAGE_FORMAT_KIND_4X4BIT, 4},
        {{8}, IMAGE_FORMAT_KIND_8BIT, 1},
        {{8, 8, 8, 8}, IMAGE_FORMAT_KIND_4X8BIT, 4},
        {{1, 2}, IMAGE_FORMAT_KIND_OTHER, 2},
    };
    std::mt19937 random(7);
    TextureHost host;
    for (const KindCase& c : cases) {
        for (int round = 0; round < 12; ++round) {
            ImxImageFormat format{};
            format.formatId = 0x77;
            std::vector<TestScreen> screens;
            std::vector<ImxHalftoneRequest> requests;
            for (uint32_t depth : c.depths) {
                format.planes[format.planeCount].depth = depth;
                format.planes[format.planeCount].colorantId = 20 + format.planeCount;
                // The 1-, 2- and 4-bit kernels take 1, 3 and 15 thresholds; 8 bits any count.
                const uint16_t perCell =
                    depth == 8 ? static_cast<uint16_t>(1 + random() % 6) : static_cast<uint16_t>((1u << depth) - 1);
                screens.push_back(RandomScreen(random, static_cast<uint16_t>(format.planeCount),
                                               static_cast<uint16_t>(depth), perCell));
                requests.push_back({format.planeCount, depth});
                ++format.planeCount;
            }
            ASSERT_EQ(ImageFormatKindGet(&format), c.kind);
            const std::vector<uint8_t> file = HalftoneFile(screens);
            SetOwner owner;
            const ImxDataSource source = {IMX_SOURCE_MEMORY, file.data(), nullptr, 0};
            ASSERT_EQ(ImxHalftoneLoad(owner.set, &source, &format, format.planeCount, requests.data()), IMX_OK);

            ImxImage image{};
            image.formatId = 0x55;
            image.width = 1 + random() % 100;
            image.height = 1 + random() % 9;
            image.x = static_cast<int32_t>(random() % 400) - 200;
            image.y = static_cast<int32_t>(random() % 400) - 200;
            image.planeCount = 1;
            image.planes[0].stride = image.width * c.bytesPerPixel + random() % 5;
            std::vector<uint8_t> samples(static_cast<size_t>(image.planes[0].stride) * image.height);
            for (auto& v : samples) v = static_cast<uint8_t>(random());
            image.planes[0].data = samples.data();
            ImxTexture texture{};
            ASSERT_EQ(ImxHalftoneTextureImage(owner.set, &host.context, &image, &texture), IMX_OK);
            ASSERT_EQ(texture.planeCount, format.planeCount);
            EXPECT_EQ(texture.x, image.x);
            EXPECT_EQ(texture.y, image.y);
            for (uint32_t p = 0; p < format.planeCount; ++p) {
                const ImxPlane& plane = texture.planes[p];
                const TestScreen& s = screens[p];
                EXPECT_EQ(plane.depth, c.depths[p]);
                EXPECT_EQ(plane.colorantId, 20 + p);
                EXPECT_EQ(plane.stride, ((image.width * c.depths[p] + 31) & ~31u) / 8);
                for (uint32_t y = 0; y < image.height; ++y) {
                    for (uint32_t x = 0; x < image.width; ++x) {
                        const uint8_t sample =
                            samples[static_cast<size_t>(y) * image.planes[0].stride + x * c.bytesPerPixel + p];
                        const uint32_t want = ReferenceLevel(s, Mod(int64_t{image.y} + y, s.height),
                                                             Mod(int64_t{image.x} + x, s.width), sample);
                        ASSERT_EQ(PixelAt(plane, x, y), want)
                            << "kind " << c.kind << " plane " << p << " at " << x << "," << y;
                    }
                    // The unused low bits of the row's last byte are clear.
                    const uint64_t used = uint64_t{image.width} * plane.depth;
                    if (used % 8 != 0) {
                        const uint8_t last = plane.data[static_cast<size_t>(y) * plane.stride + used / 8];
                        EXPECT_EQ(last & ((1u << (8 - used % 8)) - 1), 0u);
                    }
                }
                ImxTextureFree(&host.context, plane.data);
            }
        }
    }
}

TEST(HalftoneKernels, ColourTilesFillTheirPaddingWithTheRowStart)
{
    std::mt19937 random(11);
    TextureHost host;
    for (uint32_t depth : {1u, 2u, 4u, 8u}) {
        for (int round = 0; round < 6; ++round) {
            const uint16_t perCell = depth == 8 ? 2 : static_cast<uint16_t>((1u << depth) - 1);
            const std::vector<TestScreen> screens = {RandomScreen(random, 0, static_cast<uint16_t>(depth), perCell)};
            const std::vector<uint8_t> file = HalftoneFile(screens);
            ImxImageFormat format = Format({depth});
            SetOwner owner;
            const ImxDataSource source = {IMX_SOURCE_MEMORY, file.data(), nullptr, 0};
            const ImxHalftoneRequest request = {0, depth};
            ASSERT_EQ(ImxHalftoneLoad(owner.set, &source, &format, 1, &request), IMX_OK);
            const uint8_t value = static_cast<uint8_t>(1 + random() % 255);
            ImxTexture texture{};
            ASSERT_EQ(ImxHalftoneTextureColor(owner.set, &host.context, &value, &texture), IMX_OK);
            const ImxPlane& plane = texture.planes[0];
            const TestScreen& s = screens[0];
            ASSERT_EQ(plane.width, s.width);
            ASSERT_EQ(plane.height, s.height);
            ASSERT_EQ(plane.stride, ((s.width * depth + 31) & ~31u) / 8);
            EXPECT_EQ(texture.x, 0);
            EXPECT_EQ(texture.formatId, format.formatId);
            for (uint32_t y = 0; y < s.height; ++y)
                for (uint32_t x = 0; x < plane.stride * 8 / depth; ++x)
                    ASSERT_EQ(PixelAt(plane, x, y), ReferenceLevel(s, y, x % s.width, value)) << depth << " " << x;
            ImxTextureFree(&host.context, plane.data);
        }
    }
}

TEST(HalftoneKernels, BlankPlanesTakeNoMemory)
{
    const std::vector<TestScreen> screens = {{0, 2, 2, 1, 1, {1, 2, 3, 4}}, {1, 2, 2, 1, 1, {1, 2, 3, 4}}};
    const std::vector<uint8_t> file = HalftoneFile(screens);
    ImxImageFormat format = Format({1, 1});
    format.planes[1].flags = IMX_PLANE_FORMAT_INVERTED;
    SetOwner owner;
    const ImxDataSource source = {IMX_SOURCE_MEMORY, file.data(), nullptr, 0};
    const ImxHalftoneRequest requests[2] = {{0, 1}, {1, 1}};
    ASSERT_EQ(ImxHalftoneLoad(owner.set, &source, &format, 2, requests), IMX_OK);
    TextureHost host;
    const uint8_t color[2] = {0, 255};
    ImxTexture texture{};
    ASSERT_EQ(ImxHalftoneTextureColor(owner.set, &host.context, color, &texture), IMX_OK);
    for (const ImxPlane& plane : {texture.planes[0], texture.planes[1]}) {
        EXPECT_EQ(plane.flags, IMX_PLANE_BLANK);
        EXPECT_EQ(plane.data, nullptr);
        EXPECT_EQ(plane.depth, 1);
    }
    EXPECT_EQ(host.cache->used, 0u);
}

std::string TempFile(const std::vector<uint8_t>& bytes)
{
    char name[] = "/tmp/halftone_testXXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    return name;
}

// Files whose every field lies: each fails the load cleanly and keeps the earlier screens.
TEST(HalftoneLoad, BadFilesFailWithTheirStatus)
{
    const std::vector<uint8_t> good = HalftoneFile({{0, 4, 2, 1, 1, {9, 8, 7, 6, 5, 4, 3, 2}}});
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> f = good;
        std::copy(bytes.begin(), bytes.end(), f.begin() + static_cast<ptrdiff_t>(at));
        return f;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        ImxHalftoneRequest request;
        ImxStatus status;
    };
    std::vector<uint8_t> shortFile(good.begin(), good.begin() + 6);
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    std::vector<uint8_t> six = HalftoneFile({{0, 1, 1, 1, 1, {1}},
                                             {1, 1, 1, 1, 1, {1}},
                                             {2, 1, 1, 1, 1, {1}},
                                             {3, 1, 1, 1, 1, {1}},
                                             {4, 1, 1, 1, 1, {1}},
                                             {5, 1, 1, 1, 1, {1}}});
    std::vector<uint8_t> keyFive = HalftoneFile({{5, 1, 1, 1, 1, {1}}});
    const Case cases[] = {
        {"wrong magic", patched(0, {'t', 'H', 'v', 'X'}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"shorter than its head", shortFile, {0, 1}, IMX_ERR_BAD_MAGIC},
        {"more than five entries", six, {0, 1}, IMX_ERR_BAD_MAGIC},
        {"entries past the end", patched(4, {200, 0, 0, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"offset past the end", patched(12, {0, 1, 0, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"screen size past the end", patched(16, {0, 1, 0, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"screen size below its head", patched(16, {4, 0, 0, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"width 0", patched(20, {0, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"height 0", patched(22, {0, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"thresholds per cell 0", patched(24, {0, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"thresholds past the screen", patched(20, {40, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"file cut short", truncated, {0, 1}, IMX_ERR_BAD_MAGIC},
        {"bits per pixel 3", patched(26, {3, 0}), {0, 1}, IMX_ERR_BAD_MAGIC},
        {"no entry of the key", good, {1, 1}, IMX_ERR_NOT_FOUND},
        {"request key 5", keyFive, {5, 1}, IMX_ERR_UNSUPPORTED},
    };
    for (const Case& c : cases) {
        const std::string path = TempFile(c.file);
        SetOwner owner;
        ImxImageFormat format = Format({1});
        const ImxDataSource source = {IMX_SOURCE_FILE, path.c_str(), nullptr, 0};
        EXPECT_EQ(ImxHalftoneLoad(owner.set, &source, &format, 1, &c.request), c.status) << c.what;
        EXPECT_EQ(owner.set->screens[0].matrix, nullptr) << c.what;
        unlink(path.c_str());
    }
    // Bits per pixel that differ from the requested depth.
    {
        const std::vector<uint8_t> file = HalftoneFile({{0, 2, 1, 3, 2, {9, 8, 7, 6, 5, 4}}});
        std::vector<uint8_t> lying = file;
        lying[10] = 1;  // the entry claims depth 1; its screen has 2 bits per pixel
        const std::string path = TempFile(lying);
        SetOwner owner;
        ImxImageFormat format = Format({1});
        const ImxDataSource source = {IMX_SOURCE_FILE, path.c_str(), nullptr, 0};
        const ImxHalftoneRequest request = {0, 1};
        EXPECT_EQ(ImxHalftoneLoad(owner.set, &source, &format, 1, &request), IMX_ERR_ARGUMENT);
        unlink(path.c_str());
    }
}

TEST(HalftoneLoad, SourcesAndRequestsThatDoNotFitTheFormat)
{
    const std::vector<uint8_t> file = HalftoneFile({{0, 3, 2, 1, 1, {1, 2, 3, 4, 5, 6}}});
    const std::string path = TempFile(file);
    ImxImageFormat format = Format({1});
    const ImxHalftoneRequest request = {0, 1};
    {
        SetOwner owner;
        const ImxDataSource source = {IMX_SOURCE_FILE, path.c_str(), nullptr, 0};
        ASSERT_EQ(ImxHalftoneLoad(owner.set, &source, &format, 1, &request), IMX_OK);
        const HalftoneScreen& screen = owner.set->screens[0];
        EXPECT_EQ(screen.width, 3u);
        EXPECT_EQ(screen.pitch, 32u);
        EXPECT_EQ(screen.colorant, 10u);
        // The row continues with its own start.
        EXPECT_EQ(screen.matrix[3], 1);
        EXPECT_EQ(screen.matrix[32 + 4], 5);
        // A second load replaces the screen; a failing one keeps it.
        const ImxDataSource missing = {IMX_SOURCE_FILE, "/nonexistent/halftone.bin", nullptr, 0};
        EXPECT_NE(ImxHalftoneLoad(owner.set, &missing, &format, 1, &request), IMX_OK);
        EXPECT_NE(owner.set->screens[0].matrix, nullptr);
        const ImxDataSource unknown = {7, path.c_str(), nullptr, 0};
        EXPECT_EQ(ImxHalftoneLoad(owner.set, &unknown, &format, 1, &request), IMX_ERR_ARGUMENT);
    }
    {
        // Count or depths that do not describe the format change nothing.
        SetOwner owner;
        const ImxDataSource source = {IMX_SOURCE_MEMORY, file.data(), nullptr, 0};
        const ImxHalftoneRequest two[2] = {{0, 1}, {0, 1}};
        EXPECT_NE(ImxHalftoneLoad(owner.set, &source, &format, 2, two), IMX_OK);
        const ImxHalftoneRequest deep = {0, 2};
        EXPECT_NE(ImxHalftoneLoad(owner.set, &source, &format, 1, &deep), IMX_OK);
        EXPECT_EQ(owner.set->format.planeCount, 0u);
    }
    unlink(path.c_str());
}

}  // namespace
