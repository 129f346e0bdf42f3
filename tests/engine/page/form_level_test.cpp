// Form levels against a per-band reference: collection, order, culling, and the stack of levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/common/render_heap.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/form_level.h"
#include "engine/page/page_state.h"

namespace {

// Laid out as a RectFill without a brush, whose destroy only frees the node, so that the test's
// nodes can be culled.
struct TestNode {
    CmdNode head;
    BrushEntry* brush;  // null
    uint32_t id;
};

uint16_t BareKind() { return CmdOpRectFill; }

CmdNode* NodeMake(uint32_t id, RECT bounds, uint16_t flags)
{
    auto* node = static_cast<TestNode*>(CmdMemoryAlloc(nullptr, sizeof(TestNode)));
    node->head.op = BareKind();
    node->brush = nullptr;
    node->head.flags = flags;
    node->head.bounds = bounds;
    node->id = id;
    return &node->head;
}

uint32_t IdOf(const CmdNode* node) { return reinterpret_cast<const TestNode*>(node)->id; }

bool Overlaps(const RECT& a, const RECT& b)
{
    return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

// The device rectangle a logical rectangle covers, by exact arithmetic on the level's mapping.
struct Exact {
    double left, top, right, bottom;
};
Exact ToDevice(const DcMap& m, const RECT& r)
{
    auto x = [&](double v) {
        return (v - m.windowOrigin.x) * m.viewportExtent.cx / m.windowExtent.cx + m.viewportOrigin.x;
    };
    auto y = [&](double v) {
        return (v - m.windowOrigin.y) * m.viewportExtent.cy / m.windowExtent.cy + m.viewportOrigin.y;
    };
    return Exact{x(r.left), y(r.top), x(r.right), y(r.bottom)};
}
bool Draws(const Exact& d, const RECT& band)
{
    return d.left < band.right && d.right > band.left && d.top < band.bottom && d.bottom > band.top;
}

}  // namespace

// Over random commands, mappings and band heights: each band collects, in list order, exactly the
// commands that meet the level's band, never misses one that draws in the device band, and
// culling never drops one that a later band still needs.
TEST(FormLevels, BandCollectionAndCullingAgainstAReference)
{
    ASSERT_LT(BareKind(), CMD_OP_COUNT);
    std::mt19937 random(17);
    const DcMap maps[] = {
        {{0, 0}, {1000, 2000}, {0, 0}, {1000, 2000}},  // identity
        {{0, 0}, {500, 1000}, {0, 0}, {1000, 2000}},  // logical units twice the size of a pixel
        {{-40, 25}, {3000, 6000}, {12, -8}, {1000, 2000}},  // shrunk and moved
    };
    for (const DcMap& map : maps) {
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(testing::Message() << "window " << map.windowExtent.cx << ", round " << round);
            const int64_t live = RenderAllocLiveBlocks();
            CmdList list;
            CmdListInit(&list, nullptr, 1);
            const uint32_t count = round == 5 ? 5000 : 1 + random() % 300;  // the last one grows the pending array
            std::vector<std::pair<uint32_t, RECT>> shadow;
            for (uint32_t i = 0; i < count; ++i) {
                const LONG w = map.windowExtent.cx, h = map.windowExtent.cy;
                LONG l = static_cast<LONG>(random() % w) - w / 20 + map.windowOrigin.x;
                LONG t = static_cast<LONG>(random() % h) - h / 20 + map.windowOrigin.y;
                RECT r{l, t, l + 1 + static_cast<LONG>(random() % (w / 3)),
                       t + 1 + static_cast<LONG>(random() % (h / 8))};
                if (round == 5)
                    r = RECT{map.windowOrigin.x, map.windowOrigin.y, map.windowOrigin.x + 10, map.windowOrigin.y + 10};
                CmdListAppend(&list, NodeMake(i, r, static_cast<uint16_t>(0x10 << (random() % 3))));
                shadow.emplace_back(i, r);
            }
            const RECT page{0, 0, 1000, 2000};
            FormLevel level;
            ASSERT_TRUE(FormLevelInit(&level, &map, &list, &page, FORM_LEVEL_CULL, 0, nullptr));
            std::vector<bool> alive(count, true);
            for (LONG top = 0; top < page.bottom;) {
                const LONG height = 1 + static_cast<LONG>(random() % 300);
                const RECT band{0, top, 1000, std::min<LONG>(top + height, page.bottom)};
                uint32_t total = 0;
                ASSERT_EQ(FormLevelsBandIntersect(&level, 1, &band, &total), 1);
                std::vector<uint32_t> got, expected;
                for (uint32_t n = 0; n < level.pendingCount; ++n) got.push_back(IdOf(level.pending[n]));
                uint32_t flags = 0;
                for (const auto& [id, r] : shadow) {
                    if (!alive[id]) continue;
                    if (Overlaps(r, level.band)) expected.push_back(id);
                    // Whatever draws into the band must have been collected.
                    if (Draws(ToDevice(map, r), band)) {
                        ASSERT_NE(std::find(got.begin(), got.end(), id), got.end()) << "command " << id << " missed";
                    }
                }
                ASSERT_EQ(got, expected);
                EXPECT_EQ(total, got.size());
                for (uint32_t n = 0; n < level.pendingCount; ++n) flags |= level.pending[n]->flags & 0x70;
                EXPECT_EQ(level.pendingFlags, flags);

                const RECT rest{0, band.bottom, 1000, page.bottom};
                std::vector<uint32_t> before;
                for (CmdNode* n = CmdListFirst(&list); n != CmdListEnd(&list); n = n->next) before.push_back(IdOf(n));
                FormLevelsCull(&level, 1, &rest);
                EXPECT_EQ(level.pendingCount, 0u);
                std::vector<bool> still(count, false);
                for (CmdNode* n = CmdListFirst(&list); n != CmdListEnd(&list); n = n->next) still[IdOf(n)] = true;
                EXPECT_EQ(list.count, static_cast<uint32_t>(std::count(still.begin(), still.end(), true)));
                for (uint32_t id : before) {
                    if (still[id]) continue;
                    alive[id] = false;
                    // A culled command draws nowhere in what is left of the page.
                    EXPECT_FALSE(Draws(ToDevice(map, shadow[id].second), rest)) << "command " << id << " culled";
                }
                top = band.bottom;
            }
            FormLevelsRelease(&level, 1);
            CmdListDestroyAll(&list);
            EXPECT_EQ(RenderAllocLiveBlocks(), live);
        }
    }
}

