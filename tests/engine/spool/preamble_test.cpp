// The job preamble: which record sequences are accepted, where the stream stands afterwards, and
// how the three job header versions map into the header in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/display/stores/resource_budget.h"
#include "engine/page/form_table.h"
#include "engine/page/preamble.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    bool accepted;
    uint32_t position;
    JobHeader header;
    std::vector<Bytes> jobData;
};

// Runs the preamble reader over the bytes, seekable or forward-only, k bytes per callback.
Outcome RunPreamble(const Bytes& bytes, bool seekable, uint32_t k)
{
    MemoryStream memory(bytes, seekable, k);
    Stream* stream = MemoryStreamOpen(&memory);
    Outcome out{};
    JobDataList list;
    JobDataListInit(&list);
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 256, 0x400000, 0x800000);
    FormTable* forms = FormTableCreate(budget);
    out.accepted = JobPreambleRead(forms, stream, &out.header, &list);
    out.position = stream->position;
    for (JobDataEntry* e = list.first; e; e = e->next) out.jobData.emplace_back(e->payload, e->payload + e->length);
    JobDataListFree(&list);
    if (out.accepted) {
        // Whoever gets the stream next finds the record the preamble stopped at.
        uint8_t head[8];
        EXPECT_EQ(StreamPeek(stream, head, 8), 8);
        EXPECT_EQ(SpoolRecordHeaderLoad(head).size, SpoolRecordHeaderLoad(bytes.data() + out.position).size);
        EXPECT_EQ(0, std::memcmp(head, bytes.data() + out.position, 8));
    } else {
        EXPECT_EQ(out.header.oemBlob, nullptr);
    }
    FormTableDestroy(forms);
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
    return out;
}

struct Case {
    const char* name;
    std::function<void(SpoolBuilder&, uint32_t& stop)> build;  // stop: where an accepted preamble ends
    bool accepted;
};

SpoolBuilder& Head(SpoolBuilder& b) { return b.Signature().StreamVersion(2).JobHeader({{"copies", 1}}); }
void Mark(SpoolBuilder& b, uint32_t& stop) { stop = b.Position(); }

