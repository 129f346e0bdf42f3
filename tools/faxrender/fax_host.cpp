#include "tools/faxrender/fax_host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "engine/common/log_context.h"
#include "engine/job/render_call.h"
#include "rastrel/imx_types.h"
#include "rastrel/spool_progress.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kRecordHeaderBytes = 8;

// A reader of a FaxSpoolInput: the head from memory, then the file. A pipe's bytes are read once,
// in order; `pipeAt` counts them.
struct InputReader {
    const FaxSpoolInput* input = nullptr;
    uint64_t pipeAt = 0;

    uint64_t Size() const { return input->head.size() + input->restSize; }
    // Reads up to n bytes at `at`; fewer only at the end of the data. -1 with errno on failure.
    int64_t Read(uint64_t at, uint8_t* to, uint64_t n)
    {
        uint64_t done = 0;
        const std::vector<uint8_t>& head = input->head;
        if (at < head.size()) {
            done = std::min<uint64_t>(n, head.size() - at);
            std::memcpy(to, head.data() + at, done);
        }
        while (done < n && input->fd >= 0) {
            const uint64_t rest = at + done - head.size();
            ssize_t got = 0;
            if (input->regular) {
                if (rest >= input->restSize) break;
                got = pread(input->fd, to + done, std::min<uint64_t>(n - done, input->restSize - rest),
                            static_cast<off_t>(input->restOffset + rest));
            } else {
                if (rest != pipeAt) {  // the engine never reads a forward-only stream out of order
                    errno = ESPIPE;
                    return -1;
                }
                got = read(input->fd, to + done, n - done);
                if (got > 0) pipeAt += static_cast<uint64_t>(got);
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return -1;
            if (got == 0) break;
            done += static_cast<uint64_t>(got);
        }
        return static_cast<int64_t>(done);
    }
};

// The stream the engine reads: the caller's input, or the temporary file a producer appends to.
// A read or seek past what is appended waits for the producer until it has closed the stream.
struct HostStream {
    InputReader reader;
    bool producing = false;
    uint64_t appended = 0;  // Producer: bytes in the file so far
    bool closed = false;
    uint64_t position = 0;
    int readErrno = 0;
    int spoolWriteErrno = 0;  // Producer: why the temporary spool file took no more
    std::mutex lock;
    std::condition_variable more;

    const FaxRenderSettings* settings = nullptr;
    uint64_t written = 0;
    Clock::time_point lastReport = Clock::now();
    bool writeFailed = false;

