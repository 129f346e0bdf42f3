// Tiling kernels for band planes of 1, 2 and 4 bits: opaque pattern fill, pattern AND (1 bit) and
// pattern through a mask. A selector widens a narrow pattern and picks the loop that forms each
// destination word from the pattern row with the fewest pieces: one rotated word, two pieces of
// one word, a funnel of two neighbouring words, or a funnel over a row of any width.
#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>

#include "engine/raster/plane_kernels.h"
#include "engine/raster/plane_word.h"

namespace {

using namespace plane;

enum class Loop { kWord, kNarrow, kWords, kAny };

inline uint32_t Funnel(uint32_t high, uint32_t low, uint32_t shift)
{
    return shift ? (high << shift) | (low >> (32 - shift)) : high;
}

// The pattern word that starts at pattern pixel c (0 <= c < w') of a pattern row, the row read
// as a cyclic string of w' pixels.
template <uint32_t Depth, Loop Kind>
inline uint32_t PatternWord(const uint8_t* row, uint32_t widened, uint32_t c)
{
    constexpr uint32_t ppw = 32 / Depth;
    if constexpr (Kind == Loop::kWord) {
        return std::rotl(LoadNative(row), static_cast<int>(c * Depth));
    } else if constexpr (Kind == Loop::kNarrow) {
        // The rest of the pattern from c, then the pattern again from its pixel 0.
        const uint32_t p = LoadNative(row);
        const uint32_t t = c + ppw - widened;
        const uint32_t m = ~0u << (t * Depth);
        return (std::rotl(p, static_cast<int>(c * Depth)) & m) | (std::rotl(p, static_cast<int>(t * Depth)) & ~m);
    } else if constexpr (Kind == Loop::kWords) {
        const uint32_t words = widened / ppw;
        const uint32_t k = c / ppw;
        const uint32_t next = k + 1 == words ? 0 : k + 1;
        return Funnel(LoadNative(row + 4 * k), LoadNative(row + 4 * next), (c % ppw) * Depth);
    } else {
        // The last word is partial: the pixels stored after its end of the string are the
        // pattern's first pixels again, and the string then goes on in word 0 further along.
        const uint32_t words = (widened + ppw - 1) / ppw;
        const uint32_t k = c / ppw;
        uint32_t low;
        if (k + 1 < words) {
            low = LoadNative(row + 4 * (k + 1));
        } else {
            low = Funnel(LoadNative(row), LoadNative(row + 4), (ppw - widened % ppw) * Depth);
        }
        return Funnel(LoadNative(row + 4 * k), low, (c % ppw) * Depth);
    }
}

constexpr uint32_t kMaxCycle = 64;

inline uint32_t ToBig(uint32_t v) { return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v; }

// Stores `count` words alternating pair[0] and pair[1], sixteen bytes at a time.
inline void StorePairs(uint8_t* out, const uint32_t pair[2], uint64_t count)
{
    const uint32_t quad[4] = {pair[0], pair[1], pair[0], pair[1]};
    uint64_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::memcpy(out + 4 * i, quad, 16);
        std::memcpy(out + 4 * i + 16, quad, 16);
    }
    for (; i + 4 <= count; i += 4) std::memcpy(out + 4 * i, quad, 16);
    for (; i < count; ++i) std::memcpy(out + 4 * i, &quad[i & 1], 4);
}

template <uint32_t Depth>
inline uint32_t Advance(uint32_t c, uint32_t widened)
{
    c += 32 / Depth;
    while (c >= widened) c -= widened;
    return c;
}

