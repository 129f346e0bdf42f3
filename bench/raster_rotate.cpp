// A quarter turn of a 1-bit fax band (1728 x 128 pixels, A4 width at 200 dpi) by the block
// kernel, beside a plain per-bit loop and a memcpy of the same bytes. Prints the ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/raster/rotate.h"
#include "bench/time_keeping_reporter.h"

namespace {

constexpr int32_t kWidth = 1728;
constexpr int32_t kHeight = 128;

struct Band {
    int32_t width, height, stride;
    std::vector<uint32_t> words;
    Band(int32_t w, int32_t h) : width(w), height(h), stride((w + 31) / 32 * 4) {
        words.assign(static_cast<size_t>(stride / 4) * h, 0);
    }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words.data()); }
    BltBitmap Blt() {
        BltBitmap b{};
        b.bits = words.data();
        b.stride = stride;
        b.width = width;
        b.height = height;
        b.bpp = 1;
        return b;
    }
};

// Text-like content: a few lines of dense marks on white, as on a typical fax page.
Band MakeSource(bool dense) {
    Band band(kWidth, kHeight);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
        const bool inkRow = dense || (y % 40) < 14;
        for (int32_t w = 0; w < band.stride / 4; ++w) {
            seed = seed * 1664525u + 1013904223u;
            const bool inkColumn = dense || (w % 9) < 5;
            band.words[static_cast<size_t>(y) * (band.stride / 4) + w] =
                inkRow && inkColumn ? seed : 0;
        }
    }
    return band;
}

void PlainTurn(Band& dest, Band& source) {
    std::memset(dest.Bytes(), 0, dest.words.size() * 4);
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = source.Bytes() + static_cast<size_t>(y) * source.stride;
        for (int32_t x = 0; x < source.width; ++x) {
            if (!(row[x / 8] & (0x80 >> (x % 8)))) continue;
            const int32_t dx = source.height - 1 - y;  // destination (dx, dy = x)
            dest.Bytes()[static_cast<size_t>(x) * dest.stride + dx / 8] |=
                static_cast<uint8_t>(0x80 >> (dx % 8));
        }
    }
}

void BM_Rotate90(benchmark::State& state) {
    Band source = MakeSource(state.range(0) != 0);
    Band dest(kHeight, kWidth);
    BltBitmap s = source.Blt(), d = dest.Blt();
    for (auto _ : state) {
        BitmapRotateDispatch(&d, &s, 90, 0, 0);
        benchmark::DoNotOptimize(dest.words.data());
    }
}

void BM_PlainPerBitLoop(benchmark::State& state) {
    Band source = MakeSource(state.range(0) != 0);
    Band dest(kHeight, kWidth);
    for (auto _ : state) {
        PlainTurn(dest, source);
        benchmark::DoNotOptimize(dest.words.data());
    }
}

void BM_Memcpy(benchmark::State& state) {
    Band source = MakeSource(true);
    std::vector<uint32_t> dest(source.words.size());
    for (auto _ : state) {
        std::memcpy(dest.data(), source.words.data(), dest.size() * 4);
        benchmark::DoNotOptimize(dest.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_Rotate90)->Arg(0)->Arg(1);
BENCHMARK(BM_PlainPerBitLoop)->Arg(0)->Arg(1);
BENCHMARK(BM_Memcpy);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.seconds;
    for (const char* arg : {"0", "1"}) {
        const std::string turn = std::string("BM_Rotate90/") + arg;
        const std::string plain = std::string("BM_PlainPerBitLoop/") + arg;
        if (t.count(turn) && t.count(plain) && t.count("BM_Memcpy")) {
            std::printf("%s band %dx%d: quarter turn is %.1fx faster than the per-bit loop, "
                        "%.1fx the time of memcpy\n",
                        arg[0] == '0' ? "fax-like" : "dense", kWidth, kHeight,
                        t[plain] / t[turn], t[turn] / t["BM_Memcpy"]);
        }
    }
    benchmark::Shutdown();
    return 0;
}
