// Drawing the cover page on the printer DC: the template style, then the label blocks and the
// picture over it.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "frontend/common/cover_template.h"
#include "frontend/common/file_all.h"
#include "frontend/common/picture.h"
#include "frontend/common/record_rules.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "frontend/coverprint/coverprint.h"
#include "platform/gdi_text.h"

namespace {

void Line(HDC dc, LONG x, LONG y, const std::u16string& text)
{
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

std::u16string Label(const CoverPageLabels& labels, UINT id)
{
    return std::u16string(FieldText(labels.text[id - kCoverLabelFirst]));
}

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

// The label font: the template's face, bold, 1.9 units high, as the style drawing measured it.
HFONT LabelFont(const CoverPrintPage& page, LONG unit)
{
    CoverPageTemplate style;
    CoverPageTemplateRead(page.templatePath.c_str(), page.settings.style, &style);
    LOGFONTW font{};
    font.lfHeight = std::clamp<LONG>(19 * unit / 10, 1, page.geometry.height);
    font.lfWeight = 700;
    font.lfCharSet = style.charset;
    for (int i = 0; i < LF_FACESIZE - 1 && i < 32 && style.fontName[i] != 0; ++i)
        font.lfFaceName[i] = style.fontName[i];
    return CreateFontIndirectW(&font);
}

}  // namespace

void CoverPageDateTimePrint(HDC dc, LONG x, LONG y, LONG lineHeight, const CoverPageLabels& labels)
{
    // The short date and the time as the system's Russian locale writes them by default.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[32];
    char time[32];
    std::strftime(date, sizeof date, "%d.%m.%Y", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    if (time[0] == '0')  // hours without a leading zero
        std::memmove(time, time + 1, std::strlen(time));
    Line(dc, x, y - lineHeight, Label(labels, 8107) + u" " + Ascii(date) + u" " + Ascii(time));
}

void CoverPageSenderPrint(HDC dc, LONG x, LONG y, LONG lineHeight, const CoverPrintPage& page)
{
    const ContactRecord& sender = page.settings.sender;
    const std::u16string_view values[7] = {FieldText(sender.name),       FieldText(sender.company),
                                           FieldText(sender.department), FieldText(sender.phone),
                                           FieldText(sender.fax),        FieldText(sender.email),
                                           FieldText(sender.address)};
    for (UINT i = 0; i < 7; ++i)
        Line(dc, x, y + LONG(i) * lineHeight, Label(page.labels, 8100 + i) + u" " + std::u16string(values[i]));
}

void CoverPageReceiversPrint(HDC dc, LONG x, LONG y, LONG rightX, LONG lineHeight, WORD count,
                             const CoverPrintPage& page)
{
    SetBkMode(dc, OPAQUE);
    if (count > page.geometry.receiverLimit) {
        Line(dc, x, y, Label(page.labels, 8108));
        return;
    }
    BYTE* block = FileReadAll(page.receiversPath.c_str());
    if (!block) return;
    // Only whole records, and no more than the count names.
    const WORD records = RecordCountClamp(block, sizeof(ContactRecord), count);
    auto cell = [&](UINT label, std::u16string_view value) {
        return u"  " + Label(page.labels, label) + u" " + std::u16string(value);
    };
    for (WORD i = 0; i < records; ++i) {
        ContactRecord receiver;
        std::memcpy(&receiver, block + size_t(i) * sizeof receiver, sizeof receiver);
        const LONG top = y + 4 * LONG(i) * lineHeight;
        Line(dc, x, top, cell(8100, FieldText(receiver.name)));
        Line(dc, rightX, top, cell(8105, FieldText(receiver.email)));
        Line(dc, x, top + lineHeight, cell(8101, FieldText(receiver.company)));
        Line(dc, rightX, top + lineHeight, cell(8102, FieldText(receiver.department)));
        Line(dc, x, top + 2 * lineHeight, cell(8103, FieldText(receiver.phone)));
        Line(dc, rightX, top + 2 * lineHeight, cell(8104, FieldText(receiver.fax)));
        Line(dc, x, top + 3 * lineHeight, cell(8106, FieldText(receiver.address)));
    }
    HeapFree(GetProcessHeap(), 0, block);
}

RECT CoverPicturePlace(const CoverPrintGeometry& geometry, LONG pictureWidth, LONG pictureHeight, WORD scale, WORD x,
                       WORD y)
{
    const int64_t percent = std::clamp<int64_t>(scale, 10, 400);
    const int64_t drawnWidth = int64_t(percent * pictureWidth * geometry.deviceFactor / 100.0);
    const int64_t drawnHeight = int64_t(percent * pictureHeight * geometry.deviceFactor / 100.0);
    const int64_t left = int64_t((geometry.width - drawnWidth) * int64_t{std::min<WORD>(x, 100)} / 100.0);
    const int64_t top = int64_t((geometry.height - drawnHeight) * int64_t{std::min<WORD>(y, 100)} / 100.0);
    return RECT{LONG(left), LONG(top), LONG(left + drawnWidth), LONG(top + drawnHeight)};
}

void CoverPageTemplatePrint(HDC dc, const CoverPrintPage& page)
{
    const CoverPrintGeometry& g = page.geometry;
    const LONG unit = std::min(g.width / g.widthDivisor, g.height / g.heightDivisor);
    const RECT sheet{0, 0, g.width, g.height};
    const CoverPageMarks marks =
        CoverPageStyleDraw(dc, sheet, unit, CoverPageReader::Print, page.settings, page.templatePath.c_str());
    const LONG lineHeight = marks.labelHeight;
    const LONG ruleY = g.height - 20 * unit;

    HFONT font = LabelFont(page, unit);
    HGDIOBJ previousFont = SelectObject(dc, font);
    BYTE* countBlock = RegValueRead(HKEY_CURRENT_USER, page.countKey.c_str(), kValueCountPout, sizeof(CountValue));
    CountValue count{};
    if (countBlock) std::memcpy(&count, countBlock, sizeof count);
    if (page.settings.showDateTime) CoverPageDateTimePrint(dc, 15 * unit, ruleY, lineHeight, page.labels);
    if (page.settings.showSender) CoverPageSenderPrint(dc, g.width / 2, ruleY, lineHeight, page);
    if (page.settings.showReceivers && count.contactCount > 0)
        CoverPageReceiversPrint(dc, 15 * unit, marks.anchor.y + lineHeight, g.width / 2, lineHeight, count.contactCount,
                                page);
    if (countBlock) HeapFree(GetProcessHeap(), 0, countBlock);
    SelectObject(dc, previousFont);
    DeleteObject(font);

    // The picture goes last and covers what lies beneath it.
    CoverPicture picture;
    const std::u16string picturePath(FieldText(page.settings.picturePath));
    if (page.settings.pictureOn && CoverPictureRead(picturePath.c_str(), &picture)) {
        const RECT at = CoverPicturePlace(g, picture.width, picture.height, page.settings.pictureScale,
                                          page.settings.pictureX, page.settings.pictureY);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, at.left, at.top, at.right - at.left, at.bottom - at.top, 0, 0, picture.width, picture.height,
                      picture.Bits(), picture.Info(), DIB_RGB_COLORS, SRCCOPY);
    }
}