TEST(FormLevels, EdgesMissedLevelsAndCullingRules)
{
    const DcMap identity{{0, 0}, {100, 100}, {0, 0}, {100, 100}};
    CmdList list;
    CmdListInit(&list, nullptr, 1);
    CmdListAppend(&list, NodeMake(0, RECT{0, 0, 10, 10}, 0x10));
    CmdListAppend(&list, NodeMake(1, RECT{0, 50, 10, 60}, 0x20));
    FormLevel levels[2];
    const RECT upper{0, 0, 100, 50}, lower{0, 50, 100, 100};
    ASSERT_TRUE(FormLevelInit(&levels[0], &identity, &list, &upper, FORM_LEVEL_CULL, 0, nullptr));
    ASSERT_TRUE(FormLevelInit(&levels[1], &identity, &list, &lower, 0, 0, nullptr));

    uint32_t total = 0;
    const RECT top{0, 0, 100, 20};
    ASSERT_TRUE(FormLevelsBandIntersect(levels, 2, &top, &total));
    EXPECT_EQ(levels[0].pendingCount, 1u);
    EXPECT_EQ(levels[1].pendingCount, 0u);
    // A level whose rectangle misses the band keeps what it collected before.
    const RECT bottom{0, 80, 100, 100};
    ASSERT_TRUE(FormLevelsBandIntersect(levels, 2, &bottom, &total));
    EXPECT_EQ(levels[0].pendingCount, 1u);
    EXPECT_EQ(levels[0].pendingFlags, 0x10u);
    EXPECT_EQ(FormLevelsFlagsOr(levels, 2), 0x10u);

    // Culling touches only levels with flag 1 whose list allows it.
    levels[1].pendingCount = 0;
    const RECT nothingLeft{0, 100, 100, 100};
    list.flags = 0;
    FormLevelsCull(levels, 2, &nothingLeft);
    EXPECT_EQ(list.count, 2u);
    list.flags = CMD_LIST_PAGE;
    ASSERT_TRUE(FormLevelsBandIntersect(levels, 2, &top, &total));
    FormLevelsCull(levels, 2, &nothingLeft);
    EXPECT_EQ(list.count, 1u);

    FormLevelsRelease(levels, 2);
    CmdListDestroyAll(&list);
}

