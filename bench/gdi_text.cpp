// The GDI stand-in's text on a 1-bit fax page: a business letter's page (page_jobs.h) drawn a
// line at a time, each line one ExtTextOutW call whose advances place every character at its own
// pen position, against the same characters drawn one call each, as a caller that gives each
// character its own position would. Both give the same pixels, which the race checks first.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/page_jobs.h"
#include "bench/race.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"

namespace {

using page_jobs::kHeight;
using page_jobs::kWidth;

struct Page {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr, previousFont = nullptr;
    HFONT font = nullptr;
    uint8_t* bits = nullptr;
    Page()
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } info{{40, kWidth, -kHeight, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint8_t*>(p);
        previousBitmap = SelectObject(dc, bitmap);
        LOGFONTW lf{};
        lf.lfHeight = -page_jobs::kTextEm;
        lf.lfWeight = 400;
        const std::u16string face = u"Liberation Sans";
        std::copy(face.begin(), face.end(), lf.lfFaceName);
        font = CreateFontIndirectW(&lf);
        previousFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_BASELINE);
    }
    ~Page()
    {
        SelectObject(dc, previousFont);
        SelectObject(dc, previousBitmap);
        DeleteObject(font);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Clear() { PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS); }
    std::vector<uint8_t> Pixels() const { return std::vector<uint8_t>(bits, bits + size_t(kWidth / 8) * kHeight); }
};

struct Line {
    int32_t baseline;
    std::u16string chars;
    std::vector<int32_t> xs;
    std::vector<INT> advances;
};

std::vector<Line> LetterLines()
{
    const page_jobs::Page page = page_jobs::MakePage(page_jobs::Kind::letterPageBounds, 1, page_jobs::SansAdvances());
    std::vector<Line> lines;
    for (const page_jobs::TextLine& t : page.text) {
        Line line{t.baseline, std::u16string(t.chars.begin(), t.chars.end()), t.xs, {}};
        for (size_t i = 0; i < t.xs.size(); ++i)
            line.advances.push_back(INT((i + 1 < t.xs.size() ? t.xs[i + 1] : t.end) - t.xs[i]));
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

int main(int argc, char** argv)
{
    AddRace("letter_page_runs", "one_call_per_character", [] {
        auto lines = std::make_shared<std::vector<Line>>(LetterLines());
        auto ours = std::make_shared<Page>(), theirs = std::make_shared<Page>();
        return RaceSides{[lines, ours] {
                             ours->Clear();
                             for (const Line& l : *lines)
                                 ExtTextOutW(ours->dc, l.xs.front(), l.baseline, 0, nullptr, l.chars.data(),
                                             UINT(l.chars.size()), l.advances.data());
                             GdiFlush();
                         },
                         [lines, theirs] {
                             theirs->Clear();
                             for (const Line& l : *lines)
                                 for (size_t i = 0; i < l.chars.size(); ++i)
                                     ExtTextOutW(theirs->dc, l.xs[i], l.baseline, 0, nullptr, &l.chars[i], 1, nullptr);
                             GdiFlush();
                         },
                         [ours, theirs] {
                             if (ours->Pixels() == theirs->Pixels()) return std::string();
                             return std::string("the pages differ");
                         }};
    });
    return RaceMain(argc, argv);
}
