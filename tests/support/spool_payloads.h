// Payloads of the records the layout table carries as plain data (paths, bitmaps, logical fonts,
// text and the image commands), built field by field for the end-to-end tests and fuzz targets.
// Each returns the bytes behind the record's 8-byte head; record types are the constants below.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

inline constexpr uint16_t kSpoolTextType = 16;
inline constexpr uint16_t kSpoolBitBltType = 19;
inline constexpr uint16_t kSpoolStretchBltType = 21;
inline constexpr uint16_t kSpoolBitmapType = 35;
inline constexpr uint16_t kSpoolFontLogType = 38;  // version 1

struct SpoolPoint {
    int32_t x, y;
};

struct SpoolBox {
    int32_t left, top, right, bottom;
};

// Little-endian 32-bit values, one after another.
std::vector<uint8_t> SpoolLe32(std::initializer_list<int64_t> values);

// A path of closed straight figures; its bounds are worked out from the points.
std::vector<uint8_t> SpoolPathPayload(uint32_t id, const std::vector<std::vector<SpoolPoint>>& figures);

// A bitmap: palette entries as B, G, R, 0 quads, rows stored as given (bottom-up when height > 0).
std::vector<uint8_t> SpoolBitmapPayload(uint32_t id, int32_t width, int32_t height, uint8_t depth,
                                        const std::vector<uint32_t>& paletteRgb, const std::vector<uint8_t>& rows,
                                        uint8_t compression = 0);

// A logical font of the given face and height (negative: character height), weight 400.
std::vector<uint8_t> SpoolFontLogPayload(uint32_t id, const std::string& face, int32_t height, uint32_t flags = 0);

// Text: characters at their own positions, drawn with a font, a clip (0 none) and a brush.
std::vector<uint8_t> SpoolTextPayload(SpoolBox bounds, uint32_t font, uint32_t clip, uint32_t brush,
                                      const std::vector<SpoolPoint>& positions, const std::u16string& chars,
                                      int64_t count = -1, uint8_t mix = 13, uint16_t flags = 2);

// BitBlt of a bitmap to a destination rectangle, from a point of the source.
std::vector<uint8_t> SpoolBitBltPayload(SpoolBox destination, SpoolPoint source, uint32_t bitmap, uint32_t rop = 0xCCCC,
                                        uint32_t clip = 0);

// StretchBlt of a source rectangle of a bitmap onto a destination rectangle.
std::vector<uint8_t> SpoolStretchBltPayload(SpoolBox source, SpoolBox destination, uint32_t bitmap,
                                            uint16_t rop = 0xCCCC, uint32_t clip = 0);
