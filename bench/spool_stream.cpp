// The spool stream's record walk (Arg 1 seekable, 0 forward-only) (peek a header, read or skip the record) through the buffered
// Stream over memory callbacks, beside a plain loop over the same bytes in a flat array.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/spool/page_source.h"
#include "engine/spool/spool_records.h"
#include "engine/spool/stream.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"
#include "bench/time_keeping_reporter.h"

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
void BM_FlatArrayWalk(benchmark::State& state)
{
    const std::vector<uint8_t>& job = Job();
    std::vector<uint8_t> record(4096);
    for (auto _ : state) {
        size_t pos = 0, records = 0;
        while (pos + 8 <= job.size()) {
            const SpoolRecordHeader h = SpoolRecordHeaderLoad(job.data() + pos);
            std::memcpy(record.data(), job.data() + pos, h.size);
            pos += h.size;
            ++records;
        }
        benchmark::DoNotOptimize(records);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * job.size()));
}

void BM_StreamWalk(benchmark::State& state)
{
    const std::vector<uint8_t>& job = Job();
    std::vector<uint8_t> record(4096);
    MemoryStream memory(job, state.range(0) != 0);
    for (auto _ : state) {
        memory.position = 0;
        Stream* s = MemoryStreamOpen(&memory, 1024);
        uint8_t head[8];
        size_t records = 0;
        while (StreamPeek(s, head, 8) == 8) {
            const SpoolRecordHeader h = SpoolRecordHeaderLoad(head);
            if (StreamRead(s, record.data(), h.size) != static_cast<int32_t>(h.size)) break;
            ++records;
        }
        benchmark::DoNotOptimize(records);
        StreamClose(s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * job.size()));
}

// The page index's scan: every page position and the job end, skipping records by their size.
void BM_PageIndexScan(benchmark::State& state)
{
    const std::vector<uint8_t>& job = Job();
    MemoryStream memory(job, state.range(0) != 0);
    for (auto _ : state) {
        memory.position = 0;
        Stream* s = MemoryStreamOpen(&memory, 1024);
        StreamSeek(s, static_cast<int32_t>(kSpoolJobHeaderSizeV2), 0);
        PageSource* source = PageSourceOpen(s, nullptr);
        benchmark::DoNotOptimize(PageSourceCount(source));
        PageSourceClose(source);
        StreamClose(s);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * job.size()));
}

BENCHMARK(BM_FlatArrayWalk);
BENCHMARK(BM_StreamWalk)->Arg(1)->Arg(0);
BENCHMARK(BM_PageIndexScan)->Arg(1)->Arg(0);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto anchor = reporter.seconds.find("BM_FlatArrayWalk");
    if (anchor != reporter.seconds.end()) {
        std::printf("\nRatios (stream time / flat-array time; the cost of the callbacks and the buffer):\n");
        for (const auto& [name, time] : reporter.seconds)
            if (name != anchor->first) std::printf("  %-28s %6.2f\n", name.c_str(), time / anchor->second);
    }
    benchmark::Shutdown();
    return 0;
}
