#include "tests/engine/stretch/stretch_harness.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace stretch_test {

const GroupInfo kGroups[kStretchGroupCount] = {
    {1, true, 32, "Pal1To32"}, {1, true, 8, "Pal1To8"},   {1, true, 24, "Pal1To24"}, {8, true, 32, "Pal8To32"},
    {8, true, 8, "Pal8To8"},   {8, true, 24, "Pal8To24"}, {4, true, 32, "Pal4To32"}, {4, true, 8, "Pal4To8"},
    {4, true, 24, "Pal4To24"}, {1, false, 1, "1To1"},     {4, false, 4, "4To4"},     {8, false, 8, "8To8"},
    {16, false, 24, "16To24"}, {16, false, 16, "16To16"}, {24, false, 24, "24To24"}, {32, false, 32, "32To32"},
    {32, false, 24, "32To24"},
};
const char* const kBlockNames[kStretchBlockCount] = {"Copy", "NotCopy", "Paint", "Rop"};
const char* const kMemberSuffixes[kStretchMemberCount] = {"", "Mirror", "Grow", "GrowMirror", "Shrink", "ShrinkMirror"};

GuardedMemory::GuardedMemory(size_t bytes)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (bytes + page - 1) / page;
    mapBytes_ = (dataPages + 1) * page;
    void* map = mmap(nullptr, mapBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::runtime_error("mmap failed");
    map_ = static_cast<uint8_t*>(map);
    if (mprotect(map_ + dataPages * page, page, PROT_NONE) != 0) {
        throw std::runtime_error("mprotect failed");
    }
    data_ = map_ + dataPages * page - bytes;
}

GuardedMemory::~GuardedMemory() { munmap(map_, mapBytes_); }

namespace {

// Bytes of one row up to the end of the given column (whole words for 1 and 4 bits).
int64_t RowBytesTo(int bpp, int64_t columns)
{
    if (bpp < 8) return (columns * bpp + 31) / 32 * 4;
    return columns * (bpp / 8);
}

const uint8_t* RowOf(const BltBitmap& b, int64_t y)
{
    return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(b.bits) + uintptr_t(y * b.stride));
}

}  // namespace

SourceImage::SourceImage(int bpp, int x, int y, int width, int height, int stridePad, bool bottomUp, std::mt19937& rng)
    : palette(1024)
{
    const int64_t rows = std::llabs(int64_t(height));
    const int64_t extentEnd = RowBytesTo(bpp, int64_t(x) + width);
    const int64_t stride = extentEnd + (bpp < 8 ? 4 * stridePad : stridePad);
    const int64_t bytes = (rows - 1) * stride + extentEnd;
    memory = std::make_unique<GuardedMemory>(size_t(bytes));
    for (int64_t i = 0; i < bytes; ++i) memory->data()[i] = uint8_t(rng());
    for (auto& b : palette) b = uint8_t(rng());
    // The lowest row of the extent starts the memory; its last row (or first, bottom-up) ends it.
    const int64_t lowestRow = bottomUp ? y + rows - 1 : y;
    const int64_t signedStride = bottomUp ? -stride : stride;
    bitmap.bits =
        reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(memory->data()) - uintptr_t(lowestRow * signedStride));
    bitmap.stride = int32_t(signedStride);
    bitmap.x = x;
    bitmap.y = y;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bpp = bpp;
    bitmap.palette = nullptr;
}

DestImage::DestImage(int bpp, int w, int h, bool bottomUp, std::mt19937& rng) : width(w), height(h)
{
    const int64_t before = 1 + rng() % 8;
    const int64_t after = 1 + rng() % 8;
    const int64_t rowBytes = before + RowBytesTo(bpp, w) + after;
    bytes.resize(size_t(rowBytes * h));
    for (auto& b : bytes) b = uint8_t(rng());
    uint8_t* row0 = bytes.data() + before + (bottomUp ? (h - 1) * rowBytes : 0);
    bitmap.bits = row0;
    bitmap.stride = int32_t(bottomUp ? -rowBytes : rowBytes);
    bitmap.width = w;
    bitmap.height = h;
    bitmap.bpp = bpp;
}

