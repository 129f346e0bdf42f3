#include "engine/common/rop.h"

namespace {

// GDI mix mode numbers.
constexpr uint32_t kMixBlack = 1;
constexpr uint32_t kMixMaskPen = 9;
constexpr uint32_t kMixCopyPen = 13;
constexpr uint32_t kMixMergePen = 15;
constexpr uint32_t kMixWhite = 16;

}  // namespace

const uint8_t Rop2ToRop3[16] = {0xFF, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A,
                                0x5F, 0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA};

void Rop2Simplify(uint32_t* mix, uint32_t* color)
{
    if (*mix == kMixBlack) {
        *mix = kMixCopyPen;
        *color = ROP_COLOR_BLACK;
    } else if (*mix == kMixWhite) {
        *mix = kMixCopyPen;
        *color = ROP_COLOR_WHITE;
    } else if ((*mix == kMixMaskPen && *color == ROP_COLOR_BLACK) ||
               (*mix == kMixMergePen && *color == ROP_COLOR_WHITE)) {
        *mix = kMixCopyPen;
    }
}

uint8_t RopToRop3(uint32_t mix) { return Rop2ToRop3[mix & 15]; }
