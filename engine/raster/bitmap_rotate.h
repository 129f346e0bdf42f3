// Turning a band-sized image by the page orientation (0 upright, 1 half turn, 2 and 3 quarter
// turns) with an optional mirror in x.
#pragma once

#include <cstdint>

// Turns the source into the destination and returns the destination's stride. For quarter turns
// the caller's size {width, height} is swapped. Rows are padded to 4 bytes.
uint32_t BitmapRotate(uint32_t bitsPerPixel, uint32_t orientation, int32_t xMirror, const uint8_t* source,
                      uint32_t sourceStride, uint32_t size[2], uint8_t* destination);
