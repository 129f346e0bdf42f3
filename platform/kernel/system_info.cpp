#include <cwchar>
#include <sched.h>
#include <string>
#include <unistd.h>

#include "platform/kernel.h"
#include "wide_text.h"

BOOL DisableThreadLibraryCalls(HMODULE) { return TRUE; }

void GetSystemInfo(SYSTEM_INFO* info)
{
    if (!info) return;
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    info->dwPageSize = static_cast<DWORD>(::sysconf(_SC_PAGESIZE));
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>((uintptr_t{1} << 47) - 0x10001);
    cpu_set_t set;
    CPU_ZERO(&set);
    DWORD count = 0;
    DWORD_PTR mask = 0;
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (!CPU_ISSET(cpu, &set)) continue;
            ++count;
            if (cpu < 64) mask |= DWORD_PTR{1} << cpu;
        }
    }
    if (count == 0) {
        count = static_cast<DWORD>(::sysconf(_SC_NPROCESSORS_ONLN));
        mask = count >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << count) - 1;
    }
    info->dwActiveProcessorMask = mask;
    info->dwNumberOfProcessors = count;
    info->dwProcessorType = 8664;  // PROCESSOR_AMD_X8664
    info->dwAllocationGranularity = 0x10000;
    info->wProcessorLevel = 6;
}

void GetNativeSystemInfo(SYSTEM_INFO* info) { GetSystemInfo(info); }

BOOL GetVersionExW(OSVERSIONINFOW* info)
{
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = info->dwOSVersionInfoSize;
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* extended = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        *extended = OSVERSIONINFOEXW{};
        extended->wProductType = VER_NT_WORKSTATION;
    } else {
        *info = OSVERSIONINFOW{};
    }
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return TRUE;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b)
{
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    auto widen = [](LPCWSTR text) {
        const std::u16string utf16(text);
        std::wstring wide;
        for (size_t i = 0; i < utf16.size(); ++i) {
            char32_t c = utf16[i];
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000)
                c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
            wide += static_cast<wchar_t>(c);
        }
        return wide;
    };
    const int result = std::wcscoll(widen(a).c_str(), widen(b).c_str());
    return (result > 0) - (result < 0);
}
