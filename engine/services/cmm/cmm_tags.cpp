// Tag readers. Tags are read from the profile's image with big-endian loads; the open already
// checked that every tag lies inside the profile, and each reader checks its own counts.
#include "engine/services/cmm/cmm_tags.h"

#include <algorithm>
#include <new>
#include <vector>

#include "engine/common/byte_order.h"

namespace {

constexpr uint32_t kTypeXyz = CmmSignature("XYZ ");
constexpr uint32_t kTypeCurve = CmmSignature("curv");
constexpr uint32_t kTypeLut8 = CmmSignature("mft1");
constexpr uint32_t kTypeLut16 = CmmSignature("mft2");
constexpr uint32_t kTypeDescription = CmmSignature("desc");
constexpr uint32_t kTypeSignature = CmmSignature("sig ");

float Fixed(const uint8_t* p) { return static_cast<float>(static_cast<int32_t>(LoadBE32(p))) / 65536.0f; }

// Makes room for a tag's values; running out of memory is the colour system's own failure.
bool Sized(CmmGlobals* g, std::vector<uint16_t>& values, size_t count)
{
    try {
        values.resize(count);
    } catch (const std::bad_alloc&) {
        CmmRaise(g, CMM_STATUS_NO_MEMORY);
        return false;
    }
    return true;
}

// Channel-major tables of the tag (count of them, entries each) as a curve stage's interleaved
// entries.
void TablesToCurves(CmmGlobals* g, const uint8_t* p, uint32_t count, uint32_t entries, uint32_t bytes, CmmObject* stage)
{
    std::vector<uint16_t> interleaved;
    if (!Sized(g, interleaved, size_t{count} * entries)) return;
    for (uint32_t c = 0; c < count; ++c)
        for (uint32_t k = 0; k < entries; ++k) {
            const uint8_t* at = p + (size_t{c} * entries + k) * bytes;
            interleaved[size_t{k} * count + c] = bytes == 1 ? static_cast<uint16_t>(*at * 257) : LoadBE16(at);
        }
    const CmmArray values{count, entries, CMM_ELEMENT_U16, 0, interleaved.data()};
    CmmCurvesStageCreate(g, stage, count, entries, CMM_CURVE_FORWARD, &values);
}

}  // namespace

const uint8_t* CmmTagBytes(CmmObject* profile, uint32_t signature, uint32_t* size)
{
    uint32_t tagSize = 0, offset = 0;
    const CmmTagEntry* entry = nullptr;
    *size = 0;
    if (CmmProfileFindTag(nullptr, profile, signature, &tagSize, &offset, &entry) != 0 || entry == nullptr)
        return nullptr;
    const uint64_t image = CmmProfileImageSize(profile);
    if (uint64_t{offset} + tagSize > image) return nullptr;
    *size = tagSize;
    return CmmProfileImageOf(profile) + offset;
}

bool CmmTagReadXyz(CmmGlobals* g, CmmObject* profile, uint32_t signature, float xyz[3])
{
    uint32_t size = 0;
    const uint8_t* p = CmmTagBytes(profile, signature, &size);
    if (p == nullptr) return false;
    if (size < 20 || LoadBE32(p) != kTypeXyz) {
        CmmRaise(g, CMM_STATUS_BAD_XYZ);
        return false;
    }
    for (int i = 0; i < 3; ++i) xyz[i] = Fixed(p + 8 + 4 * i);
    return true;
}

void CmmTagReadCurve(CmmGlobals* g, CmmObject* profile, uint32_t signature, bool towardsPcs, CmmObject* stage)
{
    CmmObjectInit(stage, CMM_TYPE_STAGE_CURVES);
    if (CmmFailed(g)) return;
    uint32_t size = 0;
    const uint8_t* p = CmmTagBytes(profile, signature, &size);
    if (p == nullptr || size < 12 || LoadBE32(p) != kTypeCurve || (size - 12) / 2 < LoadBE32(p + 8)) {
        CmmRaise(g, CMM_STATUS_BAD_CURVE);
        return;
    }
    const uint32_t count = LoadBE32(p + 8);
    if (count == 0) {
        CmmCurvesStageCreate(g, stage, 1, 2, towardsPcs ? CMM_CURVE_FORWARD : CMM_CURVE_INVERSE, nullptr);
    } else if (count == 1) {
        float gamma = static_cast<float>(LoadBE16(p + 12)) / 256.0f;  // u8Fixed8
        const CmmArray values{1, 1, CMM_ELEMENT_FLOAT, 0, &gamma};
        CmmCurvesStageCreate(g, stage, 1, 1, towardsPcs ? CMM_CURVE_POWER : CMM_CURVE_POWER_INVERSE, &values);
    } else {
        TablesToCurves(g, p + 12, 1, count, 2, stage);
        if (!towardsPcs) CmmCurvesStageReverse(stage);
    }
}

