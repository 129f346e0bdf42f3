// Sheet and page sequencing driven through ImeRender: the slot sequence the recording module sees
// for every sheet order, written compactly (sheets, sides, repeat words, paper, page numbers).
#include <gtest/gtest.h>

#include <functional>

#include "engine/common/render_heap.h"
#include "engine/common/render_options.h"
#include "tests/engine/job/render_fixture.h"

namespace {

struct TestPage {
    uint32_t flags = 0;
    bool content = true;  // a record between the page record and its end: the page is not empty
    uint8_t cells = 0;
    uint8_t poster = 0;
    uint8_t arrangement = 0;
    uint16_t paper = 0;
    uint8_t endMode = 0;  // the page-end record's sheet request
    uint16_t endPaper = 0;
    bool broken = false;  // a version-4 page record
};

std::vector<TestPage> Pages(uint32_t n, TestPage page = {}) { return std::vector<TestPage>(n, page); }

std::vector<uint8_t> SequencingJob(const std::vector<TestPage>& pages, uint32_t jobFlags = 0, uint32_t copies = 1)
{
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader(
        {{"job_flags", jobFlags}, {"copies", copies}, {"res_x", 200}, {"res_y", 200}});
    for (uint32_t i = 0; i < pages.size(); ++i) {
        const TestPage& p = pages[i];
        if (p.broken) {
            b.Raw(SpoolRecPageBegin, 4, std::vector<uint8_t>(100, 0));
        } else {
            // The blob carries the page number, so that the module can tell the pages apart.
            b.PageBegin({{"v", 3},
                         {"page_flags", p.flags},
                         {"width", 1728},
                         {"height", 2200},
                         {"cells", p.cells},
                         {"poster", p.poster},
                         {"arrangement", p.arrangement},
                         {"paper_code", p.paper},
                         {"data", std::vector<uint8_t>{static_cast<uint8_t>(i)}}});
        }
        if (p.content) b.Raw(SpoolRecReserved64, 0, {1, 2, 3, 4});
        b.PageEnd(
            {{"v", 2}, {"sheet_width", 1728}, {"sheet_height", 2200}, {"mode", p.endMode}, {"paper_code", p.endPaper}});
    }
    b.JobEnd();
    return b.Data();
}

// The sheet-level calls: D DocBegin, S SheetBegin, K SheetBlank (/s sides, r repeat, p paper), E
// SheetEnd, b ImageBlank and i ImageBegin with the page number from the blob ("-" without one),
// M ManualDuplexPass with its sheet count, ABORT JobAbort.
std::string Sequence(const RenderRun& run)
{
    std::string text;
    auto add = [&](const std::string& s) { text += (text.empty() ? "" : " ") + s; };
    for (uint32_t i = 0; i < run.script->callCount; ++i) {
        const FakeCall& c = run.script->calls[i];
        switch (c.slot) {
            case IMO_SLOT_DOC_BEGIN: add("D"); break;
            case IMO_SLOT_SHEET_BEGIN:
            case IMO_SLOT_SHEET_BLANK: {
                std::string s = c.slot == IMO_SLOT_SHEET_BEGIN ? "S" : "K";
                if (c.args[0]) s += "/s" + std::to_string(c.args[0]);
                if (c.args[1]) s += "r" + std::to_string(c.args[1]);
                if (c.args[2]) s += "p" + std::to_string(c.args[2]);
                add(s);
                break;
            }
            case IMO_SLOT_SHEET_END: add("E"); break;
            case IMO_SLOT_IMAGE_BLANK: add("b" + (c.args[0] ? std::to_string(c.args[1]) : std::string("-"))); break;
            case IMO_SLOT_IMAGE_BEGIN: add("i" + (c.args[1] ? std::to_string(c.args[2]) : std::string("-"))); break;
            case IMO_SLOT_MANUAL_DUPLEX_PASS: add("M" + std::to_string(c.args[1])); break;
            case IMO_SLOT_JOB_ABORT: add("ABORT"); break;
            default: break;
        }
    }
    return text;
}

struct Device {
    uint32_t caps = 0;
    uint32_t options = 0;
    uint64_t duplex = 0;
    uint32_t emptySlots = 0;
};

void DeviceScript(RenderRun& run, const Device& device)
{
    ImoMediaInfo media{};
    media.mediaFlags = IMO_MEDIA_GRAY_FORMAT_VALID;
    media.xResolution = media.yResolution = 200;
    for (uint32_t id : {DEVICE_QUERY_MEDIA, DEVICE_QUERY_MEDIA_PLACED}) {
        run.Answer(id, media);
        run.script->answers[id].mode = FAKE_ANSWER_MEDIA;
    }
    run.Answer(DEVICE_QUERY_CAPS, device.caps);
    run.Answer(DEVICE_QUERY_OPTIONS, device.options);
    run.Answer(DEVICE_QUERY_DUPLEX_VALUE, device.duplex);
    run.script->emptySlots = device.emptySlots;
}

// Page 0, a form defined between the pages, then page 1 with the form beneath it and a placement
// of it on top; the placement record can be cut short.
std::vector<uint8_t> FormJob(uint32_t copies, uint32_t pageForm, bool shortPlacement)
{
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", copies}, {"res_x", 200}, {"res_y", 200}});
    b.PageBegin({{"v", 3}, {"width", 1728}, {"height", 2200}, {"data", std::vector<uint8_t>{0}}});
    b.Raw(SpoolRecReserved64, 0, {1, 2, 3, 4});
    b.PageEnd({{"v", 2}});
    b.Add("form_begin", {{"id", 5}, {"res_x", 100}, {"res_y", 100}, {"width", 400}, {"height", 300}});
    b.Add("form_end");
    b.PageBegin({{"v", 3},
                 {"page_flags", 0x400},
                 {"page_form", pageForm},
                 {"alignment", 9},
                 {"width", 1728},
                 {"height", 2200},
                 {"data", std::vector<uint8_t>{1}}});
    if (shortPlacement) b.Raw(SpoolRecFormPlace, 0, std::vector<uint8_t>(12, 0));
    else b.Add("form_place", {{"id", 5}, {"flags", 0x11}, {"mix", 255}, {"alignment", 3}});
    b.PageEnd({{"v", 2}});
    b.JobEnd();
    return b.Data();
}

struct SequenceCase {
    const char* name;
    std::vector<uint8_t> job;
    Device device;
    std::function<void(RenderOptions&)> options;
    const char* expected;
    bool forwardOnlyToo;  // the same sequence from a stream that cannot seek
};

TestPage With(std::function<void(TestPage&)> set, TestPage page = {})
{
    set(page);
    return page;
}

}  // namespace

