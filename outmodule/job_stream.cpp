// The fax job stream: PJL lines around the pages, each page a JBIG image entity cut into
// IMAGELEN-prefixed chunks. Everything goes out through the host's job-data write; a failed write
// makes the job fail for good (the sticky error), while later lines are still attempted.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "outmodule/pelvane_job.h"

namespace {

constexpr char ESC = 27;

// The fax block is little-endian and may lie at any alignment; read it byte by byte.
uint16_t LoadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t LoadLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

ImoJob* JobOf(ImoInstance instance) { return static_cast<ImoJob*>(instance); }

// A write straight to the host, outside the staging buffer.
void DirectWrite(ImoJob* job, const void* bytes, uint32_t length)
{
    if (ImxJobDataWrite(job->host, bytes, length) != IMX_OK) job->stickyError = 1;
}

void DirectText(ImoJob* job, const char* text) { DirectWrite(job, text, static_cast<uint32_t>(std::strlen(text))); }

// Dimensions in 1/1000 inch at dpi, rounded to the nearest pixel.
uint32_t Pixels(uint32_t mils, uint32_t dpi)
{
    const uint64_t value = (uint64_t{mils} * dpi + 500) / 1000;
    return value > INT32_MAX ? INT32_MAX : static_cast<uint32_t>(value);
}

// A field read up to its size, terminated or not, into text of at least size + 1 characters.
// Fixed buffers: the slots are called through C and must not throw.
void FieldText(const uint8_t* field, size_t size, char* text)
{
    const auto* end = static_cast<const uint8_t*>(std::memchr(field, 0, size));
    const size_t length = end != nullptr ? static_cast<size_t>(end - field) : size;
    std::memcpy(text, field, length);
    text[length] = '\0';
}

void JobHeader(ImoJob* job, const uint8_t* block)
{
    char line[64];
    std::snprintf(line, sizeof line, "%c%%-12345X@PJL\r\n", ESC);
    DirectText(job, line);
    ImoJobLine(job, "DRIVERTYPE", "QUOBA");
    ImoJobLine(job, "COMPRESS", "JBIG");
    int32_t count = block != nullptr ? static_cast<int16_t>(LoadLE16(block + IMO_OEM_NUMBER_COUNT)) : 0;
    count = std::clamp<int32_t>(count, 0, IMO_OEM_MAX_NUMBERS);
    ImoJobLineNumber(job, "FAXCOUNT", count);
    for (int32_t i = 0; i < count; ++i) {
        char number[IMO_OEM_NUMBER_SIZE + 1];
        FieldText(block + IMO_OEM_NUMBERS + i * IMO_OEM_NUMBER_SIZE, IMO_OEM_NUMBER_SIZE, number);
        // Only printable ASCII is written: blanks are for the eye, and an escape, a control byte or
        // a byte outside ASCII could end the PJL context or start a command of its own.
        char* kept = std::remove_if(number, number + std::strlen(number), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u < 0x21 || u > 0x7e;
        });
        *kept = '\0';
        ImoJobLine(job, "FAXTEL", number);
    }
}

void JobEndLines(ImoJob* job)
{
    DirectText(job, "@PJL EOJ\r\n");
    char line[32];
    std::snprintf(line, sizeof line, "%c%%-12345X\r\n", ESC);
    DirectText(job, line);
}

void DocumentResourcesFree(ImoJob* job)
{
    ImxHalftoneDestroy(job->halftoneSet);
    job->halftoneSet = nullptr;
    if (job->encoder != nullptr) ImxJBIGEncoderDeinit(job->encoder);
    job->encoder = nullptr;
}

// Codes white rows up to row (exclusive) of the open image.
ImxStatus WhiteRowsTo(ImoJob* job, uint32_t row)
{
    if (row <= job->imageNextRow) return IMX_OK;
    const ImxStatus status = ImxJBIGImageBandAdd(job->encoder, nullptr, row - job->imageNextRow, 0);
    job->imageNextRow = row;
    return status;
}

}  // namespace

ImxStatus ImoJobResult(const ImoJob* job) { return job->stickyError != 0 ? IMX_ERR_WRITE : IMX_OK; }

