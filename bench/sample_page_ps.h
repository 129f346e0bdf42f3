// Jobs in spoolc's text form cut into pages, and the PostScript of the same drawing for
// Ghostscript, the anchor of the page benchmarks. Device pixels are the unit and the origin is the
// top left (204 x 196 dpi, A4), as in the records. Rectangles, lines, outlines, pens (widths and
// dashes), clip rectangles and strings are drawn as the records say; pattern brushes become a
// mid grey, region clips are left out and downloaded glyphs are shown in a built-in font at the
// same places and size, which is as much ink and as much work as a user's PostScript would have.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

struct SampleJobText {
    std::string head;                // everything before the first page: header, forms
    std::vector<std::string> pages;  // page_begin .. page_end, each with its resources
    std::string tail;                // job_end
};

inline SampleJobText SampleJobSplit(const std::string& text)
{
    SampleJobText parts;
    std::istringstream in(text);
    std::string line, page;
    bool inPage = false;
    while (std::getline(in, line)) {
        if (line.rfind("page_begin", 0) == 0) inPage = true;
        if (inPage) {
            page += line + "\n";
            if (line.rfind("page_end", 0) == 0) {
                parts.pages.push_back(page);
                page.clear();
                inPage = false;
            }
        } else if (line.rfind("job_end", 0) == 0) {
            parts.tail += line + "\n";
        } else if (parts.pages.empty()) {
            parts.head += line + "\n";
        }
    }
    return parts;
}

