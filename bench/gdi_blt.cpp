// The GDI stand-in's page operations raced against what a user would call instead, on a whole
// 1728 x 2292 page: PatBlt against pixman's 1-bit fill and memset, BitBlt SRCCOPY against
// memcpy, StretchDIBits against pixman's nearest scaling, AlphaBlend against pixman's OVER, and
// region union against pixman's. Outputs are compared where both compute the same thing.
#include <pixman.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/race.h"
#include "platform/gdi.h"

namespace {

constexpr int kWidth = 1728, kHeight = 2292;

struct Page {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    uint8_t* bits;
    size_t bytes;
    int stride;
    explicit Page(int bpp, int width = kWidth, int height = kHeight)
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } info{{40, width, -height, 1, WORD(bpp), BI_RGB, 0, 0, 0, bpp == 1 ? 2u : 0u, 0},
               {{0, 0, 0, 0}, {255, 255, 255, 0}}};
        void* p;
        bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint8_t*>(p);
        stride = (width * bpp + 31) / 32 * 4;
        bytes = size_t(stride) * height;
        std::mt19937 rng(3);
        for (size_t i = 0; i < bytes; ++i) bits[i] = uint8_t(rng());
        dc = CreateCompatibleDC(nullptr);
        previous = SelectObject(dc, bitmap);
    }
    ~Page()
    {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

std::string SameBytes(const uint8_t* a, const uint8_t* b, size_t n)
{
    return std::memcmp(a, b, n) == 0 ? std::string() : std::string("page bytes");
}

void AddPatBltRace(int bpp)
{
    AddRace("patblt_page_" + std::to_string(bpp) + "bit", bpp == 1 ? "pixman_fill" : "memset", [bpp] {
        auto page = std::make_shared<Page>(bpp);
        auto scratch = std::make_shared<std::vector<uint32_t>>(page->bytes / 4);
        HBRUSH brush = CreateSolidBrush(0x000000);
        SelectObject(page->dc, brush);
        return RaceSides{[page] { PatBlt(page->dc, 0, 0, kWidth, kHeight, PATCOPY); },
                         [scratch, bpp, page] {
                             if (bpp == 1) pixman_fill(scratch->data(), page->stride / 4, 1, 0, 0, kWidth, kHeight, 0);
                             else std::memset(scratch->data(), 0, scratch->size() * 4);
                         },
                         [page, scratch] {
                             return SameBytes(page->bits, reinterpret_cast<uint8_t*>(scratch->data()), page->bytes);
                         }};
    });
}

void AddBitBltRace(int bpp)
{
    AddRace("bitblt_page_" + std::to_string(bpp) + "bit", "memcpy", [bpp] {
        auto dst = std::make_shared<Page>(bpp);
        auto src = std::make_shared<Page>(bpp);
        auto scratch = std::make_shared<std::vector<uint8_t>>(dst->bytes);
        return RaceSides{[dst, src] { BitBlt(dst->dc, 0, 0, kWidth, kHeight, src->dc, 0, 0, SRCCOPY); },
                         [src, scratch] { std::memcpy(scratch->data(), src->bits, src->bytes); },
                         [dst, scratch] { return SameBytes(dst->bits, scratch->data(), dst->bytes); }};
    });
}

// pixman's view of a 32-bit page, with a nearest scale from the given source size.
pixman_image_t* PixmanPage(Page& page, int width, int height)
{
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, reinterpret_cast<uint32_t*>(page.bits),
                                    page.stride);
}

// A photo of 864 x 1146 drawn onto the page at twice its size.
void AddStretchDIBitsRace()
{
    AddRace("stretchdibits_32bit_grow", "pixman", [] {
        constexpr int sw = kWidth / 2, sh = kHeight / 2;
        auto dst = std::make_shared<Page>(32);
        auto theirs = std::make_shared<Page>(32);
        auto src = std::make_shared<Page>(32, sw, sh);
        auto info = std::make_shared<BITMAPINFO>();
        *info = BITMAPINFO{};
        info->bmiHeader = BITMAPINFOHEADER{40, sw, -sh, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        pixman_image_t* from = PixmanPage(*src, sw, sh);
        pixman_image_t* to = PixmanPage(*theirs, kWidth, kHeight);
        pixman_transform_t t;
        pixman_transform_init_scale(&t, pixman_double_to_fixed(double(sw) / kWidth),
                                    pixman_double_to_fixed(double(sh) / kHeight));
        pixman_image_set_transform(from, &t);
        pixman_image_set_filter(from, PIXMAN_FILTER_NEAREST, nullptr, 0);
        auto images = std::shared_ptr<void>(nullptr, [from, to](void*) {
            pixman_image_unref(from);
            pixman_image_unref(to);
        });
        return RaceSides{[dst, src, info] {
                             StretchDIBits(dst->dc, 0, 0, kWidth, kHeight, 0, 0, sw, sh, src->bits, info.get(),
                                           DIB_RGB_COLORS, SRCCOPY);
                         },
                         [from, to, images, theirs, src] {
                             pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, 0, 0, 0, 0, 0, 0, kWidth,
                                                      kHeight);
                         }};
    });
}

