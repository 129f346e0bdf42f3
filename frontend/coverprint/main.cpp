// coverprint: prints the fax cover page the sending sheet set up. Its own file name gives the
// prefix of the registry key and data files (the name less its last two characters).
#include <cstdio>

#include "frontend/coverprint/coverprint.h"
#include "platform/kernel.h"

// The program's entry: its own instance gives the path the names are made from. The exit status
// tells a shell what became of the page (CoverPrintStatus).
int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    WCHAR self[1024] = {};
    const DWORD length = GetModuleFileNameW(instance, self, 1024);
    if (length == 0 || length >= 1024) {
        std::fprintf(stderr, "coverprint: cannot find the program's own path\n");
        return kCoverNoPrinter;
    }
    return CoverPrintRun(std::u16string_view(self, length), stderr);
}

int main() { return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0); }
