// The miniature as painted, against a reference painted with plain GDI calls at the places worked
// out by hand for a 174 x 163 preview area of A4 portrait paper:
//   square (5, 0)-(168, 163); d = 163 x 1000 / 2828 = 57, so 114 wide at 29; Legal scale 835 takes
//   9 and 13 off each end; the inset 9 and 13: the page (47, 26)-(125, 137), 5 up.
//   With a style the page image moves 5 right and down, (52, 26)-(130, 137), and the cover page
//   stands 10 up and left of it, (42, 16)-(120, 127); the template is drawn at 6/5, (50, 19)-(144, 152).
//   A 115 x 115 picture at scale 100 is 10 x 10, drawn 2 pixels inside the cover page's corner.
#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "frontend/common/cover_template.h"
#include "frontend/common/picture.h"
#include "frontend/common/text_rules.h"
#include "frontend/sheet/cover_preview.h"
#include "platform/gdi_paths.h"
#include "platform/gdi_text.h"
#include "tests/frontend/sheet/sheet_fixture.h"

namespace {

constexpr int kW = 174, kH = 163;

struct Surface {
    HDC dc = CreateCompatibleDC(nullptr);
    uint8_t* bits = nullptr;
    HBITMAP bitmap;
    int width;
    explicit Surface(int w = kW, int h = kH) : width(w)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    COLORREF At(int x, int y) const
    {
        const uint8_t* p = bits + static_cast<size_t>(y) * ((width * 3 + 3) / 4 * 4) + static_cast<size_t>(x) * 3;
        return RGB(p[2], p[1], p[0]);
    }
};

void Stretch(HDC dc, HBITMAP bitmap, RECT to)
{
    BITMAP shape{};
    GetObjectW(bitmap, sizeof shape, &shape);
    HDC source = CreateCompatibleDC(nullptr);
    SelectObject(source, bitmap);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, shape.bmWidth, shape.bmHeight,
               SRCCOPY);
    DeleteDC(source);
}

// The information blocks as they should stand: the receivers listed in the order expected (or
// "All Users"), the date and time written out by hand.
struct Blocks {
    std::vector<ContactRecord> listed;
    bool allUsers = false;
};
constexpr std::tm kNow = [] {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 4;
    t.tm_hour = 5;
    t.tm_min = 6;
    t.tm_sec = 7;
    return t;
}();

void ReferenceBlocks(HDC dc, const RECT& page, const CoverPageMarks& marks, const CoverPageSettings& settings,
                     const std::u16string& path, const Blocks& blocks)
{
    CoverPageTemplate style;
    CoverPageTemplateRead(path.c_str(), settings.style, &style);
    LOGFONTW label{};
    label.lfHeight = 1;
    label.lfWidth = marks.subjectDrawn ? 2 : 1;
    label.lfWeight = 400;
    label.lfCharSet = style.charset;
    std::u16string(u"Sarvic").copy(label.lfFaceName, 6);
    HFONT font = CreateFontIndirectW(&label);
    HGDIOBJ previousFont = SelectObject(dc, font);
    SetTextColor(dc, RGB(0, 0, 0));
    const LONG lh = marks.labelHeight, left = page.left + 15, rule = page.bottom - 20;
    const LONG middle = (page.left + page.right) / 2;
    const auto out = [&](LONG x, LONG y, const std::u16string& text) {
        ExtTextOutW(dc, x, y, ETO_CLIPPED, &page, text.c_str(), static_cast<UINT>(text.size()), nullptr);
    };
    if (settings.showDateTime) {
        const std::u16string date = u"DATE TIME: 2026.03.04 05:06:07";
        TextOutW(dc, left, rule - lh, date.c_str(), static_cast<int>(date.size()));
    }
    if (settings.showSender) {
        const ContactRecord& s = settings.sender;
        const std::u16string lines[] = {u"SENDER: " + std::u16string(FieldText(s.name)),
                                        u"COMPANY: " + std::u16string(FieldText(s.company)),
                                        u"DEPARTMENT: " + std::u16string(FieldText(s.department)),
                                        u"PHONE NO.: " + std::u16string(FieldText(s.phone)),
                                        u"FAX NO.: " + std::u16string(FieldText(s.fax)),
                                        u"EMAIL: " + std::u16string(FieldText(s.email)),
                                        u"ADDRESS: " + std::u16string(FieldText(s.address))};
        for (int i = 0; i < 7; ++i) out(middle, rule + lh * (i + 1), lines[i]);
    }
    if (settings.showReceivers && blocks.allUsers) {
        TextOutW(dc, left, marks.anchor.y + 2, u"Receiver: All Users", 19);
    } else if (settings.showReceivers) {
        SetBkMode(dc, OPAQUE);
        LONG y = marks.anchor.y + 2;
        for (const ContactRecord& r : blocks.listed) {
            const std::u16string cells[3][2] = {{u" USER: " + std::u16string(FieldText(r.name)),
                                                 u" EMAIL: " + std::u16string(FieldText(r.email))},
                                                {u" PHONE NO.: " + std::u16string(FieldText(r.phone)),
                                                 u" FAX NO.: " + std::u16string(FieldText(r.fax))},
                                                {u" ADDRESS: " + std::u16string(FieldText(r.address)), u""}};
            for (const auto& row : cells) {
                if (y + lh > rule) break;
                out(left, y, row[0]);
                if (!row[1].empty()) out(middle, y, row[1]);
                y += lh;
            }
        }
        SetBkMode(dc, TRANSPARENT);
    }
    SelectObject(dc, previousFont);
    DeleteObject(font);
}

