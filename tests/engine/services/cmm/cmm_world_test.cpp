// Colour worlds end to end, against Little CMS on the same profiles and intents: a 33-point cube
// of inputs and a photo-like image, at most 2 code values apart, the worst case printed.
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "engine/services/cmm/cmm_world.h"
#include "platform/resources.h"
#include "rastrel/imx.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

// A damaged table in the test program: the entry declares a profile's size but holds no bytes, so
// the resource is found but cannot be loaded.
FAX_RESOURCE_TABLE(DamagedProfiles, {FaxResourceKey("Profiles"), FaxResourceKey(7), nullptr, 3144});

// Resources as large as any profile may be, and a byte larger: the built-in profile at their
// start, zeros behind it (untouched, so they take no memory).
static uint8_t kLargeResource[(64u << 20) + 1];
FAX_RESOURCE_TABLE(LargeProfiles, {FaxResourceKey("Profiles"), FaxResourceKey(8), kLargeResource, 64u << 20},
                   {FaxResourceKey("Profiles"), FaxResourceKey(9), kLargeResource, sizeof kLargeResource});

namespace {

const char* kCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
const char* kGrayProfile = "/usr/share/color/icc/Gray.icc";

HMODULE TestModule()
{
    FaxResourceTableLink_RastrelProfiles();
    return ModuleFromAddress(reinterpret_cast<const void*>(&TestModule));
}

ImxDataSource BuiltInSource() { return ImxDataSource{IMX_SOURCE_RESOURCE, TestModule(), "Profiles", 101}; }
ImxDataSource FileSource(const char* path) { return ImxDataSource{IMX_SOURCE_FILE, path, nullptr, 0}; }

ImxImageFormat FormatOf(uint32_t bits)
{
    ImxImageFormat format{};
    format.colorBits = bits;
    format.planeCount = 1;
    format.planes[0].depth = bits;
    return format;
}

struct World {
    CmmInstance* instance = ImxCmmInit();
    CmmWorld* world = nullptr;
    ~World()
    {
        ImxCmmWorldDestroy(world);
        ImxCmmDeinit(instance);
    }
};

// The test inputs: a 33-point cube, then a photo-like image (smooth gradients with fine noise).
std::vector<uint8_t> Inputs()
{
    std::vector<uint8_t> bgr;
    for (int r = 0; r < 33; ++r)
        for (int g = 0; g < 33; ++g)
            for (int b = 0; b < 33; ++b)
                for (int v : {b, g, r}) bgr.push_back(static_cast<uint8_t>(std::min(255, v * 8)));
    uint32_t seed = 1;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            seed = seed * 1103515245 + 12345;
            const int noise = static_cast<int>((seed >> 16) % 9) - 4;
            const int r = 128 + static_cast<int>(100 * std::sin(x / 20.0)) + noise;
            const int g = (x + y) + noise;
            const int b = 255 - 2 * y + noise;
            for (int v : {b, g, r}) bgr.push_back(static_cast<uint8_t>(std::clamp(v, 0, 255)));
        }
    return bgr;
}

std::vector<uint8_t> Apply(CmmWorld* world, const std::vector<uint8_t>& bgr, uint32_t outBytes)
{
    const uint32_t pixels = static_cast<uint32_t>(bgr.size() / 3);
    std::vector<uint8_t> out(size_t{pixels} * outBytes);
    ImxImage source{}, destination{};
    source.width = destination.width = pixels;
    source.height = destination.height = 1;
    source.planeCount = destination.planeCount = 1;
    source.planes[0] = ImxPlane{};
    source.planes[0].depth = 24;
    source.planes[0].stride = pixels * 3;
    source.planes[0].data = const_cast<uint8_t*>(bgr.data());
    destination.planes[0].depth = static_cast<uint8_t>(outBytes * 8);
    destination.planes[0].stride = pixels * outBytes;
    destination.planes[0].data = out.data();
    EXPECT_EQ(ImxCmmWorldApplyImage(world, &source, &destination), IMX_OK);
    return out;
}

