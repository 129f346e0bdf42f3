// Error diffusion: the built-in method against a plain reference written from its rules, its tone
// on gray levels and ramps, and the service's slots, refusals and plug-in look-up.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "rastrel/imx_errdiff.h"

namespace {

constexpr int kNoise = 14406;

// The method's rules, written out plainly: noise tables, then one serpentine line at a time with
// explicit error arrays indexed from -1 (cell i lives at i + 1).
struct Reference {
    std::vector<int> seq, ramp, curve;
    struct Plane {
        std::vector<int> cur, next;
        int pos = 0;
    };
    std::vector<Plane> planes;

    Reference(int planeCount, int lineWidth)
    {
        std::vector<int> perm(kNoise);
        for (int j = 0; j < kNoise; ++j) perm[j] = static_cast<int>((3041LL + 967LL * j) % kNoise);
        seq.resize(kNoise);
        seq[0] = perm[0];
        for (int k = 0; k + 1 < kNoise; ++k) seq[k + 1] = perm[seq[k]];
        ramp.resize(kNoise);
        for (int k = 0; k < kNoise; ++k) ramp[k] = 128 * k / (kNoise - 1);
        curve.resize(256);
        for (int i = 0; i < 256; ++i) {
            if (i < 16 || i > 240) curve[i] = 0;
            else if (i <= 64 || i >= 192) curve[i] = (112 - std::abs(i - 128)) * 256 / 48;
            else curve[i] = 256;
        }
        for (int p = 0; p < planeCount; ++p) {
            Plane plane;
            plane.cur.assign(lineWidth + 2, 0);
            plane.next.assign(lineWidth + 2, 0);
            int k = 0;
            while (k < kNoise && seq[k] != p) ++k;
            plane.pos = k < kNoise ? (k + 1) % kNoise : p;
            planes.push_back(plane);
        }
    }

    void Line(int p, const uint8_t* samples, uint8_t* out, int width, bool leftToRight)
    {
        Plane& pl = planes[p];
        auto cur = [&](int i) -> int& { return pl.cur[i + 1]; };
        auto next = [&](int i) -> int& { return pl.next[i + 1]; };
        std::vector<int> bits(width, 0);
        const int d = leftToRight ? 1 : -1;
        for (int i = 0; i < width; ++i) {
            const int x = leftToRight ? i : width - 1 - i;
            const int n = seq[pl.pos];
            pl.pos = (pl.pos + 1) % kNoise;
            const int v = 255 - samples[x];
            int e = static_cast<int>(std::floor(cur(x) / 256.0)) + v;
            if (ramp[n] * curve[v] / 256 + e >= 255) {
                bits[x] = 1;
                e -= 255;
            }
            const int fraction = cur(x) - 256 * static_cast<int>(std::floor(cur(x) / 256.0));
            cur(x + d) += fraction + 112 * e;
            next(x + d) = 16 * e;
            next(x) += 80 * e;
            next(x - d) += 48 * e;
            cur(x) = 0;
        }
        if (leftToRight) {
            next(width - 1) += next(width) + cur(width);
            next(width) = cur(width) = 0;
            next(0) += next(-1);
            next(-1) = 0;
        } else {
            next(0) += cur(-1) + next(-1);
            next(-1) = cur(-1) = 0;
            next(width - 1) += next(width);
            next(width) = 0;
        }
        std::swap(pl.cur, pl.next);
        std::memset(out, 0, (width + 7) / 8);
        for (int x = 0; x < width; ++x)
            if (bits[x]) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
};

ImxImageFormat OneBitFormat(uint32_t planeCount, uint32_t depth = 1)
{
    ImxImageFormat format{};
    format.formatId = planeCount == 1 ? OCM_COLOR_GRAY1 : OCM_COLOR_CMYK4;
    format.colorBits = planeCount;
    format.planeCount = planeCount;
    for (uint32_t p = 0; p < planeCount; ++p) format.planes[p].depth = depth;
    return format;
}

// An image of planeCount planes of 8-bit samples and its 1-bit destination.
struct Images {
    std::vector<std::vector<uint8_t>> samples, bits;
    ImxImage source{}, destination{};

