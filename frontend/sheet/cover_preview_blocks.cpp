// The information blocks of the miniature, greeked in the label font on the template's working
// page: the date and time on the bottom rule, the sender in the right half below it, and the
// receivers below the template's last line.
#include <cstdio>
#include <string>

#include "frontend/common/cover_template.h"
#include "frontend/common/record_rules.h"
#include "frontend/common/text_rules.h"
#include "frontend/sheet/cover_preview.h"
#include "frontend/sheet/preview_layout.h"
#include "platform/gdi_text.h"

namespace {

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

std::u16string Labelled(const char* label, std::u16string_view value) { return Ascii(label) + std::u16string(value); }

void Clipped(HDC dc, LONG x, LONG y, const RECT& page, const std::u16string& text)
{
    ExtTextOutW(dc, x, y, ETO_CLIPPED, &page, text.c_str(), static_cast<UINT>(text.size()), nullptr);
}

// "Sarvic", weight 400, height 1, two wide after a drawn subject: the label font the style
// drawing measured.
HFONT LabelFont(const FaxSheetState* state, bool subjectDrawn)
{
    CoverPageTemplate style;
    CoverPageTemplateRead(CoverTemplatePath(state).c_str(), state->settings->style, &style);
    LOGFONTW font{};
    font.lfHeight = 1;
    font.lfWidth = subjectDrawn ? 2 : 1;
    font.lfWeight = 400;
    font.lfCharSet = style.charset;
    std::u16string(u"Sarvic").copy(font.lfFaceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&font);
}

// Three rows one label line apart; false once a row would reach the bottom rule.
bool ReceiverDraw(HDC dc, const ContactRecord& receiver, LONG x, LONG rightX, LONG& y, LONG lineHeight, LONG rule,
                  const RECT& page)
{
    const struct {
        const char* left;
        std::u16string_view leftValue;
        const char* right;
        std::u16string_view rightValue;
    } rows[] = {{" USER: ", FieldText(receiver.name), " EMAIL: ", FieldText(receiver.email)},
                {" PHONE NO.: ", FieldText(receiver.phone), " FAX NO.: ", FieldText(receiver.fax)},
                {" ADDRESS: ", FieldText(receiver.address), nullptr, {}}};
    for (const auto& row : rows) {
        if (y + lineHeight > rule) return false;
        Clipped(dc, x, y, page, Labelled(row.left, row.leftValue));
        if (row.right) Clipped(dc, rightX, y, page, Labelled(row.right, row.rightValue));
        y += lineHeight;
    }
    return true;
}

// The typed receivers, the members of the chosen groups in address-book order (each once, as the
// send list gets them) and the moved contacts, until the rows reach the bottom rule.
void CoverPageReceiversDraw(HDC dc, FaxSheetState* state, int pageClass, POINT at, LONG rightX, LONG lineHeight,
                            LONG rule, const RECT& page)
{
    if (FaxSheetReceiverTotal(state) > ReceiversListedAtMost(pageClass)) {
        const std::u16string all = u"Receiver: All Users";
        TextOutW(dc, at.x, at.y, all.c_str(), static_cast<int>(all.size()));
        return;
    }
    const int previousMode = SetBkMode(dc, OPAQUE);
    LONG y = at.y;
    bool room = true;
    for (int t = 0; room && t < state->typedCount; ++t)
        room = ReceiverDraw(dc, state->typed[t], at.x, rightX, y, lineHeight, rule, page);
    for (int c = 0; room && c < state->contactsCount; ++c)
        for (int g = 0; g < state->chosenGroupsCount; ++g)
            if (ContactInGroup(state->contacts[c], state->chosenGroups[g])) {
                room = ReceiverDraw(dc, state->contacts[c], at.x, rightX, y, lineHeight, rule, page);
                break;
            }
    for (int s = 0; room && s < state->sendListCount; ++s)
        room = ReceiverDraw(dc, state->sendList[s], at.x, rightX, y, lineHeight, rule, page);
    SetBkMode(dc, previousMode);
}

}  // namespace

void CoverPreviewBlocksDraw(HDC dc, const RECT& page, const CoverPageMarks& marks, FaxSheetState* state, int pageClass,
                            const std::tm& now)
{
    const CoverPageSettings& settings = *state->settings;
    const bool receivers =
        settings.showReceivers && (state->typedCount > 0 || state->chosenGroupsCount > 0 || state->sendListCount > 0);
    if (!settings.showDateTime && !settings.showSender && !receivers) return;
    HFONT font = LabelFont(state, marks.subjectDrawn);
    HGDIOBJ previousFont = SelectObject(dc, font);
    const COLORREF previousColour = SetTextColor(dc, RGB(0, 0, 0));
    const LONG left = page.left + 15, rule = page.bottom - 20, middle = page.left + (page.right - page.left) / 2;
    const LONG lineHeight = marks.labelHeight;
    if (settings.showDateTime) {
        char text[96];
        std::snprintf(text, sizeof text, "DATE TIME: %d.%02d.%02d %02d:%02d:%02d", now.tm_year + 1900, now.tm_mon + 1,
                      now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
        const std::u16string line = Ascii(text);
        TextOutW(dc, left, rule - lineHeight, line.c_str(), static_cast<int>(line.size()));
    }
    if (settings.showSender) {
        const ContactRecord& sender = settings.sender;
        const struct {
            const char* label;
            std::u16string_view value;
        } lines[] = {{"SENDER: ", FieldText(sender.name)},           {"COMPANY: ", FieldText(sender.company)},
                     {"DEPARTMENT: ", FieldText(sender.department)}, {"PHONE NO.: ", FieldText(sender.phone)},
                     {"FAX NO.: ", FieldText(sender.fax)},           {"EMAIL: ", FieldText(sender.email)},
                     {"ADDRESS: ", FieldText(sender.address)}};
        LONG y = rule + lineHeight;
        for (const auto& line : lines) {
            Clipped(dc, middle, y, page, Labelled(line.label, line.value));
            y += lineHeight;
        }
    }
    if (receivers)
        CoverPageReceiversDraw(dc, state, pageClass, {left, marks.anchor.y + 2}, middle, lineHeight, rule, page);
    SetTextColor(dc, previousColour);
    SelectObject(dc, previousFont);
    DeleteObject(font);
}