// The reference: the same picture painted step by step at the hand-worked places.
void Reference(HDC dc, const CoverPageSettings& settings, const std::u16string& path, const BYTE* picture,
               const Blocks* blocks)
{
    HBRUSH face = CreateSolidBrush(kPreviewFace);
    HPEN black = CreatePen(PS_SOLID, 1, 0);
    const RECT all{0, 0, kW, kH};
    FillRect(dc, &all, face);
    const bool styled = settings.style != 0;
    const RECT image = styled ? RECT{52, 26, 130, 137} : RECT{47, 21, 125, 132};
    SelectObject(dc, black);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Rectangle(dc, image.left, image.top, image.right, image.bottom);
    HBITMAP portrait = LoadBitmapW(VelmoraModule(), MAKEINTRESOURCEW(3901));
    Stretch(dc, portrait, {image.left + 1, image.top + 1, image.right - 1, image.bottom - 1});
    if (styled) {
        const POINT outline[] = {{42, 16}, {120, 16}, {120, 97}, {90, 127}, {42, 127}};
        const POINT fold[] = {{120, 97}, {90, 127}, {90, 97}};
        Polygon(dc, outline, 5);
        Polygon(dc, fold, 3);
        Surface corner;  // the page image's corner, kept on top
        BitBlt(corner.dc, 0, 0, 40, 40, dc, 90, 97, SRCCOPY);
        const RECT page{50, 19, 144, 152};
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 144, -152, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HDC templateDc = CreateCompatibleDC(nullptr);
        HBITMAP templateBitmap = CreateDIBSection(templateDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        SelectObject(templateDc, templateBitmap);
        FillRect(templateDc, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        const CoverPageMarks marks =
            CoverPageStyleDraw(templateDc, page, 1, CoverPageReader::Preview, settings, path.c_str());
        if (blocks) ReferenceBlocks(templateDc, page, marks, settings, path, *blocks);
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, 43, 17, 76, 109, templateDc, 50, 19, 94, 133, SRCCOPY);
        DeleteDC(templateDc);
        DeleteObject(templateBitmap);
        if (picture) {
            StretchDIBits(dc, 44, 18, 10, 10, 0, 0, 115, 115, picture + 40,
                          reinterpret_cast<const BITMAPINFO*>(picture), DIB_RGB_COLORS, SRCCOPY);
            SelectObject(dc, GetStockObject(WHITE_PEN));
            Rectangle(dc, 118, 16, 120, 127);
            Rectangle(dc, 42, 125, 120, 127);
        }
        BitBlt(dc, 90, 97, 40, 40, corner.dc, 0, 0, SRCCOPY);
    }
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(black);
    DeleteObject(face);
    DeleteObject(portrait);
}

// A process-heap block of records, as the sheet keeps them.
template <typename Record>
Record* Block(const std::vector<Record>& records, int16_t* count)
{
    auto* block =
        static_cast<Record*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Record) * (records.size() + 1)));
    std::copy(records.begin(), records.end(), block);
    *count = static_cast<int16_t>(records.size());
    return block;
}

ContactRecord Receiver(const char16_t* key, const char16_t* name)
{
    ContactRecord r = MakeContact(key, name, u"8 800 555");
    FieldSet(r.email, std::u16string(name) + u"@example.org");
    FieldSet(r.phone, u"12 34");
    FieldSet(r.address, u"Street 1");
    return r;
}

