// Image lists cut from a bitmap resource, and list views showing each row's picture, judged
// against the resource's own bytes read here.
#include <QImage>
#include <QPixmap>
#include <QTreeWidget>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/resources.h"
#include "platform/window.h"
#include "platform/window_hooks.h"
#include "platform/window_qt.h"
#include "tests/support/offscreen.h"

namespace {

// A bottom-up 24-bit packed DIB of random pixels.
std::vector<uint8_t> Strip(int width, int height, uint32_t seed)
{
    std::mt19937 rng(seed);
    const uint32_t stride = uint32_t((width * 24 + 31) / 32 * 4);
    std::vector<uint8_t> dib(40 + size_t(stride) * size_t(height));
    const BITMAPINFOHEADER header{40, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::memcpy(dib.data(), &header, sizeof header);
    for (size_t i = 40; i < dib.size(); ++i) dib[i] = uint8_t(rng());
    return dib;
}

// Pixel (x, y), counted from the top, of such a DIB as 0xRRGGBB.
uint32_t StripPixel(const std::vector<uint8_t>& dib, int x, int y)
{
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof header);
    if (x >= header.biWidth || y >= header.biHeight) return 0;  // outside the bitmap: black
    const size_t stride = size_t((header.biWidth * 24 + 31) / 32 * 4);
    const uint8_t* p = dib.data() + 40 + size_t(header.biHeight - 1 - y) * stride + 3 * size_t(x);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

const std::vector<uint8_t> kFive = Strip(85, 16, 1);  // five 16 x 16 pictures and 5 columns over
const std::vector<uint8_t> kShort = Strip(32, 9, 2);  // two pictures of which 9 rows are there
const std::vector<uint8_t> kNarrow = Strip(15, 16, 3);  // narrower than one picture

constexpr char kList[] = "DIALOG 200 120 \"Tahoma\" 8\nLISTVIEW 31 5 5 190 110\n";

}  // namespace

FAX_RESOURCE_TABLE(ImageListTestResources,
                   {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(501), kFive.data(), DWORD(kFive.size())},
                   {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(502), kShort.data(), DWORD(kShort.size())},
                   {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(503), kNarrow.data(), DWORD(kNarrow.size())},
                   {FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(510), kList, sizeof kList - 1});

namespace {

// Whether the image holds picture at (left, top).
bool Holds(const QImage& image, int left, int top, const QImage& picture)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((image.pixel(left + x, top + y) & 0xFFFFFF) != (picture.pixel(x, y) & 0xFFFFFF)) return false;
    return true;
}

TEST(ImageLists, PicturesAreTheBitmapsCellsAndTheListGrows)
{
    const struct {
        int id;
        const std::vector<uint8_t>& dib;
        int added;  // pictures each add gives, or -1 for a refused bitmap
    } cases[] = {{501, kFive, 5}, {502, kShort, 2}, {503, kNarrow, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        HBITMAP bitmap = LoadBitmapW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(c.id));
        ASSERT_NE(bitmap, nullptr);
        HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24, 2, 5);
        ASSERT_NE(list, nullptr);
        // Added twice: the list grows past its initial room, the second add continuing the indices.
        EXPECT_EQ(ImageList_Add(list, bitmap, nullptr), c.added < 0 ? -1 : 0);
        EXPECT_EQ(ImageList_Add(list, bitmap, nullptr), c.added < 0 ? -1 : c.added);
        const int count = c.added < 0 ? 0 : 2 * c.added;
        ASSERT_EQ(ImageList_GetImageCount(list), count);
        for (int i = 0; i < count; ++i) {
            const QImage picture = platform::ui::ImageListPicture(list, i);
            ASSERT_EQ(picture.size(), QSize(16, 16));
            const int cell = i % c.added;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    ASSERT_EQ(picture.pixel(x, y) & 0xFFFFFF, StripPixel(c.dib, 16 * cell + x, y))
                        << "picture " << i << " at " << x << "," << y;
        }
        EXPECT_TRUE(platform::ui::ImageListPicture(list, count).isNull());
        EXPECT_TRUE(ImageList_Destroy(list));
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

TEST(ImageLists, UnknownListsAndBadSizesAreRefused)
{
    EXPECT_EQ(ImageList_Create(0, 16, ILC_COLOR24, 5, 5), nullptr);
    EXPECT_EQ(ImageList_Create(16, -1, ILC_COLOR24, 5, 5), nullptr);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 0, 0);
    HBITMAP bitmap = LoadBitmapW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(501));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    EXPECT_EQ(ImageList_Add(list, bitmap, nullptr), -1);  // selected into a DC: cannot be read
    SelectObject(dc, previous);
    DeleteDC(dc);
    EXPECT_EQ(ImageList_Add(list, nullptr, nullptr), -1);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_Add(list, bitmap, nullptr), -1);
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_TRUE(DeleteObject(bitmap));
}

INT_PTR CALLBACK_Quiet(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(ImageLists, ListViewRowsShowThePictureTheirIndexNames)
{
    FaxResourceTableLink_ImageListTestResources();
    platform::ui::SetModalHook([](HWND dialog) {
        HWND list = GetDlgItem(dialog, 31);
        HBITMAP bitmap = LoadBitmapW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(501));
        HIMAGELIST pictures = ImageList_Create(16, 16, ILC_COLOR24, 5, 5);
        ASSERT_EQ(ImageList_Add(pictures, bitmap, nullptr), 0);
        DeleteObject(bitmap);
        EXPECT_EQ(SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(pictures)), 0);
        EXPECT_EQ(SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(pictures)), 0);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = 150;
        column.pszText = const_cast<LPWSTR>(u"Имя");
        SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        const int images[] = {3, 0, 4, 1, 2, 7};  // 7 is past the list: no picture
        for (int row = 0; row < 6; ++row) {
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE;
            item.iItem = row;
            item.pszText = const_cast<LPWSTR>(u"row");
            item.iImage = images[row];
            ASSERT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), row);
        }

        auto* view = static_cast<QTreeWidget*>(platform::ui::WidgetOf(list));
        const QImage shown = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int row = 0; row < 6; ++row) {
            SCOPED_TRACE(row);
            const QRect rect = view->visualItemRect(view->topLevelItem(row));
            const QImage expected = platform::ui::ImageListPicture(pictures, images[row]);
            if (expected.isNull()) {
                EXPECT_TRUE(view->topLevelItem(row)->icon(0).isNull());
                continue;
            }
            // The picture is drawn whole somewhere in its row.
            bool found = false;
            for (int y = rect.top(); !found && y + 16 <= rect.bottom() + 1; ++y)
                for (int x = rect.left(); !found && x + 16 <= rect.right() + 1; ++x)
                    found = Holds(shown, x, y, expected);
            EXPECT_TRUE(found);
        }
        EndDialog(dialog, 1);
        ImageList_Destroy(pictures);
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(510), nullptr, CALLBACK_Quiet, 0), 1);
    platform::ui::SetModalHook({});
}

}  // namespace
