// Streaming JBIG (T.82) encoder: sequential, one resolution layer, one bit plane, the two-line
// template with its adaptive pixel at the nominal place, optional typical prediction. Lines come
// in bands as the engine renders them; coded bytes leave through buffers the caller supplies, so
// no page is ever held whole. Everything is allocated in ImxJBIGEncoderInit.
#include "engine/services/jbig_encoder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "engine/services/jbig_qm_table.h"

namespace {

constexpr uint32_t kTypicalPredictionContext = 0x195;  // TPBON context of the two-line template
constexpr uint32_t kHeaderSize = 20;
constexpr uint8_t kOrderIleaveSmid = 0x03;
constexpr uint8_t kOptionLrlTwo = 0x40;
constexpr uint8_t kOptionTpbOn = 0x08;
constexpr uint8_t kMarkerEscape = 0xFF;
constexpr uint8_t kMarkerStripeEnd = 0x02;  // SDNORM
// A context's pair of state bytes (pixel 0 in the low byte, pixel 1 in the high byte): state 0
// with the more probable symbol 0.
constexpr uint16_t kInitialStatePair = 0x0080;

// Bits of the 64-bit windows (see ContextWindows) that the 32 pixels of one group look at: the
// row above from x - 3 to x + 2 and the current row from x - 4 to x.
constexpr uint64_t kAboveWindowMask = ((uint64_t{1} << 37) - 1) << 6;
constexpr uint64_t kCurrentWindowMask = ((uint64_t{1} << 36) - 1) << 8;

uint32_t LoadBigEndian32(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap32(word);
    }
    return word;
}

void* AllocateAligned(uint64_t bytes) {
    bytes = (bytes + 15) & ~uint64_t{15};
    if (bytes == 0 || bytes > SIZE_MAX) {
        return nullptr;
    }
    void* block = std::aligned_alloc(16, static_cast<size_t>(bytes));
    if (block != nullptr) {
        std::memset(block, 0, static_cast<size_t>(bytes));
    }
    return block;
}

}  // namespace

struct ImxJBIGEncoder {
    void* argument;
    ImxJBIGOutputCallback callback;
    uint32_t maxWidth;
    bool typicalPrediction;
    bool whiteFastPath;

    // The image: width XD, height YD, lines per stripe L0.
    uint32_t width;
    uint32_t height;
    uint32_t linesPerStripe;
    bool imageOpen;

    // Two line buffers of big-endian bit-order words, each with a zero word before the line and
    // zero guard words after it; the current line and the line above swap after every row.
    uint32_t* lineBlocks[2];
    uint32_t* lineAbove;
    uint32_t* lineCurrent;
    uint32_t lineWordCapacity;
    uint16_t* contextWords;  // one per pixel of the current line: context << 1 | pixel
    uint8_t* whiteGroups;    // per 32-pixel group: all its context words are 0

    uint32_t row;            // rows taken so far
    uint32_t rowsInStripe;   // rows in the open stripe
    uint32_t previousSum;    // 32-bit sum of the line above's words
    bool previousTypical;    // the line above equals the line above it

    // QM coder registers.
    uint32_t a;
    uint32_t c;
    uint32_t ct;
    uint32_t stackedFF;
    uint32_t held;           // byte held back for carry propagation
    bool dropFirstByte;      // the coder's first byte of a stripe is never transmitted

    // Output buffer handed out by the callback.
    uint8_t* outStart;
    uint32_t outCapacity;
    uint8_t* out;
    uint32_t outLeft;
    bool outputFailed;       // the callback gave no buffer: bytes are lost, the image fails

    uint16_t statePairs[1024];
};

