// Streaming JBIG (T.82) encoder: sequential, one resolution layer, one bit plane, the two-line
// template with its adaptive pixel at the nominal place, optional typical prediction. Lines come
// in bands as the engine renders them; coded bytes leave through buffers the caller supplies, so
// no page is ever held whole. Everything is allocated in ImxJBIGEncoderInit.
#include "engine/services/jbig_encoder.h"

#include <algorithm>
#include <array>
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
// The code register C has 64 bits, so that it keeps up to this many shifts past a byte boundary
// before its finished bytes go out: bytes leave a few at a time instead of one per boundary.
// Carries run into the finished bytes inside the register as they would into the held byte.
constexpr uint32_t kDeferredShifts = 32;
// Pixels of one context word in a row from which they are coded as a run rather than one by one
// (a group is searched for runs only when it holds one this long).
constexpr uint32_t kRunMin = 4;

uint32_t LoadBigEndian32(const uint8_t* p)
{
    uint32_t word;
    std::memcpy(&word, p, 4);
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap32(word);
    }
    return word;
}

void* AllocateAligned(uint64_t bytes)
{
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

// Registers of the QM coder: A (interval), C (code register), CT (T.82's shifts to the next byte
// out, plus kDeferredShifts; never below 1). While T.82's CT would be 0 or below, C holds finished
// bytes from bit 19 - CT up. The hot loops keep the registers in locals and pass them by value.
struct JbigCoderRegisters {
    uint32_t a;
    uint32_t ct;
    uint64_t c;
};

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
    // two zero guard words after it; the current line becomes the line above after every row
    // that differs from it.
    uint32_t* lineBlocks[2];
    uint32_t* lineAbove;
    uint32_t* lineCurrent;

    uint32_t row;  // rows taken so far
    uint32_t rowsInStripe;  // rows in the open stripe
    bool aboveWhite;  // the line above has no black pixel
    bool previousTypical;  // the line above equals the line above it

    JbigCoderRegisters qm;
    uint32_t stackedFF;
    uint32_t held;  // byte held back for carry propagation
    bool dropFirstByte;  // the coder's first byte of a stripe is never transmitted

    // Output buffer handed out by the callback.
    uint8_t* outStart;
    uint32_t outCapacity;
    uint8_t* out;
    uint32_t outLeft;
    bool outputFailed;  // the callback gave no buffer: bytes are lost, the image fails

    // Per context word (context << 1 | pixel value): the pixel's Qe in the low 16 bits and its
    // state byte (state index, and in bit 7 whether the pixel value is the more probable symbol)
    // above, so that coding a pixel waits on one load. A context's two words are written together.
    alignas(8) uint32_t codingWords[2048];
};

