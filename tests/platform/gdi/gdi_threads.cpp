// Several render jobs draw at once on their own threads: the handle table and the stock objects
// are shared, everything else belongs to one thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/gdi.h"

TEST(GdiThreads, JobsDrawConcurrently)
{
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) {
            std::fprintf(stderr, "GdiThreads: hung\n");
            std::abort();
        }
    });
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                BITMAPINFO info{};
                info.bmiHeader = {40, 64, -16, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
                void* bits;
                HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
                HDC dc = CreateCompatibleDC(nullptr);
                HGDIOBJ old = SelectObject(dc, bitmap);
                HBRUSH brush = CreateSolidBrush(RGB(t * 40, round, 7));
                SelectObject(dc, brush);
                HRGN clip = CreateRectRgn(t, 0, 60, 16);
                SelectClipRgn(dc, clip);
                PatBlt(dc, 0, 0, 64, 16, PATCOPY);
                BitBlt(dc, 10, 2, 20, 10, dc, 0, 0, SRCCOPY);
                SelectObject(dc, GetStockObject(BLACK_BRUSH));
                PatBlt(dc, 0, 0, 4, 4, PATINVERT);
                const uint8_t* p = static_cast<uint8_t*>(bits);
                if (p[3 * 50] != 7) failures++;
                SelectObject(dc, GetStockObject(WHITE_BRUSH));
                if (!DeleteObject(brush) || !DeleteObject(clip)) failures++;
                SelectObject(dc, old);
                DeleteDC(dc);
                if (!DeleteObject(bitmap)) failures++;
            }
        });
    }
    for (auto& w : workers) w.join();
    done = true;
    watchdog.join();
    EXPECT_EQ(failures.load(), 0);
}

namespace {

HBITMAP MonoSection(void** bits)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info{{40, 1, -1, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

// One brush selected and deselected on four threads while a fifth DC keeps it: every delete is
// refused while the holder has it (a lost count would free it under the holder), and it can be
// deleted once nobody holds it (a count left over would keep it forever).
TEST(GdiThreads, SelectionCountsHoldUnderConcurrentSelects)
{
    HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    HDC holder = CreateCompatibleDC(nullptr);
    void* bits;
    HBITMAP holderBitmap = MonoSection(&bits);
    HGDIOBJ holderOld = SelectObject(holder, holderBitmap);
    SelectObject(holder, brush);
    HBITMAP shared = MonoSection(&bits);
    std::atomic<bool> stop{false};
    std::atomic<int> deletedWhileHeld{0}, sharedHolders{0}, doubleSelected{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            HDC dc = CreateCompatibleDC(nullptr);
            for (int round = 0; round < 2000; ++round) {
                SelectObject(dc, brush);
                SelectObject(dc, GetStockObject(BLACK_BRUSH));
                // A bitmap goes into one DC at a time.
                HGDIOBJ previous = SelectObject(dc, shared);
                if (previous) {
                    if (sharedHolders.fetch_add(1) != 0) doubleSelected++;
                    sharedHolders.fetch_sub(1);
                    SelectObject(dc, previous);
                }
            }
            DeleteDC(dc);
        });
    }
    std::thread deleter([&] {
        // Bounded: a debug build reports every refused delete.
        for (int attempt = 0; attempt < 2000 && !stop; ++attempt) {
            if (DeleteObject(brush)) deletedWhileHeld++;
            std::this_thread::yield();
        }
    });
    for (auto& w : workers) w.join();
    stop = true;
    deleter.join();
    EXPECT_EQ(deletedWhileHeld.load(), 0);
    EXPECT_EQ(doubleSelected.load(), 0);
    EXPECT_TRUE(PatBlt(holder, 0, 0, 1, 1, PATCOPY));
    EXPECT_FALSE(DeleteObject(brush));
    SelectObject(holder, GetStockObject(WHITE_BRUSH));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(shared));
    SelectObject(holder, holderOld);
    DeleteDC(holder);
    EXPECT_TRUE(DeleteObject(holderBitmap));
}

// Fresh DCs draw into bitmaps of their own: what one thread paints is what it reads back.
TEST(GdiThreads, FreshDcsDrawIntoTheirOwnBitmaps)
{
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            void* bits;
            HBITMAP target = MonoSection(&bits);
            HDC reader = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(reader, target);
            for (int round = 0; round < 500; ++round) {
                HDC fresh = CreateCompatibleDC(nullptr);
                const bool white = (round + t) % 2 == 0;
                PatBlt(fresh, 0, 0, 1, 1, white ? WHITENESS : BLACKNESS);
                std::this_thread::yield();
                BitBlt(reader, 0, 0, 1, 1, fresh, 0, 0, SRCCOPY);
                if (((static_cast<uint8_t*>(bits)[0] >> 7) != 0) != white) wrong++;
                DeleteDC(fresh);
            }
            SelectObject(reader, old);
            DeleteDC(reader);
            DeleteObject(target);
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Handles are looked up without a lock while other threads free slots and give them to new
// objects: a live handle always finds its object, a deleted one never finds the slot's new one.
TEST(GdiThreads, DeletedHandlesStayDeadWhileTheirSlotsAreReused)
{
    HRGN live = CreateRectRgn(0, 0, 1, 1);
    std::vector<HGDIOBJ> dead;
    for (int i = 0; i < 64; ++i) {
        HBRUSH brush = CreateSolidBrush(RGB(i, 0, 0));
        dead.push_back(brush);
        DeleteObject(brush);
    }
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> makers;
    for (int t = 0; t < 2; ++t) {
        makers.emplace_back([&] {
            while (!stop) {
                HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
                if (GetObjectType(brush) != OBJ_BRUSH) wrong++;
                DeleteObject(brush);
            }
        });
    }
    for (int round = 0; round < 20000; ++round) {
        if (GetObjectType(live) != OBJ_REGION) wrong++;
        for (HGDIOBJ handle : {dead[size_t(round) % dead.size()], dead[size_t(round * 7) % dead.size()]})
            if (GetObjectType(handle) != 0) wrong++;
    }
    stop = true;
    for (auto& m : makers) m.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_TRUE(DeleteObject(live));
}