void CmmTagReadLut(CmmGlobals* g, CmmObject* profile, uint32_t signature, CmmObject* group)
{
    CmmObjectInit(group, CMM_TYPE_STAGE_GROUP);
    if (CmmFailed(g)) return;
    uint32_t size = 0;
    const uint8_t* p = CmmTagBytes(profile, signature, &size);
    const uint32_t type = p != nullptr && size >= 48 ? LoadBE32(p) : 0;
    if (type != kTypeLut8 && (type != kTypeLut16 || size < 52)) {
        CmmRaise(g, CMM_STATUS_BAD_LUT);
        return;
    }
    const uint32_t inputs = p[8], outputs = p[9], points = p[10];
    const uint32_t bytes = type == kTypeLut8 ? 1 : 2;
    const uint32_t inEntries = bytes == 1 ? 256 : LoadBE16(p + 48);
    const uint32_t outEntries = bytes == 1 ? 256 : LoadBE16(p + 50);
    uint64_t nodes = 1;
    for (uint32_t i = 0; i < inputs && nodes <= CMM_MAX_GRID_BYTES; ++i) nodes *= points;
    const uint64_t tables = bytes == 1 ? 48 : 52;
    const uint64_t need =
        tables + (uint64_t{inEntries} * inputs + nodes * outputs + uint64_t{outEntries} * outputs) * bytes;
    if (inputs < 1 || inputs > CMM_MAX_GRID_INPUTS || outputs < 1 || outputs > CMM_MAX_GRID_INPUTS || points < 2 ||
        inEntries < 2 || outEntries < 2 || nodes * outputs * sizeof(float) > CMM_MAX_GRID_BYTES || need > size) {
        CmmRaise(g, CMM_STATUS_BAD_LUT);
        return;
    }
    CmmGroupStageCreate(g, group, false, inputs, outputs);
    float matrix[9];
    bool identity = true;
    for (int i = 0; i < 9; ++i) {
        matrix[i] = Fixed(p + 12 + 4 * i);
        identity = identity && matrix[i] == (i % 4 == 0 ? 1.0f : 0.0f);
    }
    CmmObject stage{};
    if (inputs == 3 && !identity) {
        CmmMatrixStageCreate(g, &stage, 3, 3, matrix);
        CmmGroupStageAppend(g, group, &stage);
    }
    const uint8_t* at = p + tables;
    TablesToCurves(g, at, inputs, inEntries, bytes, &stage);
    CmmGroupStageAppend(g, group, &stage);
    at += uint64_t{inEntries} * inputs * bytes;
    std::vector<uint16_t> grid;
    if (!Sized(g, grid, nodes * outputs)) {
        CmmObjectRelease(g, group);
        return;
    }
    // 8-bit entries widened (x 257) keep their value on the 0..255 scale.
    for (size_t i = 0; i < grid.size(); ++i)
        grid[i] = bytes == 1 ? static_cast<uint16_t>(at[i] * 257) : LoadBE16(at + 2 * i);
    const CmmArray values{outputs, static_cast<uint32_t>(nodes), CMM_ELEMENT_U16, 0, grid.data()};
    uint32_t gridPoints[CMM_MAX_GRID_INPUTS];
    for (uint32_t i = 0; i < inputs; ++i) gridPoints[i] = points;
    CmmGridStageCreate(g, &stage, inputs, outputs, gridPoints, &values, nullptr);
    CmmGroupStageAppend(g, group, &stage);
    at += nodes * outputs * bytes;
    TablesToCurves(g, at, outputs, outEntries, bytes, &stage);
    CmmGroupStageAppend(g, group, &stage);
    if (CmmFailed(g)) CmmObjectRelease(g, group);
}

void CmmTagReadDescription(CmmObject* profile, uint32_t signature, char* text, uint32_t capacity)
{
    if (capacity == 0) return;
    text[0] = '\0';
    uint32_t size = 0;
    const uint8_t* p = CmmTagBytes(profile, signature, &size);
    if (p == nullptr || size < 12 || LoadBE32(p) != kTypeDescription) return;
    const uint64_t count = std::min<uint64_t>(LoadBE32(p + 8), size - 12);
    uint32_t n = 0;
    for (; n < count && n + 1 < capacity && p[12 + n] != 0; ++n) text[n] = static_cast<char>(p[12 + n]);
    text[n] = '\0';
}

uint32_t CmmTagReadSignature(CmmObject* profile, uint32_t signature)
{
    uint32_t size = 0;
    const uint8_t* p = CmmTagBytes(profile, signature, &size);
    return p != nullptr && size >= 12 && LoadBE32(p) == kTypeSignature ? LoadBE32(p + 8) : 0;
}
