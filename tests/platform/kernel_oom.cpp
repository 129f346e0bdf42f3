// Out of memory in the kernel's creating functions: each allocation of a call is refused in turn,
// and the call fails with ERROR_NOT_ENOUGH_MEMORY or succeeds, never throws and never leaves a
// descriptor open. This program's own operator new refuses the block it is told to.
#include <atomic>
#include <dirent.h>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/kernel.h"
#include "tests/support/refusing_new.h"
#include "tests/support/scratch_dir.h"

namespace {
std::atomic<bool> gArmed{false};
std::atomic<long> gCalls{0};
std::atomic<long> gRefuseAt{0};
}  // namespace

bool NewRefused(std::size_t)
{
    if (!gArmed.load()) return false;
    return gCalls.fetch_add(1) + 1 == gRefuseAt.load();
}

namespace {

int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir)) ++count;
        ::closedir(dir);
    }
    return count;
}

// Runs `create` with its k-th allocation refused, for k = 1, 2, ... until a run meets no refusal.
// `create` returns its handle or null; `close` releases a handle it made.
void SweepAllocations(const char* call, const std::function<HANDLE()>& create, const std::function<void(HANDLE)>& close)
{
    SCOPED_TRACE(call);
    bool refusedOnce = false;
    for (long k = 1; k < 10000; ++k) {
        SCOPED_TRACE(k);
        const int before = OpenDescriptors();
        gCalls = 0;
        gRefuseAt = k;
        HANDLE made = nullptr;
        bool threw = false;
        gArmed = true;
        try {
            made = create();
        } catch (...) {
            threw = true;
        }
        gArmed = false;
        const DWORD error = GetLastError();
        const bool reached = gCalls.load() >= k;
        ASSERT_FALSE(threw) << "an exception left the call";
        if (made) close(made);
        else EXPECT_EQ(error, DWORD{ERROR_NOT_ENOUGH_MEMORY});
        EXPECT_EQ(OpenDescriptors(), before) << "a descriptor leaked";
        if (!reached) {
            EXPECT_NE(made, nullptr) << "failed with no allocation refused";
            EXPECT_TRUE(refusedOnce) << "the call allocated nothing: the sweep tested nothing";
            return;
        }
        refusedOnce = true;
    }
    ADD_FAILURE() << "the call never ran without a refusal";
}

HANDLE OrNull(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }

TEST(KernelMemory, CreatingFilesEventsAndMappingsFailsInsteadOfThrowing)
{
    ScratchDir dir;
    // A long name, so that its copies are blocks of their own.
    const std::string name = dir.file(std::string(200, 'n') + ".bin");
    const std::u16string wide(name.begin(), name.end());
    const auto closeHandle = [](HANDLE h) { EXPECT_TRUE(CloseHandle(h)); };
    SweepAllocations(
        "CreateFileA",
        [&] {
            return OrNull(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        },
        closeHandle);
    SweepAllocations(
        "CreateFileW",
        [&] {
            return OrNull(CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        },
        closeHandle);
    SweepAllocations(
        "CreateEventA", [] { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }, closeHandle);

    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(WriteFile(file, "mapped bytes", 12, nullptr, nullptr));
    SweepAllocations(
        "CreateFileMappingA", [&] { return CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr); },
        closeHandle);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    SweepAllocations(
        "MapViewOfFile", [&] { return static_cast<HANDLE>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)); },
        [](HANDLE view) { EXPECT_TRUE(UnmapViewOfFile(view)); });
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
}

}  // namespace
