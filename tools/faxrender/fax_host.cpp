#include "tools/faxrender/fax_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/job/render_call.h"
#include "rastrel/imx_types.h"
#include "rastrel/spool_progress.h"

namespace {

using Clock = std::chrono::steady_clock;

// The stream the engine reads: the whole spool at once, or bytes a producer appends. A read or
// seek past what is written waits for the producer until it has closed the stream.
struct HostStream {
    const std::vector<uint8_t>* whole = nullptr;  // Seekable, ForwardOnly
    std::vector<uint8_t> grown;                   // Producer
    bool closed = false;
    uint64_t position = 0;
    std::mutex lock;
    std::condition_variable more;

    const FaxRenderSettings* settings = nullptr;
    uint64_t written = 0;
    Clock::time_point lastReport = Clock::now();
    bool writeFailed = false;

    const std::vector<uint8_t>& Bytes() const { return whole ? *whole : grown; }
    // With the lock held: waits until `end` bytes exist or the producer is done.
    void AwaitBytes(std::unique_lock<std::mutex>& held, uint64_t end)
    {
        if (whole) return;
        more.wait(held, [&] { return closed || grown.size() >= end; });
    }
    void Report()
    {
        if (!settings->progress) return;
        const Clock::time_point now = Clock::now();
        if (std::chrono::duration<double>(now - lastReport).count() < settings->progressSeconds) return;
        lastReport = now;
        settings->progress(position, written);
    }
};

BOOL HostRead(void* handle, void* buffer, uint32_t count, uint32_t* got)
{
    auto* s = static_cast<HostStream*>(handle);
    std::unique_lock<std::mutex> held(s->lock);
    s->AwaitBytes(held, s->position + std::max<uint32_t>(count, 1));
    const std::vector<uint8_t>& bytes = s->Bytes();
    const uint64_t available = s->position < bytes.size() ? bytes.size() - s->position : 0;
    const uint64_t n = std::min<uint64_t>(count, available);
    if (n) std::memcpy(buffer, bytes.data() + s->position, n);
    s->position += n;
    *got = static_cast<uint32_t>(n);
    s->Report();
    return TRUE;
}

int32_t HostSeek(void* handle, int32_t offset, uint32_t mode)
{
    auto* s = static_cast<HostStream*>(handle);
    std::unique_lock<std::mutex> held(s->lock);
    int64_t base = 0;
    if (mode == 1) {
        base = static_cast<int64_t>(s->position);
    } else if (mode == 2) {
        s->AwaitBytes(held, UINT64_MAX);  // the end is known once the producer is done
        base = static_cast<int64_t>(s->Bytes().size());
    } else if (mode != 0) {
        return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > 0x7fffffff) return -1;
    s->position = static_cast<uint64_t>(target);
    return static_cast<int32_t>(target);
}

BOOL HostWrite(void* argument, const void* bytes, uint32_t length)
{
    auto* s = static_cast<HostStream*>(argument);
    if (!s->settings->sink(static_cast<const uint8_t*>(bytes), length)) {
        s->writeFailed = true;
        return FALSE;
    }
    std::lock_guard<std::mutex> held(s->lock);
    s->written += length;
    s->Report();
    return TRUE;
}

// The producer's side of the progress record: page positions it has published and its events.
struct Publisher {
    SpoolProgress progress{};
    PageIndex index{};
    std::vector<uint32_t> offsets;
    bool active = false;

