// The font store and glyph cache: records read into fonts and glyphs, TrueType fonts built in
// memory from table pieces (checked by loading them in FreeType), face names, references and the
// budget's charge for built fonts.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/display/stores/font_store.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/job/render_call.h"
#include "engine/spool/stream.h"
#include "tests/platform/gdi/text_fixture.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizer runtimes export this; g++ ships no header that declares it.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#define FAX_ALLOCATION_HOOKS 1
#endif

namespace {

#ifdef FAX_ALLOCATION_HOOKS
// The largest single allocation made while watching; sanitizer builds see every allocation.
std::atomic<size_t> largestAllocation{0};
std::atomic<bool> watchingAllocations{false};
void AllocationSeen(const volatile void*, size_t size)
{
    if (!watchingAllocations) return;
    size_t seen = largestAllocation;
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {}
}
void AllocationFreed(const volatile void*) {}
#endif

std::vector<uint8_t> Le(std::initializer_list<int64_t> values, int width = 4)
{
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < width; ++i) out.push_back(uint8_t(uint64_t(v) >> (8 * i)));
    return out;
}
std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
std::vector<uint8_t> Piece(const char* tag, const std::vector<uint8_t>& data)
{
    return Cat({std::vector<uint8_t>(tag, tag + 4), Le({int64_t(data.size())}), data});
}
std::vector<uint8_t> LogFontPayload(uint32_t id, uint32_t flags, uint32_t base, const char* face, int height = -20)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = 400;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
    const auto* raw = reinterpret_cast<const uint8_t*>(&lf);
    return Cat({Le({id, flags, base}), std::vector<uint8_t>(raw, raw + sizeof lf)});
}

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

// A store over a stream of records; the stream stays open (the spill reads back from it).
struct FontJob {
    std::unique_ptr<MemoryStream> memory;
    Stream* stream = nullptr;
    StreamSpill* spill = nullptr;
    FontStore store{};
    ResourceCost tally{};

    // With a budget, built fonts must fit its memory limit.
    explicit FontJob(SpoolBuilder records, const ResourceBudget* budget = nullptr)
    {
        memory = std::make_unique<MemoryStream>(records.Data());
        stream = MemoryStreamOpen(memory.get());
        spill = StreamSpillCreate(stream);
        FontStoreInit(&store, spill, nullptr, budget);
    }
    ~FontJob()
    {
        FontStoreDestroy(&store, &tally);
        StreamSpillClose(spill);
        StreamClose(stream);
    }
    // Reads the next record through the reader that the page records reader would use.
    int Next()
    {
        SpoolRecordHeader header;
        if (!SpoolRecordPeek(stream, &header)) return -1;
        switch (header.type) {
            case 39:
            case 40: return GlyphDefine(&store, stream);
            case 43: return FontDataDefine(&store, stream);
            default: return FontDefine(&store, stream);
        }
    }
    FontEntry* Find(uint32_t id)
    {
        FontEntry* font = FontLookup(&store, id);
        if (font) FontRelease(&store, font, 0, &tally);
        return font;
    }
};

// The tables of a system font as one type-42 record (all tables but name, loca and glyf) and
// one type-43 record per glyph, whose sequence value is the glyph index.
void AddTrueTypeRecords(SpoolBuilder& records, uint32_t id, const std::vector<uint8_t>& file, uint32_t glyphLimit = 40)
{
    const uint16_t tables = Be16(&file[4]);
    std::vector<uint8_t> head = Le({id, 0, 0});
    std::vector<uint8_t> loca, glyf;
    bool longLoca = false;
    uint16_t glyphs = 0;
    for (uint16_t i = 0; i < tables; ++i) {
        const uint8_t* e = &file[12 + 16 * i];
        const std::string tag(reinterpret_cast<const char*>(e), 4);
        const std::vector<uint8_t> data(file.begin() + Be32(e + 8), file.begin() + Be32(e + 8) + Be32(e + 12));
        if (tag == "loca") loca = data;
        else if (tag == "glyf") glyf = data;
        else if (tag != "name") head = Cat({head, Piece(tag.c_str(), data)});
        if (tag == "head") longLoca = Be16(&data[50]) != 0;
        if (tag == "maxp") glyphs = Be16(&data[4]);
    }
    const uint32_t count = std::min<uint32_t>(glyphs, glyphLimit);
    std::memcpy(&head[8], Le({count}).data(), 4);
    records.Raw(42, 1, head);
    auto offset = [&](uint32_t g) { return longLoca ? Be32(&loca[4 * g]) : 2u * Be16(&loca[2 * g]); };
    for (uint32_t g = 0; g < count; ++g) {
        const std::vector<uint8_t> data(glyf.begin() + offset(g), glyf.begin() + offset(g + 1));
        records.Raw(43, 0, Cat({Le({g, id}), Piece("glyf", data)}));
    }
}

