// RLE4 and RLE8 bitmaps decoded by CreateDIBitmap against independent decoders run on the same
// BMP file: netpbm's bmptopnm (runs, absolute runs, end of line, end of bitmap) and gdk-pixbuf
// (deltas, short lines and early ends as well; it leaves skipped pixels transparent, where ours
// take colour index 0).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gdi_reference.h"
#include "platform/kernel.h"

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

struct RleImage {
    int width, height, bpp;
    std::vector<COLORREF> palette;
    std::vector<uint8_t> data;

    std::vector<uint8_t> Info() const
    {
        BITMAPINFOHEADER h{40,
                           width,
                           height,
                           1,
                           WORD(bpp),
                           bpp == 8 ? BI_RLE8 : BI_RLE4,
                           DWORD(data.size()),
                           0,
                           0,
                           DWORD(palette.size()),
                           0};
        std::vector<uint8_t> out(40);
        std::memcpy(out.data(), &h, 40);
        for (COLORREF c : palette) {
            uint8_t q[4] = {GetBValue(c), GetGValue(c), GetRValue(c), 0};
            out.insert(out.end(), q, q + 4);
        }
        return out;
    }
    std::vector<uint8_t> File() const
    {
        std::vector<uint8_t> info = Info();
        BITMAPFILEHEADER f{0x4D42, DWORD(14 + info.size() + data.size()), 0, 0, DWORD(14 + info.size())};
        std::vector<uint8_t> out(14);
        std::memcpy(out.data(), &f, 14);
        out.insert(out.end(), info.begin(), info.end());
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }
};

// A random but well-formed stream: runs, absolute runs, ends of lines, and where asked deltas,
// short lines and an early end of bitmap (netpbm refuses those three).
RleImage RandomRle(std::mt19937& rng, int bpp, bool deltas)
{
    RleImage img{int(5 + rng() % 40), int(1 + rng() % 12), bpp, ref::RandomPalette(bpp == 8 ? 256 : 16, rng), {}};
    auto& d = img.data;
    const int maxIndex = bpp == 8 ? 256 : 16;
    int x = 0, y = 0;
    while (y < img.height) {
        int left = img.width - x;
        int choice = int(rng() % 10);
        if (left == 0 || (deltas && choice == 0)) {
            if (deltas && rng() % 3 == 0 && y + 1 < img.height) {
                int dx = left ? int(rng() % (left + 1)) : 0,
                    dy = 1 + int(rng() % (img.height - y - 1 > 0 ? img.height - y - 1 : 1));
                if (y + dy >= img.height) dy = img.height - 1 - y;
                d.insert(d.end(), {0, 2, uint8_t(dx), uint8_t(dy)});
                x += dx;
                y += dy;
                if (dy == 0 && dx == 0) {  // nothing moved: finish the line instead
                    d.insert(d.end(), {0, 0});
                    x = 0, ++y;
                }
                continue;
            }
            if (deltas && rng() % 8 == 0) break;  // early end of bitmap
            d.insert(d.end(), {0, 0});  // end of line (possibly short)
            x = 0, ++y;
            continue;
        }
        if (choice < 6 || left < 3) {
            int n = 1 + int(rng() % std::min(left, 255));
            d.push_back(uint8_t(n));
            d.push_back(uint8_t(rng()));
            x += n;
        } else {
            int n = 3 + int(rng() % (std::min(left, 255) - 2));
            d.push_back(0);
            d.push_back(uint8_t(n));
            size_t bytes = bpp == 8 ? size_t(n) : size_t(n + 1) / 2;
            for (size_t i = 0; i < bytes; ++i) d.push_back(uint8_t(rng() % (bpp == 8 ? maxIndex : 256)));
            if (bytes & 1) d.push_back(0);
            x += n;
        }
    }
    d.insert(d.end(), {0, 1});
    return img;
}

std::string WriteTemp(const std::vector<uint8_t>& bytes)
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/gdi_rle_XXXXXX";
    int fd = mkstemp(path.data());
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
    return path;
}

std::string Run(const std::string& command)
{
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

bool HaveTool(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// bmptopnm's binary PPM, top row first.
std::vector<Rgba> DecodeNetpbm(const std::string& path, int width, int height)
{
    std::string ppm = Run("bmptopnm " + path + " 2>/dev/null");
    std::vector<Rgba> out;
    int w, h, max, consumed = 0;
    if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &consumed) != 3 || w != width || h != height)
        return out;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(ppm.data()) + consumed + 1;
    if (ppm.size() < size_t(consumed + 1 + 3 * w * h)) return out;
    for (int i = 0; i < w * h; ++i) out.push_back({p[3 * i], p[3 * i + 1], p[3 * i + 2], 255});
    return out;
}

