// The bitmap store: records and continuations, lookups and copies, and the forms a bitmap takes
// under the budget.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/display/stores/bitmap_decode.h"
#include "engine/job/render_call.h"
#include "engine/raster/bitmap_rotate.h"
#include "platform/gdi.h"
#include "rastrel/imo.h"
#include "tests/engine/display/stores/bitmap_entries.h"
#include "tests/support/bitmap_test_support.h"

namespace {

TEST(BitmapStore, RecordsDefineTheirEntries)
{
    struct Case {
        const char* what;
        BitmapFields fields;
        int ok;
        uint32_t bitCount, compression, colours, classBits;
    } cases[] = {
        {"1 bit black/white", {1, 9, 2, 1, 0, Palette({0, 0xFFFFFF}), std::vector<uint8_t>(16)}, 1, 1, BI_RGB, 2, 0x10},
        {"8 bit grey palette", {2, 2, 1, 8, 0, Palette({0x808080}), std::vector<uint8_t>(4)}, 1, 8, BI_RGB, 256, 0x20},
        {"4 bit colour palette",
         {3, 1, 1, 4, 0, Palette({0x0000FF, 0}), std::vector<uint8_t>(4)},
         1,
         4,
         BI_RGB,
         16,
         0x40},
        {"grey ramp", {4, 4, 1, 8, 3, Palette({0xFF0000, 0}), std::vector<uint8_t>(4)}, 1, 8, BI_RGB, 256, 0x20},
        {"bit fields",
         {5, 1, 1, 16, 4, Palette({0x7C00, 0x3E0, 0x1F}), std::vector<uint8_t>(4)},
         1,
         16,
         BI_BITFIELDS,
         3,
         0x40},
        {"bit fields with two masks",
         {15, 1, 1, 16, 4, Palette({0x7C00, 0x3E0}), std::vector<uint8_t>(4)},
         0,
         0,
         0,
         0,
         0},
        {"RLE8 keeps its stored length",
         {6, 4, 2, 8, 2, Palette({0, 0xFFFFFF}), {2, 1, 0, 1}},
         1,
         8,
         BI_RLE8,
         256,
         0x10},
        {"24 bit without palette", {7, 1, 1, 24, 0, {}, std::vector<uint8_t>(4)}, 1, 24, BI_RGB, 0, 0x40},
        {"24 bit with a palette", {8, 1, 1, 24, 0, Palette({0}), std::vector<uint8_t>(4)}, 0, 0, 0, 0, 0},
        {"unknown depth", {9, 1, 1, 3, 0, {}, std::vector<uint8_t>(4)}, 0, 0, 0, 0, 0},
        {"zero width", {10, 0, 1, 8, 0, {}, {}}, 0, 0, 0, 0, 0},
        {"unknown compression", {11, 1, 1, 8, 8, {}, std::vector<uint8_t>(4)}, 0, 0, 0, 0, 0},
        {"rows too large to size", {12, 0x7FFFFFFF, 0x7FFFFFFF, 32, 0, {}, {}}, 0, 0, 0, 0, 0},
        // One row past 4 GB: its size taken in 32 bits would be 4 bytes (24 bits) or 4 GB less
        // 68 MB (16 bits, widened to 24).
        {"a row of 4 GB and 2 bytes", {13, 0x55555556, 1, 24, 0, {}, std::vector<uint8_t>(4)}, 0, 0, 0, 0, 0},
        {"a 16-bit row past 4 GB", {14, 0x7E000002, 1, 16, 0, {}, std::vector<uint8_t>(4)}, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, c.fields);
        ASSERT_EQ(job.Read(body), c.ok);
        if (!c.ok) continue;
        BitmapEntry* e = job.Get(c.fields.id);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->header.biBitCount, c.bitCount);
        EXPECT_EQ(e->header.biCompression, c.compression);
        EXPECT_EQ(e->header.biClrUsed, c.colours);
        EXPECT_EQ(e->head.flags & RESOURCE_COLOR_MASK, c.classBits);
        if (c.compression == BI_RLE8) {
            EXPECT_EQ(e->header.biSizeImage, 4u);
        }
    }
}

