// The whole render call on jobs whose records the fuzzer's bytes choose: a job header, resources
// (bitmaps, pattern brushes, pens, clips, paths, fonts) and pages of drawing commands, built with
// the spool builder so that most records are well formed and reach the drawing code, with now and
// then a damaged or cut record. The job is rendered through Pelvane into a discarded stream, at a
// band budget and over a kind of stream the first byte picks.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <dlfcn.h>
#include <string>
#include <vector>

#include "engine/job/render_call.h"
#include "tests/support/memory_stream.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"

namespace {

BOOL DiscardWrite(void*, const void*, uint32_t) { return TRUE; }

// The fuzzer's bytes, read front to back; zeros once they run out. Every value is read in a
// statement of its own: the order in which a call's arguments (or an operator's operands) are
// evaluated is the compiler's choice, and the same bytes must make the same job under every
// compiler, since the corpus comes from clang's fuzzing runs and the smoke run replays it with g++.
struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t U8()
    {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    uint32_t U16()
    {
        const uint32_t low = U8();
        return low | uint32_t(U8()) << 8;
    }
    uint32_t Below(uint32_t limit) { return limit == 0 ? 0 : U16() % limit; }
    bool Chance(uint32_t in) { return Below(in) == 0; }
    // A coordinate: mostly on or near the page, now and then far off it.
    int32_t Coord(int32_t extent)
    {
        static const int32_t kFar[] = {INT32_MIN, INT32_MAX, -(1 << 20), 1 << 20, 0x7FFF, -0x8000, -1};
        if (Chance(24)) return kFar[Below(sizeof kFar / sizeof kFar[0])];
        return static_cast<int32_t>(Below(uint32_t(extent) + 32)) - 16;
    }
    std::vector<uint8_t> Take(size_t count)
    {
        std::vector<uint8_t> out;
        for (size_t i = 0; i < count; ++i) out.push_back(U8());
        return out;
    }
};

int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

constexpr uint32_t kBitmapIds = 1, kBrushIds = 5, kPenIds = 9, kClipIds = 13, kPathIds = 17, kFontIds = 21;

struct Job {
    Input in;
    SpoolBuilder b;
    int32_t width, height;

    uint32_t Id(uint32_t first, uint32_t count) { return in.Chance(12) ? in.U16() : first + in.Below(count); }
    uint32_t Colour()
    {
        static const uint32_t kSolid[] = {0x80000000, 0x80FFFFFF, 0x80808080, 0x80C0C0C0, 0x800000FF};
        switch (in.Below(4)) {
            case 0: {
                const uint32_t high = in.U16();
                return 0x80000000 | high << 8 | in.U8();
            }
            case 1: return Id(kBrushIds, 4);
            default: return kSolid[in.Below(5)];
        }
    }
    SpoolBox Box() { return {in.Coord(width), in.Coord(height), in.Coord(width), in.Coord(height)}; }
    SpoolPoint Point() { return {in.Coord(width), in.Coord(height)}; }
    uint32_t Mix() { return in.Chance(4) ? 1 + in.Below(16) : 13; }