TEST(Sequencing, SlotSequenceOfEveryOrder)
{
    const TestPage twoSided = With([](TestPage& p) { p.flags = 0x4; });
    const TestPage empty = With([](TestPage& p) { p.content = false; });
    const uint64_t duplexReverse = IMO_MANUAL_DUPLEX_REVERSE;
    const uint64_t duplexBin = IMO_MANUAL_DUPLEX_BIN | (uint64_t{5} << 32);
    std::vector<TestPage> paperLast = Pages(3);
    paperLast[2].paper = 7;
    std::vector<TestPage> insertBlank = Pages(2);
    insertBlank[0].endMode = 1;
    std::vector<TestPage> insertAgain = Pages(2);
    insertAgain[0].endMode = 2;
    insertAgain[0].endPaper = 9;
    std::vector<TestPage> brokenSecond = Pages(2);
    brokenSecond[1].broken = true;
    std::vector<TestPage> newSheet = Pages(3, With([](TestPage& p) { p.cells = 4; }));
    newSheet[1].flags = 0x100;
    std::vector<TestPage> bookletLead = Pages(3);
    bookletLead[0].flags = 0x100;
    const auto booklet = [](RenderOptions& o) { o.flags |= RENDER_FLAG_BOOKLET; };

    const std::vector<SequenceCase> cases = {
        {"one page a sheet", SequencingJob(Pages(3)), {}, nullptr, "D Sr1 b0 E Sr1 b1 E Sr1 b2 E", true},
        {"an empty sheet is SheetBlank alone", SequencingJob(Pages(2, empty)), {}, nullptr, "D Kr1 Kr1", false},
        {"an empty sheet without SheetBlank",
         SequencingJob(Pages(1, empty)),
         {0, 0, 0, 1u << IMO_SLOT_SHEET_BLANK},
         nullptr,
         "D Sr1 b0 E",
         true},
        {"copies repeat each sheet",
         SequencingJob(Pages(2), 0, 2),
         {},
         nullptr,
         "D Sr1 b0 E Sr1 b0 E Sr1 b1 E Sr1 b1 E",
         true},
        {"the device repeats sheets",
         SequencingJob(Pages(2), 0, 3),
         {IMO_CAPS_REPEAT_SHEET},
         nullptr,
         "D Sr3 b0 E Sr3 b1 E",
         true},
        {"copies by passes",
         SequencingJob(Pages(2), 1, 2),
         {},
         nullptr,
         "D Sr1 b0 E Sr1 b1 E D Sr1 b0 E Sr1 b1 E",
         true},
        {"two-up",
         SequencingJob(Pages(3, With([](TestPage& p) { p.cells = 2; }))),
         {},
         nullptr,
         "D Sr1 i0 E Sr1 i2 E",
         true},
        {"four-up from the options",
         SequencingJob(Pages(5)),
         {},
         [](RenderOptions& o) {
             o.flags |= RENDER_FLAG_CELLS;
             o.cellsPerSide = 4;
         },
         "D Sr1 i0 E Sr1 i4 E",
         true},
        {"a cell count without a grid is one",
         SequencingJob(Pages(2, With([](TestPage& p) { p.cells = 3; }))),
         {},
         nullptr,
         "D Sr1 b0 E Sr1 b1 E",
         true},
        {"a page marked for a new sheet ends the n-up side",
         SequencingJob(newSheet),
         {},
         nullptr,
         "D Sr1 i0 E Sr1 i1 E",
         true},
        {"two-sided", SequencingJob(Pages(3, twoSided)), {}, nullptr, "D S/s1r1 b0 b1 E S/s1r1 b2 E", true},
        {"reverse order",
         SequencingJob(Pages(3)),
         {},
         [](RenderOptions& o) { o.flags |= RENDER_FLAG_REVERSE; },
         "D Sr1 b2 E Sr1 b1 E Sr1 b0 E",
         true},
        {"reverse order exchanges the sides",
         SequencingJob(Pages(4, twoSided), 0x4),
         {},
         nullptr,
         "D S/s1r1 b3 b2 E S/s1r1 b1 b0 E",
         true},
        {"manual duplex",
         SequencingJob(Pages(4, twoSided)),
         {IMO_CAPS_MANUAL_DUPLEX},
         nullptr,
         "D S/s1r1 b0 E S/s1r1 b2 E M2 S/s1r1 b1 E S/s1r1 b3 E",
         true},
        {"manual duplex, second pass reversed",
         SequencingJob(Pages(4, twoSided)),
         {IMO_CAPS_MANUAL_DUPLEX, 0, duplexReverse},
         nullptr,
         "D S/s1r1 b0 E S/s1r1 b2 E M2 S/s1r1 b3 E S/s1r1 b1 E",
         true},
        {"manual duplex, second pass from the module's bin",
         SequencingJob(Pages(2, twoSided)),
         {IMO_CAPS_MANUAL_DUPLEX, 0, duplexBin},
         nullptr,
         "D S/s1r1 b0 E M1 S/s1r1p5 b1 E",
         true},
        {"manual duplex of one-sided pages is one pass",
         SequencingJob(Pages(2)),
         {IMO_CAPS_MANUAL_DUPLEX},
         nullptr,
         "D Sr1 b0 E Sr1 b1 E",
         true},
        {"the last sheet only carries paper",
         SequencingJob(paperLast, 0x8),
         {},
         nullptr,
         "D Sr1 b0 E Sr1p7 b1 E",
         true},
        {"entry list",
         SequencingJob(Pages(3, twoSided)),
         {0, IMO_OPTION_SHEET_LIST},
         nullptr,
         "D S/s1r1 b0 b1 E S/s1r1 b2 E",
         true},
        {"entry list, device repeats",
         SequencingJob(Pages(1), 0, 2),
         {IMO_CAPS_REPEAT_SHEET, IMO_OPTION_SHEET_LIST},
         nullptr,
         "D Sr2 b0 E",
         true},
        {"entry list reversed",
         SequencingJob(Pages(2), 0x4),
         {0, IMO_OPTION_SHEET_LIST},
         nullptr,
         "D Sr1 b1 E Sr1 b0 E",
         true},
        {"a page asks for a blank sheet after it",
         SequencingJob(insertBlank),
         {},
         nullptr,
         "D Sr1 b0 E Kr1 Sr1 b1 E",
         true},
        {"a page asks for its sheet again",
         SequencingJob(insertAgain),
         {},
         nullptr,
         "D Sr1 b0 E Sr1p9 b0 E Sr1 b1 E",
         true},
        {"poster of two",
         SequencingJob(Pages(1, With([](TestPage& p) { p.poster = 2; }))),
         {},
         nullptr,
         "D Sr1 b0 E Sr1 b0 E Sr1 b0 E Sr1 b0 E",
         true},
        {"booklet of five", SequencingJob(Pages(5)), {}, booklet, "D Sr1 i0 i1 E Sr1 i2 i3 E", true},
        {"booklet behind a blank sheet", SequencingJob(bookletLead), {}, booklet, "D K Sr1 i1 i2 E", true},
        {"booklet reversed", SequencingJob(Pages(5), 0x4), {}, booklet, "D Sr1 i3 i2 E Sr1 i1 i0 E", true},
        {"booklet, manual duplex",
         SequencingJob(Pages(5)),
         {IMO_CAPS_MANUAL_DUPLEX},
         booklet,
         "D Sr1 i0 E Sr1 i2 E M2 Sr1 i1 E Sr1 i3 E",
         true},
        {"forms defined between pages, placed on a page played twice",
         FormJob(2, 5, false),
         {},
         nullptr,
         "D Sr1 b0 E Sr1 b0 E Sr1 b1 E Sr1 b1 E",
         false},
        {"a page naming a form that is not defined", FormJob(1, 6, false), {}, nullptr, "D Sr1 b0 E Sr1 ABORT", false},
        {"a form placement cut short", FormJob(1, 5, true), {}, nullptr, "D Sr1 b0 E Sr1 ABORT", false},
        {"a job on one sheet is one pass that repeats its sheet",
         SequencingJob(Pages(1), 1, 3),
         {IMO_CAPS_SINGLE_SHEET_COPIES},
         nullptr,
         "D Sr1 b0 E Sr1 b0 E Sr1 b0 E",
         false},
        {"a job on one sheet lets the device copy it",
         SequencingJob(Pages(1), 1, 3),
         {IMO_CAPS_SINGLE_SHEET_COPIES | IMO_CAPS_REPEAT_SHEET},
         nullptr,
         "D Sr3 b0 E",
         false},
        {"a job on two sheets is copied by passes",
         SequencingJob(Pages(2), 1, 2),
         {IMO_CAPS_SINGLE_SHEET_COPIES},
         nullptr,
         "D Sr1 b0 E Sr1 b1 E D Sr1 b0 E Sr1 b1 E",
         false},
        {"a scale of 0 percent fails the page",
         SequencingJob(Pages(1, With([](TestPage& p) { p.flags = 0x40; }))),
         {},
         nullptr,
         "D Sr1 ABORT",
         true},
        {"a broken page record fails the job", SequencingJob(brokenSecond), {}, nullptr, "D Sr1 b0 E ABORT", true},
    };
    for (const SequenceCase& c : cases) {
        for (bool seekable : {true, false}) {
            if (!seekable && !c.forwardOnlyToo) continue;
            SCOPED_TRACE(std::string(c.name) + (seekable ? "" : ", forward-only"));
            RenderRun run(c.job, seekable);
            DeviceScript(run, c.device);
            if (c.options) c.options(run.options);
            const bool fails = std::string(c.expected).find("ABORT") != std::string::npos;
            const int64_t live = RenderAllocLiveBlocks();
            EXPECT_EQ(run.Run(), fails ? 13u : 0u);
            EXPECT_EQ(Sequence(run), c.expected);
            EXPECT_EQ(RenderAllocLiveBlocks(), live);
        }
    }
}