namespace {

// ---- Output ----

void NextBuffer(ImxJBIGEncoder& e) {
    uint8_t* buffer = e.outStart;
    uint32_t size = e.outCapacity;
    e.callback(e.argument, &buffer, &size);
    if (buffer == nullptr || size == 0) {
        e.outputFailed = true;
        buffer = nullptr;
        size = 0;
    }
    e.outStart = buffer;
    e.outCapacity = size;
    e.out = buffer;
    e.outLeft = size;
}

void WriteByte(ImxJBIGEncoder& e, uint8_t value) {
    if (e.outLeft == 0) {
        if (e.outputFailed) {
            return;
        }
        NextBuffer(e);
        if (e.outputFailed) {
            return;
        }
    }
    *e.out++ = value;
    --e.outLeft;
}

// A byte of coded data: the first of each stripe is dropped, and 0xFF is followed by a stuffed 0x00.
void EmitByte(ImxJBIGEncoder& e, uint32_t value) {
    if (e.dropFirstByte) {
        e.dropFirstByte = false;
        return;
    }
    WriteByte(e, static_cast<uint8_t>(value));
    if (value == 0xFF) {
        WriteByte(e, 0x00);
    }
}

void HandOverLastBuffer(ImxJBIGEncoder& e) {
    if (e.outStart != nullptr) {
        uint8_t* buffer = e.outStart;
        uint32_t filled = e.outCapacity - e.outLeft;
        e.callback(e.argument, &buffer, &filled);
    }
    e.outStart = nullptr;
    e.outCapacity = 0;
    e.out = nullptr;
    e.outLeft = 0;
}

// ---- QM arithmetic coder ----

void ByteOut(ImxJBIGEncoder& e) {
    const uint32_t temp = e.c >> 19;
    if (temp > 0xFF) {
        // A carry: it runs into the held byte, and the stacked 0xFF bytes become 0x00.
        EmitByte(e, e.held + 1);
        for (; e.stackedFF != 0; --e.stackedFF) {
            EmitByte(e, 0x00);
        }
        e.held = temp & 0xFF;
    } else if (temp == 0xFF) {
        ++e.stackedFF;
    } else {
        EmitByte(e, e.held);
        for (; e.stackedFF != 0; --e.stackedFF) {
            EmitByte(e, 0xFF);
        }
        e.held = temp;
    }
    e.c &= 0x7FFFF;
}

void Renormalize(ImxJBIGEncoder& e, uint32_t a) {
    uint32_t shift = static_cast<uint32_t>(std::countl_zero(a)) - 16;  // a is in 1..0x7FFF
    e.a = a << shift;
    while (shift >= e.ct) {
        e.c <<= e.ct;
        shift -= e.ct;
        ByteOut(e);
        e.ct = 8;
    }
    e.c <<= shift;
    e.ct -= shift;
}

void SetStatePair(ImxJBIGEncoder& e, uint32_t context, uint32_t mps, uint32_t state) {
    const uint32_t mpsByte = 0x80 | state;
    e.statePairs[context] = static_cast<uint16_t>(mps != 0 ? (mpsByte << 8) | state : (state << 8) | mpsByte);
}

[[gnu::noinline]] void CodeMpsWithRenormalization(ImxJBIGEncoder& e, uint32_t word, uint32_t a,
                                                  const JbigQmState& q) {
    if (a < q.qe) {
        e.c += a;
        a = q.qe;
    }
    SetStatePair(e, word >> 1, word & 1, q.nextMps);
    Renormalize(e, a);
}

[[gnu::noinline]] void CodeLps(ImxJBIGEncoder& e, uint32_t word, uint32_t a, const JbigQmState& q) {
    if (a >= q.qe) {
        e.c += a;
        a = q.qe;
    }
    uint32_t mps = (word & 1) ^ 1;
    if (q.switchMps) {
        mps ^= 1;
    }
    SetStatePair(e, word >> 1, mps, q.nextLps);
    Renormalize(e, a);
}

// Codes one pixel given as its context word (context << 1 | pixel value).
inline void CodeWord(ImxJBIGEncoder& e, uint32_t word) {
    const uint32_t stateByte = (e.statePairs[word >> 1] >> ((word & 1) * 8)) & 0xFF;
    const JbigQmState& q = kJbigQmStates[stateByte & 0x7F];
    const uint32_t a = e.a - q.qe;
    if (stateByte & 0x80) {
        if (a >= 0x8000) {
            e.a = a;
            return;
        }
        CodeMpsWithRenormalization(e, word, a, q);
    } else {
        CodeLps(e, word, a, q);
    }
}

// Codes `count` white pixels in the all-white context 0. While 0 is the more probable symbol,
// every symbol that leaves A at 0x8000 or above only subtracts Qe, so such a run is charged at
// once; a symbol that renormalises is coded on its own. The bytes equal coding one by one.
void CodeWhiteRun(ImxJBIGEncoder& e, uint32_t count) {
    while (count != 0) {
        const uint32_t stateByte = e.statePairs[0] & 0xFF;
        if (stateByte & 0x80) {
            const uint32_t qe = kJbigQmStates[stateByte & 0x7F].qe;
            const uint32_t room = e.a - 0x8000;
            if (count * qe <= room) {
                e.a -= count * qe;
                return;
            }
            const uint32_t quiet = room / qe;
            e.a -= quiet * qe;
            count -= quiet;
        }
        CodeWord(e, 0);
        --count;
    }
}

void StripeBegin(ImxJBIGEncoder& e) {
    e.a = 0x10000;
    e.c = 0;
    e.ct = 11;
    e.stackedFF = 0;
    e.held = 0;
    e.dropFirstByte = true;
}

// T.82 FLUSH, then the stripe's end marker.
void StripeEnd(ImxJBIGEncoder& e) {
    uint32_t temp = (e.a - 1 + e.c) & 0xFFFF0000;
    if (temp < e.c) {
        temp += 0x8000;
    }
    e.c = temp << e.ct;
    const bool moreFollows = (e.c & 0x7FFF800) != 0;
    if (e.c < 0x8000000) {
        EmitByte(e, e.held);
        for (; e.stackedFF != 0; --e.stackedFF) {
            EmitByte(e, 0xFF);
        }
    } else {
        EmitByte(e, e.held + 1);
        if (moreFollows) {
            for (; e.stackedFF != 0; --e.stackedFF) {
                EmitByte(e, 0x00);
            }
        }
        e.stackedFF = 0;
    }
    if (moreFollows) {
        EmitByte(e, (e.c >> 19) & 0xFF);
        if ((e.c & 0x7F800) != 0) {
            EmitByte(e, (e.c >> 11) & 0xFF);
        }
    }
    e.dropFirstByte = false;
    WriteByte(e, kMarkerEscape);
    WriteByte(e, kMarkerStripeEnd);
}

// ---- Lines ----

uint32_t CompareWords(uint32_t width) {
    return static_cast<uint32_t>(((uint64_t{width} + 63) >> 6) * 2);
}

// Loads (width + 7) / 8 bytes as big-endian words, clears the bits at and beyond the width and
// zeroes the words up to the compare length and the guard words. Returns the sum of the words.
uint32_t LoadLine(const ImxJBIGEncoder& e, const uint8_t* bytes, uint32_t* line) {
    const uint32_t width = e.width;
    const uint32_t words = (width + 31) / 32;
    const uint32_t lineBytes = static_cast<uint32_t>((uint64_t{width} + 7) / 8);
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 1 < words; ++i) {
        const uint32_t word = LoadBigEndian32(bytes + 4 * i);
        line[i] = word;
        sum += word;
    }
    const uint32_t lastOffset = 4 * (words - 1);
    uint32_t last = 0;
    for (uint32_t i = 0; i < 4 && lastOffset + i < lineBytes; ++i) {
        last |= uint32_t{bytes[lastOffset + i]} << (24 - 8 * i);
    }
    if ((width & 31) != 0) {
        last &= ~uint32_t{0} << (32 - (width & 31));
    }
    line[words - 1] = last;
    sum += last;
    std::fill(line + words, line + CompareWords(width) + 2, 0u);
    return sum;
}