template <uint32_t Depth, Loop Kind, bool And>
void PatternLoop(BltBitmap* dest, BltBitmap* pattern, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                 uint32_t phaseX, uint32_t phaseY, uint32_t widened, uint32_t patternHeight)
{
    using P = Plane<Depth>;
    constexpr uint32_t ppw = P::kPixelsPerWord;
    if (width == 0 || height == 0 || widened == 0 || patternHeight == 0) return;
    const uint64_t first = x / ppw;
    const uint64_t words = (static_cast<uint64_t>(x) + width - 1) / ppw - first + 1;
    const uint32_t left = P::LeftEdge(x);
    const uint32_t right = P::RightEdge(static_cast<uint64_t>(x) + width);
    // Phase of the first destination word, whose first pixel lies x mod ppw before x.
    int64_t start = (static_cast<int64_t>(phaseX % widened) - x % ppw) % widened;
    if (start < 0) start += widened;
    // The words of a row repeat after w' / gcd(w', ppw) words; divisions are kept out of the row
    // loop, where they would cost more than a narrow row's stores.
    const uint32_t period = widened / std::gcd(widened, ppw);
    const uint32_t lastPhase = static_cast<uint32_t>((start + (words - 1) * ppw) % widened);
    // Every destination row starts at the same phase, so a pattern row whose words repeat
    // within two words (see below) is worked out once and only stored on its later rows.
    struct RowPlan {
        uint32_t first, last, pair[2];
        bool ready;
    };
    constexpr uint32_t kMaxPlans = 64;
    const bool planning = Kind != Loop::kWord && !And && words > 2 && period <= kMaxCycle &&
                          !(Kind == Loop::kWords && period == 2) && words - 2 > period && patternHeight <= kMaxPlans &&
                          height > patternHeight;
    RowPlan plans[kMaxPlans];
    if (planning) {
        for (uint32_t i = 0; i < patternHeight; ++i) plans[i].ready = false;
    }
    uint32_t patternRow = phaseY % patternHeight;
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* row = RowAt(pattern->bits, pattern->stride, patternRow);
        uint8_t* out = RowAt(dest->bits, dest->stride, static_cast<uint64_t>(y) + r) + 4 * first;
        if (planning && plans[patternRow].ready) {
            const RowPlan& plan = plans[patternRow];
            StoreBig(out, Merge(LoadBig(out), plan.first, left));
            StorePairs(out + 4, plan.pair, words - 2);
            StoreBig(out + 4 * (words - 1), Merge(LoadBig(out + 4 * (words - 1)), plan.last, right));
            if (++patternRow == patternHeight) patternRow = 0;
            continue;
        }
        if constexpr (Kind == Loop::kWords && !And) {
            // Words two apart share their phase (a 64-pixel brush on 32-pixel words): the row is
            // two pattern words alternating, worked out directly, cheaper than planning it.
            if (period == 2 && words > 2) {
                const uint32_t even = PatternWord<Depth, Kind>(row, widened, static_cast<uint32_t>(start));
                const uint32_t odd =
                    PatternWord<Depth, Kind>(row, widened, Advance<Depth>(static_cast<uint32_t>(start), widened));
                const uint32_t pair[2] = {ToBig(odd), ToBig(even)};
                StoreBig(out, Merge(LoadBig(out), even, left));
                StorePairs(out + 4, pair, words - 2);
                uint8_t* end = out + 4 * (words - 1);
                StoreBig(end, Merge(LoadBig(end), (words - 1) % 2 ? odd : even, right));
                if (++patternRow == patternHeight) patternRow = 0;
                continue;
            }
        }
        uint32_t c = static_cast<uint32_t>(start);
        const uint32_t rowWord = Kind == Loop::kWord ? PatternWord<Depth, Kind>(row, widened, c) : 0;
        auto next = [&]() {
            if constexpr (Kind == Loop::kWord) {
                return rowWord;
            } else {
                const uint32_t pat = PatternWord<Depth, Kind>(row, widened, c);
                c = Advance<Depth>(c, widened);
                return pat;
            }
        };
        auto edge = [&](uint8_t* target, uint32_t pat, uint32_t m) {
            if constexpr (And) {
                StoreBig(target, LoadBig(target) & (pat | ~m));
            } else {
                StoreBig(target, Merge(LoadBig(target), pat, m));
            }
        };
        RowPlan plan{};
        if (words == 1) {
            edge(out, next(), left & right);
        } else {
            plan.first = next();
            edge(out, plan.first, left);
            // Inner words whole, without edge masks; a short cycle is formed once (in stored
            // byte order) and then only copied.
            const uint64_t inner = words - 2;
            if (Kind == Loop::kWord && !And) {
                const uint32_t value = ToBig(rowWord);
                for (uint64_t i = 1; i + 1 < words; ++i) std::memcpy(out + 4 * i, &value, 4);
            } else if (period <= kMaxCycle && inner > period) {
                uint32_t cycle[kMaxCycle];
                for (uint32_t j = 0; j < period; ++j) cycle[j] = ToBig(next());
                // A widened pattern that repeats within one or two words (an 8-pixel brush
                // widened to 24, a 64-pixel one) is stored eight bytes at a time: a word at a
                // time with a wrapping index costs several times as much.
                bool pairs = !And && period % 2 == 0;
                bool same = !And;
                for (uint32_t j = 1; j < period; ++j) {
                    same = same && cycle[j] == cycle[0];
                    pairs = pairs && cycle[j] == cycle[j & 1];
                }
                if (same || pairs) {
                    const uint32_t pair[2] = {cycle[0], cycle[same ? 0 : 1]};
                    plan.pair[0] = pair[0];
                    plan.pair[1] = pair[1];
                    plan.ready = planning;
                    StorePairs(out + 4, pair, inner);
                } else {
                    uint32_t j = 0;
                    for (uint64_t i = 1; i + 1 < words; ++i) {
                        uint8_t* target = out + 4 * i;
                        uint32_t value = cycle[j];
                        if constexpr (And) value &= LoadNative(target);
                        std::memcpy(target, &value, 4);
                        if (++j == period) j = 0;
                    }
                }
                // The last word's phase.
                c = lastPhase;
            } else {
                for (uint64_t i = 1; i + 1 < words; ++i) {
                    uint8_t* target = out + 4 * i;
                    if constexpr (And) {
                        StoreBig(target, LoadBig(target) & next());
                    } else {
                        StoreBig(target, next());
                    }
                }
            }
            plan.last = next();
            edge(out + 4 * (words - 1), plan.last, right);
            if (plan.ready) plans[patternRow] = plan;
        }
        if (++patternRow == patternHeight) patternRow = 0;
    }
}

