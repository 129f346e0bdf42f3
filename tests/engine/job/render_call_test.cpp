// ImeRender end to end with the recording module: option defaults, pass planning, failures and
// their results, allocation failures at every allocation, and the log slot.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <stdlib.h>

#include <filesystem>

#include "engine/common/log_context.h"
#include "engine/common/render_heap.h"
#include "engine/common/render_options.h"
#include "platform/registry.h"
#include "rastrel/spool_progress.h"
#include "tests/engine/job/render_fixture.h"

namespace {

constexpr uint32_t MB = 1u << 20;

class MemoryFigure {
public:
    explicit MemoryFigure(uint64_t physicalBytes, uint64_t pageFileBytes = 1ull << 40,
                          uint64_t virtualBytes = 1ull << 46)
    {
        MEMORYSTATUS status{};
        status.dwLength = sizeof(status);
        status.dwTotalPhys = physicalBytes;
        status.dwAvailPhys = physicalBytes;
        status.dwTotalPageFile = pageFileBytes;
        status.dwAvailPageFile = pageFileBytes;
        status.dwTotalVirtual = virtualBytes;
        status.dwAvailVirtual = virtualBytes;
        GlobalMemoryStatusOverride(&status);
    }
    ~MemoryFigure() { GlobalMemoryStatusOverride(nullptr); }
};

TEST(RenderOptionsDefault, FollowsTheMachinesMemory)
{
    struct Case {
        uint64_t megabytes;
        uint32_t memoryLimit, textureBytes, textureEntries;
    };
    const Case cases[] = {
        {63, 8 * MB, 1 * MB, 16384},   {64, 16 * MB, 2 * MB, 16384},  {127, 16 * MB, 2 * MB, 16384},
        {128, 32 * MB, 4 * MB, 32768}, {255, 32 * MB, 4 * MB, 32768}, {256, 64 * MB, 8 * MB, 32768},
        {300, 64 * MB, 8 * MB, 32768}, {511, 64 * MB, 8 * MB, 32768}, {512, 128 * MB, 8 * MB, 32768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.megabytes);
        // A figure just short of the next MB still counts as c.megabytes whole MB.
        MemoryFigure figure((c.megabytes << 20) + MB - 1);
        RenderOptions options{};
        RenderOptionsDefault(&options);
        EXPECT_EQ(options.bandMemory, 8 * MB);
        EXPECT_EQ(options.resourceObjects, 256u);
        EXPECT_EQ(options.deviceMemoryLimit, 4 * MB);
        EXPECT_EQ(options.memoryLimit, c.memoryLimit);
        EXPECT_EQ(options.streamBuffer, 1024u);
        EXPECT_EQ(options.textureBytes, c.textureBytes);
        EXPECT_EQ(options.textureEntries, c.textureEntries);
    }
}

TEST(RenderOptionsDefault, TakesTheSmallestOfTheThreeFigures)
{
    {
        MemoryFigure figure(1ull << 34, 100ull << 20);  // page file decides: 100 MB
        RenderOptions options{};
        RenderOptionsDefault(&options);
        EXPECT_EQ(options.memoryLimit, 16 * MB);
    }
    {
        MemoryFigure figure(1ull << 34, 1ull << 34, 300ull << 20);  // address space decides: 300 MB
        RenderOptions options{};
        RenderOptionsDefault(&options);
        EXPECT_EQ(options.memoryLimit, 64 * MB);
    }
}

TEST(RenderOptionsDefault, KeepsCallerGivenFields)
{
    MemoryFigure figure(63ull << 20);
    RenderOptions options{};
    options.flags = 0x30;
    options.bandMemory = 12345;
    options.resourceObjects = 7;
    options.streamBuffer = 4096;
    options.textureBytes = 4 * MB;  // decides the entry count although the machine is small
    options.copyCount = 9;
    RenderOptionsDefault(&options);
    EXPECT_EQ(options.flags, 0x30u);
    EXPECT_EQ(options.bandMemory, 12345u);
    EXPECT_EQ(options.resourceObjects, 7u);
    EXPECT_EQ(options.deviceMemoryLimit, 4 * MB);
    EXPECT_EQ(options.memoryLimit, 8 * MB);
    EXPECT_EQ(options.streamBuffer, 4096u);
    EXPECT_EQ(options.textureBytes, 4 * MB);
    EXPECT_EQ(options.textureEntries, 32768u);
    EXPECT_EQ(options.copyCount, 9u);

    RenderOptions given{};
    given.textureEntries = 5;
    given.textureBytes = 1;
    RenderOptionsDefault(&given);
    EXPECT_EQ(given.textureEntries, 5u);
    EXPECT_EQ(given.textureBytes, 1u);
}

// ---- Pass planning ----

struct PassCase {
    const char* name;
    SpoolFields header;
    uint32_t caps;
    bool seekable;
    uint32_t optionFlags;
    uint32_t optionCopies;
    const char* slots;
};

TEST(ImeRender, PlansPassesForCopies)
{
    const PassCase cases[] = {
        {"three copies made by the device",
         {{"job_flags", 1}, {"copies", 3}},
         IMO_CAPS_REPEAT_DOC,
         true,
         0,
         0,
         "JobBegin DocBegin(3) DocEnd JobEnd Deinit"},
        {"three copies as passes",
         {{"job_flags", 1}, {"copies", 3}},
         0,
         true,
         0,
         0,
         "JobBegin DocBegin(1) DocEnd DocBegin(1) DocEnd DocBegin(1) DocEnd JobEnd Deinit"},
        {"copy count 0 makes no pass", {{"job_flags", 1}, {"copies", 0}}, 0, true, 0, 0, "JobBegin JobEnd Deinit"},
        {"copies not valid count once",
         {{"job_flags", 0}, {"copies", 5}},
         0,
         true,
         0,
         0,
         "JobBegin DocBegin(1) DocEnd JobEnd Deinit"},
        {"forward-only copies read a temporary copy",
         {{"job_flags", 1}, {"copies", 2}},
         0,
         false,
         0,
         0,
         "JobBegin DocBegin(1) DocEnd DocBegin(1) DocEnd JobEnd Deinit"},
        {"forward-only with device copies needs no copy",
         {{"job_flags", 1}, {"copies", 2}},
         IMO_CAPS_REPEAT_DOC,
         false,
         0,
         0,
         "JobBegin DocBegin(2) DocEnd JobEnd Deinit"},
        {"single-sheet job made once",
         {{"job_flags", 1}, {"copies", 2}},
         IMO_CAPS_SINGLE_SHEET_COPIES,
         true,
         0,
         0,
         "JobBegin DocBegin(1) DocEnd JobEnd Deinit"},
        {"single-sheet job over a forward-only stream",
         {{"job_flags", 1}, {"copies", 4}},
         IMO_CAPS_SINGLE_SHEET_COPIES,
         false,
         0,
         0,
         "JobBegin DocBegin(1) DocEnd JobEnd Deinit"},
        {"copy count from the options",
         {{"job_flags", 0}, {"copies", 7}},
         0,
         true,
         0x30,
         2,
         "JobBegin DocBegin(1) DocEnd DocBegin(1) DocEnd JobEnd Deinit"},
        {"options copies made by the device",
         {{"job_flags", 0}, {"copies", 7}},
         IMO_CAPS_REPEAT_DOC,
         true,
         0x30,
         2,
         "JobBegin DocBegin(2) DocEnd JobEnd Deinit"},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(c.name);
        RenderRun run(TestJob(c.header), c.seekable);
        run.Answer(DEVICE_QUERY_CAPS, c.caps);
        run.options.flags = c.optionFlags;
        run.options.copyCount = c.optionCopies;
        EXPECT_EQ(run.Run(), 0u);
        EXPECT_EQ(run.Slots(), c.slots);
        EXPECT_FALSE(LibraryLoaded(FAKE_MODULE_RECORDING));
    }
}

TEST(ImeRender, HandsTheJobToTheModule)
{
    std::vector<uint8_t> oem(300);
    for (size_t i = 0; i < oem.size(); ++i) oem[i] = static_cast<uint8_t>(i);
    RenderRun run(TestJob(
        {{"job_flags", 1}, {"copies", 2}, {"header_flags", 0x51}, {"res_x", 200}, {"res_y", 100}, {"data", oem}},
        {{1, 2, 3, 4}, {5, 6}}, 0, {9, 9, 9, 9, 9}));
    EXPECT_EQ(run.Run(FAKE_MODULE_RECORDING, 1234), 0u);
    EXPECT_EQ(run.Slots(),
              "JobBegin DocBegin(1) JobData JobData DocEnd DocBegin(1) JobData JobData DocEnd JobEnd Deinit");
    EXPECT_EQ(run.FirstCall(IMO_SLOT_JOB_BEGIN)->args[0], 1234u);
    const FakeCall* docBegin = run.FirstCall(IMO_SLOT_DOC_BEGIN);
    EXPECT_EQ(docBegin->args[0], 1u);  // colour job: header flags bit 0
    EXPECT_EQ(docBegin->args[1], 5u);  // header flags bits 4 to 6
    EXPECT_EQ(docBegin->args[3], 300u);  // OEM blob size
    EXPECT_EQ(run.FirstCall(IMO_SLOT_JOB_DATA)->args[0], 4u);
    EXPECT_EQ(run.FirstCall(IMO_SLOT_DOC_END)->args[0], 5u);  // the job-end blob, read in the first pass
    EXPECT_NE(run.script->host, nullptr);

    // Render flag 0x1 takes the colour bit away.
    RenderRun mono(TestJob({{"header_flags", 0x51}}));
    mono.options.flags = RENDER_FLAG_MONOCHROME;
    EXPECT_EQ(mono.Run(), 0u);
    EXPECT_EQ(mono.FirstCall(IMO_SLOT_DOC_BEGIN)->args[0], 0u);
    EXPECT_EQ(mono.FirstCall(IMO_SLOT_DOC_BEGIN)->args[1], 5u);
}

TEST(ImeRender, AsksTheDeviceAtJobAndPass)
{
    RenderRun run(TestJob({}));
    run.Answer(DEVICE_QUERY_CAPS, uint32_t{IMO_CAPS_MANUAL_DUPLEX});
    run.Answer(DEVICE_QUERY_OPTIONS, uint32_t{IMO_OPTION_THINLINE_HINTS});
    EXPECT_EQ(run.Run(), 0u);
    // Capabilities after JobBegin; per pass: capabilities, id 6 for manual duplex, options, id 10
    // for thin lines, id 2, overstrike, mask pattern.
    const std::vector<uint32_t> expected = {1, 1, 6, 4, 10, 2, 12, 3};
    EXPECT_EQ(run.Questions(), expected);
}

TEST(ImeRender, RendersWithoutAModule)
{
    RenderRun run(TestJob({{"job_flags", 1}, {"copies", 2}}));
    EXPECT_EQ(run.Run(nullptr), 0u);
    EXPECT_EQ(run.script->initCalls, 0u);
    EXPECT_EQ(run.Slots(), "");
}

// ---- Failures ----

struct FailureCase {
    const char* name;
    std::vector<uint8_t> job;
    const char* module;
    void (*script)(RenderRun&);
    uint32_t result;
    const char* slots;
};

TEST(ImeRender, ReportsFailures)
{
    const std::vector<uint8_t> plain = TestJob({});
    const std::vector<uint8_t> withData = TestJob({}, {{1, 2}});
    std::vector<uint8_t> cutJobEnd = SpoolBuilder().Signature().StreamVersion(2).JobHeader().Raw(2, 1, {}).Data();
    const FailureCase cases[] = {
        {"module file missing", plain, "/nonexistent/fake_module.so", nullptr, 126, ""},
        {"module without ImoInitialize", plain, FAKE_MODULE_NO_INITIALIZE, nullptr, 127, ""},
        {"module without ImoDeinitialize", plain, FAKE_MODULE_NO_DEINITIALIZE, nullptr, 127, ""},
        {"ImoInitialize fails", plain, FAKE_MODULE_RECORDING, [](RenderRun& r) { r.script->initResult = -3; },
         static_cast<uint32_t>(-3), ""},
        {"preamble rejected", {0xff, 0xff, 0, 0, 8, 0, 0, 0}, FAKE_MODULE_RECORDING, nullptr, 13, "Deinit"},
        {"stream ends inside the preamble", SpoolBuilder().Signature().JobHeader().Data(), FAKE_MODULE_RECORDING,
         nullptr, 13, "Deinit"},
        {"JobBegin fails", plain, FAKE_MODULE_RECORDING,
         [](RenderRun& r) { r.script->slotResults[IMO_SLOT_JOB_BEGIN] = -6; }, static_cast<uint32_t>(-6),
         "JobBegin Deinit"},
        {"DocBegin fails", plain, FAKE_MODULE_RECORDING,
         [](RenderRun& r) { r.script->slotResults[IMO_SLOT_DOC_BEGIN] = -6; }, static_cast<uint32_t>(-6),
         "JobBegin DocBegin(1) JobAbort Deinit"},
        {"JobData fails", withData, FAKE_MODULE_RECORDING,
         [](RenderRun& r) { r.script->slotResults[IMO_SLOT_JOB_DATA] = -3; }, static_cast<uint32_t>(-3),
         "JobBegin DocBegin(1) JobData JobAbort Deinit"},
        {"DocEnd fails", plain, FAKE_MODULE_RECORDING,
         [](RenderRun& r) { r.script->slotResults[IMO_SLOT_DOC_END] = -6; }, static_cast<uint32_t>(-6),
         "JobBegin DocBegin(1) DocEnd JobAbort Deinit"},
        {"a device question fails", plain, FAKE_MODULE_RECORDING,
         [](RenderRun& r) { r.AnswerResult(DEVICE_QUERY_OPTIONS, -7); }, 13, "JobBegin DocBegin(1) JobAbort Deinit"},
        {"a mask pattern of an unknown kind", plain, FAKE_MODULE_RECORDING,
         [](RenderRun& r) { r.Answer(DEVICE_QUERY_MASK_PATTERN, uint32_t{2}); }, 13,
         "JobBegin DocBegin(1) JobAbort Deinit"},
        {"a sheet the device cannot place", TestJob({}, {}, 1), FAKE_MODULE_RECORDING, nullptr, 13,
         "JobBegin DocBegin(1) JobAbort Deinit"},
        {"booklet without pages", plain, FAKE_MODULE_RECORDING,
         [](RenderRun& r) { r.options.flags = RENDER_FLAG_BOOKLET; }, 13, "JobBegin DocBegin(1) JobAbort Deinit"},
        {"job-end record cut short", cutJobEnd, FAKE_MODULE_RECORDING, nullptr, 13,
         "JobBegin DocBegin(1) JobAbort Deinit"},
        {"failures with empty slots", plain, FAKE_MODULE_RECORDING,
         [](RenderRun& r) {
             r.script->emptySlots = (1u << IMO_SLOT_JOB_ABORT) | (1u << IMO_SLOT_DOC_BEGIN);
             r.AnswerResult(DEVICE_QUERY_OVERSTRIKE, -1);
         },
         13, "JobBegin Deinit"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        RenderRun run(c.job);
        if (c.script != nullptr) c.script(run);
        const int64_t live = RenderAllocLiveBlocks();
        EXPECT_EQ(run.Run(c.module), c.result);
        EXPECT_EQ(run.Slots(), c.slots);
        EXPECT_EQ(run.script->deinitCalls, run.script->initCalls != 0 && run.script->initResult == 0 ? 1u : 0u);
        EXPECT_EQ(RenderAllocLiveBlocks(), live);
        EXPECT_FALSE(LibraryLoaded(c.module));
    }
}

// A forward-only stream read in several passes needs its temporary copy; without one no pass is
// made and the module hears of the failure.
TEST(ImeRender, AbortsWhenTheTemporaryCopyCannotBeMade)
{
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", "/nonexistent/render_tests", 1);
    RenderRun forward(TestJob({{"job_flags", 1}, {"copies", 2}}), false);
    const uint32_t result = forward.Run();
    RenderRun seekable(TestJob({{"job_flags", 1}, {"copies", 2}}), true);
    const uint32_t seekableResult = seekable.Run();
    if (previous != nullptr) setenv("TMPDIR", saved.c_str(), 1);
    else unsetenv("TMPDIR");
    EXPECT_EQ(result, 13u);
    EXPECT_EQ(forward.Slots(), "JobBegin JobAbort Deinit");
    EXPECT_EQ(seekableResult, 0u);  // a seekable stream is read again in place
    EXPECT_EQ(seekable.Slots(), "JobBegin DocBegin(1) DocEnd DocBegin(1) DocEnd JobEnd Deinit");
}

// A producer that has published the whole job (here: no pages) before the call.
TEST(ImeRender, ReadsPagesThroughTheProducersProgress)
{
    SpoolBuilder builder;
    builder.Signature().StreamVersion(2).JobHeader({{"job_flags", 1}, {"copies", 2}});
    const uint32_t jobEnd = builder.Position();
    builder.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{4, 4}}});
    RenderRun run(builder.Data());
    SpoolProgress progress{};
    InitializeCriticalSection(&progress.lock);
    progress.pageAvailable = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    progress.rendererWaiting = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    progress.progress = PageIndexCreate();
    ASSERT_NE(progress.progress, nullptr);
    progress.progress->finished = 1;
    progress.progress->jobEndPosition = jobEnd;
    SetEvent(progress.pageAvailable);
    EXPECT_EQ(ImeRender(run.configuration.c_str(), 3, &progress, FAKE_MODULE_RECORDING, &run.options, nullptr,
                        &run.stream, &run.written, MemoryStreamRead, MemoryStreamSeek, CollectWrite),
              0u);
    EXPECT_EQ(run.Slots(), "JobBegin DocBegin(1) DocEnd DocBegin(1) DocEnd JobEnd Deinit");
    EXPECT_EQ(run.FirstCall(IMO_SLOT_DOC_END)->args[0], 2u);
    PageIndexFree(progress.progress);
    CloseHandle(progress.pageAvailable);
    CloseHandle(progress.rendererWaiting);
    DeleteCriticalSection(&progress.lock);
}