uint32_t ReadPixel(const BltBitmap& b, int x, int y)
{
    const uint8_t* row = RowOf(b, y);
    switch (b.bpp) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        case 8: return row[x];
        case 16: return row[2 * x] | (row[2 * x + 1] << 8);
        case 24: return row[3 * x] | (row[3 * x + 1] << 8) | (uint32_t(row[3 * x + 2]) << 16);
        default:
            return row[4 * x] | (row[4 * x + 1] << 8) | (uint32_t(row[4 * x + 2]) << 16) |
                   (uint32_t(row[4 * x + 3]) << 24);
    }
}

namespace {

void WritePixel(const BltBitmap& b, int x, int y, uint32_t v)
{
    uint8_t* row = const_cast<uint8_t*>(RowOf(b, y));
    switch (b.bpp) {
        case 1: {
            const uint8_t bit = uint8_t(0x80 >> (x & 7));
            row[x >> 3] = uint8_t((row[x >> 3] & ~bit) | ((v & 1) ? bit : 0));
            break;
        }
        case 4: {
            const int shift = (x & 1) ? 0 : 4;
            row[x >> 1] = uint8_t((row[x >> 1] & ~(15 << shift)) | ((v & 15) << shift));
            break;
        }
        default:
            for (int i = 0; i < b.bpp / 8; ++i) row[(b.bpp / 8) * x + i] = uint8_t(v >> (8 * i));
    }
}

uint32_t Convert(const BltBitmap& source, int destBpp, uint32_t v)
{
    const uint32_t mask = destBpp == 32 ? 0xFFFFFFFFu : (1u << destBpp) - 1;
    if (source.palette && source.bpp <= 8) {
        const uint8_t* e = source.palette + 4 * v;
        const uint32_t entry = e[0] | (e[1] << 8) | (uint32_t(e[2]) << 16) | (uint32_t(e[3]) << 24);
        return entry & mask;
    }
    if (source.bpp == 16 && destBpp == 24) {
        const uint32_t b = (v & 31) * 255 / 31;
        const uint32_t g = ((v >> 5) & 31) * 255 / 31;
        const uint32_t r = ((v >> 10) & 31) * 255 / 31;
        return b | (g << 8) | (r << 16);
    }
    return v & mask;
}

uint32_t Combine(RasterRop3 rop, uint32_t d, uint32_t s)
{
    switch (rop) {
        case 0xCC: return s;
        case 0x33: return ~s;
        case 0xEE: return d | s;
        case 0x66: return d ^ s;
        case 0x88: return d & s;
        default: return s;
    }
}

}  // namespace

void ReferenceStretch(const BltBitmap& dest, const BltBitmap& source, RECT rect, const RECT* clips, int count,
                      RasterRop3 rop)
{
    const bool mirrorX = rect.right < rect.left;
    const bool mirrorY = rect.bottom < rect.top;
    if (mirrorX) std::swap(rect.left, rect.right);
    if (mirrorY) std::swap(rect.top, rect.bottom);
    const int64_t w = int64_t(rect.right) - rect.left;
    const int64_t h = int64_t(rect.bottom) - rect.top;
    const int64_t sw = source.width;
    const int64_t sh = std::llabs(int64_t(source.height));
    const uint32_t mask = dest.bpp == 32 ? 0xFFFFFFFFu : (1u << dest.bpp) - 1;
    for (int c = 0; c < count; ++c) {
        const int64_t left = std::max(clips[c].left, rect.left);
        const int64_t right = std::min(clips[c].right, rect.right);
        const int64_t top = std::max(clips[c].top, rect.top);
        const int64_t bottom = std::min(clips[c].bottom, rect.bottom);
        if (left >= right || top >= bottom) continue;
        for (int64_t y = top; y < bottom; ++y) {
            const int64_t fromTop = mirrorY ? rect.bottom - 1 - y : y - rect.top;
            const int64_t sy = source.y + fromTop * sh / h;
            for (int64_t x = left; x < right; ++x) {
                const int64_t fromLeft = mirrorX ? rect.right - 1 - x : x - rect.left;
                const int64_t sx = source.x + fromLeft * sw / w;
                const uint32_t s = Convert(source, dest.bpp, ReadPixel(source, int(sx), int(sy)));
                const uint32_t d = ReadPixel(dest, int(x), int(y));
                WritePixel(dest, int(x), int(y), Combine(rop, d, s) & mask);
            }
        }
    }
}

}  // namespace stretch_test