void ClearLine(const ImxJBIGEncoder& e, uint32_t* line) {
    std::fill(line, line + CompareWords(e.width) + 2, 0u);
}

// Context words of the current line, and for each 32-pixel group whether they are all 0. The
// context of pixel x is the row above from x - 3 (bit 9) to x + 2 (bit 4) and the current row
// from x - 4 (bit 3) to x - 1 (bit 0); pixels outside the image are 0.
void BuildContextWords(ImxJBIGEncoder& e) {
    const uint32_t* above = e.lineAbove;
    const uint32_t* current = e.lineCurrent;
    const uint32_t groups = (e.width + 31) / 32;
    for (uint32_t g = 0; g < groups; ++g) {
        // Pixel x0 + k of the group sits at bit 39 - k of both windows.
        const uint64_t aboveWindow = (uint64_t{above[int64_t{g} - 1]} << 40) | (uint64_t{above[g]} << 8) |
                                     (above[g + 1] >> 24);
        const uint64_t currentWindow = (uint64_t{current[int64_t{g} - 1]} << 40) | (uint64_t{current[g]} << 8);
        if (((aboveWindow & kAboveWindowMask) | (currentWindow & kCurrentWindowMask)) == 0) {
            e.whiteGroups[g] = 1;
            continue;
        }
        e.whiteGroups[g] = 0;
        uint16_t* words = e.contextWords + 32 * g;
        for (uint32_t k = 0; k < 32; ++k) {
            words[k] = static_cast<uint16_t>((((aboveWindow >> (37 - k)) & 0x3F) << 5) |
                                             ((currentWindow >> (39 - k)) & 0x1F));
        }
    }
}

