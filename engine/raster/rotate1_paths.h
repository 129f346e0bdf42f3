// The 1-bit quarter turn's kernels, one row of the table per instruction set, fastest first.
// Each turns a whole bitmap (W x H pixels, rows of any signed stride) by 90 degrees clockwise or
// back, as Rotate1By90 and Rotate1By270 describe; it takes the rows it can in strips of its own
// height and leaves the rest to the next row of the table. The first row the processor supports
// is chosen once, on the first turn.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using Rotate1TurnFn = void (*)(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                               int32_t width, int32_t height);

struct Rotate1Path {
    const char* name;
    bool (*supported)();
    Rotate1TurnFn turn90;
    Rotate1TurnFn turn270;
};

// gfni_avx512, avx2, sse2, plain; a row whose instruction set the compiler lacks is never
// supported.
extern const std::array<Rotate1Path, 4> kRotate1Paths;

// The first row of kRotate1Paths this processor supports.
const Rotate1Path& Rotate1SelectedPath();

// The kernels behind the table, for the kernels that hand their last rows or columns down.
// Plain: square blocks by quadrant recursion.
void Rotate1PlainTurn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height);
void Rotate1PlainTurn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                         int32_t width, int32_t height);
// SSE2: strips of 16 rows, the rest by the plain kernel.
void Rotate1Sse2Turn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height);
void Rotate1Sse2Turn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height);
// One strip of 16 source rows, first..first + 15, from source byte column firstColumn to the
// end of the row; they land at destByte of each destination row. Needs SSE2.
void Rotate1Sse2Strip(bool clockwise, uint8_t* dest, ptrdiff_t destStride, const uint8_t* source,
                      ptrdiff_t sourceStride, int32_t width, int32_t first, int32_t destByte, int32_t firstColumn);
bool Rotate1Sse2Supported();
// AVX2: strips of 32 rows, the rest by the SSE2 kernel.
void Rotate1Avx2Turn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height);
void Rotate1Avx2Turn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height);
bool Rotate1Avx2Supported();
// AVX-512 with GFNI: strips of 64 rows in 64 x 64 tiles, their last columns by the SSE2 strips,
// the rest of the rows by the AVX2 kernel.
void Rotate1GfniTurn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height);
void Rotate1GfniTurn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height);
bool Rotate1GfniSupported();
