// The Imx colour management entry points. Each clears the instance's error state, runs the core
// operation and turns a recorded failure into its own code; nothing half-made survives a failure.
#include "engine/services/cmm/cmm_world.h"

#include <new>

#include "engine/common/file_map.h"
#include "engine/common/log_context.h"
#include "platform/kernel.h"
#include "platform/resources.h"
#include "rastrel/imx.h"

FAX_DECLARE_RESOURCE_TABLE(RastrelProfiles);

namespace {

CmmGlobals* GlobalsOf(CmmInstance* instance) { return CmmGlobalsOf(instance); }

// The core's profile reader over bytes whose size is known. A file or resource larger than any
// profile may be fails before a byte of it is read; a memory block carries no size and passes the
// bound itself, so that its profile's claim is trusted only up to it.
ImxStatus OpenFromBytes(CmmInstance* instance, CmmObject* profile, const void* data, uint64_t size)
{
    if (size > CMM_PROFILE_MAX_SIZE) return IMX_ERR_PROFILE;
    const CmmProfileSource source{static_cast<const uint8_t*>(data), nullptr, 1, 0, size};
    const uint32_t failed =
        CmmFrontDoor(GlobalsOf(instance), [&] { CmmProfileOpen(GlobalsOf(instance), profile, &source); });
    if (failed != 0 || GlobalsOf(instance)->status != 0) {
        CmmObjectRelease(GlobalsOf(instance), profile);
        return IMX_ERR_PROFILE;
    }
    return IMX_OK;
}

void ReleaseWorld(CmmWorld* world)
{
    if (world == nullptr) return;
    CmmObjectRelease(world->instance != nullptr ? GlobalsOf(world->instance) : nullptr, &world->transform);
    delete world;
}

ImxStatus MakeWorld(CmmInstance* instance, uint32_t count, CmmObject* profiles, uint32_t intentCount,
                    const uint32_t* intents, uint32_t flags, const ImxImageFormat* format, CmmWorld** out)
{
    auto* world = new (std::nothrow) CmmWorld{};
    if (world == nullptr) return IMX_ERR_NO_MEMORY;
    CmmGlobals* g = GlobalsOf(instance);
    // Any recorded status fails the link, a singular matrix among them (its class is 0).
    const uint32_t failed =
        CmmFrontDoor(g, [&] { CmmLink(g, &world->transform, count, profiles, intentCount, intents, flags); });
    if (failed != 0 || g->status != 0 || world->transform.block == nullptr) {
        CmmObjectRelease(g, &world->transform);
        delete world;
        return IMX_ERR_LINK;
    }
    world->instance = instance;
    world->format = *format;
    *out = world;
    return IMX_OK;
}

ImxStatus Convert(CmmWorld* world, CmmObject* source, CmmObject* destination)
{
    CmmGlobals* g = GlobalsOf(world->instance);
    const uint32_t failed = CmmFrontDoor(g, [&] { CmmTransformRun(g, &world->transform, source, destination); });
    return failed != 0 || g->status != 0 ? IMX_ERR_TRANSFORM : IMX_OK;
}

}  // namespace

