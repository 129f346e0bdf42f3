#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/common/file_map.h"
#include "engine/common/geometry.h"
#include "engine/common/image_format_kind.h"
#include "engine/common/rect_list.h"
#include "engine/common/rop.h"
#include "platform/user.h"

namespace {

struct ClipCase {
    RECT rect;
    LONG in[4];
    bool visible;
    LONG out[4];
};

TEST(LineClipToRect, Cases)
{
    const ClipCase cases[] = {
        // Horizontal through both vertical edges (divides by x2 - x1 only).
        {{0, 0, 5, 10}, {-10, 5, 10, 5}, true, {0, 5, 4, 5}},
        {{0, 0, 5, 10}, {10, 5, -10, 5}, true, {4, 5, 0, 5}},
        // Vertical through top and bottom.
        {{0, 0, 5, 10}, {2, -5, 2, 20}, true, {2, 0, 2, 9}},
        // Diagonal through two corners; inside untouched.
        {{0, 0, 5, 5}, {-5, -5, 10, 10}, true, {0, 0, 4, 4}},
        {{0, 0, 5, 5}, {1, 1, 3, 2}, true, {1, 1, 3, 2}},
        // Wholly above, wholly right, and a diagonal that passes outside the corner.
        {{0, 0, 5, 10}, {0, -5, 4, -1}, false, {}},
        {{0, 0, 5, 10}, {5, 0, 9, 9}, false, {}},
        {{0, 0, 10, 10}, {-3, 1, 1, -3}, false, {}},
        // Coordinates whose products do not fit 32 bits.
        {{0, 0, 100, 100}, {-2000000000, 0, 2000000000, 10}, true, {0, 5, 99, 5}},
        // The full 32-bit range: a difference times a distance needs 64 bits and more.
        {{INT32_MAX - 10, INT32_MAX - 10, INT32_MAX, INT32_MAX},
         {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
         true,
         {INT32_MAX - 10, INT32_MAX - 10, INT32_MAX - 1, INT32_MAX - 1}},
        {{INT32_MIN, INT32_MIN, INT32_MIN + 10, INT32_MIN + 10},
         {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN},
         true,
         {INT32_MIN + 9, INT32_MIN + 9, INT32_MIN, INT32_MIN}},
    };
    for (const ClipCase& c : cases) {
        LONG x1 = c.in[0], y1 = c.in[1], x2 = c.in[2], y2 = c.in[3];
        SCOPED_TRACE(testing::Message() << "(" << x1 << "," << y1 << ")-(" << x2 << "," << y2 << ")");
        ASSERT_EQ(LineClipToRect(&x1, &y1, &x2, &y2, &c.rect), c.visible);
        if (c.visible) {
            EXPECT_EQ(x1, c.out[0]);
            EXPECT_EQ(y1, c.out[1]);
            EXPECT_EQ(x2, c.out[2]);
            EXPECT_EQ(y2, c.out[3]);
        }
    }
}

// Random segments: a visible result lies inside the rectangle, and a segment with an end inside
// is always visible.
TEST(LineClipToRect, ClippedEndsLieInside)
{
    std::mt19937 random(5);
    const RECT rect{-20, 10, 45, 70};
    for (int i = 0; i < 20000; ++i) {
        auto coordinate = [&] { return static_cast<LONG>(random() % 201) - 80; };
        LONG x1 = coordinate(), y1 = coordinate(), x2 = coordinate(), y2 = coordinate();
        const POINT first{x1, y1};
        const bool endInside = PtInRect(&rect, first) != 0;
        const bool visible = LineClipToRect(&x1, &y1, &x2, &y2, &rect);
        if (endInside) {
            EXPECT_TRUE(visible);
        }
        if (visible) {
            EXPECT_TRUE(PtInRect(&rect, POINT{x1, y1}) && PtInRect(&rect, POINT{x2, y2}))
                << x1 << "," << y1 << " " << x2 << "," << y2;
        }
    }
}

TEST(Scaling, PointsAndRectanglesTruncateTowardZero)
{
    const POINT from{200, 300};
    const POINT to{300, 200};
    POINT p{};
    const POINT in{-7, 10};
    ASSERT_TRUE(PointScale(&from, &in, &to, &p));
    EXPECT_EQ(p.x, -10);  // -7 * 300 / 200 = -10.5
    EXPECT_EQ(p.y, 6);  // 10 * 200 / 300 = 6.67
    RECT r{};
    const RECT rect{-3, 3, 7, 301};
    ASSERT_TRUE(RectScale(&from, &to, &rect, &r));
    EXPECT_EQ(r.left, -4);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.bottom, 200);
    // Products beyond 32 bits are exact; results beyond 32 bits and zero denominators fail.
    const POINT one{1, 1};
    const POINT big{2000000000, 2000000000};
    const POINT half{2, 2};
    const POINT bigIn{2000000000, -2000000000};
    ASSERT_TRUE(PointScale(&big, &bigIn, &half, &p));
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, -2);
    EXPECT_FALSE(PointScale(&one, &bigIn, &half, &p));
    const POINT zero{0, 5};
    EXPECT_FALSE(PointScale(&zero, &in, &one, &p));
    EXPECT_FALSE(RectScale(&zero, &one, &rect, &r));
}

