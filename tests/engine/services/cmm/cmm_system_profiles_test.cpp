// Profiles of the system (icc-profiles-free, colord's, Ghostscript's where installed) open, and
// every tag of a type our readers take decodes to what Little CMS reads from it.
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>

#include "engine/services/cmm/cmm_stage.h"
#include "engine/services/cmm/cmm_tags.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

namespace {

std::vector<std::string> SystemProfiles()
{
    std::vector<std::string> out;
    for (const char* root : {"/usr/share/color/icc", "/usr/share/ghostscript"}) {
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(root, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            std::string ext = it->path().extension().string();
            for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (it->is_regular_file() && (ext == ".icc" || ext == ".icm")) out.push_back(it->path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// One Little CMS stage on its own, on 0..1 floats.
std::vector<float> EvalLcmsStage(cmsStage* stage, const std::vector<float>& in)
{
    cmsPipeline* pipe = cmsPipelineAlloc(nullptr, cmsStageInputChannels(stage), cmsStageOutputChannels(stage));
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageDup(stage));
    std::vector<float> out(cmsStageOutputChannels(stage));
    cmsPipelineEvalFloat(in.data(), out.data(), pipe);
    cmsPipelineFree(pipe);
    return out;
}

std::vector<float> EvalOurs(CmmGlobals* g, CmmObject* stage, const std::vector<float>& in01)
{
    std::vector<float> in(in01.size()), out(CmmObjectOutputs(stage));
    for (size_t i = 0; i < in.size(); ++i) in[i] = in01[i] * 255.0f;
    CmmStageEvaluate(g, stage, in.data(), out.data());
    for (float& v : out) v /= 255.0f;
    return out;
}

// Compares a lookup table stage by stage: ours are (matrix), input curves, grid, output curves,
// as Little CMS's are. Grids of more than three inputs are compared with their first inputs on
// grid nodes, where Little CMS's interpolation and the simplex rule agree.
void CompareLut(CmmGlobals* g, CmmObject* group, cmsPipeline* lcms, uint32_t points, const std::string& what)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0, 1);
    uint32_t member = 0;
    for (cmsStage* stage = cmsPipelineGetPtrToFirstStage(lcms); stage != nullptr;
         stage = cmsStageNext(stage), ++member) {
        CmmObject* ours = CmmGroupStageMember(group, member);
        ASSERT_NE(ours, nullptr) << what;
        const uint32_t inputs = cmsStageInputChannels(stage);
        ASSERT_EQ(CmmObjectInputs(ours), inputs) << what;
        ASSERT_EQ(CmmObjectOutputs(ours), cmsStageOutputChannels(stage)) << what;
        if (cmsStageType(stage) == cmsSigCLutElemType) {
            ASSERT_EQ(ours->type, CMM_TYPE_STAGE_GRID) << what;
        }
        float worst = 0;
        for (int n = 0; n < 300; ++n) {
            std::vector<float> in(inputs);
            for (float& v : in) v = unit(random);
            if (cmsStageType(stage) == cmsSigCLutElemType && inputs > 3) {
                // The first inputs on nodes: the grid's points come from the tag.
                for (uint32_t i = 0; i + 3 < inputs; ++i) in[i] = std::round(in[i] * (points - 1)) / (points - 1);
            }
            const std::vector<float> theirs = EvalLcmsStage(stage, in);
            const std::vector<float> mine = EvalOurs(g, ours, in);
            for (size_t o = 0; o < mine.size(); ++o) worst = std::max(worst, std::fabs(mine[o] - theirs[o]));
        }
        EXPECT_LE(worst * 255, 0.05) << what << " stage " << member;
    }
    EXPECT_EQ(member, CmmGroupStageCount(group)) << what;
}

TEST(CmmSystemProfiles, OpenAndDecodeAsLittleCmsDoes)
{
    const std::vector<std::string> paths = SystemProfiles();
    if (paths.empty()) GTEST_SKIP() << "no system profiles installed (icc-profiles-free)";
    size_t luts = 0, curves = 0, xyz = 0;
    for (const std::string& path : paths) {
        CmmGlobalsFixture f;
        const CmmProfileSource source{nullptr, path.c_str(), 0, 0, UINT64_MAX};
        CmmObject profile{};
        CmmProfileOpen(f.g(), &profile, &source);
        cmsHPROFILE lcms = cmsOpenProfileFromFile(path.c_str(), "r");
        if (lcms == nullptr) continue;  // not a profile Little CMS takes either
        ASSERT_EQ(f.g()->status, 0u) << path;
        CmmProfileHeader header{};
        CmmProfileReadHeader(f.g(), &profile, &header);
        EXPECT_EQ(header.colorSpace, static_cast<uint32_t>(cmsGetColorSpace(lcms))) << path;
        EXPECT_EQ(header.deviceClass, static_cast<uint32_t>(cmsGetDeviceClass(lcms))) << path;
        uint32_t count = 0;
        CmmProfileTagCount(f.g(), &profile, &count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t signature = 0, size = 0;
            CmmProfileTagInfo(f.g(), &profile, i, &signature, &size, nullptr);
            const uint8_t* bytes = CmmTagBytes(&profile, signature, &size);
            if (bytes == nullptr || size < 4) continue;
            const uint32_t type =
                (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
            const std::string what =
                path + " " + std::string(reinterpret_cast<const char*>(bytes), 4) + " tag " + std::to_string(i);
            void* theirs = cmsReadTag(lcms, static_cast<cmsTagSignature>(signature));
            if (theirs == nullptr) continue;
            f.g()->status = 0;
            if (type == CmmSignature("XYZ ")) {
                float mine[3];
                ASSERT_TRUE(CmmTagReadXyz(f.g(), &profile, signature, mine)) << what;
                const auto* t = static_cast<const cmsCIEXYZ*>(theirs);
                EXPECT_NEAR(mine[0], t->X, 1e-5) << what;
                EXPECT_NEAR(mine[1], t->Y, 1e-5) << what;
                EXPECT_NEAR(mine[2], t->Z, 1e-5) << what;
                ++xyz;
            } else if (type == CmmSignature("curv")) {
                CmmObject stage{};
                CmmTagReadCurve(f.g(), &profile, signature, true, &stage);
                ASSERT_NE(stage.block, nullptr) << what;
                float worst = 0;
                for (int v = 0; v <= 1020; ++v) {
                    const float in = static_cast<float>(v) / 4.0f;
                    float out = 0;
                    CmmStageEvaluate(f.g(), &stage, &in, &out);
                    const float t =
                        cmsEvalToneCurveFloat(static_cast<const cmsToneCurve*>(theirs), in / 255.0f) * 255.0f;
                    worst = std::max(worst, std::fabs(out - t));
                }
                // Little CMS takes the input to 16 bits first: on steep curves that moves a few hundredths.
                EXPECT_LE(worst, 0.1) << what;
                CmmObjectRelease(f.g(), &stage);
                ++curves;
            } else if (type == CmmSignature("mft1") || type == CmmSignature("mft2")) {
                CmmObject group{};
                CmmTagReadLut(f.g(), &profile, signature, &group);
                ASSERT_NE(group.block, nullptr) << what;
                CompareLut(f.g(), &group, static_cast<cmsPipeline*>(theirs), bytes[10], what);
                CmmObjectRelease(f.g(), &group);
                ++luts;
            } else if (type == CmmSignature("sig ")) {
                EXPECT_EQ(CmmTagReadSignature(&profile, signature), *static_cast<const uint32_t*>(theirs)) << what;
            }
            EXPECT_EQ(f.g()->raised, 0u) << what;
        }
        cmsCloseProfile(lcms);
        CmmObjectRelease(f.g(), &profile);
    }
    std::printf("%zu profiles: %zu lookup tables, %zu curves, %zu XYZ tags compared\n", paths.size(), luts, curves,
                xyz);
    EXPECT_GT(curves + luts + xyz, 0u);
}

}  // namespace
