// A test host for Pelvane alone: an output-module context with a recording write callback (that
// can be told to fail from a given call on), a texture cache, the module's slots, a fax block
// builder and a parser of the job stream.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/raster/texture_cache.h"
#include "outmodule/pelvane_job.h"

struct PelvaneHost {
    OutputModuleContext context{};
    TextureCache* cache = TextureCacheCreate(8, 1u << 20);
    ImoCallbackTable slots{};
    ImoJob* job = nullptr;
    std::vector<uint8_t> stream;
    std::vector<uint32_t> writes;  // length of every call, failed ones included
    uint32_t failFrom = 0;  // 0: never; n: the n-th call and every later one fail
    ImxStatus initialized;

    explicit PelvaneHost(const char* configuration = "pelvane")
    {
        context.textureCache = cache;
        context.write = Record;
        context.writeArgument = this;
        ImoInstance instance = nullptr;
        initialized = ImoInitialize(configuration, &context, &slots, &instance);
        job = static_cast<ImoJob*>(instance);
        context.instance = instance;
        context.slots = slots;
    }
    ~PelvaneHost()
    {
        if (job != nullptr) ImoDeinitialize(job);
        TextureCacheDestroy(cache);
    }
    PelvaneHost(const PelvaneHost&) = delete;
    PelvaneHost& operator=(const PelvaneHost&) = delete;

    static BOOL Record(void* argument, const void* bytes, uint32_t length)
    {
        auto* host = static_cast<PelvaneHost*>(argument);
        host->writes.push_back(length);
        if (host->failFrom != 0 && host->writes.size() >= host->failFrom) return FALSE;
        const auto* p = static_cast<const uint8_t*>(bytes);
        host->stream.insert(host->stream.end(), p, p + length);
        return TRUE;
    }
};

struct FaxBlock {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(IMO_OEM_DATA_SIZE, 0);
    void Put16(uint32_t at, uint32_t v)
    {
        bytes[at] = static_cast<uint8_t>(v);
        bytes[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    FaxBlock(std::vector<std::string> numbers, uint16_t expected = 1, int16_t dpiX = 200, int16_t dpiY = 200)
    {
        Put16(IMO_OEM_NUMBER_COUNT, static_cast<uint32_t>(numbers.size()));
        Put16(IMO_OEM_EXPECTED_DOCUMENTS, expected);
        Put16(IMO_OEM_X_RESOLUTION, static_cast<uint16_t>(dpiX));
        Put16(IMO_OEM_Y_RESOLUTION, static_cast<uint16_t>(dpiY));
        for (size_t i = 0; i < numbers.size() && i < IMO_OEM_MAX_NUMBERS; ++i)
            std::memcpy(&bytes[IMO_OEM_NUMBERS + i * IMO_OEM_NUMBER_SIZE], numbers[i].data(),
                        std::min<size_t>(numbers[i].size(), IMO_OEM_NUMBER_SIZE));
    }
};

// The stream cut into its lines (without CR LF) and images: each image is written as the item
// "IMAGE" and its joined chunks are kept in order.
struct ParsedStream {
    bool ok = true;
    std::string error;
    std::vector<std::string> items;
    std::vector<std::vector<uint8_t>> images;
    std::vector<std::vector<uint32_t>> chunkSizes;
};

inline ParsedStream ParseJobStream(const std::vector<uint8_t>& stream)
{
    ParsedStream parsed;
    size_t pos = 0;
    bool inImage = false;
    const std::string uel = "\x1b%-12345X";
    while (pos < stream.size()) {
        size_t end = pos;
        while (end + 1 < stream.size() && !(stream[end] == '\r' && stream[end + 1] == '\n')) ++end;
        if (end + 1 >= stream.size()) {
            parsed.ok = false;
            parsed.error = "line without CR LF at " + std::to_string(pos);
            return parsed;
        }
        const std::string line(stream.begin() + static_cast<ptrdiff_t>(pos),
                               stream.begin() + static_cast<ptrdiff_t>(end));
        pos = end + 2;
        const std::string imageLen = "@PJL SET IMAGELEN = ";
        if (line.rfind(imageLen, 0) == 0) {
            const uint32_t n = static_cast<uint32_t>(std::stoul(line.substr(imageLen.size())));
            if (n == 0 || n > 32768 || pos + n > stream.size()) {
                parsed.ok = false;
                parsed.error = "bad IMAGELEN " + line;
                return parsed;
            }
            if (!inImage) {
                parsed.images.emplace_back();
                parsed.chunkSizes.emplace_back();
                parsed.items.push_back("IMAGE");
                inImage = true;
            }
            parsed.images.back().insert(parsed.images.back().end(), stream.begin() + static_cast<ptrdiff_t>(pos),
                                        stream.begin() + static_cast<ptrdiff_t>(pos + n));
            parsed.chunkSizes.back().push_back(n);
            pos += n;
            if (n < 32768) inImage = false;
            continue;
        }
        if (inImage) {
            parsed.ok = false;
            parsed.error = "image ends with a full chunk before " + line;
            return parsed;
        }
        const bool known = line == uel + "@PJL" || line == uel || line == "@PJL EOJ" ||
                           (line.rfind("@PJL SET ", 0) == 0 && line.find(" = ") != std::string::npos);
        if (!known) {
            parsed.ok = false;
            parsed.error = "unknown line " + line;
            return parsed;
        }
        parsed.items.push_back(line);
    }
    return parsed;
}

inline std::vector<std::string> JobHeaderLines(const std::vector<std::string>& numbers)
{
    std::vector<std::string> lines = {"\x1b%-12345X@PJL", "@PJL SET DRIVERTYPE = QUOBA", "@PJL SET COMPRESS = JBIG",
                                      "@PJL SET FAXCOUNT = " + std::to_string(numbers.size())};
    for (const std::string& n : numbers) lines.push_back("@PJL SET FAXTEL = " + n);
    return lines;
}

inline std::vector<std::string> JobEndLines() { return {"@PJL EOJ", "\x1b%-12345X"}; }

inline std::vector<std::string> SheetLines(uint32_t width, uint32_t length, uint32_t yDpi, uint32_t images)
{
    std::vector<std::string> lines = {"@PJL SET PAGESTATUS = START", "@PJL SET PAPERWIDTH = " + std::to_string(width),
                                      "@PJL SET PAPERLENGTH = " + std::to_string(length),
                                      "@PJL SET RESOLUTION = " + std::to_string(yDpi)};
    for (uint32_t i = 0; i < images; ++i) lines.push_back("IMAGE");
    lines.push_back("@PJL SET PAGESTATUS = END");
    return lines;
}