// A record of a few bytes can claim a bitmap whose decode needs more memory than the whole budget
// (GDI's decoded rows, the 24-bit picture drawn from them, the 1-bit mask): such a record fails
// the page as lack of memory, before anything of it is decoded or charged.
TEST(BitmapStore, ClaimsPastTheBudgetFailTheRecordBeforeAnyDecode)
{
    struct Case {
        const char* what;
        BitmapFields fields;
        uint32_t options;
        int ok;
    } cases[] = {
        // 36 bytes: 16,736,656 x 2 pixels of RLE8, 33 MB of rows and a 100 MB picture.
        {"a 36-byte run-length record", {1, 16736656, 2, 8, 2, Palette({0, 0xFFFFFF}), {2, 1, 0, 1}}, 0, 0},
        {"the same record 1,000 pixels wide", {1, 1000, 2, 8, 2, Palette({0, 0xFFFFFF}), {2, 1, 0, 1}}, 0, 1},
        // A fuzzed record whose pixels the image hints would have scanned.
        {"a fuzzed run-length record under image hints",
         {0x3A7A7, 16736656, 2, 8, 2, {0, 0, 0xFF, 0xFF, 0, 0xFF, 0xFF, 0}, {2, 1, 2, 0, 0, 0, 4, 1, 0, 1}},
         IMO_OPTION_IMAGE_HINTS,
         0},
        {"RLE4 of 30,000 x 2,000", {2, 30000, 2000, 4, 1, Palette({0, 0xFFFFFF}), {0, 1}}, 0, 0},
        {"bit fields of 8,000 x 4,000", {3, 8000, 4000, 16, 4, Palette({0x7C00, 0x3E0, 0x1F}), {}}, 0, 0},
        {"24-bit rows of 8,000 x 6,000", {4, 8000, 6000, 24, 0, {}, std::vector<uint8_t>(4)}, 0, 0},
        {"24-bit run-length rows of 8,000 x 6,000", {5, 8000, 6000, 24, 7, {}, {130}}, IMO_OPTION_IMAGE_HINTS, 0},
        {"LZW rows of 8,000 x 6,000", {6, 8000, 6000, 24, 6, {}, {0x80}}, IMO_OPTION_IMAGE_HINTS, 0},
        {"24-bit rows of 4,000 x 4,000", {7, 4000, 4000, 24, 0, {}, std::vector<uint8_t>(4)}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job(c.options);  // a budget of 128 MB
        SpoolBuilder body;
        AddBitmap(body, c.fields);
        SetLastError(0);
        ASSERT_EQ(job.Read(body), c.ok);
        EXPECT_EQ(job.Get(c.fields.id) != nullptr, c.ok == 1);
        if (!c.ok) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            EXPECT_EQ(job.budget->memoryUse, 0u);
            EXPECT_EQ(job.store->bitmaps.work, nullptr);  // no decoder ran
        }
    }
}

// What drawing a bitmap holds at once is what its definition is weighed by: a budget of exactly that
// takes the record, one byte less refuses it.
TEST(BitmapStore, TheBudgetTakesAClaimUpToItsLimit)
{
    for (const BitmapFields& fields : {BitmapFields{1, 3000, 40, 8, 2, Palette({0, 0xFFFFFF}), {2, 1, 0, 1}},
                                       BitmapFields{2, 3000, 40, 24, 0, {}, std::vector<uint8_t>(4)}}) {
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, fields);
        ASSERT_EQ(job.Read(body), 1);
        const uint64_t need = BitmapDecodeBytes(job.Get(fields.id));
        // At least the 24-bit picture (or the 24-bit rows) of 3,000 x 40 pixels.
        EXPECT_GE(need, 9000u * 40);
        for (const uint64_t limit : {need, need - 1}) {
            job.budget->memoryLimit = static_cast<uint32_t>(limit);
            EXPECT_EQ(job.Read(body), limit == need ? 1 : 0);
        }
    }
}

