// The jobs of the whole-process page races, each page described once and written two ways: as
// spoolc text of GDI records for faxrender, and as PostScript for Ghostscript. Both draw the same
// shapes at the same device pixels (A4 at 204 x 196 dpi, the origin at the top left): the same
// characters of Liberation Sans at the same pen positions, the same rectangles, lines (widths,
// dashes, caps and joins), polygons and pie wedges, the same photo pixels stretched the same way.
// What neither can promise is the same pixels: hinting, the pixel rule of fills and how a grey
// becomes black and white are each side's own.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace page_jobs {

constexpr int32_t kWidth = 1728, kHeight = 2292;
constexpr int32_t kTextEm = 30;  // 11 pt at 196 dpi
constexpr const char* kSansFile = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr int32_t kPhotoWidth = 800, kPhotoHeight = 1000;  // a scan of about 100 dpi

enum class Kind { letterPageBounds, letterLineBounds, form, photo };

struct TextLine {
    int32_t baseline;
    std::string chars;
    std::vector<int32_t> xs;  // each character's pen position
    int32_t end;  // the pen position after the last character
};

// Pens of the form: thin solid, wide solid, thin dashed, wide dashed. The wide ones are geometric
// with flat caps and mitred joins, and their dashes are multiples of their width (3 on, 1 off), as
// PostScript is told.
struct PenKind {
    uint32_t style;
    int32_t width;
    const char* postScript;
};
inline constexpr PenKind kPens[] = {
    {0x0, 1, "1 setlinewidth [] 0 setdash 0 setlinecap 0 setlinejoin"},
    {0x12200, 5, "5 setlinewidth [] 0 setdash 0 setlinecap 0 setlinejoin"},
    {0x1, 1, "1 setlinewidth [18 6] 0 setdash 0 setlinecap 0 setlinejoin"},
    {0x12201, 4, "4 setlinewidth [12 4] 0 setdash 0 setlinecap 0 setlinejoin"},
};

struct Rect {
    int32_t left, top, right, bottom;
    int grey;  // 0 black .. 255 white
    int pen;  // index into kPens, framing the rectangle
};

struct Line {
    int32_t x1, y1, x2, y2;
    int pen;
};

struct Polygon {
    std::vector<std::array<int32_t, 2>> points;
    int grey;
    int pen;  // -1: not outlined
};

struct Page {
    std::vector<TextLine> text;
    bool lineBounds = false;  // each text command's bounds its line's, else the page's
    std::vector<Rect> rects;
    std::vector<Line> lines;
    std::vector<Polygon> polygons;
    bool photo = false;
};

struct Random {
    uint32_t seed;
    uint32_t Next(uint32_t n)
    {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    }
};

// Advances of Liberation Sans at the text's size, from the font file as the sample generator
// takes them; empty when the font is missing.
inline std::vector<double> SansAdvances()
{
    std::vector<double> advances;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) return advances;
    if (FT_New_Face(library, kSansFile, 0, &face) == 0) {
        advances.assign(128, 0);
        for (int c = 32; c < 127; ++c)
            if (FT_Load_Char(face, FT_ULong(c), FT_LOAD_NO_SCALE) == 0)
                advances[size_t(c)] = double(face->glyph->advance.x) * kTextEm / face->units_per_EM;
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return advances;
}