TEST(ImeRender, NullOptionsBlockIsRefused)
{
    MemoryStream stream(TestJob({}));
    EXPECT_EQ(ImeRender(nullptr, 1, nullptr, nullptr, nullptr, nullptr, &stream, nullptr, MemoryStreamRead,
                        MemoryStreamSeek, CollectWrite),
              87u);
}

// Every allocation of the call fails in turn: the call ends with 8 (the log, which the call can do
// without, excepted), frees everything it made and unloads the module.
TEST(ImeRender, SurvivesAnAllocationFailureAtEveryAllocation)
{
    const std::vector<uint8_t> job =
        TestJob({{"job_flags", 1}, {"copies", 2}, {"data", std::vector<uint8_t>(40, 7)}}, {{1, 2, 3}});
    constexpr uint32_t kLogAllocations = 2;  // the log record and its copy of the job name
    uint32_t failures = 0;
    for (uint32_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        RenderRun run(job);
        const int64_t live = RenderAllocLiveBlocks();
        const uint64_t before = RenderAllocCount();
        RenderAllocFailAt(n);
        const uint32_t result = run.Run();
        RenderAllocFailAt(0);
        const uint64_t made = RenderAllocCount() - before;
        EXPECT_EQ(RenderAllocLiveBlocks(), live);
        EXPECT_FALSE(LibraryLoaded(FAKE_MODULE_RECORDING));
        EXPECT_EQ(run.script->deinitCalls, run.script->initCalls);
        if (made < n) {
            EXPECT_EQ(result, 0u);
            break;
        }
        ++failures;
        EXPECT_EQ(result, n <= kLogAllocations ? 0u : 8u);
        const std::string slots = run.Slots();
        if (n > kLogAllocations && slots.find("JobBegin") != std::string::npos) {
            EXPECT_NE(slots.find("JobAbort"), std::string::npos) << slots << " at " << n;
        }
        ASSERT_LT(n, 100u);
    }
    // The log, its name, texture cache, budget, form table, band memory, and per pass the mask
    // answer and the pattern.
    EXPECT_GE(failures, 10u);
}