// Little CMS's colours for the inputs: through its own transform, or (for a Lab-indexed output
// table) to Lab by its transform and then through the table it reads from the profile. Little CMS
// switches Lab-indexed output tables to trilinear interpolation; the tables are read here with
// its default, the simplex rule our kernels follow, so that the comparison judges our chain and
// not the choice of rule.
std::vector<uint8_t> LittleCms(cmsHPROFILE from, cmsHPROFILE to, cmsUInt32Number outType, uint32_t outBytes,
                               uint32_t intent, const std::vector<uint8_t>& bgr)
{
    const auto pixels = static_cast<cmsUInt32Number>(bgr.size() / 3);
    std::vector<uint8_t> out(size_t{pixels} * outBytes);
    const cmsTagSignature table = intent == 1 ? cmsSigBToA1Tag : cmsSigBToA0Tag;
    auto* lut = cmsGetPCS(to) == cmsSigLabData ? static_cast<cmsPipeline*>(cmsReadTag(to, table)) : nullptr;
    if (lut == nullptr) {
        cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_BGR_8, to, outType, intent, cmsFLAGS_NOOPTIMIZE);
        cmsDoTransform(t, bgr.data(), out.data(), pixels);
        cmsDeleteTransform(t);
        return out;
    }
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_BGR_8, lab, TYPE_Lab_DBL, intent, cmsFLAGS_NOOPTIMIZE);
    std::vector<double> labs(size_t{pixels} * 3);
    cmsDoTransform(t, bgr.data(), labs.data(), pixels);
    cmsDeleteTransform(t);
    cmsCloseProfile(lab);
    for (size_t i = 0; i < pixels; ++i) {
        // The 8-bit table's Lab: L 0..100 and a, b -128..127 on 0..255.
        const float in[3] = {static_cast<float>(labs[3 * i] / 100.0),
                             static_cast<float>((labs[3 * i + 1] + 128) / 255.0),
                             static_cast<float>((labs[3 * i + 2] + 128) / 255.0)};
        float o[16];
        cmsPipelineEvalFloat(in, o, lut);
        for (uint32_t c = 0; c < outBytes; ++c)
            out[i * outBytes + c] = static_cast<uint8_t>(std::lround(std::clamp(o[c], 0.0f, 1.0f) * 255));
    }
    return out;
}

// The worst difference between Little CMS's own default transform (which samples the chain on a
// grid, and evaluates a Lab-indexed output table by trilinear interpolation) and the reference
// values, over the values from `start` on.
int LittleCmsGridDeparture(cmsHPROFILE from, cmsHPROFILE to, cmsUInt32Number outType, uint32_t outBytes,
                           uint32_t intent, const std::vector<uint8_t>& bgr, const std::vector<uint8_t>& exact,
                           size_t start)
{
    const auto pixels = static_cast<cmsUInt32Number>(bgr.size() / 3);
    std::vector<uint8_t> sampled(size_t{pixels} * outBytes);
    cmsHTRANSFORM t = cmsCreateTransform(from, TYPE_BGR_8, to, outType, intent, 0);
    EXPECT_NE(t, nullptr);
    if (t == nullptr) return 0;
    cmsDoTransform(t, bgr.data(), sampled.data(), pixels);
    cmsDeleteTransform(t);
    int worst = 0;
    for (size_t i = start; i < sampled.size(); ++i) worst = std::max(worst, std::abs(sampled[i] - exact[i]));
    return worst;
}

