// The JBIG encoder against jbigkit on the same pages, with the same options (one stripe per page,
// LRLTWO, typical prediction, MX 0): a text fax page and a mostly white page, 1728 x 2200. Our
// encoder gets the page in bands of 128 lines, as the engine renders it; jbigkit gets the whole
// page. The run ends with jbigkit's time over ours per page (above 1 means faster than jbigkit),
// and fails if our encoder allocates anything after ImxJBIGEncoderInit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <vector>

#include "rastrel/imx.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/jbig_pages.h"

// ---- Allocation counter: the C allocator is interposed so that every heap allocation is seen.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
}
namespace {
bool gCounting = false;
long gAllocations = 0;
void Count() {
    if (gCounting) {
        ++gAllocations;
    }
}
}  // namespace
extern "C" void* malloc(size_t size) noexcept {
    Count();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) noexcept {
    Count();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) noexcept {
    Count();
    return __libc_realloc(block, size);
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) noexcept {
    Count();
    return __libc_memalign(alignment, size);
}
extern "C" int posix_memalign(void** block, size_t alignment, size_t size) noexcept {
    Count();
    *block = __libc_memalign(alignment, size);
    return *block != nullptr ? 0 : 12;
}

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 2200;
constexpr uint32_t kBandLines = 128;

const JbigImage& Page(int kind) {
    static const JbigImage text = MakeTextPage(kWidth, kHeight, 1);
    static const JbigImage letter = MakeMostlyWhitePage(kWidth, kHeight, 2);
    return kind == 0 ? text : letter;
}

struct Sink {
    uint8_t buffer[32768];
    size_t total = 0;
};

void SinkOutput(void* argument, uint8_t** buffer, uint32_t* size) {
    auto* sink = static_cast<Sink*>(argument);
    if (*buffer != nullptr) {
        sink->total += *size;
    }
    *buffer = sink->buffer;
    *size = sizeof sink->buffer;
}

void BM_Ours(benchmark::State& state) {
    const JbigImage& page = Page(static_cast<int>(state.range(0)));
    Sink sink;
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(kWidth, 0, SinkOutput, &sink);
    const uint32_t size[2] = {kWidth, kHeight};
    const uint32_t stride = kWidth / 8;
    gAllocations = 0;
    for (auto _ : state) {
        sink.total = 0;
        gCounting = true;
        ImxJBIGImageBegin(encoder, size, kHeight);
        for (uint32_t y = 0; y < kHeight; y += kBandLines) {
            const uint32_t lines = std::min(kBandLines, kHeight - y);
            ImxJBIGImageBandAdd(encoder, page.rows.data() + size_t{y} * stride, lines, stride);
        }
        ImxJBIGImageEnd(encoder);
        gCounting = false;
        benchmark::DoNotOptimize(sink.total);
    }
    ImxJBIGEncoderDeinit(encoder);
    state.counters["bytes_out"] = static_cast<double>(sink.total);
    state.counters["allocs_after_init"] = static_cast<double>(gAllocations);
    state.SetItemsProcessed(state.iterations());
    if (gAllocations != 0) {
        state.SkipWithError("the encoder allocated after ImxJBIGEncoderInit");
    }
}

void BM_Jbigkit(benchmark::State& state) {
    const JbigImage& page = Page(static_cast<int>(state.range(0)));
    if (!JbigkitAvailable()) {
        state.SkipWithError("libjbig could not be loaded");
        return;
    }
    size_t total = 0;
    for (auto _ : state) {
        total = JbigkitEncodeCount(page, kHeight, true);
        benchmark::DoNotOptimize(total);
    }
    state.counters["bytes_out"] = static_cast<double>(total);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Ours)->Arg(0)->Arg(1)->ArgName("page")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Jbigkit)->Arg(0)->Arg(1)->ArgName("page")->Unit(benchmark::kMillisecond);

// The ratio is measured with the two encoders taking turns, 15 rounds of 3 pages each, and the
// fastest round of each counted (thread CPU time): a busy machine slows both alike then.
double ThreadMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void PrintRatio(int kind, const char* name) {
    if (!JbigkitAvailable()) {
        return;
    }
    const JbigImage& page = Page(kind);
    Sink sink;
    ImxJBIGEncoder* encoder = ImxJBIGEncoderInit(kWidth, 0, SinkOutput, &sink);
    const uint32_t size[2] = {kWidth, kHeight};
    const uint32_t stride = kWidth / 8;
    double ours = 1e30;
    double theirs = 1e30;
    for (int round = 0; round < 15; ++round) {
        const double start = ThreadMilliseconds();
        for (int i = 0; i < 3; ++i) {
            ImxJBIGImageBegin(encoder, size, kHeight);
            for (uint32_t y = 0; y < kHeight; y += kBandLines) {
                ImxJBIGImageBandAdd(encoder, page.rows.data() + size_t{y} * stride, std::min(kBandLines, kHeight - y),
                                    stride);
            }
            ImxJBIGImageEnd(encoder);
        }
        const double middle = ThreadMilliseconds();
        for (int i = 0; i < 3; ++i) {
            benchmark::DoNotOptimize(JbigkitEncodeCount(page, kHeight, true));
        }
        const double end = ThreadMilliseconds();
        ours = std::min(ours, (middle - start) / 3);
        theirs = std::min(theirs, (end - middle) / 3);
    }
    ImxJBIGEncoderDeinit(encoder);
    std::printf("%s: ours %.3f ms, jbigkit %.3f ms a page; jbigkit time / our time: %.2f (goal 1.5)\n", name, ours,
                theirs, theirs / ours);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    PrintRatio(0, "text fax page");
    PrintRatio(1, "mostly white page");
    benchmark::Shutdown();
    return 0;
}
