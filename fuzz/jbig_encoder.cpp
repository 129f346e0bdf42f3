// Random images and band cuts through the JBIG encoder: jbigkit must decode every image to exactly
// its input (padding bits cleared), jbigkit's own encoder set the same way must write the same
// bytes once the zero bytes our flush may leave before a stripe's end are dropped, and the bytes
// must not depend on the band cuts, null white bands or the output buffer.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/services/jbig_encoder.h"
#include "rastrel/imx.h"
#include "tests/support/jbig_oracle.h"

namespace {

struct Sink {
    std::vector<uint8_t> buffer;
    std::vector<uint8_t> bytes;
};

void SinkOutput(void* argument, uint8_t** buffer, uint32_t* size)
{
    auto* sink = static_cast<Sink*>(argument);
    if (*buffer != nullptr) {
        sink->bytes.insert(sink->bytes.end(), *buffer, *buffer + *size);
    }
    *buffer = sink->buffer.data();
    *size = static_cast<uint32_t>(sink->buffer.size());
}

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint32_t Byte() { return pos < size ? data[pos++] : 0; }
};

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6 || !JbigkitAvailable()) {
        return 0;
    }
    Reader in{data, size};
    // One read a statement: the order of an operator's operands is the compiler's choice, and the
    // corpus must mean the same under clang's fuzzing runs and the g++ replay.
    const uint32_t widthHigh = in.Byte();
    const uint32_t width = 1 + ((widthHigh << 8 | in.Byte()) % 700);
    const uint32_t height = 1 + in.Byte() % 48;
    const uint32_t linesPerStripe = 1 + in.Byte() % (height + 2);
    const uint32_t flags = in.Byte();
    const bool typicalPrediction = (flags & 1) != 0;
    const bool nullWhiteBands = (flags & 2) != 0;
    const uint32_t capacity = 1 + (in.Byte() * 7) % 300;
    const uint32_t contentKind = (flags >> 2) & 3;
    const uint32_t stride = (width + 7) / 8 + ((flags >> 4) & 7);

    // The image: the remaining bytes cycled into rows, made sparse or repetitive by the flags.
    const uint32_t rowBytes = (width + 7) / 8;
    JbigImage image;
    image.width = width;
    image.height = height;
    image.rows.assign(size_t{rowBytes} * height, 0);
    std::vector<uint8_t> band(size_t{stride} * height + 1, 0);
    const size_t payload = size - in.pos;
    size_t next = 0;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t i = 0; i < stride; ++i) {
            uint8_t value = payload ? data[in.pos + next++ % payload] : 0;
            if (contentKind == 1 && (value & 0x0F) != 0) {
                value = 0;  // mostly white
            }
            if (contentKind == 2 && y % 5 != 0) {
                value = band[size_t{y - y % 5} * stride + i];  // repeated lines
            }
            if (contentKind == 3 && (y & 4) != 0) {
                value = 0;  // white bands between content
            }
            band[size_t{y} * stride + i] = value;
            if (i < rowBytes) {
                uint8_t clean = value;
                if (i == rowBytes - 1 && width % 8 != 0) {
                    clean &= static_cast<uint8_t>(0xFF << (8 - width % 8));
                }
                image.rows[size_t{y} * rowBytes + i] = clean;
            }
        }
    }

    auto encode = [&](bool cutBands, uint32_t bufferCapacity, bool fastPath) {
        Sink sink;
        sink.buffer.resize(bufferCapacity);
        ImxJBIGEncoder* encoder =
            ImxJBIGEncoderInit(width + (flags >> 7) * 13, typicalPrediction ? 0 : 1, SinkOutput, &sink);
        Check(encoder != nullptr);
        JbigEncoderWhiteFastPathSet(encoder, fastPath);
        const uint32_t imageSize[2] = {width, height};
        Check(ImxJBIGImageBegin(encoder, imageSize, linesPerStripe) == 0);
        Reader cuts{data, size, 6};
        uint32_t y = 0;
        while (y < height) {
            const uint32_t lines = cutBands ? std::min(height - y, 1 + cuts.Byte() % 9) : height - y;
            const uint8_t* rows = band.data() + size_t{y} * stride;
            bool white = true;
            for (uint32_t r = 0; r < lines; ++r) {
                const uint8_t* row = image.rows.data() + size_t{y + r} * rowBytes;
                white = white && std::all_of(row, row + rowBytes, [](uint8_t b) { return b == 0; });
            }
            Check(ImxJBIGImageBandAdd(encoder, nullWhiteBands && white ? nullptr : rows, lines, stride) == 0);
            y += lines;
        }
        Check(ImxJBIGImageEnd(encoder) == 0);
        ImxJBIGEncoderDeinit(encoder);
        return sink.bytes;
    };

    const std::vector<uint8_t> ours = encode(true, capacity, true);
    JbigImage decoded;
    Check(JbigkitDecode(ours, decoded));
    Check(decoded.width == width && decoded.height == height && decoded.rows == image.rows);
    Check(JbigNormalizeStripeEnds(ours) ==
          JbigNormalizeStripeEnds(JbigkitEncode(image, linesPerStripe, typicalPrediction)));
    Check(encode(false, 4096, (flags & 0x40) == 0) == ours);
    return 0;
}
