// GDI mix modes (ROP2): rewriting into plain copies, and translation into the pattern raster
// operation byte of a ROP3 code.
#pragma once

#include <cstdint>

// Index: mix mode & 15 (R2_WHITE, 16, lands on 0).
extern const uint8_t Rop2ToRop3[16];

// Colour ids of the built-in black and white brushes.
inline constexpr uint32_t ROP_COLOR_BLACK = 0x80000000u;
inline constexpr uint32_t ROP_COLOR_WHITE = 0x80FFFFFFu;

// R2_BLACK becomes R2_COPYPEN with black, R2_WHITE R2_COPYPEN with white; R2_MASKPEN with black and
// R2_MERGEPEN with white become R2_COPYPEN; every other pair stays as it is.
void Rop2Simplify(uint32_t* mix, uint32_t* color);
// The pattern raster operation of a mix mode.
uint8_t RopToRop3(uint32_t mix);
