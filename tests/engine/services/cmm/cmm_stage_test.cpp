// Stages against plain reference formulas written here.
#include <cmath>
#include <random>

#include "engine/services/cmm/cmm_stage.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

namespace {

std::vector<float> Eval(CmmGlobals* g, CmmObject* stage, std::vector<float> in)
{
    std::vector<float> out(CmmObjectOutputs(stage));
    CmmStageEvaluate(g, stage, in.data(), out.data());
    return out;
}

TEST(CmmCurves, ForwardInverseAndPowerCurves)
{
    CmmGlobalsFixture f;
    CmmObject identity{}, ramp{}, sampled{}, power{};
    CmmCurvesStageCreate(f.g(), &identity, 1, 256, CMM_CURVE_FORWARD, nullptr);
    EXPECT_FLOAT_EQ(Eval(f.g(), &identity, {100.0f})[0], 100.0f);
    const float ends[2] = {0, 255};
    const CmmArray two{1, 2, CMM_ELEMENT_FLOAT, 0, const_cast<float*>(ends)};
    CmmCurvesStageCreate(f.g(), &ramp, 1, 2, CMM_CURVE_FORWARD, &two);
    EXPECT_FLOAT_EQ(Eval(f.g(), &ramp, {63.75f})[0], 63.75f);
    EXPECT_FLOAT_EQ(Eval(f.g(), &ramp, {300.0f})[0], 255.0f);
    EXPECT_FLOAT_EQ(Eval(f.g(), &ramp, {-5.0f})[0], 0.0f);

    // A sampled curve against linear interpolation of x^2, and back through the inverse.
    std::vector<uint16_t> table(33);
    for (size_t k = 0; k < table.size(); ++k)
        table[k] = static_cast<uint16_t>(std::lround(std::pow(k / 32.0, 2.0) * 65535));
    const CmmArray values{1, 33, CMM_ELEMENT_U16, 0, table.data()};
    CmmCurvesStageCreate(f.g(), &sampled, 1, 33, CMM_CURVE_FORWARD, &values);
    for (float x = 0; x <= 255; x += 0.37f) {
        const float t = 32 * x / 255;
        const auto k = std::min<uint32_t>(static_cast<uint32_t>(t), 31);
        const float a = table[k] * 255.0f / 65535, b = table[k + 1] * 255.0f / 65535;
        const float expected = a + (b - a) * (t - k);
        const float y = Eval(f.g(), &sampled, {x})[0];
        ASSERT_NEAR(y, expected, 1e-3) << x;
        CmmCurvesStageReverse(&sampled);
        ASSERT_NEAR(Eval(f.g(), &sampled, {y})[0], x, 0.05) << x;
        CmmCurvesStageReverse(&sampled);
    }
    float gamma = 2.2f;
    const CmmArray g1{1, 1, CMM_ELEMENT_FLOAT, 0, &gamma};
    CmmCurvesStageCreate(f.g(), &power, 1, 1, CMM_CURVE_POWER, &g1);
    EXPECT_NEAR(Eval(f.g(), &power, {127.5f})[0], std::pow(0.5, 2.2) * 255, 1e-3);
    CmmCurvesStageReverse(&power);
    EXPECT_NEAR(Eval(f.g(), &power, {127.5f})[0], std::pow(0.5, 1 / 2.2) * 255, 1e-3);
    for (CmmObject* o : {&identity, &ramp, &sampled, &power}) CmmObjectRelease(f.g(), o);
    EXPECT_EQ(f.g()->raised, 0u);
}

TEST(CmmMatrix, ProductsAndInversion)
{
    CmmGlobalsFixture f;
    const float m[6] = {1, 2, 3, 4, 5, 6};  // 2 outputs x 3 inputs
    CmmObject wide{}, square{}, singular{};
    CmmMatrixStageCreate(f.g(), &wide, 3, 2, m);
    EXPECT_EQ(Eval(f.g(), &wide, {1, 10, 100}), (std::vector<float>{321, 654}));
    const float a[9] = {2, 0, 1, 1, 3, 0, 0, 1, 4};
    CmmMatrixStageCreate(f.g(), &square, 3, 3, a);
    const std::vector<float> x = {10, 20, 30};
    const std::vector<float> y = Eval(f.g(), &square, x);
    CmmMatrixStageInvert(f.g(), &square);
    const std::vector<float> back = Eval(f.g(), &square, y);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], x[i], 1e-4);
    const float ones[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
    CmmMatrixStageCreate(f.g(), &singular, 3, 3, ones);
    CmmMatrixStageInvert(f.g(), &singular);
    EXPECT_EQ(f.g()->status, CMM_STATUS_SINGULAR);
    f.g()->raised = 0;
    EXPECT_EQ(Eval(f.g(), &singular, {1, 2, 3}), (std::vector<float>{6, 6, 6}));
    for (CmmObject* o : {&wide, &square, &singular}) CmmObjectRelease(f.g(), o);
}