// The first plane word at or after q whose mask bits are not all clear, or `words`. The mask of
// a thin or slanted shape is mostly clear over its bounds, so clear bits are passed 32 bytes and
// then 8 bytes at a time; no load reaches beyond the bytes of the row's last plane word.
template <uint32_t Depth>
inline uint64_t NextMaskedWord(const uint8_t* maskRow, uint64_t q, uint64_t words)
{
    constexpr uint64_t kWordsPer8 = 2 * Depth;  // plane words whose mask bits are 8 bytes
    const auto clear = [maskRow](uint64_t at, uint32_t blocks) {
        uint64_t any = 0;
        for (uint32_t i = 0; i < blocks; ++i) {
            uint64_t v;
            std::memcpy(&v, maskRow + at * 4 / Depth + 8 * i, 8);
            any |= v;
        }
        return any == 0;
    };
    while (q + 4 * kWordsPer8 <= words && clear(q, 4)) q += 4 * kWordsPer8;
    while (q + kWordsPer8 <= words && clear(q, 1)) q += kWordsPer8;
    while (q < words && Plane<Depth>::MaskBits(maskRow, q) == 0) ++q;
    return q;
}

template <uint32_t Depth, Loop Kind>
void MaskPatternLoop(BltBitmap* dest, BltBitmap* mask, BltBitmap* pattern, uint32_t phaseX, uint32_t phaseY,
                     uint32_t widened, uint32_t patternHeight)
{
    using P = Plane<Depth>;
    constexpr uint32_t ppw = P::kPixelsPerWord;
    if (mask->width <= 0 || mask->height <= 0 || widened == 0 || patternHeight == 0) return;
    const uint64_t width = static_cast<uint32_t>(mask->width);
    const uint64_t words = (width - 1) / ppw + 1;
    const uint32_t right = P::RightEdge(width);
    const uint32_t start = phaseX % widened;
    // Every row starts at the same phase, so the phase of each plane word is worked out once
    // (for rows of up to kPhaseWords words); past a stretch of clear mask bits a word of a wider
    // row gets its phase by one division.
    constexpr uint64_t kPhaseWords = 256;
    uint32_t phases[kPhaseWords];
    const bool tabled = words <= kPhaseWords;
    if (tabled) {
        uint32_t c = start;
        for (uint64_t q = 0; q < words; ++q) {
            phases[q] = c;
            c = Advance<Depth>(c, widened);
        }
    }
    uint32_t patternRow = phaseY % patternHeight;
    for (int32_t r = 0; r < mask->height; ++r) {
        const uint8_t* row = RowAt(pattern->bits, pattern->stride, patternRow);
        const uint8_t* maskRow = RowAt(mask->bits, mask->stride, r);
        uint8_t* out = RowAt(dest->bits, dest->stride, r);
        uint32_t c = start;  // the phase of plane word `at`
        uint64_t at = 0;
        for (uint64_t q = NextMaskedWord<Depth>(maskRow, 0, words); q < words;
             q = NextMaskedWord<Depth>(maskRow, q + 1, words)) {
            uint32_t m = P::MaskBits(maskRow, q);
            if (q == words - 1) m &= right;
            if (!m) continue;
            if (tabled) {
                c = phases[q];
            } else if (q - at == 1) {
                c = Advance<Depth>(c, widened);
            } else if (q != at) {
                c = static_cast<uint32_t>((c + (q - at) * ppw) % widened);
            }
            at = q;
            uint8_t* target = out + 4 * q;
            const uint32_t pat = PatternWord<Depth, Kind>(row, widened, c);
            StoreBig(target, Merge(LoadBig(target), pat, m));
        }
        if (++patternRow == patternHeight) patternRow = 0;
    }
}

