// The stores' tables of objects by id: a definition and a lookup walk about one entry each, however
// many objects a page defines and whatever pattern their ids follow; growing keeps every entry
// and, among entries of one id, their order.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/display/stores/resource_store.h"
#include "engine/display/stores/resource_table.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/display_job.h"

namespace {

struct Item {
    ResourceObject head;
    Item* bucketNext;
};

struct IdPattern {
    const char* name;
    uint32_t (*id)(uint32_t i);
};

const IdPattern kPatterns[] = {
    {"sequential", [](uint32_t i) { return i + 1; }},
    {"multiples of 64", [](uint32_t i) { return (i + 1) * 64; }},
    {"multiples of 256", [](uint32_t i) { return (i + 1) * 256; }},
    {"multiples of 65536", [](uint32_t i) { return (i + 1) << 16; }},
    {"high bits only", [](uint32_t i) { return (i + 1) << 20; }},
    {"colour ids", [](uint32_t i) { return 0x80000000u | i; }},
};

TEST(ResourceTable, LookupsWalkAboutOneEntryForEveryIdPatternAndSize)
{
    for (const IdPattern& pattern : kPatterns) {
        for (uint32_t n : {100u, 4000u}) {
            SCOPED_TRACE(testing::Message() << pattern.name << ", " << n << " entries");
            std::vector<Item> items(n);
            ResourceTable<Item> table{};
            for (uint32_t i = 0; i < n; ++i) {
                items[i].head.id = pattern.id(i);
                ASSERT_EQ(ResourceTableFind(&table, items[i].head.id), nullptr);  // the duplicate check
                ResourceTableInsert(&table, &items[i]);
            }
            for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(ResourceTableLookup(&table, items[i].head.id), &items[i]);
            EXPECT_GE(table.Size(), n / 2) << "the table grew with its entries";
            // 2n finds, each walking a chain of about one entry at a load of at most one.
            EXPECT_LE(table.steps, uint64_t{6} * n);
            uint32_t visited = 0;
            ResourceTableEach(&table, [&](Item* item) { visited += item->head.refs; });
            EXPECT_EQ(visited, n) << "every entry is in the table once";
            for (uint32_t i = 0; i < n; i += 2) ASSERT_TRUE(ResourceTableRemove(&table, &items[i]));
            EXPECT_FALSE(ResourceTableRemove(&table, &items[0]));
            EXPECT_EQ(table.count, n / 2);
            uint32_t released = 0;
            ResourceTableEmpty(&table, [&](Item*) { ++released; });
            EXPECT_EQ(released, n / 2);
            EXPECT_EQ(table.heap, nullptr);
        }
    }
}

TEST(ResourceTable, EntriesOfOneIdKeepTheirOrderWhenTheTableGrows)
{
    std::vector<Item> items(1000);
    ResourceTable<Item> table{};
    for (uint32_t i = 0; i < items.size(); ++i) {
        items[i].head.id = i < 3 ? 7 : i + 100;  // three entries of id 7 first, then growth
        ResourceTableInsert(&table, &items[i]);
    }
    ASSERT_NE(table.heap, nullptr);
    std::vector<Item*> sevens;
    for (Item* e = table.Chain(7); e != nullptr; e = e->bucketNext)
        if (e->head.id == 7) sevens.push_back(e);
    EXPECT_EQ(sevens, (std::vector<Item*>{&items[2], &items[1], &items[0]})) << "newest first, as inserted";
    ResourceTableEmpty(&table, [](Item*) {});
}

// Every store defines n objects through the page records reader and finds each once more: the
// work its table does stays a few entries per object, where a fixed bucket array made it grow
// with n.
struct StoreCase {
    const char* name;
    void (*define)(SpoolBuilder& b, uint32_t id);
    void (*lookup)(ResourceStore* store, uint32_t id);
    uint64_t (*steps)(ResourceStore* store);
};

const StoreCase kStores[] = {
    {"pens",
     [](SpoolBuilder& b, uint32_t id) {
         b.Add("pen", {{"id", id}, {"width", 1}, {"brush", 0x80000000}});
     },
     [](ResourceStore* s, uint32_t id) { ASSERT_NE(PenLookup(&s->pens, id, 0), nullptr); },
     [](ResourceStore* s) { return s->pens.table.steps; }},
    {"brushes",
     [](SpoolBuilder& b, uint32_t id) {
         b.Add("brush", {{"id", id}, {"bitmap", 1}});
     },
     [](ResourceStore* s, uint32_t id) { ASSERT_NE(BrushLookup(&s->brushes, id), nullptr); },
     [](ResourceStore* s) { return s->brushes.table.steps; }},
    {"clips",
     [](SpoolBuilder& b, uint32_t id) {
         ClipRecord(b, id, {0, 0, 8, 8}, {{0, 0, 8, 8}});
     },
     [](ResourceStore* s, uint32_t id) { ASSERT_NE(ClipLookup(&s->clips, id), nullptr); },
     [](ResourceStore* s) { return s->clips.table.steps; }},
    {"paths",
     [](SpoolBuilder& b, uint32_t id) {
         b.Add("path", {{"id", id}, {"right", 8}, {"bottom", 8}, {"subpaths", 1}, {"data", Le32s({3, 2, 0, 0, 8, 8})}});
     },
     [](ResourceStore* s, uint32_t id) { ASSERT_NE(PathLookup(&s->paths, id), nullptr); },
     [](ResourceStore* s) { return s->paths.table.steps; }},
    {"bitmaps",
     [](SpoolBuilder& b, uint32_t id) {
         BitmapFields f;
         f.id = id;
         f.depth = 1;
         f.palette = {0, 0, 0, 0, 255, 255, 255, 0};
         f.data = {0x80, 0, 0, 0};
         AddBitmap(b, f);
     },
     [](ResourceStore* s, uint32_t id) { ASSERT_NE(BitmapLookup(&s->bitmaps, id), nullptr); },
     [](ResourceStore* s) { return s->bitmaps.table.steps; }},
};

TEST(ResourceTable, EveryStoreDefinesAndFindsManyObjectsInNearConstantWorkEach)
{
    constexpr uint32_t kFirst = 100;
    for (const StoreCase& c : kStores) {
        for (uint32_t n : {500u, 8000u}) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << n << " objects");
            DisplayJob job;
            job.spill = true;
            SpoolBuilder b;
            BitmapFields pattern;
            pattern.depth = 1;
            pattern.width = 8;
            pattern.palette = {0, 0, 0, 0, 255, 255, 255, 0};
            pattern.data = {0x80, 0, 0, 0};
            AddBitmap(b, pattern);
            for (uint32_t i = 0; i < n; ++i) c.define(b, kFirst + i);
            ASSERT_EQ(job.Read(std::move(b)), 1);
            const uint64_t before = c.steps(job.store);
            for (uint32_t i = 0; i < n; ++i) c.lookup(job.store, kFirst + i);
            const uint64_t after = c.steps(job.store);
            EXPECT_GT(after, before) << "the lookups went through the table";
            EXPECT_LE(after, uint64_t{8} * n);
        }
    }
}

}  // namespace
