// The page records reader over spool streams from the test spool builder: which records end,
// fail or are skipped, where the stream stands afterwards, and job data on its way to the module.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/display/cmd_node.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/page_records.h"
#include "engine/page/preamble.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Outcome {
    int result;
    uint32_t position;
    uint32_t nodes;
    std::vector<Bytes> jobData;
};

Outcome Read(const Bytes& bytes, bool seekable, uint32_t chunk, bool withJobData)
{
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 256, 0x400000, 0x800000);
    MemoryStream memory(bytes, seekable, chunk);
    Stream* stream = MemoryStreamOpen(&memory);
    ResourceStore* store = ResourceStoreCreate(budget, stream);
    CmdList list;
    CmdListInit(&list, store, 1);
    JobDataList jobData;
    JobDataListInit(&jobData);
    Outcome out{};
    out.result = PageRecordsRead(&list, stream, withJobData ? &jobData : nullptr);
    out.position = stream->position;
    out.nodes = list.count;
    for (JobDataEntry* e = jobData.first; e; e = e->next) out.jobData.emplace_back(e->payload, e->payload + e->length);
    JobDataListFree(&jobData);
    CmdListDestroyAll(&list);
    ResourceStoreDestroy(store);
    StreamClose(stream);
    ResourceBudgetDestroy(budget);
    return out;
}

struct Case {
    const char* name;
    std::function<void(SpoolBuilder&, uint32_t& stop)> build;  // stop: where the end record stands
    int result;
};

void Mark(SpoolBuilder& b, uint32_t& stop) { stop = b.Position(); }

const Case kCases[] = {
    {"a body of only a page end",
     [](SpoolBuilder& b, uint32_t& s) {
         Mark(b, s);
         b.PageEnd();
     },
     1},
    {"a body of only a form end",
     [](SpoolBuilder& b, uint32_t& s) {
         Mark(b, s);
         b.Add("form_end");
     },
     1},
    {"unlisted types are skipped by their size",
     [](SpoolBuilder& b, uint32_t& s) {
         for (uint16_t type : {0, 7, 8, 9, 12, 13, 14, 15, 26, 31, 44, 63, 64, 65, 68, 253, 254, 0x4022})
             b.Raw(type, 0, Bytes(type % 5, 0xee));
         b.Raw(100, 3, Bytes(600, 4));  // longer than a peek
         Mark(b, s);
         b.PageEnd();
     },
     1},
    {"types above 0x4023 are skipped, continuations and optional records alike",
     [](SpoolBuilder& b, uint32_t& s) {
         b.Raw(0x4043, 0, {1, 2}).Raw(0x4024, 0).Raw(0x8064, 1, {3}).Raw(0xffff, 0, {4, 5, 6});
         Mark(b, s);
         b.Add("form_end");
     },
     1},
    {"job header", [](SpoolBuilder& b, uint32_t&) { b.JobHeader().PageEnd(); }, 0},
    {"job end", [](SpoolBuilder& b, uint32_t&) { b.JobEnd().PageEnd(); }, 0},
    {"page begin", [](SpoolBuilder& b, uint32_t&) { b.PageBegin().PageEnd(); }, 0},
    {"form begin", [](SpoolBuilder& b, uint32_t&) { b.Add("form_begin").PageEnd(); }, 0},
    {"a lone bitmap continuation", [](SpoolBuilder& b, uint32_t&) { b.Add("bitmap_more").PageEnd(); }, 0},
    {"an unlisted type of size 0", [](SpoolBuilder& b, uint32_t&) { b.Raw(100, 0, {}, 0).PageEnd(); }, 0},
    {"an unlisted type of size 4", [](SpoolBuilder& b, uint32_t&) { b.Raw(100, 0, {}, 4).PageEnd(); }, 0},
    {"a record reaching past 2 GB", [](SpoolBuilder& b, uint32_t&) { b.Raw(100, 0, {}, 0x7ffffffc).PageEnd(); }, 0},
    {"the data ends without an end record", [](SpoolBuilder& b, uint32_t&) { b.Raw(64, 0, {1}); }, 0},
    {"the data ends inside a record header",
     [](SpoolBuilder& b, uint32_t&) {
         b.Raw(64, 0).Bytes({4, 0, 0});
     },
     0},
    {"a skipped record runs past the data",
     [](SpoolBuilder& b, uint32_t&) {
         b.Raw(64, 0, {1, 2}, 4000);
     },
     0},
    {"an empty body", [](SpoolBuilder&, uint32_t&) {}, 0},
    {"a command record cut short by the end of the data",
     [](SpoolBuilder& b, uint32_t&) {
         const Bytes whole = SpoolRecordEncode(*SpoolLayoutFind("cmd_rectfill"), {{"brush", 0x80000000}});
         b.Bytes(Bytes(whole.begin(), whole.begin() + 20));
     },
     0},
    {"a command record smaller than its fixed part",
     [](SpoolBuilder& b, uint32_t&) {
         b.Add("cmd_rectfill", {{"brush", 0x80000000}, {"size", 16}}).PageEnd();
     },
     0},
    {"a job-data record claiming more than the data",
     [](SpoolBuilder& b, uint32_t&) {
         b.Raw(66, 0, {1, 2, 3}, 0x1000).PageEnd();
     },
     0},
};

