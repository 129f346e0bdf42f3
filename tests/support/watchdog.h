// Runs a threaded test body on its own thread and ends the process when it does not finish in
// time, so that a hang fails the test run instead of blocking it.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

template <class Body>
void RunWithWatchdog(const char* what, int seconds, Body body)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        body();
        done.set_value();
    });
    if (finished.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        std::fprintf(stderr, "watchdog: %s did not finish within %d seconds\n", what, seconds);
        std::fflush(stderr);
        std::_Exit(3);
    }
    worker.join();
}
