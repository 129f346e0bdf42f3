// ImxCmmWorldApplyImage over arbitrary geometry (widths, heights, depths, strides, in place or
// not) on buffers of exactly the size the geometry claims: the call either refuses (-4, -133) or
// stays inside both images.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/services/cmm/cmm_world.h"
#include "platform/kernel.h"
#include "platform/resources.h"

FAX_DECLARE_RESOURCE_TABLE(RastrelProfiles);

namespace {

struct Worlds {
    CmmInstance* instance = nullptr;
    CmmWorld* rgb = nullptr;  // sRGB to itself, 3 outputs
    CmmWorld* gray = nullptr;  // one profile alone: sRGB to XYZ, 3 outputs as well
    Worlds()
    {
        FaxResourceTableLink_RastrelProfiles();
        instance = ImxCmmInit();
        const ImxDataSource builtIn{IMX_SOURCE_RESOURCE, ModuleFromAddress(reinterpret_cast<const void*>(&ImxCmmInit)),
                                    "Profiles", 101};
        ImxImageFormat format{};
        format.colorBits = 24;
        ImxCmmWorldCreate(instance, &builtIn, 0, 0, &format, &rgb);
        ImxCmmWorldLoad(instance, &builtIn, &format, &gray);
    }
};

uint32_t Take(const uint8_t*& data, size_t& size, uint32_t bytes)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes && size > 0; ++i, --size) v = (v << 8) | *data++;
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Worlds worlds;
    if (worlds.rgb == nullptr || worlds.gray == nullptr || size < 12) return 0;
    CmmWorld* world = data[0] & 1 ? worlds.rgb : worlds.gray;
    const bool inPlace = data[0] & 2;
    ++data;
    --size;
    ImxImage source{}, destination{};
    source.width = Take(data, size, 1);
    source.height = Take(data, size, 1) % 32;
    destination.width = Take(data, size, 1);
    destination.height = Take(data, size, 1) % 32;
    source.planes[0].depth = static_cast<uint8_t>(Take(data, size, 1));
    destination.planes[0].depth = static_cast<uint8_t>(Take(data, size, 1));
    source.planes[0].stride = Take(data, size, 2) % 2048;
    destination.planes[0].stride = Take(data, size, 2) % 2048;
    std::vector<uint8_t> in(size_t{source.planes[0].stride} * source.height);
    std::vector<uint8_t> out(size_t{destination.planes[0].stride} * destination.height);
    for (size_t i = 0; i < in.size(); ++i) in[i] = size > 0 ? data[i % size] : 0;
    source.planes[0].data = in.empty() ? nullptr : in.data();
    destination.planes[0].data = out.empty() ? nullptr : out.data();
    if (inPlace && !in.empty() && in.size() <= out.size()) {
        std::memcpy(out.data(), in.data(), in.size());
        source.planes[0].data = out.data();
    }
    ImxCmmWorldApplyImage(world, &source, &destination);
    return 0;
}
