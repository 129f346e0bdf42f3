// Bitmap records for the display tests, a job whose store parks bitmap data in a spill over its
// stream, and a small LZW encoder written from the format's rules (clear 256, end 257, codes 9 to
// 12 bits, most significant bit first) to check the decoder against.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/display/cmd_node.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/page_records.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

// Little-endian fields of `bytes` bytes each, and byte strings joined, for record payloads.
inline std::vector<uint8_t> Le(std::initializer_list<int64_t> values, int bytes = 4)
{
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return out;
}
inline std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

struct BitmapFields {
    uint32_t id = 1;
    int32_t width = 1;
    int32_t height = 1;
    uint8_t depth = 8;
    uint8_t compression = 0;
    std::vector<uint8_t> palette;  // 4 bytes an entry
    std::vector<uint8_t> data;
};

// The record's payload (behind its 8-byte head).
inline std::vector<uint8_t> BitmapPayload(const BitmapFields& s)
{
    std::vector<uint8_t> p;
    auto le = [&](uint64_t v, int n) {
        for (int i = 0; i < n; ++i) p.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    le(s.id, 4);
    le(static_cast<uint32_t>(s.width), 4);
    le(static_cast<uint32_t>(s.height), 4);
    le(s.palette.size() / 4, 2);
    p.push_back(s.depth);
    p.push_back(s.compression);
    p.insert(p.end(), s.palette.begin(), s.palette.end());
    p.insert(p.end(), s.data.begin(), s.data.end());
    return p;
}

// A bitmap record whose data (after the first `first` bytes) goes on in continuation records of
// the given sizes.
inline SpoolBuilder& AddBitmap(SpoolBuilder& b, const BitmapFields& s, std::vector<size_t> more = {})
{
    std::vector<uint8_t> payload = BitmapPayload(s);
    size_t inMore = 0;
    for (size_t n : more) inMore += n;
    const size_t firstLength = payload.size() - inMore;
    b.Raw(more.empty() ? 35 : 0x4023, 0, std::vector<uint8_t>(payload.begin(), payload.begin() + firstLength));
    size_t at = firstLength;
    for (size_t i = 0; i < more.size(); ++i) {
        b.Raw(i + 1 < more.size() ? 0x4043 : 67, 0,
              std::vector<uint8_t>(payload.begin() + at, payload.begin() + at + more[i]));
        at += more[i];
    }
    return b;
}

struct BitmapJob {
    std::unique_ptr<OutputModuleContext> device = std::make_unique<OutputModuleContext>();
    ResourceBudget* budget = nullptr;
    std::unique_ptr<MemoryStream> memory;
    Stream* stream = nullptr;
    ResourceStore* store = nullptr;
    CmdList list{};

    explicit BitmapJob(uint32_t options = 0)
    {
        device->options = options;
        device->media.xResolution = device->media.yResolution = 200;
        budget = ResourceBudgetCreate(device.get(), 256, 0x4000000, 0x8000000);
    }
    ~BitmapJob()
    {
        Close();
        ResourceBudgetDestroy(budget);
    }
    void Close()
    {
        if (store) {
            CmdListDestroyAll(&list);
            ResourceStoreDestroy(store);
        }
        store = nullptr;
        if (stream) StreamClose(stream);
        stream = nullptr;
    }
    // Reads a page body (the page end added) into a fresh store over its stream.
    int Read(SpoolBuilder body, bool seekable = true)
    {
        Close();
        body.PageEnd();
        memory = std::make_unique<MemoryStream>(body.Data(), seekable);
        stream = MemoryStreamOpen(memory.get());
        store = ResourceStoreCreate(budget, stream);
        CmdListInit(&list, store, 1);
        return PageRecordsRead(&list, stream, nullptr);
    }
    std::vector<CmdNode*> Nodes()
    {
        std::vector<CmdNode*> nodes;
        for (CmdNode* n = CmdListFirst(&list); n != CmdListEnd(&list); n = n->next) nodes.push_back(n);
        return nodes;
    }
    BitmapEntry* Get(ResourceId id) { return ResourceTableFind(&store->bitmaps.table, id); }
    bool Load(BitmapEntry* e)
    {
        ResourceCost tally{};
        const int ok = BitmapPixelsLoad(&store->bitmaps, e, &tally);
        ResourceBudgetCharge(budget, tally);
        return ok != 0;
    }
};

// LZW encoder: starts with a clear, clears again when the table is full, ends with the end code
// unless told not to. earlyChange widens one code earlier.
inline std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& input, bool endCode = true, bool earlyChange = false)
{
    std::vector<uint8_t> out;
    uint64_t bits = 0;
    int count = 0;
    int width = 9;
    auto put = [&](uint32_t code) {
        bits = (bits << width) | code;
        count += width;
        while (count >= 8) {
            out.push_back(static_cast<uint8_t>(bits >> (count - 8)));
            count -= 8;
        }
    };
    std::vector<std::vector<uint8_t>> table;
    auto reset = [&] {
        table.assign(258, {});
        for (int i = 0; i < 256; ++i) table[i] = {static_cast<uint8_t>(i)};
        width = 9;
    };
    auto find = [&](const std::vector<uint8_t>& s) -> int {
        if (s.size() == 1) return s[0];
        for (size_t i = 258; i < table.size(); ++i)
            if (table[i] == s) return static_cast<int>(i);
        return -1;
    };
    reset();
    put(256);
    std::vector<uint8_t> current;
    const int early = earlyChange ? 1 : 0;
    for (uint8_t byte : input) {
        std::vector<uint8_t> next = current;
        next.push_back(byte);
        if (current.empty() || find(next) >= 0) {
            current = next;
            continue;
        }
        put(static_cast<uint32_t>(find(current)));
        // The decoder adds each entry one code later than the encoder, so its next code is the
        // table's size less one: it widens once that reaches the threshold.
        table.push_back(next);
        if (table.size() == (1u << width) - early + 1 && width < 12) ++width;
        if (table.size() >= 4095u - early) {
            put(256);
            reset();
        }
        current = {byte};
    }
    if (!current.empty()) {
        put(static_cast<uint32_t>(find(current)));
        table.push_back({});  // the decoder's entry for this code
        if (table.size() == (1u << width) - early + 1 && width < 12) ++width;
    }
    if (endCode) put(257);
    if (count > 0) out.push_back(static_cast<uint8_t>(bits << (8 - count)));
    return out;
}
