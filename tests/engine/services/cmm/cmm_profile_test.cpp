// The profile object: the built-in sRGB profile, opening, assembling and writing profiles, and
// damaged profiles. Little CMS reads everything written here.
#include <lcms2.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/services/cmm/cmm_stage.h"
#include "engine/services/cmm/cmm_tags.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

namespace {

struct LcmsProfile {
    cmsHPROFILE p;
    explicit LcmsProfile(const std::vector<uint8_t>& bytes)
        : p(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())))
    {}
    ~LcmsProfile()
    {
        if (p != nullptr) cmsCloseProfile(p);
    }
};

std::vector<uint32_t> Signatures(CmmGlobals* g, CmmObject* profile)
{
    uint32_t count = 0;
    CmmProfileTagCount(g, profile, &count);
    std::vector<uint32_t> out(count);
    for (uint32_t i = 0; i < count; ++i) CmmProfileTagInfo(g, profile, i, &out[i], nullptr, nullptr);
    return out;
}

// Every tag Little CMS sees, with its raw bytes equal to ours.
void ExpectLcmsSeesTheSameTags(CmmGlobals* g, CmmObject* profile, const std::vector<uint8_t>& bytes)
{
    LcmsProfile lcms(bytes);
    ASSERT_NE(lcms.p, nullptr);
    const std::vector<uint32_t> ours = Signatures(g, profile);
    ASSERT_EQ(static_cast<size_t>(cmsGetTagCount(lcms.p)), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(static_cast<uint32_t>(cmsGetTagSignature(lcms.p, static_cast<cmsUInt32Number>(i))), ours[i]);
        uint32_t size = 0;
        CmmProfileReadTag(g, profile, ours[i], &size, nullptr);
        std::vector<uint8_t> mine(size), theirs(size);
        CmmProfileReadTag(g, profile, ours[i], &size, mine.data());
        EXPECT_EQ(cmsReadRawTag(lcms.p, static_cast<cmsTagSignature>(ours[i]), theirs.data(), size), size);
        EXPECT_EQ(mine, theirs) << std::hex << ours[i];
    }
}

double SrgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