// Every failure of the call, the early ones before the module is told of the job included
// (texture cache, module, stream, page source, budget, form table, band memory), leaves a line in
// the log that says what failed: the host shows it to its user.
TEST(ImeRender, LogsWhatFailedAtEveryAllocationFailure)
{
    const std::vector<uint8_t> job =
        TestJob({{"job_flags", 1}, {"copies", 2}, {"data", std::vector<uint8_t>(40, 7)}}, {{1, 2, 3}});
    char folder[] = "/tmp/render_log_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string logFile = std::string(folder) + "/imeLog.txt";
    uint32_t failures = 0;
    for (uint32_t n = 1;; ++n) {
        SCOPED_TRACE(n);
        std::filesystem::remove(logFile);
        LogContext* log = LogOpen((std::string(folder) + "/").c_str(), "logged");
        ASSERT_NE(log, nullptr);
        LogCurrentSet(nullptr);
        RenderRun run(job);
        RenderAllocFailAt(n);
        const uint32_t result =
            ImeRender(run.configuration.c_str(), 5, nullptr, FAKE_MODULE_RECORDING, &run.options, log, &run.stream,
                      &run.written, MemoryStreamRead, MemoryStreamSeek, CollectWrite);
        RenderAllocFailAt(0);
        LogClose(log);
        if (result == 0) break;
        ++failures;
        std::FILE* file = std::fopen(logFile.c_str(), "r");
        std::string text;
        if (file != nullptr) {
            char line[512];
            while (std::fgets(line, sizeof line, file) != nullptr) text += line;
            std::fclose(file);
        }
        EXPECT_NE(text.find("error "), std::string::npos) << "nothing logged for result " << result << ": " << text;
        ASSERT_LT(n, 100u);
    }
    EXPECT_GT(failures, 0u);
    std::filesystem::remove_all(folder);
}

