// Logical fonts: CreateFontIndirectA/W matches a face and keeps it open; SizedFont sets the face
// to the size one DC's mapping asks for, with the synthesised weight and slant and the escapement.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "../../kernel/wide_text.h"
#include "font_internal.h"
#include "font_list.h"
#include "glyph_bitmap_cache.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

constexpr double kMaxPixels = 8192;
constexpr FT_Fixed kSlant = 0x366A;  // FreeType's oblique shear

Font* FontMake(const LOGFONTW& log, bool stock)
{
    std::u16string name(log.lfFaceName, std::find(log.lfFaceName, log.lfFaceName + LF_FACESIZE, u'\0'));
    FaceSource source;
    if (!FontListMatch(name, log.lfWeight, log.lfItalic != 0, log.lfPitchAndFamily, source)) return nullptr;
    Font* font = stock ? new (std::nothrow) Font() : NewObject<Font>();
    if (!font) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (stock) {
        font->destroy = [](Object* o) { delete static_cast<Font*>(o); };
        font->stock = true;
        if (!HandleAdd(font)) {
            delete font;
            return nullptr;
        }
    }
    font->log = log;
    try {
        font->source = source;
        {
            std::lock_guard<std::mutex> guard(FontListLock());
            font->face = FaceTake(source);
        }
        if (!font->face) {
            DestroyObject(font);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return nullptr;
        }
        font->faceWeight = FaceWeight(font->face);
        font->glyphFace = GlyphFaceId(source);
    } catch (...) {
        DestroyObject(font);
        throw;
    }
    font->embolden = log.lfWeight >= FW_SEMIBOLD && font->faceWeight < FW_SEMIBOLD;
    font->slant = log.lfItalic && !(font->face->style_flags & FT_STYLE_FLAG_ITALIC);
    return font;
}

// Matching a face and keeping its name runs through C++ containers: running out of memory there
// is a failed create.
Font* FontCreate(const LOGFONTW& log, bool stock)
{
    try {
        return FontMake(log, stock);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// A shared font made on first use; one that could not be made is tried again on the next, so a
// process that once ran out of memory gets it later.
template <typename Make>
Font* MadeOnFirstUse(std::atomic<Font*>& slot, std::mutex& lock, Make make)
{
    if (Font* font = slot.load(std::memory_order_acquire)) return font;
    std::lock_guard<std::mutex> guard(lock);
    Font* font = slot.load(std::memory_order_relaxed);
    if (!font) {
        font = make();
        slot.store(font, std::memory_order_release);
    }
    return font;
}

// The default font is matched on its first use, so that a program that never draws text never
// starts fontconfig.
Font* DefaultFont()
{
    static std::atomic<Font*> font{nullptr};
    static std::mutex lock;
    return MadeOnFirstUse(font, lock, [] { return FontCreate(LOGFONTW{}, true); });
}

// What a fresh DC holds: a stock record without a face that stands for the default font.
Font* DefaultFontStandIn()
{
    static std::atomic<Font*> standIn{nullptr};
    static std::mutex lock;
    return MadeOnFirstUse(standIn, lock, [] {
        Font* font = new (std::nothrow) Font();
        if (!font) return font;
        font->destroy = [](Object* o) { delete static_cast<Font*>(o); };
        font->stock = true;
        if (!HandleAdd(font)) {
            delete font;
            return static_cast<Font*>(nullptr);
        }
        return font;
    });
}

// The face's cell (ascent plus descent) in font units: OS/2 Windows metrics, else hhea.
void FaceCell(FT_Face face, double& ascent, double& descent)
{
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    } else {
        ascent = face->ascender;
        descent = -face->descender;
    }
    if (ascent + descent <= 0) {
        ascent = face->units_per_EM * 0.8;
        descent = face->units_per_EM * 0.2;
    }
}

double AxisScale(const Dc& dc, bool x)
{
    if (dc.mapMode == MM_TEXT) return 1;
    const double w = x ? dc.windowExt.cx : dc.windowExt.cy;
    const double v = x ? dc.viewportExt.cx : dc.viewportExt.cy;
    return w == 0 ? 1 : std::fabs(v / w);
}

}  // namespace