// A business letter's page: about 2,900 characters in paragraphs of justified-looking lines.
inline void Letter(Page& page, uint32_t seed, const std::vector<double>& advances)
{
    static const char* const kWords[] = {"the",        "of",        "and",        "to",        "in",        "our",
                                         "your",       "order",     "delivery",   "invoice",   "we",        "would",
                                         "like",       "confirm",   "that",       "shipment",  "arrived",   "on",
                                         "Monday,",    "with",      "all",        "items",     "as",        "agreed.",
                                         "Please",     "find",      "attached",   "copy",      "contract",  "for",
                                         "second",     "quarter",   "prices",     "remain",    "unchanged", "until",
                                         "end",        "year.",     "Should",     "you",       "have",      "any",
                                         "questions,", "do",        "not",        "hesitate",  "contact",   "office.",
                                         "payment",    "is",        "due",        "within",    "thirty",    "days",
                                         "receipt",    "account",   "number",     "reference", "meeting",   "Thursday",
                                         "regards",    "sincerely", "department", "customer",  "service",   "(see",
                                         "above)",     "12",        "2026",       "per",       "cent",      "discount",
                                         "quantity"};
    Random random{seed};
    constexpr int32_t kLeft = 140, kRight = 1588, kLeading = 40;
    int32_t baseline = 240;
    size_t characters = 0;
    int lineInParagraph = 0, paragraphLines = 5;
    while (characters < 2900 && baseline < kHeight - 160) {
        TextLine line{baseline, {}, {}, kLeft};
        double pen = kLeft;
        const bool last = lineInParagraph + 1 == paragraphLines;
        const double width = last ? (kRight - kLeft) * 0.55 : kRight - kLeft;
        while (true) {
            const std::string word = kWords[random.Next(std::size(kWords))];
            double w = 0;
            for (char c : word) w += advances[size_t(c)];
            if (!line.chars.empty()) w += advances[' '];
            if (pen + w > kLeft + width) break;
            for (char c : (line.chars.empty() ? "" : " ") + word) {
                line.xs.push_back(int32_t(std::lround(pen)));
                line.chars += c;
                pen += advances[size_t(c)];
            }
        }
        line.end = int32_t(std::lround(pen));
        characters += line.chars.size();
        page.text.push_back(line);
        baseline += kLeading;
        if (++lineInParagraph == paragraphLines) {
            lineInParagraph = 0;
            paragraphLines = 3 + int(random.Next(5));
            baseline += kLeading;
        }
    }
}

// A filled-in form: a table of 200 framed cells (its header row grey), 500 lines thin and wide,
// solid and dashed, 24 outlined polygons and a pie chart of eight wedges.
inline void Form(Page& page, uint32_t seed)
{
    Random random{seed};
    for (int32_t row = 0; row < 20; ++row)
        for (int32_t column = 0; column < 10; ++column) {
            const int32_t l = 140 + column * 145, t = 130 + row * 34;
            page.rects.push_back({l, t, l + 145, t + 34, row == 0 ? 192 : 255, 0});
        }
    for (int i = 0; i < 500; ++i) {
        static const int kPenOf[] = {0, 0, 2, 1, 3};
        const int32_t x1 = 140 + int32_t(random.Next(1448)), y1 = 860 + int32_t(random.Next(620));
        const int32_t x2 = 140 + int32_t(random.Next(1448)), y2 = i % 3 == 0 ? y1 : 860 + int32_t(random.Next(620));
        page.lines.push_back({x1, y1, x2, y2, kPenOf[i % 5]});
    }
    for (int i = 0; i < 24; ++i) {
        const double cx = 200 + (i % 6) * 140, cy = 1580 + (i / 6) * 150, r = 55 + random.Next(10);
        const int corners = 3 + i % 6;
        Polygon polygon{{}, int(random.Next(4)) * 64, i % 2 ? 0 : 1};
        for (int k = 0; k < corners; ++k) {
            const double a = 2 * M_PI * k / corners + i;
            polygon.points.push_back(
                {int32_t(std::lround(cx + r * std::cos(a))), int32_t(std::lround(cy + r * std::sin(a)))});
        }
        page.polygons.push_back(polygon);
    }
    constexpr double kCx = 1330, kCy = 1800, kR = 240;
    const double shares[] = {0.22, 0.17, 0.14, 0.12, 0.11, 0.10, 0.08, 0.06};
    double from = 0;
    for (int i = 0; i < 8; ++i) {
        const double to = from + shares[i] * 2 * M_PI;
        Polygon wedge{{{int32_t(kCx), int32_t(kCy)}}, 32 * i, 0};
        for (double a = from;; a += M_PI / 90) {
            const double at = std::min(a, to);
            wedge.points.push_back(
                {int32_t(std::lround(kCx + kR * std::cos(at))), int32_t(std::lround(kCy + kR * std::sin(at)))});
            if (at >= to) break;
        }
        page.polygons.push_back(wedge);
        from = to;
    }
}