// ---- The log slot ----

TEST(ImeRender, LeavesAGivenLogInTheSlotAndTakesItsOwnOut)
{
    LogCurrentSet(nullptr);
    RenderRun run(TestJob({}));
    EXPECT_EQ(run.Run(), 0u);
    EXPECT_EQ(LogCurrent(), nullptr);

    LogContext* given = LogOpen("/tmp/", "given");
    ASSERT_NE(given, nullptr);
    LogCurrentSet(nullptr);
    RenderRun second(TestJob({}));
    EXPECT_EQ(ImeRender(second.configuration.c_str(), 5, nullptr, FAKE_MODULE_RECORDING, &second.options, given,
                        &second.stream, &second.written, MemoryStreamRead, MemoryStreamSeek, CollectWrite),
              0u);
    EXPECT_EQ(LogCurrent(), given);
    LogClose(given);
    EXPECT_EQ(LogCurrent(), nullptr);
}

TEST(LogOpen, BuildsThePathFromTheDefaultFolder)
{
    struct Case {
        const char* folder;
        const char* path;
    };
    const Case cases[] = {
        {"c:\\Temp\\", "c:\\Temp\\imeLog.txt"},
        {"/var/tmp/", "/var/tmp/imeLog.txt"},
        {"/var/tmp", "/var/tmp\\imeLog.txt"},
        {"", "\\imeLog.txt"},
    };
    for (const Case& c : cases) {
        LogContext* log = LogOpen(c.folder, "7");
        ASSERT_NE(log, nullptr);
        EXPECT_STREQ(log->path, c.path);
        EXPECT_STREQ(log->jobName, "7");
        EXPECT_EQ(LogCurrent(), log);
        EXPECT_GT(log->startTime, 0);
        LogClose(log);
    }
    std::string longFolder(400, 'a');
    LogContext* log = LogOpen(longFolder.c_str(), nullptr);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(std::strlen(log->path), LOG_PATH_MAX - 1);
    EXPECT_EQ(log->jobName, nullptr);
    LogClose(log);
}

