// The typed-array converter. Integers become floats on 0..255 by their significant bits; floats
// become integers with the rounding and limits each code has.
#include "engine/services/cmm/cmm_array.h"

#include <algorithm>
#include <cmath>

namespace {

uint32_t FullBits(CmmElementCode code) { return CmmElementSize(code) * 8; }
uint32_t BitsOf(const CmmArray* a) { return a->bits != 0 ? std::min(a->bits, FullBits(a->code)) : FullBits(a->code); }
double FullScale(uint32_t bits) { return std::ldexp(1.0, static_cast<int>(bits)) - 1.0; }

double LoadAsFloat(const CmmArray* a, size_t i)
{
    double v = 0;
    switch (a->code) {
        case CMM_ELEMENT_FLOAT: return static_cast<const float*>(a->data)[i];
        case CMM_ELEMENT_U8: v = static_cast<const uint8_t*>(a->data)[i]; break;
        case CMM_ELEMENT_U16: v = static_cast<const uint16_t*>(a->data)[i]; break;
        case CMM_ELEMENT_S16: v = static_cast<const int16_t*>(a->data)[i]; break;
        case CMM_ELEMENT_S32: v = static_cast<const int32_t*>(a->data)[i]; break;
        default: v = static_cast<const uint32_t*>(a->data)[i]; break;
    }
    return v * 255.0 / FullScale(BitsOf(a));
}

// v is already on the destination's integer scale.
void StoreFromFloat(CmmArray* a, size_t i, double v)
{
    if (std::isnan(v)) v = 0;
    switch (a->code) {
        case CMM_ELEMENT_FLOAT: static_cast<float*>(a->data)[i] = static_cast<float>(v); return;
        case CMM_ELEMENT_U8: {
            const double top = FullScale(BitsOf(a));
            v = v < 0 ? 0 : v >= top ? top : v >= 127.5 ? std::floor(v + 0.5) : std::floor(v);
            static_cast<uint8_t*>(a->data)[i] = static_cast<uint8_t>(std::min(v, top));
            return;
        }
        case CMM_ELEMENT_U16:
            static_cast<uint16_t*>(a->data)[i] = static_cast<uint16_t>(v < 0 ? 0 : v >= 65535 ? 65534 : v);
            return;
        case CMM_ELEMENT_S16:
            static_cast<int16_t*>(a->data)[i] = static_cast<int16_t>(std::clamp(v, -32766.5, 32766.5));
            return;
        case CMM_ELEMENT_S32:
            static_cast<int32_t*>(a->data)[i] = static_cast<int32_t>(std::clamp(v, -2147483647.0, 2147483647.0));
            return;
        default: static_cast<uint32_t*>(a->data)[i] = static_cast<uint32_t>(std::clamp(v, 0.0, 4294967295.0)); return;
    }
}

}  // namespace

void CmmArrayConvert(const CmmArray* source, CmmArray* destination)
{
    if (source == destination || source->data == nullptr || destination->data == nullptr) return;
    const uint32_t perRow = std::min(source->perRow, destination->perRow);
    const uint32_t rows = std::min(source->rows, destination->rows);
    const uint32_t size = CmmElementSize(destination->code);
    if (source->code == destination->code && source->bits == destination->bits) {
        for (uint32_t r = 0; r < rows; ++r)
            CmmCopyBytes(static_cast<uint8_t*>(destination->data) + size_t{r} * destination->perRow * size,
                         static_cast<const uint8_t*>(source->data) + size_t{r} * source->perRow * size,
                         size_t{perRow} * size);
        return;
    }
    const double scale = destination->code == CMM_ELEMENT_FLOAT ? 1.0 : FullScale(BitsOf(destination)) / 255.0;
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < perRow; ++c)
            StoreFromFloat(destination, size_t{r} * destination->perRow + c,
                           LoadAsFloat(source, size_t{r} * source->perRow + c) * scale);
}
