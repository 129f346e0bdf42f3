// The display list's memory is charged to the job's resource budget: every node a page's records
// make, and what the optimiser makes of them, is charged when it is taken and credited back when
// it is freed; a list that would pass the memory limit stops its page with ERROR_NOT_ENOUGH_MEMORY,
// after unused resources have been trimmed to make room.
#include <gtest/gtest.h>

#include <memory>

#include "engine/display/cmd_memory.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/optimiser/optimiser.h"
#include "engine/raster/band_surface.h"
#include "platform/kernel.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"

namespace {

using namespace records;

constexpr uint32_t kBlack = 0x80000000, kRed = 0x800000FF;

TEST(CmdMemory, ABlockIsChargedToTheStoresBudgetUntilItIsFreed)
{
    DisplayJob job;
    ASSERT_EQ(job.Read(SpoolBuilder()), 1);  // makes the store
    for (size_t size : {size_t{0}, size_t{1}, size_t{40}, size_t{48}, size_t{100}, size_t{4096}}) {
        SCOPED_TRACE(size);
        const uint64_t charge = CmdMemoryCharge(size);
        // The block, its head and the allocator's word, in the allocator's 16-byte steps.
        EXPECT_GE(charge, size + 16);
        EXPECT_LT(charge, size + 32);
        EXPECT_EQ(charge % 16, 0u);

        void* block = CmdMemoryAlloc(job.store, size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 8, 0u);
        EXPECT_EQ(job.budget->memoryUse, charge);
        CmdMemoryFree(job.store, block);
        EXPECT_EQ(job.budget->memoryUse, 0u);
    }
    // Without a store nothing is charged, and nothing is credited for such a block.
    void* loose = CmdMemoryAlloc(nullptr, 100);
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(job.budget->memoryUse, 0u);
    CmdMemoryFree(job.store, loose);
    EXPECT_EQ(job.budget->memoryUse, 0u);
    CmdMemoryFree(job.store, nullptr);
}

TEST(CmdMemory, ABlockThatWouldPassTheLimitIsRefusedAndOneThatReachesItIsNot)
{
    DisplayJob job;
    ASSERT_EQ(job.Read(SpoolBuilder()), 1);
    void* first = CmdMemoryAlloc(job.store, 48);
    const uint32_t used = job.budget->memoryUse;
    job.budget->memoryLimit = used + static_cast<uint32_t>(CmdMemoryCharge(100)) - 1;
    SetLastError(0);
    EXPECT_EQ(CmdMemoryAlloc(job.store, 100), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(job.budget->memoryUse, used);
    // A block larger than any budget's tally is refused, never wrapped into a small charge.
    EXPECT_EQ(CmdMemoryAlloc(job.store, size_t{1} << 40), nullptr);

    ++job.budget->memoryLimit;
    void* second = CmdMemoryAlloc(job.store, 100);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(job.budget->memoryUse, job.budget->memoryLimit);
    CmdMemoryFree(job.store, second);
    CmdMemoryFree(job.store, first);
    EXPECT_EQ(job.budget->memoryUse, 0u);
}

// Pages of each kind of command, as read and as the optimiser leaves them: the list holds at
// least its nodes' charge, and destroying the list and the store gives every byte back.
TEST(CmdMemory, EveryKindOfCommandIsChargedAndGivesItsChargeBack)
{
    struct Case {
        const char* name;
        void (*body)(SpoolBuilder& b);
    };
    const Case cases[] = {
        {"fills",
         [](SpoolBuilder& b) {
             for (int i = 0; i < 5; ++i) RectFill(b, {i * 10, 0, i * 10 + 8, 8}, kBlack);
         }},
        {"abutting fills the optimiser joins",
         [](SpoolBuilder& b) {
             for (int i = 0; i < 5; ++i) RectFill(b, {0, i * 4, 40, i * 4 + 4}, kBlack);
         }},
        {"rectangles with a pen and a clip",
         [](SpoolBuilder& b) {
             b.Add("pen", {{"id", 4}, {"width", 3}, {"brush", kBlack}});
             ClipRecord(b, 2, {0, 0, 64, 40}, {{0, 0, 64, 12}, {0, 12, 30, 40}});
             Rect(b, {4, 4, 40, 30}, kRed, 4, 2, 13);
             Rect(b, {10, 10, 50, 35}, kRed, 0, 2, 7);
         }},
        {"a pattern through a mask of the same fills",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 70, 8, 8, 1);
             b.Add("brush", {{"id", 40}, {"bitmap", 70}});
             Rect(b, {4, 4, 40, 30}, kRed, 0, 0, 7);
             b.Add("cmd_rect", {{"left", 6},
                                {"top", 6},
                                {"right", 30},
                                {"bottom", 20},
                                {"brush_x", 3},
                                {"brush_y", 5},
                                {"brush", 40},
                                {"pen", 0},
                                {"clip", 0},
                                {"mix", 9}});
             Rect(b, {4, 4, 40, 30}, kRed, 0, 0, 7);
         }},
        {"lines and paths",
         [](SpoolBuilder& b) {
             b.Add("pen", {{"id", 4}, {"width", 1}, {"brush", kBlack}});
             Path(b, 50, {{{4, 2}, {40, 30}, {2, 20}, {30, 4}}});
             Line(b, {2, 3}, {50, 33}, 4, 0, 13);
             PathCmd(b, 50, kBlack, 4, 0, 13);
         }},
        {"text",
         [](SpoolBuilder& b) {
             LogFont(b, 1, "Liberation Sans", -14);
             Text(b, {0, 0, 64, 40}, 1, {{4, 22}, {20, 30}}, u"Ag", kBlack, 13);
         }},
        {"images",
         [](SpoolBuilder& b) {
             ColourBitmap(b, 71, 30, 20, 3);
             BitBlt(b, {0, 0, 30, 20}, {0, 0}, 71, 0xCC0020);
             StretchBlt(b, {0, 0, 30, 20}, {0, 0, 60, 40}, 71, 0xCCCC);
             AlphaBlend(b, {0, 0, 30, 20}, {2, 2, 32, 22}, 71, 128);
             TransparentBlt(b, {0, 0, 30, 20}, {4, 4, 34, 24}, 71, 0xFFFFFF);
             CopyBits(b, {0, 0, 30, 20}, {0, 0}, 71);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        c.body(b);
        ASSERT_EQ(job.Read(b), 1);
        const size_t nodes = job.Nodes().size();
        ASSERT_GT(nodes, 0u);
        EXPECT_GE(job.budget->memoryUse, nodes * CmdMemoryCharge(sizeof(CmdNode)));
        ASSERT_EQ(CmdListOptimize(&job.list, 0, nullptr), 1);
        EXPECT_GE(job.budget->memoryUse, job.Nodes().size() * CmdMemoryCharge(sizeof(CmdNode)));
        CmdListDestroyAll(&job.list);
        ResourceStoreDestroy(job.store);
        job.store = nullptr;
        EXPECT_EQ(job.budget->memoryUse, 0u);
    }
}

// A page of fills under a limit that holds seven of them: the eighth fails the page with
// ERROR_NOT_ENOUGH_MEMORY, the seven stay in the list charged, and freeing them gives it all back.
TEST(CmdMemory, APageWhoseListWouldPassTheLimitFailsAtTheCommandThatPassesIt)
{
    const uint32_t fill = static_cast<uint32_t>(CmdMemoryCharge(sizeof(CmdRectFillNode)));
    struct Case {
        uint32_t limit;
        int result;
        size_t kept;
    } const cases[] = {
        {7 * fill + fill - 1, 0, 7},
        {20 * fill, 1, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        DisplayJob job;
        job.budget->memoryLimit = c.limit;
        SpoolBuilder b;
        for (int i = 0; i < 20; ++i) RectFill(b, {i * 10, 0, i * 10 + 8, 8}, kBlack);
        SetLastError(0);
        EXPECT_EQ(job.Read(b), c.result);
        if (c.result == 0) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        }
        EXPECT_EQ(job.Nodes().size(), c.kept);
        EXPECT_EQ(job.budget->memoryUse, c.kept * fill);
        CmdListDestroyAll(&job.list);
        EXPECT_EQ(job.budget->memoryUse, 0u);
    }
}

// A realised path that no command is using holds the memory the list needs: it is trimmed, and
// the page is read.
TEST(CmdMemory, UnusedResourcesAreTrimmedToMakeRoomForTheList)
{
    DisplayJob job;
    SpoolBuilder paths;
    Path(paths, 50, {{{0, 0}, {60, 0}, {60, 30}, {30, 39}, {0, 30}}});
    ASSERT_EQ(job.Read(paths), 1);
    struct Destroy {
        void operator()(BandSurface* s) const { BandSurfaceDestroy(s); }
    };
    std::unique_ptr<BandSurface, Destroy> surface{BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{64, 64}, nullptr, 0, 0)};
    PathEntry* path = PathLookup(&job.store->paths, 50);
    ASSERT_NE(path, nullptr);
    ASSERT_EQ(ResourcePrepareWith(job.store, path, &job.store->paths, surface.get(), nullptr, PathCostEstimate,
                                  PathRealize),
              1);
    ASSERT_NE(path->realised, nullptr);
    const uint32_t held = job.budget->memoryUse;
    ASSERT_GT(held, 0u);

    const uint32_t fill = static_cast<uint32_t>(CmdMemoryCharge(sizeof(CmdRectFillNode)));
    job.budget->memoryLimit = held + fill;  // room for one fill beside the path, not two
    SpoolBuilder fills;
    RectFill(fills, {0, 0, 8, 8}, kBlack);
    RectFill(fills, {10, 0, 18, 8}, kBlack);
    ASSERT_EQ(job.Read(fills), 1);
    EXPECT_EQ(path->realised, nullptr);
    EXPECT_EQ(job.budget->memoryUse, 2 * fill);
    ResourceReleaseAccount(job.store, path, 0, &job.store->paths,
                           [](void* owner, void* object, int remove, ResourceCost* t) {
                               PathRelease(static_cast<PathStore*>(owner), static_cast<PathEntry*>(object), remove, t);
                           });
}

}  // namespace
