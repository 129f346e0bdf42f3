// Band plane operations on a fax band (1728 x 128 pixels) raced against pixman's fills and blits
// (and memcpy where pixman has no 1-bit copy): both sides write the same bytes.
#include <pixman.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/race.h"
#include "engine/raster/band_plane_ops.h"

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 128;

struct Plane {
    std::vector<uint32_t> words;
    ImxPlane plane{};
    explicit Plane(uint8_t depth)
    {
        plane.depth = depth;
        plane.width = kWidth;
        plane.height = kHeight;
        plane.stride = (kWidth * depth + 31) / 32 * 4;
        words.resize(size_t{plane.stride} / 4 * kHeight);
        std::mt19937 rng(depth);
        for (auto& w : words) w = rng();
        plane.data = reinterpret_cast<uint8_t*>(words.data());
    }
};

const RECT kBand{0, 0, LONG{kWidth}, LONG{kHeight}};

// ours(band, texture) against anchor(theirs, texture), each on its own copy of the same band.
template <class Ours, class Anchor>
void AddPlaneRace(const std::string& name, const std::string& anchor, uint8_t depth, Ours ours, Anchor theirs)
{
    AddRace(name, anchor, [depth, ours, theirs] {
        auto band = std::make_shared<Plane>(depth);
        auto other = std::make_shared<Plane>(depth);
        auto texture = std::make_shared<Plane>(depth);
        std::mt19937 rng(99);
        for (auto& w : texture->words) w = rng();
        return RaceSides{[band, texture, ours] { ours(&band->plane, &texture->plane); },
                         [other, texture, theirs] { theirs(other->words.data(), &texture->plane); },
                         [band, other] {
                             return band->words == other->words ? std::string() : std::string("band bytes");
                         }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddPlaneRace(
        "set_bits_1bit", "pixman_fill", 1, [](ImxPlane* b, const ImxPlane*) { PlaneRectSetBits1(b, &kBand); },
        [](uint32_t* d, const ImxPlane* t) { pixman_fill(d, int(t->stride / 4), 1, 0, 0, kWidth, kHeight, ~0u); });
    AddPlaneRace(
        "solid_32bit", "pixman_fill", 32,
        [](ImxPlane* b, const ImxPlane*) { PlaneRectSolid32(b, &kBand, 0x00C08040u); },
        [](uint32_t* d, const ImxPlane* t) {
            pixman_fill(d, int(t->stride / 4), 32, 0, 0, kWidth, kHeight, 0x00C08040u);
        });
    AddPlaneRace(
        "image_32bit", "pixman_blt", 32, [](ImxPlane* b, const ImxPlane* t) { PlaneRectImage32(b, t, &kBand); },
        [](uint32_t* d, const ImxPlane* t) {
            pixman_blt(reinterpret_cast<uint32_t*>(t->data), d, int(t->stride / 4), int(t->stride / 4), 32, 32, 0, 0, 0,
                       0, kWidth, kHeight);
        });
    AddPlaneRace(
        "image_1bit", "memcpy", 1, [](ImxPlane* b, const ImxPlane* t) { PlaneRectImage1(b, t, &kBand); },
        [](uint32_t* d, const ImxPlane* t) { std::memcpy(d, t->data, size_t{t->stride} * kHeight); });
    return RaceMain(argc, argv);
}