namespace {

// ---- Output ----

void NextBuffer(ImxJBIGEncoder& e)
{
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

// A full buffer goes over and the next one comes; false when there is none.
[[gnu::noinline]] bool RefillOutput(ImxJBIGEncoder& e)
{
    if (e.outputFailed) {
        return false;
    }
    NextBuffer(e);
    return !e.outputFailed;
}

inline void WriteByte(ImxJBIGEncoder& e, uint8_t value)
{
    if (e.outLeft == 0 && !RefillOutput(e)) [[unlikely]] {
        return;
    }
    *e.out++ = value;
    --e.outLeft;
}

// A byte of coded data: the first of each stripe is dropped, and 0xFF is followed by a stuffed 0x00.
void EmitByte(ImxJBIGEncoder& e, uint32_t value)
{
    if (e.dropFirstByte) {
        e.dropFirstByte = false;
        return;
    }
    WriteByte(e, static_cast<uint8_t>(value));
    if (value == 0xFF) {
        WriteByte(e, 0x00);
    }
}

void HandOverLastBuffer(ImxJBIGEncoder& e)
{
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

// One finished byte of C with the carry above it (temp of T.82 BYTEOUT, at most 0x1FF).
void ByteOut(ImxJBIGEncoder& e, uint32_t temp)
{
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
}

// Takes the finished bytes out of C, oldest first, and leaves CT at 1 .. 8 (plus the deferred
// shifts): C is then as T.82's coder has it after the same shifts.
JbigCoderRegisters FlushFinishedBytes(ImxJBIGEncoder& e, JbigCoderRegisters r)
{
    int32_t ct = static_cast<int32_t>(r.ct) - static_cast<int32_t>(kDeferredShifts);
    while (ct <= 0) {
        const uint32_t low = static_cast<uint32_t>(19 - ct);  // the byte's lowest bit
        const uint32_t temp = static_cast<uint32_t>(r.c >> low);
        r.c &= (uint64_t{1} << low) - 1;
        ct += 8;
        if (temp < 0xFF && e.stackedFF == 0 && !e.dropFirstByte && e.outLeft >= 2) [[likely]] {
            // The usual byte: the held byte goes out (stuffed when 0xFF) and this one is held.
            *e.out++ = static_cast<uint8_t>(e.held);
            --e.outLeft;
            if (e.held == 0xFF) {
                *e.out++ = 0x00;
                --e.outLeft;
            }
            e.held = temp;
        } else {
            ByteOut(e, temp);
        }
    }
    r.ct = static_cast<uint32_t>(ct) + kDeferredShifts;
    return r;
}

// A renormalisation that would take C past its room: the finished bytes go out first, which
// leaves room for any shift. `a` is A already renormalised.
[[gnu::noinline]] JbigCoderRegisters RenormalizeWithBytes(ImxJBIGEncoder& e, JbigCoderRegisters r, uint32_t a,
                                                          uint32_t shift)
{
    r = FlushFinishedBytes(e, r);
    r.a = a;
    r.c <<= shift;
    r.ct -= shift;
    return r;
}

// A context's two coding words (pixel value 0 and 1) as one 64-bit value in memory order, for
// the state `state` whose more probable symbol is `mps`.
constexpr uint64_t CodingWordPair(uint32_t mps, uint32_t state)
{
    const uint64_t qe = kJbigQmStates[state].qe;
    const uint64_t word0 = qe | (uint64_t{mps == 0 ? 0x80 | state : state} << 16);
    const uint64_t word1 = qe | (uint64_t{mps != 0 ? 0x80 | state : state} << 16);
    return std::endian::native == std::endian::little ? word0 | (word1 << 32) : (word0 << 32) | word1;
}

// The context's new pair of coding words when a symbol renormalises, by the symbol's state byte
// and pixel value (index stateByte << 1 | pixel).
constexpr std::array<uint64_t, 512> MakeNextPairs()
{
    std::array<uint64_t, 512> next{};
    for (uint32_t stateByte = 0; stateByte < 256; ++stateByte) {
        const uint32_t index = stateByte & 0x7F;
        if (index >= JBIG_QM_STATE_COUNT) {
            continue;
        }
        const JbigQmState& q = kJbigQmStates[index];
        for (uint32_t pixel = 0; pixel < 2; ++pixel) {
            if (stateByte & 0x80) {
                next[stateByte << 1 | pixel] = CodingWordPair(pixel, q.nextMps);
            } else {
                const uint32_t mps = q.switchMps ? pixel : pixel ^ 1;
                next[stateByte << 1 | pixel] = CodingWordPair(mps, q.nextLps);
            }
        }
    }
    return next;
}

constexpr std::array<uint64_t, 512> kNextPairs = MakeNextPairs();

// Codes one pixel given as its context word (context << 1 | pixel value): T.82 ENCODE with
// CODEMPS, CODELPS and RENORME. Written without branches on the symbol, whose outcomes a
// processor cannot predict in busy areas; only reaching a byte boundary branches.
[[nodiscard]] inline JbigCoderRegisters CodeWord(ImxJBIGEncoder& e, JbigCoderRegisters r, uint32_t word)
{
    const uint32_t pixel = word & 1;
    uint32_t* const pairWords = &e.codingWords[word & ~1u];
    uint64_t pair;
    std::memcpy(&pair, pairWords, 8);
    const uint32_t codingWord = e.codingWords[word];
    const uint32_t qe = codingWord & 0xFFFF;
    const uint32_t stateByte = (codingWord >> 16) & 0xFF;
    uint32_t a = r.a - qe;
    // The MPS takes the lower part of the interval and the LPS the upper one, exchanged when the
    // MPS's part would be the smaller: the upper part is taken when a < Qe for the MPS and when
    // a >= Qe for the LPS. For the LPS both sides are negated (flip is all ones; ~a < -Qe is
    // a >= Qe), so that one comparison decides and A waits on a single compare and move.
    const uint32_t flip = (stateByte >> 7) - 1;
    const bool takeUpper = (a ^ flip) < (qe ^ flip) - flip;
    r.c += a & (0u - static_cast<uint32_t>(takeUpper));
    a = takeUpper ? qe : a;
    // Every LPS and every MPS that leaves A below 0x8000 renormalises and moves the state.
    const uint64_t moved = kNextPairs[stateByte << 1 | pixel];
    const uint64_t nextPair = a < 0x8000 ? moved : pair;
    std::memcpy(pairWords, &nextPair, 8);
    // a is in 1..0xFFFF (never 0): its top bit is bit `top`, and renormalising shifts it to bit
    // 15. A takes the shift as (a << 15) >> top, which waits only on finding the top bit.
    const uint32_t top = 31 ^ static_cast<uint32_t>(__builtin_clz(a));
    const uint32_t shift = 15 - top;
    if (shift >= r.ct) [[unlikely]] {
        return RenormalizeWithBytes(e, r, (a << 15) >> top, shift);
    }
    r.a = (a << 15) >> top;
    r.c <<= shift;
    r.ct -= shift;
    return r;
}

// Codes `count` pixels that share one context word (context << 1 | pixel value). While the pixel
// is its context's more probable symbol, every symbol that leaves A at 0x8000 or above only
// subtracts Qe, so such a run is charged at once; a symbol that renormalises is coded on its own.
// The bytes equal coding one by one.
[[nodiscard]] JbigCoderRegisters CodeRun(ImxJBIGEncoder& e, JbigCoderRegisters r, uint32_t word, uint64_t count)
{
    while (count != 0) {
        const uint32_t codingWord = e.codingWords[word];
        if (codingWord & 0x800000) {  // the pixel is its context's more probable symbol
            const uint64_t qe = codingWord & 0xFFFF;
            const uint64_t room = r.a - 0x8000;
            if (count * qe <= room) {
                r.a -= static_cast<uint32_t>(count * qe);
                return r;
            }
            const uint64_t quiet = room / qe;
            r.a -= static_cast<uint32_t>(quiet * qe);
            count -= quiet;
        }
        r = CodeWord(e, r, word);
        --count;
    }
    return r;
}

// Codes `count` white pixels in the all-white context 0.
[[nodiscard]] JbigCoderRegisters CodeWhiteRun(ImxJBIGEncoder& e, JbigCoderRegisters r, uint64_t count)
{
    return CodeRun(e, r, 0, count);
}

// A run of white pixels in context 0: while 0 is the more probable symbol and the run leaves A
// at 0x8000 or above, the run only subtracts its Qe's, at once and without a call; otherwise
// CodeWhiteRun.
[[nodiscard]] inline JbigCoderRegisters CodeWhite(ImxJBIGEncoder& e, JbigCoderRegisters r, uint64_t count)
{
    const uint32_t codingWord = e.codingWords[0];
    if (codingWord & 0x800000) {
        const uint64_t charge = count * (codingWord & 0xFFFF);
        if (charge <= r.a - 0x8000) {
            r.a -= static_cast<uint32_t>(charge);
            return r;
        }
    }
    return CodeWhiteRun(e, r, count);
}

void StripeBegin(ImxJBIGEncoder& e)
{
    e.qm = JbigCoderRegisters{0x10000, 11 + kDeferredShifts, 0};
    e.stackedFF = 0;
    e.held = 0;
    e.dropFirstByte = true;
}

// T.82 FLUSH, then the stripe's end marker.
void StripeEnd(ImxJBIGEncoder& e)
{
    e.qm = FlushFinishedBytes(e, e.qm);
    const uint32_t qmC = static_cast<uint32_t>(e.qm.c);  // below 2^27 once the finished bytes are out
    uint32_t temp = (e.qm.a - 1 + qmC) & 0xFFFF0000;
    if (temp < qmC) {
        temp += 0x8000;
    }
    const uint32_t c = temp << (e.qm.ct - kDeferredShifts);
    const bool moreFollows = (c & 0x7FFF800) != 0;
    if (c < 0x8000000) {
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
        EmitByte(e, (c >> 19) & 0xFF);
        if ((c & 0x7F800) != 0) {
            EmitByte(e, (c >> 11) & 0xFF);
        }
    }
    e.dropFirstByte = false;
    WriteByte(e, kMarkerEscape);
    WriteByte(e, kMarkerStripeEnd);
}

// ---- Lines ----

// 32-bit words of a line of the given width (64-bit arithmetic: any u32 width fits).
uint32_t LineWords(uint32_t width) { return static_cast<uint32_t>((uint64_t{width} + 31) / 32); }

struct LoadedLine {
    bool equalsAbove;
    bool white;
};

// Loads (width + 7) / 8 bytes as big-endian words, clears the bits at and beyond the width and
// zeroes the guard words; compares with the line above on the way.
LoadedLine LoadLine(const ImxJBIGEncoder& e, const uint8_t* bytes, uint32_t* line, const uint32_t* above)
{
    const uint32_t width = e.width;
    const uint32_t words = LineWords(width);
    const uint32_t lineBytes = static_cast<uint32_t>((uint64_t{width} + 7) / 8);
    uint32_t difference = 0;
    uint32_t ink = 0;
    for (uint32_t i = 0; i + 1 < words; ++i) {
        const uint32_t word = LoadBigEndian32(bytes + 4 * i);
        line[i] = word;
        difference |= word ^ above[i];
        ink |= word;
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
    difference |= last ^ above[words - 1];
    ink |= last;
    line[words] = 0;
    line[words + 1] = 0;
    return LoadedLine{difference == 0, ink == 0};
}

void ClearLine(const ImxJBIGEncoder& e, uint32_t* line) { std::fill(line, line + LineWords(e.width) + 2, 0u); }

// The context word of pixel x0 + k of a 32-pixel group: the row above from x - 3 (context bit 9)
// to x + 2 (bit 4), the current row from x - 4 (bit 3) to x - 1 (bit 0), then the pixel itself.
// In both windows pixel x0 + k sits at bit 39 - k; pixels outside the image are 0.
inline uint32_t ContextWord(uint64_t aboveWindow, uint64_t currentWindow, uint32_t k)
{
    return static_cast<uint32_t>(((aboveWindow >> (32 - k)) & 0x7E0) | ((currentWindow >> (39 - k)) & 0x1F));
}

// Codes the pixels of the current line. Pixels whose context word is 0 (a white pixel in a white
// neighbourhood) are gathered into runs, across groups, and coded by the white fast path; the
// others are coded one by one. A group's pixels with a non-zero word are found from its windows
// at once: a pixel is busy when any pixel of its template, or the pixel itself, is black.
void CodeLine(ImxJBIGEncoder& e, const uint32_t* above, const uint32_t* current)
{
    const uint32_t groups = LineWords(e.width);
    uint64_t pendingWhite = 0;
    JbigCoderRegisters r = e.qm;
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t count = std::min<uint32_t>(32, e.width - 32 * g);
        const uint64_t aboveWindow =
            (uint64_t{above[int64_t{g} - 1]} << 40) | (uint64_t{above[g]} << 8) | (above[g + 1] >> 24);
        const uint64_t currentWindow = (uint64_t{current[int64_t{g} - 1]} << 40) | (uint64_t{current[g]} << 8);
        if (!e.whiteFastPath) {
            for (uint32_t k = 0; k < count; ++k) {
                r = CodeWord(e, r, ContextWord(aboveWindow, currentWindow, k));
            }
            continue;
        }
        const uint64_t aboveSpread = (aboveWindow >> 3) | (aboveWindow >> 2) | (aboveWindow >> 1) | aboveWindow |
                                     (aboveWindow << 1) | (aboveWindow << 2);
        const uint64_t currentSpread =
            currentWindow | (currentWindow >> 1) | (currentWindow >> 2) | (currentWindow >> 3) | (currentWindow >> 4);
        uint32_t busy = static_cast<uint32_t>((aboveSpread | currentSpread) >> 8);  // pixel k at bit 31 - k
        if (count < 32) {
            busy &= ~uint32_t{0} << (32 - count);
        }
        // A pixel repeats its left neighbour's context word when the row above is one colour from
        // x - 4 to x + 2 and the current row one colour from x - 5 to x: no pixel of those spans
        // differs from the pixel on its left. Solid areas and rules give long runs of such pixels.
        const uint64_t aboveChange = aboveWindow ^ (aboveWindow >> 1);
        const uint64_t currentChange = currentWindow ^ (currentWindow >> 1);
        const uint64_t changeSpread = (aboveChange >> 3) | (aboveChange >> 2) | (aboveChange >> 1) | aboveChange |
                                      (aboveChange << 1) | (aboveChange << 2) | currentChange | (currentChange >> 1) |
                                      (currentChange >> 2) | (currentChange >> 3) | (currentChange >> 4);
        const uint32_t repeats = ~static_cast<uint32_t>(changeSpread >> 8) & busy;
        uint32_t k = 0;
        if ((repeats & (repeats << 1) & (repeats << 2)) == 0) {
            // No kRunMin pixels of one word in a row here (a busy area such as a halftone): each
            // pixel on its own, without looking for runs.
            if (busy == ~uint32_t{0}) {
                // A group busy throughout, as in halftoned areas: its pixels in turn, without the
                // search.
                if (pendingWhite != 0) {
                    r = CodeWhite(e, r, pendingWhite);
                    pendingWhite = 0;
                }
                // Pixel k's row above in bits 63 .. 58 and its current row and itself in bits
                // 63 .. 59.
                uint64_t aboveShifted = aboveWindow << 21;
                uint64_t currentShifted = currentWindow << 20;
                for (uint32_t step = 0; step < 32; ++step) {
                    const uint32_t word =
                        static_cast<uint32_t>(((aboveShifted >> 53) & 0x7E0) | (currentShifted >> 59));
                    r = CodeWord(e, r, word);
                    aboveShifted <<= 1;
                    currentShifted <<= 1;
                }
                continue;
            }
            while (busy != 0) {
                const uint32_t next = static_cast<uint32_t>(__builtin_clz(busy));  // busy is not 0
                pendingWhite += next - k;
                if (pendingWhite != 0) {
                    r = CodeWhite(e, r, pendingWhite);
                    pendingWhite = 0;
                }
                r = CodeWord(e, r, ContextWord(aboveWindow, currentWindow, next));
                busy &= ~(uint32_t{0x80000000} >> next);
                k = next + 1;
            }
            pendingWhite += count - k;
            continue;
        }
        while (busy != 0) {
            const uint32_t next = static_cast<uint32_t>(__builtin_clz(busy));  // busy is not 0
            pendingWhite += next - k;
            if (pendingWhite != 0) {
                r = CodeWhite(e, r, pendingWhite);
                pendingWhite = 0;
            }
            // The busy pixels after `next` that repeat its word, up to the group's end.
            const uint32_t run = next == 31 ? 1 : 1 + static_cast<uint32_t>(std::countl_one(repeats << (next + 1)));
            const uint32_t word = ContextWord(aboveWindow, currentWindow, next);
            if (run >= kRunMin) {
                r = CodeRun(e, r, word, run);
            } else {
                r = CodeWord(e, r, word);
            }
            const uint32_t taken = run >= kRunMin ? run : 1;
            busy &= ~(~uint32_t{0} << (32 - taken) >> next);
            k = next + taken;
        }
        pendingWhite += count - k;
    }
    if (pendingWhite != 0) {
        r = CodeWhiteRun(e, r, pendingWhite);
    }
    e.qm = r;
}

// Codes one row; null bytes stand for a white row. A row equal to the row above (a typical row)
// leaves the line buffers as they are: the row above already holds it.
void CodeRow(ImxJBIGEncoder& e, const uint8_t* bytes)
{
    if (e.rowsInStripe == 0) {
        StripeBegin(e);
    }
    bool typical;
    bool white;
    if (bytes != nullptr) {
        const LoadedLine line = LoadLine(e, bytes, e.lineCurrent, e.lineAbove);
        typical = line.equalsAbove;
        white = line.white;
    } else {
        typical = e.aboveWhite;
        white = true;
        if (!typical) {
            ClearLine(e, e.lineCurrent);
        }
    }
    if (e.typicalPrediction) {
        e.qm = CodeWord(e, e.qm, (kTypicalPredictionContext << 1) | (typical == e.previousTypical ? 1u : 0u));
        e.previousTypical = typical;
    }
    if (!typical) {
        CodeLine(e, e.lineAbove, e.lineCurrent);
        std::swap(e.lineAbove, e.lineCurrent);
        e.aboveWhite = white;
    } else if (!e.typicalPrediction) {
        CodeLine(e, e.lineAbove, e.lineAbove);
    }
    ++e.row;
    if (++e.rowsInStripe == e.linesPerStripe) {
        StripeEnd(e);
        e.rowsInStripe = 0;
    }
}

void WriteHeader(ImxJBIGEncoder& e)
{
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

ImxStatus Result(const ImxJBIGEncoder& e) { return e.outputFailed ? IMX_ERR_WRITE : IMX_OK; }

}  // namespace

RASTREL_API ImxJBIGEncoder* ImxJBIGEncoderInit(uint32_t maxWidth, uint32_t options, ImxJBIGOutputCallback callback,
                                               void* argument)
{
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

    // One leading zero word, the line, two guard words, rounded to whole 16 bytes.
    const uint64_t lineWords = ((1 + uint64_t{LineWords(maxWidth)} + 2) + 3) & ~uint64_t{3};
    e->lineBlocks[0] = static_cast<uint32_t*>(AllocateAligned(lineWords * 4));
    e->lineBlocks[1] = static_cast<uint32_t*>(AllocateAligned(lineWords * 4));
    if (e->lineBlocks[0] == nullptr || e->lineBlocks[1] == nullptr) {
        ImxJBIGEncoderDeinit(e);
        return nullptr;
    }
    e->lineAbove = e->lineBlocks[0] + 1;
    e->lineCurrent = e->lineBlocks[1] + 1;
    return e;
}

RASTREL_API ImxStatus ImxJBIGImageBegin(ImxJBIGEncoder* e, const uint32_t size[2], uint32_t linesPerStripe)
{
    if (e == nullptr || size == nullptr || size[0] == 0 || size[1] == 0 || linesPerStripe == 0 ||
        size[0] > e->maxWidth) {
        return IMX_ERR_ARGUMENT;
    }
    e->width = size[0];
    e->height = size[1];
    e->linesPerStripe = linesPerStripe;
    // Rows above row 0 are white. Only the words this width reaches are ever read: the leading
    // zero word, the line and its two guard words.
    const uint32_t usedWords = 1 + LineWords(size[0]) + 2;
    std::fill(e->lineBlocks[0], e->lineBlocks[0] + usedWords, 0u);
    std::fill(e->lineBlocks[1], e->lineBlocks[1] + usedWords, 0u);
    e->row = 0;
    e->rowsInStripe = 0;
    e->aboveWhite = true;
    e->previousTypical = false;
    e->outStart = nullptr;
    e->outCapacity = 0;
    e->out = nullptr;
    e->outLeft = 0;
    e->outputFailed = false;
    e->dropFirstByte = false;
    e->imageOpen = true;
    WriteHeader(*e);
    // Every context starts in state 0 with the more probable symbol 0.
    const uint64_t initialPair = CodingWordPair(0, 0);
    for (size_t i = 0; i < std::size(e->codingWords); i += 2) {
        std::memcpy(&e->codingWords[i], &initialPair, 8);
    }
    return Result(*e);
}

RASTREL_API ImxStatus ImxJBIGImageBandAdd(ImxJBIGEncoder* e, const uint8_t* bytes, uint32_t lineCount, uint32_t stride)
{
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

RASTREL_API ImxStatus ImxJBIGImageEnd(ImxJBIGEncoder* e)
{
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

RASTREL_API void ImxJBIGEncoderDeinit(ImxJBIGEncoder* e)
{
    if (e == nullptr) {
        return;
    }
    std::free(e->lineBlocks[0]);
    std::free(e->lineBlocks[1]);
    std::free(e);
}

void JbigEncoderWhiteFastPathSet(ImxJBIGEncoder* encoder, bool enabled)
{
    if (encoder != nullptr) {
        encoder->whiteFastPath = enabled;
    }
}
