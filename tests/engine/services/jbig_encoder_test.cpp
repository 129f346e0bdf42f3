#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/services/jbig_encoder.h"
#include "rastrel/imx.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/jbig_pages.h"

namespace {

// Collects the encoder's output through buffers of a chosen capacity and records the calls.
struct Sink {
    std::vector<uint8_t> buffer;
    std::vector<uint8_t> bytes;
    int nullCalls = 0;
    std::vector<uint32_t> handedSizes;
};

void SinkOutput(void* argument, uint8_t** buffer, uint32_t* size)
{
    auto* sink = static_cast<Sink*>(argument);
    if (*buffer == nullptr) {
        ++sink->nullCalls;
    } else {
        EXPECT_EQ(*buffer, sink->buffer.data());
        sink->bytes.insert(sink->bytes.end(), *buffer, *buffer + *size);
        sink->handedSizes.push_back(*size);
    }
    *buffer = sink->buffer.data();
    *size = static_cast<uint32_t>(sink->buffer.size());
}

struct EncodeOptions {
    uint32_t linesPerStripe = 0;  // 0: the image height
    bool typicalPrediction = true;
    std::vector<uint32_t> bands = {};  // band heights, repeated; empty: one band
    uint32_t capacity = 4096;
    bool whiteFastPath = true;
    bool nullWhiteBands = false;  // hand all-white bands over as null
    uint32_t extraStride = 0;
};

std::vector<uint8_t> Encode(const JbigImage& image, const EncodeOptions& options = {})
{
    Sink sink;
    sink.buffer.resize(options.capacity);
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(image.width, options.typicalPrediction ? 0 : 1, SinkOutput, &sink);
    EXPECT_NE(encoder, nullptr);
    JbigEncoderWhiteFastPathSet(encoder, options.whiteFastPath);
    const uint32_t size[2] = {image.width, image.height};
    EXPECT_EQ(ImxJBIGImageBegin(encoder, size, options.linesPerStripe ? options.linesPerStripe : image.height), 0);
    const uint32_t rowBytes = (image.width + 7) / 8;
    const uint32_t stride = rowBytes + options.extraStride;
    std::vector<uint8_t> band;
    uint32_t y = 0;
    size_t cut = 0;
    while (y < image.height) {
        uint32_t lines = options.bands.empty() ? image.height : options.bands[cut++ % options.bands.size()];
        lines = std::min(lines, image.height - y);
        band.assign(size_t{stride} * lines + 1, 0xA5);  // garbage between the rows
        bool white = true;
        for (uint32_t i = 0; i < lines; ++i) {
            const uint8_t* row = image.rows.data() + size_t{y + i} * rowBytes;
            std::memcpy(band.data() + size_t{i} * stride, row, rowBytes);
            white = white && std::all_of(row, row + rowBytes, [](uint8_t b) { return b == 0; });
        }
        const uint8_t* bytes = options.nullWhiteBands && white ? nullptr : band.data();
        EXPECT_EQ(ImxJBIGImageBandAdd(encoder, bytes, lines, stride), 0);
        y += lines;
    }
    EXPECT_EQ(ImxJBIGImageEnd(encoder), 0);
    ImxJBIGEncoderDeinit(encoder);
    EXPECT_EQ(sink.nullCalls, 1);
    return sink.bytes;
}

void ExpectDecodesTo(const std::vector<uint8_t>& bie, const JbigImage& image)
{
    JbigImage decoded;
    ASSERT_TRUE(JbigkitDecode(bie, decoded));
    EXPECT_EQ(decoded.width, image.width);
    EXPECT_EQ(decoded.height, image.height);
    EXPECT_TRUE(decoded.rows == image.rows);
}

std::string Hex(const std::vector<uint8_t>& bytes, size_t count)
{
    std::string out;
    char text[4];
    for (size_t i = 0; i < std::min(count, bytes.size()); ++i) {
        snprintf(text, sizeof text, "%02X ", bytes[i]);
        out += text;
    }
    return out;
}

JbigImage MakePattern(int pattern, uint32_t width, uint32_t height)
{
    switch (pattern) {
        case 0: return MakeWhitePage(width, height);
        case 1: return MakeBlackPage(width, height);
        case 2: return MakeNoisePage(width, height, width * 31 + height);
        case 3: return MakeRepeatedLinesPage(width, height, width + 7);
        default: return MakeTextPage(width, height, width);
    }
}

const char* const kPatternNames[] = {"white", "black", "noise", "repeated lines", "text"};

int CountStripeEnds(const std::vector<uint8_t>& bie)
{
    int markers = 0;
    for (size_t i = 20; i + 1 < bie.size(); ++i) {
        if (bie[i] == 0xFF) {
            EXPECT_TRUE(bie[i + 1] == 0x00 || bie[i + 1] == 0x02) << "at " << i;
            markers += bie[i + 1] == 0x02;
            ++i;
        }
    }
    return markers;
}

// Every width, stripe height, typical-prediction setting and kind of content: jbigkit decodes our
// data to the input, and its own encoder, set the same way, writes the same bytes.
TEST(JbigEncoder, DecodesAndMatchesJbigkitAcrossWidthsStripesAndContent)
{
    ASSERT_TRUE(JbigkitAvailable());
    const uint32_t widths[] = {1, 7, 8, 31, 32, 33, 63, 64, 65, 1654, 1726, 1728, 2480};
    const uint32_t height = 23;
    for (uint32_t width : widths) {
        for (int pattern = 0; pattern < 5; ++pattern) {
            const JbigImage image = MakePattern(pattern, width, pattern == 4 ? 80 : height);
            for (uint32_t l0 : {1u, 2u, 3u, image.height}) {
                for (bool tp : {true, false}) {
                    SCOPED_TRACE(testing::Message() << "width " << width << ", " << kPatternNames[pattern] << ", L0 "
                                                    << l0 << ", TP " << tp);
                    EncodeOptions options;
                    options.linesPerStripe = l0;
                    options.typicalPrediction = tp;
                    const auto ours = Encode(image, options);
                    ExpectDecodesTo(ours, image);
                    const auto theirs = JbigkitEncode(image, l0, tp);
                    ASSERT_EQ(JbigNormalizeStripeEnds(ours), JbigNormalizeStripeEnds(theirs)) << Hex(ours, 48) << "\n"
                                                                                              << Hex(theirs, 48);
                    EXPECT_EQ(CountStripeEnds(ours), static_cast<int>((image.height + l0 - 1) / l0));
                }
            }
        }
    }
}

// Random pages: random widths (most not a multiple of 8), heights and stripe heights, ink from
// a pixel in a few hundred to every other pixel, scattered or in runs that repeat rows (so that
// contexts repeat, white runs end anywhere and typical rows come and go), both typical-prediction
// settings: jbigkit decodes our data to the page and writes the same bytes.
TEST(JbigEncoder, RandomPagesMatchJbigkit)
{
    ASSERT_TRUE(JbigkitAvailable());
    std::mt19937 generator(2024);
    const auto random = [&generator] { return static_cast<uint32_t>(generator()); };
    for (int round = 0; round < 60; ++round) {
        const uint32_t width = 1 + random() % 700;
        const uint32_t height = 1 + random() % 40;
        const uint32_t rowBytes = (width + 7) / 8;
        const uint32_t inkIn = 2u << (random() % 9);  // one pixel in 2 .. 512 starts ink
        const uint32_t runMax = 1 + random() % 12;
        JbigImage page{width, height, std::vector<uint8_t>(size_t{rowBytes} * height, 0)};
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = page.rows.data() + size_t{y} * rowBytes;
            if (y > 0 && random() % 4 == 0) {
                std::memcpy(row, row - rowBytes, rowBytes);  // a typical row
                continue;
            }
            for (uint32_t x = 0; x < width;) {
                if (random() % inkIn != 0) {
                    ++x;
                    continue;
                }
                for (uint32_t end = std::min(width, x + 1 + random() % runMax); x < end; ++x) {
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                }
            }
        }
        for (bool tp : {true, false}) {
            const uint32_t l0 = random() % 3 == 0 ? 1 + random() % height : height;
            SCOPED_TRACE(testing::Message() << "round " << round << ", " << width << " x " << height << ", ink 1 in "
                                            << inkIn << ", L0 " << l0 << ", TP " << tp);
            const auto ours = Encode(page, {.linesPerStripe = l0,
                                            .typicalPrediction = tp,
                                            .bands = {1 + static_cast<uint32_t>(round) % 17}});
            ExpectDecodesTo(ours, page);
            ASSERT_EQ(JbigNormalizeStripeEnds(ours), JbigNormalizeStripeEnds(JbigkitEncode(page, l0, tp)));
        }
    }
}