Font::~Font()
{
    if (face) {
        std::lock_guard<std::mutex> guard(FontListLock());
        FaceGive(source, face);
    }
}

Font* DcFont(const Dc& dc)
{
    if (dc.font && dc.font->kind == Kind::Font && static_cast<Font*>(dc.font)->face) return static_cast<Font*>(dc.font);
    Font* font = DefaultFont();
    if (!font) SetLastError(ERROR_FILE_NOT_FOUND);
    return font;
}

Font* DcAndFont(const DcCall& dc) { return dc ? DcFont(*dc) : nullptr; }

Object* DefaultFontObject() { return DefaultFontStandIn(); }

SizedFont::SizedFont(Font& font, const Dc& dc, const FT_Matrix* extra) : font_(font), guard_(font.lock)
{
    FT_Face face = font.face;
    const LOGFONTW& log = font.log;
    double ascentUnits, descentUnits;
    FaceCell(face, ascentUnits, descentUnits);
    const double upem = face->units_per_EM ? face->units_per_EM : 1000;
    double em;
    if (log.lfHeight < 0) em = -double(log.lfHeight);
    else em = (log.lfHeight == 0 ? 16.0 : double(log.lfHeight)) * upem / (ascentUnits + descentUnits);
    double emX = em;
    if (log.lfWidth != 0) {
        const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        const double average = os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : upem / 2;
        emX = std::fabs(double(log.lfWidth)) * upem / average;
    }
    scale_.xScale = AxisScale(dc, true);
    scale_.yScale = AxisScale(dc, false);
    const double pixelsY = em * scale_.yScale, pixelsX = emX * scale_.xScale;
    if (!(pixelsY <= kMaxPixels && pixelsX <= kMaxPixels)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return;
    }
    const FT_F26Dot6 sizeX = std::max<FT_F26Dot6>(1, std::lround(pixelsX * 64));
    const FT_F26Dot6 sizeY = std::max<FT_F26Dot6>(1, std::lround(pixelsY * 64));
    if (sizeX != font.sizedX || sizeY != font.sizedY) {
        font.sizedX = font.sizedY = 0;
        if (FT_Set_Char_Size(face, sizeX, sizeY, 72, 72)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return;
        }
        font.sizedX = sizeX;
        font.sizedY = sizeY;
    }
    scale_.em = sizeY / 64.0;
    const double unitsToPixels = scale_.em / upem;
    scale_.ascent = std::round(ascentUnits * unitsToPixels);
    scale_.descent = std::round(descentUnits * unitsToPixels);
    const double angle = log.lfEscapement * M_PI / 1800.0;
    scale_.cos = std::cos(angle);
    scale_.sin = std::sin(angle);
    // Shear first (a slanted upright face), then the turn, then the caller's matrix.
    const double shear = font.slant ? kSlant / 65536.0 : 0;
    double m[4] = {scale_.cos, scale_.cos * shear - scale_.sin, scale_.sin, scale_.sin * shear + scale_.cos};
    if (extra) {
        const double e[4] = {extra->xx / 65536.0, extra->xy / 65536.0, extra->yx / 65536.0, extra->yy / 65536.0};
        const double r[4] = {e[0] * m[0] + e[1] * m[2], e[0] * m[1] + e[1] * m[3], e[2] * m[0] + e[3] * m[2],
                             e[2] * m[1] + e[3] * m[3]};
        std::memcpy(m, r, sizeof m);
    }
    FT_Matrix matrix{FT_Fixed(std::lround(m[0] * 65536)), FT_Fixed(std::lround(m[1] * 65536)),
                     FT_Fixed(std::lround(m[2] * 65536)), FT_Fixed(std::lround(m[3] * 65536))};
    FT_Set_Transform(face, &matrix, nullptr);
    matrix_ = matrix;
    ok_ = true;
}

