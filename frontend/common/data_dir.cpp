#include "frontend/common/fax_store.h"

void FaxDataDirGet(LPWSTR out)
{
    constexpr DWORD kRoom = 1024;
    const std::u16string_view name = u"QUOBADAT";
    DWORD length = GetTempPathW(kRoom, out);
    if (length == 0 || length + name.size() + 2 > kRoom) {
        out[0] = 0;
        return;
    }
    name.copy(out + length, name.size());
    length += static_cast<DWORD>(name.size());
    out[length] = 0;
    CreateDirectoryW(out, nullptr);  // an existing folder, or one that cannot be made, is no error
    out[length] = u'/';  // this platform's separator, as GetTempPathW ends with it
    out[length + 1] = 0;
}

void CoverPageUIDefaults(CoverPageSettings* settings)
{
    settings->paperWidth = 2159;
    settings->paperHeight = 2794;
    settings->orientation = 1;
}