// gdk-pixbuf-csource's raw RGBA dump: C string literals holding a 24-byte header and the rows.
std::vector<Rgba> DecodePixbuf(const std::string& path, int width, int height)
{
    std::string text = Run("gdk-pixbuf-csource --raw --name=img " + path + " 2>/dev/null");
    std::vector<uint8_t> bytes;
    size_t body = text.find("{");
    for (size_t i = body == std::string::npos ? text.size() : body; i < text.size(); ++i) {
        if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            i = text.find("*/", i) + 1;
            continue;
        }
        if (text[i] != '"') continue;
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] != '\\') {
                bytes.push_back(uint8_t(text[i]));
                continue;
            }
            char c = text[++i];
            if (c >= '0' && c <= '7') {
                int v = 0, digits = 0;
                while (digits < 3 && text[i] >= '0' && text[i] <= '7') v = v * 8 + (text[i++] - '0'), ++digits;
                --i;
                bytes.push_back(uint8_t(v));
            } else {
                bytes.push_back(uint8_t(c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c));
            }
        }
    }
    std::vector<Rgba> out;
    if (bytes.size() < 24) return out;
    auto be = [&](size_t o) {
        return uint32_t(bytes[o]) << 24 | uint32_t(bytes[o + 1]) << 16 | bytes[o + 2] << 8 | bytes[o + 3];
    };
    uint32_t stride = be(12), w = be(16), h = be(20);
    if (int(w) != width || int(h) != height || bytes.size() < 24 + size_t(stride) * h) return out;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* p = &bytes[24 + y * stride + 4 * x];
            out.push_back({p[0], p[1], p[2], p[3]});
        }
    return out;
}

// Our decode: CreateDIBitmap into 24 bits, copied into a section to read.
bool DecodeOurs(const RleImage& img, std::vector<Rgba>& out)
{
    std::vector<uint8_t> info = img.Info();
    const BITMAPINFO* bi = reinterpret_cast<const BITMAPINFO*>(info.data());
    HBITMAP bitmap = CreateDIBitmap(nullptr, &bi->bmiHeader, CBM_INIT, img.data.data(), bi, DIB_RGB_COLORS);
    if (!bitmap) return false;
    std::mt19937 rng(0);
    ref::Surface target(img.width, img.height, 24, true, rng);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_TRUE(BitBlt(target.dc, 0, 0, img.width, img.height, dc, 0, 0, SRCCOPY));
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    ref::Image pixels = target.Snapshot();
    out.clear();
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            uint32_t v = pixels.Get(x, y);
            out.push_back({uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v), 255});
        }
    return true;
}

void CompareWith(const RleImage& img, const std::vector<Rgba>& oracle, const std::vector<Rgba>& ours, const char* tool)
{
    ASSERT_EQ(oracle.size(), ours.size()) << tool << " could not decode the file";
    const COLORREF zero = img.palette[0];
    int differ = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        Rgba want = oracle[i];
        if (want.a == 0) want = {GetRValue(zero), GetGValue(zero), GetBValue(zero), 255};  // a skipped pixel
        differ += want.r != ours[i].r || want.g != ours[i].g || want.b != ours[i].b;
    }
    EXPECT_EQ(differ, 0) << tool << " bpp " << img.bpp << " " << img.width << "x" << img.height;
}

}  // namespace

TEST(GdiRle, DecodesAsNetpbmDoes)
{
    if (!HaveTool("bmptopnm")) GTEST_SKIP() << "netpbm is not installed";
    std::mt19937 rng(21);
    for (int round = 0; round < 16; ++round) {
        RleImage img = RandomRle(rng, round % 2 ? 4 : 8, false);
        std::string path = WriteTemp(img.File());
        std::vector<Rgba> ours;
        ASSERT_TRUE(DecodeOurs(img, ours));
        CompareWith(img, DecodeNetpbm(path, img.width, img.height), ours, "bmptopnm");
        std::remove(path.c_str());
    }
}

TEST(GdiRle, DecodesDeltasAsGdkPixbufDoes)
{
    if (!HaveTool("gdk-pixbuf-csource")) GTEST_SKIP() << "gdk-pixbuf-csource is not installed";
    std::mt19937 rng(22);
    for (int round = 0; round < 16; ++round) {
        RleImage img = RandomRle(rng, round % 2 ? 4 : 8, true);
        std::string path = WriteTemp(img.File());
        std::vector<Rgba> ours;
        ASSERT_TRUE(DecodeOurs(img, ours));
        CompareWith(img, DecodePixbuf(path, img.width, img.height), ours, "gdk-pixbuf");
        std::remove(path.c_str());
    }
}