bool SizedFont::Load(uint32_t code, bool glyphIndex, bool hinted)
{
    FT_Face face = font_.face;
    const FT_UInt index = glyphIndex ? code : GlyphIndexOf(face, code);
    const FT_Int32 flags = FT_LOAD_NO_BITMAP | (hinted ? FT_LOAD_TARGET_MONO : FT_LOAD_NO_HINTING);
    if (FT_Load_Glyph(face, index, flags) || face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    if (font_.embolden) FT_GlyphSlot_Embolden(face->glyph);
    return true;
}

FT_UInt GlyphIndexOf(FT_Face face, uint32_t code)
{
    if (!face->charmap || face->charmap->encoding != FT_ENCODING_UNICODE) FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    if (face->charmap && face->charmap->encoding == FT_ENCODING_UNICODE) return FT_Get_Char_Index(face, code);
    if (FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0) {
        FT_UInt index = FT_Get_Char_Index(face, 0xF000 | code);
        return index ? index : FT_Get_Char_Index(face, code);
    }
    return 0;
}

bool TextRunLayout(SizedFont& sized, const WCHAR* text, size_t count, bool glyphIndices, const INT* dx, TextRun& run)
{
    const FontScale& s = sized.scale();
    run.glyphs.resize(count);
    run.origins.resize(count);
    double px = 0, py = 0;  // 26.6, device, y downwards
    for (size_t i = 0; i < count; ++i) {
        uint32_t code = text[i];
        // A surrogate pair is one character; its second half draws nothing and advances nothing.
        if (!glyphIndices && code >= 0xD800 && code < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        const bool low = !glyphIndices && i > 0 && text[i] >= 0xDC00 && text[i] < 0xE000 && text[i - 1] >= 0xD800 &&
                         text[i - 1] < 0xDC00;
        run.glyphs[i] = low ? kNoGlyph : glyphIndices ? code : GlyphIndexOf(sized.font().face, code);
        run.origins[i] = {FT_Pos(std::lround(px)), FT_Pos(std::lround(py))};
        if (low && !dx) continue;
        if (dx) {
            px += dx[i] * s.xScale * 64 * s.cos;
            py -= dx[i] * s.yScale * 64 * s.sin;
        } else if (const GlyphBitmapRef glyph = GlyphBitmapGet(sized, run.glyphs[i]); glyph->loaded) {
            px += glyph->advance.x;
            py -= glyph->advance.y;
        }
    }
    run.advance = {FT_Pos(std::lround(px)), FT_Pos(std::lround(py))};
    return true;
}

std::u16string NarrowTextToWide(LPCSTR text, size_t count, bool glyphIndices)
{
    if (glyphIndices) {
        std::u16string out(count, u'\0');
        for (size_t i = 0; i < count; ++i) out[i] = char16_t(static_cast<unsigned char>(text[i]));
        return out;
    }
    return platform::Utf8ToUtf16(std::string_view(text, count));
}

}  // namespace gdi

using namespace gdi;

HFONT CreateFontIndirectW(const LOGFONTW* log)
{
    if (!log) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Font* font = FontCreate(*log, false);
    return font ? static_cast<HFONT>(font->handle) : nullptr;
}

HFONT CreateFontIndirectA(const LOGFONTA* log)
{
    if (!log) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTW wide;
    std::memcpy(&wide, log, offsetof(LOGFONTA, lfFaceName));
    std::memset(wide.lfFaceName, 0, sizeof wide.lfFaceName);
    const size_t length = std::find(log->lfFaceName, log->lfFaceName + LF_FACESIZE, '\0') - log->lfFaceName;
    try {
        const std::u16string name = platform::Utf8ToUtf16(std::string_view(log->lfFaceName, length));
        std::copy_n(name.begin(), std::min<size_t>(name.size(), LF_FACESIZE - 1), wide.lfFaceName);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateFontIndirectW(&wide);
}

BOOL GetFontRealization(HFONT handle, FontRealization* out)
{
    Object* object = HandleGet(handle, Kind::Font);
    if (!object || !out) {
        if (object) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Font* font = static_cast<Font*>(object);
    if (!font->face && !(font = DefaultFont())) return FALSE;
    *out = FontRealization{};
    std::snprintf(out->family, sizeof out->family, "%s", font->source.family.c_str());
    std::snprintf(out->file, sizeof out->file, "%s", font->source.file.c_str());
    out->faceWeight = font->faceWeight;
    out->emboldened = font->embolden;
    out->slanted = font->slant;
    return TRUE;
}