TEST(JbigEncoder, FullPagesMatchJbigkit)
{
    for (int pattern : {2, 4}) {
        const JbigImage page = pattern == 4 ? MakeTextPage(1728, 2200, 5) : MakeNoisePage(1728, 300, 5);
        const auto ours = Encode(page, {.bands = {64}});
        ExpectDecodesTo(ours, page);
        EXPECT_EQ(JbigNormalizeStripeEnds(ours), JbigNormalizeStripeEnds(JbigkitEncode(page, page.height, true)));
    }
    const JbigImage letter = MakeMostlyWhitePage(1728, 2200, 9);
    const auto ours = Encode(letter, {.linesPerStripe = 128, .bands = {100}});
    ExpectDecodesTo(ours, letter);
    EXPECT_EQ(JbigNormalizeStripeEnds(ours), JbigNormalizeStripeEnds(JbigkitEncode(letter, 128, true)));
    const JbigImage form = MakeFormPage(1728, 1200, 10);
    const auto formBytes = Encode(form, {.bands = {64}});
    ExpectDecodesTo(formBytes, form);
    EXPECT_EQ(JbigNormalizeStripeEnds(formBytes), JbigNormalizeStripeEnds(JbigkitEncode(form, form.height, true)));
}

// A photo through an ordered dither: every pixel busy, contexts repeating with the screen, solid
// black where one context follows itself pixel after pixel, and whole stripes of coded bytes with
// their carries; the kind of page whose pixels are coded in whole busy groups.
JbigImage MakeDitheredPage(uint32_t width, uint32_t height, uint32_t seed)
{
    static const uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    std::mt19937 generator(seed);
    const uint32_t rowBytes = (width + 7) / 8;
    JbigImage page{width, height, std::vector<uint8_t>(size_t{rowBytes} * height, 0)};
    const uint32_t cx = width / 2 + generator() % 64, cy = height / 2 + generator() % 64;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t dx = x > cx ? x - cx : cx - x, dy = y > cy ? y - cy : cy - y;
            uint32_t grey = (x * 7 + y * 3 + (dx * dx + dy * dy) / 64) % 18;  // 16 and 17 are solid black
            grey += generator() % 3 == 0 ? 1 : 0;  // a little grain
            if (grey > kBayer[y % 4][x % 4]) {
                page.rows[size_t{y} * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    return page;
}

TEST(JbigEncoder, DitheredPagesMatchJbigkit)
{
    ASSERT_TRUE(JbigkitAvailable());
    const struct {
        uint32_t width, height, linesPerStripe;
    } cases[] = {{1728, 400, 400}, {1725, 300, 128}, {64, 200, 1}, {95, 120, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", L0 " << c.linesPerStripe);
        const JbigImage page = MakeDitheredPage(c.width, c.height, c.width + c.height);
        for (bool tp : {true, false}) {
            const auto ours =
                Encode(page, {.linesPerStripe = c.linesPerStripe, .typicalPrediction = tp, .bands = {64}});
            ExpectDecodesTo(ours, page);
            ASSERT_EQ(JbigNormalizeStripeEnds(ours),
                      JbigNormalizeStripeEnds(JbigkitEncode(page, c.linesPerStripe, tp)));
            EXPECT_EQ(ours,
                      Encode(page,
                             {.linesPerStripe = c.linesPerStripe, .typicalPrediction = tp, .whiteFastPath = false}));
        }
    }
}

// The bytes do not depend on how the lines are cut into bands, on white bands handed over as
// null, on the stride, or on the capacity of the output buffers.
TEST(JbigEncoder, OutputIndependentOfBandsNullBandsAndBufferCapacity)
{
    JbigImage page = MakeMostlyWhitePage(1728, 400, 3);
    const JbigImage text = MakeTextPage(1728, 200, 4);
    std::copy(text.rows.begin(), text.rows.end(), page.rows.begin() + page.rows.size() / 2);
    const auto reference = Encode(page, {.linesPerStripe = 37});
    ExpectDecodesTo(reference, page);
    const EncodeOptions variants[] = {
        {.linesPerStripe = 37, .bands = {1}},
        {.linesPerStripe = 37, .bands = {3, 64, 7, 1, 128}},
        {.linesPerStripe = 37, .bands = {37}, .nullWhiteBands = true},
        {.linesPerStripe = 37, .bands = {5, 16}, .nullWhiteBands = true, .extraStride = 13},
        {.linesPerStripe = 37, .capacity = 1},
        {.linesPerStripe = 37, .capacity = 2},
        {.linesPerStripe = 37, .capacity = 20},
        {.linesPerStripe = 37, .bands = {16}, .capacity = 21, .nullWhiteBands = true},
        {.linesPerStripe = 37, .capacity = 32768},
    };
    for (const EncodeOptions& options : variants) {
        EXPECT_EQ(Encode(page, options), reference);
    }
}

TEST(JbigEncoder, EveryFullBufferIsHandedOverWithItsCapacity)
{
    const JbigImage page = MakeNoisePage(300, 50, 8);
    for (uint32_t capacity : {1u, 20u, 21u, 1000u}) {
        Sink sink;
        sink.buffer.resize(capacity);
        ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(300, 0, SinkOutput, &sink);
        const uint32_t size[2] = {300, 50};
        ASSERT_EQ(ImxJBIGImageBegin(encoder, size, 50), 0);
        if (capacity == 20) {
            // The header fills the buffer exactly: it goes over at once.
            ASSERT_EQ(sink.handedSizes.size(), 1u);
            EXPECT_EQ(sink.handedSizes[0], 20u);
        }
        ASSERT_EQ(ImxJBIGImageBandAdd(encoder, page.rows.data(), 50, 38), 0);
        ASSERT_EQ(ImxJBIGImageEnd(encoder), 0);
        ImxJBIGEncoderDeinit(encoder);
        ASSERT_GE(sink.handedSizes.size(), 1u);
        for (size_t i = 0; i + 1 < sink.handedSizes.size(); ++i) {
            EXPECT_EQ(sink.handedSizes[i], capacity);
        }
        EXPECT_GE(sink.handedSizes.back(), 1u);
        EXPECT_LE(sink.handedSizes.back(), capacity);
        EXPECT_EQ(sink.nullCalls, 1);
    }
}

TEST(JbigEncoder, WhiteFastPathGivesTheBytesOfPixelByPixelCoding)
{
    const JbigImage pages[] = {MakeTextPage(1728, 600, 11), MakeMostlyWhitePage(2480, 500, 12),
                               MakeWhitePage(65, 40),       MakeRepeatedLinesPage(100, 90, 13),
                               MakeBlackPage(1728, 30),     MakeFormPage(1728, 400, 14),
                               MakeFormPage(333, 200, 15)};
    for (const JbigImage& page : pages) {
        for (bool tp : {true, false}) {
            EXPECT_EQ(Encode(page, {.typicalPrediction = tp, .whiteFastPath = false}),
                      Encode(page, {.typicalPrediction = tp}));
        }
    }
}

TEST(JbigEncoder, HeaderOfAFaxPage)
{
    const auto bie = Encode(MakeWhitePage(1728, 2200));
    const std::vector<uint8_t> expected = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0xC0, 0x00, 0x00,
                                           0x08, 0x98, 0x00, 0x00, 0x08, 0x98, 0x00, 0x00, 0x03, 0x48};
    ASSERT_GE(bie.size(), 20u);
    EXPECT_EQ(std::vector<uint8_t>(bie.begin(), bie.begin() + 20), expected);
    const auto noTp = Encode(MakeWhitePage(8, 3), {.typicalPrediction = false});
    EXPECT_EQ(noTp[19], 0x40);
}

TEST(JbigEncoder, AllWhitePageIsItsHeaderAndOneStripeEnd)
{
    const auto bie = Encode(MakeWhitePage(1728, 2200), {.nullWhiteBands = true});
    ASSERT_EQ(bie.size(), 22u) << Hex(bie, 40);
    EXPECT_EQ(Encode(MakeWhitePage(1728, 2200), {.bands = {100}}), bie);
    EXPECT_EQ(bie[20], 0xFF);
    EXPECT_EQ(bie[21], 0x02);
}

TEST(JbigEncoder, PaddingBitsPastTheWidthChangeNothing)
{
    for (uint32_t width : {1u, 7u, 33u, 1654u}) {
        const JbigImage clean = MakeTextPage(width, 60, width);
        JbigImage dirty = clean;
        const uint32_t rowBytes = (width + 7) / 8;
        if (width % 8 != 0) {
            for (uint32_t y = 0; y < dirty.height; ++y) {
                dirty.rows[y * rowBytes + rowBytes - 1] |= static_cast<uint8_t>(0xFF >> (width % 8));
            }
        }
        // The band's stride leaves garbage bytes between rows as well (EncodeOptions::extraStride).
        EXPECT_EQ(Encode(dirty, {.bands = {7}, .extraStride = 5}), Encode(clean));
    }
}

TEST(JbigEncoder, MissingLinesAreWhiteAndExtraLinesIgnored)
{
    const JbigImage page = MakeNoisePage(77, 40, 21);
    const uint32_t rowBytes = 10;
    // Only 25 of the 40 rows are added: the rest is coded white.
    JbigImage shortened = page;
    std::fill(shortened.rows.begin() + 25 * rowBytes, shortened.rows.end(), 0);
    Sink sink;
    sink.buffer.resize(64);
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(100, 0, SinkOutput, &sink);
    const uint32_t size[2] = {77, 40};
    ASSERT_EQ(ImxJBIGImageBegin(encoder, size, 16), 0);
    ASSERT_EQ(ImxJBIGImageBandAdd(encoder, page.rows.data(), 25, rowBytes), 0);
    ASSERT_EQ(ImxJBIGImageEnd(encoder), 0);
    EXPECT_EQ(sink.bytes, Encode(shortened, {.linesPerStripe = 16}));
    ExpectDecodesTo(sink.bytes, shortened);

    // 60 rows for an image of 40: the last 20 are ignored.
    JbigImage longer = MakeNoisePage(77, 60, 22);
    sink.bytes.clear();
    ASSERT_EQ(ImxJBIGImageBegin(encoder, size, 16), 0);
    ASSERT_EQ(ImxJBIGImageBandAdd(encoder, longer.rows.data(), 30, rowBytes), 0);
    ASSERT_EQ(ImxJBIGImageBandAdd(encoder, longer.rows.data() + 30 * rowBytes, 30, rowBytes), 0);
    ASSERT_EQ(ImxJBIGImageEnd(encoder), 0);
    JbigImage first40 = longer;
    first40.height = 40;
    first40.rows.resize(40 * rowBytes);
    EXPECT_EQ(sink.bytes, Encode(first40, {.linesPerStripe = 16}));
    ImxJBIGEncoderDeinit(encoder);
}

TEST(JbigEncoder, ImagesFollowOneAnotherOnOneEncoder)
{
    const JbigImage first = MakeTextPage(1728, 120, 31);
    const JbigImage second = MakeNoisePage(900, 30, 32);
    Sink sink;
    sink.buffer.resize(500);
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(1728, 0, SinkOutput, &sink);
    for (const JbigImage* image : {&first, &second, &first}) {
        sink.bytes.clear();
        const uint32_t size[2] = {image->width, image->height};
        ASSERT_EQ(ImxJBIGImageBegin(encoder, size, image->height), 0);
        ASSERT_EQ(ImxJBIGImageBandAdd(encoder, image->rows.data(), image->height, (image->width + 7) / 8), 0);
        ASSERT_EQ(ImxJBIGImageEnd(encoder), 0);
        EXPECT_EQ(sink.bytes, Encode(*image));
    }
    EXPECT_EQ(sink.nullCalls, 3);
    ImxJBIGEncoderDeinit(encoder);
}

TEST(JbigEncoder, RejectsBadImagesAndCalls)
{
    Sink sink;
    sink.buffer.resize(64);
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(64, 0, SinkOutput, &sink);
    ASSERT_NE(encoder, nullptr);
    const uint32_t sizes[][3] = {{65, 10, 10}, {0, 10, 10}, {64, 0, 10}, {64, 10, 0}};
    for (const auto& s : sizes) {
        const uint32_t size[2] = {s[0], s[1]};
        EXPECT_EQ(ImxJBIGImageBegin(encoder, size, s[2]), IMX_ERR_ARGUMENT);
    }
    EXPECT_EQ(ImxJBIGImageBegin(encoder, nullptr, 1), IMX_ERR_ARGUMENT);
    EXPECT_EQ(ImxJBIGImageBandAdd(encoder, nullptr, 1, 8), IMX_ERR_ARGUMENT);  // no image begun
    EXPECT_EQ(ImxJBIGImageEnd(encoder), IMX_ERR_ARGUMENT);
    EXPECT_TRUE(sink.bytes.empty());
    EXPECT_EQ(sink.nullCalls, 0);
    ImxJBIGEncoderDeinit(encoder);
    EXPECT_EQ(ImxJBIGEncoderInit(64, 0, nullptr, nullptr), nullptr);
    ImxJBIGEncoderDeinit(nullptr);
}

void RefuseBuffer(void*, uint8_t** buffer, uint32_t* size)
{
    *buffer = nullptr;
    *size = 0;
}

// A callback that hands back no buffer loses the image; the encoder says so instead of writing
// through a null pointer.
TEST(JbigEncoder, CallbackWithoutBufferFailsTheImage)
{
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(64, 0, RefuseBuffer, nullptr);
    const uint32_t size[2] = {64, 4};
    EXPECT_EQ(ImxJBIGImageBegin(encoder, size, 4), IMX_ERR_WRITE);
    EXPECT_EQ(ImxJBIGImageBandAdd(encoder, nullptr, 4, 8), IMX_ERR_WRITE);
    EXPECT_EQ(ImxJBIGImageEnd(encoder), IMX_ERR_WRITE);
    ImxJBIGEncoderDeinit(encoder);
}

}  // namespace