TEST(CmmBuiltInProfile, IsTheSrgbDisplayProfileWithOneSharedToneCurve)
{
    const std::vector<uint8_t> bytes = BuiltInProfile();
    ASSERT_EQ(bytes.size(), 3144u);
    CmmGlobalsFixture f;
    CmmObject profile{};
    OpenProfile(f.g(), &profile, bytes);
    ASSERT_EQ(f.g()->status, 0u);
    CmmProfileHeader header{};
    CmmProfileReadHeader(f.g(), &profile, &header);
    EXPECT_EQ(header.size, 3144u);
    EXPECT_EQ(header.version, 0x02100000u);
    EXPECT_EQ(header.deviceClass, CmmSignature("mntr"));
    EXPECT_EQ(header.colorSpace, CmmSignature("RGB "));
    EXPECT_EQ(header.connectionSpace, CmmSignature("XYZ "));
    EXPECT_EQ(header.intent, 0u);
    EXPECT_EQ(header.illuminant[0], 0xF6D6u);
    EXPECT_EQ(header.illuminant[1], 0x10000u);
    EXPECT_EQ(header.illuminant[2], 0xD32Du);
    const std::vector<uint32_t> expected = {CmmSignature("cprt"), CmmSignature("desc"), CmmSignature("wtpt"),
                                            CmmSignature("bkpt"), CmmSignature("rXYZ"), CmmSignature("gXYZ"),
                                            CmmSignature("bXYZ"), CmmSignature("dmnd"), CmmSignature("dmdd"),
                                            CmmSignature("vued"), CmmSignature("view"), CmmSignature("lumi"),
                                            CmmSignature("meas"), CmmSignature("tech"), CmmSignature("rTRC"),
                                            CmmSignature("gTRC"), CmmSignature("bTRC")};
    EXPECT_EQ(Signatures(f.g(), &profile), expected);
    uint32_t offsets[3], sizes[3];
    for (int i = 0; i < 3; ++i) CmmProfileTagInfo(f.g(), &profile, 14 + i, nullptr, &sizes[i], &offsets[i]);
    EXPECT_EQ(offsets[0], offsets[1]);
    EXPECT_EQ(offsets[0], offsets[2]);
    EXPECT_EQ(sizes[0], 12u + 2 * 1024);
    ExpectLcmsSeesTheSameTags(f.g(), &profile, bytes);

    // The tone curve is the standard's within one code at 16 bits, as Little CMS evaluates it
    // and as our curve stage does.
    LcmsProfile lcms(bytes);
    auto* curve = static_cast<cmsToneCurve*>(cmsReadTag(lcms.p, cmsSigRedTRCTag));
    ASSERT_NE(curve, nullptr);
    CmmObject stage{};
    CmmTagReadCurve(f.g(), &profile, CmmSignature("gTRC"), true, &stage);
    ASSERT_NE(stage.block, nullptr);
    double worstLcms = 0, worstOurs = 0;
    for (uint32_t v = 0; v <= 65535; ++v) {
        const double reference = SrgbDecode(v / 65535.0) * 65535.0;
        worstLcms =
            std::max(worstLcms, std::fabs(cmsEvalToneCurve16(curve, static_cast<cmsUInt16Number>(v)) - reference));
        const float in = static_cast<float>(v * 255.0 / 65535.0);
        float out = 0;
        CmmStageEvaluate(f.g(), &stage, &in, &out);
        worstOurs = std::max(worstOurs, std::fabs(out * 65535.0 / 255.0 - reference));
    }
    EXPECT_LE(worstLcms, 1.0);
    EXPECT_LE(worstOurs, 1.0);
    // Its white lands on the D50 white: the colorants' columns add up to it.
    float sum[3] = {};
    for (uint32_t name : {CmmSignature("rXYZ"), CmmSignature("gXYZ"), CmmSignature("bXYZ")}) {
        float xyz[3];
        ASSERT_TRUE(CmmTagReadXyz(f.g(), &profile, name, xyz));
        for (int i = 0; i < 3; ++i) sum[i] += xyz[i];
    }
    EXPECT_NEAR(sum[0], 0.9642, 2e-4);
    EXPECT_NEAR(sum[1], 1.0, 2e-4);
    EXPECT_NEAR(sum[2], 0.8249, 2e-4);
    char text[80];
    CmmTagReadDescription(&profile, CmmSignature("desc"), text, sizeof text);
    EXPECT_STREQ(text, "sRGB IEC61966-2.1");
    EXPECT_EQ(CmmTagReadSignature(&profile, CmmSignature("tech")), CmmSignature("CRT "));
    CmmObjectRelease(f.g(), &stage);

    // Written out it is the resource again, byte for byte, and so is every later round.
    std::vector<uint8_t> written = WriteProfile(f.g(), &profile);
    EXPECT_EQ(written, bytes);
    CmmObjectRelease(f.g(), &profile);
    OpenProfile(f.g(), &profile, written);
    EXPECT_EQ(WriteProfile(f.g(), &profile), written);
    CmmObjectRelease(f.g(), &profile);
}