// The folder named by the registry's OutputDir wins over the default folder.
TEST(LogOpen, TakesTheFolderFromTheRegistry)
{
    char folder[] = "/tmp/render_registry_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const char* previous = std::getenv("FAXDRIVER_REGISTRY");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("FAXDRIVER_REGISTRY", folder, 1);

    LogContext* log = LogOpen("/default/", nullptr);
    ASSERT_NE(log, nullptr);
    EXPECT_STREQ(log->path, "/default/imeLog.txt");  // no key yet
    LogClose(log);

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, LOG_REGISTRY_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const char value[] = "/var/log/fax";
    ASSERT_EQ(RegSetValueExA(key, LOG_REGISTRY_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    log = LogOpen("/default/", nullptr);
    ASSERT_NE(log, nullptr);
    EXPECT_STREQ(log->path, "/var/log/fax\\imeLog.txt");
    LogClose(log);

    if (previous != nullptr) setenv("FAXDRIVER_REGISTRY", saved.c_str(), 1);
    else unsetenv("FAXDRIVER_REGISTRY");
    std::filesystem::remove_all(folder);
}

TEST(DllMain, AnswersTheFourReasons)
{
    EXPECT_EQ(DllMain(nullptr, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(nullptr, DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(nullptr, 7, nullptr), FALSE);
}

}  // namespace