// The photo's pixels, top row first, red green blue: light and shade (sky over hills and a round
// subject) with sensor grain.
inline std::vector<uint8_t> PhotoPixels()
{
    std::vector<uint8_t> rgb(size_t(kPhotoWidth) * kPhotoHeight * 3);
    uint32_t seed = 2024;
    for (int row = 0; row < kPhotoHeight; ++row)
        for (int x = 0; x < kPhotoWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 27) - 16;
            const double dx = x - 420.0, dy = row - 430.0;
            const bool subject = dx * dx + dy * dy < 220.0 * 220.0;
            const bool hill = row > 700 + 60 * ((x * 7 / 100) % 2 ? 1 : -1) * (x % 100) / 100;
            const int r = subject ? 200 - int(dx / 3) : hill ? 70 + x / 10 : 150 + row / 10;
            const int g = subject ? 150 - int(dy / 4) : hill ? 120 + row / 20 : 190 + row / 12;
            const int b = subject ? 110 : hill ? 50 : 240 - row / 20;
            uint8_t* p = &rgb[(size_t(row) * kPhotoWidth + size_t(x)) * 3];
            for (int v : {r, g, b}) *p++ = uint8_t(std::clamp(v + grain, 0, 255));
        }
    return rgb;
}

inline Page MakePage(Kind kind, uint32_t seed, const std::vector<double>& advances)
{
    Page page;
    switch (kind) {
        case Kind::letterPageBounds: Letter(page, seed, advances); break;
        case Kind::letterLineBounds:
            Letter(page, seed, advances);
            page.lineBounds = true;
            break;
        case Kind::form: Form(page, seed); break;
        case Kind::photo: page.photo = true; break;
    }
    return page;
}

inline std::string Hex(const std::vector<uint8_t>& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex(bytes.size() * 2, '0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        hex[2 * i] = kDigits[bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[bytes[i] & 15];
    }
    return hex;
}

