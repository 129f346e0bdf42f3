// Forms: defined inline or from a form file, kept in 32 buckets, found by id, and a definition
// that fails leaving no form and nothing allocated behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/common/render_heap.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/page/form_table.h"
#include "engine/page/preamble.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

SpoolFields Begin(uint32_t id)
{
    return {{"id", id}, {"res_x", 200}, {"res_y", 100}, {"width", 1700}, {"height", 2200}};
}

struct FormFixture : testing::Test {
    int64_t live = RenderAllocLiveBlocks();
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 256, 0x400000, 0x800000);
    FormTable* table = FormTableCreate(budget);

    void TearDown() override
    {
        FormTableDestroy(table);
        ResourceBudgetDestroy(budget);
        EXPECT_EQ(RenderAllocLiveBlocks(), live);
    }
    // Loads the form at the start of the bytes; the stream's position afterwards in *position.
    int Load(const Bytes& bytes, uint32_t* position = nullptr, bool seekable = true)
    {
        MemoryStream memory(bytes, seekable, 3);
        Stream* stream = MemoryStreamOpen(&memory);
        const int result = FormLoad(table, stream);
        if (position != nullptr) *position = stream->position;
        StreamClose(stream);
        return result;
    }
    std::string WriteFile(const char* name, const Bytes& bytes)
    {
        const std::string path = testing::TempDir() + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }
};

TEST_F(FormFixture, FormsSharingABucketAreAllFound)
{
    for (uint32_t id : {1u, 33u, 2u}) {
        SpoolBuilder b;
        b.Add("form_begin", Begin(id)).Raw(64, 0, {1}).Add("form_end");
        uint32_t position = 0;
        EXPECT_EQ(Load(b.Data(), &position, id != 33), 1) << id;
        EXPECT_EQ(position, b.Position());  // the form-end record is consumed
    }
    EXPECT_EQ(table->count, 3u);
    Form* one = FormLookup(table, 1);
    Form* thirtyThree = FormLookup(table, 33);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(thirtyThree, nullptr);
    EXPECT_EQ(one->id, 1u);
    EXPECT_EQ(thirtyThree->id, 33u);
    EXPECT_EQ(table->buckets[1], thirtyThree);  // the newer form heads the bucket
    EXPECT_EQ(thirtyThree->next, one);
    EXPECT_EQ(one->resolution[0], 200u);
    EXPECT_EQ(one->size[1], 2200u);
    EXPECT_EQ(one->list.owner, one->store);
    EXPECT_EQ(one->list.flags & CMD_LIST_PAGE, 0u);
    EXPECT_EQ(FormLookup(table, 65), nullptr);
    EXPECT_EQ(one->references, 1u);
    FormLookup(table, 1);
    EXPECT_EQ(one->references, 2u);
    FormRelease(table, one);
    FormRelease(table, one);
    FormRelease(table, one);
    EXPECT_EQ(one->references, 0u);
}

struct FailCase {
    const char* name;
    std::function<void(SpoolBuilder&)> build;
};

TEST_F(FormFixture, DefinitionsThatFailLeaveNoFormBehind)
{
    const FailCase cases[] = {
        {"body without its form end", [](SpoolBuilder& b) { b.Add("form_begin", Begin(5)).Raw(64, 0, {1}); }},
        {"body ended by a page end", [](SpoolBuilder& b) { b.Add("form_begin", Begin(5)).PageEnd(); }},
        {"body with a page record", [](SpoolBuilder& b) { b.Add("form_begin", Begin(5)).PageBegin().Add("form_end"); }},
        {"form begin cut short",
         [](SpoolBuilder& b) {
             b.Add("form_begin", {{"id", 5}, {"size", 20}});
         }},
        {"zero resolution",
         [](SpoolBuilder& b) {
             b.Add("form_begin", {{"id", 5}, {"res_y", 200}, {"width", 1}, {"height", 1}}).Add("form_end");
         }},
        {"zero size",
         [](SpoolBuilder& b) {
             b.Add("form_begin", {{"id", 5}, {"res_x", 200}, {"res_y", 200}, {"height", 1}}).Add("form_end");
         }},
        {"form end cut short",
         [](SpoolBuilder& b) {
             b.Add("form_begin", Begin(5)).Bytes({6, 0, 0, 0});
         }},
        {"form-file record cut short",
         [](SpoolBuilder& b) {
             b.Add("form_file", {{"id", 5}, {"size", 100}});
         }},
        {"form file that does not exist",
         [](SpoolBuilder& b) {
             b.Add("form_file", {{"id", 5}, {"file", "/nonexistent/form.spl"}});
         }},
    };
    for (const FailCase& c : cases) {
        SCOPED_TRACE(c.name);
        SpoolBuilder b;
        c.build(b);
        EXPECT_EQ(Load(b.Data()), 0);
        EXPECT_EQ(table->count, 0u);
        EXPECT_EQ(FormLookup(table, 5), nullptr);
    }
}

