#include "tests/support/spool_payloads.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/display/stores/path_store.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"

namespace {

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

void Append16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

std::vector<uint8_t> SpoolLe32(std::initializer_list<int64_t> values)
{
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return out;
}

std::vector<uint8_t> SpoolPathPayload(uint32_t id, const std::vector<std::vector<SpoolPoint>>& figures)
{
    int64_t l = INT32_MAX, t = INT32_MAX, r = INT32_MIN, b = INT32_MIN;
    for (const auto& f : figures)
        for (SpoolPoint p : f) {
            l = std::min<int64_t>(l, p.x), t = std::min<int64_t>(t, p.y);
            r = std::max<int64_t>(r, p.x), b = std::max<int64_t>(b, p.y);
        }
    if (l > r) l = t = r = b = 0;
    std::vector<uint8_t> out = SpoolLe32({id, l, t, r + 1, b + 1, static_cast<int64_t>(figures.size())});
    for (const auto& f : figures) {
        Append(out, SpoolLe32({PATH_FIGURE_START | PATH_FIGURE_END | PATH_CLOSE, static_cast<int64_t>(f.size())}));
        for (SpoolPoint p : f) Append(out, SpoolLe32({p.x, p.y}));
    }
    return out;
}

std::vector<uint8_t> SpoolBitmapPayload(uint32_t id, int32_t width, int32_t height, uint8_t depth,
                                        const std::vector<uint32_t>& paletteRgb, const std::vector<uint8_t>& rows,
                                        uint8_t compression)
{
    std::vector<uint8_t> out = SpoolLe32({id, width, height});
    Append16(out, static_cast<uint32_t>(paletteRgb.size()));
    out.push_back(depth);
    out.push_back(compression);
    for (uint32_t c : paletteRgb)
        out.insert(out.end(),
                   {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16), 0});
    Append(out, rows);
    return out;
}

std::vector<uint8_t> SpoolFontLogPayload(uint32_t id, const std::string& face, int32_t height, uint32_t flags)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = 400;
    std::memcpy(lf.lfFaceName, face.data(), std::min(face.size(), sizeof lf.lfFaceName - 1));
    std::vector<uint8_t> out = SpoolLe32({id, flags, 0});
    const auto* raw = reinterpret_cast<const uint8_t*>(&lf);
    out.insert(out.end(), raw, raw + sizeof lf);
    return out;
}

std::vector<uint8_t> SpoolTextPayload(SpoolBox bounds, uint32_t font, uint32_t clip, uint32_t brush,
                                      const std::vector<SpoolPoint>& positions, const std::u16string& chars,
                                      int64_t count, uint8_t mix, uint16_t flags)
{
    std::vector<uint8_t> out = SpoolLe32({bounds.left, bounds.top, bounds.right, bounds.bottom, 0, 0, font, clip, brush,
                                          count >= 0 ? count : static_cast<int64_t>(positions.size())});
    Append16(out, flags);
    out.push_back(mix);
    out.push_back(R2_NOP);
    for (SpoolPoint p : positions) Append(out, SpoolLe32({p.x, p.y}));
    for (char16_t c : chars) Append16(out, c);
    return out;
}

std::vector<uint8_t> SpoolBitBltPayload(SpoolBox destination, SpoolPoint source, uint32_t bitmap, uint32_t rop,
                                        uint32_t clip)
{
    return SpoolLe32({destination.left, destination.top, destination.right, destination.bottom, source.x, source.y, 0,
                      0, 0, 0, 0, clip, bitmap, 0, rop});
}

std::vector<uint8_t> SpoolStretchBltPayload(SpoolBox source, SpoolBox destination, uint32_t bitmap, uint16_t rop,
                                            uint32_t clip)
{
    std::vector<uint8_t> out = SpoolLe32({source.left, source.top, source.right, source.bottom, destination.left,
                                          destination.top, destination.right, destination.bottom, 0, 0});
    out.resize(out.size() + 24, 0);
    Append(out, SpoolLe32({clip, bitmap, 0, 0}));
    Append16(out, rop);
    out.insert(out.end(), {0, 0});
    return out;
}
