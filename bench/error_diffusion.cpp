// The error-diffusion service (built-in method, one 8-bit plane to one 1-bit plane) beside a plain
// serpentine Floyd-Steinberg loop with integer error rows (what a user would write instead; the
// two diffuse differently, so their outputs are not compared), on a fax-page-wide photo-like image.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "bench/race.h"
#include "rastrel/imx_errdiff.h"

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 256;

struct Fixture {
    std::vector<uint8_t> samples = std::vector<uint8_t>(size_t{kWidth} * kHeight);
    std::vector<uint8_t> out = std::vector<uint8_t>(size_t{kWidth / 8} * kHeight);
    std::vector<int> errors = std::vector<int>(2 * (kWidth + 2));
    ImxErrDiffContext* context = nullptr;
    ImxImage source{}, destination{};
    Fixture()
    {
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x)
                samples[size_t{y} * kWidth + x] =
                    static_cast<uint8_t>(128 + 100 * std::sin(x * 0.013) * std::cos(y * 0.021 + x * 0.002));
        ImxErrDiffConfig config{};
        config.lineWidth = kWidth;
        config.format.formatId = OCM_COLOR_GRAY1;
        config.format.planeCount = 1;
        config.format.planes[0].depth = 1;
        context = ImxErrDiffCreate(IMX_ERRDIFF_METHOD_AMT, nullptr, &config);
        source.formatId = OCM_COLOR_GRAY8;
        destination.formatId = OCM_COLOR_GRAY1;
        source.width = destination.width = kWidth;
        source.height = destination.height = kHeight;
        source.planeCount = destination.planeCount = 1;
        source.planes[0].depth = 8;
        source.planes[0].stride = kWidth;
        source.planes[0].data = samples.data();
        destination.planes[0].depth = 1;
        destination.planes[0].stride = kWidth / 8;
        destination.planes[0].data = out.data();
    }
    ~Fixture() { ImxErrDiffDestroy(context); }
};

Fixture& Data()
{
    static Fixture fixture;
    return fixture;
}

void Service(Fixture& f) { ImxErrDiffImage(f.context, &f.source, &f.destination); }

// Serpentine Floyd-Steinberg, errors in 1/16 units, two rows with a guard cell at each end.
void Plain(Fixture& f)
{
    int* cur = f.errors.data() + 1;
    int* next = f.errors.data() + kWidth + 3;
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint8_t* row = f.samples.data() + size_t{y} * kWidth;
        uint8_t* bits = f.out.data() + size_t{y} * (kWidth / 8);
        std::memset(bits, 0, kWidth / 8);
        const int d = (y & 1) ? -1 : 1;
        for (uint32_t i = 0; i < kWidth; ++i) {
            const int x = (y & 1) ? static_cast<int>(kWidth - 1 - i) : static_cast<int>(i);
            int v = (255 - row[x]) + cur[x] / 16;
            if (v >= 128) {
                bits[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                v -= 255;
            }
            cur[x + d] += 7 * v;
            next[x - d] += 3 * v;
            next[x] += 5 * v;
            next[x + d] += v;
        }
        std::fill(cur - 1, cur + kWidth + 1, 0);
        std::swap(cur, next);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    AddRace("gray8_to_1bit_256_lines", "floyd-steinberg-loop", [] {
        return RaceSides{[] { Service(Data()); }, [] { Plain(Data()); }};
    });
    return RaceMain(argc, argv);
}