TEST(CmmProfile, AssembledProfilesAreReadByLittleCmsAndRoundTrip)
{
    CmmGlobalsFixture f;
    CmmObject profile{};
    CmmProfileNew(f.g(), &profile, 0);
    ASSERT_EQ(CmmProfileHeaderOf(&profile)->size, 132u);
    CmmProfileHeader header{};
    CmmProfileReadHeader(f.g(), &profile, &header);
    EXPECT_EQ(header.magic, CMM_PROFILE_MAGIC);
    header.version = 0x02000000;
    header.deviceClass = CmmSignature("link");
    header.colorSpace = CmmSignature("RGB ");
    header.connectionSpace = CmmSignature("GRAY");
    CmmProfileWriteHeader(f.g(), &profile, &header);

    // A 5-byte tag has 8 bytes of room; setting it again with 5 bytes keeps the image's size.
    const uint8_t sig[12] = {'s', 'i', 'g', ' ', 0, 0, 0, 0, 'C', 'R', 'T', ' '};
    CmmProfileSetTag(f.g(), &profile, CmmSignature("tech"), sizeof sig, sig);
    const uint8_t five[5] = {'x', 'x', 'x', 'x', 1};
    CmmProfileSetTag(f.g(), &profile, CmmSignature("five"), 5, five);
    const uint32_t size = CmmProfileHeaderOf(&profile)->size;
    EXPECT_EQ(size, 132u + 24 + 12 + 8);
    CmmProfileSetTag(f.g(), &profile, CmmSignature("five"), 5, five);
    EXPECT_EQ(CmmProfileHeaderOf(&profile)->size, size);
    uint32_t fiveSize = 0;
    CmmProfileReadTag(f.g(), &profile, CmmSignature("five"), &fiveSize, nullptr);
    EXPECT_EQ(fiveSize, 5u);
    // Growing a tag in the middle moves the ones behind it; shrinking moves them back.
    std::vector<uint8_t> text(40, 'a');
    std::memcpy(text.data(), "text\0\0\0\0", 8);
    text.back() = 0;
    CmmProfileSetTag(f.g(), &profile, CmmSignature("cprt"), static_cast<uint32_t>(text.size()), text.data());
    const uint8_t nine[9] = {'y', 'y', 'y', 'y', 2, 3, 4, 5, 6};
    CmmProfileSetTag(f.g(), &profile, CmmSignature("five"), 9, nine);
    CmmProfileSetTag(f.g(), &profile, CmmSignature("tech"), sizeof sig, sig);
    EXPECT_EQ(f.g()->raised, 0u);

    const std::vector<uint8_t> written = WriteProfile(f.g(), &profile);
    ASSERT_EQ(written.size(), CmmProfileHeaderOf(&profile)->size);
    EXPECT_EQ(LoadBE32(written.data() + 124), 0u);  // reserved bytes stay zero
    CmmObject back{};
    OpenProfile(f.g(), &back, written);
    ASSERT_EQ(f.g()->status, 0u);
    EXPECT_EQ(WriteProfile(f.g(), &back), written);
    ExpectLcmsSeesTheSameTags(f.g(), &back, written);
    uint8_t read[9] = {};
    CmmProfileReadTag(f.g(), &back, CmmSignature("five"), &fiveSize, read);
    EXPECT_EQ(std::memcmp(read, nine, 9), 0);
    CmmObjectRelease(f.g(), &back);
    CmmObjectRelease(f.g(), &profile);
}

TEST(CmmProfile, SharedDataStaysWithTheTagsThatShareIt)
{
    CmmGlobalsFixture f;
    CmmObject profile{};
    OpenProfile(f.g(), &profile, BuiltInProfile());
    uint8_t gamma[14] = {'c', 'u', 'r', 'v', 0, 0, 0, 0, 0, 0, 0, 1, 2, 0x33};
    CmmProfileSetTag(f.g(), &profile, CmmSignature("rTRC"), sizeof gamma, gamma);
    ASSERT_EQ(f.g()->raised, 0u);
    const std::vector<uint8_t> written = WriteProfile(f.g(), &profile);
    LcmsProfile lcms(written);
    ASSERT_NE(lcms.p, nullptr);
    auto* red = static_cast<cmsToneCurve*>(cmsReadTag(lcms.p, cmsSigRedTRCTag));
    auto* green = static_cast<cmsToneCurve*>(cmsReadTag(lcms.p, cmsSigGreenTRCTag));
    ASSERT_NE(red, nullptr);
    ASSERT_NE(green, nullptr);
    EXPECT_NEAR(cmsEstimateGamma(red, 0.01), 2.2, 0.01);
    EXPECT_EQ(cmsGetToneCurveEstimatedTableEntries(green), 1024u);
    CmmObjectRelease(f.g(), &profile);
}