uint32_t ImoJobWrite(ImoJob* job, const void* bytes, uint32_t length)
{
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint32_t n = length;
    if (job->stagingCount < IMO_STAGING_SIZE && (job->stagingCount != 0 || n < IMO_STAGING_SIZE)) {
        const uint32_t take = std::min(IMO_STAGING_SIZE - job->stagingCount, n);
        std::memcpy(job->staging + job->stagingCount, p, take);
        job->stagingCount += take;
        p += take;
        n -= take;
    }
    if (n != 0) {
        if (job->stagingCount == IMO_STAGING_SIZE) {
            const ImxStatus status = ImxJobDataWrite(job->host, job->staging, IMO_STAGING_SIZE);
            job->stagingCount = 0;
            if (status != IMX_OK) job->stickyError = 1;
        }
        if (job->stickyError == 0) {
            if (n <= IMO_STAGING_SIZE) {
                std::memcpy(job->staging, p, n);
                job->stagingCount = n;
            } else if (ImxJobDataWrite(job->host, p, n) != IMX_OK) {
                job->stickyError = 1;
            }
        }
    }
    return job->stickyError == 0 ? 1 : 0;
}

void ImoJobFlush(ImoJob* job)
{
    if (job->stagingCount == 0) return;
    const ImxStatus status = ImxJobDataWrite(job->host, job->staging, job->stagingCount);
    job->stagingCount = 0;
    if (status != IMX_OK) job->stickyError = 1;
}

void ImoJobLine(ImoJob* job, const char* name, const char* text)
{
    char line[160];
    std::snprintf(line, sizeof line, "@PJL SET %s = %s\r\n", name, text);
    DirectText(job, line);
}

void ImoJobLineNumber(ImoJob* job, const char* name, int64_t value)
{
    char line[96];
    std::snprintf(line, sizeof line, "@PJL SET %s = %" PRId64 "\r\n", name, value);
    DirectText(job, line);
}

void ImoJBIGOutput(void* argument, uint8_t** buffer, uint32_t* size)
{
    auto* job = static_cast<ImoJob*>(argument);
    if (*buffer != nullptr && *size != 0) {
        char line[64];
        const int length = std::snprintf(line, sizeof line, "@PJL SET IMAGELEN = %u\r\n", *size);
        ImoJobWrite(job, line, static_cast<uint32_t>(length));
        ImoJobWrite(job, *buffer, *size);
        job->imageBytes += *size;
    }
    *buffer = job->jbigBuffer;
    *size = IMO_JBIG_BUFFER_SIZE;
}

ImxStatus ImoDocBegin(ImoInstance instance, const uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t oemSize,
                      const void* oemData)
{
    ImoJob* job = JobOf(instance);
    job->outputFormat = job->config.format;
    job->resolution[0] = job->config.dpiX;
    job->resolution[1] = job->config.dpiY;
    char halftonePath[std::max(IMO_PATH_CHARS, IMO_OEM_HALFTONE_PATH_SIZE) + 1] = "";
    if (job->config.fileFound != 0 && job->config.halftone[0] != '\0')
        FieldText(reinterpret_cast<const uint8_t*>(job->config.halftone), IMO_PATH_CHARS, halftonePath);
    int16_t contrast = job->config.contrast;
    int16_t brightness = job->config.brightness;
    const auto* block = static_cast<const uint8_t*>(oemData);
    if (block != nullptr && oemSize == IMO_OEM_DATA_SIZE) {
        job->outputFormat = LoadLE32(block + IMO_OEM_FORMAT) | 0x80;
        const auto x = static_cast<int16_t>(LoadLE16(block + IMO_OEM_X_RESOLUTION));
        const auto y = static_cast<int16_t>(LoadLE16(block + IMO_OEM_Y_RESOLUTION));
        // A resolution of 0 or less is no resolution: the configuration's stays.
        if (x > 0) job->resolution[0] = static_cast<uint32_t>(x);
        if (y > 0) job->resolution[1] = static_cast<uint32_t>(y);
        contrast = static_cast<int16_t>(LoadLE16(block + IMO_OEM_CONTRAST));
        brightness = static_cast<int16_t>(LoadLE16(block + IMO_OEM_BRIGHTNESS));
        if (LoadLE16(block + IMO_OEM_HALFTONE_FLAG) == 1)
            FieldText(block + IMO_OEM_HALFTONE_PATH, IMO_OEM_HALFTONE_PATH_SIZE, halftonePath);
    } else {
        ImxLogEvent(IMX_LOG_WARNING, "ImoDocBegin",
                    "OEM data ignored, missing or invalid size; uSize: %u (vs. %u), pData: 0x%X", oemSize,
                    IMO_OEM_DATA_SIZE, static_cast<unsigned>(reinterpret_cast<uintptr_t>(oemData)));
        block = nullptr;
    }
    ImoGrayTableBuild(job->grayTables, contrast, brightness);
    if ((job->outputFormat & 0xF0) != 0) {
        job->halftoneFormat = ImxImageFormat{};
        job->halftoneFormat.formatId = OCM_COLOR_GRAY1;
        job->halftoneFormat.colorBits = 8;
        job->halftoneFormat.planeCount = 1;
        job->halftoneFormat.planes[0].depth = 1;
    }
    // A second document on the same job starts with a fresh set.
    ImxHalftoneDestroy(job->halftoneSet);
    job->halftoneSet = nullptr;
    const ImxStatus status = HalftoneInit(job, halftonePath[0] == '\0' ? nullptr : halftonePath);
    if (status != IMX_OK) ImxLogEvent(IMX_LOG_ERROR, "ImoDocBegin", "Failed to initialize halftones");

    // Without a block (or with the table full) a document is a fax job of its own.
    uint16_t expected = block != nullptr ? LoadLE16(block + IMO_OEM_EXPECTED_DOCUMENTS) : 1;
    if (expected == 0) expected = 1;
    uint16_t finished = 0;
    ImoJobTableLock();
    if (ImoJobEntry* entry = ImoJobTableFind(job); entry != nullptr) {
        finished = entry->job == job ? entry->finished : 0;
        entry->job = job;
        entry->expected = expected;
        entry->finished = finished;
    }
    ImoJobTableUnlock();
    if (finished == 0) JobHeader(job, block);
    return status;
}