std::vector<ContactRecord> TypedReceivers(int n)
{
    std::vector<ContactRecord> all;
    for (int i = 0; i < n; ++i) {
        const std::u16string key = u"T" + std::u16string(1, char16_t(u'A' + i));
        all.push_back(Receiver(key.c_str(), (u"Typed " + key).c_str()));
    }
    return all;
}

class CoverPreviewPaint : public SheetFixture {
protected:
    FaxSheetState* StateMake(const std::string& folder)
    {
        auto* state = static_cast<FaxSheetState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FaxSheetState)));
        state->module = VelmoraModule();
        std::u16string(Wide(folder)).copy(state->driverFolder, 259);
        std::u16string(prefix_).copy(state->prefix, 31);
        state->settings =
            static_cast<CoverPageSettings*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(CoverPageSettings)));
        CoverPageSettings& settings = *state->settings;
        settings.paperWidth = 2100;
        settings.paperHeight = 2970;
        settings.orientation = 1;
        settings.pictureScale = 100;
        FieldSet(settings.subject, u"Счёт");
        settings.showSubject = 1;
        return state;
    }
    static void Sender(CoverPageSettings& settings)
    {
        settings.sender = Receiver(u"S1", u"Sender");
        FieldSet(settings.sender.company, u"Firm");
        FieldSet(settings.sender.department, u"Sales");
    }
};

TEST_F(CoverPreviewPaint, MatchesTheReferencePainting)
{
    const std::string folder = env_.tmp();
    std::filesystem::copy_file(SAMPLE_TEMPLATE, folder + Prefix() + "CP.INI");
    SolidBmpWrite(folder + "red.bmp", 115, 115, RGB(255, 0, 0));

    const struct {
        const char* name;
        WORD style;
        bool picture;
        bool blocks;
    } cases[] = {{"no cover page", 0, false, false},
                 {"style 1", 1, false, false},
                 {"style 2 with a picture", 2, true, false},
                 {"style 1 with the date, sender and two receivers", 1, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaxSheetState* state = StateMake(folder);
        CoverPageSettings& settings = *state->settings;
        settings.style = c.style;
        settings.pictureOn = c.picture;
        Blocks blocks;
        if (c.blocks) {
            settings.showDateTime = settings.showSender = settings.showReceivers = 1;
            Sender(settings);
            blocks.listed = TypedReceivers(2);
            state->typed = Block(blocks.listed, &state->typedCount);
        }
        if (c.picture) {
            FieldSet(settings.picturePath, Wide(folder + "red.bmp"));
            state->picture = BmpFileRead(settings.picturePath, &state->picturePaletteBytes);
            ASSERT_NE(state->picture, nullptr);
        }
        Surface ours, reference, without;
        CoverPreviewRender(ours.dc, {kW, kH}, state, &kNow);
        Reference(reference.dc, settings, Wide(folder + Prefix() + "CP.INI"), state->picture,
                  c.blocks ? &blocks : nullptr);
        Reference(without.dc, settings, Wide(folder + Prefix() + "CP.INI"), state->picture, nullptr);
        int differing = 0, fromBlocks = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                differing += ours.At(x, y) != reference.At(x, y);
                fromBlocks += ours.At(x, y) != without.At(x, y);
            }
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(fromBlocks > 0, c.blocks);  // the blocks show, even greeked and shrunk
        // Independent marks: the face colour outside the pages, the picture's red where it
        // stands, the cover page's outline and the rectangles kept in the settings.
        EXPECT_EQ(ours.At(2, 2), kPreviewFace);
        EXPECT_EQ(ours.At(48, 22) == RGB(255, 0, 0), c.picture);
        EXPECT_EQ(ours.At(42, 60) == RGB(0, 0, 0), c.style != 0);
        if (c.style) {
            EXPECT_EQ(std::vector<SHORT>(settings.previewPage, settings.previewPage + 4),
                      (std::vector<SHORT>{42, 16, 120, 127}));
        }
        if (c.picture) {
            EXPECT_EQ(std::vector<SHORT>(settings.previewPicture, settings.previewPicture + 4),
                      (std::vector<SHORT>{42, 16, 52, 26}));
            EXPECT_EQ(ours.At(44, 18), RGB(255, 0, 0));
            EXPECT_EQ(ours.At(53, 27), RGB(255, 0, 0));
            EXPECT_NE(ours.At(54, 28), RGB(255, 0, 0));
        }
        FaxSheetStateFree(state);
    }
}

}  // namespace

