// World creation from a memory profile of known size (ImxCmmWorldCreate with the built-in sRGB
// profile, and ImxCmmWorldLoad alone), then one colour through whatever was built: no damaged
// profile may make the link read outside the profile or leave a half-made world.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/services/cmm/cmm_world.h"
#include "platform/resources.h"

FAX_DECLARE_RESOURCE_TABLE(RastrelProfiles);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    FaxResourceTableLink_RastrelProfiles();
    // The first byte picks the intent and black preservation; the rest is the profile. Its own
    // size field is bounded by a copy padded out to what it claims (a memory block carries none).
    const uint32_t intent = data[0] & 3;
    const uint32_t flags = data[0] & 4 ? 2 : 0;
    std::vector<uint8_t> profile(data + 1, data + size);
    if (profile.size() >= 4) {
        const uint32_t claimed =
            (uint32_t{profile[0]} << 24) | (uint32_t{profile[1]} << 16) | (uint32_t{profile[2]} << 8) | profile[3];
        if (claimed > profile.size() && claimed <= (1u << 20)) profile.resize(claimed, 0);
        if (claimed > profile.size()) return 0;
    }
    CmmInstance* instance = ImxCmmInit();
    const ImxDataSource source{IMX_SOURCE_MEMORY, profile.data(), nullptr, 0};
    ImxImageFormat format{};
    format.colorBits = 32;
    CmmWorld* world = nullptr;
    const uint8_t bgr[3] = {10, 200, 60};
    uint8_t out[4];
    if (ImxCmmWorldCreate(instance, &source, intent, flags, &format, &world) == IMX_OK) {
        ImxCmmWorldApplyColor(world, bgr, out);
        ImxCmmWorldDestroy(world);
    }
    world = nullptr;
    if (ImxCmmWorldLoad(instance, &source, &format, &world) == IMX_OK) {
        ImxCmmWorldApplyColor(world, bgr, out);
        ImxCmmWorldDestroy(world);
    }
    ImxCmmDeinit(instance);
    return 0;
}
