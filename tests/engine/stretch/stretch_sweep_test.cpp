// Every kernel of the table against the plain reference, over sizes, scales, offsets, strides
// of both signs, the four mirrors and the clip sets, with canary bytes around every row and
// sources that end at a guard page.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "engine/stretch/stretch_blt.h"
#include "tests/engine/stretch/stretch_harness.h"

namespace {

using namespace stretch_test;

enum ClipSet { kNoClips, kTouching, kOverlapping, kOutside, kLarger, kPartial, kBeyondBitmap, kClipSets };
const char* const kClipSetNames[kClipSets] = {"none",   "touching", "overlapping",  "outside",
                                              "larger", "partial",  "beyond-bitmap"};

// Mostly small extents, some up to 100 and a few larger.
int PickSize(std::mt19937& rng, int small = 24)
{
    const unsigned roll = rng() % 100;
    if (roll < 70) return 1 + int(rng() % small);
    if (roll < 95) return 1 + int(rng() % 100);
    return 101 + int(rng() % 300);
}

// A destination extent of the given class against a source extent.
void PickExtents(std::mt19937& rng, int scale, int& source, int& dest, int small)
{
    switch (scale) {
        case 0: source = dest = PickSize(rng, small); break;
        case 1:
            source = PickSize(rng, small);
            dest = (rng() % 2) ? source + PickSize(rng, small) : source * int(2 + rng() % 3);
            break;
        default:
            dest = PickSize(rng, small);
            source = (rng() % 2) ? dest + PickSize(rng, small) : dest * int(2 + rng() % 3);
            break;
    }
}

RECT Rect(int64_t l, int64_t t, int64_t r, int64_t b) { return RECT{int32_t(l), int32_t(t), int32_t(r), int32_t(b)}; }

int RandomIn(std::mt19937& rng, int lo, int hi)
{  // inclusive
    return lo + int(rng() % unsigned(hi - lo + 1));
}

struct KernelCase {
    int block, group, member;
};

std::string KernelName(int index)
{
    return std::string("RasterStretch") + kBlockNames[index / 102] + kGroups[(index / 6) % 17].name +
           kMemberSuffixes[index % 6];
}

// A destination span fixed in place of the random one (equal source and destination widths):
// its first column and, when sourceX >= 0, the source column it starts from.
struct Placement {
    int left;
    int width;
    int sourceX;
};

// One blit of kernel `index` through RasterStretchBlt, checked byte for byte against the reference.
void RunCase(int index, int clipSet, int yScale, bool mirrorY, std::mt19937& rng, const Placement* fixed = nullptr)
{
    const int block = index / 102;
    const GroupInfo& group = kGroups[(index / 6) % 17];
    const int member = index % 6;
    const int xScale = member / 2;
    const bool mirrorX = member % 2;

    int sw, w, sh, h;
    PickExtents(rng, xScale, sw, w, 24);
    PickExtents(rng, yScale, sh, h, 12);
    while (int64_t(w) * h > 30000 && h > 1) h = std::max(1, h / 2), sh = yScale == 0 ? h : sh;
    if (yScale == 0) sh = h;
    if (yScale == 1 && h <= sh) h = sh + 1;
    if (yScale == 2 && h >= sh) sh = h + 1;
    if (fixed) sw = w = fixed->width;

    int sx = group.sourceBpp < 8 ? RandomIn(rng, 0, 70) : RandomIn(rng, 0, 9);
    if (fixed && fixed->sourceX >= 0) sx = fixed->sourceX;
    const int sy = RandomIn(rng, 0, 3);
    const bool negativeHeight = rng() % 4 == 0;
    SourceImage source(group.sourceBpp, sx, sy, sw, negativeHeight ? -sh : sh, RandomIn(rng, 0, 3), rng() % 2, rng);
    // A palette on a source of more than 8 bits is ignored: such sources always go direct.
    if (group.palette || (group.sourceBpp > 8 && rng() % 3 == 0)) {
        source.bitmap.palette = source.palette.data();
    }

    // The destination bitmap leaves a margin around R, except when R is to reach beyond it.
    const int64_t left = fixed ? fixed->left : RandomIn(rng, 8, 45);
    const int64_t top = RandomIn(rng, 8, 12);
    int destWidth = int(left + w + RandomIn(rng, 8, 40));
    int destHeight = int(top + h + RandomIn(rng, 8, 10));
    if (clipSet == kBeyondBitmap) {
        destWidth = int(left + std::max(1, w - RandomIn(rng, 0, w)));
        destHeight = int(top + std::max(1, h - RandomIn(rng, 0, h)));
    }
    DestImage dest(group.destBpp, destWidth, destHeight, rng() % 2, rng);

    const RECT normal = Rect(left, top, left + w, top + h);
    std::vector<RECT> clips;
    int count = 0;
    auto inside = [&](int64_t l, int64_t t, int64_t r, int64_t b) {
        return Rect(std::clamp<int64_t>(l, 0, destWidth), std::clamp<int64_t>(t, 0, destHeight),
                    std::clamp<int64_t>(r, 0, destWidth), std::clamp<int64_t>(b, 0, destHeight));
    };
    auto sub = [&]() {
        const int64_t l = left + RandomIn(rng, 0, w - 1);
        const int64_t t = top + RandomIn(rng, 0, h - 1);
        return Rect(l, t, l + RandomIn(rng, 1, int(left + w - l)), t + RandomIn(rng, 1, int(top + h - t)));
    };
    switch (clipSet) {
        case kNoClips:
            clips.push_back(normal);
            count = (rng() % 2) ? 0 : -1;
            break;
        case kTouching:
            clips = {Rect(left + w, top, left + w + 5, top + h), Rect(left, top - 3, left + w, top),
                     Rect(left - 4, top, left, top + h), Rect(left, top + h, left + w, top + h + 2)};
            count = 4;
            break;
        case kOverlapping:
            clips = {sub(), sub(), sub()};
            count = 3;
            break;
        case kOutside:
            clips = {Rect(0, 0, left, top), inside(left + w, top + h, left + w + 30, top + h + 5)};
            count = 2;
            break;
        case kLarger:
            clips = {inside(left - RandomIn(rng, 1, 8), top - RandomIn(rng, 1, 8), left + w + RandomIn(rng, 1, 8),
                            top + h + RandomIn(rng, 1, 8))};
            count = 1;
            break;
        case kPartial:
            clips = {sub(), Rect(left, top, left + RandomIn(rng, 1, w), top + h)};
            count = 2;
            break;
        default:
            clips = {Rect(0, 0, destWidth, destHeight)};
            count = 1;
            break;
    }

    RasterRop3 rop = block == 0 ? 0xCC : block == 1 ? 0x33 : block == 2 ? 0xEE : 0;
    if (block == 3) {
        static const RasterRop3 kRops[] = {0x66, 0x88, 0x66, 0x88, 0x00, 0xB8, 0xE2, 0x1CC, 0x166};
        rop = kRops[rng() % std::size(kRops)];
    }

    RECT given = normal;
    if (mirrorX) std::swap(given.left, given.right);
    if (mirrorY) std::swap(given.top, given.bottom);

    std::ostringstream what;
    what << KernelName(index) << " source " << sw << "x" << source.bitmap.height << " at (" << sx << "," << sy
         << ") stride " << source.bitmap.stride << " onto " << w << "x" << h << " at (" << left << "," << top
         << ") stride " << dest.bitmap.stride << " mirror " << mirrorX << mirrorY << " clips " << kClipSetNames[clipSet]
         << " rop 0x" << std::hex << rop;
    SCOPED_TRACE(what.str());

    ASSERT_EQ(StretchKernelSelect(&dest.bitmap, &source.bitmap, &normal, rop, mirrorX), index);

    std::vector<uint8_t> expected = dest.bytes;
    BltBitmap expectedBitmap = dest.bitmap;
    expectedBitmap.bits = expected.data() + (static_cast<uint8_t*>(dest.bitmap.bits) - dest.bytes.data());
    ReferenceStretch(expectedBitmap, source.bitmap, given, clips.data(), count, rop);

    RECT passed = given;
    RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &passed, clips.data(), count, rop, 0);
    EXPECT_EQ(passed.left, given.left);
    EXPECT_EQ(passed.top, given.top);
    EXPECT_EQ(passed.right, given.right);
    EXPECT_EQ(passed.bottom, given.bottom);

