#include "tools/spool_layouts/spool_layouts.h"

#include <algorithm>
#include <cstring>

#include "engine/display/cmd_records.h"
#include "engine/spool/spool_records.h"

namespace {

using K = SpoolFieldKind;

SpoolFieldLayout U8(const char* name, uint32_t offset) { return {name, offset, K::U8, 1, 0}; }
SpoolFieldLayout U16(const char* name, uint32_t offset) { return {name, offset, K::U16, 2, 0}; }
SpoolFieldLayout U32(const char* name, uint32_t offset, int64_t def = 0) { return {name, offset, K::U32, 4, def}; }
SpoolFieldLayout I32(const char* name, uint32_t offset) { return {name, offset, K::I32, 4, 0}; }
SpoolFieldLayout U64(const char* name, uint32_t offset) { return {name, offset, K::U64, 8, 0}; }
SpoolFieldLayout Bytes(const char* name, uint32_t offset, uint32_t n) { return {name, offset, K::Bytes, n, 0}; }
SpoolFieldLayout Chars(const char* name, uint32_t offset, uint32_t n) { return {name, offset, K::Chars, n, 0}; }

// A rectangle's four fields at offset, named left top right bottom, or src_left and so on.
std::vector<SpoolFieldLayout> Rect(uint32_t o)
{
    return {I32("left", o), I32("top", o + 4), I32("right", o + 8), I32("bottom", o + 12)};
}
std::vector<SpoolFieldLayout> SourceRect(uint32_t o)
{
    return {I32("src_left", o), I32("src_top", o + 4), I32("src_right", o + 8), I32("src_bottom", o + 12)};
}

// A LOGFONT (60 bytes) at offset.
std::vector<SpoolFieldLayout> LogFont(uint32_t o)
{
    return {I32("height", o),
            I32("width", o + 4),
            I32("escapement", o + 8),
            I32("orientation", o + 12),
            I32("weight", o + 16),
            U8("italic", o + 20),
            U8("underline", o + 21),
            U8("strike_out", o + 22),
            U8("charset", o + 23),
            U8("out_precision", o + 24),
            U8("clip_precision", o + 25),
            U8("quality", o + 26),
            U8("pitch_family", o + 27),
            Chars("face", o + 28, 32)};
}

std::vector<SpoolFieldLayout> JobCommon()
{
    return {U32("job_flags", 8), U32("copies", 12), U32("res_x", 16), U32("res_y", 20)};
}

std::vector<SpoolFieldLayout> Join(std::vector<SpoolFieldLayout> a, const std::vector<SpoolFieldLayout>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Page record fields up to byte 81, shared by every version.
std::vector<SpoolFieldLayout> PageCommon()
{
    return {U32("page_flags", 8),     I32("width", 12),        I32("height", 16),        I32("margin_left", 20),
            I32("margin_top", 24),    I32("margin_right", 28), I32("margin_bottom", 32), I32("scale", 36),
            I32("target_height", 40), U32("overlay_form", 44), U32("page_form", 48),     Bytes("placement", 52, 8),
            U16("paper_code", 60),    U8("mix", 62),           U8("cells", 63),          U8("arrangement", 64),
            U8("poster", 65)};
}

std::vector<SpoolRecordLayout> BuildLayouts()
{
    std::vector<SpoolRecordLayout> t;
    t.push_back({"signature", SpoolRecSignature, kSpoolSignatureVersion, kSpoolSignatureSize, {}, nullptr});
    t.push_back(
        {"stream_version", SpoolRecVersion, 0, kSpoolVersionSize, {U32("version", 8, 2), U32("one", 12, 1)}, nullptr});
    t.push_back({"job_header", SpoolRecJobHeader, 0, kSpoolJobHeaderSizeV0,
                 Join(JobCommon(), {U32("width", 24), U32("height", 28), U16("header_flags", 32),
                                    Bytes("document", 34, 128), U32("blob_size", 164)}),
                 "blob_size"});
    t.push_back({"job_header", SpoolRecJobHeader, 1, kSpoolJobHeaderSizeV1,
                 Join(JobCommon(),
                      {U32("width", 24), U32("height", 28), U32("scale", 32), U64("booklet_margin", 36),
                       U16("value52", 44), U16("header_flags", 46), Bytes("document", 48, 128), U32("blob_size", 176)}),
                 "blob_size"});
    t.push_back(
        {"job_header", SpoolRecJobHeader, 2, kSpoolJobHeaderSizeV2,
         Join(JobCommon(), {I32("extent1_w", 24), I32("extent1_h", 28), I32("extent2_w", 32), I32("extent2_h", 36),
                            U32("scale", 40), U64("booklet_margin", 44), U16("value52", 52), U16("header_flags", 54),
                            Bytes("document", 56, 128), U32("blob_size", 184)}),
         "blob_size"});
    t.push_back({"job_end", SpoolRecJobEnd, 0, kSpoolJobEndSizeV0, {}, nullptr});
    t.push_back({"job_end", SpoolRecJobEnd, 1, kSpoolJobEndSizeV1, {U32("blob_size", 8)}, "blob_size"});
    t.push_back({"page_begin", SpoolRecPageBegin, 0, kSpoolPageBeginSizeV0,
                 Join(PageCommon(), {Chars("paper_name", 66, 16), Bytes("reserved", 82, 2), U32("blob_size", 84)}),
                 "blob_size"});
    for (uint16_t v : {1, 2})
        t.push_back({"page_begin", SpoolRecPageBegin, v, kSpoolPageBeginSizeV1,
                     Join(PageCommon(), {Chars("paper_name", 66, 32), Bytes("reserved", 98, 2), U32("blob_size", 100)}),
                     "blob_size"});
    t.push_back({"page_begin", SpoolRecPageBegin, 3, kSpoolPageBeginSizeV3,
                 Join(PageCommon(), {Chars("paper_name", 66, 32), U8("alignment", 98), U8("flag99", 99),
                                     Bytes("reserved", 100, 4), U32("blob_size", 104)}),
                 "blob_size"});
    t.push_back({"page_end",
                 SpoolRecPageEnd,
                 0,
                 kSpoolPageEndSizeV0,
                 {U16("paper_code", 8), U8("mode", 10), Chars("paper_name", 11, 16), U8("reserved", 27)},
                 nullptr});
    const std::vector<SpoolFieldLayout> sheet = {U32("sheet_width", 8), U32("sheet_height", 12), U32("extent0", 16),
                                                 U32("extent1", 20),    U32("extent2", 24),      U32("extent3", 28),
                                                 U16("paper_code", 32), U8("mode", 34)};
    t.push_back(
        {"page_end", SpoolRecPageEnd, 1, kSpoolPageEndSizeV1, Join(sheet, {Chars("paper_name", 35, 16)}), nullptr});
    t.push_back({"page_end", SpoolRecPageEnd, 2, kSpoolPageEndSizeV2,
                 Join(sheet, {Chars("paper_name", 35, 32), U8("reserved", 67)}), nullptr});
    t.push_back({"form_begin",
                 SpoolRecFormBegin,
                 0,
                 kSpoolFormBeginSize,
                 {U32("id", 8), U32("res_x", 12), U32("res_y", 16), U32("width", 20), U32("height", 24)},
                 nullptr});
    t.push_back({"form_end", SpoolRecFormEnd, 0, kSpoolFormEndSize, {}, nullptr});
    t.push_back(
        {"form_file", SpoolRecFormFile, 0, kSpoolFormFileSize, {U32("id", 8), Chars("file", 12, 256)}, nullptr});
    t.push_back({"form_place",
                 SpoolRecFormPlace,
                 0,
                 kSpoolFormPlaceSize,
                 {U32("id", 8), U32("flags", 12), Bytes("values", 16, 8), U8("mix", 24), U8("alignment", 25),
                  Bytes("reserved", 26, 2)},
                 nullptr});
    t.push_back({"job_data", SpoolRecJobData, 0, 8, {}, nullptr});
    // Drawing commands whose fields the page records reader lays out.
    t.push_back({"cmd_line",
                 CmdOpLine + CMD_RECORD_TYPE_OFFSET,
                 0,
                 kCmdRecordSize[CmdOpLine],
                 {I32("x1", 8), I32("y1", 12), I32("x2", 16), I32("y2", 20), U32("pen", 24), U32("clip", 28),
                  U8("mix", 32), Bytes("reserved", 33, 3)},
                 nullptr});
    t.push_back({"cmd_path",
                 CmdOpPath + CMD_RECORD_TYPE_OFFSET,
                 0,
                 kCmdRecordSize[CmdOpPath],
                 {I32("brush_x", 8), I32("brush_y", 12), U32("pen", 16), U32("brush", 20), U32("clip", 24),
                  U32("path", 28), U8("mix", 32), U8("background_mix", 33), U8("fill_mode", 34), U8("reserved", 35)},
                 nullptr});
    t.push_back(
        {"cmd_rect",
         CmdOpRect + CMD_RECORD_TYPE_OFFSET,
         0,
         kCmdRecordSize[CmdOpRect],
         {I32("left", 8), I32("top", 12), I32("right", 16), I32("bottom", 20), I32("brush_x", 24), I32("brush_y", 28),
          U32("brush", 32), U32("pen", 36), U32("clip", 40), U8("mix", 44), Bytes("reserved", 45, 3)},
         nullptr});
    t.push_back({"cmd_alphablend",
                 CmdOpAlphaBlend + CMD_RECORD_TYPE_OFFSET,
                 0,
                 kCmdRecordSize[CmdOpAlphaBlend],
                 {I32("src_left", 8), I32("src_top", 12), I32("src_right", 16), I32("src_bottom", 20), I32("left", 24),
                  I32("top", 28), I32("right", 32), I32("bottom", 36), U32("clip", 40), U32("bitmap", 44),
                  U16("flags", 48), U8("alpha", 50), U8("reserved", 51)},
                 nullptr});
    t.push_back({"cmd_rectfill",
                 CmdOpRectFill + CMD_RECORD_TYPE_OFFSET,
                 0,
                 kCmdRecordSize[CmdOpRectFill],
                 {I32("left", 8), I32("top", 12), I32("right", 16), I32("bottom", 20), U32("brush", 24)},
                 nullptr});
    // Resource records of the brush, pen and clip stores; their variable parts (dash lengths,
    // rectangles, items) go in "data".
    t.push_back({"brush", SpoolRecBrush, 0, 16, {U32("id", 8), U32("bitmap", 12)}, nullptr});
    t.push_back({"pen",
                 SpoolRecPen,
                 0,
                 32,
                 {U32("id", 8), U32("style", 12), U32("width", 16), U32("miter_limit", 20), U32("brush", 24),
                  U32("dash_count", 28)},
                 nullptr});
    t.push_back({"clip_rects",
                 SpoolRecClipRects,
                 0,
                 32,
                 {U32("id", 8), I32("left", 12), I32("top", 16), I32("right", 20), I32("bottom", 24), U32("count", 28)},
                 nullptr});
    t.push_back({"clip_region", SpoolRecClipRegion, 0, 20, {U32("id", 8), U32("base", 12), U32("count", 16)}, nullptr});
    // The remaining drawing commands; a text record's positions and characters go in "data".
    t.push_back({"cmd_text", CmdOpText + CMD_RECORD_TYPE_OFFSET, 0, kCmdRecordSize[CmdOpText],
                 Join(Rect(8), {I32("brush_x", 24), I32("brush_y", 28), U32("font", 32), U32("clip", 36),
                                U32("brush", 40), U32("count", 44), U16("flags", 48), U8("mix", 50), U8("mix2", 51)}),
                 nullptr});
    t.push_back({"cmd_bitblt", CmdOpBitBlt + CMD_RECORD_TYPE_OFFSET, 0, kCmdRecordSize[CmdOpBitBlt],
                 Join(Rect(8), {I32("src_x", 24), I32("src_y", 28), I32("mask_x", 32), I32("mask_y", 36),
                                I32("brush_x", 40), I32("brush_y", 44), U32("brush", 48), U32("clip", 52),
                                U32("bitmap", 56), U32("mask", 60), U32("rop", 64)}),
                 nullptr});
    t.push_back({"cmd_copybits", CmdOpCopyBits + CMD_RECORD_TYPE_OFFSET, 0, kCmdRecordSize[CmdOpCopyBits],
                 Join({I32("src_x", 8), I32("src_y", 12)}, Join(Rect(16), {U32("clip", 32), U32("bitmap", 36)})),
                 nullptr});
    t.push_back(
        {"cmd_stretchblt", CmdOpStretchBlt + CMD_RECORD_TYPE_OFFSET, 0, kCmdRecordSize[CmdOpStretchBlt],
         Join(Join(SourceRect(8), Rect(24)),
              {I32("brush_x", 40), I32("brush_y", 44), Bytes("reserved", 48, 24), U32("clip", 72), U32("bitmap", 76),
               U32("mask", 80), U32("brush", 84), U16("rop", 88), U8("extra", 90), U8("reserved2", 91)}),
         nullptr});
    t.push_back(
        {"cmd_transparentblt", CmdOpTransparentBlt + CMD_RECORD_TYPE_OFFSET, 0, kCmdRecordSize[CmdOpTransparentBlt],
         Join(Join(SourceRect(8), Rect(24)), {U32("clip", 40), U32("bitmap", 44), U32("colour", 48)}), nullptr});
    // A bitmap's palette (B, G, R, 0 an entry) and rows go in "data"; a path's subpaths (flags,
    // count, then x y pairs) too.
    for (const auto& [name, type] : {std::pair<const char*, uint16_t>{"bitmap", SpoolRecBitmap},
                                     {"bitmap_continued", SpoolRecBitmap | SpoolRecFlagContinued}})
        t.push_back({name,
                     type,
                     0,
                     24,
                     {U32("id", 8), I32("width", 12), I32("height", 16), U16("palette_count", 20), U8("depth", 22),
                      U8("compression", 23)},
                     nullptr});
    t.push_back({"path", SpoolRecPath, 0, 32, Join({U32("id", 8)}, Join(Rect(12), {U32("subpaths", 28)})), nullptr});
    // Fonts: a downloaded bitmap font's head, a logical GDI font (its LOGFONT laid out by field),
    // glyph bitmaps (rows of 32-bit words in "data") and outlines (contours in "data"), and the
    // table pieces of a downloaded TrueType font (tag, length, bytes in "data").
    t.push_back(
        {"font_download", SpoolRecFontDownload, 0, 16, {U32("id", 8), U16("flags", 12), U16("height", 14)}, nullptr});
    t.push_back(
        {"font_download", SpoolRecFontDownload, 1, 20, {U32("id", 8), U32("flags", 12), U32("height", 16)}, nullptr});
    t.push_back({"font_log", SpoolRecFontLog, 0, 72, Join({U32("id", 8)}, LogFont(12)), nullptr});
    t.push_back({"font_log", SpoolRecFontLog, 1, 80,
                 Join({U32("id", 8), U32("flags", 12), U32("base", 16)}, LogFont(20)), nullptr});
    for (const auto& [name, type] :
         {std::pair<const char*, uint16_t>{"glyph", SpoolRecGlyph}, {"glyph_ex", SpoolRecGlyphEx}})
        t.push_back({name,
                     type,
                     0,
                     32,
                     {U16("code", 8), U16("reserved", 10), U32("font", 12), I32("cell_width", 16),
                      I32("cell_height", 20), I32("origin_x", 24), I32("origin_y", 28)},
                     nullptr});
    t.push_back({"glyph_table", SpoolRecGlyphTable, 0, 16, {U32("id", 8), U32("flags", 12)}, nullptr});
    t.push_back(
        {"glyph_table", SpoolRecGlyphTable, 1, 20, {U32("id", 8), U32("flags", 12), U32("glyph_count", 16)}, nullptr});
    t.push_back({"font_data", SpoolRecFontData, 0, 16, {U32("sequence", 8), U32("font", 12)}, nullptr});
    // Records whose payload no reader lays out; they carry it as data, in any version.
    const std::pair<const char*, uint16_t> generic[] = {
        {"reserved64", SpoolRecReserved64},
        {"reserved65", SpoolRecReserved65},
        {"bitmap_more", SpoolRecBitmapMore},
        {"bitmap_more_continued", SpoolRecBitmapMore | SpoolRecFlagContinued},
    };
    for (const auto& [name, type] : generic) t.push_back({name, type, kSpoolAnyVersion, 8, {}, nullptr});
    return t;
}

const SpoolValue* FindValue(const SpoolFields& fields, std::string_view name)
{
    const SpoolValue* found = nullptr;
    for (const auto& [key, value] : fields)
        if (key == name) found = &value;
    return found;
}

int64_t IntegerOf(const SpoolValue& value, std::string_view name)
{
    if (const auto* v = std::get_if<int64_t>(&value.value)) return *v;
    throw SpoolError("field " + std::string(name) + " needs a number");
}

void StoreInteger(uint8_t* p, const SpoolFieldLayout& field, int64_t v)
{
    auto fits = [&](int bits) {
        const int64_t max = (int64_t{1} << bits) - 1;
        return v >= -(int64_t{1} << (bits - 1)) && v <= max;
    };
    switch (field.kind) {
        case K::U8:
            if (!fits(8)) break;
            p[0] = static_cast<uint8_t>(v);
            return;
        case K::U16:
            if (!fits(16)) break;
            StoreLE16(p, static_cast<uint16_t>(v));
            return;
        case K::U32:
        case K::I32:
            if (!fits(32)) break;
            StoreLE32(p, static_cast<uint32_t>(v));
            return;
        case K::U64: StoreLE64(p, static_cast<uint64_t>(v)); return;
        default: break;
    }
    throw SpoolError("value " + std::to_string(v) + " does not fit field " + field.name);
}

}  // namespace

const std::vector<SpoolRecordLayout>& SpoolRecordLayouts()
{
    static const std::vector<SpoolRecordLayout> layouts = BuildLayouts();
    return layouts;
}

const SpoolRecordLayout* SpoolLayoutFind(std::string_view name, int version)
{
    const SpoolRecordLayout* best = nullptr;
    for (const auto& layout : SpoolRecordLayouts()) {
        if (name != layout.name) continue;
        if (layout.version == kSpoolAnyVersion) return &layout;
        if (version >= 0 ? layout.version == version : (!best || layout.version > best->version)) best = &layout;
    }
    return best;
}

const SpoolRecordLayout* SpoolLayoutFind(uint16_t type, uint16_t version)
{
    for (const auto& layout : SpoolRecordLayouts())
        if (layout.type == type && (layout.version == version || layout.version == kSpoolAnyVersion)) return &layout;
    return nullptr;
}

bool SpoolLayoutVersioned(std::string_view name)
{
    int count = 0;
    for (const auto& layout : SpoolRecordLayouts()) count += name == layout.name;
    return count > 1;
}

std::vector<uint8_t> SpoolRecordEncode(const SpoolRecordLayout& layout, const SpoolFields& fields)
{
    for (const auto& entry : fields) {
        const std::string& key = entry.first;
        if (key == "v" || key == "size" || key == "type" || key == "data") continue;
        if (std::none_of(layout.fields.begin(), layout.fields.end(),
                         [&](const SpoolFieldLayout& f) { return key == f.name; }))
            throw SpoolError(std::string(layout.name) + " has no field " + key);
    }
    std::vector<uint8_t> data;
    if (const SpoolValue* v = FindValue(fields, "data")) {
        if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&v->value)) data = *bytes;
        else throw SpoolError("data needs hex bytes");
    }
    uint16_t version = layout.version;
    if (const SpoolValue* v = FindValue(fields, "v")) {
        const int64_t given = IntegerOf(*v, "v");
        if (given < 0 || given > 0xffff) throw SpoolError("version out of range");
        if (layout.version != kSpoolAnyVersion && given != layout.version) throw SpoolError("layout version mismatch");
        version = static_cast<uint16_t>(given);
    } else if (version == kSpoolAnyVersion) {
        version = 0;
    }
    int64_t type = layout.type;
    if (const SpoolValue* v = FindValue(fields, "type")) type = IntegerOf(*v, "type");
    if (type < 0 || type > 0xffff) throw SpoolError("type out of range");

    std::vector<uint8_t> out(layout.fixedSize, 0);
    out.insert(out.end(), data.begin(), data.end());
    int64_t size = static_cast<int64_t>(out.size());
    if (const SpoolValue* v = FindValue(fields, "size")) size = IntegerOf(*v, "size");
    if (size < 0 || size > 0xffffffffll) throw SpoolError("size out of range");
    SpoolRecordHeaderStore(out.data(), {static_cast<uint16_t>(type), version, static_cast<uint32_t>(size)});

    for (const SpoolFieldLayout& field : layout.fields) {
        uint8_t* p = out.data() + field.offset;
        const SpoolValue* value = FindValue(fields, field.name);
        if (field.kind == K::Bytes) {
            if (!value) continue;
            const auto* bytes = std::get_if<std::vector<uint8_t>>(&value->value);
            if (!bytes) throw SpoolError(std::string("field ") + field.name + " needs hex bytes");
            if (bytes->size() > field.length) throw SpoolError(std::string("too many bytes for ") + field.name);
            std::copy(bytes->begin(), bytes->end(), p);
        } else if (field.kind == K::Chars) {
            if (!value) continue;
            const auto* text = std::get_if<std::string>(&value->value);
            if (!text) throw SpoolError(std::string("field ") + field.name + " needs text");
            if (text->size() > field.length) throw SpoolError(std::string("text too long for ") + field.name);
            std::memcpy(p, text->data(), text->size());
        } else if (value) {
            StoreInteger(p, field, IntegerOf(*value, field.name));
        } else if (layout.blobSizeField && std::strcmp(field.name, layout.blobSizeField) == 0) {
            StoreInteger(p, field, static_cast<int64_t>(data.size()));
        } else {
            StoreInteger(p, field, field.defaultValue);
        }
    }
    return out;
}

std::vector<uint8_t> SpoolRawRecord(uint16_t type, uint16_t version, const std::vector<uint8_t>& payload,
                                    int64_t sizeOverride)
{
    std::vector<uint8_t> out(kSpoolRecordHeaderSize + payload.size());
    std::copy(payload.begin(), payload.end(), out.begin() + kSpoolRecordHeaderSize);
    const uint32_t size = sizeOverride >= 0 ? static_cast<uint32_t>(sizeOverride) : static_cast<uint32_t>(out.size());
    SpoolRecordHeaderStore(out.data(), {type, version, size});
    return out;
}

std::vector<uint8_t> SpoolRecordEncodeByName(std::string_view name, const SpoolFields& fields)
{
    int version = -1;
    if (const SpoolValue* v = FindValue(fields, "v")) version = static_cast<int>(IntegerOf(*v, "v"));
    const SpoolRecordLayout* layout = SpoolLayoutFind(name, version);
    if (!layout) throw SpoolError("unknown record " + std::string(name));
    return SpoolRecordEncode(*layout, fields);
}
