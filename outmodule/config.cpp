// The module's configuration: its defaults, the symbolic names a flag value may use, and the
// reader of the configuration file's section.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "outmodule/pelvane_job.h"
#include "platform/kernel.h"
#include "platform/profile.h"

const ImoConfig IMO_CONFIG_DEFAULTS = [] {
    ImoConfig config{};
    config.dpiX = 600;
    config.dpiY = 600;
    config.hts = 1;
    config.format = 0x80;
    config.caps = IMO_CAPS_REPEAT_SHEET;
    config.feedEdge = 1;
    config.duplexMode = 1;
    config.mediaFlags = 4;
    config.options = 5;
    config.brushScaleDpi = 150;
    config.penScaleDpi = 300;
    return config;
}();

const ImoSymbol IMO_SYMBOLS[60] = {
    {"IMO_FEEDEDGE_EITHER", IMO_FEEDEDGE_EITHER},
    {"IMO_FEEDEDGE_SHORT", IMO_FEEDEDGE_SHORT},
    {"IMO_FEEDEDGE_LONG", IMO_FEEDEDGE_LONG},
    {"IMO_CAPS_TRIM_BAND", IMO_CAPS_TRIM_BAND},
    {"IMO_CAPS_REPEAT_SHEET", IMO_CAPS_REPEAT_SHEET},
    {"IMO_CAPS_REPEAT_DOC", IMO_CAPS_REPEAT_DOC},
    {"IMO_CAPS_OPT_GRAY", IMO_CAPS_OPT_GRAY},
    {"IMO_CAPS_HETERO_BANDING", IMO_CAPS_HETERO_BANDING},
    {"IMO_CAPS_BAND_SKIP", IMO_CAPS_BAND_SKIP},
    {"IMO_CAPS_OPT_BW", IMO_CAPS_OPT_BW},
    {"IMO_CAPS_TRIM_AREA", IMO_CAPS_TRIM_AREA},
    {"IMO_CAPS_TRIM_PAGE", IMO_CAPS_TRIM_PAGE},
    {"IMO_CAPS_MANUAL_DUPLEX", IMO_CAPS_MANUAL_DUPLEX},
    {"IMO_CAPS_TRIM_LEFT", IMO_CAPS_TRIM_LEFT},
    {"IMO_CAPS_TRIM_RIGHT", IMO_CAPS_TRIM_RIGHT},
    {"IMO_CAPS_TRIM_TOP", IMO_CAPS_TRIM_TOP},
    {"IMO_CAPS_TRIM_BOTTOM", IMO_CAPS_TRIM_BOTTOM},
    {"IMO_CAPS_TRIM_ALIGN", IMO_CAPS_TRIM_ALIGN},
    {"IMO_CAPS_BAND_HEIGHT", IMO_CAPS_BAND_HEIGHT},
    {"IMO_CAPS_TRIM_LIMIT", IMO_CAPS_TRIM_LIMIT},
    {"IMO_CAPS_ORIENTED_MEDIA", IMO_CAPS_ORIENTED_MEDIA},
    {"IMO_MEDIA_MIRRORED", IMO_MEDIA_MIRRORED},
    {"IMO_MEDIA_ROTATE180", IMO_MEDIA_ROTATE180},
    {"IMO_TRANSPARENCY_MODE_MASK", IMO_TRANSPARENCY_MODE_MASK},
    {"IMO_TRANSPARENCY_MODE_BLEND", IMO_TRANSPARENCY_MODE_BLEND},
    {"IMO_OVERSTRIKE_PCT_DEFAULT", IMO_OVERSTRIKE_PCT_DEFAULT},
    {"IMO_OVERSTRIKE_PCT_MIN", IMO_OVERSTRIKE_PCT_MIN},
    {"IMO_OVERSTRIKE_PCT_MAX", IMO_OVERSTRIKE_PCT_MAX},
    {"IMO_DUPLEX_MODE_NORMAL", IMO_DUPLEX_MODE_NORMAL},
    {"IMO_DUPLEX_MODE_ROTATED", IMO_DUPLEX_MODE_ROTATED},
    {"IMO_MANUAL_DUPLEX_REVERSE", IMO_MANUAL_DUPLEX_REVERSE},
    {"IMO_MANUAL_DUPLEX_BIN", IMO_MANUAL_DUPLEX_BIN},
    {"IMO_OPTION_BRUSH_SCALE", 1},
    {"IMO_OPTION_IMAGE_HINTS", 2},
    {"IMO_OPTION_PEN_SCALE", 4},
    {"IMO_OPTION_THINLINE_HINTS", 8},
    {"OCM_COLOR_NONE", OCM_COLOR_NONE},
    {"OCM_COLOR_BGR24", OCM_COLOR_BGR24},
    {"OCM_COLOR_RGB24", OCM_COLOR_RGB24},
    {"OCM_COLOR_BGR32", OCM_COLOR_BGR32},
    {"OCM_COLOR_RGB32", OCM_COLOR_RGB32},
    {"OCM_COLOR_GRAY8", OCM_COLOR_GRAY8},
    {"OCM_COLOR_GRAY4", OCM_COLOR_GRAY4},
    {"OCM_COLOR_GRAY2", OCM_COLOR_GRAY2},
    {"OCM_COLOR_GRAY1", OCM_COLOR_GRAY1},
    {"OCM_COLOR_CMY24", OCM_COLOR_CMY24},
    {"OCM_COLOR_CMY3", OCM_COLOR_CMY3},
    {"OCM_COLOR_CMYK32", OCM_COLOR_CMYK32},
    {"OCM_COLOR_CMYK6", OCM_COLOR_CMYK6},
    {"OCM_COLOR_CMYK4", OCM_COLOR_CMYK4},
    {"OCM_COLOR_CMYK7", OCM_COLOR_CMYK7},
    {"OCM_COLOR_CMYK8", OCM_COLOR_CMYK8},
    {"OCM_COLOR_CMYK16", OCM_COLOR_CMYK16},
    {"OCM_INTENT_PERCEPTUAL", OCM_INTENT_PERCEPTUAL},
    {"OCM_INTENT_SATURATION", OCM_INTENT_SATURATION},
    {"OCM_INTENT_FORCE_OFF", OCM_INTENT_FORCE_OFF},
    {"OCM_INTENT_COLORIMETRIC", OCM_INTENT_COLORIMETRIC},
    {"TRUE", 1},
    {"FALSE", 0},
    {nullptr, 0},
};