    void Bitmap()
    {
        static const uint8_t kDepths[] = {1, 4, 8, 16, 24, 32};
        const uint8_t depth = kDepths[in.Below(6)];
        const int32_t w = 1 + int32_t(in.Below(24)), h = 1 + int32_t(in.Below(24));
        std::vector<uint32_t> palette(depth <= 8 ? in.Below((1u << depth) + 1) : 0);
        for (uint32_t& c : palette) {
            const uint32_t high = in.U16();
            c = high << 8 | in.U8();
        }
        const uint8_t compression = in.Chance(6) ? uint8_t(in.Below(4)) : 0;
        size_t length = size_t((uint32_t(w) * depth + 31) / 32 * 4) * size_t(h);
        if (compression != 0 || in.Chance(10)) length = in.Below(200);
        const uint32_t id = kBitmapIds + in.Below(4);
        const int32_t height = in.Chance(2) ? -h : h;
        const std::vector<uint8_t> rows = in.Take(length);
        b.Raw(kSpoolBitmapType, 0, SpoolBitmapPayload(id, w, height, depth, palette, rows, compression));
    }
    void Brush() { b.Add("brush", {{"id", kBrushIds + in.Below(4)}, {"bitmap", Id(kBitmapIds, 4)}}); }
    void Pen()
    {
        const uint32_t dashes = in.Below(5);
        std::vector<uint8_t> data;
        for (uint32_t i = 0; i < dashes; ++i) {
            const auto d = SpoolLe32({in.Below(40)});
            data.insert(data.end(), d.begin(), d.end());
        }
        b.Add("pen", {{"id", kPenIds + in.Below(4)},
                      {"style", in.Below(9)},
                      {"width", in.Chance(8) ? in.U16() : in.Below(16)},
                      {"miter_limit", in.Below(12)},
                      {"brush", Colour()},
                      {"dash_count", dashes},
                      {"data", data}});
    }
    void Clip()
    {
        const uint32_t count = 1 + in.Below(4);
        std::vector<uint8_t> data;
        SpoolBox bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (uint32_t i = 0; i < count; ++i) {
            SpoolBox r{in.Coord(width), in.Coord(height), 0, 0};
            r.right = Clamp32(int64_t(r.left) + in.Below(400));
            r.bottom = Clamp32(int64_t(r.top) + in.Below(400));
            const auto bytes = SpoolLe32({r.left, r.top, r.right, r.bottom});
            data.insert(data.end(), bytes.begin(), bytes.end());
            bounds = {std::min(bounds.left, r.left), std::min(bounds.top, r.top), std::max(bounds.right, r.right),
                      std::max(bounds.bottom, r.bottom)};
        }
        b.Add("clip_rects", {{"id", kClipIds + in.Below(4)},
                             {"left", bounds.left},
                             {"top", bounds.top},
                             {"right", bounds.right},
                             {"bottom", bounds.bottom},
                             {"count", in.Chance(10) ? count + 1 : count},
                             {"data", data}});
    }
    void Path()
    {
        std::vector<std::vector<SpoolPoint>> figures(1 + in.Below(3));
        for (auto& f : figures) {
            f.resize(2 + in.Below(6));
            for (SpoolPoint& p : f) p = Point();
        }
        b.Raw(SpoolRecPath, 0, SpoolPathPayload(kPathIds + in.Below(4), figures));
    }
    void Font()
    {
        static const char* const kFaces[] = {"Arial", "Times New Roman", "Courier New"};
        const int32_t size = 6 + int32_t(in.Below(80));
        const uint32_t id = kFontIds + in.Below(2);
        const char* face = kFaces[in.Below(3)];
        const int32_t height = in.Chance(2) ? -size : size;
        const uint32_t flags = in.Chance(4) ? in.U8() : 0;
        b.Raw(kSpoolFontLogType, 1, SpoolFontLogPayload(id, face, height, flags));
    }
    void Text()
    {
        const uint32_t count = 1 + in.Below(8);
        std::vector<SpoolPoint> positions(count);
        std::u16string chars;
        SpoolPoint at = Point();
        for (SpoolPoint& p : positions) {
            p = at;
            at.x = Clamp32(int64_t(at.x) + in.Below(40));
            chars.push_back(char16_t(in.Chance(8) ? in.U16() : 0x20 + in.Below(0x5F)));
        }
        const SpoolBox bounds = Box();
        const uint32_t font = Id(kFontIds, 2);
        const uint32_t clip = in.Chance(3) ? Id(kClipIds, 4) : 0;
        const uint32_t brush = Colour();
        const int64_t claimed = in.Chance(12) ? in.U16() : -1;
        const uint8_t mix = uint8_t(Mix());
        b.Raw(kSpoolTextType, 0, SpoolTextPayload(bounds, font, clip, brush, positions, chars, claimed, mix));
    }
    void Command()
    {
        const uint32_t clip = in.Chance(3) ? Id(kClipIds, 4) : 0;
        switch (in.Below(7)) {
            case 0: {
                const SpoolBox r = Box();
                b.Add("cmd_rectfill", {{"left", r.left},
                                       {"top", r.top},
                                       {"right", r.right},
                                       {"bottom", r.bottom},
                                       {"brush", Colour()}});
                break;
            }
            case 1: {
                const SpoolBox r = Box();
                const SpoolPoint o = Point();
                b.Add("cmd_rect", {{"left", r.left},
                                   {"top", r.top},
                                   {"right", r.right},
                                   {"bottom", r.bottom},
                                   {"brush_x", o.x},
                                   {"brush_y", o.y},
                                   {"brush", in.Chance(3) ? 0 : Colour()},
                                   {"pen", in.Chance(2)   ? 0
                                           : in.Chance(2) ? Colour()
                                                          : Id(kPenIds, 4)},
                                   {"clip", clip},
                                   {"mix", Mix()}});
                break;
            }
            case 2: {
                const SpoolPoint a = Point(), z = Point();
                b.Add("cmd_line", {{"x1", a.x},
                                   {"y1", a.y},
                                   {"x2", z.x},
                                   {"y2", z.y},
                                   {"pen", Id(kPenIds, 4)},
                                   {"clip", clip},
                                   {"mix", Mix()}});
                break;
            }
            case 3: {
                const SpoolPoint o = Point();
                b.Add("cmd_path", {{"brush_x", o.x},
                                   {"brush_y", o.y},
                                   {"pen", in.Chance(2) ? 0 : Id(kPenIds, 4)},
                                   {"brush", in.Chance(3) ? 0 : Colour()},
                                   {"clip", clip},
                                   {"path", Id(kPathIds, 4)},
                                   {"mix", Mix()},
                                   {"background_mix", in.Below(17)},
                                   {"fill_mode", in.Below(3)}});
                break;
            }
            case 4: Text(); break;
            case 5: {
                const SpoolBox destination = Box();
                const SpoolPoint source{int32_t(in.Below(30)) - 4, int32_t(in.Below(30)) - 4};
                const uint32_t bitmap = Id(kBitmapIds, 4);
                uint32_t rop = 0xCC0020;
                if (in.Chance(4)) {
                    const uint32_t high = in.U16();
                    rop = high << 8 | in.U8();
                }
                b.Raw(kSpoolBitBltType, 0, SpoolBitBltPayload(destination, source, bitmap, rop, clip));
                break;
            }
            default: {
                const SpoolBox source{int32_t(in.Below(30)) - 4, int32_t(in.Below(30)) - 4, int32_t(in.Below(30)) - 4,
                                      int32_t(in.Below(30)) - 4};
                const SpoolBox destination = Box();
                const uint32_t bitmap = Id(kBitmapIds, 4);
                const uint16_t rop = in.Chance(4) ? uint16_t(in.U16()) : 0xCCCC;
                b.Raw(kSpoolStretchBltType, 0, SpoolStretchBltPayload(source, destination, bitmap, rop, clip));
                break;
            }
        }
    }
    void Record()
    {
        switch (in.Below(16)) {
            case 0: Bitmap(); break;
            case 1: Brush(); break;
            case 2: Pen(); break;
            case 3: Clip(); break;
            case 4: Path(); break;
            case 5: Font(); break;
            case 6: {  // any record type, with bytes of the fuzzer's
                const uint16_t type = uint16_t(in.Below(80));
                const uint16_t version = uint16_t(in.Below(4));
                const auto payload = in.Take(in.Below(96));
                b.Raw(type, version, payload, in.Chance(4) ? int64_t(in.U16()) : -1);
                break;
            }
            case 7: {  // a command cut short: the next record starts inside it
                SpoolBuilder whole;
                std::swap(whole, b);
                Command();
                std::vector<uint8_t> cut = b.Data();
                std::swap(whole, b);
                cut.resize(in.Below(uint32_t(cut.size())));
                b.Bytes(cut);
                break;
            }
            default: Command(); break;
        }
    }
};

}  // namespace