// A premultiplied 32-bit picture blended over the page with its own alpha.
void AddAlphaBlendRace()
{
    AddRace("alphablend_32bit_page", "pixman_over", [] {
        auto dst = std::make_shared<Page>(32);
        auto theirs = std::make_shared<Page>(32);
        auto src = std::make_shared<Page>(32);
        for (size_t i = 0; i < src->bytes; i += 4) {
            const uint8_t a = src->bits[i + 3];
            for (int c = 0; c < 3; ++c) src->bits[i + c] = uint8_t(src->bits[i + c] * a / 255);
        }
        pixman_image_t* from = PixmanPage(*src, kWidth, kHeight);
        pixman_image_t* to = PixmanPage(*theirs, kWidth, kHeight);
        auto images = std::shared_ptr<void>(nullptr, [from, to](void*) {
            pixman_image_unref(from);
            pixman_image_unref(to);
        });
        return RaceSides{[dst, src] {
                             AlphaBlend(dst->dc, 0, 0, kWidth, kHeight, src->dc, 0, 0, kWidth, kHeight,
                                        BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA});
                         },
                         [from, to, images, theirs, src] {
                             pixman_image_composite32(PIXMAN_OP_OVER, from, nullptr, to, 0, 0, 0, 0, 0, 0, kWidth,
                                                      kHeight);
                         }};
    });
}

// Two regions of 400 scattered rectangles each, united; the rectangle lists must agree.
void AddRegionRace()
{
    AddRace("region_union_400_rects", "pixman_region32", [] {
        struct Regions {
            HRGN a = CreateRectRgn(0, 0, 0, 0), b = CreateRectRgn(0, 0, 0, 0), out = CreateRectRgn(0, 0, 0, 0);
            pixman_region32_t pa, pb, pout;
            Regions()
            {
                pixman_region32_init(&pa);
                pixman_region32_init(&pb);
                pixman_region32_init(&pout);
                std::mt19937 rng(11);
                for (int i = 0; i < 800; ++i) {
                    const int x = int(rng() % (kWidth - 60)), y = int(rng() % (kHeight - 60));
                    const int w = 1 + int(rng() % 60), h = 1 + int(rng() % 60);
                    HRGN r = CreateRectRgn(x, y, x + w, y + h);
                    CombineRgn(i % 2 ? a : b, i % 2 ? a : b, r, RGN_OR);
                    DeleteObject(r);
                    pixman_region32_union_rect(i % 2 ? &pa : &pb, i % 2 ? &pa : &pb, x, y, unsigned(w), unsigned(h));
                }
            }
            ~Regions()
            {
                DeleteObject(a);
                DeleteObject(b);
                DeleteObject(out);
                pixman_region32_fini(&pa);
                pixman_region32_fini(&pb);
                pixman_region32_fini(&pout);
            }
        };
        auto r = std::make_shared<Regions>();
        return RaceSides{[r] { CombineRgn(r->out, r->a, r->b, RGN_OR); },
                         [r] { pixman_region32_union(&r->pout, &r->pa, &r->pb); },
                         [r] {
                             std::vector<char> data(GetRegionData(r->out, 0, nullptr));
                             auto* rgn = reinterpret_cast<RGNDATA*>(data.data());
                             GetRegionData(r->out, DWORD(data.size()), rgn);
                             int n = 0;
                             const pixman_box32_t* boxes = pixman_region32_rectangles(&r->pout, &n);
                             if (rgn->rdh.nCount != DWORD(n)) return std::string("rectangle counts");
                             const RECT* rects = reinterpret_cast<const RECT*>(rgn->Buffer);
                             for (int i = 0; i < n; ++i)
                                 if (rects[i].left != boxes[i].x1 || rects[i].top != boxes[i].y1 ||
                                     rects[i].right != boxes[i].x2 || rects[i].bottom != boxes[i].y2)
                                     return "rectangle " + std::to_string(i);
                             return std::string();
                         }};
    });
}

// The cost of a call rather than of its pixels: ten thousand one-pixel PatBlts scattered over a
// 1-bit page, each a whole call (handle lookup, the DC's call lock, mapping, clipping), against
// pixman filling the same pixels one 1 x 1 box at a time.
void AddSmallCallsRace()
{
    AddRace("patblt_10000_single_pixels_1bit", "pixman_fill", [] {
        auto page = std::make_shared<Page>(1);
        auto scratch = std::make_shared<std::vector<uint32_t>>(page->bytes / 4);
        std::memcpy(scratch->data(), page->bits, page->bytes);
        auto spots = std::make_shared<std::vector<POINT>>();
        std::mt19937 rng(11);
        for (int i = 0; i < 10000; ++i) spots->push_back({LONG(rng() % kWidth), LONG(rng() % kHeight)});
        SelectObject(page->dc, GetStockObject(BLACK_BRUSH));
        return RaceSides{[page, spots] {
                             for (const POINT& p : *spots) PatBlt(page->dc, p.x, p.y, 1, 1, PATCOPY);
                         },
                         [page, scratch, spots] {
                             // pixman's 1-bit pixels run from the low bit of each little-endian
                             // word, a DIB's from the high bit of each byte: pixel x is pixman's x ^ 7.
                             for (const POINT& p : *spots)
                                 pixman_fill(scratch->data(), page->stride / 4, 1, p.x ^ 7, p.y, 1, 1, 0);
                         },
                         [page, scratch] {
                             return SameBytes(page->bits, reinterpret_cast<uint8_t*>(scratch->data()), page->bytes);
                         }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    for (int bpp : {1, 24}) AddPatBltRace(bpp);
    for (int bpp : {1, 24}) AddBitBltRace(bpp);
    AddStretchDIBitsRace();
    AddAlphaBlendRace();
    AddRegionRace();
    AddSmallCallsRace();
    return RaceMain(argc, argv);
}
