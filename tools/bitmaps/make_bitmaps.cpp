// Makes the sending sheet's bitmap resources as packed 24-bit DIBs (bottom-up rows, each padded
// to 4 bytes): 3900, the list views' five 16 x 16 pictures in one strip (0 a group with its
// members shown, 1 a group, 2 a person, 3 a plus sign, 4 a person typed in by hand), and the
// page pictures of the cover-page preview, 3901 portrait and 3902 landscape. Every shape is
// drawn here with integer arithmetic, so the output is the same on every machine.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
    uint8_t r, g, b;
};

const Rgb kWhite{255, 255, 255};
const Rgb kInk{40, 40, 40};
const Rgb kText{150, 150, 150};
const Rgb kBlue{46, 104, 184};
const Rgb kBlueLight{120, 168, 226};
const Rgb kTeal{28, 140, 120};
const Rgb kGreen{36, 150, 60};
const Rgb kOrange{214, 120, 36};

struct Canvas {
    int width, height;
    std::vector<Rgb> pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h), kWhite) {}
    void Put(int x, int y, Rgb c)
    {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[size_t(y) * size_t(width) + size_t(x)] = c;
    }
};

void FillRect(Canvas& canvas, int left, int top, int right, int bottom, Rgb c)
{
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) canvas.Put(x, y, c);
}

// The pixels whose centres lie inside the ellipse of the box, in half-pixel units; with
// upperHalf only the part above the box's middle (a person's shoulders).
void FillEllipse(Canvas& canvas, int left, int top, int right, int bottom, Rgb c, bool upperHalf = false)
{
    const int64_t cx = left + right, cy = top + bottom;  // doubled centre
    const int64_t rx = right - left, ry = bottom - top;  // doubled radii
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const int64_t dx = 2 * x + 1 - cx, dy = 2 * y + 1 - cy;
            if (upperHalf && dy > 0) continue;
            if (dx * dx * ry * ry + dy * dy * rx * rx <= rx * rx * ry * ry) canvas.Put(x, y, c);
        }
}

// A person w wide with the top-left at (x, y): a head, and below it the shoulders as a dome,
// w / 2 + 1 + w / 2 rows in all.
void Person(Canvas& canvas, int x, int y, int w, Rgb c)
{
    FillEllipse(canvas, x + w / 4, y, x + w - w / 4, y + w / 2 + 1, c);
    FillEllipse(canvas, x, y + w / 2 + 1, x + w, y + w / 2 + 1 + w, c, true);
}

void Group(Canvas& canvas, int x, Rgb back, Rgb front)
{
    Person(canvas, x + 6, 1, 10, back);
    Person(canvas, x, 4, 10, front);
}

Canvas ListPictures()
{
    Canvas canvas(80, 16);
    Group(canvas, 0, kBlueLight, kBlue);  // 0: a group whose members are shown
    FillRect(canvas, 11, 12, 16, 13, kInk);  //    with a minus: the group is open
    Group(canvas, 16, kBlueLight, kBlue);  // 1: a group
    FillRect(canvas, 27, 12, 32, 13, kInk);  //    with a plus: the group is closed
    FillRect(canvas, 29, 10, 30, 15, kInk);
    Person(canvas, 32 + 2, 1, 12, kTeal);  // 2: a person from the address book
    FillRect(canvas, 48 + 7, 2, 48 + 9, 14, kGreen);  // 3: a plus sign
    FillRect(canvas, 48 + 2, 7, 48 + 14, 9, kGreen);
    Person(canvas, 64 + 2, 1, 12, kOrange);  // 4: a person typed in by hand
    return canvas;
}

// A sheet of paper with a border, a heading and lines of text, filling the whole picture.
Canvas Page(int width, int height)
{
    Canvas canvas(width, height);
    FillRect(canvas, 0, 0, width, 1, kInk);
    FillRect(canvas, 0, height - 1, width, height, kInk);
    FillRect(canvas, 0, 0, 1, height, kInk);
    FillRect(canvas, width - 1, 0, width, height, kInk);
    const int margin = width / 8;
    FillRect(canvas, margin, margin, width / 2, margin + 3, kInk);
    for (int y = margin + 8, line = 0; y + 2 < height - margin; y += 5, ++line) {
        const int end = line % 5 == 4 ? width / 2 : width - margin - (line % 3) * 3;
        FillRect(canvas, margin, y, end, y + 2, kText);
    }
    return canvas;
}

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

Bytes PackedDib(const Canvas& canvas)
{
    const uint32_t stride = uint32_t((canvas.width * 24 + 31) / 32 * 4);
    Bytes b;
    Put32(b, 40);
    Put32(b, uint32_t(canvas.width));
    Put32(b, uint32_t(canvas.height));  // bottom-up
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);  // BI_RGB
    Put32(b, stride * uint32_t(canvas.height));
    Put32(b, 3780);  // 96 dots per inch
    Put32(b, 3780);
    Put32(b, 0);
    Put32(b, 0);
    for (int y = canvas.height - 1; y >= 0; --y) {
        for (int x = 0; x < canvas.width; ++x) {
            const Rgb c = canvas.pixels[size_t(y) * size_t(canvas.width) + size_t(x)];
            b.push_back(c.b);
            b.push_back(c.g);
            b.push_back(c.r);
        }
        for (uint32_t pad = uint32_t(canvas.width) * 3; pad < stride; ++pad) b.push_back(0);
    }
    return b;
}

void WriteArray(std::FILE* out, int id, const Bytes& bytes)
{
    std::fprintf(out, "\nalignas(4) const unsigned char kBitmap%d[%zu] = {", id, bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) std::fprintf(out, "%s%u,", i % 24 == 0 ? "\n    " : "", bytes[i]);
    std::fprintf(out, "\n};\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bitmaps <output.cpp>\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(
        out,
        "// The sending sheet's bitmaps (packed 24-bit DIBs), made by tools/bitmaps/make_bitmaps; do not edit.\n"
        "#include \"platform/kernel.h\"\n#include \"platform/resources.h\"\n\nnamespace {\n");
    WriteArray(out, 3900, PackedDib(ListPictures()));
    WriteArray(out, 3901, PackedDib(Page(48, 64)));
    WriteArray(out, 3902, PackedDib(Page(64, 48)));
    std::fprintf(out,
                 "\n}  // namespace\n\n"
                 "FAX_RESOURCE_TABLE(VelmoraBitmaps,\n"
                 "    {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(3900), kBitmap3900, sizeof kBitmap3900},\n"
                 "    {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(3901), kBitmap3901, sizeof kBitmap3901},\n"
                 "    {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(3902), kBitmap3902, sizeof kBitmap3902});\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
