// A 1-bit pattern fill of a fax band (1728 x 128 pixels) by the plane kernels, raced against
// memset of the same bytes (the physical limit) and, for the 8- and 64-pixel patterns, against
// the 32-pixel pattern (which is a word repeated): a narrow brush should cost little more.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/race.h"
#include "engine/raster/plane_kernels.h"

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 128;
constexpr int32_t kStride = (kWidth + 31) / 32 * 4;

// A w x w pattern in the tiling kernels' form: native words, repeated to the end of each row's
// last word.
struct PatternFill {
    uint32_t w, strideWords = (w + 31) / 32;
    std::vector<uint32_t> pattern = std::vector<uint32_t>(size_t{strideWords} * w, 0);
    std::vector<uint32_t> band = std::vector<uint32_t>(size_t{kStride / 4} * kHeight);
    BltBitmap d{band.data(), kStride, 0, 0, 0, 0, 1, nullptr};
    BltBitmap p{pattern.data(), static_cast<int32_t>(strideWords * 4), 0, 0, 0, 0, 1, nullptr};
    explicit PatternFill(uint32_t width) : w(width)
    {
        for (uint32_t r = 0; r < w; ++r)
            for (uint32_t j = 0; j < strideWords * 32; ++j)
                if ((((j % w) * 7 + r * 3) % 5) < 2) pattern[r * strideWords + j / 32] |= 0x80000000u >> (j % 32);
    }
    void Run() { Plane1PatternFill(&d, &p, 0, 0, kWidth, kHeight, 3, 5, w, w); }
};

void AddPatternRaces(uint32_t w)
{
    AddRace("pattern" + std::to_string(w), "memset", [w] {
        auto fill = std::make_shared<PatternFill>(w);
        auto scratch = std::make_shared<std::vector<uint32_t>>(fill->band.size());
        return RaceSides{[fill] { fill->Run(); },
                         [scratch] { std::memset(scratch->data(), 0x5A, scratch->size() * 4); }};
    });
    if (w == 32 || w == 80) return;
    AddRace("pattern" + std::to_string(w), "pattern32", [w] {
        auto fill = std::make_shared<PatternFill>(w);
        auto word = std::make_shared<PatternFill>(32);
        return RaceSides{[fill] { fill->Run(); }, [word] { word->Run(); }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    for (uint32_t w : {8u, 32u, 64u, 80u}) AddPatternRaces(w);
    return RaceMain(argc, argv);
}
