// One platform layer per process: kernel objects, the last error and registry values made through
// a loaded module are the host's too, and a module unloaded and loaded again finds its resources.
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "tests/support/scratch_dir.h"

namespace {

template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return FaxProcCast<Function>(GetProcAddress(module, name));
}

TEST(OnePlatform, AnEventMadeInAModuleIsWaitedOnByTheHost)
{
    HMODULE module = LoadLibraryA(PLATFORM_TEST_MODULE_PATH);
    ASSERT_NE(module, nullptr);
    auto create = Export<HANDLE (*)()>(module, "TestModuleEventCreate");
    auto set = Export<BOOL (*)(HANDLE)>(module, "TestModuleEventSet");
    ASSERT_TRUE(create && set);

    // Made by the module, signalled by the host's thread, waited on by the host.
    HANDLE made = create();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(WaitForSingleObject(made, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    std::thread signaller([&] { EXPECT_TRUE(SetEvent(made)); });
    EXPECT_EQ(WaitForSingleObject(made, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    signaller.join();

    // Made by the host, signalled by the module.
    HANDLE ours = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(ours, nullptr);
    EXPECT_TRUE(set(ours));
    EXPECT_EQ(WaitForSingleObject(ours, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_TRUE(CloseHandle(ours));
    EXPECT_TRUE(CloseHandle(made));

    // The last error set inside the module is the calling thread's one value.
    auto lastError = Export<DWORD (*)(DWORD)>(module, "TestModuleLastErrorSet");
    ASSERT_NE(lastError, nullptr);
    EXPECT_EQ(lastError(1234), 1234u);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(OnePlatform, ARegistryValueWrittenByAModuleIsReadByTheHost)
{
    ScratchDir dir;
    const char* old = std::getenv("FAXDRIVER_REGISTRY");
    const std::string saved = old ? old : "";
    setenv("FAXDRIVER_REGISTRY", dir.file("registry").c_str(), 1);

    HMODULE module = LoadLibraryA(PLATFORM_TEST_MODULE_PATH);
    ASSERT_NE(module, nullptr);
    auto write = Export<LSTATUS (*)(const char*, const char*, DWORD)>(module, "TestModuleRegistryWrite");
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(write("Software\\FaxTest", "Copies", 3), ERROR_SUCCESS);
    EXPECT_TRUE(FreeLibrary(module));

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\faxtest", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, "copies", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 3u);
    RegCloseKey(key);

    if (old) setenv("FAXDRIVER_REGISTRY", saved.c_str(), 1);
    else unsetenv("FAXDRIVER_REGISTRY");
}

TEST(OnePlatform, AModuleLoadedAgainFindsItsResourcesEachTime)
{
    for (int round = 0; round < 4; ++round) {
        HMODULE module = LoadLibraryA(PLATFORM_TEST_MODULE_PATH);
        ASSERT_NE(module, nullptr) << round;
        HRSRC screen = FindResourceA(module, MAKEINTRESOURCEA(104), "Halftones");
        ASSERT_NE(screen, nullptr) << round;
        EXPECT_EQ(SizeofResource(module, screen), 10u);
        // The program's own resources are not the module's, and the module's are not the program's.
        EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(104), "Halftones"), nullptr);
        EXPECT_TRUE(FreeLibrary(module)) << round;
        // Really unloaded, so the next round registers the table anew.
        EXPECT_EQ(GetModuleHandleA(PLATFORM_TEST_MODULE_PATH), nullptr) << round;
    }
}

}  // namespace
