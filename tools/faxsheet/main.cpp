// faxsheet: plays the printer driver before a fax job. It records the printer and the driver
// folder in "DriverPath", registers the help viewer when none is, calls Velmora's GetReciverInfo
// and then prints what the sheet saved: the receivers, the cover-page settings and the count.
// With --fill it also plays the user (tools/faxsheet/sheet_fill.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "frontend/common/data_dir.h"
#include "frontend/common/driver_path.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/file_all.h"
#include "frontend/common/record_rules.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "tools/faxsheet/sheet_fill.h"

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: faxsheet [--library PATH] [--print-only | --fill] PRINTER\n"
                 "  Shows the fax sending sheet for PRINTER, then prints what it saved.\n"
                 "  --library PATH  the Velmora library (default: ../lib/libvelmora.so beside this program)\n"
                 "  --print-only    prints the saved state without showing the sheet\n"
                 "  --fill          fills the send list (two contacts, a group, a typed receiver), writes the\n"
                 "                  pages into $FAXDRIVER_UI_SNAPSHOT when it is set, and presses OK\n");
}

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('/') + 1); }

std::u16string Wide(const std::string& text)
{
    std::u16string wide(text.size() + 1, u'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return wide;
}

std::string Narrow(std::u16string_view text)
{
    std::string narrow(text.size() * 3, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                                      static_cast<int>(narrow.size()), nullptr, nullptr);
    narrow.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return narrow;
}

// The driver's record of the printer and its folder ("DriverPath", texts in code page 1251, the
// record's own encoding, which the sheet and Coverprint read).
bool DriverPathWrite(const std::u16string& key, const std::string& printer, const std::string& folder)
{
    DriverPathValue value{};
    if (!DriverPathFieldSet(value.printerName, sizeof value.printerName, Wide(printer))) {
        std::fprintf(stderr,
                     "faxsheet: the printer name \"%s\" cannot be stored in \"DriverPath\": it must be written in code "
                     "page 1251 (Cyrillic and Latin letters) in at most %zu characters\n",
                     printer.c_str(), sizeof value.printerName - 1);
        return false;
    }
    if (!DriverPathFieldSet(value.driverFolder, sizeof value.driverFolder, Wide(folder))) {
        std::fprintf(
            stderr,
            "faxsheet: the driver folder \"%s\" cannot be stored in \"DriverPath\": it must be written in code "
            "page 1251 (Cyrillic and Latin letters) in at most %zu characters\n",
            folder.c_str(), sizeof value.driverFolder - 1);
        return false;
    }
    return RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueDriverPath, &value, sizeof value);
}

// Registers the window layer's help viewer under the class the sheet looks up, when none is.
void HelpViewerRegister(const std::string& libraryFolder)
{
    const char* subKey = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return;
    }
    const std::string viewer = libraryFolder + "libfaxplatformui.so";
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(viewer.c_str()),
                       static_cast<DWORD>(viewer.size() + 1));
        RegCloseKey(key);
    }
}