TEST(FontStore, RecordsMakeFontsAndTheFirstDefinitionStays)
{
    const std::vector<uint8_t> arial = LogFontPayload(0, 0, 0, "Arial");
    SpoolBuilder records;
    records.Raw(37, 0, Cat({Le({1}), Le({0x20 | 0x40 | 0x2, 24}, 2)}))
        .Raw(37, 1, Le({2, 0x1, 30}))
        .Raw(38, 0, Cat({Le({3}), std::vector<uint8_t>(arial.begin() + 12, arial.end())}))
        .Raw(38, 1, LogFontPayload(4, 0x20, 0, "Courier New", 18))
        .Raw(37, 1, Le({2, 0x40, 99}))  // id 2 again: nothing changes
        .Raw(38, 1, LogFontPayload(3, 0x20, 0, "Other"));  // id 3 again
    FontJob job(records);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(job.Next(), 1) << "record " << i;

    struct Case {
        uint32_t id, flags;
        int32_t cellHeight;
    } cases[] = {
        {1, FONT_BITMAP | FONT_HEAD_2 | FONT_OVERSTRIKE | FONT_HEAD_40, 24},
        {2, FONT_BITMAP | FONT_HEAD_1, 30},
        {3, FONT_GDI, 20},
        {4, FONT_GDI | FONT_OVERSTRIKE, 18},
    };
    for (const Case& c : cases) {
        FontEntry* font = job.Find(c.id);
        ASSERT_NE(font, nullptr) << c.id;
        EXPECT_EQ(font->head.flags, c.flags) << c.id;
        EXPECT_EQ(font->cellHeight, c.cellHeight) << c.id;
    }
    EXPECT_EQ(job.Find(1)->cache->flags, GLYPH_CACHE_SIXTEENTHS | GLYPH_CACHE_OVERSTRIKE | GLYPH_CACHE_4);
    EXPECT_STREQ(job.Find(3)->logFont.lfFaceName, "Arial");
    EXPECT_EQ(job.Find(3)->logFont.lfQuality, NONANTIALIASED_QUALITY);
    EXPECT_EQ(job.Find(5), nullptr);
    EXPECT_EQ(job.store.count, 4u);
}

// A failed record fails its page: each is read by a store of its own.
TEST(FontStore, DamagedFontRecordsFailAndDefineNothing)
{
    const std::vector<uint8_t> arial = LogFontPayload(5, 0, 0, "Arial");
    SpoolBuilder cases[] = {
        SpoolBuilder().Raw(37, 2, Le({5, 0, 10})),  // version 2
        SpoolBuilder().Raw(36, 0, Le({5, 0, 10})),  // not a font record
        SpoolBuilder().Raw(37, 1, Le({5, 0})),  // cut short
        SpoolBuilder().Raw(38, 1, std::vector<uint8_t>(arial.begin(), arial.end() - 1)),  // cut short
        SpoolBuilder().Raw(42, 1, Cat({Le({5, 0, 3}), Piece("head", {1, 2, 3})}), 8 + 12 + 8 + 2),  // piece overruns
        SpoolBuilder().Raw(42, 1, Cat({Le({5, 0, 3}), Le({0x64616568})})),  // piece head cut
        SpoolBuilder().Raw(43, 0, Cat({Le({0, 5}), Piece("glyf", {1})})),  // no font 5
        SpoolBuilder().Raw(42, 0, Le({6, 0})).Raw(43, 0, Cat({Le({0, 6}), Piece("glyf", {1})})),  // glyph count 0
        SpoolBuilder().Raw(38, 1, arial).Raw(43, 0, Cat({Le({0, 5}), Piece("glyf", {1})})),  // a GDI font
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        FontJob job(cases[i]);
        int result = 1, read = 0;
        while (result == 1 && (result = job.Next()) == 1) ++read;
        EXPECT_EQ(result, 0) << "case " << i;
        EXPECT_EQ(job.store.count, uint32_t(read)) << "case " << i;
    }
}