ImxStatus CmmProfileLoad(CmmInstance* instance, CmmObject* profile, const ImxDataSource* source)
{
    *profile = CmmObject{};
    switch (source->kind) {
        case IMX_SOURCE_MEMORY:
            // A memory block carries no length: the profile's own size bounds it, trusted only up
            // to the bound every profile has; a larger claim fails on its size field alone.
            if (source->pointer == nullptr) return IMX_ERR_PROFILE;
            return OpenFromBytes(instance, profile, source->pointer, CMM_PROFILE_MAX_SIZE);
        case IMX_SOURCE_RESOURCE: {
            FaxResourceTableLink_RastrelProfiles();
            auto module = static_cast<HMODULE>(const_cast<void*>(source->pointer));
            HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(source->resourceId), source->resourceType);
            if (found == nullptr) return IMX_ERR_NOT_FOUND;
            HGLOBAL loaded = LoadResource(module, found);
            const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
            if (bytes == nullptr) {
                ImxLogEvent(IMX_LOG_ERROR, "CmmProfileLoad",
                            "Could not load the specified resource; pSect: %s, lID: %d, err: %d",
                            source->resourceType != nullptr ? source->resourceType : "",
                            static_cast<int>(source->resourceId), static_cast<int>(GetLastError()));
                return IMX_ERR_LOAD;
            }
            const ImxStatus status = OpenFromBytes(instance, profile, bytes, SizeofResource(module, found));
            FreeResource(loaded);
            return status;
        }
        case IMX_SOURCE_FILE: {
            FileMap map{};
            const DWORD opened = FileMapOpen(&map, static_cast<const char*>(source->pointer), GENERIC_READ,
                                             FILE_SHARE_READ, OPEN_EXISTING, 0);
            if (opened != 0) return static_cast<ImxStatus>(opened);
            LONGLONG fileSize = 0;
            ImxStatus status = IMX_ERR_PROFILE;
            if (GetFileSizeEx(map.file, &fileSize) && fileSize >= 0)
                status = OpenFromBytes(instance, profile, map.view, static_cast<uint64_t>(fileSize));
            FileMapClose(&map);
            return status;
        }
        default: return IMX_ERR_UNSUPPORTED;
    }
}

RASTREL_API CmmInstance* ImxCmmInit(void)
{
    auto* instance = new (std::nothrow) CmmInstance{};
    if (instance == nullptr) {
        ImxLogEvent(IMX_LOG_ERROR, "ImxCmmInit", "Could not allocate CMM instance node; err: %d",
                    static_cast<int>(GetLastError()));
        return nullptr;
    }
    const uint32_t failed = CmmGlobalsInit(instance);
    if (failed != 0) {
        ImxLogEvent(IMX_LOG_ERROR, "ImxCmmInit", "Failed to init CMM; err: %d", static_cast<int>(failed));
        delete instance;
        return nullptr;
    }
    return instance;
}

RASTREL_API void ImxCmmDeinit(CmmInstance* instance)
{
    if (instance == nullptr) return;
    CmmObjectRelease(nullptr, instance);
    delete instance;
}

RASTREL_API ImxStatus ImxCmmWorldCreate(CmmInstance* instance, const ImxDataSource* profile, uint32_t intent,
                                        uint32_t linkFlags, const ImxImageFormat* format, CmmWorld** world)
{
    if (world == nullptr) return IMX_ERR_ARGUMENT;
    *world = nullptr;
    if (instance == nullptr || profile == nullptr || format == nullptr) return IMX_ERR_ARGUMENT;
    CmmObject profiles[2] = {};
    const ImxDataSource builtIn{IMX_SOURCE_RESOURCE, RastrelModuleHandle(), CMM_BUILTIN_PROFILE_TYPE,
                                CMM_BUILTIN_PROFILE_ID};
    ImxStatus status = CmmProfileLoad(instance, &profiles[0], &builtIn);
    if (status != IMX_OK) return status;
    status = CmmProfileLoad(instance, &profiles[1], profile);
    if (status == IMX_OK) status = MakeWorld(instance, 2, profiles, 1, &intent, linkFlags, format, world);
    for (CmmObject& p : profiles) CmmObjectRelease(GlobalsOf(instance), &p);
    return status;
}

RASTREL_API ImxStatus ImxCmmWorldLoad(CmmInstance* instance, const ImxDataSource* profile, const ImxImageFormat* format,
                                      CmmWorld** world)
{
    if (world == nullptr) return IMX_ERR_ARGUMENT;
    *world = nullptr;
    if (instance == nullptr || profile == nullptr || format == nullptr) return IMX_ERR_ARGUMENT;
    CmmObject one{};
    ImxStatus status = CmmProfileLoad(instance, &one, profile);
    if (status == IMX_OK) status = MakeWorld(instance, 1, &one, 0, nullptr, 0, format, world);
    CmmObjectRelease(GlobalsOf(instance), &one);
    return status;
}