void Print(const std::u16string& key, const std::u16string& prefix)
{
    BYTE* settingsBlock = RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueCoverPagePout, sizeof(CoverPageSettings));
    BYTE* countBlock = RegValueRead(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, sizeof(CountValue));
    CoverPageSettings settings;
    CountValue count;
    RecordFromBytes(settings, {settingsBlock, sizeof settings});
    RecordFromBytes(count, {countBlock, sizeof count});
    HeapFree(GetProcessHeap(), 0, settingsBlock);
    HeapFree(GetProcessHeap(), 0, countBlock);

    WCHAR folder[1024];
    FaxDataDirGet(folder);
    const std::u16string receiversPath = FaxDataFilePath(folder, prefix, u"REC.DAT");
    BYTE* receivers = FileReadAll(receiversPath.c_str());
    const WORD used = RecordCountClamp(receivers, sizeof(ContactRecord), count.contactCount);
    std::printf("receivers: %u (file %s)\n", count.contactCount, Narrow(receiversPath).c_str());
    if (used < count.contactCount) std::printf("  the file holds only %u of them\n", used);
    const auto* records = reinterpret_cast<const ContactRecord*>(receivers);
    for (WORD i = 0; i < used; ++i)
        std::printf("  %u. %s, fax %s%s%s\n", i + 1, Narrow(FieldText(records[i].name)).c_str(),
                    Narrow(FieldText(records[i].fax)).c_str(), records[i].key[0] ? ", key " : "",
                    Narrow(FieldText(records[i].key)).c_str());
    HeapFree(GetProcessHeap(), 0, receivers);

    std::printf("cover page: style %u%s, paper %u x %u (tenths of mm), orientation %s\n", settings.style,
                settings.style ? "" : " (none)", settings.paperWidth, settings.paperHeight,
                settings.orientation == 1 ? "portrait" : "landscape");
    std::printf("  subject %s: \"%s\"\n", settings.showSubject ? "shown" : "not shown",
                Narrow(FieldText(settings.subject)).c_str());
    std::printf("  sender %s: %s, fax %s\n", settings.showSender ? "shown" : "not shown",
                Narrow(FieldText(settings.sender.name)).c_str(), Narrow(FieldText(settings.sender.fax)).c_str());
    std::printf("  date and time %s, receivers %s\n", settings.showDateTime ? "shown" : "not shown",
                settings.showReceivers ? "shown" : "not shown");
    std::printf("  picture %s: \"%s\" at %u%%, X %u%%, Y %u%%\n", settings.pictureOn ? "on" : "off",
                Narrow(FieldText(settings.picturePath)).c_str(), settings.pictureScale, settings.pictureX,
                settings.pictureY);
    std::printf("count: %u receivers, %u groups in the address book\n", count.contactCount, count.groupCount);
}

}  // namespace

// In the sanitizer build: fontconfig's caches, made for the sheet's fonts by Qt, are never
// released, and are not ours to report.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    std::string library, printer;
    bool printOnly = false, fill = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--library") && i + 1 < argc) {
            library = argv[++i];
        } else if (!std::strcmp(argv[i], "--print-only")) {
            printOnly = true;
        } else if (!std::strcmp(argv[i], "--fill")) {
            fill = true;
        } else if (argv[i][0] == '-' || !printer.empty()) {
            Usage();
            return 2;
        } else {
            printer = argv[i];
        }
    }
    if (printer.empty() || (printOnly && fill)) {
        Usage();
        return 2;
    }
    if (library.empty()) {
        char self[4096] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        library =
            (n > 0 ? Folder(std::string(self, static_cast<size_t>(n))) : std::string("./")) + "../lib/libvelmora.so";
    }
    char resolved[4096];
    if (!realpath(library.c_str(), resolved)) {
        std::fprintf(stderr, "faxsheet: cannot find the Velmora library %s: %s\n", library.c_str(),
                     std::strerror(errno));
        return 1;
    }
    library = resolved;

    WCHAR prefix[32];
    FaxPrefixFromModulePath(Wide(library).c_str(), prefix);
    const std::u16string key = FaxKeyName(prefix);
    if (!printOnly) {
        if (!DriverPathWrite(key, printer, Folder(library))) return 1;
        HelpViewerRegister(Folder(library));
        if (fill) {
            const char* snapshot = std::getenv("FAXDRIVER_UI_SNAPSHOT");
            SheetFillInstall(snapshot ? snapshot : "");
        }
        HMODULE velmora = LoadLibraryA(library.c_str());
        if (!velmora) {
            std::fprintf(stderr, "faxsheet: cannot load %s (error %u)\n", library.c_str(), GetLastError());
            return 1;
        }
        using Entry = INT_PTR (*)();
        auto getReceiverInfo = FaxProcCast<Entry>(GetProcAddress(velmora, "GetReciverInfo"));
        if (!getReceiverInfo) {
            std::fprintf(stderr, "faxsheet: %s has no GetReciverInfo\n", library.c_str());
            return 1;
        }
        const INT_PTR result = getReceiverInfo();
        std::printf("sheet for \"%s\": %s (%ld)\n", printer.c_str(),
                    result > 0    ? "OK"
                    : result == 0 ? "cancelled, nothing saved"
                                  : "could not be shown",
                    static_cast<long>(result));
        if (result < 0) return 1;
    }
    Print(key, prefix);
    return 0;
}
