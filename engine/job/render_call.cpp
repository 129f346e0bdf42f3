#include "engine/job/render_call.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "engine/common/log_context.h"
#include "engine/common/output_module.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/job/device_queries.h"
#include "engine/page/form_table.h"
#include "engine/page/job_pages.h"
#include "engine/page/preamble.h"
#include "engine/raster/band_plan.h"
#include "engine/raster/texture_cache.h"
#include "engine/spool/page_source.h"
#include "engine/spool/stream.h"
#include "platform/kernel.h"

// ---- ImeRender ----

namespace {

// The job's objects, made in this order and released in the reverse order by JobRelease.
struct RenderJob {
    LogContext* madeLog = nullptr;
    JobDataList jobData{};
    TextureCache* textures = nullptr;
    OutputModuleContext context{};
    bool moduleBound = false;
    Stream* stream = nullptr;
    PageSource* pages = nullptr;
    ResourceBudget* budget = nullptr;
    FormTable* forms = nullptr;
    BandMemory* bands = nullptr;
    JobHeader header{};
    PageSource* copy = nullptr;  // over a temporary copy of a forward-only stream
    bool failureLogged = false;  // the failure has its own log line: the record seen last is beside it
};

void JobRelease(RenderJob& job)
{
    JobHeaderFree(&job.header);
    if (job.moduleBound) OutputModuleUnload(&job.context);
    PageSourceClose(job.copy);
    PageSourceClose(job.pages);
    StreamClose(job.stream);
    BandMemoryDestroy(job.bands);
    FormTableDestroy(job.forms);
    ResourceBudgetDestroy(job.budget);
    TextureCacheDestroy(job.textures);
    JobDataListFree(&job.jobData);
    LogClose(job.madeLog);
}

// The result of a failure that only the module is told of: lack of memory, or bad input.
uint32_t LateFailureCode()
{
    return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_DATA;
}

// Render flags that set job-header fields before the job begins.
void OptionsApply(const RenderOptions* options, JobHeader* header)
{
    const uint32_t flags = options->flags;
    if (flags & RENDER_FLAG_MONOCHROME) header->headerFlags &= ~1u;
    if (flags & RENDER_FLAG_COPIES_VALID) header->jobFlags |= JobFlagCopiesValid;
    if (flags & RENDER_FLAG_JOB_FLAG_20) header->jobFlags |= JobFlagMirrored;
    if (flags & RENDER_FLAG_COPIES) header->copyCount = options->copyCount;
    if (flags & RENDER_FLAG_BOOKLET) header->jobFlags |= JobFlagBooklet;
    if (flags & RENDER_FLAG_REVERSE) header->jobFlags |= JobFlagReverse;
}

struct PassPlan {
    uint32_t total;  // copies of the job, T
    uint32_t perPass;  // copies the device makes of one pass, C
    PageSource* source;  // where the passes read the pages
    uint32_t start;  // stream position of the first page record in that source
};

// Decides how many passes the job takes and where they read; false when the forward-only
// stream could not be copied for reading again.
bool PassesPlan(RenderJob& job, RenderOptions* options, PassPlan* plan)
{
    JobHeader& header = job.header;
    plan->total = (header.jobFlags & JobFlagCopiesValid) ? header.copyCount : 1;
    plan->perPass = (job.context.caps & IMO_CAPS_REPEAT_DOC) ? plan->total : 1;
    plan->source = job.pages;
    plan->start = job.stream->position;
    const bool readAgain =
        (header.jobFlags & (JobFlagBooklet | JobFlagReverse | JobFlagPaperSheet)) != 0 || plan->perPass != plan->total;
    if (readAgain && !StreamCanSeek(job.stream)) {
        job.copy = PageSourceCreateTemp(job.stream->bufferSize);
        if (job.copy == nullptr || !PageSourceCopy(job.copy, job.pages, true)) return false;
        plan->source = job.copy;
        plan->start = 0;
    }
    if ((job.context.caps & IMO_CAPS_SINGLE_SHEET_COPIES) && plan->perPass != plan->total &&
        StreamCanSeek(plan->source->stream) && SinglePageSheetCheck(options, &header, plan->source)) {
        header.jobFlags &= ~JobFlagCopiesValid;
        plan->total = plan->perPass = 1;
    }
    return true;
}

// The producer stopped inside a page it never published: what it wrote past its last whole page
// is walked record by record, so that the record the stream ends in is named as a seekable run
// names it (or the stream is said to end between records).
void ProducerTailLog(const PassPlan& plan, uint32_t pages, uint32_t lastPage)
{
    Stream* stream = plan.source->stream;
    const char* what = "reading what the producer wrote after its last whole page";
    SpoolRecordHeader head;
    if (pages == 0) {
        if (StreamSeek(stream, static_cast<int32_t>(plan.start), 0) < 0) return;
    } else {
        if (StreamSeek(stream, static_cast<int32_t>(lastPage), 0) < 0) return;
        do {
            if (!SpoolRecordPeek(stream, &head) || !SpoolRecordSkip(stream, head)) return;
        } while (head.type != SpoolRecPageEnd);
    }
    for (;;) {
        const uint32_t at = stream->position;
        if (!SpoolRecordPeek(stream, &head)) {
            SetLastError(ERROR_HANDLE_EOF);
            SpoolRecordFailureLog("ImeRender", what);
            return;
        }
        uint8_t last = 0;
        if (StreamSeek(stream, static_cast<int32_t>(at + head.size - 1), 0) < 0 || StreamPeek(stream, &last, 1) != 1) {
            LogEvent(IMX_LOG_ERROR, "ImeRender",
                     "%s: the record of type %u at byte %u (%u bytes) is cut: the stream ends inside it", what,
                     head.type, at, head.size);
            return;
        }
        if (StreamSeek(stream, static_cast<int32_t>(at + head.size), 0) < 0) return;
    }
}

// One rendering pass: DocBegin, the device's page answers, the job data, the pages, the job-end
// record (first pass only) and DocEnd. Returns 0 or the job's result.
uint32_t PassRender(RenderJob& job, RenderOptions* options, const PassPlan& plan, bool firstPass)
{
    OutputModuleContext& context = job.context;
    JobHeader& header = job.header;
    Stream* stream = plan.source->stream;
    SetLastError(0);
    if (StreamSeek(stream, static_cast<int32_t>(plan.start), 0) < 0) return LateFailureCode();

    context.headerBits = (header.headerFlags >> 4) & 7u;
    if (context.slots.DocBegin != nullptr) {
        const ImxStatus result =
            context.slots.DocBegin(context.instance, header.documentBlock, header.headerFlags & 1u, context.headerBits,
                                   plan.perPass, header.blobSize, header.oemBlob);
        if (result != 0) return static_cast<uint32_t>(result);
    }
    SetLastError(0);
    if (!DevicePageQuery(&context)) return LateFailureCode();
    if (job.jobData.first != nullptr) {
        const int result = JobDataListSend(&job.jobData, &context, false);
        if (result != 0) return static_cast<uint32_t>(result);
    }
    SetLastError(0);
    const RenderContext render{&context, options, &header, job.budget, job.forms, job.bands, job.textures};
    const int rendered =
        (header.jobFlags & JobFlagBooklet) ? BookletRender(&render, plan.source) : JobPagesRender(&render, plan.source);
    if (!rendered) return LateFailureCode();
    if (firstPass) {
        SetLastError(0);
        const int32_t jobEnd = PageSourceTrailerFind(plan.source);
        if (jobEnd < 0 && plan.source->progress != nullptr) {
            // The producer ended without the job's end (a page it never finished is not
            // published): nothing the engine read is at fault.
            SpoolProgress* progress = plan.source->progress;
            EnterCriticalSection(&progress->lock);
            const bool aborted = progress->progress->aborted != 0;
            const PageIndex* index = progress->progress;
            const uint32_t pages = index->count;
            // An aborted producer's record no longer answers for pages: the last one's position is
            // taken while the lock is held.
            const uint32_t lastPage = pages > 0 ? index->offsets[pages - 1] : 0;
            LeaveCriticalSection(&progress->lock);
            LogEvent(IMX_LOG_ERROR, "ImeRender",
                     "rendering the job's pages: the spool stream's producer %s after %u whole pages, "
                     "without the job-end record",
                     aborted ? "gave up" : "finished", pages);
            ProducerTailLog(plan, pages, lastPage);
            job.failureLogged = true;
            return ERROR_INVALID_DATA;
        }
        if (jobEnd < 0 || !JobEndRead(stream, static_cast<uint32_t>(jobEnd), &header)) return LateFailureCode();
    }
    if (context.slots.DocEnd != nullptr) {
        const ImxStatus result = context.slots.DocEnd(context.instance, header.jobEnd.blobSize, header.jobEndBlob);
        if (result != 0) return static_cast<uint32_t>(result);
    }
    return 0;
}

// Plans the passes and renders them. Memory that runs out inside the C++ containers of the
// drawing code (text runs, glyph and region caches of the platform) is the job's lack of memory:
// it ends here as any other failure after JobBegin does, so that the module cancels the job and
// no exception ever leaves the render call.
uint32_t PassesRun(RenderJob& job, RenderOptions* options)
{
    uint32_t result = 0;
    try {
        PassPlan plan{};
        SetLastError(0);
        if (!PassesPlan(job, options, &plan)) {
            result = LateFailureCode();
            LogEvent(IMX_LOG_ERROR, "ImeRender", "%s the forward-only stream to read it again (error %u)",
                     job.copy == nullptr ? "could not create a temporary file for a copy of" : "could not copy",
                     static_cast<unsigned>(GetLastError()));
        }
        for (uint32_t copy = 0; result == 0 && copy < plan.total; copy += plan.perPass) {
            result = PassRender(job, options, plan, copy == 0);
            if ((result == ERROR_INVALID_DATA || result == ERROR_NOT_ENOUGH_MEMORY) && !job.failureLogged)
                SpoolRecordFailureLog("ImeRender", "rendering the job's pages");
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        LogEvent(IMX_LOG_ERROR, "ImeRender", "rendering the job's pages: the job ran out of memory");
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    return result;
}

// The host reads the log to tell its user why a job failed: every early failure says what failed.
uint32_t JobFailed(uint32_t result, const char* format, ...) __attribute__((format(printf, 2, 3)));
uint32_t JobFailed(uint32_t result, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    LogEventV(1, "ImeRender", format, arguments);
    va_end(arguments);
    return result;
}

uint32_t JobRun(RenderJob& job, const char* configuration, uint32_t jobNumber, SpoolProgress* progress,
                const char* moduleFileName, RenderOptions* options, void* streamHandle, void* writeArgument,
                ImeReadCallback read, ImeSeekCallback seek, ImeWriteCallback write)
{
    RenderOptionsDefault(options);
    JobDataListInit(&job.jobData);
    job.textures = TextureCacheCreate(options->textureEntries, options->textureBytes);
    if (job.textures == nullptr)
        return JobFailed(ERROR_NOT_ENOUGH_MEMORY,
                         "preparing the job: no memory for the texture cache (%u entries, %u bytes)",
                         options->textureEntries, options->textureBytes);
    const uint32_t bound =
        OutputModuleLoad(&job.context, job.textures, configuration, moduleFileName, write, writeArgument);
    if (bound != 0)
        return JobFailed(bound,
                         "preparing the job: the output module \"%s\" could not be loaded or initialised (error %u)",
                         moduleFileName, bound);
    job.moduleBound = true;
    job.stream = StreamOpen(streamHandle, options->streamBuffer, read, seek);
    if (job.stream == nullptr)
        return JobFailed(ERROR_NOT_ENOUGH_MEMORY,
                         "preparing the job: the spool stream could not be opened (a buffer of %u bytes)",
                         options->streamBuffer);
    job.pages = PageSourceOpen(job.stream, progress);
    if (job.pages == nullptr)
        return JobFailed(ERROR_NOT_ENOUGH_MEMORY, "preparing the job: no memory for the page source");
    job.budget =
        ResourceBudgetCreate(&job.context, options->resourceObjects, options->deviceMemoryLimit, options->memoryLimit);
    if (job.budget == nullptr)
        return JobFailed(ERROR_NOT_ENOUGH_MEMORY, "preparing the job: no memory for the resource budget (%u objects)",
                         options->resourceObjects);
    job.forms = FormTableCreate(job.budget);
    if (job.forms == nullptr)
        return JobFailed(ERROR_NOT_ENOUGH_MEMORY, "preparing the job: no memory for the form table");
    job.pages->formTake = FormTakeBetweenPages;
    job.pages->formArgument = job.forms;
    job.bands = BandMemoryCreate(&job.context, options->bandMemory);
    if (job.bands == nullptr)
        return JobFailed(ERROR_NOT_ENOUGH_MEMORY,
                         "preparing the job: the band memory of %u bytes could not be reserved", options->bandMemory);

    SetLastError(0);
    if (!JobPreambleRead(job.forms, job.stream, &job.header, &job.jobData))
        return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_DATA;
    // A count that large is a damaged header: trusted, one bad byte writes hundreds of gigabytes.
    if (job.header.copyCount > kJobCopiesMax) {
        LogEvent(IMX_LOG_ERROR, "ImeRender", "the job header's copy count %u is above %u: the header is damaged",
                 job.header.copyCount, kJobCopiesMax);
        return ERROR_INVALID_DATA;
    }

    job.context.jobResolution[0] = job.header.resolutionX;
    job.context.jobResolution[1] = job.header.resolutionY;
    OptionsApply(options, &job.header);

    OutputModuleContext& context = job.context;
    if (context.slots.JobBegin != nullptr) {
        const ImxStatus result = context.slots.JobBegin(context.instance, jobNumber);
        if (result != 0)
            return JobFailed(static_cast<uint32_t>(result), "the output module refused to begin job %u (%d)", jobNumber,
                             static_cast<int>(result));
    }
    DeviceFlagsQuery(&context);

    const uint32_t result = PassesRun(job, options);
    if (result == 0) {
        if (context.slots.JobEnd != nullptr) context.slots.JobEnd(context.instance);
    } else if (context.slots.JobAbort != nullptr) {
        context.slots.JobAbort(context.instance);
    }
    return result;
}

}  // namespace

RASTREL_API uint32_t ImeRender(const char* configuration, uint32_t jobNumber, SpoolProgress* progress,
                               const char* moduleFileName, RenderOptions* options, LogContext* log, void* streamHandle,
                               void* writeArgument, ImeReadCallback read, ImeSeekCallback seek, ImeWriteCallback write)
{
    if (options == nullptr) return ERROR_INVALID_PARAMETER;
    RenderJob job;
    if (log != nullptr) {
        LogCurrentSet(log);  // the caller keeps it, and it stays in the slot
    } else {
        char jobName[32];
        snprintf(jobName, sizeof(jobName), "%d", static_cast<int>(jobNumber));
        job.madeLog = LogOpen(LOG_DEFAULT_FOLDER, jobName);
    }
    uint32_t result;
    try {
        result = JobRun(job, configuration, jobNumber, progress, moduleFileName, options, streamHandle, writeArgument,
                        read, seek, write);
    } catch (const std::bad_alloc&) {
        // Before the job began (its module, stream, preamble and forms): nothing to cancel yet.
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        LogEvent(IMX_LOG_ERROR, "ImeRender", "preparing the job: the job ran out of memory");
        result = ERROR_NOT_ENOUGH_MEMORY;
    }
    JobRelease(job);
    return result;
}
