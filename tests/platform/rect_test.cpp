#include <gtest/gtest.h>

#include "platform/user.h"

namespace {

bool Same(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

TEST(RectHelpers, IntersectGivesZerosWhenEmpty)
{
    struct Case {
        RECT a, b, want;
        BOOL result;
    } cases[] = {
        {{0, 0, 10, 10}, {5, 5, 15, 15}, {5, 5, 10, 10}, TRUE},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, {0, 0, 0, 0}, FALSE},  // touching edges share nothing
        {{0, 0, 10, 10}, {3, 3, 3, 8}, {0, 0, 0, 0}, FALSE},  // empty operand
        {{5, 5, 1, 1}, {0, 0, 10, 10}, {0, 0, 0, 0}, FALSE},  // inverted operand is empty
        {{-5, -5, 5, 5}, {-10, -1, 0, 20}, {-5, -1, 0, 5}, TRUE},
    };
    for (const auto& c : cases) {
        RECT out{1, 2, 3, 4};
        EXPECT_EQ(IntersectRect(&out, &c.a, &c.b), c.result);
        EXPECT_TRUE(Same(out, c.want));
    }
}

TEST(RectHelpers, UnionIgnoresEmptyOperands)
{
    struct Case {
        RECT a, b, want;
        BOOL result;
    } cases[] = {
        {{0, 0, 10, 10}, {20, 20, 30, 30}, {0, 0, 30, 30}, TRUE},
        {{0, 0, 0, 0}, {20, 20, 30, 30}, {20, 20, 30, 30}, TRUE},
        {{-50, -50, -50, 10}, {1, 1, 2, 2}, {1, 1, 2, 2}, TRUE},  // empty far away is ignored
        {{0, 0, 0, 5}, {3, 3, 3, 3}, {0, 0, 0, 0}, FALSE},
    };
    for (const auto& c : cases) {
        RECT out;
        EXPECT_EQ(UnionRect(&out, &c.a, &c.b), c.result);
        EXPECT_TRUE(Same(out, c.want));
    }
}

TEST(RectHelpers, SubtractShrinksOnlyAcrossAWholeSide)
{
    const RECT a{0, 0, 10, 10};
    struct Case {
        RECT b, want;
        BOOL result;
    } cases[] = {
        {{-1, -1, 11, 4}, {0, 4, 10, 10}, TRUE},  // top strip
        {{-1, 6, 11, 20}, {0, 0, 10, 6}, TRUE},  // bottom strip
        {{-5, -5, 3, 15}, {3, 0, 10, 10}, TRUE},  // left strip
        {{7, 0, 10, 10}, {0, 0, 7, 10}, TRUE},  // right strip
        {{2, 2, 5, 5}, {0, 0, 10, 10}, TRUE},  // hole: no change
        {{0, 3, 10, 6}, {0, 0, 10, 10}, TRUE},  // band through the middle: no change
        {{-1, -1, 11, 11}, {0, 0, 0, 0}, FALSE},  // covered
        {{20, 20, 30, 30}, {0, 0, 10, 10}, TRUE},  // disjoint
    };
    for (const auto& c : cases) {
        RECT out;
        EXPECT_EQ(SubtractRect(&out, &a, &c.b), c.result);
        EXPECT_TRUE(Same(out, c.want)) << out.left << "," << out.top << "," << out.right << "," << out.bottom;
    }
}

TEST(RectHelpers, PointsOnRightAndBottomEdgesAreOutside)
{
    const RECT r{0, 0, 4, 3};
    EXPECT_TRUE(PtInRect(&r, POINT{0, 0}));
    EXPECT_TRUE(PtInRect(&r, POINT{3, 2}));
    EXPECT_FALSE(PtInRect(&r, POINT{4, 2}));
    EXPECT_FALSE(PtInRect(&r, POINT{3, 3}));
    EXPECT_FALSE(PtInRect(&r, POINT{-1, 0}));
    RECT e{2, 2, 2, 9};
    EXPECT_TRUE(IsRectEmpty(&e));
    RECT m{1, 1, 3, 3};
    OffsetRect(&m, 2, -1);
    InflateRect(&m, 1, 2);
    const RECT want{2, -2, 6, 4};
    EXPECT_TRUE(Same(m, want));
}

TEST(RectHelpers, ExtremeOffsetsWrapInsteadOfOverflowing)
{
    RECT r{0x7ffffff0, -0x7ffffff0, 0x7fffffff, 0};
    OffsetRect(&r, 0x20, -0x20);
    EXPECT_EQ(r.left, static_cast<LONG>(0x80000010u));
    EXPECT_EQ(r.top, static_cast<LONG>(0x7ffffff0u));
    InflateRect(&r, 0x7fffffff, 0x7fffffff);
    EXPECT_EQ(r.right, static_cast<LONG>(0x7fffffffu + 0x7fffffffu + 0x20u));
}

}  // namespace
