// Raster operations over packed destination bytes: one evaluator for every ternary code, with
// fast paths for the codes that drawing uses most. The operation works on bits, so it serves
// every pixel depth alike.
#include <cstring>

#include "../gdi_internal.h"

namespace gdi {
namespace {

inline uint64_t Load(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Store(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// Applies f(p, s, d) to 64-bit chunks, then to the tail bytes one by one.
template <class F>
void ForBytes(uint8_t* dst, const uint8_t* src, const uint8_t* pat, size_t n, F f)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t s = src ? Load(src + i) : 0;
        uint64_t p = pat ? Load(pat + i) : 0;
        Store(dst + i, f(p, s, Load(dst + i)));
    }
    for (; i < n; ++i) {
        uint64_t s = src ? src[i] : 0;
        uint64_t p = pat ? pat[i] : 0;
        dst[i] = uint8_t(f(p, s, dst[i]));
    }
}

// Bit i of the code is the result for pattern, source and destination bits (i >> 2, i >> 1, i) & 1.
inline uint64_t Evaluate(uint8_t code, uint64_t p, uint64_t s, uint64_t d)
{
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i)
        if ((code >> i) & 1) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return r;
}

}  // namespace

void Rop3Apply(uint8_t code, uint8_t* dst, const uint8_t* src, const uint8_t* pat, size_t n)
{
    switch (code) {
        case 0xAA: return;  // destination unchanged
        case 0x00: std::memset(dst, 0, n); return;
        case 0xFF: std::memset(dst, 0xFF, n); return;
        case 0xCC: std::memcpy(dst, src, n); return;
        case 0xF0: std::memcpy(dst, pat, n); return;
        case 0x33: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t) { return ~s; }); return;
        case 0x0F: ForBytes(dst, nullptr, pat, n, [](uint64_t p, uint64_t, uint64_t) { return ~p; }); return;
        case 0x55: ForBytes(dst, nullptr, nullptr, n, [](uint64_t, uint64_t, uint64_t d) { return ~d; }); return;
        case 0x66: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return s ^ d; }); return;
        case 0x99: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return ~(s ^ d); }); return;
        case 0x88: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return s & d; }); return;
        case 0xEE: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return s | d; }); return;
        case 0x44: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return s & ~d; }); return;
        case 0x22: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return ~s & d; }); return;
        case 0x11: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return ~(s | d); }); return;
        case 0xBB: ForBytes(dst, src, nullptr, n, [](uint64_t, uint64_t s, uint64_t d) { return ~s | d; }); return;
        case 0x5A: ForBytes(dst, nullptr, pat, n, [](uint64_t p, uint64_t, uint64_t d) { return p ^ d; }); return;
        case 0xA5: ForBytes(dst, nullptr, pat, n, [](uint64_t p, uint64_t, uint64_t d) { return ~(p ^ d); }); return;
        case 0xA0: ForBytes(dst, nullptr, pat, n, [](uint64_t p, uint64_t, uint64_t d) { return p & d; }); return;
        case 0x0A: ForBytes(dst, nullptr, pat, n, [](uint64_t p, uint64_t, uint64_t d) { return ~p & d; }); return;
        case 0xFA: ForBytes(dst, nullptr, pat, n, [](uint64_t p, uint64_t, uint64_t d) { return p | d; }); return;
        case 0xAF: ForBytes(dst, nullptr, pat, n, [](uint64_t p, uint64_t, uint64_t d) { return ~p | d; }); return;
        case 0xC0: ForBytes(dst, src, pat, n, [](uint64_t p, uint64_t s, uint64_t) { return p & s; }); return;
        case 0xB8:
            ForBytes(dst, src, pat, n, [](uint64_t p, uint64_t s, uint64_t d) { return (s & d) | (~s & p); });
            return;
        case 0xE2:
            ForBytes(dst, src, pat, n, [](uint64_t p, uint64_t s, uint64_t d) { return (s & p) | (~s & d); });
            return;
        default:
            ForBytes(dst, src, pat, n, [code](uint64_t p, uint64_t s, uint64_t d) { return Evaluate(code, p, s, d); });
            return;
    }
}

uint8_t Rop2ToRop3Code(int mix)
{
    // The mix's truth table over (pen, destination) spread over the source bit.
    uint32_t table = uint32_t(mix - 1) & 15;
    uint8_t code = 0;
    for (int i = 0; i < 8; ++i) {
        int p = (i >> 2) & 1, d = i & 1;
        if ((table >> (p << 1 | d)) & 1) code |= uint8_t(1 << i);
    }
    return code;
}

}  // namespace gdi
