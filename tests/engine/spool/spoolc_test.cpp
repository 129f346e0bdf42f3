// The text form of spool streams: every record from a hand-written fixture whose bytes are set at
// the offsets the record layouts give, and text to binary to text staying stable.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/spool/spool_records.h"
#include "tests/support/spool_builder.h"
#include "tools/spoolc/spool_text.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Expected bytes, set by hand at their offsets.
struct Expected {
    Bytes b;
    Expected(uint16_t type, uint16_t version, uint32_t size, uint32_t length = 0) : b(length ? length : size)
    {
        U16(0, type).U16(2, version).U32(4, size);
    }
    Expected& U8(size_t at, uint8_t v)
    {
        b[at] = v;
        return *this;
    }
    Expected& U16(size_t at, uint16_t v) { return U8(at, v & 0xff).U8(at + 1, v >> 8); }
    Expected& U32(size_t at, uint32_t v) { return U16(at, v & 0xffff).U16(at + 2, v >> 16); }
    Expected& Text(size_t at, const char* s)
    {
        std::memcpy(b.data() + at, s, std::strlen(s));
        return *this;
    }
    Expected& Tail(Bytes more)
    {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
};

struct Fixture {
    const char* text;
    Bytes bytes;
};

std::vector<Fixture> Fixtures()
{
    return {
        {"signature", Bytes{0x51, 0x72, 0x4d, 0x66, 0x08, 0, 0, 0}},
        {"stream_version", Expected(254, 0, 16).U32(8, 2).U32(12, 1).b},
        {"stream_version version=1", Expected(254, 0, 16).U32(8, 1).U32(12, 1).b},
        {"job_header v=2 job_flags=0x205 copies=3 res_x=200 res_y=100 extent1_w=-5 extent1_h=6 extent2_w=7 "
         "extent2_h=8 scale=9 booklet_margin=0x100000002 value52=11 header_flags=0x71 document=aabb data=0102",
         Expected(1, 2, 190, 188)
             .U32(8, 0x205)
             .U32(12, 3)
             .U32(16, 200)
             .U32(20, 100)
             .U32(24, 0xfffffffb)
             .U32(28, 6)
             .U32(32, 7)
             .U32(36, 8)
             .U32(40, 9)
             .U32(44, 2)
             .U32(48, 1)
             .U16(52, 11)
             .U16(54, 0x71)
             .U8(56, 0xaa)
             .U8(57, 0xbb)
             .U32(184, 2)
             .Tail({1, 2})
             .b},
        {"job_header v=1 job_flags=0x4 copies=2 res_x=300 res_y=301 width=1700 height=2200 scale=9 "
         "booklet_margin=0x100000002 value52=11 header_flags=0x71 document=cc",
         Expected(1, 1, 180)
             .U32(8, 4)
             .U32(12, 2)
             .U32(16, 300)
             .U32(20, 301)
             .U32(24, 1700)
             .U32(28, 2200)
             .U32(32, 9)
             .U32(36, 2)
             .U32(40, 1)
             .U16(44, 11)
             .U16(46, 0x71)
             .U8(48, 0xcc)
             .b},
        {"job_header v=0 copies=2 width=1700 height=2200 header_flags=0x1 document=dd data=ff", Expected(1, 0, 169, 168)
                                                                                                    .U32(12, 2)
                                                                                                    .U32(24, 1700)
                                                                                                    .U32(28, 2200)
                                                                                                    .U16(32, 1)
                                                                                                    .U8(34, 0xdd)
                                                                                                    .U32(164, 1)
                                                                                                    .Tail({0xff})
                                                                                                    .b},
        {"job_end v=0", Expected(2, 0, 8).b},
        {"job_end v=1 data=0a0b0c", Expected(2, 1, 15, 12).U32(8, 3).Tail({10, 11, 12}).b},
        {"page_begin v=0 page_flags=0x20 width=1728 height=2200 margin_left=1 margin_top=2 margin_right=3 "
         "margin_bottom=4 scale=50 target_height=6 overlay_form=7 page_form=8 paper_code=9 mix=255 cells=2 "
         "arrangement=3 poster=4 paper_name=\"Letter\" data=aa",
         Expected(3, 0, 89, 88)
             .U32(8, 0x20)
             .U32(12, 1728)
             .U32(16, 2200)
             .U32(20, 1)
             .U32(24, 2)
             .U32(28, 3)
             .U32(32, 4)
             .U32(36, 50)
             .U32(40, 6)
             .U32(44, 7)
             .U32(48, 8)
             .U16(60, 9)
             .U8(62, 255)
             .U8(63, 2)
             .U8(64, 3)
             .U8(65, 4)
             .Text(66, "Letter")
             .U32(84, 1)
             .Tail({0xaa})
             .b},
        {"page_begin v=1 width=10 placement=0102030405060708 paper_name=\"A4 long name\"",
         Expected(3, 1, 104).U32(12, 10).U32(52, 0x04030201).U32(56, 0x08070605).Text(66, "A4 long name").b},
        {"page_begin v=2 height=11 data=01", Expected(3, 2, 105, 104).U32(16, 11).U32(100, 1).Tail({1}).b},
        {"page_begin width=12 alignment=5 flag99=1 paper_name=\"Legal\"",
         Expected(3, 3, 108).U32(12, 12).Text(66, "Legal").U8(98, 5).U8(99, 1).b},
        {"page_end v=0 paper_code=7 mode=2 paper_name=\"Letter\"",
         Expected(4, 0, 28).U16(8, 7).U8(10, 2).Text(11, "Letter").b},
        {"page_end v=1 sheet_width=1 sheet_height=2 extent0=3 extent1=4 extent2=5 extent3=6 paper_code=7 mode=1 "
         "paper_name=\"A4\"",
         Expected(4, 1, 51)
             .U32(8, 1)
             .U32(12, 2)
             .U32(16, 3)
             .U32(20, 4)
             .U32(24, 5)
             .U32(28, 6)
             .U16(32, 7)
             .U8(34, 1)
             .Text(35, "A4")
             .b},
        {"page_end sheet_width=1728 paper_name=\"A5\"", Expected(4, 2, 68).U32(8, 1728).Text(35, "A5").b},
        {"form_begin id=33 res_x=300 res_y=200 width=2550 height=3300",
         Expected(5, 0, 28).U32(8, 33).U32(12, 300).U32(16, 200).U32(20, 2550).U32(24, 3300).b},
        {"form_end", Expected(6, 0, 8).b},
        {"form_file id=4 file=\"/tmp/form.spl\"", Expected(7, 0, 268).U32(8, 4).Text(12, "/tmp/form.spl").b},
        {"form_place id=4 flags=0x13 values=0102 mix=255 alignment=9",
         Expected(8, 0, 28).U32(8, 4).U32(12, 0x13).U8(16, 1).U8(17, 2).U8(24, 255).U8(25, 9).b},
        {"job_data data=deadbeef", Expected(66, 0, 12).U32(8, 0xefbeadde).b},
        {"cmd_line x1=1 y1=-2 x2=3 y2=4 pen=0x80000000 clip=6 mix=13", Expected(17, 0, 36)
                                                                           .U32(8, 1)
                                                                           .U32(12, 0xfffffffe)
                                                                           .U32(16, 3)
                                                                           .U32(20, 4)
                                                                           .U32(24, 0x80000000)
                                                                           .U32(28, 6)
                                                                           .U8(32, 13)
                                                                           .b},
        {"cmd_path brush_x=1 brush_y=2 pen=3 brush=4 clip=5 path=6 mix=13 background_mix=9 fill_mode=2",
         Expected(18, 0, 36)
             .U32(8, 1)
             .U32(12, 2)
             .U32(16, 3)
             .U32(20, 4)
             .U32(24, 5)
             .U32(28, 6)
             .U8(32, 13)
             .U8(33, 9)
             .U8(34, 2)
             .b},
        {"cmd_rect left=10 top=11 right=20 bottom=21 brush_x=3 brush_y=4 brush=5 pen=6 clip=7 mix=1",
         Expected(22, 0, 48)
             .U32(8, 10)
             .U32(12, 11)
             .U32(16, 20)
             .U32(20, 21)
             .U32(24, 3)
             .U32(28, 4)
             .U32(32, 5)
             .U32(36, 6)
             .U32(40, 7)
             .U8(44, 1)
             .b},
        {"cmd_alphablend src_left=1 src_top=2 src_right=3 src_bottom=4 left=5 top=6 right=7 bottom=8 clip=9 "
         "bitmap=10 flags=2 alpha=128",
         Expected(23, 0, 52)
             .U32(8, 1)
             .U32(12, 2)
             .U32(16, 3)
             .U32(20, 4)
             .U32(24, 5)
             .U32(28, 6)
             .U32(32, 7)
             .U32(36, 8)
             .U32(40, 9)
             .U32(44, 10)
             .U16(48, 2)
             .U8(50, 128)
             .b},
        {"cmd_rectfill left=1 top=2 right=3 bottom=4 brush=0x80ffffff",
         Expected(24, 0, 28).U32(8, 1).U32(12, 2).U32(16, 3).U32(20, 4).U32(24, 0x80ffffff).b},
        {"reserved65 v=4 data=00", Expected(65, 4, 9).b},
        {"cmd_text left=1 top=2 right=3 bottom=4 brush_x=5 brush_y=6 font=7 clip=8 brush=9 count=1 flags=2 mix=13 "
         "mix2=11 data=0a000000140000004100",
         Expected(16, 0, 62, 52)
             .U32(8, 1)
             .U32(12, 2)
             .U32(16, 3)
             .U32(20, 4)
             .U32(24, 5)
             .U32(28, 6)
             .U32(32, 7)
             .U32(36, 8)
             .U32(40, 9)
             .U32(44, 1)
             .U16(48, 2)
             .U8(50, 13)
             .U8(51, 11)
             .Tail({10, 0, 0, 0, 20, 0, 0, 0, 0x41, 0})
             .b},
        {"cmd_bitblt left=1 top=2 right=3 bottom=4 src_x=5 src_y=6 mask_x=7 mask_y=8 brush_x=9 brush_y=10 brush=11 "
         "clip=12 bitmap=13 mask=14 rop=0xcc0020",
         Expected(19, 0, 68)
             .U32(8, 1)
             .U32(12, 2)
             .U32(16, 3)
             .U32(20, 4)
             .U32(24, 5)
             .U32(28, 6)
             .U32(32, 7)
             .U32(36, 8)
             .U32(40, 9)
             .U32(44, 10)
             .U32(48, 11)
             .U32(52, 12)
             .U32(56, 13)
             .U32(60, 14)
             .U32(64, 0xcc0020)
             .b},
        {"cmd_copybits src_x=1 src_y=2 left=3 top=4 right=5 bottom=6 clip=7 bitmap=8",
         Expected(20, 0, 40).U32(8, 1).U32(12, 2).U32(16, 3).U32(20, 4).U32(24, 5).U32(28, 6).U32(32, 7).U32(36, 8).b},
        {"cmd_stretchblt src_left=1 src_top=2 src_right=3 src_bottom=4 left=5 top=6 right=7 bottom=8 brush_x=9 "
         "brush_y=10 clip=11 bitmap=12 mask=13 brush=14 rop=0xcccc extra=3",
         Expected(21, 0, 92)
             .U32(8, 1)
             .U32(12, 2)
             .U32(16, 3)
             .U32(20, 4)
             .U32(24, 5)
             .U32(28, 6)
             .U32(32, 7)
             .U32(36, 8)
             .U32(40, 9)
             .U32(44, 10)
             .U32(72, 11)
             .U32(76, 12)
             .U32(80, 13)
             .U32(84, 14)
             .U16(88, 0xcccc)
             .U8(90, 3)
             .b},
        {"cmd_transparentblt src_left=1 src_top=2 src_right=3 src_bottom=4 left=5 top=6 right=7 bottom=8 clip=9 "
         "bitmap=10 colour=0xff00ff",
         Expected(25, 0, 52)
             .U32(8, 1)
             .U32(12, 2)
             .U32(16, 3)
             .U32(20, 4)
             .U32(24, 5)
             .U32(28, 6)
             .U32(32, 7)
             .U32(36, 8)
             .U32(40, 9)
             .U32(44, 10)
             .U32(48, 0xff00ff)
             .b},
        {"bitmap id=5 width=3 height=-2 palette_count=2 depth=1 compression=0 data=00000000ffffff00a0000000c0000000",
         Expected(35, 0, 40, 24)
             .U32(8, 5)
             .U32(12, 3)
             .U32(16, 0xfffffffe)
             .U16(20, 2)
             .U8(22, 1)
             .Tail({0, 0, 0, 0, 255, 255, 255, 0, 0xa0, 0, 0, 0, 0xc0, 0, 0, 0})
             .b},
        {"bitmap_continued id=6 width=1 height=1 depth=24 compression=6",
         Expected(0x4023, 0, 24).U32(8, 6).U32(12, 1).U32(16, 1).U8(22, 24).U8(23, 6).b},
        {"path id=3 left=1 top=2 right=30 bottom=40 subpaths=1 data=0b00000001000000",
         Expected(36, 0, 40, 32)
             .U32(8, 3)
             .U32(12, 1)
             .U32(16, 2)
             .U32(20, 30)
             .U32(24, 40)
             .U32(28, 1)
             .Tail({11, 0, 0, 0, 1, 0, 0, 0})
             .b},
        {"font_download v=0 id=4 flags=0x41 height=20", Expected(37, 0, 16).U32(8, 4).U16(12, 0x41).U16(14, 20).b},
        {"font_download id=4 flags=0x41 height=20", Expected(37, 1, 20).U32(8, 4).U32(12, 0x41).U32(16, 20).b},
        {"font_log v=0 id=2 height=-40 weight=700 italic=1 charset=2 quality=3 face=\"Sans\"", Expected(38, 0, 72)
                                                                                                   .U32(8, 2)
                                                                                                   .U32(12, 0xffffffd8)
                                                                                                   .U32(28, 700)
                                                                                                   .U8(32, 1)
                                                                                                   .U8(35, 2)
                                                                                                   .U8(38, 3)
                                                                                                   .Text(40, "Sans")
                                                                                                   .b},
        {"font_log id=2 flags=0x20 base=9 height=30 width=10 escapement=900 orientation=900 underline=1 "
         "strike_out=1 out_precision=4 clip_precision=5 pitch_family=6 face=\"Serif\"",
         Expected(38, 1, 80)
             .U32(8, 2)
             .U32(12, 0x20)
             .U32(16, 9)
             .U32(20, 30)
             .U32(24, 10)
             .U32(28, 900)
             .U32(32, 900)
             .U8(41, 1)
             .U8(42, 1)
             .U8(44, 4)
             .U8(45, 5)
             .U8(47, 6)
             .Text(48, "Serif")
             .b},
        {"glyph code=65 font=4 cell_width=8 cell_height=1 origin_x=-1 origin_y=-7 data=ff000000",
         Expected(39, 0, 36, 32)
             .U16(8, 65)
             .U32(12, 4)
             .U32(16, 8)
             .U32(20, 1)
             .U32(24, 0xffffffff)
             .U32(28, 0xfffffff9)
             .Tail({255, 0, 0, 0})
             .b},
        {"glyph_ex code=66 font=4 cell_width=16 cell_height=32",
         Expected(40, 0, 32).U16(8, 66).U32(12, 4).U32(16, 16).U32(20, 32).b},
        {"glyph_table v=0 id=8 flags=0x10000", Expected(42, 0, 16).U32(8, 8).U32(12, 0x10000).b},
        {"glyph_table id=8 glyph_count=300 data=676c79660000000000",
         Expected(42, 1, 29, 20).U32(8, 8).U32(16, 300).Tail({'g', 'l', 'y', 'f', 0, 0, 0, 0, 0}).b},
        {"font_data sequence=2 font=8", Expected(43, 0, 16).U32(8, 2).U32(12, 8).b},
        {"raw type=0x8064 v=7 size=99 data=01", Expected(0x8064, 7, 99, 8).Tail({1}).b},
        {"bytes data=0102", Bytes{1, 2}},
    };
}

TEST(Spoolc, EachRecordCompilesToItsBytesAndDumpsBack)
{
    for (const Fixture& f : Fixtures()) {
        SCOPED_TRACE(f.text);
        const Bytes bytes = SpoolTextCompile(f.text);
        EXPECT_EQ(bytes, f.bytes);
        const std::string dumped = SpoolTextDump(bytes);
        EXPECT_EQ(SpoolTextCompile(dumped), bytes);
        EXPECT_EQ(SpoolTextDump(SpoolTextCompile(dumped)), dumped);
    }
}

TEST(Spoolc, EngineLayoutsReadTheCompiledRecords)
{
    SpoolPageBegin page;
    const Bytes p = SpoolTextCompile(
        "page_begin scale=50 overlay_form=7 page_form=8 paper_code=9 mix=3 poster=4 "
        "paper_name=\"Legal\" alignment=5 flag99=1 data=00");
    SpoolLoadLittleEndian(&page, p.data(), sizeof page);
    EXPECT_EQ(page.scale, 50);
    EXPECT_EQ(page.overlayFormId, 7u);
    EXPECT_EQ(page.pageFormId, 8u);
    EXPECT_EQ(page.paperCode, 9);
    EXPECT_EQ(page.mix, 3);
    EXPECT_EQ(page.poster, 4);
    EXPECT_STREQ(page.paperName, "Legal");
    EXPECT_EQ(page.alignment, 5);
    EXPECT_EQ(page.pageFlag20, 1);
    EXPECT_EQ(page.blobSize, 1u);
    SpoolPageEnd end;
    const Bytes e = SpoolTextCompile("page_end extent3=6 paper_code=7 mode=2 paper_name=\"A4\"");
    SpoolLoadLittleEndian(&end, e.data(), sizeof end);
    EXPECT_EQ(end.extents[3], 6u);
    EXPECT_EQ(end.paperCode, 7);
    EXPECT_EQ(end.mode, 2);
    EXPECT_STREQ(end.paperName, "A4");
    SpoolFormPlace place;
    const Bytes f = SpoolTextCompile("form_place id=4 flags=0x13 values=0102 mix=255 alignment=9");
    SpoolLoadLittleEndian(&place, f.data(), sizeof place);
    EXPECT_EQ(place.formId, 4u);
    EXPECT_EQ(place.placementFlags, 0x13u);
    EXPECT_EQ(place.values[1], 2);
    EXPECT_EQ(place.alignment, 9);
}

TEST(Spoolc, ErrorsNameTheLine)
{
    const char* bad[] = {
        "page_begin foo=1",
        "page_begin v=9",
        "job_header copies=0x100000000",
        "form_file file=\"",
        "job_data data=abc",
        "nonsense",
        "page_end paper_name=\"0123456789abcdefX\" v=0",
        "raw v=1",
        "stream_version one=x",
        "page_begin mix=256",
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        try {
            SpoolTextCompile(std::string("signature\n") + line + "\n");
            ADD_FAILURE() << "accepted";
        } catch (const SpoolError& e) {
            EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
        }
    }
}

TEST(Spoolc, AnyBytesDumpToTextThatCompilesBackToThem)
{
    std::mt19937 rng(99);
    const Bytes job = SpoolTextCompile(
        "signature\nstream_version\njob_header copies=1 data=01\njob_data data=02\npage_begin width=5\n"
        "reserved64 data=0304\npage_end\nform_begin id=1\nform_end\njob_end\n");
    for (int trial = 0; trial < 300; ++trial) {
        Bytes bytes = job;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int i = 0; i < flips; ++i) {
            const size_t at = rng() % bytes.size();
            switch (rng() % 3) {
                case 0: bytes[at] = static_cast<uint8_t>(rng()); break;
                case 1: bytes.erase(bytes.begin() + static_cast<long>(at)); break;
                default: bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<uint8_t>(rng())); break;
            }
        }
        const std::string text = SpoolTextDump(bytes);
        ASSERT_EQ(SpoolTextCompile(text), bytes) << text;
    }
}

}  // namespace

#include <fstream>
#include <iterator>

#include "engine/page/preamble.h"
#include "engine/spool/page_source.h"
#include "tests/support/memory_stream.h"

namespace {

TEST(Spoolc, ExampleJobIsAcceptedWithItsPages)
{
    std::ifstream in(SPOOLC_EXAMPLE);
    ASSERT_TRUE(in) << SPOOLC_EXAMPLE;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    MemoryStream memory(SpoolTextCompile(text), false, 0);
    Stream* stream = MemoryStreamOpen(&memory);
    PageSource* source = PageSourceOpen(stream, nullptr);
    JobHeader header{};
    JobDataList list;
    JobDataListInit(&list);
    ASSERT_TRUE(JobPreambleRead(nullptr, stream, &header, &list));
    EXPECT_EQ(header.resolutionX, 200u);
    ASSERT_NE(list.first, nullptr);
    EXPECT_EQ(list.first->length, 3u);
    EXPECT_EQ(PageSourceCount(source), 2u);
    EXPECT_GE(PageSourceTrailerFind(source), 0);
    JobHeaderFree(&header);
    JobDataListFree(&list);
    PageSourceClose(source);
    StreamClose(stream);
}

}  // namespace
