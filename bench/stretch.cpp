// The stretch kernels beside their anchors in one run: a plain nearest-pixel loop, pixman's
// nearest scaling and, for same-width copies, memcpy. Ratios are printed after the table.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/stretch/stretch_blt.h"
#include "bench/time_keeping_reporter.h"

namespace {

// One scaling case: a source and destination of given depths and sizes, both top-down with
// strides padded to whole 32-bit words (pixman's requirement).
struct Scene {
  int sourceBpp, destBpp, sw, sh, dw, dh;
  int sourceStride, destStride;
  std::vector<uint32_t> source, dest;
  std::vector<uint8_t> palette;
  BltBitmap sourceBitmap{}, destBitmap{};

  Scene(int sBpp, bool withPalette, int dBpp, int sWidth, int sHeight, int dWidth, int dHeight)
      : sourceBpp(sBpp), destBpp(dBpp), sw(sWidth), sh(sHeight), dw(dWidth), dh(dHeight) {
    sourceStride = (sw * sBpp + 31) / 32 * 4;
    destStride = (dw * dBpp + 31) / 32 * 4;
    source.resize(size_t(sourceStride) * sh / 4);
    dest.resize(size_t(destStride) * dh / 4);
    palette.resize(1024);
    std::mt19937 rng(7);
    for (auto& w : source) w = rng();
    for (auto& b : palette) b = uint8_t(rng());
    sourceBitmap = BltBitmap{source.data(), sourceStride, 0, 0, sw, sh, sBpp,
                             withPalette ? palette.data() : nullptr};
    destBitmap = BltBitmap{dest.data(), destStride, 0, 0, dw, dh, dBpp, nullptr};
  }
  int64_t DestPixels() const { return int64_t(dw) * dh; }
};

void RunKernel(Scene& s) {
  RECT rect{0, 0, s.dw, s.dh};
  const RECT clip = rect;
  RasterStretchBlt(&s.destBitmap, &s.sourceBitmap, nullptr, &rect, &clip, 1, Rop3SrcCopy, 0);
}

// The loop anyone would write first: divide per pixel, fetch, convert, store.
void RunPlainLoop(Scene& s) {
  const auto* src = reinterpret_cast<const uint8_t*>(s.source.data());
  auto* dst = reinterpret_cast<uint8_t*>(s.dest.data());
  for (int y = 0; y < s.dh; ++y) {
    const uint8_t* srow = src + int64_t(y) * s.sh / s.dh * s.sourceStride;
    uint8_t* drow = dst + int64_t(y) * s.destStride;
    for (int x = 0; x < s.dw; ++x) {
      const int64_t sx = int64_t(x) * s.sw / s.dw;
      if (s.sourceBpp == 1) {
        const int bit = (srow[sx >> 3] >> (7 - (sx & 7))) & 1;
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        drow[x >> 3] = uint8_t(bit ? drow[x >> 3] | mask : drow[x >> 3] & ~mask);
      } else if (s.sourceBpp == 8) {
        std::memcpy(drow + x * (s.destBpp / 8), &s.palette[4 * srow[sx]], size_t(s.destBpp / 8));
      } else {
        std::memcpy(drow + x * 3, srow + sx * 3, 3);
      }
    }
  }
}

pixman_format_code_t PixmanFormat(int bpp) {
  switch (bpp) {
    case 1: return PIXMAN_a1;
    case 8: return PIXMAN_c8;
    case 24: return PIXMAN_r8g8b8;
    default: return PIXMAN_x8r8g8b8;
  }
}

struct PixmanScene {
  pixman_image_t* source = nullptr;
  pixman_image_t* dest = nullptr;
  std::unique_ptr<pixman_indexed_t> indexed = std::make_unique<pixman_indexed_t>();
  explicit PixmanScene(Scene& s) {
    source = pixman_image_create_bits(PixmanFormat(s.sourceBpp), s.sw, s.sh, s.source.data(),
                                      s.sourceStride);
    dest = pixman_image_create_bits(PixmanFormat(s.destBpp), s.dw, s.dh, s.dest.data(),
                                    s.destStride);
    if (s.sourceBpp == 8) {
      std::memset(indexed.get(), 0, sizeof(pixman_indexed_t));
      for (int i = 0; i < 256; ++i) {
        const uint8_t* e = &s.palette[4 * i];
        indexed->rgba[i] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
      }
      pixman_image_set_indexed(source, indexed.get());
    }
    pixman_transform_t scale;
    pixman_transform_init_scale(&scale, pixman_double_to_fixed(double(s.sw) / s.dw),
                                pixman_double_to_fixed(double(s.sh) / s.dh));
    pixman_image_set_transform(source, &scale);
    pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  ~PixmanScene() {
    pixman_image_unref(source);
    pixman_image_unref(dest);
  }
  void Run(const Scene& s) {
    pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, dest, 0, 0, 0, 0, 0, 0, s.dw, s.dh);
  }
};

Scene MakeScene(const std::string& name) {
  if (name == "Pal8To24Grow") return Scene(8, true, 24, 800, 600, 2000, 1500);
  if (name == "24To24SameWidth") return Scene(24, false, 24, 1920, 1200, 1920, 1200);
  if (name == "1To1Grow") return Scene(1, false, 1, 2400, 1600, 4800, 3200);
  return Scene(8, true, 32, 2000, 1500, 800, 600);  // Pal8To32Shrink
}

const char* const kScenes[] = {"Pal8To24Grow", "24To24SameWidth", "1To1Grow", "Pal8To32Shrink"};

void BM_Kernel(benchmark::State& state, std::string name) {
  Scene s = MakeScene(name);
  for (auto _ : state) {
    RunKernel(s);
    benchmark::DoNotOptimize(s.dest.data());
  }
  state.SetItemsProcessed(state.iterations() * s.DestPixels());
}

void BM_PlainLoop(benchmark::State& state, std::string name) {
  Scene s = MakeScene(name);
  for (auto _ : state) {
    RunPlainLoop(s);
    benchmark::DoNotOptimize(s.dest.data());
  }
  state.SetItemsProcessed(state.iterations() * s.DestPixels());
}

void BM_Pixman(benchmark::State& state, std::string name) {
  Scene s = MakeScene(name);
  PixmanScene p(s);
  for (auto _ : state) {
    p.Run(s);
    benchmark::DoNotOptimize(s.dest.data());
  }
  state.SetItemsProcessed(state.iterations() * s.DestPixels());
}

// The floor for a same-width copy: memcpy of each row's bytes.
void BM_Memcpy(benchmark::State& state, std::string name) {
  Scene s = MakeScene(name);
  const auto* src = reinterpret_cast<const uint8_t*>(s.source.data());
  auto* dst = reinterpret_cast<uint8_t*>(s.dest.data());
  const size_t rowBytes = size_t(s.dw) * s.destBpp / 8;
  for (auto _ : state) {
    for (int y = 0; y < s.dh; ++y) {
      std::memcpy(dst + int64_t(y) * s.destStride, src + int64_t(y) * s.sourceStride, rowBytes);
    }
    benchmark::DoNotOptimize(s.dest.data());
  }
  state.SetItemsProcessed(state.iterations() * s.DestPixels());
}

}  // namespace