TEST(BitmapStore, GreyRampTakesTheRecordPaletteOverItsFirstEntries)
{
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {4, 4, 1, 8, 3, Palette({0xFF0000, 0x00FF00}), {0, 1, 2, 200}});
    ASSERT_EQ(job.Read(body), 1);
    BitmapEntry* e = job.Get(4);
    ASSERT_TRUE(job.Load(e));
    const uint8_t* p = BitmapPixelPalette(e);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 12), (std::vector<uint8_t>{0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 2, 2, 2, 0}));
    EXPECT_EQ(p[4 * 255], 255);
    EXPECT_EQ(Rows(e), (std::vector<uint8_t>{0, 1, 2, 200}));
}

TEST(BitmapStore, ContinuationsCarryTheDataWithoutTheirHeads)
{
    std::vector<uint8_t> data(3 * 4);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + 1);
    struct Case {
        const char* what;
        std::vector<size_t> more;  // continuation payloads
        bool seekable;
    } cases[] = {
        {"two continuations", {5, 3}, true},
        {"forward-only stream", {5, 3}, false},
        {"all data in continuations", {12}, true},
        {"empty last continuation", {12, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BitmapJob job;
        SpoolBuilder body;
        AddBitmap(body, {21, 3, 3, 8, 0, {}, data}, c.more);
        ASSERT_EQ(job.Read(body, c.seekable), 1);
        BitmapEntry* e = job.Get(21);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->pixelLength, 12u);
        EXPECT_NE(e->head.flags & BITMAP_CONTINUED, 0u);
        ASSERT_TRUE(job.Load(e));
        EXPECT_EQ(Rows(e), data);
    }
    // The data offset of a record without data of its own is its first continuation's head.
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {22, 3, 3, 8, 0, {}, data}, {12});
    ASSERT_EQ(job.Read(body), 1);
    const BitmapEntry* e = job.Get(22);
    EXPECT_EQ(e->dataLength, 0u);
    uint8_t head[8];
    ASSERT_TRUE(StreamSpillReadAt(job.store->spill, e->dataOffset, head, 8));
    EXPECT_EQ(head[0], 67);
}

TEST(BitmapStore, ABrokenContinuationFailsTheRecord)
{
    BitmapJob job;
    SpoolBuilder body;
    body.Raw(0x4023, 0, BitmapPayload({1, 4, 1, 8, 0, {}, {1, 2}}));
    body.Raw(35, 0, BitmapPayload({2, 4, 1, 8, 0, {}, {1, 2, 3, 4}}));
    EXPECT_EQ(job.Read(body), 0);
    SpoolBuilder cut;
    cut.Raw(0x4023, 0, BitmapPayload({1, 4, 1, 8, 0, {}, {1, 2}}));
    cut.Raw(67, 0, {}, 4);  // a head that claims less than itself
    EXPECT_EQ(job.Read(cut), 0);
}

