#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/kernel.h"

namespace {

// A hang fails the test instead of blocking the run.
class Watchdog {
public:
    Watchdog()
        : thread_([this] {
              for (int i = 0; i < 3000 && !done_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
              if (!done_) {
                  fprintf(stderr, "watchdog: test hung\n");
                  std::abort();
              }
          })
    {}
    ~Watchdog()
    {
        done_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(CriticalSections, ExcludeOtherThreadsAndAreRecursive)
{
    Watchdog watchdog;
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;  // plain: only the section protects it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);  // the owner may enter again
                ++counter;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);

    EnterCriticalSection(&section);
    BOOL otherGot = TRUE;
    std::thread([&] { otherGot = TryEnterCriticalSection(&section); }).join();
    EXPECT_FALSE(otherGot);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    std::thread([&] {
        otherGot = TryEnterCriticalSection(&section);
        if (otherGot) LeaveCriticalSection(&section);
    }).join();
    EXPECT_TRUE(otherGot);
    DeleteCriticalSection(&section);
}

TEST(Events, TimeoutsAndStates)
{
    Watchdog watchdog;
    HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(manual, nullptr);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(manual, 20), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, INFINITE), WAIT_OBJECT_0);  // stays signalled
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);  // initially signalled
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);  // and reset by that wait
    CloseHandle(manual);
    CloseHandle(automatic);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Events, ManualResetReleasesEveryWaiter)
{
    Watchdog watchdog;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++released;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SetEvent(event);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released, 4);
    CloseHandle(event);
}

TEST(Events, AutoResetReleasesOneWaiterPerSignal)
{
    Watchdog watchdog;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0) ++released;
        });
    for (int signal = 1; signal <= 3; ++signal) {
        SetEvent(event);
        while (released < signal) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(released, signal);  // no second waiter slipped through on the same signal
    }
    for (auto& t : waiters) t.join();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);  // each release reset the event
    CloseHandle(event);
}

// Producer and consumer hand a token back and forth with two auto-reset events. Any lost wake-up
// leaves both waiting, which the watchdog turns into a failure.
TEST(Events, PingPongLosesNoWakeUp)
{
    Watchdog watchdog;
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    int shared = 0;
    constexpr int kRounds = 5000;
    std::thread consumer([&] {
        for (int i = 0; i < kRounds; ++i) {
            ASSERT_EQ(WaitForSingleObject(ping, INFINITE), WAIT_OBJECT_0);
            EnterCriticalSection(&section);
            ++shared;
            LeaveCriticalSection(&section);
            SetEvent(pong);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        SetEvent(ping);  // often signalled before the consumer waits
        ASSERT_EQ(WaitForSingleObject(pong, INFINITE), WAIT_OBJECT_0);
        EnterCriticalSection(&section);
        EXPECT_EQ(shared, i + 1);
        LeaveCriticalSection(&section);
    }
    consumer.join();
    DeleteCriticalSection(&section);
    CloseHandle(ping);
    CloseHandle(pong);
}

TEST(ThreadLocalSlots, EachThreadSeesItsOwnValue)
{
    Watchdog watchdog;
    const DWORD slot = TlsAlloc();
    ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
    int mine = 0;
    TlsSetValue(slot, &mine);
    std::vector<std::thread> threads;
    std::atomic<int> correct{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            int own = 0;
            if (TlsGetValue(slot) == nullptr && TlsSetValue(slot, &own)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                if (TlsGetValue(slot) == &own) ++correct;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(correct, 4);
    EXPECT_EQ(TlsGetValue(slot), &mine);
    TlsFree(slot);
}

}  // namespace
