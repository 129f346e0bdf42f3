// One run: names, stored values, printer set-up, the document, clean-up.
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "frontend/common/cover_settings.h"
#include "frontend/common/cover_template.h"
#include "frontend/common/data_dir.h"
#include "frontend/common/data_refusal.h"
#include "frontend/common/reg_value.h"
#include "frontend/coverprint/coverprint.h"
#include "platform/kernel.h"

namespace {

struct HeapBlock {
    void operator()(void* block) const
    {
        if (block) HeapFree(GetProcessHeap(), 0, block);
    }
};
using HeapPtr = std::unique_ptr<BYTE, HeapBlock>;

// Messages are UTF-8, as the terminal reads them: a printer named in Cyrillic is named so.
std::string Narrow(std::u16string_view text)
{
    std::string out(text.size() * 3, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                      static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

// The printer set-up of a run: the device mode to print with and, for a printer on the "FILE:"
// port, the temporary file the document goes to.
struct PrinterSetup {
    std::unique_ptr<DEVMODEW[]> input;
    std::unique_ptr<DEVMODEW[]> output;
    std::u16string printToFile;
};

bool PrinterSet(const std::u16string& printer, CoverPrintPage* page, const std::u16string& dataDir, PrinterSetup* setup)
{
    HANDLE handle = nullptr;
    if (!OpenPrinterW(printer.c_str(), &handle, nullptr)) return false;
    const LONG size = DocumentPropertiesW(nullptr, handle, printer.c_str(), nullptr, nullptr, 0);
    bool ok = size >= static_cast<LONG>(sizeof(DEVMODEW));
    if (ok) {
        // Whole records: a driver's private part behind the public fields is carried along.
        const size_t records = (size_t(size) + sizeof(DEVMODEW) - 1) / sizeof(DEVMODEW);
        setup->input.reset(new DEVMODEW[records]());
        setup->output.reset(new DEVMODEW[records]());
        ok = DocumentPropertiesW(nullptr, handle, printer.c_str(), setup->input.get(), nullptr, DM_OUT_BUFFER) == IDOK;
    }
    if (ok) {
        DEVMODEW& mode = setup->input[0];
        mode.dmYResolution = 392;
        mode.dmPaperSize = DMPAPER_A4;
        mode.dmOrientation = DMORIENT_PORTRAIT;  // a landscape cover page is drawn turned on a portrait sheet
        page->settings.paperWidth = 2100;
        page->settings.paperHeight = 2970;
        page->geometry = CoverPrintGeometryMake(page->settings.orientation);
        if ((mode.dmFields & DM_COLOR) && mode.dmColor == DMCOLOR_MONOCHROME) mode.dmColor = DMCOLOR_COLOR;
        ok = DocumentPropertiesW(nullptr, handle, printer.c_str(), setup->output.get(), setup->input.get(),
                                 DM_IN_BUFFER | DM_OUT_BUFFER) == IDOK;
    }
    if (ok) {
        DWORD needed = 0;
        GetPrinterW(handle, 2, nullptr, 0, &needed);
        std::unique_ptr<BYTE[]> info(new BYTE[needed ? needed : 1]());
        if (needed && GetPrinterW(handle, 2, info.get(), needed, &needed)) {
            const auto* printerInfo = reinterpret_cast<const PRINTER_INFO_2W*>(info.get());
            const std::u16string port = printerInfo->pPortName ? printerInfo->pPortName : u"";
            if (port.find(u"FILE:") != std::u16string::npos) {
                WCHAR name[260] = {};
                if (GetTempFileNameW(dataDir.c_str(), u"MWM", 0, name)) setup->printToFile = name;
            }
        }
    }
    ClosePrinter(handle);
    return ok;
}

// The page file lies in the shared temporary folder and holds every receiver's details: it is
// made 0600 without following a symlink, and what stands there is taken over only when it is a
// regular file of this user's (checked on what was opened). Once it is ours, the sticky
// temporary folder keeps others from putting anything else in its place before the page is
// written into it.
bool PageFileClaim(const std::u16string& path)
{
    const std::string narrow = Narrow(path);
    const int fd = ::open(narrow.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st;
    const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                      ((st.st_mode & 07777) == 0600 || ::fchmod(fd, 0600) == 0);
    ::close(fd);
    return ours;
}

}  // namespace

void CoverPageLabelsLoad(HMODULE library, CoverPageLabels* labels)
{
    std::memset(labels, 0, sizeof *labels);
    for (int i = 0; library && i < kCoverLabelCount; ++i)
        LoadStringW(library, kCoverLabelFirst + UINT(i), labels->text[i], 128);
}

bool CoverPageDocStart(HDC dc, const CoverPrintPage& page, DOCINFOW* document, LPCWSTR printToFile)
{
    CoverPageEscapeData escape{};
    escape.width = page.geometry.width;
    escape.height = page.geometry.height;
    // The driver must be told the very file the page goes to: a path that does not fit the field
    // or has characters the ANSI code page lacks would name another file, so it is refused.
    BOOL replaced = FALSE;
    const int written = WideCharToMultiByte(CP_ACP, 0, document->lpszOutput ? document->lpszOutput : u"", -1,
                                            escape.path, sizeof escape.path, nullptr, &replaced);
    if (written <= 0 || replaced) return false;
    document->lpszOutput = printToFile && *printToFile ? printToFile : nullptr;
    if (StartDocW(dc, document) <= 0) return false;
    if (ExtEscape(dc, FAX_ESCAPE_COVER_PAGE, sizeof escape, reinterpret_cast<LPCSTR>(&escape), 0, nullptr) <= 0 ||
        StartPage(dc) <= 0) {
        EndDoc(dc);
        return false;
    }
    CoverPageTemplatePrint(dc, page);
    return true;
}

int CoverPrintRun(std::u16string_view modulePath, std::FILE* errors)
{
    const CoverPrintNames names = CoverPrintNamesMake(modulePath);
    WCHAR dataDir[1024] = {};
    std::u16string dataFolder;
    // The receivers come from the data folder: one that is refused would print a cover page
    // without them, or with another user's.
    if (const DataFolderVerdict verdict = FaxDataDirCheck(dataDir, &dataFolder); verdict != kDataFolderPrivate) {
        std::fprintf(errors, "coverprint: %s\n", Narrow(DataRefusalText(verdict, dataFolder)).c_str());
        return kCoverDataRefused;
    }
    // The Part fixes the page file's name in the temporary folder; a path that does not fit the
    // buffer leaves it empty, and the page would land in the current folder instead.
    WCHAR tempFolder[260] = {};
    const DWORD tempLength = GetTempPathW(260, tempFolder);
    if (tempLength == 0 || tempLength >= 260) {
        std::fprintf(errors,
                     "coverprint: the temporary folder's path is missing or longer than 259 characters (TMPDIR); "
                     "no cover page printed\n");
        return kCoverNoPageFile;
    }
    const std::u16string outputPath = std::u16string(tempFolder) + names.prefix + u"FAXCP.WM";
    HMODULE labels = LoadLibraryW(names.library.c_str());

    auto page = std::make_unique<CoverPrintPage>();
    CoverPageLabelsLoad(labels, &page->labels);
    page->templatePath = names.templatePath;
    page->countKey = names.key;
    page->receiversPath = FaxDataFilePath(dataDir, u"", names.receiversFile);

    HeapPtr driverPath(RegValueRead(HKEY_CURRENT_USER, names.key.c_str(), kValueDriverPath, sizeof(DriverPathValue)));
    HeapPtr settings(
        RegValueRead(HKEY_CURRENT_USER, names.key.c_str(), kValueCoverPagePout, sizeof(CoverPageSettings)));
    if (!driverPath || !settings) {
        if (labels) FreeLibrary(labels);
        std::fprintf(errors, "coverprint: out of memory reading the stored settings\n");
        return kCoverNoMemory;
    }
    DriverPathValue driver;
    std::memcpy(&driver, driverPath.get(), sizeof driver);
    std::memcpy(&page->settings, settings.get(), sizeof page->settings);
    CoverPageOrientationDefault(&page->settings);
    page->settings.style = CoverPageStyleOffered(page->templatePath.c_str(), page->settings.style);
    size_t nameLength = 0;
    while (nameLength < sizeof driver.printerName && driver.printerName[nameLength]) ++nameLength;
    WCHAR printerName[129] = {};
    if (nameLength > 0) MultiByteToWideChar(CP_ACP, 0, driver.printerName, int(nameLength), printerName, 128);
    const std::u16string printer(printerName);

    int status = kCoverPrinted;
    PrinterSetup setup;
    if (!PrinterSet(printer, page.get(), dataDir, &setup)) {
        // Without the printer's device mode there is no page geometry to draw with.
        std::fprintf(errors, "coverprint: the printer \"%s\" cannot be opened or set up; no cover page printed\n",
                     Narrow(printer).c_str());
        status = kCoverNoPrinter;
    } else if (!PageFileClaim(outputPath)) {
        std::fprintf(errors,
                     "coverprint: \"%s\" is not a regular file of yours (a symlink or another user's file stands "
                     "there) or cannot be made; no cover page printed\n",
                     Narrow(outputPath).c_str());
        status = kCoverNoPageFile;
    } else if (HDC dc = CreateDCW(u"WINSPOOL", printer.c_str(), nullptr, setup.output.get()); !dc) {
        std::fprintf(errors, "coverprint: no device context for the printer \"%s\"; no cover page printed\n",
                     Narrow(printer).c_str());
        status = kCoverNoDevice;
    } else {
        DOCINFOW document{sizeof(DOCINFOW), u"MAKE COVER PAGE", outputPath.c_str(), nullptr, 0};
        bool printed = CoverPageDocStart(dc, *page, &document, setup.printToFile.c_str());
        if (printed) {
            printed = EndPage(dc) > 0;
            printed = EndDoc(dc) > 0 && printed;
        }
        DeleteDC(dc);
        if (!printed) {
            std::fprintf(errors, "coverprint: the cover page could not be printed to \"%s\" (error %u)\n",
                         Narrow(outputPath).c_str(), unsigned(GetLastError()));
            status = kCoverNotPrinted;
        }
    }
    if (!setup.printToFile.empty()) DeleteFileW(setup.printToFile.c_str());
    if (labels) FreeLibrary(labels);
    return status;
}