inline void Le32(std::vector<uint8_t>& out, int32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

inline std::string Grey(int grey)
{
    char s[16];
    std::snprintf(s, sizeof s, "0x%08x", 0x80000000u | uint32_t(grey) * 0x010101u);
    return s;
}

// The page as spoolc text: its resources after page_begin, then its commands.
inline std::string SpoolPage(const Page& page, const std::string& photoHex)
{
    const auto n = [](int64_t v) { return std::to_string(v); };
    std::string t = "page_begin width=1728 height=2292 paper_code=9 paper_name=\"A4\"\n";
    if (!page.text.empty())
        t += "font_log id=201 height=-" + n(kTextEm) + " weight=400 italic=0 face=\"Liberation Sans\"\n";
    if (!page.rects.empty() || !page.lines.empty() || !page.polygons.empty())
        for (size_t i = 0; i < std::size(kPens); ++i)
            t += "pen id=" + n(int64_t(i) + 1) + " style=" + n(kPens[i].style) + " width=" + n(kPens[i].width) +
                 " miter_limit=10 brush=0x80000000\n";
    for (const TextLine& line : page.text) {
        std::vector<uint8_t> data;
        for (int32_t x : line.xs) {
            Le32(data, x);
            Le32(data, line.baseline);
        }
        for (char c : line.chars) {
            data.push_back(uint8_t(c));
            data.push_back(0);
        }
        const int32_t top = page.lineBounds ? line.baseline - 28 : 0,
                      bottom = page.lineBounds ? line.baseline + 7 : kHeight;
        const int32_t left = page.lineBounds ? line.xs.front() : 0, right = page.lineBounds ? line.end + 1 : kWidth;
        t += "cmd_text left=" + n(left) + " top=" + n(top) + " right=" + n(right) + " bottom=" + n(bottom) +
             " font=201 clip=0 brush=0x80000000 count=" + n(int64_t(line.chars.size())) +
             " flags=2 mix=13 mix2=11 data=" + Hex(data) + "\n";
    }
    for (const Rect& r : page.rects)
        t += "cmd_rect left=" + n(r.left) + " top=" + n(r.top) + " right=" + n(r.right) + " bottom=" + n(r.bottom) +
             " brush=" + Grey(r.grey) + " pen=" + n(r.pen + 1) + " mix=13\n";
    for (const Line& l : page.lines)
        t += "cmd_line x1=" + n(l.x1) + " y1=" + n(l.y1) + " x2=" + n(l.x2) + " y2=" + n(l.y2) +
             " pen=" + n(l.pen + 1) + " mix=13\n";
    int64_t pathId = 300;
    for (const Polygon& p : page.polygons) {
        std::vector<uint8_t> data;
        Le32(data, 1 | 2 | 8);
        Le32(data, int32_t(p.points.size()));
        int32_t left = kWidth, top = kHeight, right = 0, bottom = 0;
        for (const auto& [x, y] : p.points) {
            Le32(data, x);
            Le32(data, y);
            left = std::min(left, x), top = std::min(top, y), right = std::max(right, x + 1),
            bottom = std::max(bottom, y + 1);
        }
        ++pathId;
        t += "path id=" + n(pathId) + " left=" + n(left) + " top=" + n(top) + " right=" + n(right) +
             " bottom=" + n(bottom) + " subpaths=1 data=" + Hex(data) + "\n";
        t += "cmd_path pen=" + n(p.pen + 1) + " brush=" + Grey(p.grey) + " path=" + n(pathId) +
             " mix=13 background_mix=13 fill_mode=2\n";
    }
    if (page.photo) {
        t += "bitmap id=1 width=" + n(kPhotoWidth) + " height=" + n(kPhotoHeight) +
             " palette_count=0 depth=24 compression=0 data=" + photoHex + "\n";
        t += "cmd_stretchblt src_left=0 src_top=0 src_right=" + n(kPhotoWidth) + " src_bottom=" + n(kPhotoHeight) +
             " left=0 top=0 right=1728 bottom=2292 bitmap=1 rop=0xcccc\n";
    }
    return t + "page_end sheet_width=1728 sheet_height=2292 paper_code=9 paper_name=\"A4\"\n";
}

// The 24-bit bitmap's data as the record carries it: rows from the bottom, blue green red.
inline std::string PhotoBitmapHex(const std::vector<uint8_t>& rgb)
{
    std::vector<uint8_t> bgr(rgb.size());
    const size_t stride = size_t(kPhotoWidth) * 3;  // already a multiple of 4
    for (int row = 0; row < kPhotoHeight; ++row)
        for (size_t x = 0; x < size_t(kPhotoWidth); ++x)
            for (size_t c = 0; c < 3; ++c)
                bgr[size_t(kPhotoHeight - 1 - row) * stride + x * 3 + c] = rgb[size_t(row) * stride + x * 3 + 2 - c];
    return Hex(bgr);
}

inline std::string PostScriptString(const std::string& s)
{
    std::string out = "(";
    for (char c : s) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

// The page in PostScript: device pixels as the unit, the origin at the top left. The photo's
// pixels follow its colorimage as binary.
inline std::string PostScriptPage(const Page& page, const std::vector<uint8_t>& photoRgb)
{
    const auto n = [](int64_t v) { return std::to_string(v); };
    std::string ps = "72 204 div 72 196 div scale 0 2292 translate 1 -1 scale\n";
    if (!page.text.empty())
        ps += "0 setgray /LiberationSans findfont [" + n(kTextEm) + " 0 0 -" + n(kTextEm) + " 0 0] makefont setfont\n";
    for (const TextLine& line : page.text) {
        ps += n(line.xs.front()) + " " + n(line.baseline) + " moveto " + PostScriptString(line.chars) + " [";
        for (size_t i = 0; i < line.xs.size(); ++i)
            ps += n((i + 1 < line.xs.size() ? line.xs[i + 1] : line.end) - line.xs[i]) + " ";
        ps += "] xshow\n";
    }
    char grey[16];
    const auto setGrey = [&grey](int g) {
        std::snprintf(grey, sizeof grey, "%.3f setgray ", g / 255.0);
        return std::string(grey);
    };
    for (const Rect& r : page.rects)
        ps += setGrey(r.grey) + n(r.left) + " " + n(r.top) + " " + n(r.right - r.left) + " " + n(r.bottom - r.top) +
              " rectfill 0 setgray " + kPens[r.pen].postScript + " " + n(r.left) + " .5 add " + n(r.top) + " .5 add " +
              n(r.right - r.left - 1) + " " + n(r.bottom - r.top - 1) + " rectstroke\n";
    if (!page.lines.empty()) ps += "0 setgray\n";
    int current = -1;
    for (const Line& l : page.lines) {
        if (l.pen != current) ps += std::string(kPens[l.pen].postScript) + "\n";
        current = l.pen;
        ps += n(l.x1) + " " + n(l.y1) + " moveto " + n(l.x2) + " " + n(l.y2) + " lineto stroke\n";
    }
    for (const Polygon& p : page.polygons) {
        std::string path = "newpath";
        for (size_t i = 0; i < p.points.size(); ++i)
            path.append(" ")
                .append(n(p.points[i][0]))
                .append(" ")
                .append(n(p.points[i][1]))
                .append(i ? " lineto" : " moveto");
        path += " closepath";
        ps += setGrey(p.grey) + path + " fill\n";
        if (p.pen >= 0) ps += "0 setgray " + std::string(kPens[p.pen].postScript) + " " + path + " stroke\n";
    }
    if (page.photo) {
        ps += "gsave 1728 2292 scale " + n(kPhotoWidth) + " " + n(kPhotoHeight) + " 8 [" + n(kPhotoWidth) + " 0 0 " +
              n(kPhotoHeight) + " 0 0] currentfile false 3 colorimage\n";
        ps.append(reinterpret_cast<const char*>(photoRgb.data()), photoRgb.size());
        ps += "\ngrestore\n";
    }
    return ps + "showpage\n";
}

struct Job {
    std::string spoolText;
    std::string postScript;
};

// A job of `pages` pages of one kind, each page its own (a new seed; the photo the same scan).
inline Job MakeJob(Kind kind, int pages)
{
    const std::vector<double> advances = SansAdvances();
    const std::vector<uint8_t> photo = kind == Kind::photo ? PhotoPixels() : std::vector<uint8_t>{};
    const std::string photoHex = kind == Kind::photo ? PhotoBitmapHex(photo) : std::string{};
    Job job;
    job.spoolText =
        "signature\nstream_version version=2\n"
        "job_header job_flags=0x1 copies=1 res_x=204 res_y=196 extent1_w=1728 extent1_h=2292 "
        "extent2_w=1728 extent2_h=2292\n";
    job.postScript = "%!PS\n";
    for (int i = 0; i < pages; ++i) {
        const Page page = MakePage(kind, 1000 + uint32_t(i), advances);
        job.spoolText += SpoolPage(page, photoHex);
        job.postScript += PostScriptPage(page, photo);
    }
    job.spoolText += "job_end v=1\n";
    return job;
}

}  // namespace page_jobs
