// The printer DC: a memory DC whose page is a 24-bit bitmap between StartPage and EndPage. The
// finished page goes as PNG to the document's output file and to the file the cover-page escape
// names, which is where the fax driver takes its pages up.
#include <cstring>
#include <new>
#include <string>

#include "../gdi/gdi_internal.h"
#include "../kernel/wide_text.h"
#include "platform/kernel.h"
#include "print_internal.h"

namespace {

constexpr LONG kSideLimit = 32767;
constexpr int64_t kPixelLimit = int64_t{1} << 26;  // 192 MB of page at 24 bits

struct PrintJob {
    SIZE page{0, 0};
    std::string escapeFile;  // native paths; empty when not named
    std::string documentFile;
    bool inDocument = false;
    bool failed = false;
    int pages = 0;
    HBITMAP pageBitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    BYTE* bits = nullptr;
};

PrintJob* JobOf(HDC dc)
{
    gdi::Dc* record = gdi::Get<gdi::Dc>(dc);
    if (!record || !record->printJob) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<PrintJob*>(record->printJob);
}

bool PageSizeValid(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kSideLimit && height <= kSideLimit && width * height <= kPixelLimit;
}

void PageDrop(HDC dc, PrintJob* job)
{
    if (!job->pageBitmap) return;
    SelectObject(dc, job->previousBitmap);
    DeleteObject(job->pageBitmap);
    job->pageBitmap = nullptr;
    job->bits = nullptr;
}

void JobRelease(HDC dc, void* data)
{
    auto* job = static_cast<PrintJob*>(data);
    PageDrop(dc, job);
    delete job;
}

std::string PageFile(const std::string& file, int page) { return page == 1 ? file : file + "." + std::to_string(page); }

}  // namespace

HDC CreateDCW(LPCWSTR, LPCWSTR device, LPCWSTR, const DEVMODEW* mode)
{
    DEVMODEW stored{};
    if (!platform::PrinterModeRead(device, &stored)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return nullptr;
    }
    const SIZE page = platform::PrinterModePage(mode ? *mode : stored);
    if (!PageSizeValid(page.cx, page.cy)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* job = new (std::nothrow) PrintJob;
    HDC dc = job ? CreateCompatibleDC(nullptr) : nullptr;
    if (!dc) {
        delete job;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    job->page = page;
    gdi::Dc* record = gdi::Get<gdi::Dc>(dc);
    record->printJob = job;
    record->printJobRelease = JobRelease;
    return dc;
}

namespace {

// The fax printer's cover-page escape: the page's size and the file that takes the pages up.
int CoverPageEscape(PrintJob* job, int inputSize, LPCSTR input)
{
    if (!input || inputSize < 8) return -1;
    int32_t width = 0;
    int32_t height = 0;
    std::memcpy(&width, input, 4);
    std::memcpy(&height, input + 4, 4);
    if (!PageSizeValid(width, height)) return -1;
    job->page = SIZE{width, height};
    // The path runs to its terminator or to the end of the data, whichever comes first.
    size_t length = 0;
    const size_t room = static_cast<size_t>(inputSize) - 8;
    while (length < room && input[8 + length] != 0) ++length;
    if (room > 0)
        job->escapeFile =
            platform::NativePath(platform::Utf16ToUtf8(platform::Cp1251ToUtf16(std::string_view(input + 8, length))));
    return 1;
}

}  // namespace

int ExtEscape(HDC dc, int escape, int inputSize, LPCSTR input, int, LPSTR)
{
    PrintJob* job = JobOf(dc);
    if (!job) return -1;
    if (escape != FAX_ESCAPE_COVER_PAGE) return 0;
    return CoverPageEscape(job, inputSize, input);
}

int StartDocW(HDC dc, const DOCINFOW* info)
{
    PrintJob* job = JobOf(dc);
    if (!job || !info) return SP_ERROR;
    if (job->inDocument) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return SP_ERROR;
    }
    job->inDocument = true;
    job->failed = false;
    job->pages = 0;
    job->escapeFile.clear();
    job->documentFile = info->lpszOutput && *info->lpszOutput
                            ? platform::NativePath(platform::WideToUtf8(info->lpszOutput))
                            : std::string();
    return 1;
}

int StartPage(HDC dc)
{
    PrintJob* job = JobOf(dc);
    if (!job || !job->inDocument || job->pageBitmap) {
        if (job) SetLastError(ERROR_CAN_NOT_COMPLETE);
        return SP_ERROR;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = job->page.cx;
    info.bmiHeader.biHeight = -job->page.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    job->pageBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!job->pageBitmap) {
        job->failed = true;
        return SP_ERROR;
    }
    job->bits = static_cast<BYTE*>(bits);
    const size_t stride = (size_t(job->page.cx) * 3 + 3) / 4 * 4;
    std::memset(job->bits, 0xFF, stride * size_t(job->page.cy));  // paper is white
    job->previousBitmap = SelectObject(dc, job->pageBitmap);
    ++job->pages;
    return 1;
}

int EndPage(HDC dc)
{
    PrintJob* job = JobOf(dc);
    if (!job || !job->pageBitmap) {
        if (job) SetLastError(ERROR_CAN_NOT_COMPLETE);
        return SP_ERROR;
    }
    const LONG stride = static_cast<LONG>((size_t(job->page.cx) * 3 + 3) / 4 * 4);
    bool written = true;
    for (const std::string* file : {&job->documentFile, &job->escapeFile})
        if (!file->empty())
            written = platform::PngWrite(PageFile(*file, job->pages).c_str(), job->bits, stride, job->page.cx,
                                         job->page.cy) &&
                      written;
    PageDrop(dc, job);
    if (!written) {
        job->failed = true;
        return SP_ERROR;
    }
    return 1;
}

int EndDoc(HDC dc)
{
    PrintJob* job = JobOf(dc);
    if (!job || !job->inDocument) {
        if (job) SetLastError(ERROR_CAN_NOT_COMPLETE);
        return SP_ERROR;
    }
    if (job->pageBitmap) EndPage(dc);
    job->inDocument = false;
    return job->failed ? SP_ERROR : 1;
}
