// Typed objects, the error state, the front door and bitmaps.
#include <cstring>

#include "engine/services/cmm/cmm_bitmap.h"
#include "engine/services/cmm/cmm_stage.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

namespace {

TEST(CmmObject, ReleasingEmptyOrReleasedHandlesDoesNothing)
{
    CmmGlobalsFixture f;
    CmmObject empty{};
    CmmObjectRelease(f.g(), &empty);
    CmmObjectRelease(f.g(), nullptr);
    CmmObject stage{};
    CmmFanOutStageCreate(f.g(), &stage, 2, 2);
    ASSERT_NE(stage.block, nullptr);
    CmmObjectRelease(f.g(), &stage);
    EXPECT_EQ(stage.block, nullptr);
    EXPECT_EQ(stage.type, 0u);
    CmmObjectRelease(f.g(), &stage);
    EXPECT_EQ(f.g()->raised, 0u);
}

TEST(CmmObject, StatusClassesAsTheFrontDoorReportsThem)
{
    const struct {
        CmmStatus status;
        uint32_t expected;
    } cases[] = {{0, 0},          {0x10100000, 1}, {0x10104000, 2}, {0x10106000, 3}, {0x10109000, 4},
                 {0x1010a000, 5}, {0x1010b000, 6}, {0x1010c000, 6}, {0x10300000, 7}, {0x10303000, 7},
                 {0x10304000, 7}, {0x1010d000, 9}, {0x10200000, 0}, {0x12345678, 0}};
    for (const auto& c : cases) EXPECT_EQ(CmmStatusClass(c.status), c.expected) << std::hex << c.status;
    CmmGlobalsFixture f;
    EXPECT_EQ(CmmFrontDoor(f.g(), [&] { CmmRaise(f.g(), CMM_STATUS_SPACES_DIFFER); }), 7u);
    EXPECT_EQ(f.g()->raised, 0u);
    // A singular matrix is recorded but reported as success.
    EXPECT_EQ(CmmFrontDoor(f.g(), [&] { CmmRaise(f.g(), CMM_STATUS_SINGULAR); }), 0u);
}

TEST(CmmObject, CopiesAreIndependentAndSelfCopyIsANoOp)
{
    CmmGlobalsFixture f;
    // A group holding a curve: the copy gets members of its own, and still converts after the
    // source is gone.
    CmmObject group{}, curve{}, copy{};
    CmmGroupStageCreate(f.g(), &group, false, 1, 1);
    const float entries[2] = {0, 127.5f};
    const CmmArray values{1, 2, CMM_ELEMENT_FLOAT, 0, const_cast<float*>(entries)};
    CmmCurvesStageCreate(f.g(), &curve, 1, 2, CMM_CURVE_FORWARD, &values);
    CmmGroupStageAppend(f.g(), &group, &curve);
    void* block = group.block;
    CmmObjectCopy(f.g(), &group, &group);
    EXPECT_EQ(group.block, block);
    CmmObjectCopy(f.g(), &group, &copy);
    ASSERT_NE(copy.block, nullptr);
    EXPECT_NE(CmmGroupStageMember(&copy, 0)->block, CmmGroupStageMember(&group, 0)->block);
    CmmObjectRelease(f.g(), &group);
    const float in = 255;
    float out = 0;
    CmmStageEvaluate(f.g(), &copy, &in, &out);
    EXPECT_FLOAT_EQ(out, 127.5f);
    CmmObjectRelease(f.g(), &copy);
    EXPECT_EQ(f.g()->raised, 0u);
}

TEST(CmmObject, FailedOperationsStopTheOnesAfterThem)
{
    CmmGlobalsFixture f;
    CmmRaise(f.g(), CMM_STATUS_NO_DATA);
    CmmObject stage{};
    CmmFanOutStageCreate(f.g(), &stage, 2, 2);
    EXPECT_EQ(stage.block, nullptr);
    EXPECT_EQ(f.g()->status, CMM_STATUS_NO_DATA);
}

TEST(CmmBitmap, SetupFillsStrideBytesPerPixelAndOrder)
{
    CmmGlobalsFixture f;
    CmmObject bitmap{};
    CmmBitmapSetup(f.g(), &bitmap, 3, 10, 2, 4, 0, nullptr, false, nullptr);
    ASSERT_NE(bitmap.block, nullptr);
    CmmBitmap* b = CmmBitmapOf(&bitmap);
    EXPECT_EQ(b->stride, 40u);
    EXPECT_EQ(b->bytesPerPixel, 4u);
    EXPECT_EQ(b->pixelBytes, 80u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(b->order[i], i);
    CmmObjectRelease(f.g(), &bitmap);

    // Owned pixels are copied in, survive a copy of the object and come out again.
    uint8_t pixels[2 * 6];
    for (uint8_t i = 0; i < sizeof pixels; ++i) pixels[i] = i;
    const uint32_t order[3] = {2, 1, 0};
    CmmBitmapSetup(f.g(), &bitmap, 3, 2, 2, 0, 0, order, true, pixels);
    CmmObject copy{};
    CmmObjectCopy(f.g(), &bitmap, &copy);
    CmmObjectRelease(f.g(), &bitmap);
    b = CmmBitmapOf(&copy);
    EXPECT_EQ(b->order[0], 2u);
    EXPECT_EQ(b->order, b->orderArray);
    uint8_t out[sizeof pixels] = {};
    uint32_t rows = 0;
    CmmBitmapDetachCopy(f.g(), &copy, &rows, out);
    EXPECT_EQ(rows, 2u);
    EXPECT_EQ(std::memcmp(out, pixels, sizeof pixels), 0);
    CmmObjectRelease(f.g(), &copy);
    EXPECT_EQ(f.g()->raised, 0u);
}

TEST(CmmBitmap, GeometryThatCannotHoldItsPixelsIsRefused)
{
    const struct {
        uint32_t channels, width, rows, bytesPerPixel, stride;
        uint32_t order0;
    } cases[] = {
        {0, 10, 1, 0, 0, 0},  // no channels
        {3, 10, 1, 3, 20, 0},  // stride shorter than a row
        {3, 0x40000000, 8, 4, 0, 0},  // stride x rows beyond 32 bits
        {3, 10, 1, 3, 0, 3},  // order names a byte outside the pixel
    };
    for (const auto& c : cases) {
        CmmGlobalsFixture f;
        CmmObject bitmap{};
        const uint32_t order[3] = {c.order0, 1, 2};
        CmmBitmapSetup(f.g(), &bitmap, c.channels, c.width, c.rows, c.bytesPerPixel, c.stride, order, false, nullptr);
        EXPECT_EQ(bitmap.block, nullptr);
        EXPECT_EQ(f.g()->raised, 1u);
    }
}

TEST(CmmKeywordLine, RewritesTheRestOfAMatchingLine)
{
    char line[] = "Gamma\t  2.2   and\tmore\r\nnext";
    EXPECT_EQ(CmmKeywordLine(line, "Gamma"), 12);
    EXPECT_STREQ(line, "2.2 and more");
    char other[] = "Other";
    EXPECT_NE(CmmKeywordLine(other, "Gamma"), 0);
    EXPECT_EQ(CmmKeywordLine(other, ""), 0);
}

}  // namespace
