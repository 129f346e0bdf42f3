// A quarter turn of a fax band (1728 x 128 pixels, A4 width at 200 dpi): at 1 bit against memcpy
// of the same bytes, at 8, 24 and 32 bits against pixman.
#include <pixman.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/race.h"
#include "engine/raster/rotate.h"

namespace {

constexpr int32_t kWidth = 1728;
constexpr int32_t kHeight = 128;

struct Band {
    int32_t width, height, stride;
    std::vector<uint32_t> words;
    Band(int32_t w, int32_t h) : width(w), height(h), stride((w + 31) / 32 * 4)
    {
        words.assign(static_cast<size_t>(stride / 4) * h, 0);
    }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words.data()); }
    BltBitmap Blt()
    {
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
Band MakeSource(bool dense)
{
    Band band(kWidth, kHeight);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y) {
        const bool inkRow = dense || (y % 40) < 14;
        for (int32_t w = 0; w < band.stride / 4; ++w) {
            seed = seed * 1664525u + 1013904223u;
            const bool inkColumn = dense || (w % 9) < 5;
            band.words[static_cast<size_t>(y) * (band.stride / 4) + w] = inkRow && inkColumn ? seed : 0;
        }
    }
    return band;
}

void PlainTurn(Band& dest, Band& source)
{
    std::memset(dest.Bytes(), 0, dest.words.size() * 4);
    for (int32_t y = 0; y < source.height; ++y) {
        const uint8_t* row = source.Bytes() + static_cast<size_t>(y) * source.stride;
        for (int32_t x = 0; x < source.width; ++x) {
            if (!(row[x / 8] & (0x80 >> (x % 8)))) continue;
            const int32_t dx = source.height - 1 - y;  // destination (dx, dy = x)
            dest.Bytes()[static_cast<size_t>(x) * dest.stride + dx / 8] |= static_cast<uint8_t>(0x80 >> (dx % 8));
        }
    }
}

// A source band of any depth with noise, and pixman's view of a buffer.
struct DeepBand {
    int32_t width, height, bpp, stride;
    std::vector<uint32_t> words;
    DeepBand(int32_t w, int32_t h, int32_t depth) : width(w), height(h), bpp(depth), stride((w * depth + 31) / 32 * 4)
    {
        words.resize(static_cast<size_t>(stride / 4) * h);
        uint32_t seed = 99;
        for (auto& v : words) v = seed = seed * 1664525u + 1013904223u;
    }
    BltBitmap Blt() { return BltBitmap{words.data(), stride, 0, 0, width, height, bpp, nullptr}; }
    pixman_image_t* Pixman()
    {
        const pixman_format_code_t f = bpp == 8 ? PIXMAN_a8 : bpp == 24 ? PIXMAN_r8g8b8 : PIXMAN_a8r8g8b8;
        return pixman_image_create_bits(f, width, height, words.data(), stride);
    }
};

// A quarter turn of a band at 8, 24 or 32 bits against pixman's 90-degree transform (its fast
// path for 8 and 32 bits), which must give the same pixels.
void AddDeepRace(int32_t bpp)
{
    AddRace("quarter_turn_" + std::to_string(bpp) + "bit", "pixman", [bpp] {
        auto source = std::make_shared<DeepBand>(kWidth, kHeight, bpp);
        auto ours = std::make_shared<DeepBand>(kHeight, kWidth, bpp);
        auto theirs = std::make_shared<DeepBand>(kHeight, kWidth, bpp);
        pixman_image_t* from = source->Pixman();
        pixman_image_t* to = theirs->Pixman();
        // Destination (x, y) takes source (y, H - 1 - x): pixel centres map by this matrix.
        pixman_transform_t t = {
            {{0, pixman_fixed_1, 0}, {-pixman_fixed_1, 0, pixman_int_to_fixed(kHeight)}, {0, 0, pixman_fixed_1}}};
        pixman_image_set_transform(from, &t);
        pixman_image_set_filter(from, PIXMAN_FILTER_NEAREST, nullptr, 0);
        auto images = std::shared_ptr<void>(nullptr, [from, to](void*) {
            pixman_image_unref(from);
            pixman_image_unref(to);
        });
        return RaceSides{[source, ours] {
                             BltBitmap s = source->Blt(), d = ours->Blt();
                             BitmapRotateDispatch(&d, &s, 90, 0, 0);
                         },
                         [from, to, images] {
                             pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, 0, 0, 0, 0, 0, 0, kHeight,
                                                      kWidth);
                         },
                         [ours, theirs, bpp] {
                             for (int32_t y = 0; y < ours->height; ++y)
                                 if (std::memcmp(ours->words.data() + size_t(y) * ours->stride / 4,
                                                 theirs->words.data() + size_t(y) * ours->stride / 4,
                                                 size_t(kHeight) * bpp / 8) != 0)
                                     return "row " + std::to_string(y);
                             return std::string();
                         }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    // The 1-bit quarter turn has no accelerated alternative: memcpy of the same bytes is its
    // floor, and a plain per-bit loop checks its output.
    for (bool dense : {false, true}) {
        AddRace(dense ? "quarter_turn_1bit_dense" : "quarter_turn_1bit_fax_like", "memcpy", [dense] {
            auto source = std::make_shared<Band>(MakeSource(dense));
            auto dest = std::make_shared<Band>(kHeight, kWidth);
            auto copy = std::make_shared<std::vector<uint32_t>>(source->words.size());
            return RaceSides{[source, dest] {
                                 BltBitmap s = source->Blt(), d = dest->Blt();
                                 BitmapRotateDispatch(&d, &s, 90, 0, 0);
                             },
                             [source, copy] { std::memcpy(copy->data(), source->words.data(), copy->size() * 4); },
                             [source, dest] {
                                 Band plain(kHeight, kWidth);
                                 PlainTurn(plain, *source);
                                 return plain.words == dest->words ? std::string()
                                                                   : std::string("against the per-bit loop");
                             }};
        });
    }
    for (int32_t bpp : {8, 24, 32}) AddDeepRace(bpp);
    return RaceMain(argc, argv);
}