const Case kCases[] = {
    {"full preamble then page",
     [](SpoolBuilder& b, uint32_t& s) {
         Head(b).JobData({1, 2, 3}).Raw(64, 0, {9}).Raw(65, 1).Raw(0x8064, 7, {1, 2});
         Mark(b, s);
         b.Page().JobEnd();
     },
     true},
    {"job end right after the header (empty job)",
     [](SpoolBuilder& b, uint32_t& s) {
         Head(b);
         Mark(b, s);
         b.JobEnd();
     },
     true},
    {"header alone, no signature or version",
     [](SpoolBuilder& b, uint32_t& s) {
         b.JobHeader({{"v", 0}});
         Mark(b, s);
         b.Page();
     },
     true},
    {"stream version 3", [](SpoolBuilder& b, uint32_t&) { b.Signature().StreamVersion(3).JobHeader().Page(); }, false},
    {"stream version record too short",
     [](SpoolBuilder& b, uint32_t&) {
         b.Raw(254, 0, {2, 0, 0, 0}).JobHeader().Page();
     },
     false},
    {"page before the job header", [](SpoolBuilder& b, uint32_t&) { b.Signature().Page().JobHeader(); }, false},
    {"job end before the job header", [](SpoolBuilder& b, uint32_t&) { b.Signature().JobEnd(); }, false},
    {"second job header", [](SpoolBuilder& b, uint32_t&) { Head(b).JobHeader().Page(); }, false},
    {"type 100 without the optional flag", [](SpoolBuilder& b, uint32_t&) { Head(b).Raw(100, 0, {1}).Page(); }, false},
    {"type 100 with the optional flag",
     [](SpoolBuilder& b, uint32_t& s) {
         Head(b).Raw(0x8000 | 100, 0, {1});
         Mark(b, s);
         b.Page();
     },
     true},
    {"type 0", [](SpoolBuilder& b, uint32_t&) { Head(b).Raw(0, 0).Page(); }, false},
    {"page end in the preamble", [](SpoolBuilder& b, uint32_t&) { Head(b).PageEnd().Page(); }, false},
    {"form end in the preamble", [](SpoolBuilder& b, uint32_t&) { Head(b).Add("form_end").Page(); }, false},
    {"drawing record in the preamble",
     [](SpoolBuilder& b, uint32_t&) {
         Head(b).Raw(22, 0, {0, 0}).Page();
     },
     false},
    {"type 63 rejected, with the optional flag skipped",
     [](SpoolBuilder& b, uint32_t& s) {
         Head(b).Raw(0x8000 | 63, 0);
         Mark(b, s);
         b.Page();
     },
     true},
    {"type 63", [](SpoolBuilder& b, uint32_t&) { Head(b).Raw(63, 0).Page(); }, false},
    {"form without its end record",
     [](SpoolBuilder& b, uint32_t&) {
         Head(b).Add("form_begin", {{"id", 1}, {"res_x", 200}, {"res_y", 200}, {"width", 100}, {"height", 100}}).Page();
     },
     false},
    {"record size below 8", [](SpoolBuilder& b, uint32_t&) { Head(b).Raw(64, 0, {}, 4).Page(); }, false},
    {"record size 0", [](SpoolBuilder& b, uint32_t&) { Head(b).Raw(0x8100, 0, {}, 0).Page(); }, false},
    {"record past the end of the data",
     [](SpoolBuilder& b, uint32_t&) {
         Head(b).Raw(64, 0, {1, 2}, 4000);
     },
     false},
    {"record reaching past 2 GB", [](SpoolBuilder& b, uint32_t&) { Head(b).Raw(64, 0, {}, 0x7ffffff0).Page(); }, false},
    {"data ends inside a record header",
     [](SpoolBuilder& b, uint32_t&) {
         Head(b).Bytes({3, 0, 0});
     },
     false},
    {"empty stream", [](SpoolBuilder&, uint32_t&) {}, false},
    {"job header blob larger than its record",
     [](SpoolBuilder& b, uint32_t&) {
         b.JobHeader({{"data", Bytes{1, 2, 3}}, {"blob_size", 4}}).Page();
     },
     false},
    {"job header claiming a huge blob that the data lacks",
     [](SpoolBuilder& b, uint32_t&) {
         b.JobHeader({{"data", Bytes{1, 2}}, {"blob_size", 0x6fffff00}, {"size", 0x70000000}}).Page();
     },
     false},
    {"job data claiming more than the data holds",
     [](SpoolBuilder& b, uint32_t&) {
         b.JobHeader().Raw(66, 0, {1, 2, 3}, 0x60000000).Page();
     },
     false},
    {"job header shorter than its version",
     [](SpoolBuilder& b, uint32_t&) {
         b.JobHeader({{"v", 1}, {"size", 170}}).Page();
     },
     false},
    {"job header version 3", [](SpoolBuilder& b, uint32_t&) { b.Raw(1, 3, Bytes(180)).Page(); }, false},
    {"job header longer than it says: reading goes on at its end",
     [](SpoolBuilder& b, uint32_t& s) {
         b.JobHeader({{"data", Bytes{1, 2, 3, 4, 5, 6}}, {"blob_size", 2}});
         Mark(b, s);
         b.Page();
     },
     true},
    {"job data before the header is skipped",
     [](SpoolBuilder& b, uint32_t& s) {
         b.Signature().JobData({0xee}).JobHeader();
         Mark(b, s);
         b.Page();
     },
     true},
};

TEST(Preamble, AcceptAndRejectTable)
{
    for (const Case& c : kCases) {
        SpoolBuilder b;
        uint32_t stop = 0;
        c.build(b, stop);
        for (const bool seekable : {true, false}) {
            for (const uint32_t k : {3u, 4096u}) {
                SCOPED_TRACE(testing::Message() << c.name << (seekable ? " seekable" : " forward-only") << " k " << k);
                const Outcome out = RunPreamble(b.Data(), seekable, k);
                EXPECT_EQ(out.accepted, c.accepted);
                if (c.accepted && out.accepted) {
                    EXPECT_EQ(out.position, stop);
                }
                JobHeader header = out.header;
                JobHeaderFree(&header);
            }
        }
    }
}

