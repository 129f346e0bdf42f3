// A downloaded TrueType font made whole: its table pieces, gathered from the spill in tag order,
// written after a table directory, with a name table of its own generated face name and the glyph
// locations rebuilt from the glyph pieces.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/font_store.h"
#include "engine/spool/stream.h"

namespace {

// A built font stays below this size: its offsets and lengths are 32-bit, and it is made whole in
// memory and charged to the budget's 32-bit counters.
constexpr uint64_t kBuildLimit = 0x40000000;

// D8: face names made from a generator shared by the process (the C library's rand() is neither
// thread-safe nor unique), with a process-wide serial mixed into the last bytes, so that no two
// built fonts of one process ever share a name.
void FaceNameMake(char* name)
{
    static std::mutex lock;
    static std::mt19937 generator(uint32_t(std::chrono::system_clock::now().time_since_epoch().count()));
    static std::atomic<uint32_t> serial{0};
    uint8_t bytes[20];
    {
        std::lock_guard<std::mutex> hold(lock);
        for (int i = 0; i < 5; ++i) {
            const uint32_t v = uint32_t(generator()) * uint32_t(generator());
            std::memcpy(bytes + 4 * i, &v, 4);
        }
    }
    const uint32_t n = ++serial;
    bytes[14] = uint8_t(n >> 24);
    bytes[15] = uint8_t(n >> 16);
    bytes[16] = uint8_t(n >> 8);
    bytes[17] = uint8_t(n);
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+_";
    std::memcpy(name, "QvFt", 4);
    char* out = name + 4;
    for (int i = 0; i < 18; i += 3) {
        const uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        *out++ = alphabet[(v >> 18) & 63];
        *out++ = alphabet[(v >> 12) & 63];
        *out++ = alphabet[(v >> 6) & 63];
        *out++ = alphabet[v & 63];
    }
    *out = 0;
}

struct TableEntry {
    uint32_t tag;
    uint32_t length;
    uint32_t offset;
    uint32_t fill;
};

// The face name's length when it is yet to be made: "QvFt" and 24 characters.
constexpr size_t kFaceNameLength = 28;

// The built font's plan: its tables in tag order with their offsets, the pieces to copy in
// (tag, sequence, spill position) order, and its size.
struct BuildPlan {
    std::vector<TableEntry> tables;
    std::vector<FontPiece> pieces;
    uint64_t size;
};

// False when the font would pass the build limit or hold more tables than TrueType's 16-bit
// count (a stream of empty pieces with distinct tags). The pieces are grouped by sorting them, so
// the plan costs n log n whatever the tags.
bool BuildPlanMake(const FontEntry* font, size_t faceLength, BuildPlan* plan)
{
    const uint32_t tagName = FontTableTag("name"), tagLoca = FontTableTag("loca");
    const bool hasLoca = font->glyphCount > 0;
    if (font->glyphCount > kBuildLimit / 4) return false;
    try {
        plan->pieces.clear();
        plan->tables.clear();
        // The store writes "name" itself, and "loca" from the glyph pieces when it knows the count.
        for (uint32_t i = 0; i < font->pieceCount; ++i) {
            const FontPiece& piece = font->pieces[i];
            if (piece.tag != tagName && !(hasLoca && piece.tag == tagLoca)) plan->pieces.push_back(piece);
        }
        std::sort(plan->pieces.begin(), plan->pieces.end(), [](const FontPiece& a, const FontPiece& b) {
            return std::tie(a.tag, a.sequence, a.offset) < std::tie(b.tag, b.sequence, b.offset);
        });
        plan->tables.push_back({tagName, uint32_t(2 * (faceLength + 58)), 0, 0});
        if (hasLoca) plan->tables.push_back({tagLoca, 4 * (font->glyphCount + 1), 0, 0});
        const size_t own = plan->tables.size();
        uint64_t total = 0;
        for (const FontPiece& piece : plan->pieces) {
            total += piece.length;
            if (total > kBuildLimit) return false;
            if (plan->tables.size() > own && plan->tables.back().tag == piece.tag)
                plan->tables.back().length += piece.length;
            else plan->tables.push_back({piece.tag, piece.length, 0, 0});
            if (plan->tables.size() > 0xFFFF) return false;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    std::sort(plan->tables.begin(), plan->tables.end(),
              [](const TableEntry& a, const TableEntry& b) { return a.tag < b.tag; });
    uint64_t offset = 12 + 16 * uint64_t(plan->tables.size());
    for (TableEntry& table : plan->tables) {
        table.offset = uint32_t(offset);
        offset += (uint64_t(table.length) + 3) & ~uint64_t(3);
        if (offset > kBuildLimit) return false;
    }
    plan->size = offset;
    return true;
}

bool BuildInto(FontStore* store, FontEntry* font)
{
    const uint32_t tagName = FontTableTag("name"), tagLoca = FontTableTag("loca"), tagGlyf = FontTableTag("glyf"),
                   tagHead = FontTableTag("head");
    const bool hasLoca = font->glyphCount > 0;
    const size_t faceLength = std::strlen(font->faceName);
    BuildPlan plan{};
    if (!BuildPlanMake(font, faceLength, &plan)) return false;
    std::vector<TableEntry>& tables = plan.tables;
    auto* file = static_cast<uint8_t*>(RenderAlloc(size_t(plan.size)));
    if (file == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    std::memset(file, 0, size_t(plan.size));
    StoreBE32(file, 0x00010000);
    StoreBE16(file + 4, uint16_t(tables.size()));
    for (size_t i = 0; i < tables.size(); ++i) {
        uint8_t* entry = file + 12 + 16 * i;
        StoreBE32(entry, tables[i].tag);
        StoreBE32(entry + 8, tables[i].offset);
        StoreBE32(entry + 12, tables[i].length);
    }
    auto table = [&](uint32_t tag) {
        return std::find_if(tables.begin(), tables.end(), [&](const TableEntry& t) { return t.tag == tag; });
    };
    // "name": eight records sharing two strings, the face name and "Regular".
    uint8_t* name = file + table(tagName)->offset;
    StoreBE16(name + 2, 8);
    StoreBE16(name + 4, 102);
    for (int r = 0; r < 8; ++r) {
        uint8_t* record = name + 6 + 12 * r;
        const uint16_t nameId = uint16_t(r % 4 + 1);
        StoreBE16(record, 3);
        StoreBE16(record + 2, r < 4 ? 1 : 0);
        StoreBE16(record + 4, 0x0409);
        StoreBE16(record + 6, nameId);
        StoreBE16(record + 8, uint16_t(nameId == 2 ? 14 : 2 * faceLength));
        StoreBE16(record + 10, uint16_t(nameId == 2 ? 2 * faceLength : 0));
    }
    for (size_t i = 0; i < faceLength; ++i) StoreBE16(name + 102 + 2 * i, uint8_t(font->faceName[i]));
    for (size_t i = 0; i < 7; ++i) StoreBE16(name + 102 + 2 * faceLength + 2 * i, uint8_t("Regular"[i]));
    uint8_t* loca = hasLoca ? file + table(tagLoca)->offset : nullptr;
    uint32_t locaNext = 0;  // the first loca entry not set yet
    bool ok = true;
    // The pieces are in tag order, so each one's table is the current one or a later one.
    auto entry = tables.begin();
    for (const FontPiece& piece : plan.pieces) {
        while (entry->tag != piece.tag) ++entry;
        if (piece.tag == tagGlyf && hasLoca) {
            const uint32_t last = std::min(piece.sequence, font->glyphCount);
            for (; locaNext <= last && piece.sequence >= locaNext; ++locaNext)
                StoreBE32(loca + 4 * locaNext, entry->fill);
        }
        if (piece.length != 0 &&
            !StreamSpillReadAt(store->spill, piece.offset, file + entry->offset + entry->fill, piece.length)) {
            ok = false;
            break;
        }
        entry->fill += piece.length;
    }
    if (ok && hasLoca) {
        const auto glyf = table(tagGlyf);
        const uint32_t end = glyf != tables.end() ? glyf->length : 0;
        for (; locaNext <= font->glyphCount; ++locaNext) StoreBE32(loca + 4 * locaNext, end);
    }
    if (ok) {
        const auto head = table(tagHead);
        if (head != tables.end() && head->length >= 54) {
            StoreBE32(file + head->offset + 8, 0);
            StoreBE16(file + head->offset + 50, 1);
        }
    }
    if (!ok) {
        RenderFree(file);
        return false;
    }
    RenderFree(font->built);
    font->built = file;
    font->builtSize = uint32_t(plan.size);
    return true;
}

}  // namespace

int TrueTypeFontBuild(FontStore* store, FontEntry* font)
{
    if ((font->head.flags & FONT_NO_BUILD) != 0) return 0;
    if (font->faceName[0] == 0) FaceNameMake(font->faceName);
    return BuildInto(store, font) ? 1 : 0;
}

bool TrueTypeFontBuiltSize(const FontEntry* font, uint64_t* size)
{
    const size_t faceLength = font->faceName[0] != 0 ? std::strlen(font->faceName) : kFaceNameLength;
    BuildPlan plan{};
    if (!BuildPlanMake(font, faceLength, &plan)) return false;
    *size = plan.size;
    return true;
}
