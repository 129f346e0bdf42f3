// ImxCmmWorldApplyImage, BGR8 to CMYK8 on a fax page of a photo-like image, beside Little CMS's
// cmsDoTransform of the same profiles and intent (its default, optimised 8-bit path) in the same
// race. Our result is checked against Little CMS's exact transform (unoptimised) before the rounds
// and again after them, within the tolerance of the colour tests: no value further off than
// Little CMS's own optimised transform is (and at least 2 allowed), plus the one code that sampling
// the chain on our 33-point grid may add (a page of 15.8 million values finds the few where both
// departures meet), and at most 1 in 100 values more than 2 apart.
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/race.h"
#include "engine/services/cmm/cmm_world.h"
#include "platform/kernel.h"
#include "platform/resources.h"

FAX_DECLARE_RESOURCE_TABLE(RastrelProfiles);

namespace {

constexpr uint32_t kWidth = 1728;
constexpr uint32_t kHeight = 2292;
const char* kCmyk = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

struct Fixture {
    std::vector<uint8_t> bgr = std::vector<uint8_t>(size_t{kWidth} * kHeight * 3);
    std::vector<uint8_t> out = std::vector<uint8_t>(size_t{kWidth} * kHeight * 4);
    std::vector<uint8_t> theirs = std::vector<uint8_t>(out.size());
    std::vector<uint8_t> exact = std::vector<uint8_t>(out.size());
    int allowed = 2;  // Little CMS's own optimised departure from exact plus our grid's code, at least 2
    CmmInstance* instance = nullptr;
    CmmWorld* world = nullptr;
    cmsHTRANSFORM lcms = nullptr;
    ImxImage source{}, destination{};
    bool ready = false;
    Fixture()
    {
        uint32_t seed = 1;
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                seed = seed * 1103515245 + 12345;
                const int noise = static_cast<int>((seed >> 16) % 9) - 4;
                uint8_t* p = &bgr[(size_t{y} * kWidth + x) * 3];
                p[2] =
                    static_cast<uint8_t>(std::clamp(128 + static_cast<int>(100 * std::sin(x / 90.0)) + noise, 0, 255));
                p[1] = static_cast<uint8_t>(std::clamp(static_cast<int>((x + y) / 16) + noise, 0, 255));
                p[0] = static_cast<uint8_t>(std::clamp(255 - static_cast<int>(y / 9) + noise, 0, 255));
            }
        if (!std::filesystem::exists(kCmyk)) return;
        FaxResourceTableLink_RastrelProfiles();
        instance = ImxCmmInit();
        const ImxDataSource device{IMX_SOURCE_FILE, kCmyk, nullptr, 0};
        ImxImageFormat format{};
        format.colorBits = 32;
        if (ImxCmmWorldCreate(instance, &device, 0, 0, &format, &world) != IMX_OK) return;
        source.width = destination.width = kWidth;
        source.height = destination.height = kHeight;
        source.planes[0].depth = 24;
        source.planes[0].stride = kWidth * 3;
        source.planes[0].data = bgr.data();
        destination.planes[0].depth = 32;
        destination.planes[0].stride = kWidth * 4;
        destination.planes[0].data = out.data();
        HMODULE module = ModuleFromAddress(reinterpret_cast<const void*>(&ImxCmmInit));
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(101), "Profiles");
        const void* srgb = LockResource(LoadResource(module, found));
        cmsHPROFILE from = cmsOpenProfileFromMem(srgb, SizeofResource(module, found));
        cmsHPROFILE to = cmsOpenProfileFromFile(kCmyk, "r");
        lcms = cmsCreateTransform(from, TYPE_BGR_8, to, TYPE_CMYK_8, 0, 0);
        cmsHTRANSFORM unoptimised = cmsCreateTransform(from, TYPE_BGR_8, to, TYPE_CMYK_8, 0, cmsFLAGS_NOOPTIMIZE);
        if (lcms != nullptr && unoptimised != nullptr) {
            cmsDoTransform(unoptimised, bgr.data(), exact.data(), kWidth * kHeight);
            cmsDoTransform(lcms, bgr.data(), theirs.data(), kWidth * kHeight);
            int own = 0;
            for (size_t i = 0; i < exact.size(); ++i) own = std::max(own, std::abs(theirs[i] - exact[i]));
            allowed = std::max(allowed, own + 1);
        }
        if (unoptimised != nullptr) cmsDeleteTransform(unoptimised);
        cmsCloseProfile(from);
        cmsCloseProfile(to);
        ready = lcms != nullptr;
    }
};

Fixture& Data()
{
    static Fixture fixture;
    return fixture;
}

void Ours(Fixture& f) { ImxCmmWorldApplyImage(f.world, &f.source, &f.destination); }
void Theirs(Fixture& f) { cmsDoTransform(f.lcms, f.bgr.data(), f.theirs.data(), kWidth * kHeight); }

// Empty when our last result is within the tests' tolerance of the exact values, else how far off.
std::string Check(const Fixture& f)
{
    int worst = 0;
    size_t beyond = 0;
    for (size_t i = 0; i < f.out.size(); ++i) {
        const int d = std::abs(f.out[i] - f.exact[i]);
        worst = std::max(worst, d);
        beyond += d > 2;
    }
    if (worst <= f.allowed && beyond * 100 <= f.out.size()) return {};
    return "worst difference " + std::to_string(worst) + " (allowed " + std::to_string(f.allowed) + "), " +
           std::to_string(beyond) + " values more than 2 apart";
}

}  // namespace

int main(int argc, char** argv)
{
    AddRace("bgr8_to_cmyk8_page", "lcms2", [] {
        if (!Data().ready) return RaceSides{[] {}, [] {}, [] { return std::string("no CMYK profile"); }};
        // Checked after the rounds, so that a result off by a little still shows its time.
        return RaceSides{[] { Ours(Data()); },
                         [] { Theirs(Data()); },
                         {},
                         [] {
                             const std::string differs = Check(Data());
                             if (!differs.empty())
                                 RaceFailLast("outside the colour tests' tolerance of Little CMS's exact values: " +
                                              differs);
                         }};
    });
    return RaceMain(argc, argv);
}