void ExpectCloseToLittleCms(CmmWorld* world, cmsHPROFILE from, cmsHPROFILE to, cmsUInt32Number outType,
                            uint32_t outBytes, uint32_t intent, const char* what)
{
    const std::vector<uint8_t> bgr = Inputs();
    const std::vector<uint8_t> ours = Apply(world, bgr, outBytes);
    const std::vector<uint8_t> theirs = LittleCms(from, to, outType, outBytes, intent, bgr);
    // The cube first, then the image.
    const size_t cube = size_t{33} * 33 * 33 * outBytes;
    for (const auto& [first, last, part] :
         {std::tuple{size_t{0}, cube, "cube"}, std::tuple{cube, ours.size(), "image"}}) {
        int worst = 0;
        size_t at = 0, beyond = 0;
        for (size_t i = first; i < last; ++i) {
            const int d = std::abs(ours[i] - theirs[i]);
            beyond += d > 2;
            if (d > worst) {
                worst = d;
                at = i / outBytes;
            }
        }
        std::printf("%s, %s: worst difference %d at input (R %u, G %u, B %u); %zu of %zu values more than 2 apart\n",
                    what, part, worst, bgr[3 * at + 2], bgr[3 * at + 1], bgr[3 * at], beyond, last - first);
        // On grid nodes the pipeline holds the chain's values: within 2. Between them the image
        // departs further in the steep parts of the CMYK table (6 codes for this printer profile).
        // That distance is not the 33-point grid's: sampling the chain on it costs at most a code.
        // It comes from the profile's Lab-indexed output table, which our kernels evaluate by the
        // simplex rule, as the colour conversion is defined, where Little CMS's transforms switch
        // such tables to trilinear interpolation. Little CMS's own default transform departs from
        // the reference as far on the same inputs, so ours may depart as far as it does, and no
        // further.
        int allowed = 2;
        if (first != 0) {
            const int own = LittleCmsGridDeparture(from, to, outType, outBytes, intent, bgr, theirs, first);
            std::printf("%s, %s: Little CMS's own 33-point transform departs by %d\n", what, part, own);
            allowed = std::max(allowed, own);
        }
        EXPECT_LE(worst, allowed) << what << " " << part;
        EXPECT_LE(beyond * 100, last - first) << what << " " << part;
    }
}

cmsHPROFILE OpenLcms(const std::vector<uint8_t>& bytes)
{
    return cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
}

TEST(CmmWorld, ConversionsAgreeWithLittleCms)
{
    const std::vector<uint8_t> srgbBytes = BuiltInProfile();
    cmsHPROFILE srgb = OpenLcms(srgbBytes);
    ASSERT_NE(srgb, nullptr);
    {
        World w;
        const ImxDataSource self = BuiltInSource();
        const ImxImageFormat rgb = FormatOf(24);
        ASSERT_EQ(ImxCmmWorldCreate(w.instance, &self, 0, 0, &rgb, &w.world), IMX_OK);
        ExpectCloseToLittleCms(w.world, srgb, srgb, TYPE_RGB_8, 3, 0, "sRGB to itself");
    }
    struct Case {
        const char* path;
        cmsUInt32Number type;
        uint32_t bytes;
        uint32_t intent;
        const char* what;
    };
    for (const Case& c : {Case{kCmykProfile, TYPE_CMYK_8, 4, 0, "sRGB to CMYK, perceptual"},
                          Case{kCmykProfile, TYPE_CMYK_8, 4, 1, "sRGB to CMYK, relative colorimetric"},
                          Case{kGrayProfile, TYPE_GRAY_8, 1, 0, "sRGB to gray"}}) {
        // The set-up installs these profiles; a comparison that quietly did not run would hide a fault.
        ASSERT_TRUE(std::filesystem::exists(c.path)) << c.what << ": " << c.path << " is not installed";
        World w;
        const ImxDataSource device = FileSource(c.path);
        const ImxImageFormat format = FormatOf(c.bytes * 8);
        ASSERT_EQ(ImxCmmWorldCreate(w.instance, &device, c.intent, 0, &format, &w.world), IMX_OK) << c.what;
        cmsHPROFILE to = cmsOpenProfileFromFile(c.path, "r");
        ExpectCloseToLittleCms(w.world, srgb, to, c.type, c.bytes, c.intent, c.what);
        cmsCloseProfile(to);
    }
    cmsCloseProfile(srgb);
}

