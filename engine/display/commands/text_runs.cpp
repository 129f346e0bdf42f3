// Text in runs: a character's device position in a run is the run's start plus the sum of the
// advances before it, mapped by the DC's scale; in a call of its own it is its own logical
// position mapped and rounded. The two agree when the scale is a whole number of pixels per
// logical unit and the baseline is level, which is the common case of a band drawn at the page's
// resolution; one call per run then spares GDI its set-up (font size, clip, layout) per character.
#include "engine/display/commands/text_runs.h"

#include <algorithm>
#include <new>

#include "platform/gdi_text.h"
#include "platform/kernel.h"

namespace {

// Far beyond any page, and small enough that a run's offsets times the scale stay exact in the
// platform's 26.6 arithmetic.
constexpr int64_t kLargestScale = int64_t{1} << 14;

// A half of a surrogate pair is one character with its neighbour in a run and a mark of its own
// alone, so it is drawn alone as before.
bool Surrogate(WCHAR c) { return c >= 0xD800 && c < 0xE000; }

// GDI's text call that could not allocate its glyphs leaves characters out of the band: that is
// the job's lack of memory, as our own run list running out is, and takes the same road to the
// render call. Other failures (a character the font cannot map) leave the rest of the text drawn.
void CharsOut(HDC dc, int x, int y, UINT options, const WCHAR* codes, UINT count, const INT* advances)
{
    if (!ExtTextOutW(dc, x, y, options, nullptr, codes, count, advances) && GetLastError() == ERROR_NOT_ENOUGH_MEMORY)
        throw std::bad_alloc();
}

}  // namespace

bool TextRunsExact(HDC dc, LONG escapement, LONG orientation)
{
    if (escapement != 0 || orientation != 0) return false;
    SIZE window{}, viewport{};
    if (!GetWindowExtEx(dc, &window) || !GetViewportExtEx(dc, &viewport)) return false;
    if (window.cx == 0 || viewport.cx == 0 || (window.cx < 0) != (viewport.cx < 0)) return false;
    const int64_t w = window.cx < 0 ? -int64_t{window.cx} : window.cx,
                  v = viewport.cx < 0 ? -int64_t{viewport.cx} : viewport.cx;
    // Text measures its size at one pixel per unit in MM_TEXT whatever the extents say.
    const int64_t scale = v % w == 0 ? v / w : 0;
    return scale >= 1 && scale <= kLargestScale && (scale == 1 || GetMapMode(dc) != MM_TEXT);
}

void TextCharsOut(HDC dc, const std::vector<TextChar>& chars, bool glyphIndices, bool runs, std::vector<INT>& advances)
{
    const UINT options = glyphIndices ? ETO_GLYPH_INDEX : 0;
    std::vector<WCHAR> codes;
    size_t i = 0;
    while (i < chars.size()) {
        size_t end = i + 1;
        const bool alone = !runs || (!glyphIndices && Surrogate(chars[i].code));
        if (!alone) {
            while (end < chars.size() && chars[end].y == chars[i].y && (glyphIndices || !Surrogate(chars[end].code))) {
                const int64_t step = int64_t{chars[end].x} - chars[end - 1].x;
                if (step < INT32_MIN || step > INT32_MAX) break;
                ++end;
            }
        }
        if (end - i == 1) {
            CharsOut(dc, chars[i].x, chars[i].y, options, &chars[i].code, 1, nullptr);
            i = end;
            continue;
        }
        codes.clear();
        advances.clear();
        for (size_t k = i; k < end; ++k) {
            codes.push_back(chars[k].code);
            advances.push_back(k + 1 < end ? INT(int64_t{chars[k + 1].x} - chars[k].x) : 0);
        }
        CharsOut(dc, chars[i].x, chars[i].y, options, codes.data(), UINT(codes.size()), advances.data());
        i = end;
    }
}