    if (dest.bytes != expected) {
        const auto at = std::mismatch(dest.bytes.begin(), dest.bytes.end(), expected.begin());
        const int64_t offset = at.first - dest.bytes.begin();
        const int64_t rowBytes = std::llabs(int64_t(dest.bitmap.stride));
        ADD_FAILURE() << "first different byte " << offset << " (memory row " << offset / rowBytes << ", byte "
                      << offset % rowBytes << "): got " << int(*at.first) << ", want " << int(*at.second);
    }
}

class StretchKernelSweep : public ::testing::TestWithParam<int> {};

// One parameter per block and format group; the six members run inside.
TEST_P(StretchKernelSweep, MatchesNearestPixelReference)
{
    const int blockGroup = GetParam();
    for (int member = 0; member < kStretchMemberCount; ++member) {
        const int index = blockGroup * kStretchMemberCount + member;
        std::mt19937 rng(1000 + index);
        for (int clipSet = 0; clipSet < kClipSets; ++clipSet) {
            for (int yScale = 0; yScale < 3; ++yScale) {
                // Every clip set and scale with and without the y-mirror across the fixed cases.
                RunCase(index, clipSet, yScale, (clipSet * 3 + yScale) % 2, rng);
                if (HasFailure()) return;
            }
        }
        // Spans that start at destination column 0, where a kernel's first word is the row's first:
        // the one-to-one span from source column 5, and the mirrored one over columns 0 to 31.
        if (member / 2 == 0) {
            const Placement placement = member % 2 ? Placement{0, 32, -1} : Placement{0, 19, 5};
            for (int clipSet : {kNoClips, kOverlapping, kLarger, kBeyondBitmap}) {
                RunCase(index, clipSet, int(rng() % 3), rng() % 2, rng, &placement);
                if (HasFailure()) return;
            }
        }
        for (int extra = 0; extra < 6; ++extra) {
            RunCase(index, int(rng() % kClipSets), int(rng() % 3), rng() % 2, rng);
            if (HasFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, StretchKernelSweep, ::testing::Range(0, kStretchBlockCount* kStretchGroupCount),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(kBlockNames[info.param / 17]) + kGroups[info.param % 17].name;
                         });

}  // namespace