// The module carries coverage counters that libFuzzer reads after every run: once the render call
// unloads it they would be unmapped, so a reference is held here for the whole process.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return dlopen(PELVANE_LIBRARY, RTLD_NOW | RTLD_NODELETE) != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    Job job{{data, size}, {}, 0, 0};
    Input& in = job.in;
    const uint8_t options = in.U8();
    static const int32_t kWidths[] = {1728, 432, 96}, kHeights[] = {2292, 600, 120, 40};
    job.width = kWidths[in.Below(3)];
    job.height = kHeights[in.Below(4)];
    static const int16_t kResolutions[][2] = {{204, 196}, {200, 200}, {204, 98}};
    const auto& res = kResolutions[in.Below(3)];
    const FaxBlock block({"+1 555 0100"}, 1, res[0], res[1]);
    try {
        job.b.Signature().StreamVersion(2).JobHeader({{"copies", 1 + in.Below(2)},
                                                      {"res_x", res[0]},
                                                      {"res_y", res[1]},
                                                      {"extent1_w", job.width},
                                                      {"extent1_h", job.height},
                                                      {"extent2_w", job.width},
                                                      {"extent2_h", job.height},
                                                      {"data", block.bytes}});
        const uint32_t pages = 1 + in.Below(3);
        for (uint32_t page = 0; page < pages; ++page) {
            for (uint32_t i = in.Below(4); i > 0; --i) job.Record();
            job.b.PageBegin({{"width", job.width}, {"height", job.height}, {"paper_code", 9}, {"paper_name", "A4"}});
            for (uint32_t i = in.Below(24); i > 0; --i) job.Record();
            job.b.PageEnd(
                {{"sheet_width", job.width}, {"sheet_height", job.height}, {"paper_code", 9}, {"paper_name", "A4"}});
        }
        job.b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    } catch (const SpoolError&) {
        return 0;  // a value the layout cannot hold: not a job
    }
    static const uint32_t kChunks[] = {0, 1, 3, 64};
    static const uint32_t kBudgets[] = {0, 48 * 1024, 64 * 1024, 256 * 1024};
    MemoryStream memory(job.b.Data(), (options & 1) == 0, kChunks[(options >> 1) & 3]);
    RenderOptions renderOptions{};
    renderOptions.bandMemory = kBudgets[(options >> 3) & 3];
    if (options & 0x20) renderOptions.flags |= RENDER_FLAG_MONOCHROME;
    renderOptions.textureEntries = 64;  // the default pool of 32768 entries would dominate every run
    ImeRender("pelvane", 7, nullptr, PELVANE_LIBRARY, &renderOptions, nullptr, &memory, nullptr, MemoryStreamRead,
              memory.seekable ? MemoryStreamSeek : nullptr, DiscardWrite);
    return 0;
}
