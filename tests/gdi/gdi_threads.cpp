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

TEST(GdiThreads, JobsDrawConcurrently) {
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