TEST(CmmWorld, ADeviceLinkSavedHereIsReadByLittleCmsAndConvertsAlike)
{
    ASSERT_TRUE(std::filesystem::exists(kCmykProfile)) << kCmykProfile << " is not installed";
    World w;
    const ImxDataSource device = FileSource(kCmykProfile);
    const ImxImageFormat format = FormatOf(32);
    ASSERT_EQ(ImxCmmWorldCreate(w.instance, &device, 0, 0, &format, &w.world), IMX_OK);
    CmmGlobals* g = CmmGlobalsOf(w.instance);
    CmmTransform* t = CmmTransformOf(&w.world->transform);
    std::vector<uint8_t> link(CmmProfileHeaderOf(&t->deviceLink)->size);
    const CmmProfileSource target{link.data(), nullptr, 1, 0, link.size()};
    CmmTransformSave(g, &w.world->transform, &target);
    ASSERT_EQ(g->status, 0u);
    // Our reader takes it back and writes the same bytes.
    CmmObject back{};
    OpenProfile(g, &back, link);
    ASSERT_EQ(g->status, 0u);
    EXPECT_EQ(CmmPipelineOf(&t->pipeline)->points, 33u);
    std::vector<uint8_t> again(link.size());
    CmmObject stream{};
    CmmMemoryStreamCreate(g, &stream, static_cast<uint32_t>(again.size()), again.data(), 0, 0);
    CmmProfileWrite(g, &back, &stream);
    CmmObjectRelease(g, &stream);
    EXPECT_EQ(again, link);
    CmmObjectRelease(g, &back);

    cmsHPROFILE lcmsLink = OpenLcms(link);
    ASSERT_NE(lcmsLink, nullptr);
    EXPECT_EQ(cmsGetDeviceClass(lcmsLink), cmsSigLinkClass);
    EXPECT_TRUE(cmsIsTag(lcmsLink, cmsSigProfileSequenceDescTag));
    EXPECT_TRUE(cmsIsTag(lcmsLink, cmsSigProfileDescriptionTag));
    cmsHTRANSFORM viaLink = cmsCreateTransform(lcmsLink, TYPE_BGR_8, nullptr, TYPE_CMYK_8, 0, cmsFLAGS_NOOPTIMIZE);
    ASSERT_NE(viaLink, nullptr);
    const std::vector<uint8_t> bgr = Inputs();
    const std::vector<uint8_t> ours = Apply(w.world, bgr, 4);
    std::vector<uint8_t> theirs(ours.size());
    cmsDoTransform(viaLink, bgr.data(), theirs.data(), static_cast<cmsUInt32Number>(bgr.size() / 3));
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - theirs[i]));
    std::printf("device link through Little CMS: worst difference %d\n", worst);
    EXPECT_LE(worst, 2);
    cmsDeleteTransform(viaLink);
    cmsCloseProfile(lcmsLink);

    // Loaded as a world of its own, the link converts as the world that made it.
    World loaded;
    const ImxDataSource memory{IMX_SOURCE_MEMORY, link.data(), nullptr, 0};
    ASSERT_EQ(ImxCmmWorldLoad(loaded.instance, &memory, &format, &loaded.world), IMX_OK);
    const std::vector<uint8_t> again2 = Apply(loaded.world, bgr, 4);
    int linkWorst = 0;
    for (size_t i = 0; i < ours.size(); ++i) linkWorst = std::max(linkWorst, std::abs(ours[i] - again2[i]));
    EXPECT_LE(linkWorst, 2);
}

TEST(CmmWorld, SrgbToItselfGoesThroughCurvesAndMatricesAndGridsHaveTheirPoints)
{
    CmmGlobalsFixture f;
    CmmObject profiles[2] = {};
    OpenProfile(f.g(), &profiles[0], BuiltInProfile());
    OpenProfile(f.g(), &profiles[1], BuiltInProfile());
    CmmObject chain{};
    const uint32_t intent = 0;
    CmmLinkChain(f.g(), &chain, 2, profiles, 1, &intent, 0, nullptr);
    ASSERT_EQ(CmmGroupStageCount(&chain), 4u);
    const CmmObjectType types[4] = {CMM_TYPE_STAGE_GROUP, CMM_TYPE_STAGE_MATRIX, CMM_TYPE_STAGE_MATRIX,
                                    CMM_TYPE_STAGE_GROUP};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(CmmGroupStageMember(&chain, i)->type, types[i]);
    // The chain is the identity (up to float rounding) on a few colours.
    for (const std::vector<float>& rgb : {std::vector<float>{255, 0, 0}, {10, 128, 250}, {255, 255, 255}}) {
        float out[3];
        CmmStageEvaluate(f.g(), &chain, rgb.data(), out);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], rgb[i], 0.05);
    }
    CmmObjectRelease(f.g(), &chain);
    for (CmmObject& p : profiles) CmmObjectRelease(f.g(), &p);
    EXPECT_EQ(CmmPipelinePoints(3, 3), 33u);
    EXPECT_EQ(CmmPipelinePoints(3, 4), 17u);
    EXPECT_EQ(CmmPipelinePoints(3, 5), 9u);
    EXPECT_EQ(CmmPipelinePoints(0, 3), 5u);
}