// TrueType numbers glyphs in 16 bits: a glyph table may claim 65,535 of them and no more (the
// review's 11 KB spool claimed 200 million and built an 800 MB font).
TEST(FontStore, AGlyphTableClaimsAtMost65535Glyphs)
{
    const struct {
        int64_t glyphs;
        int result;
    } cases[] = {{65535, 1}, {65536, 0}, {200000000, 0}, {0xFFFFFFFF, 0}};
    for (const auto& c : cases) {
        FontJob job(SpoolBuilder().Raw(42, 1, Le({5, 0, c.glyphs})));
        EXPECT_EQ(job.Next(), c.result) << c.glyphs;
        EXPECT_EQ(job.store.count, uint32_t(c.result)) << c.glyphs;
    }
}

TEST(GlyphCache, GlyphRecordsAreKeptByCodeAndDroppedWithoutTheirFont)
{
    const std::vector<uint8_t> rows(4 * 3, 0xF0);
    auto bitmapGlyph = [&](uint32_t code, uint32_t font) {
        return Cat({Le({code | 0xAB0000, font, 5, 3, 1, 2}), rows});
    };
    const std::vector<uint8_t> square = Le({1, 0x1 | 0x8, 4, 0, 0, 160, 0, 160, 160, 0, 160});
    SpoolBuilder records;
    records.Raw(37, 1, Le({1, 0x40, 20}))
        .Raw(38, 1, LogFontPayload(2, 0, 0, "Arial"))
        .Raw(39, 0, bitmapGlyph(5, 1))
        .Raw(39, 0, bitmapGlyph(133, 1))  // same bucket as 5
        .Raw(40, 0, Cat({Le({'Q', 1, 0, 0, 0, 0}), Le({1, 0x1 | 0x20, 2, 0, 0, 33, 17}), Le({0})}))
        .Raw(40, 0, Cat({Le({'R', 1, 40, 24, 31, 17}), Le({1, 0x1 | 0x20, 1, 0, 0})}))
        .Raw(37, 1, Le({3, 0, 0}));
    FontJob job(records);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(job.Next(), 1) << "record " << i;
    ASSERT_NE(job.Find(3), nullptr);

    const std::vector<uint8_t> failing[] = {
        SpoolRawRecord(39, 0, bitmapGlyph(6, 9)),  // no such font
        SpoolRawRecord(39, 0, bitmapGlyph(7, 2)),  // a GDI font keeps no glyph records
        SpoolRawRecord(39, 0, Cat({Le({8, 1, 64, 64, 0, 0}), rows})),  // rows cut short
        SpoolRawRecord(40, 0, Cat({Le({9, 1, 4, 4, 0, 0}), Le({2, 1, 1, 0, 0})})),  // two contours promised, one given
        SpoolRawRecord(40, 0, Cat({Le({10, 1, 4, 4, 0, 0}), Le({1, 1, 0x10000000})})),
        SpoolRawRecord(40, 0, Cat({Le({11, 1, -4, 4, 0, 0}), Le({0})})),  // negative cell
    };
    for (size_t i = 0; i < std::size(failing); ++i) {
        FontJob alone(
            SpoolBuilder().Raw(37, 1, Le({1, 0, 20})).Raw(38, 1, LogFontPayload(2, 0, 0, "Arial")).Bytes(failing[i]));
        EXPECT_EQ(alone.Next(), 1);
        EXPECT_EQ(alone.Next(), 1);
        EXPECT_EQ(alone.Next(), 0) << "case " << i;
        for (Glyph* bucket : alone.Find(1)->cache->buckets) EXPECT_EQ(bucket, nullptr) << "case " << i;
    }

    GlyphCache* cache = job.Find(1)->cache;
    Glyph* five = GlyphFind(cache, 0, 5);
    Glyph* far = GlyphFind(cache, 0, 133);
    ASSERT_TRUE(five && far);
    EXPECT_NE(five, far);
    EXPECT_EQ(five->flags, GLYPH_BITMAP);
    EXPECT_EQ(five->cellWidth, 5);
    EXPECT_EQ(five->originY, 2);
    uint8_t back[12] = {};
    ASSERT_TRUE(StreamSpillReadAt(job.spill, far->rowsOffset, back, sizeof back));
    EXPECT_EQ(std::vector<uint8_t>(back, back + 12), rows);
    EXPECT_EQ(GlyphFind(cache, 0, 6), nullptr);

    Glyph* r = GlyphFind(cache, 0, 'R');
    ASSERT_NE(r, nullptr);
    // Sixteenths: the cell rounds up to whole units, the origin down.
    EXPECT_EQ(r->cellWidth, 3);
    EXPECT_EQ(r->cellHeight, 2);
    EXPECT_EQ(r->originX, 1);
    EXPECT_EQ(r->originY, 1);
    EXPECT_EQ(r->flags, GLYPH_OUTLINE);
    EXPECT_NE(cache->flags & GLYPH_CACHE_OUTLINES, 0u);
}