void CodeLine(ImxJBIGEncoder& e) {
    BuildContextWords(e);
    const uint32_t groups = (e.width + 31) / 32;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t count = std::min<uint32_t>(32, e.width - 32 * g);
        if (e.whiteGroups[g]) {
            if (e.whiteFastPath) {
                CodeWhiteRun(e, count);
            } else {
                for (uint32_t k = 0; k < count; ++k) {
                    CodeWord(e, 0);
                }
            }
            continue;
        }
        const uint16_t* words = e.contextWords + 32 * g;
        for (uint32_t k = 0; k < count; ++k) {
            CodeWord(e, words[k]);
        }
    }
}

// Codes one row; null bytes stand for a white row.
void CodeRow(ImxJBIGEncoder& e, const uint8_t* bytes) {
    if (e.rowsInStripe == 0) {
        StripeBegin(e);
    }
    const uint32_t sum = bytes != nullptr ? LoadLine(e, bytes, e.lineCurrent) : (ClearLine(e, e.lineCurrent), 0u);
    if (e.typicalPrediction) {
        const bool typical = sum == e.previousSum &&
                             std::memcmp(e.lineCurrent, e.lineAbove, size_t{CompareWords(e.width)} * 4) == 0;
        CodeWord(e, (kTypicalPredictionContext << 1) | (typical == e.previousTypical ? 1u : 0u));
        e.previousTypical = typical;
        if (!typical) {
            CodeLine(e);
        }
    } else {
        CodeLine(e);
    }
    e.previousSum = sum;
    std::swap(e.lineAbove, e.lineCurrent);
    ++e.row;
    if (++e.rowsInStripe == e.linesPerStripe) {
        StripeEnd(e);
        e.rowsInStripe = 0;
    }
}

void WriteHeader(ImxJBIGEncoder& e) {
    uint8_t header[kHeaderSize] = {0, 0, 1, 0};
    auto putBigEndian = [&](int offset, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            header[offset + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        }
    };
    putBigEndian(4, e.width);
    putBigEndian(8, e.height);
    putBigEndian(12, e.linesPerStripe);
    header[16] = 0;  // MX
    header[17] = 0;  // MY
    header[18] = kOrderIleaveSmid;
    header[19] = e.typicalPrediction ? (kOptionLrlTwo | kOptionTpbOn) : kOptionLrlTwo;
    for (uint8_t byte : header) {
        WriteByte(e, byte);
    }
    if (e.outLeft == 0 && !e.outputFailed) {
        NextBuffer(e);  // a buffer the header fills exactly goes over at once
    }
}

ImxStatus Result(const ImxJBIGEncoder& e) {
    return e.outputFailed ? IMX_ERR_WRITE : IMX_OK;
}

}  // namespace