TEST(Scaling, RectNormalize)
{
    RECT r;
    const RECT swapped{10, 20, -5, 3};
    RectNormalize(&r, &swapped);
    EXPECT_EQ(r.left, -5);
    EXPECT_EQ(r.top, 3);
    EXPECT_EQ(r.right, 10);
    EXPECT_EQ(r.bottom, 20);
}

TEST(RectList, CullKeepsOverlappingInOrder)
{
    const RECT band{0, 100, 1000, 200};
    RECT list[] = {{0, 0, 10, 100},  // touches the top edge only: out
                   {5, 150, 20, 160},  // inside
                   {-50, 90, 5, 110},  // overlaps the corner
                   {1000, 150, 1010, 160},  // right of the band
                   {30, 199, 40, 300},  // overlaps the bottom row
                   {7, 7, 7, 7}};  // empty, outside
    ASSERT_EQ(RectListCull(6, list, &band), 3u);
    EXPECT_EQ(list[0].left, 5);
    EXPECT_EQ(list[1].left, -50);
    EXPECT_EQ(list[2].left, 30);
}

TEST(RectList, IntersectClipsAndDropsEmpty)
{
    const RECT band{0, 100, 1000, 200};
    RECT list[] = {{-50, 90, 5, 110}, {0, 0, 10, 100}, {30, 199, 40, 300}, {500, 120, 500, 130}};
    ASSERT_EQ(RectListIntersect(4, list, &band), 2u);
    EXPECT_TRUE(list[0].left == 0 && list[0].top == 100 && list[0].right == 5 && list[0].bottom == 110);
    EXPECT_TRUE(list[1].left == 30 && list[1].top == 199 && list[1].right == 40 && list[1].bottom == 200);
    EXPECT_EQ(RectListCull(0, list, &band), 0u);
}

// The pattern byte of every mix mode, worked out from the mix's boolean function over the
// pattern (0xF0) and destination (0xAA) columns of a ROP3 truth table.
TEST(Rop, Rop2ToRop3FollowsTheMixFunctions)
{
    const uint8_t p = 0xF0;
    const uint8_t d = 0xAA;
    const uint8_t expected[17] = {0,
                                  0x00,  // R2_BLACK
                                  static_cast<uint8_t>(~(p | d)),  // R2_NOTMERGEPEN
                                  static_cast<uint8_t>(~p & d),  // R2_MASKNOTPEN
                                  static_cast<uint8_t>(~p),  // R2_NOTCOPYPEN
                                  static_cast<uint8_t>(p & ~d),  // R2_MASKPENNOT
                                  static_cast<uint8_t>(~d),  // R2_NOT
                                  static_cast<uint8_t>(p ^ d),  // R2_XORPEN
                                  static_cast<uint8_t>(~(p & d)),  // R2_NOTMASKPEN
                                  static_cast<uint8_t>(p & d),  // R2_MASKPEN
                                  static_cast<uint8_t>(~(p ^ d)),  // R2_NOTXORPEN
                                  d,  // R2_NOP
                                  static_cast<uint8_t>(~p | d),  // R2_MERGENOTPEN
                                  p,  // R2_COPYPEN
                                  static_cast<uint8_t>(p | ~d),  // R2_MERGEPENNOT
                                  static_cast<uint8_t>(p | d),  // R2_MERGEPEN
                                  0xFF};  // R2_WHITE
    for (uint32_t mix = 1; mix <= 16; ++mix) {
        EXPECT_EQ(RopToRop3(mix), expected[mix]) << "mix " << mix;
    }
    EXPECT_EQ(RopToRop3(11), 0xAA);
    EXPECT_EQ(RopToRop3(6), 0x55);
}