TEST(FormLevels, TouchingTheBandEdgeIsNotMeetingIt)
{
    const DcMap identity{{0, 0}, {100, 100}, {0, 0}, {100, 100}};
    CmdList list;
    CmdListInit(&list, nullptr, 1);
    FormLevel level;
    const RECT page{0, 0, 100, 100};
    ASSERT_TRUE(FormLevelInit(&level, &identity, &list, &page, 0, 0, nullptr));
    const RECT band{0, 40, 100, 60};
    uint32_t total = 0;
    ASSERT_TRUE(FormLevelsBandIntersect(&level, 1, &band, &total));
    // The logical band is the device band widened at its far edges.
    CmdListAppend(&list,
                  NodeMake(0, RECT{0, level.band.bottom, 10, level.band.bottom + 5}, 0x10));  // starts at its end
    CmdListAppend(&list, NodeMake(1, RECT{0, level.band.top - 5, 10, level.band.top}, 0x10));  // ends at its start
    CmdListAppend(&list, NodeMake(2, RECT{0, level.band.top - 5, 10, level.band.top + 1}, 0x10));
    ASSERT_TRUE(FormLevelsBandIntersect(&level, 1, &band, &total));
    ASSERT_EQ(total, 1u);
    EXPECT_EQ(IdOf(level.pending[0]), 2u);
    FormLevelsRelease(&level, 1);
    CmdListDestroyAll(&list);
}

TEST(FormStack, TenthLevelRefusedAndPositions)
{
    PageState state;
    PageStateInit(&state, nullptr, nullptr);
    const DcMap map{{0, 0}, {100, 100}, {0, 0}, {100, 100}};
    const RECT rect{0, 0, 100, 100};
    // Levels named by their mix byte; each push's position and the stack it leaves.
    const struct {
        int32_t position;
        uint8_t name;
        bool ok;
    } pushes[] = {{-1, 1, true}, {0, 2, true},  {2, 3, true}, {1, 4, true},  {5, 9, false}, {-2, 9, false},
                  {4, 5, true},  {-1, 6, true}, {0, 7, true}, {-1, 8, true}, {3, 10, true}, {-1, 11, false}};
    for (const auto& p : pushes)
        EXPECT_EQ(FormStackPush(&state, &map, nullptr, &rect, 0, p.name, nullptr, p.position) != 0, p.ok);
    ASSERT_EQ(state.depth, 9u);
    std::vector<int> order;
    for (uint32_t i = 0; i < state.depth; ++i) order.push_back(state.levels[i].byte);
    EXPECT_EQ(order, (std::vector<int>{7, 2, 4, 10, 1, 3, 5, 6, 8}));
    // A tiled level needs a tile step other than 0.
    PageStateClear(&state);
    const uint8_t zeroStep[8] = {};
    EXPECT_EQ(FormStackPush(&state, &map, nullptr, &rect, FORM_LEVEL_TILED, 0, zeroStep, -1), 0);
    const uint8_t step[8] = {10, 0, 0, 0, 20, 0, 0, 0};
    EXPECT_NE(FormStackPush(&state, &map, nullptr, &rect, FORM_LEVEL_TILED, 0, step, -1), 0);
    EXPECT_EQ(state.levels[0].tileStep.cy, 20);
    PageStateClear(&state);
}
