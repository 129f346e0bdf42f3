// Private font installation from memory, then every use of the installed face: fonts of the
// seeds' family "Qvseed" (fuzz/font_seeds.py writes the seeds) in several weights, slants and
// angles are drawn, measured and outlined, and the installation is removed.
#include <cstdint>
#include <vector>

#include "platform/gdi_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (1u << 20)) return 0;
    DWORD faces = 0;
    HANDLE installed = AddFontMemResourceEx(data, DWORD(size), nullptr, &faces);
    if (!installed) return 0;
    static HDC dc = [] {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } target{{40, 96, -48, 1, 1, BI_RGB, 0, 0, 0, 0, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
        void* pixels;
        HDC made = CreateCompatibleDC(nullptr);
        SelectObject(made, CreateDIBSection(made, reinterpret_cast<const BITMAPINFO*>(&target), DIB_RGB_COLORS, &pixels,
                                            nullptr, 0));
        return made;
    }();
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    const LONG styles[][3] = {{-20, 400, 0}, {30, 700, 1}, {-9, 400, 1}};
    for (int s = 0; s < 3; ++s) {
        LOGFONTW log{};
        log.lfHeight = styles[s][0];
        log.lfWeight = styles[s][1];
        log.lfItalic = BYTE(styles[s][2]);
        log.lfEscapement = s * 450;
        const char16_t name[] = u"Qvseed";
        for (int i = 0; name[i]; ++i) log.lfFaceName[i] = name[i];
        HFONT font = CreateFontIndirectW(&log);
        if (!font) continue;
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, s == 1 ? OPAQUE : TRANSPARENT);
        const RECT clip{2, 2, 90, 40};
        ExtTextOutW(dc, 4, 4, ETO_CLIPPED, &clip, u"ABC@x", 5, nullptr);
        const char16_t indices[] = {0, 1, 2, 3, 4, 0xFFFF};
        ExtTextOutW(dc, 4, 24, ETO_GLYPH_INDEX, nullptr, indices, 6, nullptr);
        SIZE extent;
        GetTextExtentPoint32W(dc, u"ABC", 3, &extent);
        TEXTMETRICW tm;
        GetTextMetricsW(dc, &tm);
        for (UINT glyph = 0; glyph < 5; ++glyph) {
            GLYPHMETRICS gm;
            const DWORD need = GetGlyphOutlineW(dc, glyph, GGO_NATIVE | GGO_GLYPH_INDEX, &gm, 0, nullptr, &identity);
            if (need != GDI_ERROR && need > 0 && need < (1u << 20)) {
                std::vector<uint8_t> buffer(need);
                GetGlyphOutlineW(dc, glyph, GGO_NATIVE | GGO_GLYPH_INDEX, &gm, need, buffer.data(), &identity);
            }
        }
        SelectObject(dc, previous);
        DeleteObject(font);
    }
    RemoveFontMemResourceEx(installed);
    return 0;
}