// An outline record whose size claims far more than its stream holds fails at the stream's end,
// having allocated about what arrived, never the claim.
TEST(GlyphCache, OutlineClaimingMoreThanItsStreamFailsWithoutAllocatingTheClaim)
{
    const std::vector<uint8_t> square = Le({1, 0x1 | 0x8, 4, 0, 0, 16, 0, 16, 16, 0, 16});
    struct Case {
        const char* what;
        int64_t size;
        size_t padding;  // bytes of stream after the contours
    } cases[] = {
        {"claims nearly 2 GiB, holds 100 bytes", 0x7FFFFF00, 0},
        {"claims nearly 2 GiB, holds 300 KiB", 0x7FFF0000, 300 << 10},
        {"claims one byte more than it holds", 8 + 24 + 44 + 1, 0},
    };
#ifdef FAX_ALLOCATION_HOOKS
    static const bool hooked = __sanitizer_install_malloc_and_free_hooks(AllocationSeen, AllocationFreed) != 0;
#endif
    for (const Case& c : cases) {
        SpoolBuilder records;
        records.Raw(37, 1, Le({1, 0, 20}))
            .Raw(40, 0, Cat({Le({'A', 1, 16, 16, 0, 16}), square, std::vector<uint8_t>(c.padding, 0)}), c.size);
        FontJob job(records);
        ASSERT_EQ(job.Next(), 1);
#ifdef FAX_ALLOCATION_HOOKS
        largestAllocation = 0;
        watchingAllocations = true;
#endif
        EXPECT_EQ(job.Next(), 0) << c.what;
#ifdef FAX_ALLOCATION_HOOKS
        watchingAllocations = false;
        if (hooked) {
            EXPECT_LT(largestAllocation.load(), c.padding + (1u << 20)) << c.what;
        }
#endif
        EXPECT_EQ(GlyphFind(job.Find(1)->cache, 0, 'A'), nullptr) << c.what;
    }
}

