// What a Coverprint run needs around it: the stored values under a prefix's key, the receivers
// file, an installed printer, a template beside the program, and a PNG reader for the page.
#pragma once

#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "frontend/common/data_dir.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/file_all.h"
#include "frontend/common/records.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "platform/print.h"
#include "tests/frontend/frontend_env.h"

struct PageImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, rows top-down
    uint32_t At(int x, int y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
    bool Ink(int x, int y) const { return At(x, y) != 0xFFFFFF; }
    // Whether any pixel of the rectangle is not white.
    bool InkIn(RECT r) const
    {
        for (int y = std::max<int>(0, r.top); y < std::min<int>(height, r.bottom); ++y)
            for (int x = std::max<int>(0, r.left); x < std::min<int>(width, r.right); ++x)
                if (Ink(x, y)) return true;
        return false;
    }
};

inline bool PngRead(const std::string& path, PageImage* image)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) return false;
    image->width = int(png.width);
    image->height = int(png.height);
    image->rgb.resize(size_t(png.width) * png.height);
    for (size_t i = 0; i < image->rgb.size(); ++i)
        image->rgb[i] = uint32_t(bytes[i * 3]) << 16 | uint32_t(bytes[i * 3 + 1]) << 8 | bytes[i * 3 + 2];
    return true;
}

inline ContactRecord Contact(const std::u16string& name, const std::u16string& fax)
{
    ContactRecord c{};
    FieldSet(c.name, name);
    FieldSet(c.company, u"ООО Ромашка");
    FieldSet(c.department, u"Отдел сбыта");
    FieldSet(c.phone, u"+7 495 123-45-67");
    FieldSet(c.fax, fax);
    FieldSet(c.email, u"office@example.org");
    FieldSet(c.address, u"Москва, ул. Лесная, 5");
    return c;
}

inline CoverPageSettings CoverSettings(WORD orientation)
{
    CoverPageSettings s{};
    s.paperWidth = 2159;
    s.paperHeight = 2794;
    s.orientation = orientation;
    s.style = 1;
    s.pictureScale = 100;
    s.sender = Contact(u"Иван Петров", u"+7 495 765-43-21");
    FieldSet(s.subject, u"Счёт за март");
    s.showSubject = 1;
    s.showSender = 1;
    s.showReceivers = 1;
    return s;
}

// Stores the values a run reads under "SoftWare\QUOBA\<prefix>" and the receivers file.
inline void CoverStore(const std::u16string& prefix, const CoverPageSettings& settings, const char* printer, WORD count,
                       const std::vector<ContactRecord>& receivers)
{
    const std::u16string key = FaxKeyName(prefix.c_str());
    DriverPathValue driver{};
    std::strncpy(driver.printerName, printer, sizeof driver.printerName - 1);
    RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueDriverPath, &driver, sizeof driver);
    RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCoverPagePout, &settings, sizeof settings);
    CountValue countValue{};
    countValue.contactCount = count;
    RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, &countValue, sizeof countValue);
    WCHAR folder[1024];
    FaxDataDirGet(folder);
    const std::u16string file = std::u16string(folder) + prefix + u"REC.DAT";
    FileWriteAll(file.c_str(), GENERIC_WRITE, receivers.data(), DWORD(receivers.size() * sizeof(ContactRecord)));
}

// A BMP file of w x h 24-bit pixels of one colour.
inline std::vector<BYTE> SolidBmp(int w, int h, uint32_t rgb)
{
    const uint32_t row = (uint32_t(w) * 24 + 31) / 32 * 4;
    std::vector<BYTE> file(54 + size_t(row) * size_t(h), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = BYTE(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, uint32_t(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = &file[54 + size_t(y) * row + size_t(x) * 3];
            p[0] = BYTE(rgb);
            p[1] = BYTE(rgb >> 8);
            p[2] = BYTE(rgb >> 16);
        }
    return file;
}
