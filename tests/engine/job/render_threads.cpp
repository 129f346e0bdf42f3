// Two render calls at once on two threads with the recording module: each keeps its own job,
// module instance, log and results. A watchdog turns a hang into a failure.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

#include "engine/common/log_context.h"
#include "tests/engine/job/render_fixture.h"

namespace {

// Renders the same job a number of times; the first failure is reported by its text.
std::string RenderRepeatedly(uint32_t jobNumber, uint32_t copies, uint32_t caps, int times)
{
    for (int i = 0; i < times; ++i) {
        RenderRun run(TestJob({{"job_flags", 1}, {"copies", copies}}, {{1, 2, 3}}));
        run.Answer(DEVICE_QUERY_CAPS, caps);
        const uint32_t result = run.Run(FAKE_MODULE_RECORDING, jobNumber);
        if (result != 0) return "result " + std::to_string(result);
        std::string expected = "JobBegin";
        const uint32_t passes = (caps & IMO_CAPS_REPEAT_DOC) ? 1 : copies;
        for (uint32_t p = 0; p < passes; ++p)
            expected += " DocBegin(" + std::to_string((caps & IMO_CAPS_REPEAT_DOC) ? copies : 1) + ") JobData DocEnd";
        expected += " JobEnd Deinit";
        if (run.Slots() != expected) return "slots " + run.Slots();
        if (run.FirstCall(IMO_SLOT_JOB_BEGIN)->args[0] != jobNumber) return "another job's number";
        if (LogCurrent() != nullptr) return "a log left in the slot";
    }
    return "";
}

TEST(ImeRenderThreads, TwoCallsAtOnceKeepToThemselves)
{
    auto first = std::async(std::launch::async, [] { return RenderRepeatedly(1, 3, 0, 12); });
    auto second = std::async(std::launch::async, [] { return RenderRepeatedly(2, 2, IMO_CAPS_REPEAT_DOC, 12); });
    for (auto* call : {&first, &second}) {
        if (call->wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
            std::fprintf(stderr, "render calls on two threads did not finish\n");
            std::abort();
        }
    }
    EXPECT_EQ(first.get(), "");
    EXPECT_EQ(second.get(), "");
}

}  // namespace
