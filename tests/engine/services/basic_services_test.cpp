#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/raster/texture_cache.h"
#include "rastrel/imx.h"

namespace {

struct Written {
    std::vector<uint8_t> bytes;
    BOOL result = TRUE;
};

BOOL RecordWrite(void* argument, const void* bytes, uint32_t length)
{
    auto* written = static_cast<Written*>(argument);
    const auto* p = static_cast<const uint8_t*>(bytes);
    written->bytes.insert(written->bytes.end(), p, p + length);
    return written->result;
}

TEST(BasicServices, JobDataWriteHandsTheBytesToTheHostCallback)
{
    OutputModuleContext context{};
    Written written;
    context.write = RecordWrite;
    context.writeArgument = &written;
    EXPECT_EQ(ImxJobDataWrite(&context, "@PJL", 4), IMX_OK);
    written.result = 7;  // any non-zero value is success
    EXPECT_EQ(ImeExtJobDataWrite(&context, "\r\n", 2), IMX_OK);
    EXPECT_EQ(std::string(written.bytes.begin(), written.bytes.end()), "@PJL\r\n");
    written.result = FALSE;
    EXPECT_EQ(ImxJobDataWrite(&context, "x", 1), IMX_ERR_WRITE);
    // Nothing is kept: the next write goes through again.
    written.result = TRUE;
    EXPECT_EQ(ImxJobDataWrite(&context, "y", 1), IMX_OK);
    EXPECT_EQ(written.bytes.size(), 8u);
    // A context without a write callback cannot write.
    OutputModuleContext silent{};
    EXPECT_EQ(ImxJobDataWrite(&silent, "z", 1), IMX_ERR_WRITE);
    EXPECT_EQ(ImxJobDataWrite(nullptr, "z", 1), IMX_ERR_WRITE);
}

TEST(BasicServices, SecondNamesAreTheSameEntries)
{
    EXPECT_EQ(reinterpret_cast<void*>(&ImeExtAlloc), reinterpret_cast<void*>(&ImxAlloc));
    EXPECT_EQ(reinterpret_cast<void*>(&ImeExtFree), reinterpret_cast<void*>(&ImxFree));
    EXPECT_EQ(reinterpret_cast<void*>(&ImeExtJobDataWrite), reinterpret_cast<void*>(&ImxJobDataWrite));
    EXPECT_EQ(reinterpret_cast<void*>(&ImeExtLogEvent), reinterpret_cast<void*>(&ImxLogEvent));
    EXPECT_EQ(reinterpret_cast<void*>(&ImeExtTextureAlloc), reinterpret_cast<void*>(&ImxTextureAlloc));
    EXPECT_EQ(reinterpret_cast<void*>(&ImeExtTextureFree), reinterpret_cast<void*>(&ImxTextureFree));
    // A block from one name is freed by the other (the sanitizer checks the pairing).
    void* block = ImeExtAlloc(nullptr, 100);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5A, 100);
    ImxFree(nullptr, block);
    block = ImxAlloc(nullptr, 1);
    ASSERT_NE(block, nullptr);
    ImeExtFree(nullptr, block);
}

TEST(BasicServices, LogEventAndCapabilitiesDoNothing)
{
    ImxLogEvent(IMX_LOG_ERROR, "ImoSheetBegin", "Could not allocate compression encoder; uWidth: %u", 1728u);
    ImeExtLogEvent(IMX_LOG_WARNING, "ImoDocBegin", "%s %d %p", "text", -1, nullptr);
    ImxLogEvent(99, nullptr, nullptr);
    EXPECT_EQ(ImxCpuCapsGet(), 0u);
}

TEST(BasicServices, TextureMemoryComesFromTheJobsCache)
{
    TextureCache* cache = TextureCacheCreate(8, 1 << 20);
    ASSERT_NE(cache, nullptr);
    OutputModuleContext context{};
    context.textureCache = cache;
    const uint32_t before = cache->used;
    void* block = ImxTextureAlloc(&context, 256);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xFF, 256);
    void* other = ImeExtTextureAlloc(&context, 64);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(cache->used - before, 320u);  // a colour texture is being made: charged
    ImeExtTextureFree(&context, block);
    ImxTextureFree(&context, other);
    ImxTextureFree(&context, nullptr);
    EXPECT_EQ(cache->used, before);
    TextureCacheDestroy(cache);
    // Without a cache there is no texture memory.
    OutputModuleContext bare{};
    EXPECT_EQ(ImxTextureAlloc(&bare, 16), nullptr);
    EXPECT_EQ(ImxTextureAlloc(nullptr, 16), nullptr);
}

}  // namespace