ImxStatus ImoDocEnd(ImoInstance instance, uint32_t, const void*)
{
    ImoJob* job = JobOf(instance);
    bool last = true;
    ImoJobTableLock();
    ImoJobEntry* entry = ImoJobTableFind(job);
    if (entry != nullptr && entry->job == job) {
        if (entry->finished + 1 >= entry->expected) *entry = ImoJobEntry{};
        else {
            ++entry->finished;
            last = false;
        }
    }
    ImoJobTableUnlock();
    if (last) JobEndLines(job);
    DocumentResourcesFree(job);
    return ImoJobResult(job);
}

ImxStatus ImoJobBegin(ImoInstance instance, uint32_t) { return ImoJobResult(JobOf(instance)); }

ImxStatus ImoJobEnd(ImoInstance instance)
{
    ImoJob* job = JobOf(instance);
    ImoJobFlush(job);
    return ImoJobResult(job);
}

ImxStatus ImoJobAbort(ImoInstance instance)
{
    ImoJob* job = JobOf(instance);
    ImoJobLine(job, "JOBSTATUS", "CANCEL");
    job->stagingCount = 0;
    DocumentResourcesFree(job);
    ImoJobTableForget(job);
    return IMX_OK;
}

ImxStatus ImoSheetBegin(ImoInstance instance, const uint32_t resolution[2], const uint32_t size[2], uint16_t,
                        const char*, uint32_t, uint32_t)
{
    ImoJob* job = JobOf(instance);
    const uint32_t width = Pixels(size[0], resolution[0]);
    const uint32_t length = Pixels(size[1], resolution[1]);
    ImoJobLine(job, "PAGESTATUS", "START");
    ImoJobLineNumber(job, "PAPERWIDTH", width);
    ImoJobLineNumber(job, "PAPERLENGTH", length);
    ImoJobLineNumber(job, "RESOLUTION", resolution[1]);
    if (job->encoder == nullptr || width > job->sheetWidth) {
        if (job->encoder != nullptr) ImxJBIGEncoderDeinit(job->encoder);
        job->encoder = ImxJBIGEncoderInit(width, 0, ImoJBIGOutput, job);
        if (job->encoder == nullptr) {
            ImxLogEvent(IMX_LOG_ERROR, "ImoSheetBegin", "Could not allocate compression encoder; uWidth: %u", width);
            job->stickyError = 1;
        }
    }
    job->sheetWidth = width;
    job->sheetHeight = length;
    ++job->sheetCount;
    return ImoJobResult(job);
}

ImxStatus ImoSheetEnd(ImoInstance instance)
{
    ImoJob* job = JobOf(instance);
    ImoJobFlush(job);
    ImoJobLine(job, "PAGESTATUS", "END");
    return IMX_OK;
}

