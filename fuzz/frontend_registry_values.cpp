// The registry record readers of the front end: arbitrary bytes stored as "CoverPagePout",
// "CoverPageUI", "CountInfo" and "DriverPath" (split where the first bytes say, so values come
// short, exact or too long) are read back as the sheet reads them and turned into its starting
// settings, driver folder and counts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "frontend/common/cover_settings.h"
#include "frontend/common/driver_path.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"

namespace {

void UseScratchRegistry()
{
    static const bool ready = [] {
        std::string pattern = "/tmp/fuzz-registry-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        setenv("FAXDRIVER_REGISTRY", pattern.c_str(), 1);
        return true;
    }();
    (void)ready;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UseScratchRegistry();
    if (size < 4) return 0;
    const LPCWSTR names[4] = {kValueCoverPagePout, kValueCoverPageUI, kValueCountInfo, kValueDriverPath};
    const DWORD sizes[4] = {sizeof(CoverPageSettings), sizeof(CoverPageSettings), sizeof(CountValue),
                            sizeof(DriverPathValue)};
    const std::u16string key = FaxKeyName(u"FUZZ");
    const uint8_t* lengths = data;
    data += 4;
    size -= 4;
    BYTE* values[4];
    for (int i = 0; i < 4; ++i) {
        // Lengths around each record's size: short, exact and one too long.
        const size_t wanted = static_cast<size_t>(sizes[i]) * lengths[i] / 200 + (lengths[i] & 1);
        const size_t take = std::min(wanted, size);
        RegValueWrite(HKEY_CURRENT_USER, key.c_str(), names[i], data, static_cast<DWORD>(take));
        data += take;
        size -= take;
        values[i] = RegValueRead(HKEY_CURRENT_USER, key.c_str(), names[i], sizes[i]);
    }
    CoverPageSettings pout, ui;
    CountValue count;
    DriverPathValue driver;
    RecordFromBytes(pout, {values[0], sizes[0]});
    RecordFromBytes(ui, {values[1], sizes[1]});
    RecordFromBytes(count, {values[2], sizes[2]});
    RecordFromBytes(driver, {values[3], sizes[3]});
    CoverPageSettingsMerge(&pout, &ui);
    if (pout.paperWidth > pout.paperHeight || pout.paperWidth == 0 || pout.pictureScale == 0) std::abort();
    WCHAR folder[260];
    DriverFolderFromValue(driver, folder);
    WCHAR prefix[32];
    FaxPrefixFromModulePath(folder, prefix);
    const size_t seen = FieldText(pout.subject).size() + FieldText(pout.picturePath).size() + count.contactCount;
    for (BYTE* value : values) HeapFree(GetProcessHeap(), 0, value);
    return seen == SIZE_MAX ? 1 : 0;
}
