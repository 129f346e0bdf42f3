// Kernel handles that stay dead: a closed handle is refused even when its slot, or its object's
// very address, is given out again, and a handle of another kind or of GDI is refused too.
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/kernel/file.h"
#include "platform/kernel/kernel_object.h"
#include "tests/support/scratch_dir.h"

namespace {

using platform::HandleLookup;
using platform::HandleRegister;
using platform::HandleRelease;
using platform::KernelObject;
using platform::ObjectKind;

long SizeOf(const std::string& name)
{
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

HANDLE Create(const std::string& name)
{
    return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Without AddressSanitizer's quarantine the second file's object may take the first one's memory;
// the next test makes that happen on every build.
TEST(KernelHandles, AClosedFileHandleNeverWritesIntoTheNextFile)
{
    ScratchDir dir;
    const std::string first = dir.file("first.bin"), second = dir.file("second.bin");
    HANDLE a = Create(first);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(a));
    HANDLE b = Create(second);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    DWORD written = 7;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(a, "stale", 5, &written, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_FALSE(CloseHandle(a));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_TRUE(CloseHandle(b));
    EXPECT_EQ(SizeOf(first), 0);
    EXPECT_EQ(SizeOf(second), 0);
}

// The same object registered again lies at the same address: an address for a handle would name
// it again under the old handle.
TEST(KernelHandles, TheSameObjectRegisteredAgainGetsAHandleOfItsOwn)
{
    auto object = std::make_shared<KernelObject>(ObjectKind::Event);
    HANDLE old = HandleRegister(object);
    ASSERT_NE(old, nullptr);
    ASSERT_EQ(HandleRelease(old), object);
    HANDLE now = HandleRegister(object);
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now, old);
    SetLastError(0);
    EXPECT_EQ(HandleLookup(old, ObjectKind::Event), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(HandleRelease(old), nullptr);
    EXPECT_EQ(HandleLookup(now, ObjectKind::Event), object);
    EXPECT_EQ(HandleRelease(now), object);
    EXPECT_EQ(HandleLookup(now, ObjectKind::Event), nullptr);
}

TEST(KernelHandles, ForeignHandlesAreRefused)
{
    auto object = std::make_shared<KernelObject>(ObjectKind::Event);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    int local = 0;
    const HANDLE foreign[] = {dc, object.get(), &local, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(1)};
    for (HANDLE h : foreign) {
        SetLastError(0);
        EXPECT_FALSE(WriteFile(h, "x", 1, nullptr, nullptr)) << h;
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE}) << h;
        EXPECT_FALSE(SetEvent(h)) << h;
    }
    // An event is not a file, and a kernel handle is no GDI object.
    SetLastError(0);
    EXPECT_FALSE(WriteFile(event, "x", 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(GetObjectType(event), 0u);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(CloseHandle(event));
}

}  // namespace