// The simplex rule, written plainly: sort the fractions, walk from the cell's origin corner.
std::vector<float> SimplexReference(const std::vector<float>& nodes, const std::vector<uint32_t>& points,
                                    uint32_t outputs, const std::vector<float>& in)
{
    const size_t n = points.size();
    std::vector<size_t> stride(n);
    size_t s = outputs;
    for (size_t i = n; i-- > 0;) {
        stride[i] = s;
        s *= points[i];
    }
    std::vector<std::pair<float, size_t>> fr;
    std::vector<size_t> idx(n);
    for (size_t i = 0; i < n; ++i) {
        const float t = (points[i] - 1) * std::clamp(in[i], 0.0f, 255.0f) / 255.0f;
        idx[i] = std::min<size_t>(static_cast<size_t>(t), points[i] - 2);
        fr.push_back({t - idx[i], i});
    }
    std::stable_sort(fr.begin(), fr.end(), [](auto& a, auto& b) { return a.first > b.first; });
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) at += idx[i] * stride[i];
    std::vector<float> out(outputs);
    float previous = 1;
    for (size_t k = 0; k <= n; ++k) {
        const float w = previous - (k < n ? fr[k].first : 0.0f);
        for (uint32_t o = 0; o < outputs; ++o) out[o] += w * nodes[at + o];
        if (k < n) {
            previous = fr[k].first;
            at += stride[fr[k].second];
        }
    }
    return out;
}

TEST(CmmGrid, SimplexInterpolationAgainstTheReferenceAndExactOnAffineData)
{
    CmmGlobalsFixture f;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(0, 255);
    for (const std::vector<uint32_t>& points :
         {std::vector<uint32_t>{9}, {5, 4}, {3, 5, 4}, {3, 3, 3, 3}, {2, 3, 2, 3, 2}}) {
        const uint32_t outputs = 3;
        size_t count = outputs;
        for (uint32_t p : points) count *= p;
        std::vector<float> nodes(count);
        for (float& v : nodes) v = value(random);
        const CmmArray values{outputs, static_cast<uint32_t>(count / outputs), CMM_ELEMENT_FLOAT, 0, nodes.data()};
        CmmObject grid{};
        CmmGridStageCreate(f.g(), &grid, static_cast<uint32_t>(points.size()), outputs, points.data(), &values,
                           nullptr);
        ASSERT_NE(grid.block, nullptr);
        for (int n = 0; n < 500; ++n) {
            std::vector<float> in(points.size());
            for (float& v : in) v = n == 0 ? 255.0f : value(random);
            const std::vector<float> expected = SimplexReference(nodes, points, outputs, in);
            const std::vector<float> got = Eval(f.g(), &grid, in);
            for (uint32_t o = 0; o < outputs; ++o) ASSERT_NEAR(got[o], expected[o], 1e-2) << points.size();
        }
        CmmObjectRelease(f.g(), &grid);
    }
    // Nodes of an affine map: every rule (trilinear as much as the simplex one) gives the map.
    CmmObject matrix{}, sampled{};
    const float m[9] = {0.5f, 0.25f, 0.125f, 0, 1, 0, -0.5f, 0.5f, 1};
    CmmMatrixStageCreate(f.g(), &matrix, 3, 3, m);
    const uint32_t points[3] = {5, 9, 17};
    CmmGridStageCreate(f.g(), &sampled, 3, 3, points, nullptr, &matrix);
    for (int n = 0; n < 500; ++n) {
        const std::vector<float> in = {value(random), value(random), value(random)};
        const std::vector<float> expected = Eval(f.g(), &matrix, in);
        const std::vector<float> got = Eval(f.g(), &sampled, in);
        for (int o = 0; o < 3; ++o) ASSERT_NEAR(got[o], expected[o], 2e-3);
    }
    // Outside the grid, and NaN, stay on its edges.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(Eval(f.g(), &sampled, {nan, -50, 1000}), Eval(f.g(), &matrix, {0, 0, 255}));
    // Without values or chain the nodes are their coordinates.
    CmmObject plain{};
    CmmGridStageCreate(f.g(), &plain, 2, 3, points, nullptr, nullptr);
    EXPECT_EQ(Eval(f.g(), &plain, {63.75f, 255}), (std::vector<float>{63.75f, 255, 0}));
    for (CmmObject* o : {&matrix, &sampled, &plain}) CmmObjectRelease(f.g(), o);
    EXPECT_EQ(f.g()->raised, 0u);
}

