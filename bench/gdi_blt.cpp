// PatBlt and BitBlt SRCCOPY over a whole 1728 x 2292 page, 1-bit and 24-bit, each timed beside
// memset or memcpy of the same bytes in the same loop; the counter "ratio" is GDI time over
// anchor time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/gdi.h"

namespace {

constexpr int kWidth = 1728, kHeight = 2292;

struct Page {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    uint8_t* bits;
    size_t bytes;
    explicit Page(int bpp) {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } info{{40, kWidth, -kHeight, 1, WORD(bpp), BI_RGB, 0, 0, 0, bpp == 1 ? 2u : 0u, 0},
               {{0, 0, 0, 0}, {255, 255, 255, 0}}};
        void* p;
        bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint8_t*>(p);
        bytes = size_t((kWidth * bpp + 31) / 32 * 4) * kHeight;
        std::memset(bits, 0x5A, bytes);
        dc = CreateCompatibleDC(nullptr);
        previous = SelectObject(dc, bitmap);
    }
    ~Page() {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

template <class Op, class Anchor> void Measure(benchmark::State& state, Op op, Anchor anchor) {
    using Clock = std::chrono::steady_clock;
    double opSeconds = 0, anchorSeconds = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        op();
        auto t1 = Clock::now();
        anchor();
        auto t2 = Clock::now();
        benchmark::ClobberMemory();
        double o = std::chrono::duration<double>(t1 - t0).count();
        opSeconds += o;
        anchorSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
    }
    state.counters["anchor_ms"] = anchorSeconds * 1e3 / double(state.iterations());
    state.counters["ratio"] = anchorSeconds > 0 ? opSeconds / anchorSeconds : 0;
}

void PatBltPage(benchmark::State& state) {
    Page page(int(state.range(0)));
    HBRUSH brush = CreateSolidBrush(0x000000);
    HGDIOBJ old = SelectObject(page.dc, brush);
    std::vector<uint8_t> scratch(page.bytes);
    Measure(state, [&] { PatBlt(page.dc, 0, 0, kWidth, kHeight, PATCOPY); },
            [&] { std::memset(scratch.data(), 0, scratch.size()); benchmark::DoNotOptimize(scratch.data()); });
    SelectObject(page.dc, old);
    DeleteObject(brush);
}

void BitBltPage(benchmark::State& state) {
    Page dst(int(state.range(0))), src(int(state.range(0)));
    std::vector<uint8_t> scratch(dst.bytes);
    Measure(state, [&] { BitBlt(dst.dc, 0, 0, kWidth, kHeight, src.dc, 0, 0, SRCCOPY); },
            [&] { std::memcpy(scratch.data(), src.bits, src.bytes); benchmark::DoNotOptimize(scratch.data()); });
}

}  // namespace

BENCHMARK(PatBltPage)->Arg(1)->Arg(24)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BitBltPage)->Arg(1)->Arg(24)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
