// Out of memory in the handle table: creating an object fails with ERROR_NOT_ENOUGH_MEMORY and
// deleting one still works, and no exception ever leaves an exported function. This program's own
// operator new refuses large blocks on request: the objects are small, so only the growth of the
// table's vectors runs out of memory.
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "tests/support/refusing_new.h"

namespace {
std::atomic<bool> gFailNew{false};
constexpr std::size_t kLargeBlock = 4096;
bool Refused(std::size_t size) { return gFailNew.load() && size >= kLargeBlock; }
}  // namespace

bool NewRefused(std::size_t size) { return Refused(size); }

namespace {

// Objects are created until the table must grow and cannot; the handles are kept in room taken
// beforehand.
TEST(HandleTableMemory, RunningOutIsAFailedCreateAndDeletesStillWork)
{
    constexpr size_t kMost = size_t(1) << 22;
    std::vector<HRGN> regions;
    regions.reserve(kMost);
    HRGN failed = reinterpret_cast<HRGN>(1);
    DWORD error = 0;
    bool threw = false;
    gFailNew = true;
    try {
        while (regions.size() < kMost) {
            failed = CreateRectRgn(0, 0, 1, 1);
            if (!failed) {
                error = GetLastError();
                break;
            }
            regions.push_back(failed);
        }
    } catch (...) {
        threw = true;
    }
    gFailNew = false;
    ASSERT_FALSE(threw) << "an exception left CreateRectRgn";
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY));
    gFailNew = true;
    bool deleted = true;
    try {
        for (HRGN r : regions) deleted = DeleteObject(r) && deleted;
    } catch (...) {
        threw = true;
    }
    gFailNew = false;
    EXPECT_FALSE(threw) << "an exception left DeleteObject";
    EXPECT_TRUE(deleted);
    HRGN again = CreateRectRgn(0, 0, 2, 2);
    EXPECT_NE(again, nullptr);
    DeleteObject(again);
}

}  // namespace
