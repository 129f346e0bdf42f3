// A display job for tests and benches: an output-module context with answers the caller chooses,
// a budget, and a page store over a page read from spool records.
#pragma once

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/cmd_node.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/page_records.h"
#include "engine/spool/stream.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

struct DisplayJob {
    std::unique_ptr<OutputModuleContext> device = std::make_unique<OutputModuleContext>();
    ResourceBudget* budget = nullptr;
    std::unique_ptr<MemoryStream> memory;
    Stream* stream = nullptr;
    ResourceStore* store = nullptr;
    CmdList list{};
    // The store parks bitmap data, glyph rows and font data in a spill over the first Read's
    // stream (made on first use); such a job reads one page.
    bool spill = false;

    // objectLimit, deviceMemoryLimit, memoryLimit: the budget's limits.
    explicit DisplayJob(uint32_t objectLimit = 256, uint32_t options = 0, uint32_t dpi = 300,
                        uint32_t deviceMemoryLimit = 0x400000, uint32_t memoryLimit = 0x800000)
    {
        device->options = options;
        device->media.xResolution = device->media.yResolution = dpi;
        device->jobResolution[0] = device->jobResolution[1] = dpi;
        device->thinLineValue = 2;
        budget = ResourceBudgetCreate(device.get(), objectLimit, deviceMemoryLimit, memoryLimit);
    }
    ~DisplayJob()
    {
        if (store) CmdListDestroyAll(&list);
        ResourceStoreDestroy(store);
        ResourceBudgetDestroy(budget);
        if (stream) StreamClose(stream);
    }
    // Plays a page body (the page end is added) into the list; the store is made on first use.
    // failAt: the n-th allocation of the read fails (0: none).
    int Read(SpoolBuilder body, uint32_t failAt = 0)
    {
        body.PageEnd();
        return ReadPage(body.Data(), failAt);
    }
    // Plays a page's records as they are, page end included.
    int ReadPage(const std::vector<uint8_t>& page, uint32_t failAt = 0)
    {
        memory = std::make_unique<MemoryStream>(page);
        if (stream) StreamClose(stream);
        stream = MemoryStreamOpen(memory.get());
        if (store == nullptr) {
            store = ResourceStoreCreate(budget, spill ? stream : nullptr);
            CmdListInit(&list, store, 1);
        }
        RenderAllocFailAt(failAt);
        const int result = PageRecordsRead(&list, stream, nullptr);
        RenderAllocFailAt(0);
        return result;
    }
    std::vector<CmdNode*> Nodes()
    {
        std::vector<CmdNode*> nodes;
        for (CmdNode* n = CmdListFirst(&list); n != CmdListEnd(&list); n = n->next) nodes.push_back(n);
        return nodes;
    }
};

inline std::vector<uint8_t> Le32s(std::initializer_list<int64_t> values)
{
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return out;
}

inline bool operator==(const RECT& a, const RECT& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline std::ostream& operator<<(std::ostream& os, const RECT& r)
{
    return os << '{' << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << '}';
}

// A clip rectangles record: bounds and rectangles.
inline std::vector<uint8_t> RectsData(std::initializer_list<RECT> rects)
{
    std::vector<uint8_t> out;
    for (const RECT& r : rects) {
        auto le = Le32s({r.left, r.top, r.right, r.bottom});
        out.insert(out.end(), le.begin(), le.end());
    }
    return out;
}

inline SpoolBuilder& ClipRecord(SpoolBuilder& b, uint32_t id, RECT bounds, std::initializer_list<RECT> rects)
{
    return b.Add("clip_rects", {{"id", id},
                                {"left", bounds.left},
                                {"top", bounds.top},
                                {"right", bounds.right},
                                {"bottom", bounds.bottom},
                                {"count", rects.size()},
                                {"data", RectsData(rects)}});
}
