// coverprint: prints the fax cover page the sending sheet set up. Its own file name gives the
// prefix of the registry key and data files (the name less its last two characters).
#include <cstdio>

#include "frontend/coverprint/coverprint.h"
#include "platform/kernel.h"

int main()
{
    WCHAR self[1024] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, 1024);
    if (length == 0 || length >= 1024) {
        std::fprintf(stderr, "coverprint: cannot find the program's own path\n");
        return kCoverNoPrinter;
    }
    return CoverPrintRun(std::u16string_view(self, length), stderr);
}
