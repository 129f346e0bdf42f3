// Printing: printers are registry keys HKEY_LOCAL_MACHINE "Printers\<name>" that the tools and
// tests set up (PrinterInstall below); a printer DC is a page bitmap drawn with the GDI stand-in,
// and each finished page is written as PNG to the files the document names.
#pragma once

#include "platform/gdi.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// The device mode: the display-only fields of the union are left out; sizes and offsets of the
// printer fields are those the callers' records expect.
struct DEVMODEW {
    WCHAR dmDeviceName[32];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    SHORT dmOrientation;
    SHORT dmPaperSize;
    SHORT dmPaperLength;  // tenths of a millimetre
    SHORT dmPaperWidth;
    SHORT dmScale;
    SHORT dmCopies;
    SHORT dmDefaultSource;
    SHORT dmPrintQuality;  // dots per inch across when positive
    SHORT dmColor;
    SHORT dmDuplex;
    SHORT dmYResolution;
    SHORT dmTTOption;
    SHORT dmCollate;
    WCHAR dmFormName[32];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmNup;
    DWORD dmDisplayFrequency;
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
};
static_assert(sizeof(DEVMODEW) == 220);

#define DM_ORIENTATION 0x00000001u
#define DM_PAPERSIZE 0x00000002u
#define DM_PAPERLENGTH 0x00000004u
#define DM_PAPERWIDTH 0x00000008u
#define DM_PRINTQUALITY 0x00000400u
#define DM_COLOR 0x00000800u
#define DM_YRESOLUTION 0x00002000u
#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2
#define DMPAPER_LETTER 1
#define DMPAPER_A4 9
#define DMCOLOR_MONOCHROME 1
#define DMCOLOR_COLOR 2
#define DM_OUT_BUFFER 2u
#define DM_IN_PROMPT 4u
#define DM_IN_BUFFER 8u
#define IDOK 1

struct PRINTER_INFO_2W {
    LPWSTR pServerName;
    LPWSTR pPrinterName;
    LPWSTR pShareName;
    LPWSTR pPortName;
    LPWSTR pDriverName;
    LPWSTR pComment;
    LPWSTR pLocation;
    DEVMODEW* pDevMode;
    LPWSTR pSepFile;
    LPWSTR pPrintProcessor;
    LPWSTR pDatatype;
    LPWSTR pParameters;
    void* pSecurityDescriptor;
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
};

struct DOCINFOW {
    int cbSize;
    LPCWSTR lpszDocName;
    LPCWSTR lpszOutput;  // the file that takes the pages, or null
    LPCWSTR lpszDatatype;
    DWORD fwType;
};
static_assert(sizeof(DOCINFOW) == 40);

#define SP_ERROR (-1)

// The fax printer's private escape: i32 page width, i32 page height in device pixels and, when
// the data is long enough, a zero-terminated path in the ANSI code page (1251) of the file that
// takes up the pages. Sizes outside 1..32767 or a page of more than 2^26 pixels are refused (-1).
#define FAX_ESCAPE_COVER_PAGE 4999

// The printer's record: "Port" (REG_SZ), "Driver" (REG_SZ, optional) and "DevMode" (REG_BINARY, a
// DEVMODEW; optional, a default A4 portrait 200 x 200 dpi monochrome one otherwise).
BOOL OpenPrinterW(LPCWSTR printerName, HANDLE* printer, void* defaults);
BOOL ClosePrinter(HANDLE printer);
// mode 0 gives the size of the device mode; DM_OUT_BUFFER writes the printer's device mode, with
// the fields that DM_IN_BUFFER's input names in its dmFields taken from the input. IDOK or < 0.
LONG DocumentPropertiesW(HWND window, HANDLE printer, LPCWSTR deviceName, DEVMODEW* output, const DEVMODEW* input,
                         DWORD mode);
// Level 2 only; the strings and device mode follow the record in the buffer.
BOOL GetPrinterW(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed);

// A printer DC for the printer named by device (driver and port are not used). Its page is the
// device mode's paper at its resolution (dmPrintQuality across, dmYResolution down) until the
// escape above sets it.
HDC CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const DEVMODEW* mode);
// Only FAX_ESCAPE_COVER_PAGE on a printer DC: 1, or -1 for bad data; other escapes 0.
int ExtEscape(HDC dc, int escape, int inputSize, LPCSTR input, int outputSize, LPSTR output);
// The document's pages go to its output file (page 1) and to the escape's file, page n > 1 at the
// same name followed by "." and n. A page that cannot be written makes EndPage and EndDoc fail.
int StartDocW(HDC dc, const DOCINFOW* info);
int StartPage(HDC dc);
int EndPage(HDC dc);
int EndDoc(HDC dc);

namespace platform {
// A4 portrait at 200 x 200 dots per inch, monochrome: the mode of a printer stored without one.
DEVMODEW PrinterDefaultMode(LPCWSTR name);
// Creates or replaces the printer's registry record; a null device mode leaves the default.
BOOL PrinterInstall(LPCWSTR name, LPCWSTR port, const DEVMODEW* mode);
}  // namespace platform

#pragma GCC visibility pop
