#include "frontend/common/driver_path.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "frontend/common/text_rules.h"
#include "platform/kernel.h"

bool DriverPathFieldSet(char* field, size_t size, std::u16string_view text)
{
    if (size == 0 || text.size() >= size)  // 1251 takes one byte a character
        return false;
    if (text.empty()) {
        field[0] = 0;
        return true;
    }
    std::string bytes(size, '\0');
    BOOL replaced = FALSE;
    const int n = WideCharToMultiByte(1251, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                      static_cast<int>(size) - 1, nullptr, &replaced);
    if (n <= 0 || replaced || static_cast<size_t>(n) != text.size()) return false;
    std::copy_n(bytes.data(), n, field);
    field[n] = 0;
    return true;
}

void DriverFolderFromValue(const DriverPathValue& value, WCHAR (&out)[260])
{
    size_t n = 0;
    while (n < sizeof value.driverFolder && value.driverFolder[n]) ++n;
    std::fill(std::begin(out), std::end(out), 0);
    // The folder may fill its field without a terminator; what does not fit 259 units is cut.
    WCHAR wide[sizeof value.driverFolder] = {};
    const int converted = MultiByteToWideChar(CP_ACP, 0, value.driverFolder, static_cast<int>(n), wide,
                                              static_cast<int>(std::size(wide)));
    FieldSet(out, std::u16string_view(wide, converted > 0 ? static_cast<size_t>(converted) : 0));
}
