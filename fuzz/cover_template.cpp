// The cover-page template over arbitrary files: every style the input can name is read, laid out
// on a printed page (every coordinate held within reach of the page) and drawn on a small page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "frontend/common/cover_template.h"
#include "platform/kernel.h"

namespace {

std::u16string WriteFile(const uint8_t* data, size_t size)
{
    static const std::string path = [] {
        std::string pattern = "/tmp/fuzz-template-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern + "/CP.INI";
    }();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::u16string wide(path.size(), u'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

void Within(POINT p)
{
    constexpr LONG reach = LONG{1} << 27;
    if (p.x < -reach || p.x > reach || p.y < -reach || p.y > reach) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const std::u16string path = WriteFile(data + 1, size - 1);
    const WORD number = data[0] % 4;
    CoverPageTemplate style;
    CoverPageTemplateRead(path.c_str(), number, &style);
    (void)CoverPageStyleCount(path.c_str());
    if (CoverPageStyleOffered(path.c_str(), number) > kCoverPageStylesAtMost) std::abort();
    const CoverPageLayout layout = CoverPageLayoutMake(style, RECT{0, 0, 3240, 4583}, 32, SIZE{500, 300});
    Within(layout.titleAt);
    Within(layout.anchor);
    for (const CoverPageSegment& line : layout.lines) Within(line.from), Within(line.to);

    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 101, -130, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP page = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(dc, page);
    CoverPageSettings settings{};
    settings.style = number;
    settings.showSubject = data[0] & 4;
    settings.subject[0] = u'S';
    CoverPageStyleDraw(dc, RECT{0, 0, 101, 130}, 1, (data[0] & 8) ? CoverPageReader::Preview : CoverPageReader::Print,
                       settings, path.c_str());
    DeleteDC(dc);
    DeleteObject(page);
    return 0;
}
