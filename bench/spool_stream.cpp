// The spool stream's record walk (peek a header, read or skip the record), seekable and
// forward-only, through the buffered Stream over memory callbacks, raced against a plain loop over the same bytes in a flat array
// (the cost of the callbacks and the buffer).
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/race.h"
#include "engine/spool/page_source.h"
#include "engine/spool/spool_records.h"
#include "engine/spool/stream.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

// A job of 200 pages with 50 small drawing-sized records each.
const std::vector<uint8_t>& Job()
{
    static const std::vector<uint8_t> job = [] {
        SpoolBuilder b;
        b.JobHeader();
        for (int page = 0; page < 200; ++page) {
            b.PageBegin();
            for (int r = 0; r < 50; ++r) b.Raw(SpoolRecReserved64, 0, std::vector<uint8_t>(8 + (r * 13) % 90, 1));
            b.PageEnd();
        }
        b.JobEnd();
        return b.Data();
    }();
    return job;
}

// Anchor: the same walk reading the headers straight from memory and copying each record.
size_t FlatArrayWalk(std::vector<uint8_t>& record)
{
    const std::vector<uint8_t>& job = Job();
    size_t pos = 0, records = 0;
    while (pos + 8 <= job.size()) {
        const SpoolRecordHeader h = SpoolRecordHeaderLoad(job.data() + pos);
        std::memcpy(record.data(), job.data() + pos, h.size);
        pos += h.size;
        ++records;
    }
    return records;
}

size_t StreamWalk(MemoryStream& memory, std::vector<uint8_t>& record)
{
    memory.position = 0;
    Stream* s = MemoryStreamOpen(&memory, 1024);
    uint8_t head[8];
    size_t records = 0;
    while (StreamPeek(s, head, 8) == 8) {
        const SpoolRecordHeader h = SpoolRecordHeaderLoad(head);
        if (StreamRead(s, record.data(), h.size) != static_cast<int32_t>(h.size)) break;
        ++records;
    }
    StreamClose(s);
    return records;
}

// The page index's scan: every page position and the job end, skipping records by their size.
void PageIndexScan(MemoryStream& memory)
{
    memory.position = 0;
    Stream* s = MemoryStreamOpen(&memory, 1024);
    StreamSeek(s, static_cast<int32_t>(kSpoolJobHeaderSizeV2), 0);
    PageSource* source = PageSourceOpen(s, nullptr);
    benchmark::DoNotOptimize(PageSourceCount(source));
    PageSourceClose(source);
    StreamClose(s);
}

void AddStreamRaces(bool seekable)
{
    const std::string kind = seekable ? "_seekable" : "_forward_only";
    AddRace("record_walk" + kind, "flat-array", [seekable] {
        auto memory = std::make_shared<MemoryStream>(Job(), seekable);
        auto record = std::make_shared<std::vector<uint8_t>>(4096);
        return RaceSides{[memory, record] { benchmark::DoNotOptimize(StreamWalk(*memory, *record)); },
                         [record] { benchmark::DoNotOptimize(FlatArrayWalk(*record)); },
                         [memory, record] {
                             return StreamWalk(*memory, *record) == FlatArrayWalk(*record)
                                        ? std::string()
                                        : std::string("record counts");
                         }};
    });
    AddRace("page_index_scan" + kind, "flat-array", [seekable] {
        auto memory = std::make_shared<MemoryStream>(Job(), seekable);
        auto record = std::make_shared<std::vector<uint8_t>>(4096);
        return RaceSides{[memory] { PageIndexScan(*memory); },
                         [record] { benchmark::DoNotOptimize(FlatArrayWalk(*record)); }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddStreamRaces(true);
    AddStreamRaces(false);
    return RaceMain(argc, argv);
}
