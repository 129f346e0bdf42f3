// A long job whose every page defines its five fonts opens each font file once, not once a page:
// the faces FreeType opens from files are counted (FT_New_Face is taken here and passed on) while
// a 100-page text letter renders through the engine and Pelvane, at the default band budget and at
// a small one.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/outmodule/rendered_sides.h"

namespace {

std::atomic<uint64_t> faceOpens{0};

}  // namespace

// The platform layer's calls land here (the program's symbol comes first) and go on to FreeType.
extern "C" __attribute__((visibility("default"))) int FT_New_Face(void* library, const char* path, long index,
                                                                  void** face)
{
    using Fn = int (*)(void*, const char*, long, void**);
    static const Fn next = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "FT_New_Face"));
    ++faceOpens;
    return next(library, path, index, face);
}

namespace {

std::string TextRecord(int font, int x, int y, const std::string& s)
{
    std::string hex;
    char byte[3];
    const auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            std::snprintf(byte, sizeof byte, "%02x", (v >> (8 * i)) & 0xFF);
            hex += byte;
        }
    };
    for (size_t i = 0; i < s.size(); ++i) {
        put32(uint32_t(x + 30 * int(i)));
        put32(uint32_t(y));
    }
    for (char c : s) {
        std::snprintf(byte, sizeof byte, "%02x", uint8_t(c));
        hex += byte;
        hex += "00";
    }
    return "cmd_text left=0 top=0 right=1728 bottom=2292 font=" + std::to_string(font) +
           " clip=0 brush=0x80000000 count=" + std::to_string(s.size()) + " flags=2 mix=13 mix2=11 data=" + hex + "\n";
}

// Pages that each define the same five fonts and write a line in each.
std::string Letter(int pages)
{
    const char* faces[5][2] = {{"Liberation Sans", "400"},
                               {"Liberation Sans", "700"},
                               {"Liberation Serif", "400"},
                               {"DejaVu Sans Mono", "400"},
                               {"DejaVu Sans", "400"}};
    std::string text = "signature\nstream_version version=2\njob_header job_flags=0x1 copies=1 res_x=204 res_y=196\n";
    for (int p = 0; p < pages; ++p) {
        text += "page_begin width=1728 height=2292 paper_code=9 paper_name=\"A4\"\n";
        for (int f = 0; f < 5; ++f)
            text += "font_log id=" + std::to_string(201 + f) + " height=-40 weight=" + faces[f][1] +
                    " italic=0 face=\"" + faces[f][0] + "\"\n";
        for (int f = 0; f < 5; ++f) text += TextRecord(201 + f, 200, 300 + 200 * f, "Page " + std::to_string(p + 1));
        text += "page_end sheet_width=1728 sheet_height=2292 paper_code=9 paper_name=\"A4\"\n";
    }
    return text + "job_end\n";
}

TEST(PelvaneLongJob, EveryFontFileIsOpenedOnceForAHundredPages)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = SpoolFromText(Letter(100));
    ASSERT_FALSE(spool.empty());
    for (const uint32_t bandMemory : {0u, 262144u}) {
        SCOPED_TRACE(std::to_string(bandMemory) + " bytes");
        const uint64_t before = faceOpens.load();
        const RenderedSides got = RenderSides(spool, bandMemory, FaxFeed::Seekable, 2292);
        const uint64_t opened = faceOpens.load() - before;
        ASSERT_EQ(got.result, 0u) << got.cause;
        ASSERT_EQ(got.sides.size(), 100u);
        for (const JbigImage& side : got.sides) ASSERT_GT(SideInk(side), 1000u);
        // Five font files; the first render of the program also opens its default face.
        EXPECT_LE(opened, 6u);
        if (bandMemory == 0) {
            EXPECT_GT(opened, 0u) << "no face was opened through FT_New_Face";
        }
    }
}

}  // namespace