TEST(BitmapStore, LookupsCopiesAndReleases)
{
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {5, 2, 1, 8, 0, Palette({0, 0xFFFFFF}), {0, 1, 0, 0}});
    AddBitmap(body, {5, 3, 1, 8, 0, Palette({0, 0xFFFFFF}), {1, 0, 1, 0}});
    AddBitmap(body, {0x40000007, 8, 1, 8, 2, Palette({0}), {8, 0, 0, 1}});
    ASSERT_EQ(job.Read(body), 1);
    BitmapStore* bitmaps = &job.store->bitmaps;
    BitmapEntry* five = BitmapLookup(bitmaps, 5);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(five->header.biWidth, 3);  // the later definition shadows the earlier
    EXPECT_EQ(five->head.refs, 1u);

    BitmapEntry* rle = BitmapLookup(bitmaps, 0x40000007);
    EXPECT_EQ(BitmapCloneMask(bitmaps, rle, 0), nullptr);
    EXPECT_EQ(BitmapInvertRequest(bitmaps, rle), 0);
    BitmapEntry* copy = BitmapClone(bitmaps, rle);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->head.id, 0x7FFFFFFFu);  // the generated id keeps the top bits of the source's
    EXPECT_EQ(copy->head.refs, 0u);
    BitmapEntry* mask = BitmapCloneMask(bitmaps, five, 1);
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->head.id, 0x3FFFFFFEu);
    EXPECT_EQ(mask->header.biBitCount, 1);
    EXPECT_EQ(mask->header.biSizeImage, 4u);
    EXPECT_TRUE(BitmapEqual(five, five));
    EXPECT_FALSE(BitmapEqual(five, job.Get(5)->bucketNext));

    ResourceCost tally{};
    BitmapRelease(bitmaps, five, 1, &tally);
    EXPECT_EQ(job.Get(5)->header.biWidth, 2);  // the earlier definition shows again
    BitmapRelease(bitmaps, rle, 0, &tally);
    EXPECT_EQ(tally.memory, 0);
}

// The budget's counters come back to where they were, whatever forms a bitmap took.
TEST(BitmapStore, FormsAreCreditedBackExactlyAsCharged)
{
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {9, 33, 7, 1, 0, Palette({0, 0xFFFFFF}), std::vector<uint8_t>(7 * 8, 0x5A)});
    AddBitmap(body, {10, 5, -3, 24, 0, {}, std::vector<uint8_t>(3 * 16, 0x11)});
    ASSERT_EQ(job.Read(body), 1);
    BitmapStore* bitmaps = &job.store->bitmaps;
    const ResourceBudget before = *job.budget;
    for (ResourceId id : {9u, 10u}) {
        SCOPED_TRACE(id);
        BitmapEntry* e = BitmapLookup(bitmaps, id);
        ResourceCost tally{};
        ASSERT_EQ(BitmapRealize(bitmaps, e, nullptr, &tally), 1);
        EXPECT_EQ(tally.objects, 1);
        const std::vector<uint8_t> natural = Rows(e);
        // The same device size twice keeps the pixels; a new one drops every form.
        BitmapStoreDeviceSizeSet(bitmaps, e, &tally, SIZE{66, 14});
        EXPECT_EQ(e->head.flags & (RESOURCE_REALISED | BITMAP_PIXELS_LOADED), 0u);
        ASSERT_EQ(BitmapPixelsLoad(bitmaps, e, &tally), 1);
        const uint8_t* loaded = e->pixels;
        BitmapStoreDeviceSizeSet(bitmaps, e, &tally, SIZE{66, 14});
        EXPECT_EQ(e->pixels, loaded);
        EXPECT_EQ(BitmapCurrentHeight(e), id == 10 ? -14 : 14);
        ASSERT_EQ(BitmapRealize(bitmaps, e, nullptr, &tally), 1);
        EXPECT_EQ(tally.deviceMemory, static_cast<int32_t>(BitmapRowBytes(e->header.biBitCount, 66) * 14));
        BitmapRelease(bitmaps, e, 0, &tally);
        EXPECT_EQ(tally.objects, 0);
        EXPECT_EQ(tally.memory, 0);
        EXPECT_EQ(tally.deviceMemory, 0);
        EXPECT_EQ(e->head.flags & (RESOURCE_REALISED | BITMAP_PIXELS_LOADED | BITMAP_INVERTED), 0u);
        EXPECT_FALSE(natural.empty());
    }
    EXPECT_EQ(job.budget->memoryUse, before.memoryUse);
}

