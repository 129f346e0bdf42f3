// The cover-page page: style or none, the picture with its scale and position, the information
// blocks, the subject, and the sender dialog. Every change goes into the sheet's settings at once.
#include <algorithm>
#include <iterator>
#include <string>

#include "frontend/common/cover_template.h"
#include "frontend/common/picture.h"
#include "frontend/common/text_rules.h"
#include "frontend/sheet/context_help.h"
#include "frontend/sheet/cover_preview.h"
#include "frontend/sheet/edit_filters.h"
#include "frontend/sheet/pages.h"

namespace {

constexpr int kStyleList = 3604;
constexpr int kPictureCheck = 3606, kPathEdit = 3608, kChooseButton = 3615;
constexpr int kScaleEdit = 3610, kXEdit = 3612, kYEdit = 3614;
constexpr int kScaleSpin = 3617, kXSpin = 3618, kYSpin = 3619;
constexpr int kSubjectCheck = 3621, kSubjectEdit = 3622, kSenderCheck = 3623, kSenderButton = 3624;
constexpr int kDateCheck = 3625, kReceiversCheck = 3626;

constexpr PageText kCoverPageTexts[] = {{3602, 8046}, {3606, 8057}, {3607, 8058}, {3609, 8059},
                                        {3611, 8060}, {3613, 8061}, {3620, 8062}, {3621, 8063},
                                        {3626, 8044}, {3623, 8064}, {3624, 8066}, {3625, 8065}};

std::u16string Decimal(long value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }
void Check(HWND page, int id, bool on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }
void Enable(HWND page, int id, bool on) { EnableWindow(GetDlgItem(page, id), on); }

// The number an edit's text starts with (0 when none), held to `top` while it is read.
long LeadingNumber(HWND page, int id, long top)
{
    WCHAR text[32] = {};
    GetDlgItemTextW(page, id, text, 32);
    long value = 0;
    for (const WCHAR* c = text; *c >= u'0' && *c <= u'9'; ++c) value = std::min(value * 10 + (*c - u'0'), top * 10);
    return value;
}

// Keeps the edit's text the decimal form of its value, held to top; returns the value.
WORD NumberEditNormalise(HWND page, int id, long top)
{
    const long value = std::min(LeadingNumber(page, id, top), top);
    WCHAR text[32] = {};
    GetDlgItemTextW(page, id, text, 32);
    const std::u16string decimal = Decimal(value);
    if (decimal != text) SetDlgItemTextW(page, id, decimal.c_str());  // runs this again with the shortened text
    SendDlgItemMessageW(page, id, EM_SETSEL, 3, 3);
    return static_cast<WORD>(value);
}

void PictureLoad(FaxSheetState* state)
{
    HeapFree(GetProcessHeap(), 0, state->picture);
    state->picture = nullptr;
    state->picturePaletteBytes = 0;
    state->pictureFitScale = 0;
    if (state->settings->picturePath[0])
        state->picture = BmpFileRead(state->settings->picturePath, &state->picturePaletteBytes);
}

void CoverPagePageInit(HWND page, FaxSheetState* state)
{
    state->coverPageNotApplied = 1;
    PageTextsSet(page, state->module, kCoverPageTexts, std::size(kCoverPageTexts), 128);
    CoverPageSettings* settings = state->settings;
    const int count = std::clamp(CoverPageStyleCount(CoverTemplatePath(state).c_str()), 0, kCoverPageStylesAtMost);
    SendDlgItemMessageW(page, kStyleList, CB_RESETCONTENT, 0, 0);
    for (int style = 0; style <= count; ++style) {
        WCHAR name[66] = {};
        LoadStringW(state->module, style == 0 ? 8047 : 8047 + style, name, 66);
        SendDlgItemMessageW(page, kStyleList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SendDlgItemMessageW(page, kStyleList, CB_SETCURSEL, settings->style, 0);
    Check(page, kPictureCheck, settings->pictureOn);
    SetDlgItemTextW(page, kPathEdit, std::u16string(FieldText(settings->picturePath)).c_str());
    EditTextFill(page, kScaleEdit, Decimal(settings->pictureScale).c_str());
    EditTextFill(page, kXEdit, Decimal(settings->pictureX).c_str());
    EditTextFill(page, kYEdit, Decimal(settings->pictureY).c_str());
    Check(page, kSubjectCheck, settings->showSubject);
    Check(page, kSenderCheck, settings->showSender);
    Check(page, kDateCheck, settings->showDateTime);
    Check(page, kReceiversCheck, settings->showReceivers);
    EditTextFill(page, kSubjectEdit, std::u16string(FieldText(settings->subject)).c_str());
    // A picture chosen in an earlier sheet is shown as it will be printed.
    PictureLoad(state);
    CoverPagePageEnable(page, state);
    SendDlgItemMessageW(page, kSubjectEdit, EM_LIMITTEXT, 32, 0);
    SendDlgItemMessageW(page, kPathEdit, EM_SETREADONLY, TRUE, 0);
}

void PictureChoose(HWND page, FaxSheetState* state)
{
    static constexpr WCHAR filter[] = u"BMP FILE(*.BMP)\0*.BMP\0";
    FileNameChoose(page, filter, u"BMP", 0, state->settings->picturePath);
    SetDlgItemTextW(page, kPathEdit, state->settings->picturePath);
    PictureLoad(state);
}

void Spin(HWND page, int spinId, int code)
{
    const int edit = spinId == kScaleSpin ? kScaleEdit : spinId == kXSpin ? kXEdit : kYEdit;
    const long bottom = spinId == kScaleSpin ? 10 : 0, top = spinId == kScaleSpin ? 400 : 100;
    long value = LeadingNumber(page, edit, top);
    if (code == SB_LINEUP) ++value;
    else if (code == SB_LINEDOWN) --value;
    SetDlgItemTextW(page, edit, Decimal(std::clamp(value, bottom, top)).c_str());
}

void CoverPagePageCommand(HWND page, FaxSheetState* state, int id, int code)
{
    CoverPageSettings* settings = state->settings;
    switch (id) {
        case kStyleList:
            if (code == CBN_SELCHANGE) {
                const LRESULT chosen = SendDlgItemMessageW(page, kStyleList, CB_GETCURSEL, 0, 0);
                settings->style = static_cast<WORD>(chosen < 0 ? 0 : chosen);
                CoverPagePageEnable(page, state);
            }
            return;
        case kPictureCheck:
            settings->pictureOn = Checked(page, id);
            CoverPagePageEnable(page, state);
            return;
        case kSubjectCheck:
            settings->showSubject = Checked(page, id);
            CoverPagePageEnable(page, state);
            return;
        case kSenderCheck:
            settings->showSender = Checked(page, id);
            CoverPagePageEnable(page, state);
            return;
        case kDateCheck: settings->showDateTime = Checked(page, id); break;
        case kReceiversCheck: settings->showReceivers = Checked(page, id); break;
        case kScaleEdit:
            if (EditFilling()) return;  // a stored value is kept as stored until the user edits it
            if (code == EN_CHANGE) settings->pictureScale = NumberEditNormalise(page, id, 400);
            else if (code == EN_KILLFOCUS) {
                if (LeadingNumber(page, id, 400) < 10) SetDlgItemTextW(page, id, u"10");
                settings->pictureScale = NumberEditNormalise(page, id, 400);
            } else return;
            break;
        case kXEdit:
        case kYEdit:
            if (code != EN_CHANGE || EditFilling()) return;
            (id == kXEdit ? settings->pictureX : settings->pictureY) = NumberEditNormalise(page, id, 100);
            break;
        case kSubjectEdit: {
            if (code != EN_CHANGE) return;
            SeparatorStrip(page, id);
            WCHAR subject[66] = {};
            GetDlgItemTextW(page, id, subject, 66);
            FieldSet(settings->subject, std::u16string_view(subject));
            break;
        }
        case kChooseButton: PictureChoose(page, state); break;
        case kSenderButton:
            DialogBoxParamW(state->module, MAKEINTRESOURCEW(3100), page, SenderInfoDlgProc,
                            reinterpret_cast<LPARAM>(state));
            break;
        default: return;
    }
    CoverPreviewRedraw(page, state);
}

INT_PTR NotifyResult(HWND page, LRESULT result)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return result != 0;
}

}  // namespace

void CoverPagePageEnable(HWND page, FaxSheetState* state)
{
    CoverPageSettings* settings = state->settings;
    const bool styled = settings->style != 0;
    if (styled) {
        settings->pictureOn = Checked(page, kPictureCheck);
        settings->showSubject = Checked(page, kSubjectCheck);
        settings->showSender = Checked(page, kSenderCheck);
    } else {
        settings->pictureOn = settings->showSubject = settings->showSender = 0;
    }
    for (int id : {kPictureCheck, kSubjectCheck, kSenderCheck, kDateCheck, kReceiversCheck}) Enable(page, id, styled);
    for (int id : {kPathEdit, kChooseButton, kScaleEdit, kXEdit, kYEdit, kScaleSpin, kXSpin, kYSpin})
        Enable(page, id, settings->pictureOn != 0);
    Enable(page, kSubjectEdit, settings->showSubject != 0);
    Enable(page, kSenderButton, settings->showSender != 0);
    CoverPreviewRedraw(page, state);
}

INT_PTR CoverPagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_INITDIALOG:
            PageStateAttach(page, reinterpret_cast<const PROPSHEETPAGEW*>(lParam), 1);
            if (PageState(page)->settings) CoverPagePageInit(page, PageState(page));
            return 0;
        case WM_COMMAND:
            if (PageState(page)->settings) CoverPagePageCommand(page, PageState(page), LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_PAINT: CoverPagePreviewPaint(page, PageState(page)); return 0;
        case WM_LBUTTONDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
            if (PageState(page)) CoverPreviewMouse(page, PageState(page), message, wParam, lParam);
            return 0;
        case WM_VSCROLL: {
            const int spin = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (spin == kScaleSpin || spin == kXSpin || spin == kYSpin) Spin(page, spin, LOWORD(wParam));
            return 0;
        }
        case WM_NOTIFY:
            switch (static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->code)) {
                case PSN_HELP: HelpShow(page, kHelpTopicCoverPage); return 0;
                case PSN_APPLY: return NotifyResult(page, CoverPagePageApply(page, PageState(page)));
                default: return 0;
            }
        case WM_HELP: ContextHelpOnHelp(page, reinterpret_cast<const HELPINFO*>(lParam)); return TRUE;
        case WM_CONTEXTMENU: ContextHelpOnMenu(page, reinterpret_cast<HWND>(wParam), lParam); return TRUE;
        case kCoverPageSubjectFocus:
            SetFocus(GetDlgItem(page, kSubjectEdit));
            SendDlgItemMessageW(page, kSubjectEdit, EM_SETSEL, 0, 0);
            return TRUE;
        default: return 0;
    }
}
