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

void SinkOutput(void* argument, uint8_t** buffer, uint32_t* size) {
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
    std::vector<uint32_t> bands;  // band heights, repeated; empty: one band
    uint32_t capacity = 4096;
    bool whiteFastPath = true;
    bool nullWhiteBands = false;  // hand all-white bands over as null
    uint32_t extraStride = 0;
};

std::vector<uint8_t> Encode(const JbigImage& image, const EncodeOptions& options = {}) {
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

void ExpectDecodesTo(const std::vector<uint8_t>& bie, const JbigImage& image) {
    JbigImage decoded;
    ASSERT_TRUE(JbigkitDecode(bie, decoded));
    EXPECT_EQ(decoded.width, image.width);
    EXPECT_EQ(decoded.height, image.height);
    EXPECT_TRUE(decoded.rows == image.rows);
}

std::string Hex(const std::vector<uint8_t>& bytes, size_t count) {
    std::string out;
    char text[4];
    for (size_t i = 0; i < std::min(count, bytes.size()); ++i) {
        snprintf(text, sizeof text, "%02X ", bytes[i]);
        out += text;
    }
    return out;
}

TEST(JbigEncoder, MatchesJbigkitOnTextPage) {
    ASSERT_TRUE(JbigkitAvailable());
    const JbigImage page = MakeTextPage(1728, 300, 1);
    const auto ours = Encode(page);
    const auto theirs = JbigkitEncode(page, page.height, true);
    ExpectDecodesTo(ours, page);
    EXPECT_EQ(JbigNormalizeStripeEnds(ours), JbigNormalizeStripeEnds(theirs))
        << Hex(ours, 64) << "\n" << Hex(theirs, 64);
}

}  // namespace
