// The pipeline's kernels against the generic kernel, the plain form of the same simplex rule:
// byte for byte, for every specialised input and output count, and in place.
#include <random>

#include "engine/services/cmm/cmm_pipeline.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

namespace {

// A pipeline sampled from a grid of random nodes.
void RandomPipeline(CmmGlobals* g, CmmObject* pipeline, uint32_t inputs, uint32_t outputs, std::mt19937& random)
{
    std::vector<uint32_t> points(inputs, 3);
    size_t nodes = 1;
    for (uint32_t p : points) nodes *= p;
    std::vector<float> values(nodes * outputs);
    for (float& v : values) v = static_cast<float>(random() % 256);
    const CmmArray array{outputs, static_cast<uint32_t>(nodes), CMM_ELEMENT_FLOAT, 0, values.data()};
    CmmObject chain{};
    CmmGridStageCreate(g, &chain, inputs, outputs, points.data(), &array, nullptr);
    CmmPipelineCreate(g, pipeline, inputs, outputs, 3, &chain);
    CmmObjectRelease(g, &chain);
}

TEST(CmmKernels, SpecialisedKernelsEqualTheGenericOne)
{
    CmmGlobalsFixture f;
    std::mt19937 random(11);
    for (uint32_t inputs : {1u, 2u, 3u, 4u, 5u})
        for (uint32_t outputs : {1u, 3u, 4u, 6u}) {
            CmmObject pipeline{};
            RandomPipeline(f.g(), &pipeline, inputs, outputs, random);
            ASSERT_NE(pipeline.block, nullptr);
            const uint32_t width = 257, bpp = std::max(inputs, 3u);
            std::vector<uint8_t> pixels(size_t{width} * bpp);
            for (uint8_t& v : pixels) v = static_cast<uint8_t>(random());
            pixels[0] = pixels[1] = pixels[2] = 255;
            // The three-input kernels read blue, green, red: the generic one is told so.
            std::vector<uint32_t> sourceOrder(bpp);
            for (uint32_t i = 0; i < bpp; ++i) sourceOrder[i] = inputs == 3 && i < 3 ? 2 - i : i;
            CmmObject source{}, fast{}, plain{};
            CmmBitmapSetup(f.g(), &source, bpp, width, 1, bpp, 0, sourceOrder.data(), false, pixels.data());
            std::vector<uint8_t> a(size_t{width} * outputs, 0xCD), b(a.size(), 0xCD);
            CmmBitmapSetup(f.g(), &fast, outputs, width, 1, outputs, 0, nullptr, false, a.data());
            CmmBitmapSetup(f.g(), &plain, outputs, width, 1, outputs, 0, nullptr, false, b.data());
            CmmPipelineRun(f.g(), &pipeline, &source, &fast);
            CmmKernelGeneric(CmmPipelineOf(&pipeline), CmmBitmapOf(&source), CmmBitmapOf(&plain));
            EXPECT_EQ(a, b) << inputs << " -> " << outputs;
            for (CmmObject* o : {&source, &fast, &plain, &pipeline}) CmmObjectRelease(f.g(), o);
        }
    EXPECT_EQ(f.g()->raised, 0u);
}

TEST(CmmKernels, InPlaceIntoWiderPixelsRunsBackwards)
{
    CmmGlobalsFixture f;
    std::mt19937 random(12);
    CmmObject pipeline{};
    RandomPipeline(f.g(), &pipeline, 3, 4, random);
    const uint32_t width = 64, rows = 3;
    std::vector<uint8_t> shared(size_t{width} * rows * 4);
    std::vector<uint8_t> copy(size_t{width} * rows * 3);
    for (uint8_t& v : copy) v = static_cast<uint8_t>(random());
    std::copy(copy.begin(), copy.end(), shared.begin());
    std::vector<uint8_t> expected(shared.size());
    CmmObject in{}, out{}, apart{};
    CmmBitmapSetup(f.g(), &in, 3, width, rows, 3, width * 3, nullptr, false, shared.data());
    CmmBitmapSetup(f.g(), &out, 4, width, rows, 4, width * 4, nullptr, false, shared.data());
    CmmBitmapSetup(f.g(), &apart, 4, width, rows, 4, width * 4, nullptr, false, expected.data());
    CmmObject separate{};
    CmmBitmapSetup(f.g(), &separate, 3, width, rows, 3, width * 3, nullptr, false, copy.data());
    CmmPipelineRun(f.g(), &pipeline, &separate, &apart);
    CmmPipelineRun(f.g(), &pipeline, &in, &out);
    EXPECT_EQ(shared, expected);
    for (CmmObject* o : {&in, &out, &apart, &separate, &pipeline}) CmmObjectRelease(f.g(), o);
}

}  // namespace