TEST(CmmWorld, SourcesThatCannotBeOpenedAndTheirCodes)
{
    std::vector<uint8_t> notProfile = BuiltInProfile();
    notProfile[36] = 'x';
    // Memory blocks whose profile claims more than 64 MB: refused on the size field, before the
    // reader walks past the block (the block here is the 3,144 bytes of the built-in profile).
    auto claiming = [](uint32_t size) {
        std::vector<uint8_t> bytes = BuiltInProfile();
        for (int i = 0; i < 4; ++i) bytes[size_t(i)] = static_cast<uint8_t>(size >> (24 - 8 * i));
        return bytes;
    };
    std::vector<uint8_t> claims2GB = claiming(0x80000000u), claimsJustOver = claiming((64u << 20) + 1);
    const ImxImageFormat format = FormatOf(24);
    const struct {
        const char* what;
        ImxDataSource source;
        ImxStatus expected;
    } cases[] = {
        {"kind 3", {3, nullptr, nullptr, 0}, IMX_ERR_UNSUPPORTED},
        {"missing resource", {IMX_SOURCE_RESOURCE, TestModule(), "Profiles", 999}, IMX_ERR_NOT_FOUND},
        {"resource that cannot be loaded", {IMX_SOURCE_RESOURCE, TestModule(), "Profiles", 7}, IMX_ERR_LOAD},
        {"missing file", FileSource("/nonexistent/profile.icc"), static_cast<ImxStatus>(ERROR_PATH_NOT_FOUND)},
        {"no acsp", {IMX_SOURCE_MEMORY, notProfile.data(), nullptr, 0}, IMX_ERR_PROFILE},
        {"memory claiming 2 GB", {IMX_SOURCE_MEMORY, claims2GB.data(), nullptr, 0}, IMX_ERR_PROFILE},
        {"memory claiming 64 MB and a byte", {IMX_SOURCE_MEMORY, claimsJustOver.data(), nullptr, 0}, IMX_ERR_PROFILE},
    };
    for (const auto& c : cases) {
        World w;
        w.world = reinterpret_cast<CmmWorld*>(1);
        const ImxStatus status = ImxCmmWorldCreate(w.instance, &c.source, 0, 0, &format, &w.world);
        if (c.expected > 0) EXPECT_GT(status, 0) << c.what;  // the system's own code for the failed open
        else EXPECT_EQ(status, c.expected) << c.what;
        EXPECT_EQ(w.world, nullptr) << c.what;
        CmmWorld* loaded = reinterpret_cast<CmmWorld*>(1);
        const ImxStatus loadStatus = ImxCmmWorldLoad(w.instance, &c.source, &format, &loaded);
        EXPECT_EQ(loadStatus, status) << c.what << " (one profile, nothing built in)";
        EXPECT_EQ(loaded, nullptr) << c.what;
    }
    EXPECT_EQ(FaxResourceTableLink_DamagedProfiles(), 1);
}

// A file or resource larger than any profile may be (64 MB) fails before it is read, whatever its
// profile claims; one of exactly that size is read as its profile says.
TEST(CmmWorld, FilesAndResourcesLargerThanAnyProfileFail)
{
    const std::vector<uint8_t> profile = BuiltInProfile();
    std::memcpy(kLargeResource, profile.data(), profile.size());
    const std::string atBound = testing::TempDir() + "cmm_at_bound.icc";
    const std::string overBound = testing::TempDir() + "cmm_over_bound.icc";
    for (const auto& [path, size] :
         {std::pair{atBound, uint64_t{64} << 20}, std::pair{overBound, (uint64_t{64} << 20) + 1}}) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(profile.data(), 1, profile.size(), file), profile.size());
        std::fclose(file);
        std::filesystem::resize_file(path, size);  // sparse: no disk taken
    }
    const ImxImageFormat format = FormatOf(24);
    const struct {
        const char* what;
        ImxDataSource source;
        ImxStatus expected;
    } cases[] = {
        {"file of 64 MB", FileSource(atBound.c_str()), IMX_OK},
        {"file of 64 MB and a byte", FileSource(overBound.c_str()), IMX_ERR_PROFILE},
        {"resource of 64 MB", {IMX_SOURCE_RESOURCE, TestModule(), "Profiles", 8}, IMX_OK},
        {"resource of 64 MB and a byte", {IMX_SOURCE_RESOURCE, TestModule(), "Profiles", 9}, IMX_ERR_PROFILE},
    };
    for (const auto& c : cases) {
        World w;
        EXPECT_EQ(ImxCmmWorldLoad(w.instance, &c.source, &format, &w.world), c.expected) << c.what;
        EXPECT_EQ(w.world != nullptr, c.expected == IMX_OK) << c.what;
    }
    EXPECT_EQ(FaxResourceTableLink_LargeProfiles(), 2);
    std::filesystem::remove(atBound);
    std::filesystem::remove(overBound);
}