TEST(Rop, Rop2Simplify)
{
    struct Case {
        uint32_t mix, color, mixOut, colorOut;
    };
    const Case cases[] = {
        {1, 0x123, 13, 0x80000000},  // R2_BLACK
        {16, 0x123, 13, 0x80FFFFFF},  // R2_WHITE
        {9, 0x80000000, 13, 0x80000000},  // R2_MASKPEN with black
        {15, 0x80FFFFFF, 13, 0x80FFFFFF},  // R2_MERGEPEN with white
        {9, 0x80FFFFFF, 9, 0x80FFFFFF},  // R2_MASKPEN with white stays
        {15, 0x80000000, 15, 0x80000000},  // R2_MERGEPEN with black stays
        {13, 0x42, 13, 0x42},
        {7, 0x80000000, 7, 0x80000000},
    };
    for (const Case& c : cases) {
        uint32_t mix = c.mix;
        uint32_t color = c.color;
        Rop2Simplify(&mix, &color);
        EXPECT_EQ(mix, c.mixOut) << c.mix;
        EXPECT_EQ(color, c.colorOut) << c.mix;
    }
}

ImxImageFormat Format(std::initializer_list<uint32_t> depths)
{
    ImxImageFormat format{};
    format.planeCount = static_cast<uint32_t>(depths.size());
    uint32_t i = 0;
    for (uint32_t depth : depths) {
        format.planes[i++].depth = depth;
    }
    return format;
}

TEST(ImageFormatKind, Table)
{
    struct Case {
        std::initializer_list<uint32_t> depths;
        uint32_t kind;
    };
    const Case cases[] = {
        {{1}, 1},
        {{2}, 2},
        {{4}, 3},
        {{8}, 4},
        {{24}, 5},
        {{32}, 6},
        {{16}, 0},
        {{0x101}, 1},
        {{1, 1, 1}, 7},
        {{1, 1, 2}, 0},
        {{8, 8, 8}, 0},
        {{1, 1, 1, 1}, 8},
        {{2, 2, 2, 1}, 9},
        {{2, 2, 2, 2}, 10},
        {{4, 4, 4, 4}, 11},
        {{8, 8, 8, 8}, 12},
        {{2, 2, 2, 4}, 0},
        {{1, 2, 2, 1}, 0},
        {{4, 4, 4, 1}, 0},
        {{1, 1}, 0},
        {{1, 1, 1, 1, 1}, 0},
        {{}, 0},
    };
    for (const Case& c : cases) {
        const ImxImageFormat format = Format(c.depths);
        EXPECT_EQ(ImageFormatKindGet(&format), c.kind) << "planes " << c.depths.size();
    }
    ImxImageFormat tooMany = Format({1});
    tooMany.planeCount = 9;
    EXPECT_EQ(ImageFormatKindGet(&tooMany), 0u);
}

class FileMapTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() / ("filemap_test_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST_F(FileMapTest, ReadOnlyMapsTheWholeFile)
{
    const std::string path = Path("data.bin");
    const std::string content = "halftone set bytes";
    std::ofstream(path, std::ios::binary) << content;
    FileMap map{};
    ASSERT_EQ(FileMapOpen(&map, path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0), 0u);
    ASSERT_NE(map.view, nullptr);
    EXPECT_EQ(std::memcmp(map.view, content.data(), content.size()), 0);
    EXPECT_EQ(GetFileSize(map.file, nullptr), content.size());
    EXPECT_EQ(FileMapClose(&map), 0u);
    EXPECT_TRUE(map.file == nullptr && map.mapping == nullptr && map.view == nullptr);
    EXPECT_EQ(FileMapClose(&map), 0u);  // closing twice is harmless
}

TEST_F(FileMapTest, ReadWriteCreatesGrowsAndWritesBack)
{
    const std::string path = Path("font.ttf");
    FileMap map{};
    ASSERT_EQ(FileMapOpen(&map, path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, 4096), 0u);
    ASSERT_NE(map.view, nullptr);
    std::memcpy(map.view, "\x00\x01\x00\x00", 4);
    static_cast<uint8_t*>(map.view)[4095] = 0x7E;
    FileMapClose(&map);
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 4096u);
    EXPECT_EQ(bytes[1], 1);
    EXPECT_EQ(bytes[4095], 0x7E);
}

TEST_F(FileMapTest, FailuresReturnTheSystemErrorAndClearTheFields)
{
    FileMap map{reinterpret_cast<HANDLE>(1), reinterpret_cast<HANDLE>(2), reinterpret_cast<void*>(3)};
    EXPECT_EQ(FileMapOpen(&map, Path("missing").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(map.file == nullptr && map.mapping == nullptr && map.view == nullptr);
    // An empty file cannot be mapped; the file handle opened on the way is closed again.
    const std::string empty = Path("empty");
    std::ofstream(empty).close();
    EXPECT_NE(FileMapOpen(&map, empty.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0), 0u);
    EXPECT_TRUE(map.file == nullptr && map.mapping == nullptr && map.view == nullptr);
    // A read-only mapping larger than the file fails too.
    const std::string small = Path("small");
    std::ofstream(small) << "abc";
    EXPECT_NE(FileMapOpen(&map, small.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 100), 0u);
    EXPECT_TRUE(map.view == nullptr);
}

}  // namespace