TEST(FontStore, TrueTypeFontBuiltFromPiecesLoadsAndDrawsInFreeType)
{
    const std::string source = SystemFontFile(L"Liberation Sans");
    const std::vector<uint8_t> file = FileBytes(source);
    ASSERT_FALSE(file.empty()) << source;
    SpoolBuilder records;
    AddTrueTypeRecords(records, 7, file);
    AddTrueTypeRecords(records, 8, file, 10);
    FontJob job(records);
    while (job.Next() == 1) {}
    FontEntry* a = job.Find(7);
    FontEntry* b = job.Find(8);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->head.flags & (FONT_TRUETYPE | FONT_HAS_GLYF), FONT_TRUETYPE | FONT_HAS_GLYF);
    // The size a budget is asked for before the build, its face name not made yet, is the size built.
    uint64_t planned[2] = {};
    ASSERT_TRUE(TrueTypeFontBuiltSize(a, &planned[0]));
    ASSERT_TRUE(TrueTypeFontBuiltSize(b, &planned[1]));
    ASSERT_EQ(TrueTypeFontBuild(&job.store, a), 1);
    ASSERT_EQ(TrueTypeFontBuild(&job.store, b), 1);
    EXPECT_EQ(a->builtSize, planned[0]);
    EXPECT_EQ(b->builtSize, planned[1]);
    // Two generated names: 28 characters behind "QvFt", different from each other.
    EXPECT_EQ(std::string(a->faceName).size(), 28u);
    EXPECT_EQ(std::string(a->faceName).rfind("QvFt", 0), 0u);
    EXPECT_STRNE(a->faceName, b->faceName);

    FT_Library library;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face built, original;
    ASSERT_NE(a->built, nullptr);
    ASSERT_EQ(FT_New_Memory_Face(library, a->built, FT_Long(a->builtSize), 0, &built), 0);
    ASSERT_EQ(FT_New_Face(library, source.c_str(), 0, &original), 0);
    EXPECT_STREQ(built->family_name, a->faceName);
    EXPECT_STREQ(built->style_name, "Regular");
    EXPECT_EQ(built->num_glyphs, 40);
    // Every glyph draws as the original's glyph of the same index.
    FT_Set_Pixel_Sizes(built, 0, 40);
    FT_Set_Pixel_Sizes(original, 0, 40);
    int drawn = 0;
    for (FT_UInt g = 1; g < 40; ++g) {
        ASSERT_EQ(FT_Load_Glyph(built, g, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO), 0) << g;
        ASSERT_EQ(FT_Load_Glyph(original, g, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO), 0) << g;
        const FT_Bitmap& x = built->glyph->bitmap;
        const FT_Bitmap& y = original->glyph->bitmap;
        ASSERT_EQ(x.rows, y.rows) << g;
        ASSERT_EQ(x.width, y.width) << g;
        for (unsigned row = 0; row < x.rows; ++row)
            ASSERT_EQ(0, std::memcmp(x.buffer + row * x.pitch, y.buffer + row * y.pitch, (x.width + 7) / 8)) << g;
        drawn += x.rows > 0;
    }
    EXPECT_GT(drawn, 10);
    FT_Done_Face(built);
    FT_Done_Face(original);
    FT_Done_FreeType(library);
}

// Fonts that name a downloaded TrueType font take its generated face name; a vertical font keeps
// its at sign in front.
TEST(FontStore, LogicalFontsUseTheirBaseFontsGeneratedFace)
{
    const std::vector<uint8_t> file = FileBytes(SystemFontFile(L"Liberation Serif"));
    SpoolBuilder records;
    AddTrueTypeRecords(records, 7, file, 200);
    records.Raw(38, 1, LogFontPayload(20, 0, 7, "Whatever"))
        .Raw(38, 1, LogFontPayload(21, 0, 7, "@Whatever"))
        .Raw(38, 1, LogFontPayload(22, 0, 99, "Arial"));  // a base that is missing is no error
    FontJob job(records);
    while (job.Next() == 1) {}
    struct Case {
        uint32_t id;
        const char* prefix;
    } cases[] = {{20, ""}, {21, "@"}};
    FontEntry* base = job.Find(7);
    ASSERT_NE(base, nullptr);
    for (const Case& c : cases) {
        FontEntry* font = FontLookup(&job.store, c.id);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(base->head.refs, 1u + 2u);  // its dependants' and the lookup's
        ASSERT_EQ(FontRealize(&job.store, font, &job.tally), 1);
        EXPECT_EQ(std::string(font->logFont.lfFaceName), c.prefix + std::string(base->faceName));
        EXPECT_NE(font->logFont.lfClipPrecision & CLIP_EMBEDDED, 0);
        FontRelease(&job.store, font, 0, &job.tally);
        EXPECT_EQ(base->head.refs, 2u);
    }
    EXPECT_EQ(job.tally.objects, 0) << "each font's GDI object went at its last release";
    FontEntry* orphan = job.Find(22);
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(orphan->base, nullptr);
}