ImxStatus ImoImageBegin(ImoInstance instance, uint32_t, const RECT* destination, uint32_t, uint32_t, const void*)
{
    ImoJob* job = JobOf(instance);
    if (job->encoder == nullptr) return IMX_ERR_WRITE;
    const int64_t width = int64_t{destination->right} - destination->left;
    const int64_t height = int64_t{destination->bottom} - destination->top;
    if (width <= 0 || height <= 0 || width > UINT32_MAX || height > UINT32_MAX) return IMX_ERR_ARGUMENT;
    job->imageBytes = 0;
    job->imageLeft = destination->left;
    job->imageTop = destination->top;
    job->imageWidth = static_cast<uint32_t>(width);
    job->imageHeight = static_cast<uint32_t>(height);
    job->imageNextRow = 0;
    const uint32_t extent[2] = {job->imageWidth, job->imageHeight};
    const ImxStatus status = ImxJBIGImageBegin(job->encoder, extent, job->imageHeight);
    ++job->imageCount;
    return status != IMX_OK ? status : ImoJobResult(job);
}

ImxStatus ImoBandAdd(ImoInstance instance, const ImxImage* band)
{
    ImoJob* job = JobOf(instance);
    if (band == nullptr || band->formatId != OCM_COLOR_GRAY1) return IMX_ERR_UNSUPPORTED;
    if (job->encoder == nullptr) return IMX_ERR_WRITE;
    // A band fills whole rows of the image at its own place; rows no band covered stay white.
    if (band->x != job->imageLeft || band->width != job->imageWidth) return IMX_ERR_UNSUPPORTED;
    const int64_t row = int64_t{band->y} - job->imageTop;
    if (row < job->imageNextRow || row > job->imageHeight) return IMX_ERR_UNSUPPORTED;
    const ImxPlane& plane = band->planes[0];
    WhiteRowsTo(job, static_cast<uint32_t>(row));
    const uint32_t lines = std::min<uint32_t>(plane.height, job->imageHeight - job->imageNextRow);
    const uint8_t* data = plane.dataPresent != 0 ? plane.data : nullptr;
    if (data != nullptr && plane.stride < (uint64_t{job->imageWidth} + 7) / 8) return IMX_ERR_UNSUPPORTED;
    const ImxStatus status = ImxJBIGImageBandAdd(job->encoder, data, lines, plane.stride);
    job->imageNextRow += lines;
    return status != IMX_OK ? status : IMX_OK;
}

ImxStatus ImoImageEnd(ImoInstance instance)
{
    ImoJob* job = JobOf(instance);
    if (job->encoder == nullptr) return IMX_ERR_WRITE;
    const ImxStatus status = ImxJBIGImageEnd(job->encoder);
    return status != IMX_OK ? status : ImoJobResult(job);
}

ImxStatus ImoImageBlank(ImoInstance instance, uint32_t, const void*)
{
    ImoJob* job = JobOf(instance);
    if (job->encoder == nullptr) return IMX_ERR_WRITE;
    job->imageBytes = 0;
    const uint32_t extent[2] = {job->sheetWidth, job->sheetHeight};
    const ImxStatus begun = ImxJBIGImageBegin(job->encoder, extent, job->sheetHeight);
    if (job->stickyError != 0) return IMX_ERR_WRITE;
    if (begun != IMX_OK) return begun;
    ImxJBIGImageBandAdd(job->encoder, nullptr, job->sheetHeight, 0);
    ImxJBIGImageEnd(job->encoder);
    ++job->imageCount;
    return ImoJobResult(job);
}

ImxStatus ImoSheetBlank(ImoInstance instance, const uint32_t resolution[2], const uint32_t size[2], uint16_t paperCode,
                        const char* paperName, uint32_t sides, uint32_t repeat)
{
    ImoJob* job = JobOf(instance);
    ImxStatus status = ImoSheetBegin(instance, resolution, size, paperCode, paperName, sides, repeat);
    if (status != IMX_OK) return status;
    if ((status = ImoImageBlank(instance, 0, nullptr)) != IMX_OK) return status;
    if (sides != 0 && (status = ImoImageBlank(instance, 0, nullptr)) != IMX_OK) return status;
    ImoJobFlush(job);
    ImoJobLine(job, "PAGESTATUS", "END");
    return IMX_OK;
}
