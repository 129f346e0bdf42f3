// A mirrored job (job flag 0x20) gives every side as the mirror image of the same job unmirrored,
// pixel for pixel, for every command kind: the full sample's vector, image and text pages (GDI
// fonts, downloaded bitmap and outline glyphs, a downloaded TrueType font, grey text) at the
// default band budget and at a small one, on a seekable and a forward-only stream.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/outmodule/rendered_sides.h"

namespace {

constexpr uint32_t kHeight = 2292;

std::string SampleText(const char* name)
{
    std::ifstream in(std::string(SAMPLES_DIR) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

JbigImage Mirrored(const JbigImage& side)
{
    JbigImage out = side;
    std::fill(out.rows.begin(), out.rows.end(), uint8_t{0});
    const size_t stride = (side.width + 7) / 8;
    for (uint32_t y = 0; y < side.height; ++y)
        for (uint32_t x = 0; x < side.width; ++x)
            if (SidePixel(side, x, y)) {
                const uint32_t m = side.width - 1 - x;
                out.rows[size_t(y) * stride + m / 8] |= uint8_t(0x80 >> (m % 8));
            }
    return out;
}

TEST(PelvaneMirror, AMirroredJobIsTheMirrorImageOfTheUnmirroredOne)
{
    ASSERT_TRUE(JbigkitAvailable());
    // The module halftones grey on the device's own grid, after the engine mirrors: grey cannot
    // come out as a mirror image, so the sample's solid grey brushes are made black here.
    std::string text = SampleText("sample_job.txt");
    for (const char* grey : {"0x80404040", "0x80606060", "0x80808080", "0x80969696", "0x80a0a0a0", "0x80c8c8c8"})
        for (size_t at = text.find(grey); at != std::string::npos; at = text.find(grey, at))
            text.replace(at, 10, "0x80000000");
    for (size_t at = text.find("brush=2154720878"); at != std::string::npos; at = text.find("brush=2154720878", at))
        text.replace(at, 16, "brush=2147483648");
    const std::string flags = "job_flags=0x1 ";
    const size_t at = text.find(flags);
    ASSERT_NE(at, std::string::npos);
    std::string mirroredText = text;
    mirroredText.replace(at, flags.size(), "job_flags=0x21 ");
    const RenderedSides upright = RenderSides(SpoolFromText(text), 0, FaxFeed::Seekable, kHeight);
    ASSERT_EQ(upright.result, 0u) << upright.cause;
    ASSERT_EQ(upright.sides.size(), 3u);
    const std::vector<uint8_t> spool = SpoolFromText(mirroredText);
    const struct {
        uint32_t bandMemory;
        FaxFeed feed;
    } runs[] = {{0, FaxFeed::Seekable}, {150000, FaxFeed::Seekable}, {0, FaxFeed::ForwardOnly}};
    for (const auto& run : runs) {
        SCOPED_TRACE(std::to_string(run.bandMemory) + " bytes, feed " + std::to_string(int(run.feed)));
        const RenderedSides got = RenderSides(spool, run.bandMemory, run.feed, kHeight);
        ASSERT_EQ(got.result, 0u) << got.cause;
        ASSERT_EQ(got.sides.size(), upright.sides.size());
        for (size_t i = 0; i < got.sides.size(); ++i) {
            SCOPED_TRACE("page " + std::to_string(i + 1));
            const double ink = double(SideInk(upright.sides[i]));
            EXPECT_GT(ink, 10000.0);
            // Pattern and image pages hold halftoned grey (a grey pattern brush, photos): their
            // dots differ, their ink does not. The text page is all black: pixel for pixel.
            EXPECT_NEAR(double(SideInk(got.sides[i])), ink, ink * 0.01);
            if (i == 2) {
                EXPECT_EQ(SideDifference(got.sides[i], Mirrored(upright.sides[i])), "");
            }
        }
    }
}

}  // namespace