TEST(PageRecords, EndFailAndSkipTable)
{
    for (const Case& c : kCases) {
        SpoolBuilder b;
        uint32_t stop = 0;
        c.build(b, stop);
        for (const bool seekable : {true, false}) {
            for (const uint32_t chunk : {0u, 1u, 7u}) {
                for (const bool withJobData : {false, true}) {
                    SCOPED_TRACE(testing::Message() << c.name << (seekable ? " seekable" : " forward-only") << " chunk "
                                                    << chunk << (withJobData ? " with job data" : ""));
                    const Outcome out = Read(b.Data(), seekable, chunk, withJobData);
                    EXPECT_EQ(out.result, c.result);
                    if (c.result == 1) {
                        EXPECT_EQ(out.position, stop);
                        EXPECT_EQ(out.nodes, 0u);
                    }
                }
            }
        }
    }
}

// The end record is looked at, not consumed: the next read of the stream returns it.
TEST(PageRecords, TheEndRecordIsLeftForTheCaller)
{
    SpoolBuilder b;
    b.Raw(64, 0, {1, 2, 3}).PageEnd({{"paper_code", 9}}).JobEnd();
    MemoryStream memory(b.Data(), false, 3);
    Stream* stream = MemoryStreamOpen(&memory);
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 256, 0x400000, 0x800000);
    ResourceStore* store = ResourceStoreCreate(budget, nullptr);
    CmdList list;
    CmdListInit(&list, store, 1);
    ASSERT_EQ(PageRecordsRead(&list, stream, nullptr), 1);
    uint8_t head[8];
    ASSERT_EQ(StreamRead(stream, head, 8), 8);
    EXPECT_EQ(SpoolRecordHeaderLoad(head).type, SpoolRecPageEnd);
    ResourceStoreDestroy(store);
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
}

std::vector<Bytes> g_delivered;
ImxStatus RecordJobData(ImoInstance, uint32_t size, const void* record)
{
    const auto* p = static_cast<const uint8_t*>(record);
    g_delivered.emplace_back(p, p + size);
    return 0;
}

// Job data is consumed exactly once, listed in order with a list and skipped without one, and
// the list reaches the output module's JobData slot.
TEST(PageRecords, JobDataIsListedInOrderAndReachesTheOutputModule)
{
    SpoolBuilder b;
    b.JobData({1, 2, 3}).Raw(64, 0, {9}).JobData({}).JobData(Bytes(2000, 7));
    uint32_t stop = b.Position();
    b.PageEnd();
    for (const bool seekable : {true, false}) {
        const Outcome with = Read(b.Data(), seekable, 5, true);
        const Outcome without = Read(b.Data(), seekable, 5, false);
        EXPECT_EQ(with.result, 1);
        EXPECT_EQ(without.result, 1);
        EXPECT_EQ(with.position, stop);
        EXPECT_EQ(without.position, stop);
        EXPECT_EQ(with.jobData, (std::vector<Bytes>{{1, 2, 3}, {}, Bytes(2000, 7)}));
        EXPECT_TRUE(without.jobData.empty());
    }

    MemoryStream memory(b.Data());
    Stream* stream = MemoryStreamOpen(&memory);
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 256, 0x400000, 0x800000);
    ResourceStore* store = ResourceStoreCreate(budget, stream);
    CmdList list;
    CmdListInit(&list, store, 1);
    JobDataList jobData;
    JobDataListInit(&jobData);
    ASSERT_EQ(PageRecordsRead(&list, stream, &jobData), 1);
    OutputModuleContext context{};
    context.slots.JobData = RecordJobData;
    g_delivered.clear();
    EXPECT_EQ(JobDataListSend(&jobData, &context, true), 0);
    EXPECT_EQ(g_delivered, (std::vector<Bytes>{{1, 2, 3}, {}, Bytes(2000, 7)}));
    EXPECT_EQ(jobData.first, nullptr);
    ResourceStoreDestroy(store);
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
}

// One entry per record type: the table says what the reader does with each.
TEST(PageRecords, EveryRecordTypeHasOneEntry)
{
    using A = PageRecordAction;
    for (uint32_t type = 0; type <= 0xffff; ++type) {
        const PageRecordEntry entry = PageRecordEntryGet(static_cast<uint16_t>(type));
        A expected = A::Skip;
        if (type == 4 || type == 6) expected = A::End;
        else if (type == 1 || type == 2 || type == 3 || type == 5 || type == 67) expected = A::Fail;
        else if (type >= 16 && type <= 25) expected = A::Command;
        else if ((type >= 32 && type <= 43) || type == 0x4023) expected = A::Resource;
        else if (type == 66) expected = A::JobData;
        ASSERT_EQ(entry.action, expected) << type;
        EXPECT_EQ(entry.read != nullptr, expected == A::Resource) << type;
    }
}

}  // namespace