namespace {

// Text no configuration value can hold: the profile service returns it for an absent key.
constexpr char kAbsent[] = "!@*&()^&%%22";
constexpr INT kAbsentNumber = 0x7FFFFFFF;

enum class KeyKind { Integer, String, Flags };

struct ConfigKey {
    const char* name;
    KeyKind kind;
    size_t offset;
    size_t width;  // bytes of the field
};

#define IMO_FIELD(field) offsetof(ImoConfig, field), sizeof(ImoConfig::field)

// In the order the section is read.
constexpr ConfigKey kKeys[] = {
    {"dpi.x", KeyKind::Integer, IMO_FIELD(dpiX)},
    {"dpi.y", KeyKind::Integer, IMO_FIELD(dpiY)},
    {"halftone", KeyKind::String, IMO_FIELD(halftone)},
    {"profile", KeyKind::String, IMO_FIELD(profile)},
    {"cmm", KeyKind::Flags, IMO_FIELD(cmm)},
    {"hts", KeyKind::Flags, IMO_FIELD(hts)},
    {"format", KeyKind::Flags, IMO_FIELD(format)},
    {"caps", KeyKind::Flags, IMO_FIELD(caps)},
    {"feededge", KeyKind::Flags, IMO_FIELD(feedEdge)},
    {"duplexMode", KeyKind::Flags, IMO_FIELD(duplexMode)},
    {"mediaFlags", KeyKind::Flags, IMO_FIELD(mediaFlags)},
    {"options", KeyKind::Flags, IMO_FIELD(options)},
    {"manDuplexFlags", KeyKind::Flags, IMO_FIELD(manDuplexFlags)},
    {"manDuplexBin", KeyKind::Integer, IMO_FIELD(manDuplexBin)},
    {"intentText", KeyKind::Flags, IMO_FIELD(intentText)},
    {"intentImage", KeyKind::Flags, IMO_FIELD(intentImage)},
    {"intentGraphics", KeyKind::Flags, IMO_FIELD(intentGraphics)},
    {"preserveKText", KeyKind::Flags, IMO_FIELD(preserveKText)},
    {"preserveKImage", KeyKind::Flags, IMO_FIELD(preserveKImage)},
    {"preserveKGraphics", KeyKind::Flags, IMO_FIELD(preserveKGraphics)},
    {"brightness", KeyKind::Integer, IMO_FIELD(brightness)},
    {"contrast", KeyKind::Integer, IMO_FIELD(contrast)},
    {"errDiff", KeyKind::Flags, IMO_FIELD(errDiff)},
    {"transMode", KeyKind::Flags, IMO_FIELD(transMode)},
    {"brushScaleDpi", KeyKind::Integer, IMO_FIELD(brushScaleDpi)},
    {"penScaleDpi", KeyKind::Integer, IMO_FIELD(penScaleDpi)},
};

#undef IMO_FIELD

// Stores the low bytes of value in a field of 1, 2 or 4 bytes (host order is little-endian).
void FieldStore(ImoConfig* config, const ConfigKey& key, uint64_t value)
{
    auto* field = reinterpret_cast<uint8_t*>(config) + key.offset;
    for (size_t i = 0; i < key.width; ++i) field[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t SymbolValue(const std::string& name)
{
    for (const ImoSymbol* symbol = IMO_SYMBOLS; symbol->name != nullptr; ++symbol)
        if (name == symbol->name) return symbol->value;
    return 0;
}

}  // namespace

uint64_t ImoFlagsParse(const char* text)
{
    uint64_t value = 0;
    const char* p = text;
    while (*p != '\0') {
        while (*p == '|' || *p == ' ') ++p;
        const char* start = p;
        while (*p != '\0' && *p != '|' && *p != ' ') ++p;
        if (p == start) continue;
        const std::string token(start, p);
        const uint64_t number = std::strtoull(token.c_str(), nullptr, 0);
        value |= number != 0 ? number : SymbolValue(token);
    }
    return value;
}

uint32_t ImoConfigParse(const char* path, const char* section, ImoConfig* config)
{
    std::error_code error;
    std::string absolute = std::filesystem::absolute(path, error).string();
    if (error) absolute = path;
    // A path cut to the path limit could name another file: one that long is not opened at all.
    HANDLE file = absolute.size() < IMO_PATH_CHARS
                      ? CreateFileA(absolute.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                      : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        ImxLogEvent(IMX_LOG_WARNING, "ImoConfigParse", "Could not open configuration file, using defaults; pName: %s",
                    absolute.c_str());
        return 1;
    }
    CloseHandle(file);
    config->fileFound = 1;
    for (const ConfigKey& key : kKeys) {
        if (key.kind == KeyKind::Integer) {
            const UINT number = GetPrivateProfileIntA(section, key.name, kAbsentNumber, absolute.c_str());
            if (number != static_cast<UINT>(kAbsentNumber)) FieldStore(config, key, number);
            continue;
        }
        char text[IMO_PATH_CHARS] = {};
        GetPrivateProfileStringA(section, key.name, kAbsent, text, sizeof text, absolute.c_str());
        text[sizeof text - 1] = '\0';
        if (std::strcmp(text, kAbsent) == 0) continue;
        if (key.kind == KeyKind::String) {
            char* field = reinterpret_cast<char*>(config) + key.offset;
            std::memcpy(field, text, IMO_PATH_CHARS);
        } else {
            FieldStore(config, key, ImoFlagsParse(text));
        }
    }
    return 1;
}
