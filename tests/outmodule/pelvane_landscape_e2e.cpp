// A landscape page sent one-up lands turned on the portrait fax page and keeps its proportions.
// A page whose extents are exchanged (page flag 0x1), as a device context turned to landscape
// writes it (2292 x 1728: A4 across at 196 dpi, the fax width down at 204), fills the 1728 x 2292
// fax page and keeps every size in pixels; a wide page without the flag is drawn at the job's
// own resolutions and keeps its size in inches, so its pixels scale by 204 / 196 and 196 / 204.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/outmodule/rendered_sides.h"

namespace {

std::string LandscapeJob(uint32_t pageFlags)
{
    return "signature\nstream_version version=2\njob_header job_flags=0x1 copies=1 res_x=204 res_y=196\n"
           "page_begin page_flags=" +
           std::to_string(pageFlags) +
           " width=2292 height=1728 paper_code=9 paper_name=\"A4\"\n"
           // A 600 x 200 bar near the page's top left corner.
           "cmd_rectfill left=100 top=100 right=700 bottom=300 brush=0x80000000\n"
           "page_end sheet_width=2292 sheet_height=1728 paper_code=9 paper_name=\"A4\"\njob_end\n";
}

TEST(PelvaneLandscape, ALandscapePageIsTurnedNotStretched)
{
    ASSERT_TRUE(JbigkitAvailable());
    const struct {
        const char* name;
        uint32_t pageFlags;
        uint32_t width, height;  // the fax page
        double across, down;  // the bar on it: 200 page rows across, 600 page columns down
    } cases[] = {
        {"extents exchanged", 0x1, 1728, 2292, 200.0, 600.0},
        {"the job's own resolutions", 0x0, 1798, 2202, 200.0 * 204 / 196, 600.0 * 196 / 204},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const uint32_t bandMemory : {0u, 100000u}) {
            const RenderedSides got =
                RenderSides(SpoolFromText(LandscapeJob(c.pageFlags)), bandMemory, FaxFeed::Seekable, c.height);
            ASSERT_EQ(got.result, 0u) << got.cause;
            ASSERT_EQ(got.sides.size(), 1u);
            const JbigImage& side = got.sides[0];
            EXPECT_EQ(side.width, c.width);
            EXPECT_EQ(side.height, c.height);
            const SideBox box = SideInkBox(side);
            ASSERT_LT(box.left, box.right);
            EXPECT_NEAR(double(box.right - box.left), c.across, 1.0);
            EXPECT_NEAR(double(box.bottom - box.top), c.down, 1.0);
            EXPECT_EQ(SideInk(side), size_t(box.right - box.left) * (box.bottom - box.top));
        }
    }
}

}  // namespace