int main(int argc, char** argv) {
  for (const char* scene : kScenes) {
    const std::string name = scene;
    benchmark::RegisterBenchmark((name + "/Kernel").c_str(), BM_Kernel, name)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((name + "/PlainLoop").c_str(), BM_PlainLoop, name)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((name + "/Pixman").c_str(), BM_Pixman, name)->Unit(benchmark::kMicrosecond);
    if (name == "24To24SameWidth") {
      benchmark::RegisterBenchmark((name + "/Memcpy").c_str(), BM_Memcpy, name)->Unit(benchmark::kMicrosecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  TimeKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (anchor time / kernel time; above 1 means the kernel is faster):\n");
  for (const char* scene : kScenes) {
    const std::string name = scene;
    const auto kernel = reporter.seconds.find(name + "/Kernel");
    if (kernel == reporter.seconds.end()) continue;
    for (const char* anchor : {"PlainLoop", "Pixman", "Memcpy"}) {
      const auto other = reporter.seconds.find(name + "/" + anchor);
      if (other == reporter.seconds.end()) continue;
      // A same-width copy is a row move in pixman too; its goal is memcpy's speed instead.
      const bool sameWidth = name == "24To24SameWidth";
      const char* goal = "";
      if (std::string(anchor) == "Pixman" && !sameWidth) goal = "  (goal >= 2)";
      if (std::string(anchor) == "Memcpy") goal = "  (goal >= 0.67, within 1.5x memcpy)";
      std::printf("  %-16s %-10s %6.2f%s\n", scene, anchor, other->second / kernel->second, goal);
    }
  }
  benchmark::Shutdown();
  return 0;
}
