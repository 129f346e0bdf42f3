// Printers as registry records: OpenPrinterW, ClosePrinter, DocumentPropertiesW, GetPrinterW and
// the tools' PrinterInstall.
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/kernel.h"
#include "platform/print.h"
#include "platform/registry.h"
#include "print_internal.h"

namespace {

struct OpenPrinter {
    std::u16string name;
    std::u16string port;
    std::u16string driver;
    DEVMODEW mode;
};

std::mutex& PrinterLock()
{
    static std::mutex lock;
    return lock;
}
std::map<uintptr_t, OpenPrinter>& Printers()
{
    static std::map<uintptr_t, OpenPrinter> printers;
    return printers;
}

std::u16string KeyName(LPCWSTR name) { return std::u16string(u"Printers\\") + name; }

std::u16string StringValue(HKEY key, LPCWSTR value)
{
    WCHAR text[260] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    DWORD type = 0;
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return std::u16string(text);
}

size_t WideBytes(const std::u16string& text) { return (text.size() + 1) * sizeof(WCHAR); }

}  // namespace

namespace platform {

DEVMODEW PrinterDefaultMode(LPCWSTR name)
{
    DEVMODEW mode{};
    for (int i = 0; i < 31 && name && name[i]; ++i) mode.dmDeviceName[i] = name[i];
    mode.dmSpecVersion = 0x0401;
    mode.dmSize = sizeof(DEVMODEW);
    mode.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_PRINTQUALITY | DM_YRESOLUTION | DM_COLOR;
    mode.dmOrientation = DMORIENT_PORTRAIT;
    mode.dmPaperSize = DMPAPER_A4;
    mode.dmPrintQuality = 200;
    mode.dmYResolution = 200;
    mode.dmColor = DMCOLOR_MONOCHROME;
    mode.dmCopies = 1;
    return mode;
}

bool PrinterModeRead(LPCWSTR name, DEVMODEW* mode)
{
    HKEY key = nullptr;
    if (!name || RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyName(name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    *mode = PrinterDefaultMode(name);
    DEVMODEW stored{};
    DWORD size = sizeof stored;
    DWORD type = 0;
    // A stored mode of another size is not ours to interpret: the default stands.
    if (RegQueryValueExW(key, u"DevMode", nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) == ERROR_SUCCESS &&
        type == REG_BINARY && size == sizeof stored)
        *mode = stored;
    mode->dmSize = sizeof(DEVMODEW);
    mode->dmDriverExtra = 0;
    RegCloseKey(key);
    return true;
}

BOOL PrinterInstall(LPCWSTR name, LPCWSTR port, const DEVMODEW* mode)
{
    if (!name || !*name || !port) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyName(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return FALSE;
    const std::u16string portText(port);
    bool ok = RegSetValueExW(key, u"Port", 0, REG_SZ, reinterpret_cast<const BYTE*>(portText.c_str()),
                             static_cast<DWORD>(WideBytes(portText))) == ERROR_SUCCESS;
    const DEVMODEW stored = mode ? *mode : PrinterDefaultMode(name);
    ok = ok && RegSetValueExW(key, u"DevMode", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&stored), sizeof stored) ==
                   ERROR_SUCCESS;
    RegCloseKey(key);
    return ok ? TRUE : FALSE;
}

}  // namespace platform

BOOL OpenPrinterW(LPCWSTR printerName, HANDLE* printer, void*)
{
    if (!printer || !printerName || !*printerName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *printer = nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyName(printerName).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    OpenPrinter record{printerName, StringValue(key, u"Port"), StringValue(key, u"Driver"), {}};
    RegCloseKey(key);
    platform::PrinterModeRead(printerName, &record.mode);
    std::lock_guard<std::mutex> guard(PrinterLock());
    static uintptr_t next = 0x7000;
    next += 4;
    Printers().emplace(next, std::move(record));
    *printer = reinterpret_cast<HANDLE>(next);
    return TRUE;
}

BOOL ClosePrinter(HANDLE printer)
{
    std::lock_guard<std::mutex> guard(PrinterLock());
    if (Printers().erase(reinterpret_cast<uintptr_t>(printer)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

LONG DocumentPropertiesW(HWND, HANDLE printer, LPCWSTR, DEVMODEW* output, const DEVMODEW* input, DWORD mode)
{
    std::lock_guard<std::mutex> guard(PrinterLock());
    auto found = Printers().find(reinterpret_cast<uintptr_t>(printer));
    if (found == Printers().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    if (mode == 0) return sizeof(DEVMODEW);
    DEVMODEW merged = found->second.mode;
    if ((mode & DM_IN_BUFFER) && input) platform::PrinterModeMerge(&merged, *input);
    if (mode & DM_OUT_BUFFER) {
        if (!output) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return -1;
        }
        *output = merged;
    }
    return IDOK;
}

BOOL GetPrinterW(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed)
{
    std::lock_guard<std::mutex> guard(PrinterLock());
    auto found = Printers().find(reinterpret_cast<uintptr_t>(printer));
    if (found == Printers().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const OpenPrinter& record = found->second;
    const size_t total = sizeof(PRINTER_INFO_2W) + sizeof(DEVMODEW) + WideBytes(record.name) + WideBytes(record.port) +
                         WideBytes(record.driver);
    if (needed) *needed = static_cast<DWORD>(total);
    if (!buffer || size < total) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memset(buffer, 0, total);
    auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
    BYTE* at = buffer + sizeof(PRINTER_INFO_2W);
    info->pDevMode = reinterpret_cast<DEVMODEW*>(at);
    std::memcpy(at, &record.mode, sizeof(DEVMODEW));
    at += sizeof(DEVMODEW);
    auto place = [&at](const std::u16string& text) {
        auto* out = reinterpret_cast<LPWSTR>(at);
        std::memcpy(at, text.c_str(), WideBytes(text));
        at += WideBytes(text);
        return out;
    };
    info->pPrinterName = place(record.name);
    info->pPortName = place(record.port);
    info->pDriverName = place(record.driver);
    return TRUE;
}
