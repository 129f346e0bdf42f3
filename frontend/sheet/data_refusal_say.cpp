#include "frontend/sheet/data_refusal_say.h"

#include <string>

#include "frontend/common/data_refusal.h"

bool DataRefusalSay(HWND owner)
{
    WCHAR folder[1024];
    std::u16string named;
    const DataFolderVerdict verdict = FaxDataDirCheck(folder, &named);
    if (verdict == kDataFolderPrivate) return false;
    MessageBoxW(owner, DataRefusalText(verdict, named).c_str(), u"Ошибка", MB_OK | MB_ICONERROR);
    return true;
}
