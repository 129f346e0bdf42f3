// Pages of many small fills played by faxrender's host through the engine and Pelvane under
// small memory limits: a page whose commands need more than the limit fails the render with
// ERROR_NOT_ENOUGH_MEMORY and the fax job ends with the module's cancel line; under a limit that
// holds the page it comes back as the squares painted here, pixel for pixel, as it does under the
// engine's default limit; and a job of two pages that each fit, but not both at once, renders
// whole, since a page gives its commands' memory back when it is done.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "engine/common/render_options.h"
#include "platform/kernel.h"
#include "tests/outmodule/fax_job_output.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tools/faxrender/fax_host.h"
#include "tools/faxview/fax_job_parse.h"

namespace {

constexpr LONG kWidth = 1728, kHeight = 2292;
constexpr uint32_t kSquares = 1000;  // a page's fills: no list of them fits in a few kilobytes
constexpr uint32_t kBlack = 0x80000000;
// Holds one page's fills, not two pages' (some 64 bytes a fill).
constexpr uint32_t kTwoPageLimit = 96 * 1024;

// 8 x 8 squares 24 pixels apart, none touching another, so that the optimiser joins none; each
// page's grid is moved by its number.
std::vector<RECT> Squares(int page)
{
    std::vector<RECT> out;
    for (uint32_t i = 0; i < kSquares; ++i) {
        const LONG x = LONG(i % 70) * 24 + 16 + page * 4, y = LONG(i / 70) * 24 + 40 + page * 8;
        out.push_back(RECT{x, y, x + 8, y + 8});
    }
    return out;
}

std::vector<uint8_t> Job(const std::vector<std::vector<RECT>>& pages)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    for (const std::vector<RECT>& page : pages) {
        b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
        for (const RECT& r : page)
            b.Add("cmd_rectfill",
                  {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}, {"brush", kBlack}});
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

JbigImage Painted(int page)
{
    JbigImage p;
    p.width = kWidth;
    p.height = kHeight;
    const size_t stride = (kWidth + 7) / 8;
    p.rows.assign(size_t(kHeight) * stride, 0);
    for (const RECT& r : Squares(page))
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x)
                p.rows[size_t(y) * stride + size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
    return p;
}

struct Rendered {
    uint32_t result = ~0u;
    std::string cause;
    std::string fax;  // the module's bytes
    std::vector<JbigImage> pages;
};

// memoryLimit 0: the engine's default.
Rendered Render(const std::vector<uint8_t>& spool, uint32_t memoryLimit)
{
    Rendered out;
    FaxRenderSettings settings;
    settings.moduleFileName = PELVANE_LIBRARY;
    settings.configuration = "pelvane";
    settings.options.memoryLimit = memoryLimit;
    settings.sink = [&out](const uint8_t* bytes, uint32_t length) {
        out.fax.append(reinterpret_cast<const char*>(bytes), length);
        return true;
    };
    out.result = FaxRender(spool, settings, &out.cause);
    if (out.result != 0) return out;
    FaxJob job;
    std::string error;
    const std::vector<uint8_t> bytes(out.fax.begin(), out.fax.end());
    EXPECT_TRUE(FaxJobParse(std::span<const uint8_t>(bytes), &job, &error)) << error;
    for (const FaxJobPage& page : job.pages) {
        JbigImage image;
        EXPECT_TRUE(FaxPageDecode(page, &image));
        out.pages.push_back(std::move(image));
    }
    return out;
}

bool SamePixels(const JbigImage& a, const JbigImage& b)
{
    return a.width == b.width && a.height == b.height && a.rows == b.rows;
}

TEST(PelvaneBudget, APageWhoseCommandsPassTheMemoryLimitFailsWithOutOfMemoryAndTheCancelLine)
{
    const Rendered failed = Render(Job({Squares(0)}), 8 * 1024);
    EXPECT_EQ(failed.result, static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_NE(failed.cause.find("memory limit of 8192 bytes"), std::string::npos) << failed.cause;
    const size_t cancel = failed.fax.rfind("@PJL SET JOBSTATUS = CANCEL");
    ASSERT_NE(cancel, std::string::npos) << failed.fax;
    EXPECT_EQ(failed.fax.find("@PJL", cancel + 1), std::string::npos) << "nothing follows the cancel line";
    EXPECT_EQ(failed.fax.find("@PJL SET IMAGELEN"), std::string::npos) << "no image of the failed page";
    EXPECT_EQ(failed.fax.find("@PJL EOJ"), std::string::npos);
}

TEST(PelvaneBudget, UnderALimitThatHoldsItsCommandsAPageRendersAsUnderTheDefault)
{
    const std::vector<uint8_t> spool = Job({Squares(0)});
    const Rendered fits = Render(spool, kTwoPageLimit);
    ASSERT_EQ(fits.result, 0u) << fits.cause;
    const Rendered byDefault = Render(spool, 0);
    ASSERT_EQ(byDefault.result, 0u) << byDefault.cause;
    ASSERT_EQ(fits.pages.size(), 1u);
    ASSERT_EQ(byDefault.pages.size(), 1u);
    EXPECT_TRUE(SamePixels(fits.pages[0], Painted(0)));
    EXPECT_TRUE(SamePixels(fits.pages[0], byDefault.pages[0]));
}

TEST(PelvaneBudget, TwoPagesThatEachFitTheLimitRenderSinceAPageGivesItsMemoryBack)
{
    // The limit does not hold both pages' commands at once: on one page they fail it.
    std::vector<RECT> together = Squares(0);
    for (const RECT& r : Squares(1)) together.push_back(r);
    EXPECT_EQ(Render(Job({together}), kTwoPageLimit).result, static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));

    const Rendered both = Render(Job({Squares(0), Squares(1)}), kTwoPageLimit);
    ASSERT_EQ(both.result, 0u) << both.cause;
    ASSERT_EQ(both.pages.size(), 2u);
    for (int page = 0; page < 2; ++page) {
        SCOPED_TRACE(page);
        EXPECT_TRUE(SamePixels(both.pages[size_t(page)], Painted(page)));
    }
}

}  // namespace
