#include "engine/page/page_records.h"

#include <array>

#include "engine/display/cmd_node.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/preamble.h"
#include "engine/spool/spool_records.h"
#include "engine/spool/stream.h"

// ---- The reader of each record type ----

static int ReadBrush(ResourceStore* store, Stream* stream) { return BrushDefine(&store->brushes, stream); }
static int ReadPen(ResourceStore* store, Stream* stream) { return PenDefine(&store->pens, stream, store->deviceByte); }
static int ReadClipRects(ResourceStore* store, Stream* stream) { return ClipDefine(&store->clips, stream); }
static int ReadClipRegion(ResourceStore* store, Stream* stream) { return ClipRegionDefine(&store->clips, stream); }
static int ReadBitmap(ResourceStore* store, Stream* stream) { return BitmapDefine(&store->bitmaps, stream); }
static int ReadPath(ResourceStore* store, Stream* stream) { return PathDefine(&store->paths, stream); }
static int ReadFont(ResourceStore* store, Stream* stream) { return FontDefine(&store->fonts, stream); }
static int ReadGlyph(ResourceStore* store, Stream* stream) { return GlyphDefine(&store->fonts, stream); }
static int ReadGlyphTable(ResourceStore* store, Stream* stream) { return GlyphTableDefine(&store->fonts, stream); }
static int ReadFontData(ResourceStore* store, Stream* stream) { return FontDataDefine(&store->fonts, stream); }

// Types 0 to 67; every type from 68 up to 0x4022 is skipped, 0x4023 is a bitmap with
// continuations and every type above it is skipped.
static constexpr uint32_t kPageRecordTypes = SpoolRecBitmapMore + 1;

static constexpr std::array<PageRecordEntry, kPageRecordTypes> kPageRecordTable = [] {
    std::array<PageRecordEntry, kPageRecordTypes> table{};  // Skip
    auto set = [&table](uint16_t type, PageRecordAction action, PageRecordReadFn read = nullptr) {
        table[type] = PageRecordEntry{action, read};
    };
    set(SpoolRecJobHeader, PageRecordAction::Fail);
    set(SpoolRecJobEnd, PageRecordAction::Fail);
    set(SpoolRecPageBegin, PageRecordAction::Fail);
    set(SpoolRecPageEnd, PageRecordAction::End);
    set(SpoolRecFormBegin, PageRecordAction::Fail);
    set(SpoolRecFormEnd, PageRecordAction::End);
    for (uint16_t type = SpoolRecCmdFirst; type <= SpoolRecCmdLast; ++type) set(type, PageRecordAction::Command);
    set(SpoolRecBrush, PageRecordAction::Resource, ReadBrush);
    set(SpoolRecPen, PageRecordAction::Resource, ReadPen);
    set(SpoolRecClipRects, PageRecordAction::Resource, ReadClipRects);
    set(SpoolRecBitmap, PageRecordAction::Resource, ReadBitmap);
    set(SpoolRecPath, PageRecordAction::Resource, ReadPath);
    set(SpoolRecFontDownload, PageRecordAction::Resource, ReadFont);
    set(SpoolRecFontLog, PageRecordAction::Resource, ReadFont);
    set(SpoolRecGlyph, PageRecordAction::Resource, ReadGlyph);
    set(SpoolRecGlyphEx, PageRecordAction::Resource, ReadGlyph);
    set(SpoolRecClipRegion, PageRecordAction::Resource, ReadClipRegion);
    set(SpoolRecGlyphTable, PageRecordAction::Resource, ReadGlyphTable);
    set(SpoolRecFontData, PageRecordAction::Resource, ReadFontData);
    set(SpoolRecJobData, PageRecordAction::JobData);
    // A continuation without the bitmap record it continues.
    set(SpoolRecBitmapMore, PageRecordAction::Fail);
    return table;
}();

static constexpr uint16_t kBitmapContinued = SpoolRecBitmap | SpoolRecFlagContinued;  // 0x4023

PageRecordEntry PageRecordEntryGet(uint16_t type)
{
    if (type == kBitmapContinued) return PageRecordEntry{PageRecordAction::Resource, ReadBitmap};
    if (type < kPageRecordTypes) return kPageRecordTable[type];
    return PageRecordEntry{PageRecordAction::Skip, nullptr};
}

// ---- The loop ----

// After a reader: the next record starts at the record's start plus its size, even when the
// record is longer than what its reader reads; a reader that read beyond it took bytes of the
// next record, which fails the page.
static bool RecordFinish(Stream* stream, uint32_t start, const SpoolRecordHeader& header)
{
    const uint64_t end = uint64_t{start} + header.size;
    if (stream->position > end) return false;
    if (stream->position == end) return true;
    return StreamSeek(stream, static_cast<int32_t>(end), 0) >= 0;
}

int PageRecordsRead(CmdList* list, Stream* stream, JobDataList* jobData)
{
    ResourceStore* store = list->owner;
    for (;;) {
        // Peeked through the spool layer so that a page that fails names this record, not the
        // last one some reader happened to peek at.
        SpoolRecordHeader header{};
        const bool sized = SpoolRecordPeek(stream, &header);
        if (SpoolRecordLastSeen().headerBytes != kSpoolRecordHeaderSize) return 0;
        const uint32_t start = stream->position;
        const PageRecordEntry entry = PageRecordEntryGet(header.type);
        if (entry.action == PageRecordAction::End) return 1;
        if (entry.action == PageRecordAction::Fail) return 0;
        // A size of 0 would never advance; one that ends beyond what a stream can hold cannot be
        // a record.
        if (!sized) return 0;

        switch (entry.action) {
            case PageRecordAction::Command: {
                CmdNode* node = nullptr;
                if (CmdOpSlots[header.type - CMD_RECORD_TYPE_OFFSET]->read(store, stream, &node) == 0) return 0;
                // A command that draws nothing (a mix of R2_NOP) comes back without a node.
                if (node != nullptr) CmdListAppendChain(list, node);
                if (!RecordFinish(stream, start, header)) return 0;
                break;
            }
            case PageRecordAction::Resource:
                if (entry.read(store, stream) == 0) return 0;
                // A bitmap with continuations has consumed the records that carry them.
                if (header.type != kBitmapContinued && !RecordFinish(stream, start, header)) return 0;
                break;
            case PageRecordAction::JobData:
                if (jobData != nullptr) {
                    JobDataEntry* data = JobDataRead(stream);
                    if (data == nullptr) return 0;
                    JobDataListAppend(jobData, data);
                    break;
                }
                [[fallthrough]];
            default:
                if (StreamSeek(stream, static_cast<int32_t>(header.size), 1) < 0) return 0;
                break;
        }
    }
}
