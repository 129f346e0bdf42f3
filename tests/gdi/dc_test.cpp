#include <gtest/gtest.h>
#include "platform/gdi.h"
TEST(GdiDc, Placeholder) { EXPECT_TRUE(GdiFlush()); }
