// Render jobs on several threads draw text at once: they share the process's font list, install
// and remove private fonts of their own, and share one font selected into all their DCs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "text_fixture.h"

namespace {

std::vector<uint8_t> DrawRun(HDC dc, HFONT font)
{
    Canvas canvas(160, 40);
    HGDIOBJ old = SelectObject(canvas.dc, font);
    SetBkMode(canvas.dc, TRANSPARENT);
    TextOutW(canvas.dc, 4, 4, u"Threads 42", 10);
    SelectObject(canvas.dc, old);
    (void)dc;
    return canvas.Mask(RGB(0, 0, 0));
}

TEST(TextThreads, JobsDrawAndInstallConcurrently)
{
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 1200 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) {
            std::fprintf(stderr, "TextThreads: hung\n");
            std::abort();
        }
    });
    const std::string sans = SystemFontFile(L"DejaVu Sans");
    LOGFONTW sharedLog = MakeLogFont(L"Arial", -18, 700, true);
    HFONT shared = CreateFontIndirectW(&sharedLog);
    const auto sharedExpected = DrawRun(nullptr, shared);
    LOGFONTW sansLog = MakeLogFont(L"DejaVu Sans", -15);
    HFONT sansFont = CreateFontIndirectW(&sansLog);
    const auto privateExpected = DrawRun(nullptr, sansFont);
    DeleteObject(sansFont);

    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            const std::string family = "Qvthread" + std::to_string(t);
            const std::vector<uint8_t> bytes = RenamedFont(sans, family);
            std::wstring wide(family.begin(), family.end());
            for (int round = 0; round < 8; ++round) {
                DWORD faces = 0;
                HANDLE installed = AddFontMemResourceEx(bytes.data(), DWORD(bytes.size()), nullptr, &faces);
                LOGFONTW log = MakeLogFont(wide.c_str(), -15);
                HFONT own = CreateFontIndirectW(&log);
                FontRealization r{};
                GetFontRealization(own, &r);
                if (!installed || faces != 1 || family != r.family) failures++;
                if (DrawRun(nullptr, own) != privateExpected) failures++;
                if (DrawRun(nullptr, shared) != sharedExpected) failures++;
                DeleteObject(own);
                if (!RemoveFontMemResourceEx(installed)) failures++;
            }
        });
    }
    for (auto& w : workers) w.join();
    done = true;
    watchdog.join();
    DeleteObject(shared);
    EXPECT_EQ(failures.load(), 0);
}

// Two threads on one DC: one draws text, lines and fills while the other selects a fresh font,
// brush and pen, puts the old ones back and deletes the new ones. Every call on the DC holds it
// for its length, so a drawing never runs with an object freed under it (AddressSanitizer and
// ThreadSanitizer watch the objects and the DC's state), and every delete of a deselected object
// succeeds.
TEST(TextThreads, OneDcSharedByADrawerAndASelector)
{
    Canvas canvas(200, 60);
    SetBkMode(canvas.dc, TRANSPARENT);
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::thread drawer([&] {
        for (int round = 0; round < 300; ++round) {
            if (!TextOutW(canvas.dc, 4, 4 + round % 20, u"Shared DC", 9)) failures++;
            MoveToEx(canvas.dc, round % 200, 0, nullptr);
            LineTo(canvas.dc, 199 - round % 200, 59);
            PatBlt(canvas.dc, round % 150, 40, 20, 10, PATCOPY);
        }
        stop = true;
    });
    std::thread selector([&] {
        for (int round = 0; !stop; ++round) {
            LOGFONTW log = MakeLogFont(round % 2 ? L"DejaVu Sans" : L"Liberation Serif", -12 - round % 9);
            HFONT font = CreateFontIndirectW(&log);
            HBRUSH brush = CreateSolidBrush(RGB(round % 256, 0, 0));
            HPEN pen = CreatePen(PS_SOLID, 1 + round % 3, RGB(0, 0, round % 256));
            HGDIOBJ oldFont = SelectObject(canvas.dc, font);
            HGDIOBJ oldBrush = SelectObject(canvas.dc, brush);
            HGDIOBJ oldPen = SelectObject(canvas.dc, pen);
            SelectObject(canvas.dc, oldFont);
            SelectObject(canvas.dc, oldBrush);
            SelectObject(canvas.dc, oldPen);
            if (!DeleteObject(font) || !DeleteObject(brush) || !DeleteObject(pen)) failures++;
        }
    });
    drawer.join();
    selector.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