TEST(CmmGrid, GridsThatCannotBeMadeFail)
{
    const struct {
        std::vector<uint32_t> points;
        uint32_t outputs;
    } cases[] = {
        {{1, 5, 5}, 3},  // fewer than 2 points
        {{255, 255, 255, 255}, 3},  // beyond 64 MB
        {std::vector<uint32_t>(16, 2), 3},  // more inputs than a grid takes
    };
    for (const auto& c : cases) {
        CmmGlobalsFixture f;
        CmmObject grid{};
        CmmGridStageCreate(f.g(), &grid, static_cast<uint32_t>(c.points.size()), c.outputs, c.points.data(), nullptr,
                           nullptr);
        EXPECT_EQ(grid.block, nullptr);
        EXPECT_EQ(f.g()->status, CMM_STATUS_BAD_LUT);
    }
}

TEST(CmmPcs, XyzAndLabGoldenValuesAndRoundTrips)
{
    CmmGlobalsFixture f;
    CmmObject toLab{}, toXyz{};
    CmmXyzToLabStageCreate(f.g(), &toLab, nullptr);
    CmmLabToXyzStageCreate(f.g(), &toXyz, nullptr);
    const std::vector<float> white = Eval(f.g(), &toLab, {122.9355f, 127.5f, 105.17474f});
    EXPECT_NEAR(white[0], 255, 1e-3);
    EXPECT_NEAR(white[1], 128, 1e-3);
    EXPECT_NEAR(white[2], 128, 1e-3);
    EXPECT_EQ(Eval(f.g(), &toXyz, {0, 128, 128}), (std::vector<float>{0, 0, 0}));
    // CIE formulas on the core's scale: L* = 116 (Y/Yn)^(1/3) - 16 as a fraction of 255.
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(0.01f, 1.0f);
    for (int n = 0; n < 200; ++n) {
        const std::vector<float> xyz = {unit(random) * 122.9355f, unit(random) * 127.5f, unit(random) * 105.17474f};
        const std::vector<float> lab = Eval(f.g(), &toLab, xyz);
        const double y = xyz[1] / 127.5;
        const double l = y > 0.008856452 ? 116 * std::cbrt(y) - 16 : 903.3 * y;
        EXPECT_NEAR(lab[0], l * 2.55, 0.05);
        const std::vector<float> back = Eval(f.g(), &toXyz, lab);
        for (int i = 0; i < 3; ++i) ASSERT_NEAR(back[i], xyz[i], 2e-2);
    }
    CmmObject scale{}, unscale{}, encode{}, decode{};
    const CmmWhite media{120, 127.5f, 100};
    CmmWhiteScaleStageCreate(f.g(), &scale, &media, false);
    CmmWhiteScaleStageCreate(f.g(), &unscale, &media, true);
    const std::vector<float> scaled = Eval(f.g(), &scale, {122.9355f, 127.5f, 105.17474f});
    EXPECT_NEAR(scaled[0], 120, 1e-3);
    EXPECT_NEAR(scaled[2], 100, 1e-3);
    EXPECT_NEAR(Eval(f.g(), &unscale, scaled)[0], 122.9355f, 1e-3);
    CmmLabEncodingStageCreate(f.g(), &encode, false);
    CmmLabEncodingStageCreate(f.g(), &decode, true);
    const float encoded = Eval(f.g(), &encode, {255, 0, 0})[0];
    EXPECT_NEAR(encoded, 255.0 * 65280 / 65535, 1e-4);
    EXPECT_NEAR(Eval(f.g(), &decode, {encoded, 0, 0})[0], 255.0f, 1e-4);
    for (CmmObject* o : {&toLab, &toXyz, &scale, &unscale, &encode, &decode}) CmmObjectRelease(f.g(), o);
}

