// The Imx services that act on the caller's job: job-data writes through the host's write
// callback and texture memory from the job's texture cache. The context is the engine's
// OutputModuleContext, handed to the output module as its host handle.
#include "engine/common/output_module.h"
#include "engine/raster/texture_cache.h"
#include "rastrel/imx.h"

// Nothing is buffered or retried: the output module keeps a failed write sticky.
RASTREL_API ImxStatus ImxJobDataWrite(void* context, const void* bytes, uint32_t length)
{
    auto* job = static_cast<OutputModuleContext*>(context);
    if (job == nullptr || job->write == nullptr) {
        return IMX_ERR_WRITE;
    }
    return job->write(job->writeArgument, bytes, length) != 0 ? IMX_OK : IMX_ERR_WRITE;
}

RASTREL_API void* ImxTextureAlloc(void* context, uint32_t size)
{
    auto* job = static_cast<OutputModuleContext*>(context);
    if (job == nullptr || job->textureCache == nullptr) {
        return nullptr;
    }
    return TextureCacheBlockAlloc(job->textureCache, size);
}

RASTREL_API void ImxTextureFree(void* context, void* block)
{
    auto* job = static_cast<OutputModuleContext*>(context);
    if (job == nullptr || job->textureCache == nullptr) {
        return;
    }
    TextureCacheBlockFree(job->textureCache, block);
}

// Second names: the same entry points.
RASTREL_API ImxStatus ImeExtJobDataWrite(void* context, const void* bytes, uint32_t length)
    __attribute__((alias("ImxJobDataWrite")));
RASTREL_API void* ImeExtTextureAlloc(void* context, uint32_t size) __attribute__((alias("ImxTextureAlloc")));
RASTREL_API void ImeExtTextureFree(void* context, void* block) __attribute__((alias("ImxTextureFree")));