// A built font is installed from memory and its bytes are charged from its first installation
// until the font is freed, at its last release with removal or when the store goes; an
// installation after a trim builds the font again and charges nothing more.
TEST(FontStore, ABuiltFontIsChargedFromItsFirstInstallationUntilItIsFreed)
{
    const std::vector<uint8_t> file = FileBytes(SystemFontFile(L"Liberation Sans"));
    SpoolBuilder records;
    AddTrueTypeRecords(records, 7, file, 5);
    for (const bool removed : {true, false}) {
        FontJob job(records);
        while (job.Next() == 1) {}
        FontEntry* font = FontLookup(&job.store, 7);
        ASSERT_NE(font, nullptr);
        uint64_t size = 0;
        ASSERT_TRUE(TrueTypeFontBuiltSize(font, &size));
        ResourceCost request{};
        FontDrawPrepare(&job.store, font, nullptr, &request);
        EXPECT_EQ(request.memory, int32_t(size)) << "room is asked for before the build";
        ASSERT_EQ(FontRealize(&job.store, font, &job.tally), 1);
        EXPECT_EQ(job.tally.memory, int32_t(size));
        EXPECT_EQ(font->builtSize, size);
        EXPECT_EQ(font->built, nullptr) << "the installation keeps its own copy";
        EXPECT_NE(font->installed, nullptr);
        request = {};
        FontDrawPrepare(&job.store, font, nullptr, &request);
        EXPECT_EQ(request.memory, 0) << "a charged font asks for nothing more";
        // A trim unrealises it; it is built and installed again when next drawn.
        FontRelease(&job.store, font, 0, &job.tally);
        EXPECT_EQ(font->installed, nullptr);
        ASSERT_NE(FontLookup(&job.store, 7), nullptr);
        ASSERT_EQ(FontRealize(&job.store, font, &job.tally), 1);
        EXPECT_EQ(job.tally.memory, int32_t(size));
        if (removed) {
            FontRelease(&job.store, font, 1, &job.tally);
            EXPECT_EQ(job.Find(7), nullptr);
            EXPECT_EQ(job.tally.memory, 0);
        } else {
            // The store goes on failure paths whose callers read the last error: lack of memory
            // must still be reported after the fonts are removed.
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            FontStoreDestroy(&job.store, &job.tally);
            EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
            EXPECT_EQ(job.tally.memory, 0);
            FontStoreInit(&job.store, job.spill, nullptr, nullptr);
        }
    }
}