TEST(Preamble, JobDataAfterTheHeaderIsListedInOrderBeforeItIsSkipped)
{
    SpoolBuilder b;
    b.Signature().JobData({0xee}).JobHeader().JobData({1, 2, 3}).JobData({}).JobData({4}).Page().JobEnd();
    Outcome out = RunPreamble(b.Data(), false, 5);
    ASSERT_TRUE(out.accepted);
    EXPECT_EQ(out.jobData, (std::vector<Bytes>{{1, 2, 3}, {}, {4}}));
    JobHeaderFree(&out.header);
}

Bytes Document()
{
    Bytes d(128);
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(i + 1);
    return d;
}

TEST(Preamble, JobHeaderVersionsMapIntoTheVersion2Layout)
{
    const Bytes blob = {0xb1, 0xb2, 0xb3};
    struct Expect {
        int version;
        SpoolFields fields;
        int32_t first[2], second[2];
        uint32_t scale, margin, value48, value52;
    };
    const Expect cases[] = {
        {2,
         {{"extent1_w", -100},
          {"extent1_h", 200},
          {"extent2_w", 300},
          {"extent2_h", 400},
          {"scale", 55},
          {"booklet_margin", 0x0000000900000011ll},
          {"value52", 0x5252}},
         {-100, 200},
         {300, 400},
         55,
         0x11,
         9,
         0x5252},
        {1,
         {{"width", 1700},
          {"height", 2200},
          {"scale", 55},
          {"booklet_margin", 0x0000000900000011ll},
          {"value52", 0x5252}},
         {1700, 2200},
         {1700, 2200},
         55,
         0x11,
         9,
         0x5252},
        {0, {{"width", 1700}, {"height", 2200}}, {1700, 2200}, {1700, 2200}, 0, 0, 0, 0},
    };
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.version);
        SpoolFields fields = c.fields;
        fields.push_back({"v", c.version});
        fields.push_back({"job_flags", 0x205});
        fields.push_back({"copies", 3});
        fields.push_back({"res_x", 200});
        fields.push_back({"res_y", 100});
        fields.push_back({"header_flags", 0x71});
        fields.push_back({"document", Document()});
        fields.push_back({"data", blob});
        SpoolBuilder b;
        b.JobHeader(fields).Page();
        Outcome out = RunPreamble(b.Data(), true, 4096);
        ASSERT_TRUE(out.accepted);
        const JobHeader& h = out.header;
        EXPECT_EQ(h.header.type, 1);
        EXPECT_EQ(h.header.version, c.version);
        EXPECT_EQ(h.jobFlags, 0x205u);
        EXPECT_EQ(h.copyCount, 3u);
        EXPECT_EQ(h.resolutionX, 200u);
        EXPECT_EQ(h.resolutionY, 100u);
        EXPECT_EQ(h.firstExtent[0], c.first[0]);
        EXPECT_EQ(h.firstExtent[1], c.first[1]);
        EXPECT_EQ(h.secondExtent[0], c.second[0]);
        EXPECT_EQ(h.secondExtent[1], c.second[1]);
        EXPECT_EQ(h.scaleWord, c.scale);
        EXPECT_EQ(h.bookletMargin, c.margin);
        EXPECT_EQ(h.value48, c.value48);
        EXPECT_EQ(h.value52, c.value52);
        EXPECT_EQ(h.headerFlags, 0x71);
        EXPECT_EQ(0, std::memcmp(h.documentBlock, Document().data(), 128));
        ASSERT_EQ(h.blobSize, 3u);
        ASSERT_NE(h.oemBlob, nullptr);
        EXPECT_EQ(Bytes(h.oemBlob, h.oemBlob + 3), blob);
        EXPECT_EQ(h.jobEndBlob, nullptr);
        JobHeaderFree(&out.header);
    }
}