TEST(GdiRle, EscapesByHand)
{
    // 6 x 3, RLE8: bottom row "1 1 5 6 7 .", end of line, delta by (2, 1) to (2, 2), a run of 2, end of bitmap.
    std::mt19937 rng(3);
    RleImage img{6, 3, 8, ref::RandomPalette(256, rng), {2, 1, 0, 3, 5, 6, 7, 0, 0, 0, 0, 2, 2, 1, 2, 9, 0, 1}};
    std::vector<Rgba> ours;
    ASSERT_TRUE(DecodeOurs(img, ours));
    auto at = [&](int x, int yFromBottom) {
        const Rgba& p = ours[size_t((2 - yFromBottom) * 6 + x)];
        return RGB(p.r, p.g, p.b);
    };
    EXPECT_EQ(at(0, 0), img.palette[1]);
    EXPECT_EQ(at(2, 0), img.palette[5]);
    EXPECT_EQ(at(4, 0), img.palette[7]);
    EXPECT_EQ(at(5, 0), img.palette[0]);
    EXPECT_EQ(at(3, 1), img.palette[0]);
    EXPECT_EQ(at(1, 2), img.palette[0]);
    EXPECT_EQ(at(2, 2), img.palette[9]);
    EXPECT_EQ(at(3, 2), img.palette[9]);
    EXPECT_EQ(at(4, 2), img.palette[0]);
    // RLE4: a run alternates its two nibbles; an absolute run of 5 nibbles takes 3 bytes and a pad.
    RleImage four{8, 1, 4, ref::RandomPalette(16, rng), {3, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 1}};
    ASSERT_TRUE(DecodeOurs(four, ours));
    const int expected[8] = {1, 2, 1, 3, 4, 5, 6, 7};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(RGB(ours[size_t(x)].r, ours[size_t(x)].g, ours[size_t(x)].b), four.palette[size_t(expected[x])]) << x;
}

TEST(GdiRle, DamagedDataFailsCleanly)
{
    const std::vector<std::vector<uint8_t>> damaged = {
        {4, 1},  // ends before the bitmap is complete
        {5, 1, 0, 1},  // a run past the row
        {0, 4, 1, 2, 3, 4, 0, 1},  // an absolute run past the row (width 3)
        {0, 3, 1, 2},  // an absolute run past the data
        {0, 2, 1, 9, 1, 1, 0, 1},  // a delta below the last row
        {0, 2, 4, 0, 0, 1},  // a delta past the row's end
        {0, 0, 0, 0, 1, 1, 0, 1},  // a run after the last row
        {0, 2, 1},  // a delta cut short
        {},  // no data
    };
    for (size_t i = 0; i < damaged.size(); ++i) {
        RleImage img{3, 2, 8, ref::MonoPalette(), damaged[i]};
        img.palette.resize(256);
        std::vector<Rgba> ours;
        SetLastError(0);
        EXPECT_FALSE(DecodeOurs(img, ours)) << i;
        if (i + 1 < damaged.size()) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA)) << i;
        }
    }
    // Top-down run-length data is not a valid DIB.
    RleImage img{3, 2, 8, ref::MonoPalette(), {3, 1, 0, 0, 3, 1, 0, 1}};
    img.palette.resize(256);
    std::vector<uint8_t> info = img.Info();
    reinterpret_cast<BITMAPINFOHEADER*>(info.data())->biHeight = -2;
    const BITMAPINFO* bi = reinterpret_cast<const BITMAPINFO*>(info.data());
    EXPECT_EQ(CreateDIBitmap(nullptr, &bi->bmiHeader, CBM_INIT, img.data.data(), bi, DIB_RGB_COLORS), nullptr);
}

TEST(GdiRle, StretchDIBitsDrawsRunLengthDataAsCreateDIBitmapDecodesIt)
{
    std::mt19937 rng(31);
    for (int round = 0; round < 8; ++round) {
        RleImage img = RandomRle(rng, round % 2 ? 4 : 8, true);
        std::vector<Rgba> decoded;
        ASSERT_TRUE(DecodeOurs(img, decoded));
        std::vector<uint8_t> info = img.Info();
        ref::Surface target(img.width, img.height, 24, round % 3 == 0, rng);
        ASSERT_EQ(StretchDIBits(target.dc, 0, 0, img.width, img.height, 0, 0, img.width, img.height, img.data.data(),
                                reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY),
                  img.height);
        ref::Image drawn = target.Snapshot();
        int differ = 0;
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                const Rgba& want = decoded[size_t(y * img.width + x)];
                uint32_t v = drawn.Get(x, y);
                differ += RGB(v >> 16, (v >> 8) & 255, v & 255) != RGB(want.r, want.g, want.b);
            }
        EXPECT_EQ(differ, 0) << round;
    }
}
