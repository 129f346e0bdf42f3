// Makes the fax module's two threshold screens, "Halftones" 104 (80 x 80, for 300 dpi) and 105
// (160 x 160, for every other resolution), and writes them as a C++ source of module resources.
//
// The screens are blue noise made by void and cluster: a random start pattern is relaxed by
// moving its tightest cluster into its largest void until that settles, then its dots are ranked
// by taking clusters away one by one and filling voids one by one. Threshold = 1 + rank * 255 / N,
// so every value 1..255 is used within one of equally often. The first cells of row 0 are then
// set to the fixed values the device expects, each by exchanging with a cell of that value
// elsewhere, which keeps the histogram.
//
// Usage: make_halftones <output.cpp>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Screen {
    int size;
    uint32_t resourceId;
    std::array<uint8_t, 10> rowStart;
};

class Energy {
public:
    explicit Energy(int size) : size_(size), field_(static_cast<size_t>(size) * size, 0.0)
    {
        constexpr double sigma = 1.5;
        for (int dy = -kRadius; dy <= kRadius; ++dy)
            for (int dx = -kRadius; dx <= kRadius; ++dx)
                kernel_[(dy + kRadius) * kWidth + dx + kRadius] = std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
    }
    void Add(int index, double sign)
    {
        const int x = index % size_, y = index / size_;
        for (int dy = -kRadius; dy <= kRadius; ++dy) {
            const int yy = ((y + dy) % size_ + size_) % size_;
            for (int dx = -kRadius; dx <= kRadius; ++dx) {
                const int xx = ((x + dx) % size_ + size_) % size_;
                field_[static_cast<size_t>(yy) * size_ + xx] += sign * kernel_[(dy + kRadius) * kWidth + dx + kRadius];
            }
        }
    }
    double At(int index) const { return field_[static_cast<size_t>(index)]; }

private:
    static constexpr int kRadius = 7;
    static constexpr int kWidth = 2 * kRadius + 1;
    int size_;
    std::vector<double> field_;
    std::array<double, kWidth * kWidth> kernel_{};
};

// The set cell of highest energy (tightest cluster) or the clear cell of lowest (largest void).
int Extreme(const std::vector<uint8_t>& dots, const Energy& energy, bool cluster)
{
    int best = -1;
    for (int i = 0; i < static_cast<int>(dots.size()); ++i) {
        if ((dots[static_cast<size_t>(i)] != 0) != cluster) continue;
        if (best < 0 || (cluster ? energy.At(i) > energy.At(best) : energy.At(i) < energy.At(best))) best = i;
    }
    return best;
}

std::vector<uint8_t> Thresholds(const Screen& screen)
{
    const int n = screen.size * screen.size;
    uint64_t seed = 0x9E3779B97F4A7C15ull ^ screen.resourceId;
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(seed >> 33);
    };
    std::vector<uint8_t> start(static_cast<size_t>(n), 0);
    Energy startEnergy(screen.size);
    int ones = 0;
    while (ones < n / 10) {
        const int i = static_cast<int>(next() % static_cast<uint32_t>(n));
        if (start[static_cast<size_t>(i)] != 0) continue;
        start[static_cast<size_t>(i)] = 1;
        startEnergy.Add(i, 1);
        ++ones;
    }
    for (;;) {
        const int cluster = Extreme(start, startEnergy, true);
        start[static_cast<size_t>(cluster)] = 0;
        startEnergy.Add(cluster, -1);
        const int gap = Extreme(start, startEnergy, false);
        start[static_cast<size_t>(gap)] = 1;
        startEnergy.Add(gap, 1);
        if (gap == cluster) break;
    }
    std::vector<int> rank(static_cast<size_t>(n), -1);
    {
        std::vector<uint8_t> dots = start;
        Energy energy = startEnergy;
        for (int r = ones - 1; r >= 0; --r) {
            const int cluster = Extreme(dots, energy, true);
            dots[static_cast<size_t>(cluster)] = 0;
            energy.Add(cluster, -1);
            rank[static_cast<size_t>(cluster)] = r;
        }
    }
    {
        std::vector<uint8_t> dots = start;
        Energy energy = startEnergy;
        for (int r = ones; r < n; ++r) {
            const int gap = Extreme(dots, energy, false);
            dots[static_cast<size_t>(gap)] = 1;
            energy.Add(gap, 1);
            rank[static_cast<size_t>(gap)] = r;
        }
    }
    std::vector<uint8_t> thresholds(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        thresholds[static_cast<size_t>(i)] =
            static_cast<uint8_t>(1 + static_cast<int64_t>(rank[static_cast<size_t>(i)]) * 255 / n);
    // Fix row 0's first cells; the partner is the nearest later cell (in scan order, beyond the
    // fixed ones) that holds the wanted value.
    for (size_t k = 0; k < screen.rowStart.size(); ++k) {
        const uint8_t want = screen.rowStart[k];
        if (thresholds[k] == want) continue;
        for (size_t j = screen.rowStart.size(); j < thresholds.size(); ++j) {
            if (thresholds[j] == want) {
                std::swap(thresholds[j], thresholds[k]);
                break;
            }
        }
    }
    return thresholds;
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// One halftone set file with one entry {key 0, depth 1} and one 1-bit screen.
std::vector<uint8_t> SetFile(const Screen& screen)
{
    const std::vector<uint8_t> thresholds = Thresholds(screen);
    std::vector<uint8_t> file = {'t', 'H', 'v', 'Q'};
    Put32(file, 1);
    Put16(file, 0);
    Put16(file, 1);
    Put32(file, 20);
    Put32(file, static_cast<uint32_t>(8 + thresholds.size()));
    Put16(file, static_cast<uint32_t>(screen.size));
    Put16(file, static_cast<uint32_t>(screen.size));
    Put16(file, 1);
    Put16(file, 1);
    file.insert(file.end(), thresholds.begin(), thresholds.end());
    return file;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_halftones <output.cpp>\n");
        return 2;
    }
    const Screen screens[] = {
        {80, 104, {255, 251, 134, 119, 53, 253, 230, 191, 83, 18}},
        {160, 105, {255, 254, 160, 68, 140, 180, 112, 43, 94, 247}},
    };
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// The fax module's threshold screens, made by tools/halftones/make_halftones; do not edit.\n"
                 "#include \"platform/resources.h\"\n\nnamespace {\n");
    for (const Screen& screen : screens) {
        const std::vector<uint8_t> file = SetFile(screen);
        std::fprintf(out, "\nalignas(4) const unsigned char kHalftones%u[%zu] = {", screen.resourceId, file.size());
        for (size_t i = 0; i < file.size(); ++i) std::fprintf(out, "%s%u,", i % 20 == 0 ? "\n    " : "", file[i]);
        std::fprintf(out, "\n};\n");
    }
    std::fprintf(out,
                 "\n}  // namespace\n\n"
                 "FAX_RESOURCE_TABLE(PelvaneHalftones,\n"
                 "    {FaxResourceKey(\"Halftones\"), FaxResourceKey(104), kHalftones104, sizeof kHalftones104},\n"
                 "    {FaxResourceKey(\"Halftones\"), FaxResourceKey(105), kHalftones105, sizeof kHalftones105});\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
