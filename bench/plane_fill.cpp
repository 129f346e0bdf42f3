// A 1-bit pattern fill of a fax band (1728 x 128 pixels) by the plane kernels, beside memset of
// the same bytes. Patterns of 8 (narrow loop), 32 (word), 64 (words) and 80 pixels (any loop).
// Prints the ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/raster/plane_kernels.h"
#include "bench/time_keeping_reporter.h"

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 128;
constexpr int32_t kStride = (kWidth + 31) / 32 * 4;

// A pattern of w x w pixels in the tiling kernels' form: native words, repeated to the end of
// each row's last word.
std::vector<uint32_t> MakePattern(uint32_t w, uint32_t* strideWords) {
    *strideWords = (w + 31) / 32;
    std::vector<uint32_t> words(static_cast<size_t>(*strideWords) * w, 0);
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t j = 0; j < *strideWords * 32; ++j)
            if ((((j % w) * 7 + r * 3) % 5) < 2) words[r * *strideWords + j / 32] |= 0x80000000u >> (j % 32);
    return words;
}

void BM_PatternFill(benchmark::State& state) {
    const uint32_t w = static_cast<uint32_t>(state.range(0));
    uint32_t strideWords = 0;
    std::vector<uint32_t> pattern = MakePattern(w, &strideWords);
    std::vector<uint32_t> band(static_cast<size_t>(kStride / 4) * kHeight);
    BltBitmap d{}, p{};
    d.bits = band.data();
    d.stride = kStride;
    p.bits = pattern.data();
    p.stride = static_cast<int32_t>(strideWords * 4);
    for (auto _ : state) {
        Plane1PatternFill(&d, &p, 0, 0, kWidth, kHeight, 3, 5, w, w);
        benchmark::DoNotOptimize(band.data());
        benchmark::ClobberMemory();
    }
}

void BM_Memset(benchmark::State& state) {
    std::vector<uint32_t> band(static_cast<size_t>(kStride / 4) * kHeight);
    for (auto _ : state) {
        std::memset(band.data(), 0x5A, band.size() * 4);
        benchmark::DoNotOptimize(band.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_PatternFill)->Arg(8)->Arg(32)->Arg(64)->Arg(80);
BENCHMARK(BM_Memset);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.seconds;
    for (const char* w : {"8", "32", "64", "80"}) {
        const std::string fill = std::string("BM_PatternFill/") + w;
        if (t.count(fill) && t.count("BM_Memset"))
            std::printf("pattern %s px: fill of a %ux%u band takes %.2fx the time of memset\n", w,
                        kWidth, kHeight, t[fill] / t["BM_Memset"]);
    }
    benchmark::Shutdown();
    return 0;
}