    // With the lock held: waits until `end` bytes exist or the producer is done.
    void AwaitBytes(std::unique_lock<std::mutex>& held, uint64_t end)
    {
        if (!producing) return;
        more.wait(held, [&] { return closed || appended >= end; });
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
    uint64_t n = count;
    if (s->producing) n = s->position < s->appended ? std::min<uint64_t>(count, s->appended - s->position) : 0;
    const int64_t read = n ? s->reader.Read(s->position, static_cast<uint8_t*>(buffer), n) : 0;
    if (read < 0) {
        s->readErrno = errno;
        *got = 0;
        return FALSE;
    }
    s->position += static_cast<uint64_t>(read);
    *got = static_cast<uint32_t>(read);
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
        base = static_cast<int64_t>(s->producing ? s->appended : s->reader.Size());
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

// Appends the spool record by record to the stream's file, as a driver spools a job; a page is
// published once its page-end record is in the stream. A stream whose records do not parse is
// appended as it is and the progress record says the producer gave up, so the engine sees the
// same bytes either way. Only one chunk of the stream is in memory at a time.
void Produce(InputReader source, HostStream& stream, int file, Publisher& publisher, uint32_t chunk)
{
    std::vector<uint8_t> buffer(std::max<uint32_t>(chunk, kRecordHeaderBytes));
    uint64_t position = 0;
    // Moves n bytes of the buffer into the file; false when the file cannot take them.
    const auto push = [&](uint64_t n) {
        for (uint64_t done = 0; done < n;) {
            const ssize_t put = pwrite(file, buffer.data() + done, n - done, static_cast<off_t>(position + done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                stream.spoolWriteErrno = put < 0 ? errno : ENOSPC;
                return false;
            }
            done += static_cast<uint64_t>(put);
        }
        position += n;
        {
            std::lock_guard<std::mutex> held(stream.lock);
            stream.appended = position;
        }
        stream.more.notify_all();
        return true;
    };
    // Copies the source up to `end`; false when the source ends first or fails.
    const auto copy = [&](uint64_t end) {
        while (position < end) {
            const uint64_t want = std::min<uint64_t>(end - position, buffer.size());
            const int64_t got = source.Read(position, buffer.data(), want);
            if (got < 0) stream.readErrno = errno;
            if (got <= 0 || !push(static_cast<uint64_t>(got))) return false;
        }
        return true;
    };
    uint64_t pageStart = 0;
    bool inPage = false;
    bool complete = false;
    uint32_t jobEnd = 0;
    bool going = true;
    while (going && !complete) {
        const uint64_t start = position;
        const int64_t got = source.Read(position, buffer.data(), kRecordHeaderBytes);
        if (got < 0) stream.readErrno = errno;
        if (got <= 0 || !push(static_cast<uint64_t>(got)) || got < kRecordHeaderBytes) break;
        const uint16_t type = static_cast<uint16_t>(buffer[0] | (buffer[1] << 8));
        const uint32_t size = static_cast<uint32_t>(buffer[4]) | (static_cast<uint32_t>(buffer[5]) << 8) |
                              (static_cast<uint32_t>(buffer[6]) << 16) | (static_cast<uint32_t>(buffer[7]) << 24);
        if (size < kRecordHeaderBytes || start + size > 0x7fffffff) break;
        going = copy(start + size);
        if (!going) break;
        if (type == 3 && !inPage) {
            inPage = true;
            pageStart = start;
        } else if (type == 4 && inPage) {
            inPage = false;
            publisher.Page(static_cast<uint32_t>(pageStart));
        } else if (type == 2 && !inPage) {
            complete = true;
            jobEnd = static_cast<uint32_t>(start);
        }
    }
    if (going && stream.readErrno == 0) copy(UINT64_MAX);
    publisher.Finish(complete, jobEnd);
    {
        std::lock_guard<std::mutex> held(stream.lock);
        stream.closed = true;
    }
    stream.more.notify_all();
}

// A new file under $TMPDIR, already unlinked.
int TempFileCreate(const char* what)
{
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/faxrender-" + what + "-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) unlink(pattern.c_str());
    return fd;
}

// The log the engine writes during a call: an anonymous in-memory file of our own, named to the
// engine by its /proc path, emptied before each call and read back after it. It needs no folder,
// so a failure to make temporary files is itself reported. The engine leaves a given log in the
// thread's slot, so there is one per thread that lives as long as the thread does.
struct CallLog {
    LogContext context{};
    std::string path;
    int fd = -1;

    CallLog()
    {
        fd = memfd_create("faxrender-log", MFD_CLOEXEC);
        if (fd < 0) return;
        path = "/proc/self/fd/" + std::to_string(fd);
        context.path = path.data();
        context.jobName = const_cast<char*>("faxrender");
        context.startTime = static_cast<int64_t>(std::time(nullptr));
        context.counterFrequency = 1000000000;
        InitializeCriticalSection(&context.lock);
    }
    ~CallLog()
    {
        if (fd < 0) return;
        DeleteCriticalSection(&context.lock);
        close(fd);
    }
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    bool Open() const { return fd >= 0; }
    void Clear() const
    {
        if (fd >= 0 && ftruncate(fd, 0) != 0) return;  // an old line then only precedes the new ones
    }
    std::string Text() const
    {
        std::string text;
        char piece[4096];
        ssize_t n = 0;
        // The log of one call is short; a runaway one is cut rather than read whole.
        while (fd >= 0 && text.size() < (1u << 16) &&
               (n = pread(fd, piece, sizeof piece, static_cast<off_t>(text.size()))) > 0)
            text.append(piece, static_cast<size_t>(n));
        return text;
    }
};

}  // namespace

uint32_t FaxRender(const FaxSpoolInput& input, const FaxRenderSettings& settings, std::string* cause)
{
    HostStream stream;
    stream.settings = &settings;
    stream.producing = settings.feed == FaxFeed::Producer;
    FaxSpoolInput produced;
    stream.reader.input = &input;
    if (stream.producing) {
        produced.fd = TempFileCreate("spool");
        if (produced.fd < 0) {
            if (cause)
                *cause = std::string("cannot create the producer's temporary file in $TMPDIR: ") + std::strerror(errno);
            return ERROR_CAN_NOT_COMPLETE;
        }
        produced.restSize = INT64_MAX;
        stream.reader.input = &produced;
    }
    Publisher publisher(stream.producing && settings.progressRecord);
    std::thread producer;
    if (stream.producing)
        producer =
            std::thread([&] { Produce(InputReader{&input}, stream, produced.fd, publisher, settings.producerChunk); });

    thread_local const CallLog log;
    log.Clear();
    RenderOptions options = settings.options;
    const bool canSeek = settings.feed != FaxFeed::ForwardOnly && (stream.producing || input.fd < 0 || input.regular);
    const uint32_t result = ImeRender(settings.configuration.c_str(), settings.jobNumber,
                                      publisher.active ? &publisher.progress : nullptr, settings.moduleFileName.c_str(),
                                      &options, log.Open() ? const_cast<LogContext*>(&log.context) : nullptr, &stream,
                                      &stream, HostRead, canSeek ? HostSeek : nullptr, HostWrite);
    if (producer.joinable()) producer.join();
    if (produced.fd >= 0) close(produced.fd);
    if (settings.progress) settings.progress(stream.position, stream.written);
    if (cause) {
        *cause = log.Text();
        if (stream.readErrno != 0)
            *cause += std::string("reading the spool stream failed: ") + std::strerror(stream.readErrno) + "\n";
        if (stream.spoolWriteErrno == ENOSPC || stream.spoolWriteErrno == EDQUOT)
            *cause += "the temporary folder ($TMPDIR) is full: the producer could not write the spool stream there\n";
        else if (stream.spoolWriteErrno != 0)
            *cause += std::string("the producer could not write the spool stream to its temporary file: ") +
                      std::strerror(stream.spoolWriteErrno) + "\n";
    }
    return result;
}

uint32_t FaxRender(const std::vector<uint8_t>& spool, const FaxRenderSettings& settings, std::string* cause)
{
    FaxSpoolInput input;
    input.head = spool;
    return FaxRender(input, settings, cause);
}

std::string FaxRenderResultText(uint32_t code)
{
    switch (code) {
        case 0: return "success";
        case ERROR_FILE_NOT_FOUND: return "a file was not found (2)";
        case ERROR_CAN_NOT_COMPLETE: return "the host could not feed the spool stream (1003)";
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