namespace sample_ps {

using Fields = std::map<std::string, std::string>;

inline Fields Parse(const std::string& line)
{
    Fields f;
    size_t at = line.find(' ');
    f["record"] = line.substr(0, at);
    while (at != std::string::npos && at < line.size()) {
        const size_t start = line.find_first_not_of(' ', at);
        if (start == std::string::npos) break;
        const size_t eq = line.find('=', start);
        if (eq == std::string::npos) break;
        size_t end;
        std::string value;
        if (eq + 1 < line.size() && line[eq + 1] == '"') {
            end = line.find('"', eq + 2);
            value = line.substr(eq + 2, end - eq - 2);
            if (end != std::string::npos) ++end;
        } else {
            end = line.find(' ', eq);
            value = line.substr(eq + 1, end == std::string::npos ? std::string::npos : end - eq - 1);
        }
        f[line.substr(start, eq - start)] = value;
        at = end;
    }
    return f;
}

inline int64_t Number(const Fields& f, const std::string& key, int64_t otherwise = 0)
{
    const auto it = f.find(key);
    return it == f.end() || it->second.empty() ? otherwise : std::stoll(it->second, nullptr, 0);
}

inline std::vector<uint8_t> Bytes(const Fields& f)
{
    std::vector<uint8_t> bytes;
    const auto it = f.find("data");
    if (it == f.end()) return bytes;
    for (size_t i = 0; i + 1 < it->second.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(it->second.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline int32_t Word(const std::vector<uint8_t>& b, size_t at)
{
    if (at + 4 > b.size()) return 0;
    return static_cast<int32_t>(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                                uint32_t(b[at + 3]) << 24);
}

// A brush field: 0x80BBGGRR is a solid colour, anything else a pattern brush's id.
inline std::string Colour(int64_t brush)
{
    char s[48];
    if ((brush & 0x80000000) == 0) return "0.5 setgray ";
    std::snprintf(s, sizeof s, "%.3f %.3f %.3f setrgbcolor ", double(brush & 0xff) / 255, double((brush >> 8) & 0xff) / 255,
                  double((brush >> 16) & 0xff) / 255);
    return s;
}

struct Pen {
    int64_t width = 1, style = 0, brush = 0x80000000;
    std::vector<int32_t> dashes;
};

inline std::string PenSet(const Pen& pen)
{
    std::string ps = Colour(pen.brush) + std::to_string(pen.width < 1 ? 1 : pen.width) + " setlinewidth [";
    switch (pen.style & 0xf) {
    case 1: ps += "18 6"; break;
    case 2: ps += "3 3"; break;
    case 3: ps += "9 6 3 6"; break;
    case 4: ps += "9 3 3 3 3 3"; break;
    case 7:
        for (int32_t d : pen.dashes) ps += std::to_string(d) + " ";
        break;
    default: break;
    }
    return ps + "] 0 setdash ";
}

inline std::string FontName(const std::string& face, int64_t weight, int64_t italic)
{
    const bool bold = weight >= 600;
    if (face.find("Serif") != std::string::npos)
        return bold ? (italic ? "Times-BoldItalic" : "Times-Bold") : (italic ? "Times-Italic" : "Times-Roman");
    if (face.find("Mono") != std::string::npos)
        return bold ? (italic ? "Courier-BoldOblique" : "Courier-Bold") : (italic ? "Courier-Oblique" : "Courier");
    return bold ? (italic ? "Helvetica-BoldOblique" : "Helvetica-Bold") : (italic ? "Helvetica-Oblique" : "Helvetica");
}

}  // namespace sample_ps

inline std::string SampleToPostScript(const std::string& text)
{
    using namespace sample_ps;
    std::map<int64_t, Pen> pens;
    std::map<int64_t, std::string> fonts;  // id -> "name size"
    std::map<int64_t, std::string> paths, clips;
    std::string ps = "%!PS\n72 204 div 72 196 div scale 0 2292 translate 1 -1 scale 0 setlinejoin\n";
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const Fields f = Parse(line);
        const std::string& record = f.at("record");
        const auto box = [&f] {
            return std::to_string(Number(f, "left")) + " " + std::to_string(Number(f, "top")) + " " +
                   std::to_string(Number(f, "right") - Number(f, "left")) + " " +
                   std::to_string(Number(f, "bottom") - Number(f, "top"));
        };
        const auto clipped = [&](const std::string& drawing) {
            const auto c = clips.find(Number(f, "clip"));
            return c == clips.end() ? drawing + "\n" : "gsave " + c->second + " rectclip " + drawing + " grestore\n";
        };
        if (record == "pen") {
            Pen pen{Number(f, "width", 1), Number(f, "style"), Number(f, "brush", 0x80000000), {}};
            const std::vector<uint8_t> d = Bytes(f);
            for (size_t i = 0; i + 4 <= d.size(); i += 4) pen.dashes.push_back(Word(d, i));
            pens[Number(f, "id")] = pen;
        } else if (record == "font_log") {
            fonts[Number(f, "id")] = FontName(f.count("face") ? f.at("face") : "", Number(f, "weight"), Number(f, "italic")) +
                                     " " + std::to_string(std::llabs(Number(f, "height")));
        } else if (record == "font_download") {
            fonts[Number(f, "id")] = "Helvetica-Bold " + std::to_string(std::llabs(Number(f, "height")));
        } else if (record == "clip_rects") {
            const std::vector<uint8_t> d = Bytes(f);
            std::string rects = "[";
            for (size_t i = 0; i + 16 <= d.size(); i += 16)
                rects += std::to_string(Word(d, i)) + " " + std::to_string(Word(d, i + 4)) + " " +
                         std::to_string(Word(d, i + 8) - Word(d, i)) + " " + std::to_string(Word(d, i + 12) - Word(d, i + 4)) + " ";
            clips[Number(f, "id")] = rects + "]";
        } else if (record == "path") {
            // Each subpath: flags, point count, points.
            const std::vector<uint8_t> d = Bytes(f);
            std::string path = "newpath ";
            size_t at = 0;
            for (int64_t sub = 0; sub < Number(f, "subpaths") && at + 8 <= d.size(); ++sub) {
                const int32_t count = Word(d, at + 4);
                at += 8;
                for (int32_t i = 0; i < count && at + 8 <= d.size(); ++i, at += 8)
                    path += std::to_string(Word(d, at)) + " " + std::to_string(Word(d, at + 4)) + (i ? " lineto " : " moveto ");
                path += "closepath ";
            }
            paths[Number(f, "id")] = path;
        } else if (record == "cmd_rectfill") {
            ps += clipped(Colour(Number(f, "brush")) + box() + " rectfill");
        } else if (record == "cmd_rect") {
            std::string draw = Colour(Number(f, "brush")) + box() + " rectfill";
            if (Number(f, "pen") != 0) draw += " " + PenSet(pens[Number(f, "pen")]) + box() + " rectstroke";
            ps += clipped(draw);
        } else if (record == "cmd_line") {
            ps += clipped(PenSet(pens[Number(f, "pen")]) + "newpath " + std::to_string(Number(f, "x1")) + " " +
                          std::to_string(Number(f, "y1")) + " moveto " + std::to_string(Number(f, "x2")) + " " +
                          std::to_string(Number(f, "y2")) + " lineto stroke");
        } else if (record == "cmd_path") {
            const std::string& path = paths[Number(f, "path")];
            std::string draw = Colour(Number(f, "brush")) + path + (Number(f, "fill_mode") == 2 ? "fill" : "eofill");
            if (Number(f, "pen") != 0) draw += " " + PenSet(pens[Number(f, "pen")]) + path + "stroke";
            ps += clipped(draw);
        } else if (record == "cmd_text") {
            // count positions (x, y), then the characters (16 bits each); positions are cell tops.
            const std::vector<uint8_t> d = Bytes(f);
            const int64_t count = Number(f, "count");
            std::istringstream font(fonts[Number(f, "font")]);
            std::string name;
            int64_t size = 0;
            font >> name >> size;
            std::string draw = Colour(Number(f, "brush")) + "/" + name + " findfont [" + std::to_string(size) + " 0 0 " +
                               std::to_string(-size) + " 0 0] makefont setfont";
            for (int64_t i = 0; i < count && size_t(count * 8 + i * 2 + 2) <= d.size(); ++i) {
                const unsigned code = d[size_t(count * 8 + i * 2)] | unsigned(d[size_t(count * 8 + i * 2 + 1)]) << 8;
                char glyph[48];
                std::snprintf(glyph, sizeof glyph, " %d %lld moveto (\\%03o) show", Word(d, size_t(i * 8)),
                              static_cast<long long>(Word(d, size_t(i * 8 + 4)) + size * 4 / 5),
                              code >= 32 && code < 127 ? code : unsigned('X'));
                draw += glyph;
            }
            ps += clipped(draw);
        } else if (record == "bitmap") {
            // A 24-bit bitmap (rows from the bottom, B G R) is kept for the stretch that follows.
            if (Number(f, "depth") != 24 || Number(f, "palette_count") != 0 || Number(f, "compression") != 0) continue;
            const int64_t w = Number(f, "width"), h = Number(f, "height"), stride = (w * 3 + 3) / 4 * 4;
            const std::string& hex = f.at("data");
            std::string image = std::to_string(w) + " " + std::to_string(h) + " 8 [" + std::to_string(w) + " 0 0 " +
                                std::to_string(h) + " 0 0] currentfile /ASCIIHexDecode filter false 3 colorimage\n";
            for (int64_t row = h - 1; row >= 0; --row) {
                for (int64_t x = 0; x < w; ++x) {
                    const size_t at = size_t((row * stride + x * 3) * 2);
                    image += hex.substr(at + 4, 2) + hex.substr(at + 2, 2) + hex.substr(at, 2);
                }
                image += "\n";
            }
            paths[-Number(f, "id") - 1] = image + ">\n";
        } else if (record == "cmd_stretchblt") {
            const auto image = paths.find(-Number(f, "bitmap") - 1);
            if (image == paths.end()) continue;
            ps += "gsave " + std::to_string(Number(f, "left")) + " " + std::to_string(Number(f, "top")) + " translate " +
                  std::to_string(Number(f, "right") - Number(f, "left")) + " " +
                  std::to_string(Number(f, "bottom") - Number(f, "top")) + " scale\n" + image->second + "grestore\n";
        }
    }
    return ps + "showpage\n";
}

// A scanned photo as a fax carries it: a 24-bit image of 800 x 1000 pixels (about 100 dpi)
// stretched over most of an A4 page, in the sample's job header, without its form.
inline std::string PhotoJobText(const SampleJobText& sample)
{
    constexpr int w = 800, h = 1000;
    std::string text;
    std::istringstream head(sample.head);
    std::string line;
    while (std::getline(head, line))
        if (line.rfind("signature", 0) == 0 || line.rfind("stream_version", 0) == 0 || line.rfind("job_header", 0) == 0)
            text += line + "\n";
    text += "page_begin width=1728 height=2292 paper_code=9 paper_name=\"A4\"\n";
    text += "bitmap id=1 width=800 height=1000 palette_count=0 depth=24 compression=0 data=";
    // Smooth light and shade (a face of sky over hills and a round subject) with sensor grain.
    uint32_t seed = 2024;
    std::string hex;
    hex.reserve(size_t(w) * h * 6);
    char px[8];
    for (int row = h - 1; row >= 0; --row)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 27) - 16;
            const double dx = x - 420.0, dy = row - 430.0;
            const bool subject = dx * dx + dy * dy < 220.0 * 220.0;
            const bool hill = row > 700 + 60 * ((x * 7 / 100) % 2 ? 1 : -1) * (x % 100) / 100;
            int r = subject ? 200 - int(dx / 3) : hill ? 70 + x / 10 : 150 + row / 10;
            int g = subject ? 150 - int(dy / 4) : hill ? 120 + row / 20 : 190 + row / 12;
            int b = subject ? 110 : hill ? 50 : 240 - row / 20;
            const auto clamp = [grain](int v) { return v + grain < 0 ? 0 : v + grain > 255 ? 255 : v + grain; };
            std::snprintf(px, sizeof px, "%02x%02x%02x", clamp(b), clamp(g), clamp(r));
            hex += px;
        }
    text += hex + "\n";
    text += "cmd_stretchblt src_left=0 src_top=0 src_right=800 src_bottom=1000 left=64 top=146 right=1664 bottom=2146 "
            "bitmap=1 rop=0xcccc\n";
    text += "page_end sheet_width=1728 sheet_height=2292 paper_code=9 paper_name=\"A4\"\n";
    return text + sample.tail;
}