RASTREL_API void ImxCmmWorldDestroy(CmmWorld* world) { ReleaseWorld(world); }

RASTREL_API ImxStatus ImxCmmWorldApplyImage(CmmWorld* world, const ImxImage* source, ImxImage* destination)
{
    if (world == nullptr || source == nullptr || destination == nullptr) return IMX_ERR_ARGUMENT;
    CmmGlobals* g = GlobalsOf(world->instance);
    const ImxPlane& in = source->planes[0];
    const ImxPlane& out = destination->planes[0];
    const uint32_t inBytes = in.depth / 8u, outBytes = out.depth / 8u;
    // Sources of 24 or 32 bits; destinations with a byte for every output; strides that hold a
    // row; pixels present.
    const uint32_t outputs = CmmObjectOutputs(&world->transform);
    if ((in.depth != 24 && in.depth != 32) || outBytes < outputs || outBytes == 0 || in.data == nullptr ||
        out.data == nullptr || uint64_t{in.stride} < uint64_t{source->width} * inBytes ||
        uint64_t{out.stride} < uint64_t{source->width} * outBytes || destination->width < source->width ||
        destination->height < source->height)
        return IMX_ERR_BITMAP_SETUP;
    CmmObject s{}, d{};
    const uint32_t bgr[3] = {2, 1, 0};
    uint32_t order[CMM_BITMAP_MAX_CHANNELS];
    for (uint32_t i = 0; i < CMM_BITMAP_MAX_CHANNELS; ++i) order[i] = i;
    const uint32_t failed = CmmFrontDoor(g, [&] {
        CmmBitmapSetup(g, &s, 3, source->width, source->height, inBytes, in.stride, bgr, false, nullptr);
        CmmBitmapSetup(g, &d, outBytes, destination->width, destination->height, outBytes, out.stride, order, false,
                       nullptr);
        CmmBitmapAttach(g, &s, source->height, in.data);
        CmmBitmapAttach(g, &d, source->height, out.data);
    });
    ImxStatus status = failed != 0 || g->status != 0 ? IMX_ERR_BITMAP_SETUP : Convert(world, &s, &d);
    CmmObjectRelease(g, &s);
    CmmObjectRelease(g, &d);
    return status;
}

// One colour, with ImxCmmWorldApplyImage's codes: a world it cannot apply (a format with fewer
// output bytes than the transform gives, or none) is -133, a failed transform -134, never a
// success that wrote nothing.
RASTREL_API ImxStatus ImxCmmWorldApplyColor(CmmWorld* world, const uint8_t* input, uint8_t* output)
{
    if (world == nullptr || input == nullptr || output == nullptr) return IMX_ERR_ARGUMENT;
    CmmGlobals* g = GlobalsOf(world->instance);
    const uint32_t outBytes = world->format.colorBits / 8;
    if (outBytes == 0 || outBytes < CmmObjectOutputs(&world->transform) || outBytes > CMM_BITMAP_MAX_CHANNELS)
        return IMX_ERR_BITMAP_SETUP;
    CmmObject s{}, d{};
    const uint32_t failed = CmmFrontDoor(g, [&] {
        CmmBitmapSetup(g, &s, 3, 1, 1, 3, 0, nullptr, false, input);
        CmmBitmapSetup(g, &d, outBytes, 1, 1, outBytes, 0, nullptr, false, output);
    });
    const ImxStatus status = failed != 0 || g->status != 0 ? IMX_ERR_BITMAP_SETUP : Convert(world, &s, &d);
    CmmObjectRelease(g, &s);
    CmmObjectRelease(g, &d);
    return status;
}