// A built font that would take the budget's memory past its limit is not built and fails with
// lack of memory, charging nothing; one that just fits is installed. A font whose pieces alone
// pass the limit fails its record, and with it the page, as lack of memory.
TEST(FontStore, ABuiltFontPastTheBudgetFailsAsLackOfMemory)
{
    const std::vector<uint8_t> file = FileBytes(SystemFontFile(L"Liberation Sans"));
    SpoolBuilder records;
    AddTrueTypeRecords(records, 7, file, 5);
    uint64_t size = 0, pieces = 0;
    {
        FontJob job(records);
        while (job.Next() == 1) {}
        ASSERT_TRUE(TrueTypeFontBuiltSize(job.Find(7), &size));
        pieces = job.Find(7)->pieceBytes;
    }
    ASSERT_LT(pieces + 4 * 6, size);
    const struct {
        uint32_t used, limit;
        int realised;
    } cases[] = {
        {0, uint32_t(size), 1},
        {0, uint32_t(size) - 1, 0},
        {1000, uint32_t(size) + 999, 0},
        {1000, uint32_t(size) + 1000, 1},
    };
    for (const auto& c : cases) {
        ResourceBudget* budget = ResourceBudgetCreate(nullptr, 100, 1 << 20, c.limit);
        budget->memoryUse = c.used;
        FontJob job(records, budget);
        while (job.Next() == 1) {}
        FontEntry* font = job.Find(7);
        ASSERT_NE(font, nullptr);
        SetLastError(0);
        EXPECT_EQ(FontRealize(&job.store, font, &job.tally), c.realised) << c.used << " of " << c.limit;
        if (c.realised == 0) {
            EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
            EXPECT_EQ(font->head.flags & RESOURCE_REALISED, 0u);
            EXPECT_EQ(font->built, nullptr) << "nothing is built";
            EXPECT_EQ(job.tally.memory, 0);
        } else {
            EXPECT_EQ(job.tally.memory, int32_t(size));
        }
        FontStoreDestroy(&job.store, &job.tally);
        FontStoreInit(&job.store, job.spill, nullptr, nullptr);
        ResourceBudgetDestroy(budget);
    }
    // The pieces alone (and the loca table the build adds) pass the limit: the last glyph's
    // record fails, and every record before it is read.
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 100, 1 << 20, uint32_t(pieces + 4 * 6 - 1));
    FontJob job(records, budget);
    int read = 0, result = 0;
    while ((result = job.Next()) == 1) ++read;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read, 5);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
    FontStoreDestroy(&job.store, &job.tally);
    FontStoreInit(&job.store, job.spill, nullptr, nullptr);
    ResourceBudgetDestroy(budget);
}

// The built font's table directory counts its tables in 16 bits: pieces of 65,534 distinct tags
// (with "name" and "loca", 65,536 tables) fail the build, 65,533 build.
TEST(FontStore, ABuiltFontHoldsAtMost65535Tables)
{
    for (const uint32_t tags : {65533u, 65534u}) {
        std::vector<uint8_t> payload = Le({7, 0, 1});
        for (uint32_t t = 0; t < tags; ++t) {
            // Four capitals counting in base 26: never "name" or "loca".
            const char tag[4] = {char('A' + t / 17576), char('A' + t / 676 % 26), char('A' + t / 26 % 26),
                                 char('A' + t % 26)};
            payload.insert(payload.end(), tag, tag + 4);
            payload.insert(payload.end(), 4, 0);
        }
        FontJob job(SpoolBuilder().Raw(42, 1, payload));
        ASSERT_EQ(job.Next(), 1);
        FontEntry* font = job.Find(7);
        uint64_t size = 0;
        EXPECT_EQ(TrueTypeFontBuiltSize(font, &size), tags == 65533u) << tags;
        EXPECT_EQ(TrueTypeFontBuild(&job.store, font), tags == 65533u ? 1 : 0) << tags;
        if (tags == 65533u) {
            EXPECT_EQ(Be16(font->built + 4), 65535u);
        }
    }
}

TEST(FontStore, FontsThatCannotBeBuiltOrInstalledStayUnrealised)
{
    SpoolBuilder records;
    records.Raw(42, 1, Le({7, 0, 3}));
    FontJob job(records);
    ASSERT_EQ(job.Next(), 1);
    FontEntry* font = job.Find(7);
    font->head.flags |= FONT_NO_BUILD;
    EXPECT_EQ(TrueTypeFontBuild(&job.store, font), 0);
    EXPECT_EQ(FontRealize(&job.store, font, &job.tally), 0);
    EXPECT_EQ(font->head.flags & RESOURCE_REALISED, 0u);
    font->head.flags &= ~FONT_NO_BUILD;
    // A font of three empty glyphs and no tables builds, but no font loader accepts it.
    ASSERT_EQ(TrueTypeFontBuild(&job.store, font), 1);
    EXPECT_EQ(FontRealize(&job.store, font, &job.tally), 0);
    EXPECT_EQ(font->head.flags & RESOURCE_REALISED, 0u);
}

}  // namespace