namespace {

// The blocks alone on a roomy working page, with rows 9 pixels apart and the DC's background
// green, so each receiver row's opaque strip can be counted.
TEST_F(CoverPreviewPaint, BlocksMatchTheReference)
{
    const std::string folder = env_.tmp();
    std::filesystem::copy_file(SAMPLE_TEMPLATE, folder + Prefix() + "CP.INI");
    constexpr int kPageW = 300, kPageH = 400;
    const RECT page{10, 10, 290, 390};
    const CoverPageMarks marks{{40, 100}, 9, false};
    const COLORREF green = RGB(0, 255, 0);
    const ContactRecord tom = Receiver(u"T1", u"Tom"), ann = Receiver(u"A1", u"Ann"), bob = Receiver(u"B2", u"Bob"),
                        cid = Receiver(u"C3", u"Cid"), dan = Receiver(u"D4", u"Dan");
    const struct {
        const char* name;
        bool date, sender, receivers;
        int pageClass;
        int typed;  // typed receivers made up, when no list is given
        std::vector<ContactRecord> listed;
        bool allUsers;
        int strips;  // opaque receiver rows
    } cases[] = {
        {"date and time", true, false, false, 1, 0, {}, false, 0},
        {"the sender's seven lines", false, true, false, 1, 0, {}, false, 0},
        {"typed, members of chosen groups once each, moved contacts",
         false,
         false,
         true,
         1,
         -1,
         {tom, ann, cid, dan},
         false,
         12},
        {"eleven on a portrait page are All Users", false, false, true, 1, 11, {}, true, 0},
        {"six on a landscape page are All Users", false, false, true, 2, 6, {}, true, 0},
        {"five on a landscape page are listed", true, true, true, 2, 5, {}, false, 15},
        {"ten rows stop at the bottom rule", false, false, true, 1, 10, {}, false, 29},
        {"no receivers chosen draws none", false, false, true, 1, 0, {}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaxSheetState* state = StateMake(folder);
        CoverPageSettings& settings = *state->settings;
        settings.style = 1;
        settings.showDateTime = c.date;
        settings.showSender = c.sender;
        settings.showReceivers = c.receivers;
        Sender(settings);
        Blocks blocks{c.listed, c.allUsers};
        if (c.typed < 0) {
            // Ann and Cid are in the chosen groups (Cid in both), Bob in none; Dan was moved.
            state->typed = Block(std::vector<ContactRecord>{tom}, &state->typedCount);
            state->contacts = Block(std::vector<ContactRecord>{ann, bob, cid}, &state->contactsCount);
            state->chosenGroups =
                Block(std::vector<GroupRecord>{MakeGroup(u"Team", u"A1;C3;"), MakeGroup(u"Pair", u"C3;")},
                      &state->chosenGroupsCount);
            state->sendList = Block(std::vector<ContactRecord>{dan}, &state->sendListCount);
        } else {
            const std::vector<ContactRecord> typed = TypedReceivers(c.typed);
            state->typed = Block(typed, &state->typedCount);
            if (!c.allUsers) blocks.listed = typed;
        }
        Surface ours(kPageW, kPageH), reference(kPageW, kPageH);
        for (Surface* s : {&ours, &reference}) {
            PatBlt(s->dc, 0, 0, kPageW, kPageH, WHITENESS);
            SetBkColor(s->dc, green);
            SetBkMode(s->dc, TRANSPARENT);  // as the style drawing leaves it
        }
        CoverPreviewBlocksDraw(ours.dc, page, marks, state, c.pageClass, kNow);
        ReferenceBlocks(reference.dc, page, marks, settings, Wide(folder + Prefix() + "CP.INI"), blocks);
        int differing = 0, strips = 0, firstStrip = -1, drawn = 0;
        bool inStrip = false;
        for (int y = 0; y < kPageH; ++y) {
            bool greenRow = false;
            for (int x = 0; x < kPageW; ++x) {
                differing += ours.At(x, y) != reference.At(x, y);
                greenRow = greenRow || ours.At(x, y) == green;
                drawn += ours.At(x, y) != RGB(255, 255, 255);
            }
            if (greenRow && !inStrip) {
                ++strips;
                if (firstStrip < 0) firstStrip = y;
            }
            inStrip = greenRow;
        }
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(strips, c.strips);
        if (c.strips) {
            EXPECT_EQ(firstStrip, marks.anchor.y + 2);
        }
        EXPECT_EQ(drawn > 0, c.date || c.sender || (c.receivers && c.typed != 0));
        FaxSheetStateFree(state);
    }
}

}  // namespace