// The index of the loop for a widened width, in the order Word, Narrow, Words, Any.
int LoopIndex(uint32_t depth, uint32_t widened)
{
    const uint32_t ppw = 32 / depth;
    if (widened == ppw) return 0;
    if (widened < ppw) return 1;
    return widened % ppw ? 3 : 2;
}

int DepthIndex(uint32_t depth) { return depth == 1 ? 0 : depth == 2 ? 1 : depth == 4 ? 2 : -1; }

}  // namespace

uint32_t PlanePatternWidthWiden(uint32_t depth, uint32_t patternWidth)
{
    if (patternWidth == 0 || (depth != 1 && depth != 2 && depth != 4)) return 0;
    const uint32_t threshold = 32 / depth / 2 + 1;
    uint32_t widened = patternWidth;
    while (widened < threshold) widened += patternWidth;
    return widened;
}

// The loops by name, each with the widened width as its pattern width.
#define PATTERN_LOOP(name, depth, kind, isAnd)                                                                      \
    void name(BltBitmap* d, BltBitmap* p, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t px, uint32_t py, \
              uint32_t pw, uint32_t ph)                                                                             \
    {                                                                                                               \
        PatternLoop<depth, Loop::kind, isAnd>(d, p, x, y, w, h, px, py, pw, ph);                                    \
    }
PATTERN_LOOP(Plane1PatternFillWord, 1, kWord, false)
PATTERN_LOOP(Plane1PatternFillNarrow, 1, kNarrow, false)
PATTERN_LOOP(Plane1PatternFillWords, 1, kWords, false)
PATTERN_LOOP(Plane1PatternFillAny, 1, kAny, false)
PATTERN_LOOP(Plane2PatternFillWord, 2, kWord, false)
PATTERN_LOOP(Plane2PatternFillNarrow, 2, kNarrow, false)
PATTERN_LOOP(Plane2PatternFillWords, 2, kWords, false)
PATTERN_LOOP(Plane2PatternFillAny, 2, kAny, false)
PATTERN_LOOP(Plane4PatternFillWord, 4, kWord, false)
PATTERN_LOOP(Plane4PatternFillNarrow, 4, kNarrow, false)
PATTERN_LOOP(Plane4PatternFillWords, 4, kWords, false)
PATTERN_LOOP(Plane4PatternFillAny, 4, kAny, false)
PATTERN_LOOP(Plane1PatternAndWord, 1, kWord, true)
PATTERN_LOOP(Plane1PatternAndNarrow, 1, kNarrow, true)
PATTERN_LOOP(Plane1PatternAndWords, 1, kWords, true)
PATTERN_LOOP(Plane1PatternAndAny, 1, kAny, true)
#undef PATTERN_LOOP

#define MASK_PATTERN_LOOP(name, depth, kind)                                                                \
    void name(BltBitmap* d, BltBitmap* m, BltBitmap* p, uint32_t px, uint32_t py, uint32_t pw, uint32_t ph) \
    {                                                                                                       \
        MaskPatternLoop<depth, Loop::kind>(d, m, p, px, py, pw, ph);                                        \
    }
MASK_PATTERN_LOOP(Plane1MaskPatternWord, 1, kWord)
MASK_PATTERN_LOOP(Plane1MaskPatternNarrow, 1, kNarrow)
MASK_PATTERN_LOOP(Plane1MaskPatternWords, 1, kWords)
MASK_PATTERN_LOOP(Plane1MaskPatternAny, 1, kAny)
MASK_PATTERN_LOOP(Plane2MaskPatternWord, 2, kWord)
MASK_PATTERN_LOOP(Plane2MaskPatternNarrow, 2, kNarrow)
MASK_PATTERN_LOOP(Plane2MaskPatternWords, 2, kWords)
MASK_PATTERN_LOOP(Plane2MaskPatternAny, 2, kAny)
MASK_PATTERN_LOOP(Plane4MaskPatternWord, 4, kWord)
MASK_PATTERN_LOOP(Plane4MaskPatternNarrow, 4, kNarrow)
MASK_PATTERN_LOOP(Plane4MaskPatternWords, 4, kWords)
MASK_PATTERN_LOOP(Plane4MaskPatternAny, 4, kAny)
#undef MASK_PATTERN_LOOP