TEST(Preamble, JobEndRecordAndItsBlob)
{
    std::vector<uint32_t> pages;
    for (const int version : {0, 1}) {
        SCOPED_TRACE(version);
        SpoolBuilder b;
        b.JobHeader({{"data", Bytes{7}}}).Page();
        const uint32_t at = b.Position();
        if (version == 0) b.JobEnd({{"v", 0}});
        else b.JobEnd({{"data", Bytes{5, 6}}});
        MemoryStream memory(b.Data());
        Stream* stream = MemoryStreamOpen(&memory);
        JobHeader header{};
        ASSERT_TRUE(JobHeaderRead(stream, &header));
        ASSERT_TRUE(JobEndRead(stream, at, &header));
        EXPECT_EQ(header.jobEnd.header.type, 2);
        EXPECT_EQ(header.jobEnd.header.version, version);
        if (version == 0) {
            EXPECT_EQ(header.jobEnd.blobSize, 0u);
            EXPECT_EQ(header.jobEndBlob, nullptr);
        } else {
            ASSERT_EQ(header.jobEnd.blobSize, 2u);
            EXPECT_EQ(Bytes(header.jobEndBlob, header.jobEndBlob + 2), (Bytes{5, 6}));
        }
        EXPECT_FALSE(JobEndRead(stream, 0, &header));  // a job header is not a job-end record
        JobHeaderFree(&header);
        StreamClose(stream);
    }
    // A blob that the record cannot hold, a version above 1 and a missing record fail.
    const Bytes bad[] = {SpoolBuilder().JobEnd({{"data", Bytes{1}}, {"blob_size", 2}}).Data(),
                         SpoolRawRecord(2, 2, {0, 0, 0, 0}), SpoolRawRecord(2, 1, {}), Bytes{2, 0, 0}};
    for (const Bytes& bytes : bad) {
        MemoryStream memory(bytes);
        Stream* stream = MemoryStreamOpen(&memory);
        JobHeader header{};
        EXPECT_FALSE(JobEndRead(stream, 0, &header));
        EXPECT_EQ(header.jobEndBlob, nullptr);
        StreamClose(stream);
    }
}

}  // namespace

#include "engine/common/output_module.h"

namespace {

struct Received {
    std::vector<Bytes> records;
    int failAt = -1;
};

ImxStatus JobDataSlot(ImoInstance instance, uint32_t size, const void* record)
{
    auto* r = static_cast<Received*>(instance);
    const auto* p = static_cast<const uint8_t*>(record);
    r->records.emplace_back(p, p + size);
    return static_cast<int>(r->records.size()) == r->failAt ? -6 : 0;
}

JobDataList ListOf(std::initializer_list<Bytes> payloads)
{
    SpoolBuilder b;
    for (const Bytes& p : payloads) b.JobData(p);
    MemoryStream memory(b.Data());
    Stream* stream = MemoryStreamOpen(&memory);
    JobDataList list;
    JobDataListInit(&list);
    for (size_t i = 0; i < payloads.size(); ++i) JobDataListAppend(&list, JobDataRead(stream));
    StreamClose(stream);
    return list;
}

TEST(JobDataList, SentInOrderKeptOrFreedAndStoppedAtTheFirstFailure)
{
    OutputModuleContext context{};
    Received received;
    context.instance = &received;
    context.slots.JobData = JobDataSlot;
    JobDataList list = ListOf({{1}, {2, 3}, {}});
    EXPECT_EQ(JobDataListSend(&list, &context, false), 0);
    EXPECT_EQ(JobDataListSend(&list, &context, false), 0);  // kept for the next pass
    EXPECT_EQ(received.records, (std::vector<Bytes>{{1}, {2, 3}, {}, {1}, {2, 3}, {}}));

    received = Received{{}, 2};
    EXPECT_EQ(JobDataListSend(&list, &context, true), -6);
    EXPECT_EQ(received.records.size(), 2u);
    ASSERT_NE(list.first, nullptr);  // the entry not handed over stays
    EXPECT_EQ(list.first->length, 0u);
    EXPECT_EQ(list.first, list.last);
    JobDataListFree(&list);

    context.slots.JobData = nullptr;  // no slot: nothing to hand over, success
    list = ListOf({{9}});
    EXPECT_EQ(JobDataListSend(&list, &context, true), 0);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.last, nullptr);
}

}  // namespace
