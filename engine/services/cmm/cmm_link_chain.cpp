// The stages of a link: each profile's side towards or away from the connection space, the
// conversions between connection spaces, white-point stages for absolute colorimetry, and black
// preservation towards CMYK. This is the only place that orders stages.
#include <initializer_list>

#include "engine/common/byte_order.h"
#include "engine/services/cmm/cmm_link.h"
#include "engine/services/cmm/cmm_tags.h"

namespace {

constexpr uint32_t kLink = CmmSignature("link");
constexpr uint32_t kSpac = CmmSignature("spac");
constexpr uint32_t kRgb = CmmSignature("RGB ");
constexpr uint32_t kGray = CmmSignature("GRAY");
constexpr uint32_t kCmyk = CmmSignature("CMYK");
constexpr uint32_t kLab = CmmSignature("Lab ");
constexpr uint32_t kXyz = CmmSignature("XYZ ");

// The D50 white at half scale, the row sums of a normalised colorant matrix.
constexpr float kHalfWhite[3] = {0.4821f, 0.5f, 0.41245f};

struct Chain {
    CmmGlobals* g;
    CmmObject* group;
    uint32_t space;  // the colour space at the chain's end
};

void Append(Chain& c, CmmObject* stage) { CmmGroupStageAppend(c.g, c.group, stage); }

const CmmProfileHeader& HeaderOf(CmmObject* profile) { return *CmmProfileHeaderOf(profile); }

bool Has(CmmObject* profile, uint32_t signature)
{
    uint32_t size = 0;
    return CmmTagBytes(profile, signature, &size) != nullptr;
}

// The table for an intent ("A2B" or "B2A" and the digit), or the intent-0 table when absent.
uint32_t TableFor(CmmObject* profile, const char (&prefix)[5], uint32_t intent)
{
    const uint32_t base = CmmSignature(prefix) & 0xFFFFFF00u;
    const uint32_t wanted = base | (intent == 2 ? '2' : intent == 1 || intent == 3 ? '1' : '0');
    return Has(profile, wanted) ? wanted : base | '0';
}

void ConvertTo(Chain& c, uint32_t target)
{
    if (CmmFailed(c.g) || c.space == target) return;
    CmmObject stage{};
    if (c.space == kXyz && target == kLab) CmmXyzToLabStageCreate(c.g, &stage, nullptr);
    else if (c.space == kLab && target == kXyz) CmmLabToXyzStageCreate(c.g, &stage, nullptr);
    else {
        CmmRaise(c.g, CMM_STATUS_SPACES_DIFFER);
        return;
    }
    Append(c, &stage);
    c.space = target;
}

// A lookup table; "mft2" tables keep Lab in the 16-bit encoding whose L 100 is 65280.
void AddLut(Chain& c, CmmObject* profile, uint32_t signature, bool towardsPcs)
{
    uint32_t size = 0;
    const uint8_t* bytes = CmmTagBytes(profile, signature, &size);
    const bool lab16 = bytes != nullptr && size >= 4 && LoadBE32(bytes) == CmmSignature("mft2") &&
                       HeaderOf(profile).connectionSpace == kLab;
    CmmObject stage{};
    if (lab16 && !towardsPcs) {
        CmmLabEncodingStageCreate(c.g, &stage, false);
        Append(c, &stage);
    }
    CmmTagReadLut(c.g, profile, signature, &stage);
    Append(c, &stage);
    if (lab16 && towardsPcs) {
        CmmLabEncodingStageCreate(c.g, &stage, true);
        Append(c, &stage);
    }
}

void AddRgbCurves(Chain& c, CmmObject* profile, bool towardsPcs)
{
    CmmObject group{}, curve{};
    CmmGroupStageCreate(c.g, &group, true, 3, 3);
    for (const uint32_t signature : {CmmSignature("rTRC"), CmmSignature("gTRC"), CmmSignature("bTRC")}) {
        CmmTagReadCurve(c.g, profile, signature, towardsPcs, &curve);
        CmmGroupStageAppend(c.g, &group, &curve);
    }
    Append(c, &group);
}

// The colorants as columns, each row scaled to the half-scale D50 white.
void AddRgbMatrix(Chain& c, CmmObject* profile, bool inverse)
{
    float columns[3][3];
    const uint32_t names[3] = {CmmSignature("rXYZ"), CmmSignature("gXYZ"), CmmSignature("bXYZ")};
    for (int col = 0; col < 3; ++col)
        if (!CmmTagReadXyz(c.g, profile, names[col], columns[col])) {
            if (!CmmFailed(c.g)) CmmRaise(c.g, CMM_STATUS_BAD_XYZ);
            return;
        }
    float m[9];
    for (int r = 0; r < 3; ++r) {
        const float sum = columns[0][r] + columns[1][r] + columns[2][r];
        for (int col = 0; col < 3; ++col) m[r * 3 + col] = sum != 0 ? columns[col][r] * kHalfWhite[r] / sum : 0.0f;
    }
    CmmObject stage{};
    CmmMatrixStageCreate(c.g, &stage, 3, 3, m);
    if (inverse) CmmMatrixStageInvert(c.g, &stage);
    Append(c, &stage);
}

void GrayToLab(CmmGlobals*, const void*, const float* in, float* out)
{
    out[0] = in[0];
    out[1] = out[2] = 128.0f;
}

void AddWhite(Chain& c, CmmObject* profile, bool inverse)
{
    float white[3];
    if (!CmmTagReadXyz(c.g, profile, CmmSignature("wtpt"), white)) return;
    ConvertTo(c, kXyz);
    const CmmWhite media{white[0] * 127.5f, white[1] * 127.5f, white[2] * 127.5f};
    CmmObject stage{};
    CmmWhiteScaleStageCreate(c.g, &stage, &media, inverse);
    Append(c, &stage);
}

void SourceSide(Chain& c, CmmObject* profile, uint32_t intent)
{
    const CmmProfileHeader& h = HeaderOf(profile);
    const uint32_t table = h.deviceClass == kLink ? CmmSignature("A2B0") : TableFor(profile, "A2B0", intent);
    CmmObject stage{};
    if (Has(profile, table)) {
        AddLut(c, profile, table, true);
        c.space = h.connectionSpace;
    } else if (h.colorSpace == kRgb) {
        AddRgbCurves(c, profile, true);
        AddRgbMatrix(c, profile, false);
        c.space = kXyz;
    } else if (h.colorSpace == kGray) {
        CmmTagReadCurve(c.g, profile, CmmSignature("kTRC"), true, &stage);
        Append(c, &stage);
        if (h.connectionSpace == kLab) {
            CmmFunctionStageCreate(c.g, &stage, GrayToLab, 1, 3, nullptr, 0, nullptr);
            c.space = kLab;
        } else {
            CmmMatrixStageCreate(c.g, &stage, 1, 3, kHalfWhite);
            c.space = kXyz;
        }
        Append(c, &stage);
    } else {
        CmmRaise(c.g, CMM_STATUS_BAD_LUT);
        return;
    }
    if (intent == 3 && h.deviceClass != kLink) AddWhite(c, profile, false);
}

void DestinationSide(Chain& c, CmmObject* profile, uint32_t intent)
{
    const CmmProfileHeader& h = HeaderOf(profile);
    if (intent == 3) AddWhite(c, profile, true);
    const uint32_t table = TableFor(profile, "B2A0", intent);
    CmmObject stage{};
    if (Has(profile, table)) {
        ConvertTo(c, h.connectionSpace);
        AddLut(c, profile, table, false);
    } else if (h.colorSpace == kRgb) {
        ConvertTo(c, kXyz);
        AddRgbMatrix(c, profile, true);
        AddRgbCurves(c, profile, false);
    } else if (h.colorSpace == kGray) {
        // Y to 0..255 for an XYZ connection, L as it is for Lab.
        ConvertTo(c, h.connectionSpace == kLab ? kLab : kXyz);
        const float pickY[3] = {0, 2, 0}, pickL[3] = {1, 0, 0};
        CmmMatrixStageCreate(c.g, &stage, 3, 1, h.connectionSpace == kLab ? pickL : pickY);
        Append(c, &stage);
        CmmTagReadCurve(c.g, profile, CmmSignature("kTRC"), false, &stage);
        Append(c, &stage);
    } else {
        CmmRaise(c.g, CMM_STATUS_BAD_LUT);
        return;
    }
    c.space = h.colorSpace;
}

// The destination's own colours back to Lab: what the black search measures lightness with.
void LightnessChain(CmmGlobals* g, CmmObject* destination, CmmObject* chain)
{
    CmmGroupStageCreate(g, chain, false, 4, 3);
    Chain c{g, chain, kCmyk};
    const uint32_t table = TableFor(destination, "A2B0", 1);
    if (!Has(destination, table)) {
        CmmRaise(g, CMM_STATUS_BAD_LUT);
        return;
    }
    AddLut(c, destination, table, true);
    c.space = HeaderOf(destination).connectionSpace;
    ConvertTo(c, kLab);
}

}  // namespace