// Poster factors 1 to 4 give 1, 4, 9 and 16 sheets of the same page.
TEST(Sequencing, PosterTiles)
{
    for (uint8_t f = 1; f <= 4; ++f) {
        SCOPED_TRACE(f);
        RenderRun run(SequencingJob(Pages(1)));
        DeviceScript(run, {});
        run.options.flags |= RENDER_FLAG_POSTER;
        run.options.posterFactor = f;
        ASSERT_EQ(run.Run(), 0u);
        std::string expected = "D";
        for (uint32_t i = 0; i < uint32_t{f} * f; ++i) expected += " Sr1 b0 E";
        EXPECT_EQ(Sequence(run), expected);
    }
}

// Every allocation of a job with n-up, two-sided, reversed and inserted sheets and a form fails
// once in turn: nothing is left allocated, and a failure after JobBegin is reported as lack of
// memory with JobAbort.
TEST(Sequencing, SurvivesAnAllocationFailureAtEveryAllocation)
{
    std::vector<TestPage> pages = Pages(3, With([](TestPage& p) { p.flags = 0x4; }));
    pages[0].endMode = 1;
    pages.push_back(With([](TestPage& p) { p.cells = 2; }));
    pages.push_back(With([](TestPage& p) { p.cells = 2; }));
    for (const std::vector<uint8_t>& job : {SequencingJob(pages, 0x4, 2), FormJob(1, 5, false)}) {
        RenderRun whole(job);
        DeviceScript(whole, {});
        ASSERT_EQ(whole.Run(), 0u);
        const std::string complete = Sequence(whole);
        for (uint32_t n = 1;; ++n) {
            SCOPED_TRACE(n);
            RenderRun run(job);
            DeviceScript(run, {});
            const int64_t live = RenderAllocLiveBlocks();
            const uint64_t before = RenderAllocCount();
            RenderAllocFailAt(n);
            const uint32_t result = run.Run();
            RenderAllocFailAt(0);
            const uint64_t made = RenderAllocCount() - before;
            EXPECT_EQ(RenderAllocLiveBlocks(), live);
            if (made < n) {
                EXPECT_EQ(result, 0u);
                break;
            }
            const std::string sequence = Sequence(run);
            if (!sequence.empty() && result != 0) {
                EXPECT_EQ(result, 8u) << sequence;
                EXPECT_NE(sequence.find("ABORT"), std::string::npos) << sequence;
            }
            // A job reported done lost nothing.
            if (result == 0) {
                EXPECT_EQ(sequence, complete);
            }
            ASSERT_LT(n, 2000u);
        }
    }
}
