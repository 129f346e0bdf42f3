// Coverprint: prints the fax cover page on the fax printer from what the sending sheet stored.
#pragma once

#include <cstdio>
#include <string>

#include "frontend/common/records.h"
#include "platform/print.h"

// The names a run forms from the program's own path.
struct CoverPrintNames {
    std::u16string prefix;  // base name (at most 31 characters) less its last two, in capitals
    std::u16string key;  // "SoftWare\QUOBA\<prefix>"
    std::u16string receiversFile;  // "<prefix>REC.DAT", in the data folder
    std::u16string library;  // Velmora, by full path: "<folder>../lib/lib<prefix in small letters>.so"
    std::u16string templatePath;  // the program's path with the extension ".INI"
};
CoverPrintNames CoverPrintNamesMake(std::u16string_view modulePath);

struct CoverPrintGeometry {
    int32_t width;  // device pixels at 392 per inch
    int32_t height;
    int32_t widthDivisor;
    int32_t heightDivisor;
    int32_t receiverLimit;
    int32_t deviceFactor;  // device pixels per picture pixel at 100 %, half the line pen
};
// Always from the orientation: 1 portrait A4, anything else landscape A4.
CoverPrintGeometry CoverPrintGeometryMake(WORD orientation);

#pragma pack(push, 1)
struct CoverPageEscapeData {
    int32_t width;
    int32_t height;
    char path[260];  // ANSI (1251), zero-terminated
};
#pragma pack(pop)
static_assert(sizeof(CoverPageEscapeData) == 268);

// Strings 8100 to 8108 of Velmora's string table.
inline constexpr UINT kCoverLabelFirst = 8100;
inline constexpr int kCoverLabelCount = 9;
struct CoverPageLabels {
    WCHAR text[kCoverLabelCount][128];
};
void CoverPageLabelsLoad(HMODULE library, CoverPageLabels* labels);

// Everything the drawing steps read.
struct CoverPrintPage {
    CoverPrintGeometry geometry;
    CoverPageSettings settings;
    CoverPageLabels labels;
    std::u16string templatePath;
    std::u16string receiversPath;  // data folder + receivers file
    std::u16string countKey;  // the registry key holding "CountPout"
};

// The picture's place on the page: scale clamped to 10..400, 64-bit products.
RECT CoverPicturePlace(const CoverPrintGeometry& geometry, LONG pictureWidth, LONG pictureHeight, WORD scale, WORD x,
                       WORD y);

// Starts the document, sends the escape and starts the page, then draws it. False when the
// document cannot be printed: StartDoc, the escape, StartPage or the output path refused.
bool CoverPageDocStart(HDC dc, const CoverPrintPage& page, DOCINFOW* document, LPCWSTR printToFile);
void CoverPageTemplatePrint(HDC dc, const CoverPrintPage& page);
void CoverPageDateTimePrint(HDC dc, LONG x, LONG y, LONG lineHeight, const CoverPageLabels& labels);
void CoverPageSenderPrint(HDC dc, LONG x, LONG y, LONG lineHeight, const CoverPrintPage& page);
void CoverPageReceiversPrint(HDC dc, LONG x, LONG y, LONG rightX, LONG lineHeight, WORD count,
                             const CoverPrintPage& page);

// Exit statuses of a run.
enum CoverPrintStatus : int {
    kCoverPrinted = 0,
    kCoverNoPrinter = 2,  // the printer cannot be opened or gives no device mode
    kCoverNoDevice = 3,  // no printer device context
    kCoverNotPrinted = 4,  // the document failed
    kCoverNoMemory = 5,  // the heap refused the settings or device-mode blocks
    kCoverDataRefused = 6,  // the data folder is refused: the receivers cannot be read safely
    kCoverNoPageFile = 7,  // the page file cannot be named or made safely in the temporary folder
};
// One run as the program makes it; messages go to errors.
int CoverPrintRun(std::u16string_view modulePath, std::FILE* errors);