TEST_F(FormFixture, ADuplicateIdFailsAndKeepsTheFirstForm)
{
    SpoolBuilder first, second;
    first.Add("form_begin", Begin(7)).Add("form_end");
    second.Add("form_begin", {{"id", 7}, {"res_x", 300}, {"res_y", 300}, {"width", 1}, {"height", 1}}).Add("form_end");
    EXPECT_EQ(Load(first.Data()), 1);
    EXPECT_EQ(Load(second.Data()), 0);
    EXPECT_EQ(table->count, 1u);
    EXPECT_EQ(FormLookup(table, 7)->resolution[0], 200u);
}

TEST_F(FormFixture, AFormFileGivesItsOwnIdAndStaysOpenWithTheForm)
{
    SpoolBuilder file;
    file.Add("form_begin", Begin(9)).Raw(64, 0, {1, 2}).Add("form_end");
    const std::string path = WriteFile("form_own_id.spl", file.Data());
    for (uint32_t id : {41u, 0u}) {
        SpoolBuilder b;
        b.Add("form_file", {{"id", id}, {"file", path}});
        uint32_t position = 0;
        EXPECT_EQ(Load(b.Data(), &position), 1) << id;
        EXPECT_EQ(position, b.Position());
    }
    Form* named = FormLookup(table, 41);
    Form* own = FormLookup(table, 9);
    ASSERT_NE(named, nullptr);
    ASSERT_NE(own, nullptr);
    // The store may read parked data again until the table goes.
    EXPECT_NE(named->fileStream, nullptr);
    EXPECT_NE(own->fileStream, nullptr);

    SpoolBuilder notAForm;
    notAForm.Raw(64, 0, {1}).Add("form_begin", Begin(3)).Add("form_end");
    SpoolBuilder b;
    b.Add("form_file", {{"id", 3}, {"file", WriteFile("form_not_first.spl", notAForm.Data())}});
    EXPECT_EQ(Load(b.Data()), 0);
    EXPECT_EQ(FormLookup(table, 3), nullptr);
    std::remove(path.c_str());
}

TEST_F(FormFixture, AllocationFailuresLeaveNoForm)
{
    SpoolBuilder b;
    b.Add("form_begin", Begin(4)).Raw(64, 0, {1}).Add("form_end");
    for (uint32_t n = 1;; ++n) {
        MemoryStream memory(b.Data());
        Stream* stream = MemoryStreamOpen(&memory);
        RenderAllocFailAt(n);
        const int result = FormLoad(table, stream);
        RenderAllocFailAt(0);
        StreamClose(stream);
        if (result != 0) break;
        EXPECT_EQ(table->count, 0u) << n;
        EXPECT_EQ(table->buckets[4], nullptr) << n;
    }
    EXPECT_EQ(table->count, 1u);
}

// The preamble hands inline and file forms to the table and goes on behind them.
TEST_F(FormFixture, ThePreambleDefinesItsForms)
{
    SpoolBuilder file;
    file.Add("form_begin", Begin(2)).Add("form_end");
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1}});
    b.Add("form_begin", Begin(1)).Raw(64, 0, {1}).Add("form_end");
    b.Add("form_file", {{"id", 34}, {"file", WriteFile("form_preamble.spl", file.Data())}});
    const uint32_t page = b.Position();
    b.Page().JobEnd();
    for (bool seekable : {true, false}) {
        MemoryStream memory(b.Data(), seekable, 5);
        Stream* stream = MemoryStreamOpen(&memory);
        FormTable* forms = FormTableCreate(budget);
        JobHeader header{};
        JobDataList data;
        JobDataListInit(&data);
        EXPECT_TRUE(JobPreambleRead(forms, stream, &header, &data));
        EXPECT_EQ(stream->position, page);
        EXPECT_EQ(forms->count, 2u);
        EXPECT_NE(FormLookup(forms, 1), nullptr);
        EXPECT_NE(FormLookup(forms, 34), nullptr);
        JobHeaderFree(&header);
        JobDataListFree(&data);
        FormTableDestroy(forms);
        StreamClose(stream);
    }
}

}  // namespace