namespace {

constexpr PlanePatternLoop kFillLoops[3][4] = {
    {Plane1PatternFillWord, Plane1PatternFillNarrow, Plane1PatternFillWords, Plane1PatternFillAny},
    {Plane2PatternFillWord, Plane2PatternFillNarrow, Plane2PatternFillWords, Plane2PatternFillAny},
    {Plane4PatternFillWord, Plane4PatternFillNarrow, Plane4PatternFillWords, Plane4PatternFillAny},
};
constexpr PlanePatternLoop kAndLoops[4] = {Plane1PatternAndWord, Plane1PatternAndNarrow, Plane1PatternAndWords,
                                           Plane1PatternAndAny};
constexpr PlaneMaskPatternLoop kMaskLoops[3][4] = {
    {Plane1MaskPatternWord, Plane1MaskPatternNarrow, Plane1MaskPatternWords, Plane1MaskPatternAny},
    {Plane2MaskPatternWord, Plane2MaskPatternNarrow, Plane2MaskPatternWords, Plane2MaskPatternAny},
    {Plane4MaskPatternWord, Plane4MaskPatternNarrow, Plane4MaskPatternWords, Plane4MaskPatternAny},
};

void PatternRun(uint32_t depth, bool patternAnd, BltBitmap* d, BltBitmap* p, uint32_t x, uint32_t y, uint32_t w,
                uint32_t h, uint32_t px, uint32_t py, uint32_t pw, uint32_t ph)
{
    const PlanePatternLoop loop = PlanePatternLoopSelect(depth, pw, patternAnd);
    if (loop == nullptr || ph == 0) return;
    loop(d, p, x, y, w, h, px, py, PlanePatternWidthWiden(depth, pw), ph);
}

void MaskPatternRun(uint32_t depth, BltBitmap* d, BltBitmap* m, BltBitmap* p, uint32_t px, uint32_t py, uint32_t pw,
                    uint32_t ph)
{
    const PlaneMaskPatternLoop loop = PlaneMaskPatternLoopSelect(depth, pw);
    if (loop == nullptr || ph == 0) return;
    loop(d, m, p, px, py, PlanePatternWidthWiden(depth, pw), ph);
}

}  // namespace

PlanePatternLoop PlanePatternLoopSelect(uint32_t depth, uint32_t patternWidth, bool patternAnd)
{
    const int d = DepthIndex(depth);
    const uint32_t widened = PlanePatternWidthWiden(depth, patternWidth);
    if (d < 0 || widened == 0 || (patternAnd && depth != 1)) return nullptr;
    return patternAnd ? kAndLoops[LoopIndex(depth, widened)] : kFillLoops[d][LoopIndex(depth, widened)];
}

PlaneMaskPatternLoop PlaneMaskPatternLoopSelect(uint32_t depth, uint32_t patternWidth)
{
    const int d = DepthIndex(depth);
    const uint32_t widened = PlanePatternWidthWiden(depth, patternWidth);
    if (d < 0 || widened == 0) return nullptr;
    return kMaskLoops[d][LoopIndex(depth, widened)];
}

void Plane1PatternFill(BltBitmap* d, BltBitmap* p, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t px,
                       uint32_t py, uint32_t pw, uint32_t ph)
{
    PatternRun(1, false, d, p, x, y, w, h, px, py, pw, ph);
}
void Plane2PatternFill(BltBitmap* d, BltBitmap* p, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t px,
                       uint32_t py, uint32_t pw, uint32_t ph)
{
    PatternRun(2, false, d, p, x, y, w, h, px, py, pw, ph);
}
void Plane4PatternFill(BltBitmap* d, BltBitmap* p, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t px,
                       uint32_t py, uint32_t pw, uint32_t ph)
{
    PatternRun(4, false, d, p, x, y, w, h, px, py, pw, ph);
}
void Plane1PatternAnd(BltBitmap* d, BltBitmap* p, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t px,
                      uint32_t py, uint32_t pw, uint32_t ph)
{
    PatternRun(1, true, d, p, x, y, w, h, px, py, pw, ph);
}
void Plane1MaskPattern(BltBitmap* d, BltBitmap* m, BltBitmap* p, uint32_t px, uint32_t py, uint32_t pw, uint32_t ph)
{
    MaskPatternRun(1, d, m, p, px, py, pw, ph);
}
void Plane2MaskPattern(BltBitmap* d, BltBitmap* m, BltBitmap* p, uint32_t px, uint32_t py, uint32_t pw, uint32_t ph)
{
    MaskPatternRun(2, d, m, p, px, py, pw, ph);
}
void Plane4MaskPattern(BltBitmap* d, BltBitmap* m, BltBitmap* p, uint32_t px, uint32_t py, uint32_t pw, uint32_t ph)
{
    MaskPatternRun(4, d, m, p, px, py, pw, ph);
}
