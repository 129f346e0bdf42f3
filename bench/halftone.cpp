// The fax path's halftone kernel (one 8-bit line into one 1-bit plane) raced against a tiled
// threshold loop on a fax-page-wide gray image; a plain loop that applies the threshold rule with a
// modulo per pixel checks both outputs.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/race.h"
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
    Fixture()
    {
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

Fixture& Data()
{
    static Fixture fixture;
    return fixture;
}

void Kernel(Fixture& f, int32_t x0, int32_t y0)
{
    HalftoneImage1Bit(&f.screen, f.samples.data(), kWidth, 1, kWidth, kHeight, x0, y0, f.out.data(), kWidth / 8);
}

void Plain(Fixture& f, int32_t x0, int32_t y0)
{
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; x += 8) {
            uint32_t bits = 0;
            for (uint32_t k = 0; k < 8; ++k) {
                const int64_t row = ((int64_t{y0} + y) % kScreen + kScreen) % kScreen;
                const int64_t column = ((int64_t{x0} + x + k) % kScreen + kScreen) % kScreen;
                bits = (bits << 1) |
                       (f.samples[size_t{y} * kWidth + x + k] >= f.thresholds[row * kScreen + column] ? 1 : 0);
            }
            f.out[size_t{y} * (kWidth / 8) + x / 8] = static_cast<uint8_t>(bits);
        }
    }
}

// The anchor a user would write: the screen tiled once across the page width for each of its
// rows (with the phase applied), then one compare per pixel packed eight at a time, which the
// compiler vectorises.
struct Tiled {
    std::vector<uint8_t> rows = std::vector<uint8_t>(size_t{kScreen} * kWidth);
    Tiled(const Fixture& f, int32_t x0, int32_t y0)
    {
        for (uint32_t r = 0; r < kScreen; ++r)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const int64_t row = ((int64_t{y0} + r) % kScreen + kScreen) % kScreen;
                const int64_t column = ((int64_t{x0} + x) % kScreen + kScreen) % kScreen;
                rows[size_t{r} * kWidth + x] = f.thresholds[row * kScreen + column];
            }
    }
    void Run(Fixture& f) const
    {
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* t = rows.data() + size_t{y % kScreen} * kWidth;
            const uint8_t* s = f.samples.data() + size_t{y} * kWidth;
            uint8_t* out = f.out.data() + size_t{y} * (kWidth / 8);
            for (uint32_t x = 0; x < kWidth; x += 8) {
                uint32_t bits = 0;
                for (uint32_t k = 0; k < 8; ++k) bits |= uint32_t{s[x + k] >= t[x + k]} << (7 - k);
                out[x / 8] = static_cast<uint8_t>(bits);
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    AddRace("gray8_to_1bit_256_lines", "tiled-threshold-loop", [] {
        auto tiled = std::make_shared<Tiled>(Data(), 37, -11);
        auto mine = std::make_shared<std::vector<uint8_t>>();
        return RaceSides{[] { Kernel(Data(), 37, -11); }, [tiled] { tiled->Run(Data()); },
                         [tiled] {
                             // Both against the plain per-pixel rule.
                             Fixture& f = Data();
                             Kernel(f, 37, -11);
                             const std::vector<uint8_t> ours = f.out;
                             tiled->Run(f);
                             const std::vector<uint8_t> theirs = f.out;
                             Plain(f, 37, -11);
                             if (ours != f.out) return std::string("kernel and plain rule");
                             return theirs == f.out ? std::string() : std::string("tiled loop and plain rule");
                         }};
    });
    return RaceMain(argc, argv);
}