    Images(uint32_t planeCount, uint32_t width, uint32_t height, int32_t y = 0)
    {
        samples.assign(planeCount, std::vector<uint8_t>(static_cast<size_t>(width) * height + 1));
        bits.assign(planeCount, std::vector<uint8_t>(static_cast<size_t>((width + 7) / 8) * height + 1, 0xA5));
        source.formatId = OCM_COLOR_CMYK32;
        destination.formatId = planeCount == 1 ? OCM_COLOR_GRAY1 : OCM_COLOR_CMYK4;
        source.y = destination.y = y;
        source.width = destination.width = width;
        source.height = destination.height = height;
        source.planeCount = destination.planeCount = planeCount;
        for (uint32_t p = 0; p < planeCount; ++p) {
            source.planes[p] = ImxPlane{};
            source.planes[p].depth = 8;
            source.planes[p].width = width;
            source.planes[p].height = height;
            source.planes[p].stride = width;
            source.planes[p].data = samples[p].data();
            destination.planes[p] = ImxPlane{};
            destination.planes[p].depth = 1;
            destination.planes[p].width = width;
            destination.planes[p].height = height;
            destination.planes[p].stride = (width + 7) / 8;
            destination.planes[p].data = bits[p].data();
        }
    }
};

ImxErrDiffContext* MakeAmt(uint32_t planeCount, uint32_t lineWidth)
{
    ImxErrDiffConfig config{lineWidth, OneBitFormat(planeCount)};
    return ImxErrDiffCreate(IMX_ERRDIFF_METHOD_AMT, nullptr, &config);
}

size_t Ink(const std::vector<uint8_t>& bits, size_t bytes)
{
    size_t n = 0;
    for (size_t i = 0; i < bytes; ++i) n += static_cast<size_t>(__builtin_popcount(bits[i]));
    return n;
}

TEST(ErrorDiffusion, MatchesTheReferenceOverRandomImagesWidthsAndBands)
{
    std::mt19937 random(2104);
    for (int round = 0; round < 24; ++round) {
        const uint32_t planeCount = std::vector<uint32_t>{1, 3, 4}[round % 3];
        const uint32_t lineWidth = 1 + random() % 300;
        const uint32_t width = 1 + random() % lineWidth;
        ImxErrDiffContext* context = MakeAmt(planeCount, lineWidth);
        ASSERT_NE(context, nullptr);
        Reference reference(static_cast<int>(planeCount), static_cast<int>(lineWidth));
        // Several consecutive bands of one page: errors and noise carry over from band to band.
        int32_t y = static_cast<int32_t>(random() % 3);
        for (int band = 0; band < 3; ++band) {
            const uint32_t height = 1 + random() % 9;
            Images images(planeCount, width, height, y);
            const int kind = static_cast<int>(random() % 3);
            for (auto& plane : images.samples)
                for (auto& s : plane)
                    s = kind == 0   ? static_cast<uint8_t>(random())
                        : kind == 1 ? static_cast<uint8_t>(100 + random() % 60)
                                    : static_cast<uint8_t>(random() % 2 ? 0 : 255);
            ASSERT_EQ(ImxErrDiffImage(context, &images.source, &images.destination), IMX_OK);
            const size_t rowBytes = (width + 7) / 8;
            for (uint32_t p = 0; p < planeCount; ++p) {
                for (uint32_t j = 0; j < height; ++j) {
                    std::vector<uint8_t> expected(rowBytes);
                    reference.Line(static_cast<int>(p), images.samples[p].data() + j * width, expected.data(),
                                   static_cast<int>(width), ((y + static_cast<int32_t>(j)) & 1) == 0);
                    ASSERT_EQ(0, std::memcmp(expected.data(), images.bits[p].data() + j * rowBytes, rowBytes))
                        << "round " << round << " band " << band << " plane " << p << " line " << j << " width "
                        << width;
                }
                EXPECT_EQ(images.bits[p].back(), 0xA5) << "wrote past the destination";
            }
            y += static_cast<int32_t>(height);
        }
        ImxErrDiffDestroy(context);
    }
}

TEST(ErrorDiffusion, WhiteGivesNoInkAndBlackGivesFullInk)
{
    for (const auto& [sample, expected] : {std::pair<uint8_t, uint8_t>{255, 0x00}, {0, 0xFF}}) {
        ImxErrDiffContext* context = MakeAmt(1, 101);
        Images images(1, 101, 8);
        std::memset(images.samples[0].data(), sample, images.samples[0].size());
        ASSERT_EQ(ImxErrDiffImage(context, &images.source, &images.destination), IMX_OK);
        for (uint32_t j = 0; j < 8; ++j) {
            const uint8_t* row = images.bits[0].data() + j * 13;
            for (int i = 0; i < 12; ++i) EXPECT_EQ(row[i], expected) << int(sample);
            EXPECT_EQ(row[12], expected & 0xF8) << "the last byte's padding stays clear";
        }
        ImxErrDiffDestroy(context);
    }
}

TEST(ErrorDiffusion, HalfGrayIsHalfInkBrokenByNoise)
{
    constexpr uint32_t kWidth = 1000, kLines = 64;
    ImxErrDiffContext* context = MakeAmt(1, kWidth);
    Images gray(1, kWidth, kLines);
    std::memset(gray.samples[0].data(), 128, gray.samples[0].size());
    ASSERT_EQ(ImxErrDiffImage(context, &gray.source, &gray.destination), IMX_OK);
    const size_t rowBytes = kWidth / 8;
    for (uint32_t j = 4; j < kLines; ++j) {
        const size_t ink =
            Ink(std::vector<uint8_t>(gray.bits[0].begin() + j * rowBytes, gray.bits[0].begin() + (j + 1) * rowBytes),
                rowBytes);
        EXPECT_NEAR(static_cast<double>(ink), 500.0, 40.0) << "line " << j;
    }
    // Plain Floyd-Steinberg settles on 128 into a regular checkerboard; the noise breaks it up.
    size_t checker = 0;
    for (size_t i = rowBytes * 8; i < rowBytes * kLines; ++i)
        checker += gray.bits[0][i] == 0xAA || gray.bits[0][i] == 0x55;
    EXPECT_LT(checker, rowBytes * (kLines - 8) / 2);
    ImxErrDiffDestroy(context);

    // Samples of 10 (ink 245) lie where the noise weight is 0: the result is pure Floyd-Steinberg,
    // the same as the reference with its noise ramp at zero.
    context = MakeAmt(1, kWidth);
    Images dark(1, kWidth, 16);
    std::memset(dark.samples[0].data(), 10, dark.samples[0].size());
    ASSERT_EQ(ImxErrDiffImage(context, &dark.source, &dark.destination), IMX_OK);
    Reference plain(1, kWidth);
    std::fill(plain.ramp.begin(), plain.ramp.end(), 0);
    for (uint32_t j = 0; j < 16; ++j) {
        std::vector<uint8_t> expected(rowBytes);
        plain.Line(0, dark.samples[0].data() + j * kWidth, expected.data(), kWidth, (j & 1) == 0);
        EXPECT_EQ(0, std::memcmp(expected.data(), dark.bits[0].data() + j * rowBytes, rowBytes)) << j;
    }
    ImxErrDiffDestroy(context);
}

TEST(ErrorDiffusion, MeanInkTracksTheGrayOnARamp)
{
    // Each column block holds one gray level over many lines; its ink fraction follows the level.
    constexpr uint32_t kWidth = 1024, kLines = 256;
    ImxErrDiffContext* context = MakeAmt(1, kWidth);
    Images ramp(1, kWidth, kLines);
    for (uint32_t j = 0; j < kLines; ++j)
        for (uint32_t x = 0; x < kWidth; ++x) ramp.samples[0][j * kWidth + x] = static_cast<uint8_t>(x / 4);
    ASSERT_EQ(ImxErrDiffImage(context, &ramp.source, &ramp.destination), IMX_OK);
    double worst = 0;
    for (uint32_t block = 0; block < 16; ++block) {  // 64 columns, 16 gray levels
        size_t ink = 0;
        double expected = 0;
        for (uint32_t j = 8; j < kLines; ++j)
            for (uint32_t x = block * 64; x < block * 64 + 64; ++x) {
                ink += (ramp.bits[0][j * (kWidth / 8) + x / 8] >> (7 - x % 8)) & 1;
                expected += (255 - ramp.samples[0][j * kWidth + x]) / 255.0;
            }
        worst = std::max(worst, std::fabs(static_cast<double>(ink) - expected) / (64.0 * (kLines - 8)));
    }
    EXPECT_LT(worst, 0.01);
    ImxErrDiffDestroy(context);
}

TEST(ErrorDiffusion, RefusalsAndEmptySlots)
{
    ImxErrDiffConfig twoPlanes{64, OneBitFormat(2)};
    EXPECT_EQ(ImxErrDiffCreate(IMX_ERRDIFF_METHOD_AMT, nullptr, &twoPlanes), nullptr);
    ImxErrDiffConfig eightBit{64, OneBitFormat(1, 8)};
    EXPECT_EQ(ImxErrDiffCreate(IMX_ERRDIFF_METHOD_AMT, nullptr, &eightBit), nullptr);
    EXPECT_EQ(ImxErrDiffCreate(2, nullptr, nullptr), nullptr);

    // Unconfigured, then configured: a refused format leaves -10.
    ImxErrDiffContext* context = ImxErrDiffCreate(IMX_ERRDIFF_METHOD_AMT, nullptr, nullptr);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(ImxErrDiffConfigure(context, &twoPlanes), IMX_ERR_UNSUPPORTED);
    ImxErrDiffConfig good{64, OneBitFormat(1)};
    EXPECT_EQ(ImxErrDiffConfigure(context, &good), IMX_OK);
    EXPECT_EQ(ImxErrDiffConfigure(context, &good), IMX_OK);  // again: the first records are freed
    EXPECT_EQ(ImxErrDiffLoadConfig(context, nullptr, nullptr), IMX_ERR_UNSUPPORTED);

    struct Case {
        const char* what;
        void (*spoil)(Images&);
    };
    const Case cases[] = {
        {"plane count", [](Images& i) { i.destination.planeCount = 3; }},
        {"destination format", [](Images& i) { i.destination.formatId = OCM_COLOR_GRAY8; }},
        {"destination depth", [](Images& i) { i.destination.planes[0].depth = 8; }},
        {"wider than configured", [](Images& i) { i.source.width = 65; }},
        {"source depth", [](Images& i) { i.source.planes[0].depth = 1; }},
        {"short destination rows", [](Images& i) { i.destination.planes[0].stride = 3; }},
        {"shorter destination", [](Images& i) { i.destination.height = 1; }},
        {"no source data", [](Images& i) { i.source.planes[0].data = nullptr; }},
    };
    for (const Case& c : cases) {
        Images images(1, 64, 4);
        std::memset(images.samples[0].data(), 0, images.samples[0].size());
        c.spoil(images);
        EXPECT_EQ(ImxErrDiffImage(context, &images.source, &images.destination), IMX_ERR_UNSUPPORTED) << c.what;
        EXPECT_EQ(images.bits[0][0], 0xA5) << c.what << ": nothing is written";
    }
    ImxErrDiffDestroy(context);

    // Contexts without slots: every operation refuses, nothing is freed.
    ImxErrDiffContext empty{};
    empty.methodId = 9;
    EXPECT_EQ(ImxErrDiffConfigure(&empty, &good), IMX_ERR_UNSUPPORTED);
    Images images(1, 8, 1);
    EXPECT_EQ(ImxErrDiffImage(&empty, &images.source, &images.destination), IMX_ERR_UNSUPPORTED);
    EXPECT_EQ(ImxErrDiffLoadConfig(&empty, nullptr, nullptr), IMX_ERR_UNSUPPORTED);
    ImxErrDiffDestroy(&empty);
}

TEST(ErrorDiffusion, ThePlugInIsFoundAndCalledThroughItsSlots)
{
    HMODULE plugin = LoadLibraryA(FAKE_ETS_PLUGIN);
    ASSERT_NE(plugin, nullptr);
    auto destroyed = FaxProcCast<int (*)()>(GetProcAddress(plugin, "FakeEtsDestroyed"));
    auto loadArgument = FaxProcCast<void* (*)(int)>(GetProcAddress(plugin, "FakeEtsLoadArgument"));
    ASSERT_TRUE(destroyed && loadArgument);

    ImxErrDiffConfig config{200, OneBitFormat(1)};
    ImxErrDiffContext* context = ImxErrDiffCreate(IMX_ERRDIFF_METHOD_ETS, plugin, &config);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->methodId, IMX_ERRDIFF_METHOD_ETS);
    EXPECT_EQ(context->format.formatId, OCM_COLOR_GRAY1);  // the service copies the format first
    Images images(1, 8, 1);
    EXPECT_EQ(ImxErrDiffImage(context, &images.source, &images.destination), 1);
    EXPECT_EQ(ImxErrDiffImage(context, &images.source, &images.destination), 2);
    int first = 0, second = 0;
    EXPECT_EQ(ImxErrDiffLoadConfig(context, &first, &second), 7);
    EXPECT_EQ(loadArgument(0), &first);
    EXPECT_EQ(loadArgument(1), &second);
    const int before = destroyed();
    ImxErrDiffDestroy(context);
    EXPECT_EQ(destroyed(), before + 1);

    // A configuration the plug-in refuses: the context is destroyed and null returned.
    ImxErrDiffConfig refused{13, OneBitFormat(1)};
    EXPECT_EQ(ImxErrDiffCreate(IMX_ERRDIFF_METHOD_ETS, plugin, &refused), nullptr);
    EXPECT_EQ(destroyed(), before + 2);

    // A module without the export gives null.
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_EQ(ImxErrDiffCreate(IMX_ERRDIFF_METHOD_ETS, self, &config), nullptr);
    EXPECT_EQ(ImxErrDiffCreate(IMX_ERRDIFF_METHOD_ETS, nullptr, &config), nullptr);
    EXPECT_TRUE(FreeLibrary(plugin));
}

}  // namespace