uint32_t CmmSpaceChannels(uint32_t space)
{
    switch (space) {
        case CmmSignature("GRAY"):
        case CmmSignature("1CLR"): return 1;
        case CmmSignature("2CLR"): return 2;
        case CmmSignature("CMYK"):
        case CmmSignature("4CLR"): return 4;
        case CmmSignature("5CLR"): return 5;
        case CmmSignature("MCH6"):
        case CmmSignature("6CLR"): return 6;
        case CmmSignature("7CLR"): return 7;
        case CmmSignature("8CLR"): return 8;
        case CmmSignature("9CLR"): return 9;
        case CmmSignature("SPTR"): return 36;
        default: break;
    }
    if (space >= 0x3A434C52 && space <= 0x3F434C52 && (space & 0x00FFFFFF) == 0x434C52)
        return 10 + ((space >> 24) - 0x3A);
    return 3;
}

void CmmLinkChain(CmmGlobals* g, CmmObject* chain, uint32_t count, CmmObject* profiles, uint32_t intentCount,
                  const uint32_t* intents, uint32_t options, uint32_t* lastIntent)
{
    CmmObjectInit(chain, CMM_TYPE_STAGE_GROUP);
    if (CmmFailed(g)) return;
    if (count == 0 || profiles == nullptr) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    const CmmProfileHeader& first = HeaderOf(&profiles[0]);
    const CmmProfileHeader& last = HeaderOf(&profiles[count - 1]);
    const uint32_t outputSpace = count > 1 ? last.colorSpace : first.connectionSpace;
    CmmGroupStageCreate(g, chain, false, CmmSpaceChannels(first.colorSpace), CmmSpaceChannels(outputSpace));
    Chain c{g, chain, first.colorSpace};
    const uint32_t steps = count > 1 ? count - 1 : 1;
    for (uint32_t s = 0; s < steps && !CmmFailed(g); ++s) {
        uint32_t intent = s < intentCount && intents != nullptr ? intents[s] : CMM_INTENT_FROM_HEADER;
        if (intent == CMM_INTENT_FROM_HEADER) intent = first.intent;
        if (lastIntent != nullptr) *lastIntent = intent;
        CmmObject* source = &profiles[s];
        CmmObject* destination = count > 1 ? &profiles[s + 1] : nullptr;
        const CmmProfileHeader& sh = HeaderOf(source);
        if (s > 0 && c.space != sh.colorSpace) {
            if (sh.deviceClass == kSpac && (sh.colorSpace == kLab || sh.colorSpace == kXyz))
                ConvertTo(c, sh.colorSpace);
            else CmmRaise(g, CMM_STATUS_SPACES_DIFFER);
        }
        const bool black = (options & CMM_LINK_BLACK_PRESERVATION) != 0 && destination != nullptr &&
                           HeaderOf(destination).colorSpace == kCmyk;
        const bool cmykSource = sh.colorSpace == kCmyk;
        CmmObject stage{};
        if (black && cmykSource) {
            CmmFanOutStageCreate(g, &stage, 4, 2);
            Append(c, &stage);
        }
        SourceSide(c, source, intent);
        if (destination != nullptr) {
            if (black && !cmykSource) {
                ConvertTo(c, kLab);
                CmmFanOutStageCreate(g, &stage, 3, 2);
                Append(c, &stage);
            }
            DestinationSide(c, destination, intent);
            if (black) {
                CmmObject lightness{};
                LightnessChain(g, destination, &lightness);
                CmmBlackStageCreate(g, &stage, &lightness, cmykSource ? 4 : 3,
                                    cmykSource ? CMM_BLACK_CMYK_SOURCE : CMM_BLACK_OTHER_SOURCE);
                Append(c, &stage);
            }
        }
        options &= ~CMM_LINK_BLACK_PRESERVATION;
    }
    if (CmmFailed(g)) CmmObjectRelease(g, chain);
}