// GDI makes a bitmap of run-length rows in its own format (24 bits without a band), after decoding
// them into a bitmap of their depth: the estimate asks for both, and the GDI bitmap is charged at
// its own size, not the rows' depth.
TEST(BitmapStore, ARunLengthBitmapIsChargedWhatGdiMakesOfIt)
{
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {3, 1001, 30, 8, 2, Palette({0, 0xFFFFFF}), {2, 1, 0, 1}});
    ASSERT_EQ(job.Read(body), 1);
    BitmapStore* bitmaps = &job.store->bitmaps;
    BitmapEntry* e = BitmapLookup(bitmaps, 3);
    const int32_t rows8 = 1004 * 30, rows24 = 3004 * 30;  // rows padded to 4 bytes
    ResourceCost estimate{};
    BitmapRealizeEstimate(bitmaps, e, nullptr, &estimate);
    EXPECT_EQ(estimate.deviceMemory, rows24);
    EXPECT_GE(estimate.memory, rows8);
    ResourceCost tally{};
    ASSERT_EQ(BitmapRealize(bitmaps, e, nullptr, &tally), 1);
    EXPECT_EQ(tally.deviceMemory, rows24);
    BitmapRelease(bitmaps, e, 0, &tally);
    EXPECT_EQ(tally.deviceMemory, 0);
    EXPECT_EQ(tally.memory, 0);
}

TEST(BitmapStore, ScalingToTheDeviceRepeatsNearestPixels)
{
    BitmapJob job;
    SpoolBuilder body;
    // Bottom-up 2 x 2, 8 bits: memory row 0 is the lowest image row.
    AddBitmap(body, {3, 2, 2, 8, 0, Palette({0, 0xFFFFFF}), {1, 2, 0, 0, 3, 4, 0, 0}});
    ASSERT_EQ(job.Read(body), 1);
    BitmapEntry* e = job.Get(3);
    ResourceCost tally{};
    BitmapStoreDeviceSizeSet(&job.store->bitmaps, e, &tally, SIZE{4, 4});
    ASSERT_TRUE(job.Load(e));
    EXPECT_EQ(Rows(e), (std::vector<uint8_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
}

TEST(BitmapStore, TrimsFreeUnmarkedFormsByPass)
{
    BitmapJob job;
    SpoolBuilder body;
    AddBitmap(body, {1, 8, 8, 8, 0, {}, std::vector<uint8_t>(64)});
    AddBitmap(body, {2, 8, 8, 8, 0, {}, std::vector<uint8_t>(64)});
    ASSERT_EQ(job.Read(body), 1);
    BitmapStore* bitmaps = &job.store->bitmaps;
    BitmapEntry* a = BitmapLookup(bitmaps, 1);
    BitmapEntry* b = BitmapLookup(bitmaps, 2);
    ResourceCost tally{};
    ASSERT_TRUE(BitmapRealize(bitmaps, a, nullptr, &tally));
    ASSERT_TRUE(BitmapRealize(bitmaps, b, nullptr, &tally));
    b->head.flags |= RESOURCE_PIXELS_IN_USE | RESOURCE_IN_USE;
    ResourceCost request{0, 1, 0};
    BitmapStoreTrim(bitmaps, nullptr, 0, &request);  // pixels of realised entries, unmarked only
    EXPECT_EQ(a->head.flags & BITMAP_PIXELS_LOADED, 0u);
    EXPECT_NE(b->head.flags & BITMAP_PIXELS_LOADED, 0u);
    request = ResourceCost{2, 0, 0};
    BitmapStoreTrim(bitmaps, nullptr, 1, &request);
    EXPECT_EQ(a->head.flags & RESOURCE_REALISED, 0u);
    EXPECT_NE(b->head.flags & RESOURCE_REALISED, 0u);
    EXPECT_EQ(request.objects, 1);
    b->head.flags &= ~RESOURCE_MARKS;
    BitmapRelease(bitmaps, a, 0, &tally);
    BitmapRelease(bitmaps, b, 0, &tally);
}

}  // namespace