TEST(CmmProfile, AReservedTagLiesBehindTheTableAndIsWrittenLater)
{
    CmmGlobalsFixture f;
    CmmObject profile{};
    CmmProfileNew(f.g(), &profile, 0);
    CmmProfileSetTag(f.g(), &profile, CmmSignature("A2B0"), 30, nullptr);
    uint32_t size = 0, offset = 0;
    CmmProfileFindTag(f.g(), &profile, CmmSignature("A2B0"), &size, &offset, nullptr);
    EXPECT_EQ(size, 30u);
    EXPECT_EQ(offset, 144u);  // right behind the grown table, never inside it
    EXPECT_EQ(CmmProfileHeaderOf(&profile)->size, 144u + 32);
    uint8_t data[30];
    std::memset(data, 0xAA, sizeof data);
    CmmProfileReadTag(f.g(), &profile, CmmSignature("A2B0"), &size, data);
    EXPECT_EQ(data[0], 0);
    // Absent tags have size 0 and copy nothing.
    data[0] = 7;
    CmmProfileReadTag(f.g(), &profile, CmmSignature("none"), &size, data);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(data[0], 7);
    EXPECT_EQ(WriteProfile(f.g(), &profile).size(), 144u);  // the room is the caller's to write
    CmmObjectRelease(f.g(), &profile);
    // A handle without a profile interface answers 7.
    CmmObject empty{};
    EXPECT_EQ(CmmProfileTagCount(f.g(), &empty, &size), 7u);
}

// Damaged profiles fail cleanly with nothing left behind.
TEST(CmmProfile, DamagedProfilesFailToOpen)
{
    const std::vector<uint8_t> good = BuiltInProfile();
    auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        size_t keep;  // bytes of the block handed over (0: all)
        CmmStatus status;
    } cases[] = {
        {"not acsp", 36, CmmSignature("acsq"), 0, CMM_STATUS_NOT_A_PROFILE},
        {"size beyond the block", 0, 3145, 0, CMM_STATUS_NO_DATA},
        {"size below a header", 0, 100, 0, CMM_STATUS_NO_DATA},
        {"block shorter than its size", 0, 3144, 3000, CMM_STATUS_NO_DATA},
        {"block shorter than a header", 0, 3144, 64, CMM_STATUS_NO_DATA},
        {"tag count beyond the profile", 128, 1000, 0, CMM_STATUS_NOT_A_PROFILE},
        {"huge tag count", 128, 0xFFFFFFFF, 0, CMM_STATUS_NOT_A_PROFILE},
        {"tag offset beyond the profile", 132 + 4, 3144, 0, CMM_STATUS_NOT_A_PROFILE},
        {"tag offset in the table", 132 + 4, 20, 0, CMM_STATUS_NOT_A_PROFILE},
        {"tag size beyond the profile", 132 + 8, 0xFFFFFFF0, 0, CMM_STATUS_NOT_A_PROFILE},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = good;
        put32(bytes, c.at, c.value);
        if (c.keep != 0) bytes.resize(c.keep);
        CmmGlobalsFixture f;
        CmmObject profile{};
        OpenProfile(f.g(), &profile, bytes);
        EXPECT_EQ(f.g()->status, c.status) << c.what;
        EXPECT_EQ(profile.block, nullptr) << c.what;
    }
}

TEST(CmmProfile, OpensFromAFileWithItsSizeKnown)
{
    const std::vector<uint8_t> good = BuiltInProfile();
    char path[] = "/tmp/cmm_profile_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, good.data(), 3000), 3000);  // cut short
    close(fd);
    CmmGlobalsFixture f;
    const CmmProfileSource source{nullptr, path, 0, 0, UINT64_MAX};
    CmmObject profile{};
    CmmProfileOpen(f.g(), &profile, &source);
    EXPECT_EQ(f.g()->status, CMM_STATUS_NO_DATA);
    EXPECT_EQ(profile.block, nullptr);
    std::FILE* file = std::fopen(path, "wb");
    std::fwrite(good.data(), 1, good.size(), file);
    std::fclose(file);
    CmmProfileOpen(f.g(), &profile, &source);
    EXPECT_EQ(f.g()->status, 0u);
    EXPECT_EQ(WriteProfile(f.g(), &profile), good);
    CmmObjectRelease(f.g(), &profile);
    std::remove(path);
}

}  // namespace

