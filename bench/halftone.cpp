// The fax path's halftone kernel (one 8-bit line into one 1-bit plane) beside a plain loop that
// applies the threshold rule with a modulo per pixel, on a fax-page-wide gray image.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "engine/services/halftone.h"

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 256;
constexpr uint32_t kScreen = 160;

struct Fixture {
    std::vector<uint8_t> thresholds = std::vector<uint8_t>(kScreen * kScreen);
    std::vector<uint8_t> matrix;
    HalftoneScreen screen{};
    std::vector<uint8_t> samples = std::vector<uint8_t>(size_t{kWidth} * kHeight);
    std::vector<uint8_t> out = std::vector<uint8_t>(size_t{kWidth / 8} * kHeight);
    Fixture() {
        std::mt19937 random(5);
        for (auto& t : thresholds) t = static_cast<uint8_t>(1 + random() % 255);
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) samples[size_t{y} * kWidth + x] = static_cast<uint8_t>((x + y) * 3);
        const uint32_t pitch = (kScreen + 39) & ~31u;
        matrix.resize(size_t{pitch} * kScreen);
        for (uint32_t y = 0; y < kScreen; ++y)
            for (uint32_t x = 0; x < pitch; ++x) matrix[size_t{y} * pitch + x] = thresholds[y * kScreen + x % kScreen];
        screen = {pitch, 0, kScreen, kScreen, 1, 1, matrix.data()};
    }
};

Fixture& Data() {
    static Fixture fixture;
    return fixture;
}

void Kernel(Fixture& f, int32_t x0, int32_t y0) {
    HalftoneImage1Bit(&f.screen, f.samples.data(), kWidth, 1, kWidth, kHeight, x0, y0, f.out.data(), kWidth / 8);
}

void Plain(Fixture& f, int32_t x0, int32_t y0) {
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; x += 8) {
            uint32_t bits = 0;
            for (uint32_t k = 0; k < 8; ++k) {
                const int64_t row = ((int64_t{y0} + y) % kScreen + kScreen) % kScreen;
                const int64_t column = ((int64_t{x0} + x + k) % kScreen + kScreen) % kScreen;
                bits = (bits << 1) | (f.samples[size_t{y} * kWidth + x + k] >= f.thresholds[row * kScreen + column] ? 1 : 0);
            }
            f.out[size_t{y} * (kWidth / 8) + x / 8] = static_cast<uint8_t>(bits);
        }
    }
}

void BM_Kernel(benchmark::State& state) {
    for (auto _ : state) {
        Kernel(Data(), 37, -11);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_PlainLoop(benchmark::State& state) {
    for (auto _ : state) {
        Plain(Data(), 37, -11);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

BENCHMARK(BM_Kernel)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMicrosecond);

double ThreadMilliseconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Taking turns, fastest of 15 rounds each, so a busy machine slows both alike.
void PrintRatio() {
    double ours = 1e30;
    double plain = 1e30;
    for (int round = 0; round < 15; ++round) {
        const double start = ThreadMilliseconds();
        Kernel(Data(), 37, -11);
        const double middle = ThreadMilliseconds();
        Plain(Data(), 37, -11);
        const double end = ThreadMilliseconds();
        ours = std::min(ours, middle - start);
        plain = std::min(plain, end - middle);
    }
    std::printf("1-bit halftone of %u x %u: kernel %.3f ms, plain loop %.3f ms; plain time / kernel time: %.2f\n",
                kWidth, kHeight, ours, plain, plain / ours);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    PrintRatio();
    benchmark::Shutdown();
    return 0;
}
