// The stretch blit raced against pixman's nearest scaling on the pairs pixman accelerates
// (32 to 32 bits growing and shrinking) and on 1-bit pages (the fax downscale, and the raster
// operations AND and OR, which are pixman's IN_REVERSE and ADD on a1), and a same-width 24-bit
// copy against memcpy. The scale factors are exact in pixman's 16.16 fixed point and its sample
// points are moved to ours (source pixel floor(x * sw / dw)), so both must paint the same pixels.
#include <pixman.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/race.h"
#include "engine/stretch/stretch_blt.h"

namespace {

struct Scene {
    int bpp, sw, sh, dw, dh, sourceStride, destStride;
    RasterRop3 rop;
    std::vector<uint32_t> source, dest, theirs;
    BltBitmap sourceBitmap{}, destBitmap{};
    pixman_image_t* pixmanSource = nullptr;
    pixman_image_t* pixmanDest = nullptr;
    pixman_op_t op = PIXMAN_OP_SRC;

    Scene(int depth, int sWidth, int sHeight, int dWidth, int dHeight, RasterRop3 r)
        : bpp(depth), sw(sWidth), sh(sHeight), dw(dWidth), dh(dHeight), rop(r)
    {
        sourceStride = (sw * bpp + 31) / 32 * 4;
        destStride = (dw * bpp + 31) / 32 * 4;
        source.resize(size_t(sourceStride) * sh / 4);
        dest.resize(size_t(destStride) * dh / 4);
        std::mt19937 rng(7);
        for (auto& w : source) w = rng();
        for (auto& w : dest) w = rng();
        theirs = dest;
        sourceBitmap = BltBitmap{source.data(), sourceStride, 0, 0, sw, sh, bpp, nullptr};
        destBitmap = BltBitmap{dest.data(), destStride, 0, 0, dw, dh, bpp, nullptr};
        if (bpp == 24) return;
        const pixman_format_code_t format = bpp == 1 ? PIXMAN_a1 : PIXMAN_x8r8g8b8;
        pixmanSource = pixman_image_create_bits(format, sw, sh, source.data(), sourceStride);
        pixmanDest = pixman_image_create_bits(format, dw, dh, theirs.data(), destStride);
        // Destination pixel centre x + 0.5 maps to x * s + e: pixman takes the pixel below
        // the point less e, which is then floor(x * s) as ours.
        pixman_transform_t t;
        const double sx = double(sw) / dw, sy = double(sh) / dh;
        pixman_transform_init_scale(&t, pixman_double_to_fixed(sx), pixman_double_to_fixed(sy));
        t.matrix[0][2] = pixman_fixed_e - pixman_double_to_fixed(sx / 2);
        t.matrix[1][2] = pixman_fixed_e - pixman_double_to_fixed(sy / 2);
        pixman_image_set_transform(pixmanSource, &t);
        pixman_image_set_filter(pixmanSource, PIXMAN_FILTER_NEAREST, nullptr, 0);
        op = rop == Rop3SrcAnd ? PIXMAN_OP_IN_REVERSE : rop == Rop3SrcPaint ? PIXMAN_OP_ADD : PIXMAN_OP_SRC;
        if (bpp == 1) {
            // a1 holds its first pixel in a word's lowest bit, ours in a byte's highest: the
            // source is given to pixman with each byte's bits reversed.
            pixmanSourceBytes.resize(source.size());
            for (size_t i = 0; i < source.size() * 4; ++i)
                reinterpret_cast<uint8_t*>(pixmanSourceBytes.data())[i] =
                    Reverse(reinterpret_cast<const uint8_t*>(source.data())[i]);
            pixman_image_unref(pixmanSource);
            pixmanSource = pixman_image_create_bits(format, sw, sh, pixmanSourceBytes.data(), sourceStride);
            pixman_image_set_transform(pixmanSource, &t);
            pixman_image_set_filter(pixmanSource, PIXMAN_FILTER_NEAREST, nullptr, 0);
            for (size_t i = 0; i < theirs.size() * 4; ++i)
                reinterpret_cast<uint8_t*>(theirs.data())[i] = Reverse(reinterpret_cast<uint8_t*>(theirs.data())[i]);
        }
    }
    ~Scene()
    {
        if (pixmanSource) pixman_image_unref(pixmanSource);
        if (pixmanDest) pixman_image_unref(pixmanDest);
    }
    static uint8_t Reverse(uint8_t b)
    {
        b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
        b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
        return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
    }
    std::vector<uint32_t> pixmanSourceBytes;