    explicit Publisher(bool on) : active(on)
    {
        if (!active) return;
        InitializeCriticalSection(&progress.lock);
        progress.pageAvailable = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        progress.rendererWaiting = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        progress.progress = &index;
    }
    ~Publisher()
    {
        if (!active) return;
        CloseHandle(progress.pageAvailable);
        CloseHandle(progress.rendererWaiting);
        DeleteCriticalSection(&progress.lock);
    }
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    void Page(uint32_t position)
    {
        if (!active) return;
        EnterCriticalSection(&progress.lock);
        offsets.push_back(position);
        index.offsets = offsets.data();
        index.count = static_cast<uint32_t>(offsets.size());
        LeaveCriticalSection(&progress.lock);
        SetEvent(progress.pageAvailable);
    }
    void Finish(bool complete, uint32_t jobEnd)
    {
        if (!active) return;
        EnterCriticalSection(&progress.lock);
        if (complete) {
            index.jobEndPosition = jobEnd;
            index.finished = 1;
        } else {
            index.aborted = 1;
        }
        LeaveCriticalSection(&progress.lock);
        SetEvent(progress.pageAvailable);
    }
};

// Appends the spool record by record, as a driver spools a job; a page is published once its
// page-end record is in the stream. A stream whose records do not parse is appended as it is and
// the progress record says the producer gave up, so the engine sees the same bytes either way.
void Produce(const std::vector<uint8_t>& spool, HostStream& stream, Publisher& publisher, uint32_t chunk)
{
    const auto append = [&](uint64_t from, uint64_t to) {
        while (from < to) {
            const uint64_t n = std::min<uint64_t>(to - from, std::max<uint32_t>(chunk, 1));
            {
                std::lock_guard<std::mutex> held(stream.lock);
                stream.grown.insert(stream.grown.end(), spool.begin() + static_cast<std::ptrdiff_t>(from),
                                    spool.begin() + static_cast<std::ptrdiff_t>(from + n));
            }
            stream.more.notify_all();
            from += n;
        }
    };
    uint64_t position = 0;
    uint64_t pageStart = 0;
    bool inPage = false;
    bool complete = false;
    uint32_t jobEnd = 0;
    while (position + 8 <= spool.size()) {
        const uint8_t* r = spool.data() + position;
        const uint16_t type = static_cast<uint16_t>(r[0] | (r[1] << 8));
        const uint32_t size = static_cast<uint32_t>(r[4]) | (static_cast<uint32_t>(r[5]) << 8) |
                              (static_cast<uint32_t>(r[6]) << 16) | (static_cast<uint32_t>(r[7]) << 24);
        if (size < 8 || position + size > spool.size() || position + size > 0x7fffffff) break;
        append(position, position + size);
        if (type == 3 && !inPage) {
            inPage = true;
            pageStart = position;
        } else if (type == 4 && inPage) {
            inPage = false;
            publisher.Page(static_cast<uint32_t>(pageStart));
        } else if (type == 2 && !inPage) {
            complete = true;
            jobEnd = static_cast<uint32_t>(position);
        }
        position += size;
        if (complete) break;
    }
    append(position, spool.size());
    publisher.Finish(complete, jobEnd);
    {
        std::lock_guard<std::mutex> held(stream.lock);
        stream.closed = true;
    }
    stream.more.notify_all();
}

}  // namespace

uint32_t FaxRender(const std::vector<uint8_t>& spool, const FaxRenderSettings& settings)
{
    HostStream stream;
    stream.settings = &settings;
    const bool producing = settings.feed == FaxFeed::Producer;
    if (!producing) stream.whole = &spool;
    Publisher publisher(producing && settings.progressRecord);
    std::thread producer;
    if (producing)
        producer = std::thread([&] { Produce(spool, stream, publisher, settings.producerChunk); });

    RenderOptions options{};
    const ImeSeekCallback seek = settings.feed == FaxFeed::ForwardOnly ? nullptr : HostSeek;
    const uint32_t result =
        ImeRender(settings.configuration.c_str(), settings.jobNumber, publisher.active ? &publisher.progress : nullptr,
                  settings.moduleFileName.c_str(), &options, nullptr, &stream, &stream, HostRead, seek, HostWrite);
    if (producer.joinable()) producer.join();
    if (settings.progress) settings.progress(stream.position, stream.written);
    return result;
}

std::string FaxRenderResultText(uint32_t code)
{
    switch (code) {
    case 0: return "success";
    case ERROR_FILE_NOT_FOUND: return "a file was not found (2)";
    case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory (8)";
    case ERROR_INVALID_DATA: return "the spool stream is invalid or cannot be rendered (13)";
    case ERROR_INVALID_PARAMETER: return "an argument of the render call is invalid (87)";
    case ERROR_MOD_NOT_FOUND: return "the output module could not be loaded (126)";
    case ERROR_PROC_NOT_FOUND: return "the output module lacks an entry point (127)";
    default: break;
    }
    const auto status = static_cast<ImxStatus>(code);
    const char* text = nullptr;
    switch (status) {
    case IMX_ERR_CONFIG: text = "the module's configuration could not be parsed"; break;
    case IMX_ERR_QUERY_UNKNOWN: text = "a query was not answered"; break;
    case IMX_ERR_NO_MEMORY: text = "the module ran out of memory or has no halftone set"; break;
    case IMX_ERR_ARGUMENT: text = "the module was given a bad argument"; break;
    case IMX_ERR_BUFFER_TOO_SMALL: text = "a buffer was too small"; break;
    case IMX_ERR_WRITE: text = "writing the fax job failed"; break;
    case IMX_ERR_UNSUPPORTED: text = "the module does not support the pixel format or operation"; break;
    case IMX_ERR_NOT_FOUND: text = "a resource or table entry was not found"; break;
    case IMX_ERR_BAD_MAGIC: text = "the halftone file has the wrong magic"; break;
    case IMX_ERR_LOAD: text = "a data source could not be loaded"; break;
    default: break;
    }
    if (text) return std::string(text) + " (module status " + std::to_string(status) + ")";
    return "error " + std::to_string(code);
}

std::string FaxDefaultModulePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ImeRender), &info) == 0 || info.dli_fname == nullptr) return "";
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/libpelvane.so";
}
