#include "text_fixture.h"

#include <freetype/ftsynth.h>
#include <freetype/tttables.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

LOGFONTW MakeLogFont(const wchar_t* face, LONG height, LONG weight, bool italic, LONG escapement, BYTE pitchAndFamily)
{
    LOGFONTW log{};
    log.lfHeight = height;
    log.lfWeight = weight;
    log.lfItalic = italic;
    log.lfEscapement = log.lfOrientation = escapement;
    log.lfPitchAndFamily = pitchAndFamily;
    for (int i = 0; face[i] && i < LF_FACESIZE - 1; ++i) log.lfFaceName[i] = WCHAR(face[i]);
    return log;
}

SelectedFont::SelectedFont(HDC d, const wchar_t* face, LONG height, LONG weight, bool italic, LONG escapement,
                           BYTE pitchAndFamily)
    : dc(d)
{
    LOGFONTW log = MakeLogFont(face, height, weight, italic, escapement, pitchAndFamily);
    font = CreateFontIndirectW(&log);
    previous = SelectObject(dc, font);
}

SelectedFont::~SelectedFont()
{
    SelectObject(dc, previous);
    DeleteObject(font);
}

FontRealization SelectedFont::Realization() const
{
    FontRealization r{};
    GetFontRealization(font, &r);
    return r;
}

namespace {

struct Library {
    FT_Library lib = nullptr;
    Library() { FT_Init_FreeType(&lib); }
    ~Library() { FT_Done_FreeType(lib); }
};

}  // namespace

std::vector<uint8_t> ReferenceMask(const Reference& ref, const std::u16string& text, int x, int y, int width,
                                   int height)
{
    std::vector<uint8_t> mask(size_t(width) * height);
    Library library;
    FT_Face face;
    if (FT_New_Face(library.lib, ref.file.c_str(), 0, &face)) throw std::runtime_error("reference face " + ref.file);
    FT_Set_Char_Size(face, ref.emX, ref.emY, 72, 72);
    const double a = ref.escapementTenths * M_PI / 1800.0, c = std::cos(a), s = std::sin(a);
    const double shear = ref.slant ? 0x366A / 65536.0 : 0;
    FT_Matrix m{FT_Fixed(std::lround(c * 65536)), FT_Fixed(std::lround((c * shear - s) * 65536)),
                FT_Fixed(std::lround(s * 65536)), FT_Fixed(std::lround((s * shear + c) * 65536))};
    FT_Set_Transform(face, &m, nullptr);
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    double px = 0, py = 0;
    for (char16_t ch : text) {
        const long ox = (std::lround(px) + 32) >> 6, oy = (std::lround(py) + 32) >> 6;
        if (FT_Load_Glyph(face, FT_Get_Char_Index(face, ch), FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) == 0) {
            if (ref.embolden) FT_GlyphSlot_Embolden(face->glyph);
            const FT_Vector advance = face->glyph->advance;
            if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) == 0) {
                const FT_Bitmap& b = face->glyph->bitmap;
                const long left = x + ox + face->glyph->bitmap_left, top = y + oy - face->glyph->bitmap_top;
                for (unsigned r = 0; r < b.rows; ++r)
                    for (unsigned col = 0; col < b.width; ++col) {
                        const long X = left + col, Y = top + r;
                        if (X >= 0 && Y >= 0 && X < width && Y < height &&
                            (b.buffer[r * b.pitch + (col >> 3)] & (0x80 >> (col & 7))))
                            mask[size_t(Y) * width + X] = 1;
                    }
            }
            px += advance.x;
            py -= advance.y;
        }
    }
    FT_Done_Face(face);
    return mask;
}

FT_F26Dot6 CellHeightToEm(const std::string& file, int cellHeight)
{
    Library library;
    FT_Face face;
    if (FT_New_Face(library.lib, file.c_str(), 0, &face)) throw std::runtime_error("face " + file);
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double em = double(cellHeight) * face->units_per_EM / (os2->usWinAscent + os2->usWinDescent);
    FT_Done_Face(face);
    return FT_F26Dot6(std::lround(em * 64));
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

namespace {

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    v.insert(v.end(), {uint8_t(x >> 24), uint8_t(x >> 16), uint8_t(x >> 8), uint8_t(x)});
}
void Put16(std::vector<uint8_t>& v, uint16_t x) { v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)}); }

std::vector<uint8_t> NameTable(const std::string& family)
{
    const std::string values[4] = {family, "Regular", family, family};
    const uint16_t ids[4] = {1, 2, 4, 6};
    std::vector<uint8_t> strings, table;
    Put16(table, 0);
    Put16(table, 4);
    Put16(table, 6 + 12 * 4);
    for (int i = 0; i < 4; ++i) {
        Put16(table, 3);
        Put16(table, 1);
        Put16(table, 0x409);
        Put16(table, ids[i]);
        Put16(table, uint16_t(values[i].size() * 2));
        Put16(table, uint16_t(strings.size()));
        for (char c : values[i]) Put16(strings, uint8_t(c));
    }
    table.insert(table.end(), strings.begin(), strings.end());
    return table;
}

}  // namespace

std::vector<uint8_t> RenamedFont(const std::string& file, const std::string& family)
{
    const std::vector<uint8_t> src = ReadFile(file);
    const uint16_t count = Be16(&src[4]);
    struct Table {
        uint32_t tag;
        std::vector<uint8_t> data;
    };
    std::vector<Table> tables;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = &src[12 + 16 * i];
        const uint32_t tag = Be32(e), offset = Be32(e + 8), length = Be32(e + 12);
        if (tag == 0x6E616D65)  // 'name'
            tables.push_back({tag, NameTable(family)});
        else tables.push_back({tag, std::vector<uint8_t>(src.begin() + offset, src.begin() + offset + length)});
    }
    std::vector<uint8_t> out;
    Put32(out, 0x00010000);
    Put16(out, count);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    uint32_t offset = 12 + 16 * count;
    for (const Table& t : tables) {
        Put32(out, t.tag);
        Put32(out, 0);
        Put32(out, offset);
        Put32(out, uint32_t(t.data.size()));
        offset += (uint32_t(t.data.size()) + 3) & ~3u;
    }
    for (const Table& t : tables) {
        out.insert(out.end(), t.data.begin(), t.data.end());
        out.resize((out.size() + 3) & ~size_t(3));
    }
    return out;
}

std::string SystemFontFile(const wchar_t* family, LONG weight)
{
    LOGFONTW log = MakeLogFont(family, -10, weight);
    HFONT font = CreateFontIndirectW(&log);
    FontRealization r{};
    GetFontRealization(font, &r);
    DeleteObject(font);
    return r.file;
}

std::string MaskDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height)
{
    std::string out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool p = a[size_t(y) * width + x], q = b[size_t(y) * width + x];
            out += p && q ? '#' : p ? 'x' : q ? 'o' : '.';
        }
        out += '\n';
    }
    return out;
}