    void Ours()
    {
        RECT rect{0, 0, dw, dh};
        const RECT clip = rect;
        RasterStretchBlt(&destBitmap, &sourceBitmap, nullptr, &rect, &clip, 1, rop, 0);
    }
    void Pixman() { pixman_image_composite32(op, pixmanSource, nullptr, pixmanDest, 0, 0, 0, 0, 0, 0, dw, dh); }
    // The number of differing pixels, as text; empty when the pages agree. Run after one pass of
    // each side on the same starting page, where AND and OR agree only after that first pass.
    std::string Compare() const
    {
        const auto* a = reinterpret_cast<const uint8_t*>(dest.data());
        const auto* b = reinterpret_cast<const uint8_t*>(theirs.data());
        long differing = 0;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) {
                const size_t row = size_t(y) * destStride;
                if (bpp == 1) {
                    differing += ((a[row + x / 8] >> (7 - x % 8)) & 1) != ((b[row + x / 8] >> (x % 8)) & 1);
                } else {
                    uint32_t p, q;
                    std::memcpy(&p, a + row + 4 * x, 4);
                    std::memcpy(&q, b + row + 4 * x, 4);
                    differing += ((p ^ q) & 0xFFFFFFu) != 0;
                }
            }
        return differing ? std::to_string(differing) + " pixels" : "";
    }
};

void AddPixmanRace(const std::string& name, int bpp, int sw, int sh, int dw, int dh, RasterRop3 rop)
{
    AddRace(name, "pixman", [=] {
        auto s = std::make_shared<Scene>(bpp, sw, sh, dw, dh, rop);
        return RaceSides{[s] { s->Ours(); }, [s] { s->Pixman(); }, [s] { return s->Compare(); }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddPixmanRace("32to32_grow", 32, 1280, 960, 2048, 1536, Rop3SrcCopy);
    AddPixmanRace("32to32_shrink", 32, 2000, 1500, 1600, 1200, Rop3SrcCopy);
    AddPixmanRace("1to1_grow", 1, 1728, 1100, 3456, 2200, Rop3SrcCopy);
    AddPixmanRace("1to1_shrink", 1, 2592, 3300, 1728, 2200, Rop3SrcCopy);
    AddPixmanRace("1to1_shrink_and", 1, 2592, 3300, 1728, 2200, Rop3SrcAnd);
    AddPixmanRace("1to1_shrink_or", 1, 2592, 3300, 1728, 2200, Rop3SrcPaint);
    AddRace("24to24_same_width", "memcpy", [] {
        auto s = std::make_shared<Scene>(24, 1920, 1200, 1920, 1200, Rop3SrcCopy);
        return RaceSides{[s] { s->Ours(); },
                         [s] {
                             for (int y = 0; y < s->dh; ++y)
                                 std::memcpy(reinterpret_cast<uint8_t*>(s->theirs.data()) + size_t(y) * s->destStride,
                                             reinterpret_cast<const uint8_t*>(s->source.data()) +
                                                 size_t(y) * s->sourceStride,
                                             size_t(s->dw) * 3);
                         },
                         [s] { return s->dest == s->theirs ? std::string() : std::string("rows differ"); }};
    });
    return RaceMain(argc, argv);
}