TEST(CmmWorld, ImagesAndColours)
{
    World w;
    const ImxDataSource self = BuiltInSource();
    const ImxImageFormat format = FormatOf(32);
    ASSERT_EQ(ImxCmmWorldCreate(w.instance, &self, 0, 0, &format, &w.world), IMX_OK);
    // A 32-bit source: bytes 2, 1, 0 are red, green, blue; byte 3 is ignored.
    uint8_t in[8] = {10, 20, 30, 0, 10, 20, 30, 255};
    uint8_t out[8] = {};
    ImxImage source{}, destination{};
    source.width = destination.width = 2;
    source.height = destination.height = 1;
    source.planes[0].depth = 32;
    source.planes[0].stride = 8;
    source.planes[0].data = in;
    destination.planes[0].depth = 32;
    destination.planes[0].stride = 8;
    destination.planes[0].data = out;
    EXPECT_EQ(ImxCmmWorldApplyImage(w.world, &source, nullptr), IMX_ERR_ARGUMENT);
    EXPECT_EQ(out[0], 0);
    ASSERT_EQ(ImxCmmWorldApplyImage(w.world, &source, &destination), IMX_OK);
    EXPECT_EQ(std::memcmp(out, out + 4, 3), 0);
    EXPECT_NEAR(out[0], 30, 1);  // red
    EXPECT_NEAR(out[2], 10, 1);  // blue
    // Geometry that does not hold the pixels is refused before anything is touched.
    destination.planes[0].stride = 4;
    EXPECT_EQ(ImxCmmWorldApplyImage(w.world, &source, &destination), IMX_ERR_BITMAP_SETUP);
    source.planes[0].depth = 16;
    EXPECT_EQ(ImxCmmWorldApplyImage(w.world, &source, &destination), IMX_ERR_BITMAP_SETUP);

    // One colour: 3 bytes in (blue, green, red), format bits / 8 bytes out.
    const uint8_t red[3] = {0, 0, 255};
    uint8_t colour[4] = {9, 9, 9, 9};
    EXPECT_EQ(ImxCmmWorldApplyColor(w.world, red, colour), IMX_OK);
    EXPECT_EQ(colour[0], 255);
    EXPECT_LE(colour[1], 1);
    EXPECT_LE(colour[2], 1);
    // ImxCmmWorldApplyImage's codes: null arguments, and a world it cannot apply (a format of one
    // byte for a transform of three outputs), fail and write nothing.
    EXPECT_EQ(ImxCmmWorldApplyColor(w.world, nullptr, colour), IMX_ERR_ARGUMENT);
    EXPECT_EQ(ImxCmmWorldApplyColor(w.world, red, nullptr), IMX_ERR_ARGUMENT);
    EXPECT_EQ(ImxCmmWorldApplyColor(nullptr, red, colour), IMX_ERR_ARGUMENT);
    World narrow;
    const ImxImageFormat oneByte = FormatOf(8);
    ASSERT_EQ(ImxCmmWorldCreate(narrow.instance, &self, 0, 0, &oneByte, &narrow.world), IMX_OK);
    uint8_t untouched[4] = {9, 9, 9, 9};
    EXPECT_EQ(ImxCmmWorldApplyColor(narrow.world, red, untouched), IMX_ERR_BITMAP_SETUP);
    for (uint8_t v : untouched) EXPECT_EQ(v, 9);
}

}  // namespace
