// The bodies behind the 408 stretch kernels. Each kernel name is a thin entry that fixes its
// block, format group, width class and x-mirror and calls one of the bodies here, so members
// that do the same work share one instantiation.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "engine/stretch/stretch_blt.h"
#include "engine/stretch/stretch_kernels.h"
#include "platform/user.h"

static_assert(std::endian::native == std::endian::little, "pixel values are assembled in little-endian order");

namespace stretch_detail {

// Rop is the generic block's operation, chosen by the exact rop value at every write:
// XOR for 0x66, AND for 0x88, a copy for any other value.
enum class Op { Copy, Not, Or, Rop };
enum class Block { Copy, NotCopy, Paint, Rop };

inline uint32_t LoadBE32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return __builtin_bswap32(v);
}
inline void StoreBE32(uint8_t* p, uint32_t v)
{
    v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

template <Op op>
inline uint32_t Apply(uint32_t d, uint32_t s, RasterRop3 rop)
{
    if constexpr (op == Op::Copy) return s;
    if constexpr (op == Op::Not) return ~s;
    if constexpr (op == Op::Or) return d | s;
    if constexpr (op == Op::Rop) return rop == Rop3SrcInvert ? d ^ s : rop == Rop3SrcAnd ? d & s : s;
}

// One destination word of a 1- or 4-bit span: w holds the new pixels aligned to the word, keep
// marks the bits outside the span, which never change.
template <Op op>
inline uint32_t ApplyWord(uint32_t d, uint32_t w, uint32_t keep, RasterRop3 rop)
{
    if constexpr (op == Op::Copy) return (w & ~keep) | (d & keep);
    if constexpr (op == Op::Not) return (~w & ~keep) | (d & keep);
    if constexpr (op == Op::Or) return d | (w & ~keep);
    if constexpr (op == Op::Rop) {
        if (rop == Rop3SrcInvert) return d ^ (w & ~keep);
        if (rop == Rop3SrcAnd) return d & (w | keep);
        return (w & ~keep) | (d & keep);
    }
}

// Pixel values of the byte formats, little-endian, 1 to 4 bytes; a 24-bit pixel is exactly three
// bytes, never a wider access, so the byte after it is neither read nor written.
template <int kBytes>
inline uint32_t LoadPixel(const uint8_t* p)
{
    if constexpr (kBytes == 1) return p[0];
    if constexpr (kBytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    if constexpr (kBytes == 3) return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    if constexpr (kBytes == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}
template <int kBytes>
inline void StorePixel(uint8_t* p, uint32_t v)
{
    if constexpr (kBytes == 1) p[0] = uint8_t(v);
    if constexpr (kBytes == 2) {
        uint16_t h = uint16_t(v);
        std::memcpy(p, &h, 2);
    }
    if constexpr (kBytes == 3) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
    }
    if constexpr (kBytes == 4) std::memcpy(p, &v, 4);
}

// A format group: how a source pixel is read and what it becomes in the destination.
template <int kSrc, bool kPal, int kDst>
struct Format {
    static constexpr int kSrcBits = kSrc;
    static constexpr int kDstBits = kDst;
    static constexpr bool kPalette = kPal;
    static constexpr int kDstBytes = kDst / 8;  // 0 for the 1- and 4-bit destinations
    static constexpr int kSrcBytes = kSrc / 8;  // 0 for the 1- and 4-bit sources
    static constexpr bool kSubByteDst = kDst < 8;
    static constexpr bool kSameFormat = !kPal && kSrc == kDst;

    static inline uint32_t Convert(uint32_t raw, const uint8_t* palette)
    {
        if constexpr (kPal) {
            const uint8_t* entry = palette + 4 * size_t(raw);
            if constexpr (kDst == 32) return LoadPixel<4>(entry);
            if constexpr (kDst == 24) return LoadPixel<3>(entry);
            if constexpr (kDst == 8) return entry[0];
        } else if constexpr (kSrc == 16 && kDst == 24) {
            return Expand5To8[raw & 31] | (uint32_t(Expand5To8[(raw >> 5) & 31]) << 8) |
                   (uint32_t(Expand5To8[(raw >> 10) & 31]) << 16);
        } else if constexpr (kSrc == 32 && kDst == 24) {
            return raw & 0xFFFFFF;
        } else {
            return raw;
        }
    }
};

using FormatPal1To32 = Format<1, true, 32>;
using FormatPal1To8 = Format<1, true, 8>;
using FormatPal1To24 = Format<1, true, 24>;
using FormatPal8To32 = Format<8, true, 32>;
using FormatPal8To8 = Format<8, true, 8>;
using FormatPal8To24 = Format<8, true, 24>;
using FormatPal4To32 = Format<4, true, 32>;
using FormatPal4To8 = Format<4, true, 8>;
using FormatPal4To24 = Format<4, true, 24>;
using Format1To1 = Format<1, false, 1>;
using Format4To4 = Format<4, false, 4>;
using Format8To8 = Format<8, false, 8>;
using Format16To24 = Format<16, false, 24>;
using Format16To16 = Format<16, false, 16>;
using Format24To24 = Format<24, false, 24>;
using Format32To32 = Format<32, false, 32>;
using Format32To24 = Format<32, false, 24>;

// Reads the source row pixel by pixel from a start column. Sub-byte rows are big-endian 32-bit
// words, first pixel in the top bits; a word is read only when a pixel is taken from it.
template <int kBits>
struct SourceCursor {
    const uint8_t* row;
    int64_t pos;  // column for byte formats, bit index for sub-byte ones
    int64_t loadedWord = -1;
    uint32_t word = 0;

    SourceCursor(const uint8_t* r, int64_t column) : row(r), pos(kBits < 8 ? column * kBits : column) {}

    inline uint32_t Fetch()
    {
        if constexpr (kBits < 8) {
            const int64_t index = pos >> 5;
            if (index != loadedWord) {
                word = LoadBE32(row + index * 4);
                loadedWord = index;
            }
            return (word << (pos & 31)) >> (32 - kBits);
        } else {
            return LoadPixel<kBits / 8>(row + pos * (kBits / 8));
        }
    }
    inline void Advance(int64_t pixels) { pos += kBits < 8 ? pixels * kBits : pixels; }
};

// The horizontal and vertical nearest-pixel stepping: per step, q whole source pixels and a
// remainder r of the extent n that carries one more pixel when it reaches n.
struct Stepper {
    int64_t q, r, n;
    inline int64_t Next(int64_t& e) const
    {
        e += r;
        if (e >= n) {
            e -= n;
            return q + 1;
        }
        return q;
    }
};

// What a row handler gets for each clip rectangle.
struct ClipSpan {
    RECT clip;  // I: the clip rectangle intersected with the destination rectangle
    int64_t width;  // I.right - I.left
    int64_t sourceColumn;  // first source column (of I.left, or of I.right - 1 when x-mirrored)
    int64_t remainder;  // its horizontal remainder
};

// Rows of the span's destination words for 1- and 4-bit destinations.
struct WordSpan {
    int64_t firstWord;  // word holding I.left
    int64_t words;
    uint32_t keepFirst, keepLast;
    inline uint32_t Keep(int64_t j) const { return (j == 0 ? keepFirst : 0) | (j == words - 1 ? keepLast : 0); }
};

template <int kBits>
inline WordSpan MakeWordSpan(const RECT& clip)
{
    constexpr int kPerWord = 32 / kBits;
    WordSpan s;
    const int64_t left = clip.left;
    s.firstWord = left >= 0 ? left / kPerWord : -((-left + kPerWord - 1) / kPerWord);
    const int64_t a = (left - s.firstWord * kPerWord) * kBits;
    const int64_t e = a + kBits * (int64_t(clip.right) - clip.left);
    s.words = (e - 1) / 32 + 1;
    s.keepFirst = a ? ~(~0u >> a) : 0u;
    s.keepLast = (e % 32) ? (~0u >> (e % 32)) : 0u;
    return s;
}

template <int kBits>
inline int64_t WordOf(int64_t column)
{
    constexpr int kPerWord = 32 / kBits;
    return column >= 0 ? column / kPerWord : -((-column + kPerWord - 1) / kPerWord);
}

// The frame every kernel runs: the clip loop, the first row and column with their remainders,
// the vertical stepping and the repeated-row test (only under vertical enlargement). The row
// handler converts a row from the source or, when its source row repeats, repeats the previous
// destination row in its block's way.
template <bool kMirror, class Rows>
inline void RunFrame(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect, const RECT* clips,
                     int32_t count, StretchScaleMode yMode, uint32_t yMirror, Rows& rows)
{
    if (count < 1 || !clips) return;
    const int64_t sw = source->width;
    const int64_t sh = std::llabs(int64_t(source->height));
    if (sw <= 0 || sh <= 0) return;
    const RECT& r = *destRect;
    const int64_t width = int64_t(r.right) - r.left;
    const int64_t height = int64_t(r.bottom) - r.top;
    if (width <= 0 || height <= 0) return;
    const Stepper yStep{sh / height, sh % height, height};
    uint8_t* const destBits = static_cast<uint8_t*>(dest->bits);
    const uint8_t* const sourceBits = static_cast<const uint8_t*>(source->bits);
    const int64_t destStride = dest->stride;
    const int64_t sourceStride = source->stride;
    const bool repeats = yMode == StretchGrow;

    for (int32_t c = 0; c < count; ++c) {
        RECT clip;
        if (!IntersectRect(&clip, &clips[c], &r)) continue;
        ClipSpan span;
        span.clip = clip;
        span.width = int64_t(clip.right) - clip.left;
        const int64_t xOffset = kMirror ? int64_t(r.right) - clip.right : int64_t(clip.left) - r.left;
        span.sourceColumn = source->x + (xOffset * sw) / width;
        span.remainder = (xOffset * sw) % width;
        const int64_t yOffset = yMirror ? int64_t(r.bottom) - clip.bottom : int64_t(clip.top) - r.top;
        int64_t sourceRow = source->y + (yOffset * sh) / height;
        int64_t ey = (yOffset * sh) % height;
        int64_t sourceOffset = sourceRow * sourceStride;
        int64_t destRow = yMirror ? int64_t(clip.bottom) - 1 : clip.top;
        const int64_t destStep = yMirror ? -1 : 1;
        rows.BeginClip(span);

        int64_t previousSource = 0;
        uint8_t* previousDest = nullptr;
        const int64_t rowCount = int64_t(clip.bottom) - clip.top;
        for (int64_t i = 0; i < rowCount; ++i) {
            uint8_t* destLine = destBits + destRow * destStride;
            if (repeats && rows.Repeatable() && previousDest && sourceOffset == previousSource) {
                rows.Repeat(destLine, previousDest);
            } else {
                rows.Convert(destLine, sourceBits + sourceOffset);
            }
            previousSource = sourceOffset;
            previousDest = destLine;
            destRow += destStep;
            sourceOffset += yStep.Next(ey) * sourceStride;
        }
    }
}

// The row cache: converted source pixels of one destination row, kept while the destination is
// taller than the source so that repeated rows combine without reading the source again. Sized
// by the widest clipped span; on the stack when small, else on the heap, and when even that
// fails every row is converted from the source.
class RowCache {
public:
    uint8_t* Take(size_t bytes)
    {
        if (bytes <= sizeof(local_)) return local_;
        heap_.reset(new (std::nothrow) uint8_t[bytes]);
        return heap_.get();
    }

private:
    alignas(8) uint8_t local_[4096];
    std::unique_ptr<uint8_t[]> heap_;
};

// Bytes the row cache needs for the widest span of the call (words for 1- and 4-bit rows).
template <class F>
inline size_t RowCacheBytes(const RECT* destRect, const RECT* clips, int32_t count)
{
    size_t most = 0;
    for (int32_t c = 0; c < count; ++c) {
        RECT clip;
        if (!IntersectRect(&clip, &clips[c], destRect)) continue;
        size_t bytes;
        if constexpr (F::kSubByteDst) {
            bytes = size_t(MakeWordSpan<F::kDstBits>(clip).words) * 4;
        } else {
            bytes = size_t(int64_t(clip.right) - clip.left) * F::kDstBytes;
        }
        if (bytes > most) most = bytes;
    }
    return most;
}

// Rows of the per-pixel members of the byte destinations.
template <class F, Op op, bool kMirror, bool kRowCache>
struct BytePixelRows {
    static constexpr int kDB = F::kDstBytes;
    RasterRop3 rop;
    const uint8_t* palette;
    Stepper xStep;
    uint8_t* cache;  // converted pixels of the row that read the source, or null
    bool copyRepeats;  // without a cache, a repeated row copies the previous destination row
    ClipSpan span{};

    // Byte offsets into a source row of the span's pixels, in drawing order: every row of a clip
    // samples the same columns, so the stepping is done once per clip instead of once per row,
    // and the rows are then a branch-free gather. Null for sub-byte sources or when the table
    // could not be allocated; the rows then step as they go.
    std::unique_ptr<int64_t[]> offsets{};
    int64_t offsetsSize = 0;

    bool Repeatable() const { return cache || copyRepeats; }
    void BeginClip(const ClipSpan& s)
    {
        span = s;
        if constexpr (F::kSrcBytes > 0) {
            if (span.width > offsetsSize) {
                offsets.reset(new (std::nothrow) int64_t[size_t(span.width)]);
                offsetsSize = offsets ? span.width : 0;
            }
            if (!offsets) return;
            int64_t e = span.remainder;
            int64_t column = span.sourceColumn;
            for (int64_t i = 0; i < span.width; ++i) {
                offsets[i] = column * F::kSrcBytes;
                column += xStep.Next(e);
            }
        }
    }

    template <bool kFill>
    inline void GatherInto(uint8_t* destLine, const uint8_t* sourceLine)
    {
        const int64_t w = span.width;
        const int64_t* table = offsets.get();
        if constexpr (!kMirror && !kFill && op == Op::Copy && F::kSameFormat && kDB == 4) {
            // Plain 32-bit copies: four independent loads a round keep several cache misses in flight.
            uint8_t* d = destLine + int64_t(span.clip.left) * kDB;
            int64_t i = 0;
            for (; i + 4 <= w; i += 4, d += 16) {
                const uint32_t p0 = LoadPixel<4>(sourceLine + table[i]), p1 = LoadPixel<4>(sourceLine + table[i + 1]);
                const uint32_t p2 = LoadPixel<4>(sourceLine + table[i + 2]),
                               p3 = LoadPixel<4>(sourceLine + table[i + 3]);
                StorePixel<4>(d, p0), StorePixel<4>(d + 4, p1), StorePixel<4>(d + 8, p2), StorePixel<4>(d + 12, p3);
            }
            for (; i < w; ++i, d += 4) StorePixel<4>(d, LoadPixel<4>(sourceLine + table[i]));
        } else if constexpr (!kMirror) {
            uint8_t* d = destLine + int64_t(span.clip.left) * kDB;
            for (int64_t i = 0; i < w; ++i, d += kDB) {
                const uint32_t s = F::Convert(LoadPixel<F::kSrcBytes>(sourceLine + table[i]), palette);
                if constexpr (kFill) StorePixel<kDB>(cache + i * kDB, s);
                if constexpr (op == Op::Copy) {
                    StorePixel<kDB>(d, s);
                } else {
                    StorePixel<kDB>(d, Apply<op>(LoadPixel<kDB>(d), s, rop));
                }
            }
        } else {
            uint8_t* d = destLine + (int64_t(span.clip.right) - 1) * kDB;
            for (int64_t i = 0; i < w; ++i, d -= kDB) {
                const uint32_t s = F::Convert(LoadPixel<F::kSrcBytes>(sourceLine + table[i]), palette);
                if constexpr (kFill) StorePixel<kDB>(cache + (w - 1 - i) * kDB, s);
                if constexpr (op == Op::Copy) {
                    StorePixel<kDB>(d, s);
                } else {
                    StorePixel<kDB>(d, Apply<op>(LoadPixel<kDB>(d), s, rop));
                }
            }
        }
    }

    template <bool kFill>
    inline void ConvertInto(uint8_t* destLine, const uint8_t* sourceLine)
    {
        if constexpr (F::kSrcBytes > 0) {
            if (offsets) return GatherInto<kFill>(destLine, sourceLine);
        }
        SourceCursor<F::kSrcBits> cursor(sourceLine, span.sourceColumn);
        int64_t e = span.remainder;
        const int64_t w = span.width;
        int64_t column = kMirror ? int64_t(span.clip.right) - 1 : span.clip.left;
        for (int64_t i = 0; i < w; ++i) {
            const uint32_t s = F::Convert(cursor.Fetch(), palette);
            uint8_t* d = destLine + column * kDB;
            if constexpr (kFill) StorePixel<kDB>(cache + (kMirror ? w - 1 - i : i) * kDB, s);
            if constexpr (op == Op::Copy) {
                StorePixel<kDB>(d, s);
            } else {
                StorePixel<kDB>(d, Apply<op>(LoadPixel<kDB>(d), s, rop));
            }
            column += kMirror ? -1 : 1;
            cursor.Advance(xStep.Next(e));
        }
    }

    void Convert(uint8_t* destLine, const uint8_t* sourceLine)
    {
        if (kRowCache && cache) {
            ConvertInto<kRowCache>(destLine, sourceLine);
        } else {
            ConvertInto<false>(destLine, sourceLine);
        }
    }

    void Repeat(uint8_t* destLine, uint8_t* previousLine)
    {
        uint8_t* d = destLine + int64_t(span.clip.left) * kDB;
        if (!cache) {
            std::memmove(d, previousLine + int64_t(span.clip.left) * kDB, size_t(span.width) * kDB);
            return;
        }
        for (int64_t i = 0; i < span.width; ++i, d += kDB) {
            StorePixel<kDB>(d, Apply<op>(LoadPixel<kDB>(d), LoadPixel<kDB>(cache + i * kDB), rop));
        }
    }
};

// Rows of the per-pixel members of 1To1 and 4To4: every pixel a read-modify-write of its
// destination word; the row cache is a row of words laid out like the destination's.
template <class F, Op op, bool kMirror>
struct SubBytePixelRows {
    static constexpr int kBits = F::kDstBits;
    static constexpr int kPerWord = 32 / kBits;
    static constexpr uint32_t kMask = (1u << kBits) - 1;
    RasterRop3 rop;
    Stepper xStep;
    uint32_t* cache;  // converted pixels of the row that read the source, or null
    bool copyRepeats;  // without a cache, a repeated row copies the previous row's words
    ClipSpan span{};
    WordSpan words{};

    bool Repeatable() const { return cache || copyRepeats; }
    void BeginClip(const ClipSpan& s)
    {
        span = s;
        words = MakeWordSpan<kBits>(s.clip);
    }

    void Convert(uint8_t* destLine, const uint8_t* sourceLine)
    {
        SourceCursor<kBits> cursor(sourceLine, span.sourceColumn);
        int64_t e = span.remainder;
        int64_t column = kMirror ? int64_t(span.clip.right) - 1 : span.clip.left;
        for (int64_t i = 0; i < span.width; ++i) {
            uint32_t s = cursor.Fetch();
            const int64_t word = WordOf<kBits>(column);
            const int shift = 32 - kBits - kBits * int(column - word * kPerWord);
            uint8_t* p = destLine + word * 4;
            uint32_t d = LoadBE32(p);
            const uint32_t field = Apply<op>((d >> shift) & kMask, s, rop) & kMask;
            StoreBE32(p, (d & ~(kMask << shift)) | (field << shift));
            if (cache) {
                uint32_t& slot = cache[word - words.firstWord];
                slot = (slot & ~(kMask << shift)) | (s << shift);
            }
            column += kMirror ? -1 : 1;
            cursor.Advance(xStep.Next(e));
        }
    }

    void Repeat(uint8_t* destLine, uint8_t* previousLine)
    {
        uint8_t* d = destLine + words.firstWord * 4;
        const uint8_t* prev = previousLine + words.firstWord * 4;
        for (int64_t j = 0; j < words.words; ++j) {
            const uint32_t keep = words.Keep(j);
            const uint32_t old = LoadBE32(d + 4 * j);
            if (cache) {
                StoreBE32(d + 4 * j, ApplyWord<op>(old, cache[j], keep, rop));
            } else {
                StoreBE32(d + 4 * j, ApplyWord<Op::Copy>(old, LoadBE32(prev + 4 * j), keep, rop));
            }
        }
    }
};

// Equal-width rows of the byte same-format groups: the source row at the start column maps
// column for column onto the span; copies are one block move.
template <class F, Op op>
struct SameWidthByteRows {
    static constexpr int kDB = F::kDstBytes;
    RasterRop3 rop;
    ClipSpan span{};
    bool Repeatable() const { return false; }
    void BeginClip(const ClipSpan& s) { span = s; }
    void Convert(uint8_t* destLine, const uint8_t* sourceLine)
    {
        uint8_t* d = destLine + int64_t(span.clip.left) * kDB;
        const uint8_t* s = sourceLine + span.sourceColumn * kDB;
        const size_t bytes = size_t(span.width) * kDB;
        if constexpr (op == Op::Copy) {
            std::memmove(d, s, bytes);
        } else {
            for (size_t i = 0; i < bytes; ++i) d[i] = uint8_t(Apply<op>(d[i], s[i], rop));
        }
    }
    void Repeat(uint8_t*, uint8_t*) {}
};

// Equal-width rows of 1To1 and 4To4: the word shifter. The source stream starts at the word
// holding the start column; each destination word of the span takes the source bits shifted by
// one constant, and a source word is read only when it holds a pixel of the span.
template <class F, Op op>
struct SameWidthWordRows {
    static constexpr int kBits = F::kDstBits;
    RasterRop3 rop;
    ClipSpan span{};
    WordSpan words{};
    bool Repeatable() const { return false; }
    void BeginClip(const ClipSpan& s)
    {
        span = s;
        words = MakeWordSpan<kBits>(s.clip);
    }
    void Convert(uint8_t* destLine, const uint8_t* sourceLine)
    {
        const int64_t sourceBit = span.sourceColumn * kBits;
        const int64_t sourceWord = sourceBit >= 0 ? sourceBit / 32 : -((-sourceBit + 31) / 32);
        const uint8_t* stream = sourceLine + sourceWord * 4;
        const int s = int(sourceBit - sourceWord * 32);
        const int a = int((int64_t(span.clip.left) - words.firstWord * (32 / kBits)) * kBits);
        const int64_t lastSource = (s + kBits * span.width - 1) / 32;
        const int t = s - a;
        const int64_t base = t >= 0 ? 0 : -1;
        const int shift = t >= 0 ? t : 32 + t;
        auto word = [&](int64_t j) -> uint32_t { return (j >= 0 && j <= lastSource) ? LoadBE32(stream + 4 * j) : 0u; };
        uint8_t* d = destLine + words.firstWord * 4;
        for (int64_t i = 0; i < words.words; ++i) {
            uint32_t aligned = word(i + base) << shift;
            if (shift) aligned |= word(i + base + 1) >> (32 - shift);
            const uint32_t keep = words.Keep(i);
            const bool readsOld = keep || !(op == Op::Copy || op == Op::Not);
            const uint32_t old = readsOld ? LoadBE32(d + 4 * i) : 0u;
            StoreBE32(d + 4 * i, ApplyWord<op>(old, aligned, keep, rop));
        }
    }
    void Repeat(uint8_t*, uint8_t*) {}
};

// The per-pixel body, shared by the Same, Grow and Shrink members (or by the three mirrored
// ones). kRowCache: the block repeats rows through the row cache (paint and generic blocks)
// rather than by copying the previous destination row (copy and inverted-copy blocks).
template <class F, Op op, bool kMirror, bool kRowCache>
[[gnu::noinline]] void PerPixelBody(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect,
                                    const RECT* clips, int32_t count, RasterRop3 rop, StretchScaleMode yMode,
                                    uint32_t yMirror)
{
    if (count < 1 || !clips || !destRect) return;
    const int64_t width = int64_t(destRect->right) - destRect->left;
    const int64_t sw = source->width;
    if (width <= 0 || sw <= 0) return;
    const Stepper xStep{sw / width, sw % width, width};
    RowCache storage;
    uint8_t* cache = nullptr;
    if (kRowCache && yMode == StretchGrow) {
        const size_t bytes = RowCacheBytes<F>(destRect, clips, count);
        if (bytes) cache = storage.Take(bytes);
    }
    if constexpr (F::kSubByteDst) {
        SubBytePixelRows<F, op, kMirror> rows{rop, xStep, reinterpret_cast<uint32_t*>(cache), !kRowCache};
        RunFrame<kMirror>(dest, source, destRect, clips, count, yMode, yMirror, rows);
    } else {
        BytePixelRows<F, op, kMirror, kRowCache> rows{rop, source->palette, xStep, cache, !kRowCache};
        RunFrame<kMirror>(dest, source, destRect, clips, count, yMode, yMirror, rows);
    }
}

// The equal-width body of the same-format groups: no stepping and no row cache.
template <class F, Op op>
[[gnu::noinline]] void SameWidthBody(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect,
                                     const RECT* clips, int32_t count, RasterRop3 rop, StretchScaleMode yMode,
                                     uint32_t yMirror)
{
    if (!destRect) return;
    if constexpr (F::kSubByteDst) {
        SameWidthWordRows<F, op> rows{rop};
        RunFrame<false>(dest, source, destRect, clips, count, yMode, yMirror, rows);
    } else {
        SameWidthByteRows<F, op> rows{rop};
        RunFrame<false>(dest, source, destRect, clips, count, yMode, yMirror, rows);
    }
}

template <class F, Op op, bool kRowCache, bool kSameMember, bool kMirror>
inline void RunBody(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect, const RECT* clips,
                    int32_t count, RasterRop3 rop, StretchScaleMode yMode, uint32_t yMirror)
{
    if constexpr (kSameMember && !kMirror && F::kSameFormat) {
        SameWidthBody<F, op>(dest, source, destRect, clips, count, rop, yMode, yMirror);
    } else {
        PerPixelBody<F, op, kMirror, kRowCache>(dest, source, destRect, clips, count, rop, yMode, yMirror);
    }
}

enum class Width { Same, Grow, Shrink };

// One kernel entry: block, group, width class and mirror fixed. The copy and inverted-copy
// blocks repeat a row by copying the previous destination row; the paint and generic blocks keep
// the row cache, since their result depends on what each row held before.
template <Block kBlock, class F, Width kWidth, bool kMirror>
inline void RunKernel(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect, const RECT* clips,
                      int32_t count, RasterRop3 rop, StretchScaleMode yMode, uint32_t yMirror)
{
    constexpr bool kSame = kWidth == Width::Same;
    constexpr Op kOp = kBlock == Block::Copy      ? Op::Copy
                       : kBlock == Block::NotCopy ? Op::Not
                       : kBlock == Block::Paint   ? Op::Or
                                                  : Op::Rop;
    constexpr bool kRowCache = kBlock == Block::Paint || kBlock == Block::Rop;
    RunBody<F, kOp, kRowCache, kSame, kMirror>(dest, source, destRect, clips, count, rop, yMode, yMirror);
}

}  // namespace stretch_detail

// Defines the six members of one group of one block.
#define STRETCH_DEFINE_MEMBER(block, group, suffix, width, mirror)                                                 \
    void RasterStretch##block##group##suffix(STRETCH_KERNEL_PARAMS)                                                \
    {                                                                                                              \
        (void)xMode;                                                                                               \
        (void)xMirror;                                                                                             \
        stretch_detail::RunKernel<stretch_detail::Block::block, stretch_detail::Format##group,                     \
                                  stretch_detail::Width::width, mirror>(dest, source, destRect, clips, count, rop, \
                                                                        yMode, yMirror);                           \
    }
#define STRETCH_DEFINE_GROUP(block, group) STRETCH_MEMBERS(STRETCH_DEFINE_MEMBER, block, group)