RASTREL_API ImxJBIGEncoder* ImxJBIGEncoderInit(uint32_t maxWidth, uint32_t options,
                                                ImxJBIGOutputCallback callback, void* argument) {
    if (callback == nullptr) {
        return nullptr;
    }
    auto* e = static_cast<ImxJBIGEncoder*>(AllocateAligned(sizeof(ImxJBIGEncoder)));
    if (e == nullptr) {
        return nullptr;
    }
    e->argument = argument;
    e->callback = callback;
    e->maxWidth = maxWidth;
    e->typicalPrediction = (options & IMX_JBIG_NO_TYPICAL_PREDICTION) == 0;
    e->whiteFastPath = true;

    // One leading zero word, the compare length, two guard words, rounded to whole 16 bytes.
    const uint64_t groups = (uint64_t{maxWidth} + 31) / 32;
    const uint64_t lineWords = ((1 + CompareWords(maxWidth) + 2) + 3) & ~uint64_t{3};
    e->lineWordCapacity = static_cast<uint32_t>(lineWords);
    e->lineBlocks[0] = static_cast<uint32_t*>(AllocateAligned(lineWords * 4));
    e->lineBlocks[1] = static_cast<uint32_t*>(AllocateAligned(lineWords * 4));
    e->contextWords = static_cast<uint16_t*>(AllocateAligned((groups + 1) * 32 * 2));
    e->whiteGroups = static_cast<uint8_t*>(AllocateAligned(groups + 1));
    if (e->lineBlocks[0] == nullptr || e->lineBlocks[1] == nullptr || e->contextWords == nullptr ||
        e->whiteGroups == nullptr) {
        ImxJBIGEncoderDeinit(e);
        return nullptr;
    }
    e->lineAbove = e->lineBlocks[0] + 1;
    e->lineCurrent = e->lineBlocks[1] + 1;
    return e;
}

RASTREL_API ImxStatus ImxJBIGImageBegin(ImxJBIGEncoder* e, const uint32_t size[2], uint32_t linesPerStripe) {
    if (e == nullptr || size == nullptr || size[0] == 0 || size[1] == 0 || linesPerStripe == 0 ||
        size[0] > e->maxWidth) {
        return IMX_ERR_ARGUMENT;
    }
    e->width = size[0];
    e->height = size[1];
    e->linesPerStripe = linesPerStripe;
    // Rows above row 0 are white.
    std::fill(e->lineBlocks[0], e->lineBlocks[0] + e->lineWordCapacity, 0u);
    std::fill(e->lineBlocks[1], e->lineBlocks[1] + e->lineWordCapacity, 0u);
    e->row = 0;
    e->rowsInStripe = 0;
    e->previousSum = 0;
    e->previousTypical = false;
    e->outStart = nullptr;
    e->outCapacity = 0;
    e->out = nullptr;
    e->outLeft = 0;
    e->outputFailed = false;
    e->dropFirstByte = false;
    e->imageOpen = true;
    WriteHeader(*e);
    std::fill(std::begin(e->statePairs), std::end(e->statePairs), kInitialStatePair);
    return Result(*e);
}

RASTREL_API ImxStatus ImxJBIGImageBandAdd(ImxJBIGEncoder* e, const uint8_t* bytes, uint32_t lineCount,
                                           uint32_t stride) {
    if (e == nullptr || !e->imageOpen) {
        return IMX_ERR_ARGUMENT;
    }
    // Lines beyond the image's height are ignored.
    const uint32_t take = std::min(lineCount, e->height - e->row);
    for (uint32_t i = 0; i < take; ++i) {
        CodeRow(*e, bytes != nullptr ? bytes + size_t{i} * stride : nullptr);
    }
    return Result(*e);
}

RASTREL_API ImxStatus ImxJBIGImageEnd(ImxJBIGEncoder* e) {
    if (e == nullptr || !e->imageOpen) {
        return IMX_ERR_ARGUMENT;
    }
    // Rows the caller never added are coded white, so the data always holds YD rows.
    while (e->row < e->height) {
        CodeRow(*e, nullptr);
    }
    if (e->rowsInStripe != 0) {
        StripeEnd(*e);
        e->rowsInStripe = 0;
    }
    const ImxStatus status = Result(*e);
    HandOverLastBuffer(*e);
    e->imageOpen = false;
    return status;
}

RASTREL_API void ImxJBIGEncoderDeinit(ImxJBIGEncoder* e) {
    if (e == nullptr) {
        return;
    }
    std::free(e->lineBlocks[0]);
    std::free(e->lineBlocks[1]);
    std::free(e->contextWords);
    std::free(e->whiteGroups);
    std::free(e);
}

void JbigEncoderWhiteFastPathSet(ImxJBIGEncoder* encoder, bool enabled) {
    if (encoder != nullptr) {
        encoder->whiteFastPath = enabled;
    }
}