namespace {

std::vector<uint8_t> Be32(std::initializer_list<uint32_t> values)
{
    std::vector<uint8_t> out;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
    return out;
}

// An mft1 head: inputs, outputs and grid points, the identity matrix; tables follow as given.
std::vector<uint8_t> Lut8Head(uint8_t inputs, uint8_t outputs, uint8_t points)
{
    std::vector<uint8_t> b = Be32({CmmSignature("mft1"), 0});
    b.insert(b.end(), {inputs, outputs, points, 0});
    for (int i = 0; i < 9; ++i) {
        const std::vector<uint8_t> v = Be32({i % 4 == 0 ? 0x10000u : 0u});
        b.insert(b.end(), v.begin(), v.end());
    }
    return b;
}

// Tags whose counts do not fit them, or that ask for more than a grid may hold, are refused.
TEST(CmmTags, DamagedTagsFailWithTheirTypesStatus)
{
    std::vector<uint8_t> fullLut = Lut8Head(3, 3, 2);
    fullLut.resize(fullLut.size() + 256 * 3 + 8 * 3 + 256 * 3, 0x80);
    std::vector<uint8_t> shortLut = fullLut;
    shortLut.pop_back();
    const struct {
        const char* what;
        std::vector<uint8_t> tag;
        int reader;  // 0 curve, 1 lut, 2 xyz
        CmmStatus status;
    } cases[] = {
        {"curve count beyond its tag", Be32({CmmSignature("curv"), 0, 3, 0}), 0, CMM_STATUS_BAD_CURVE},
        {"huge curve count", Be32({CmmSignature("curv"), 0, 0x80000000u}), 0, CMM_STATUS_BAD_CURVE},
        {"not a curve", Be32({CmmSignature("para"), 0, 0}), 0, CMM_STATUS_BAD_CURVE},
        {"lut complete", fullLut, 1, 0},
        {"lut one byte short", shortLut, 1, CMM_STATUS_BAD_LUT},
        {"lut of one grid point", Lut8Head(3, 3, 1), 1, CMM_STATUS_BAD_LUT},
        {"lut grid beyond 64 MB", Lut8Head(8, 15, 255), 1, CMM_STATUS_BAD_LUT},
        {"lut without inputs", Lut8Head(0, 3, 2), 1, CMM_STATUS_BAD_LUT},
        {"not a lut", Be32({CmmSignature("mAB "), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 1, CMM_STATUS_BAD_LUT},
        {"xyz too short", Be32({CmmSignature("XYZ "), 0, 1, 2}), 2, CMM_STATUS_BAD_XYZ},
    };
    for (const auto& c : cases) {
        CmmGlobalsFixture f;
        CmmObject profile{}, stage{};
        CmmProfileNew(f.g(), &profile, 0);
        CmmProfileSetTag(f.g(), &profile, CmmSignature("test"), static_cast<uint32_t>(c.tag.size()), c.tag.data());
        float xyz[3];
        if (c.reader == 0) CmmTagReadCurve(f.g(), &profile, CmmSignature("test"), true, &stage);
        if (c.reader == 1) CmmTagReadLut(f.g(), &profile, CmmSignature("test"), &stage);
        if (c.reader == 2) CmmTagReadXyz(f.g(), &profile, CmmSignature("test"), xyz);
        EXPECT_EQ(f.g()->status, c.status) << c.what;
        EXPECT_EQ(stage.block != nullptr, c.status == 0) << c.what;
        CmmObjectRelease(f.g(), &stage);
        CmmObjectRelease(f.g(), &profile);
    }
}

}  // namespace
