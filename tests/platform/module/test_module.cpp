// A small library for the loader and resource tests: two exports, an ordinal table and a
// resource table with binary data, a named type and a string-table block.
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/resources.h"

extern "C" __attribute__((visibility("default"))) int TestModuleAnswer() { return 42; }
extern "C" __attribute__((visibility("default"))) int TestModuleSecond() { return 7; }

FAX_MODULE_ORDINALS({3, "TestModuleAnswer"}, {4, "TestModuleSecond"}, {5, "TestModuleNotThere"});

// The module's own handle, as a library learns it.
extern "C" __attribute__((visibility("default"))) HMODULE TestModuleHandle()
{
    return ModuleFromAddress(reinterpret_cast<const void*>(&TestModuleHandle));
}

namespace {

const unsigned char kScreen[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const char kNote[] = "named resource";

// Strings 16..31: 16 "A", 17 empty, 18 "Факс", 19..31 absent (length 0).
alignas(2) const unsigned char kStrings[] = {
    1, 0, 'A', 0, 0, 0, 4, 0, 0x24, 0x04, 0x30, 0x04, 0x3A, 0x04, 0x41, 0x04, 0, 0, 0, 0, 0,
    0, 0, 0,   0, 0, 0, 0, 0, 0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0,
};

}  // namespace

FAX_RESOURCE_TABLE(TestModuleResources, {FaxResourceKey("Halftones"), FaxResourceKey(104), kScreen, sizeof kScreen},
                   {FaxResourceKey("Notes"), FaxResourceKey("Readme"), kNote, sizeof kNote - 1},
                   {FaxResourceKey(RT_STRING_ID), FaxResourceKey(2), kStrings, sizeof kStrings},
                   {FaxResourceKey(RT_RCDATA_ID), FaxResourceKey(1), nullptr, 0});

// Kernel objects and registry values made inside the module, for the tests that check that the
// module and its host share one platform layer.
extern "C" __attribute__((visibility("default"))) HANDLE TestModuleEventCreate()
{
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

extern "C" __attribute__((visibility("default"))) BOOL TestModuleEventSet(HANDLE event) { return SetEvent(event); }

extern "C" __attribute__((visibility("default"))) LSTATUS TestModuleRegistryWrite(const char* subKey, const char* name,
                                                                                  DWORD value)
{
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status;
}

extern "C" __attribute__((visibility("default"))) DWORD TestModuleLastErrorSet(DWORD code)
{
    SetLastError(code);
    return GetLastError();
}
