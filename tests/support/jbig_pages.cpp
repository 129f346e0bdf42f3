#include "tests/support/jbig_pages.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

JbigImage Blank(uint32_t width, uint32_t height)
{
    JbigImage image;
    image.width = width;
    image.height = height;
    image.rows.assign(size_t{(width + 7) / 8} * height, 0);
    return image;
}

void SetPixel(JbigImage& image, uint32_t x, uint32_t y)
{
    if (x < image.width && y < image.height) {
        image.rows[size_t{y} * ((image.width + 7) / 8) + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
}

void ClearPadding(JbigImage& image)
{
    if (image.width % 8 == 0) {
        return;
    }
    const size_t rowBytes = (image.width + 7) / 8;
    const uint8_t keep = static_cast<uint8_t>(0xFF << (8 - image.width % 8));
    for (uint32_t y = 0; y < image.height; ++y) {
        image.rows[y * rowBytes + rowBytes - 1] &= keep;
    }
}

// Glyphs of 5 x 7 cells, each cell scale x scale pixels, drawn from random strokes.
void DrawTextLines(JbigImage& image, std::mt19937& random, uint32_t top, uint32_t bottom, uint32_t scale)
{
    const uint32_t margin = std::min<uint32_t>(image.width / 10, 120);
    const uint32_t glyphWidth = 6 * scale;
    const uint32_t lineHeight = 12 * scale;
    for (uint32_t baseY = top; baseY + 7 * scale <= bottom; baseY += lineHeight) {
        uint32_t lineEnd = image.width - margin;
        if (random() % 5 == 0) {
            lineEnd = margin + (lineEnd - margin) * (random() % 100) / 100;  // a short last line
        }
        for (uint32_t x = margin; x + glyphWidth <= lineEnd; x += glyphWidth) {
            if (random() % 7 == 0) {
                continue;  // a space
            }
            const uint32_t strokes = 3 + random() % 3;
            for (uint32_t s = 0; s < strokes; ++s) {
                const bool vertical = random() % 2 == 0;
                const uint32_t cx = random() % 5;
                const uint32_t cy = random() % 7;
                const uint32_t length = 2 + random() % 4;
                for (uint32_t i = 0; i < length; ++i) {
                    const uint32_t gx = vertical ? cx : std::min<uint32_t>(cx + i, 4);
                    const uint32_t gy = vertical ? std::min<uint32_t>(cy + i, 6) : cy;
                    for (uint32_t py = 0; py < scale; ++py) {
                        for (uint32_t px = 0; px < scale; ++px) {
                            SetPixel(image, x + gx * scale + px, baseY + gy * scale + py);
                        }
                    }
                }
            }
        }
    }
}

}  // namespace

JbigImage MakeWhitePage(uint32_t width, uint32_t height) { return Blank(width, height); }

JbigImage MakeBlackPage(uint32_t width, uint32_t height)
{
    JbigImage image = Blank(width, height);
    std::fill(image.rows.begin(), image.rows.end(), 0xFF);
    ClearPadding(image);
    return image;
}

JbigImage MakeNoisePage(uint32_t width, uint32_t height, uint32_t seed)
{
    JbigImage image = Blank(width, height);
    std::mt19937 random(seed);
    for (auto& byte : image.rows) {
        byte = static_cast<uint8_t>(random());
    }
    ClearPadding(image);
    return image;
}

JbigImage MakeRepeatedLinesPage(uint32_t width, uint32_t height, uint32_t seed)
{
    JbigImage image = MakeNoisePage(width, height, seed);
    const size_t rowBytes = (width + 7) / 8;
    std::mt19937 random(seed + 1);
    uint32_t source = 0;
    for (uint32_t y = 1; y < height; ++y) {
        if (random() % 6 != 0) {
            std::copy_n(image.rows.begin() + source * rowBytes, rowBytes, image.rows.begin() + y * rowBytes);
        } else {
            source = y;
        }
    }
    return image;
}

JbigImage MakeTextPage(uint32_t width, uint32_t height, uint32_t seed)
{
    JbigImage image = Blank(width, height);
    std::mt19937 random(seed);
    const uint32_t scale = std::max<uint32_t>(1, width / 700);
    const uint32_t margin = std::min<uint32_t>(height / 12, 150);
    DrawTextLines(image, random, margin, height - margin, scale);
    return image;
}

JbigImage MakeMostlyWhitePage(uint32_t width, uint32_t height, uint32_t seed)
{
    JbigImage image = Blank(width, height);
    std::mt19937 random(seed);
    const uint32_t scale = std::max<uint32_t>(1, width / 700);
    // A letterhead rule, then a few lines of text.
    const uint32_t top = std::min<uint32_t>(height / 20, 100);
    for (uint32_t y = top; y < top + 3 && y < height; ++y) {
        for (uint32_t x = width / 10; x < width - width / 10; ++x) {
            SetPixel(image, x, y);
        }
    }
    DrawTextLines(image, random, top + 10, std::min<uint32_t>(height, top + 10 + 12 * scale * 5), scale);
    return image;
}

JbigImage MakeFormPage(uint32_t width, uint32_t height, uint32_t seed)
{
    JbigImage image = Blank(width, height);
    std::mt19937 random(seed);
    const auto fill = [&image](uint32_t left, uint32_t top, uint32_t right, uint32_t bottom, uint32_t grey) {
        for (uint32_t y = top; y < bottom; ++y)
            for (uint32_t x = left; x < right; ++x)
                if (grey == 0 || (grey == 1 && (x + y) % 2 == 0) || (grey == 2 && x % 4 == 0 && y % 3 == 0))
                    SetPixel(image, x, y);
    };
    for (int i = 0; i < 12; ++i) {
        // Blocks solid, checkered and dotted; rules across and down, one to five pixels thick.
        const uint32_t left = random() % width, top = random() % height;
        const uint32_t right = left + 1 + random() % 200, bottom = top + 1 + random() % 60;
        fill(left, top, std::min(right, width), std::min(bottom, height), random() % 3);
        const uint32_t thick = 1 + random() % 5, y = random() % height, x = random() % width;
        const uint32_t from = random() % (width / 2 + 1), to = width - random() % (width / 2 + 1);
        fill(from, y, to, std::min(y + thick, height), 0);
        const uint32_t downFrom = random() % (height / 2 + 1), downTo = height - random() % (height / 2 + 1);
        fill(x, downFrom, std::min(x + thick, width), downTo, 0);
        // A slanted line.
        const double slope = (static_cast<double>(random() % 200) - 100) / 50;
        const uint32_t x0 = random() % width, y0 = random() % height;
        for (uint32_t step = 0; step < 300; ++step) {
            const int64_t y = static_cast<int64_t>(std::floor(y0 + slope * step));
            for (uint32_t t = 0; t < thick && y >= 0; ++t) SetPixel(image, x0 + step, static_cast<uint32_t>(y) + t);
        }
    }
    ClearPadding(image);
    return image;
}