TEST(CmmGroups, FanOutCarriesChannelsThroughASerialGroupAndParallelSlices)
{
    CmmGlobalsFixture f;
    CmmObject fan{};
    CmmFanOutStageCreate(f.g(), &fan, 4, 2);
    EXPECT_EQ(Eval(f.g(), &fan, {10, 20, 30, 40}), (std::vector<float>{10, 20, 30, 40, 10, 20, 30, 40}));
    CmmObjectRelease(f.g(), &fan);

    // 3 channels fanned out to 6, a 3 -> 1 matrix on the first three (the copy rides behind),
    // then a 4 -> 2 matrix that sums the riders: the channel count goes 3, 6, 4, 2.
    CmmObject serial{}, stage{};
    CmmGroupStageCreate(f.g(), &serial, false, 3, 2);
    CmmFanOutStageCreate(f.g(), &stage, 3, 2);
    CmmGroupStageAppend(f.g(), &serial, &stage);
    const float sum[3] = {1, 1, 1};
    CmmMatrixStageCreate(f.g(), &stage, 3, 1, sum);
    CmmGroupStageAppend(f.g(), &serial, &stage);
    const float pick[8] = {1, 0, 0, 0, 0, 1, 1, 1};
    CmmMatrixStageCreate(f.g(), &stage, 4, 2, pick);
    CmmGroupStageAppend(f.g(), &serial, &stage);
    EXPECT_EQ(Eval(f.g(), &serial, {1, 2, 3}), (std::vector<float>{6, 6}));
    CmmObjectRelease(f.g(), &serial);

    CmmObject parallel{}, empty{};
    CmmGroupStageCreate(f.g(), &parallel, true, 3, 3);
    const float half[1] = {0.5f};
    const float twice[1] = {2};
    CmmMatrixStageCreate(f.g(), &stage, 1, 1, half);
    CmmGroupStageAppend(f.g(), &parallel, &stage);
    CmmMatrixStageCreate(f.g(), &stage, 1, 1, twice);
    CmmGroupStageAppend(f.g(), &parallel, &stage);
    EXPECT_EQ(Eval(f.g(), &parallel, {10, 20, 30}), (std::vector<float>{5, 40, 0}));
    CmmGroupStageCreate(f.g(), &empty, false, 2, 3);
    EXPECT_EQ(Eval(f.g(), &empty, {7, 8}), (std::vector<float>{7, 8, 0}));
    for (CmmObject* o : {&parallel, &empty}) CmmObjectRelease(f.g(), o);
    EXPECT_EQ(f.g()->raised, 0u);
}

// A made-up CMYK -> L chain: L falls with every ink, black the most.
void Lightness(CmmGlobals*, const void*, const float* in, float* out)
{
    out[0] = 255 - 0.2f * (in[0] + in[1] + in[2]) - 0.8f * in[3];
}

TEST(CmmBlack, GreysArePrintedWithBlackAtTheirLightness)
{
    CmmGlobalsFixture f;
    auto make = [&](uint32_t carried, uint32_t mode) {
        CmmObject chain{}, stage{};
        CmmFunctionStageCreate(f.g(), &chain, Lightness, 4, 1, nullptr, 0, nullptr);
        CmmBlackStageCreate(f.g(), &stage, &chain, carried, mode);
        return stage;
    };
    CmmObject cmyk = make(4, CMM_BLACK_CMYK_SOURCE);
    // A source with colour passes; a black-only source becomes black at the same lightness.
    EXPECT_EQ(Eval(f.g(), &cmyk, {50, 40, 30, 20, 5, 0, 0, 10}), (std::vector<float>{50, 40, 30, 20}));
    const std::vector<float> k = Eval(f.g(), &cmyk, {50, 40, 30, 20, 0, 0, 0.5f, 90});
    EXPECT_EQ(k[0], 0);
    EXPECT_NEAR(k[3], (0.2f * 120 + 0.8f * 20) / 0.8f, 0.01);
    // A copy keeps a chain of its own.
    CmmObject copy{};
    CmmObjectCopy(f.g(), &cmyk, &copy);
    CmmObjectRelease(f.g(), &cmyk);
    EXPECT_EQ(Eval(f.g(), &copy, {50, 40, 30, 20, 0, 0, 0, 90}), k);
    CmmObjectRelease(f.g(), &copy);

    CmmObject other = make(3, CMM_BLACK_OTHER_SOURCE);
    // Colourful Lab passes; neutral Lab drops C, M, Y and finds K from the regular K up.
    EXPECT_EQ(Eval(f.g(), &other, {50, 40, 30, 20, 128, 200, 128}), (std::vector<float>{50, 40, 30, 20}));
    const std::vector<float> grey = Eval(f.g(), &other, {50, 40, 30, 20, 128, 129, 128});
    EXPECT_EQ(grey[0], 0);
    EXPECT_NEAR(grey[3], (0.2f * 120 + 0.8f * 20) / 0.8f, 0.01);
    CmmObjectRelease(f.g(), &other);
    EXPECT_EQ(f.g()->raised, 0u);
}

}  // namespace
