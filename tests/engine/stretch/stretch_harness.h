// Test bitmaps for the stretch blit and a plain nearest-pixel reference to check it against.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/stretch/stretch_blt.h"

namespace stretch_test {

struct GroupInfo {
    int sourceBpp;
    bool palette;
    int destBpp;
    const char* name;
};
// The 17 format groups in table order.
extern const GroupInfo kGroups[kStretchGroupCount];
extern const char* const kBlockNames[kStretchBlockCount];
extern const char* const kMemberSuffixes[kStretchMemberCount];

// Bytes of memory that end directly at a page that cannot be read or written, so any read past
// the end faults.
class GuardedMemory {
public:
    explicit GuardedMemory(size_t bytes);
    ~GuardedMemory();
    GuardedMemory(const GuardedMemory&) = delete;
    GuardedMemory& operator=(const GuardedMemory&) = delete;
    uint8_t* data() const { return data_; }

private:
    uint8_t* map_ = nullptr;
    size_t mapBytes_ = 0;
    uint8_t* data_ = nullptr;
};

// A source bitmap whose extent (columns x .. x + width - 1, rows y .. y + |height| - 1, 1- and
// 4-bit rows to the end of the word holding the last pixel) ends exactly at a guard page.
struct SourceImage {
    SourceImage(int bpp, int x, int y, int width, int height, int stridePad, bool bottomUp, std::mt19937& rng);
    BltBitmap bitmap{};
    std::unique_ptr<GuardedMemory> memory;
    std::vector<uint8_t> palette;  // 256 random entries
};

// A destination with random contents, a random margin of bytes before and after each row and
// rows that may run bottom-up. Everything outside the pixels drawn must keep its bytes.
struct DestImage {
    DestImage(int bpp, int width, int height, bool bottomUp, std::mt19937& rng);
    BltBitmap bitmap{};
    std::vector<uint8_t> bytes;
    int width, height;
};

// The reference: for every clip rectangle in turn, every pixel of its intersection with the
// normalised rectangle takes the source pixel nearest its top-left corner, converted, and is
// combined by rop as the blocks define it. Independent of the kernels' stepping and layouts.
// dest.bits points into the copy that the reference writes; rect may be given reversed.
void ReferenceStretch(const BltBitmap& dest, const BltBitmap& source, RECT rect, const RECT* clips, int count,
                      RasterRop3 rop);

// Reads one destination pixel (reference layout) for focused checks.
uint32_t ReadPixel(const BltBitmap& bitmap, int x, int y);

}  // namespace stretch_test
