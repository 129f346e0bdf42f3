// The pipeline's kernels: simplex interpolation over the 8-bit grid. The cell's corners are
// visited from the origin, adding the stride of the channel with the largest fraction first;
// corner weights add up to 256 and the sum is rounded, so nodes (white among them) come out
// as stored. Three-input kernels read a pixel as blue, green, red (bytes 2, 1, 0), four-input
// ones byte i as channel i; both write output i to byte i. The generic kernel follows the
// bitmaps' channel orders.
#include <cstring>

#include "engine/services/cmm/cmm_pipeline.h"

namespace {

// Walks the pixels, backwards when a conversion in place would otherwise overwrite pixels it
// has not read yet.
template <typename Pixel>
void ForEachPixel(const CmmBitmap* s, CmmBitmap* d, Pixel&& pixel)
{
    const bool backwards = s->pixels == d->pixels && (d->bytesPerPixel > s->bytesPerPixel || d->stride > s->stride);
    for (uint32_t r = 0; r < s->rows; ++r) {
        const uint32_t row = backwards ? s->rows - 1 - r : r;
        const uint8_t* in = s->pixels + size_t{row} * s->stride;
        uint8_t* out = d->pixels + size_t{row} * d->stride;
        for (uint32_t c = 0; c < s->width; ++c) {
            const uint32_t x = backwards ? s->width - 1 - c : c;
            pixel(in + size_t{x} * s->bytesPerPixel, out + size_t{x} * d->bytesPerPixel);
        }
    }
}

inline uint32_t Fraction(const CmmPipeline* p, uint32_t x) { return p->fractions[x]; }

inline uint32_t LoadNode(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Three inputs, three or four outputs: the four bytes of a node are weighted at once, two
// 16-bit lanes a word (a lane's sum stays below 65,536 because the weights add up to 256), and
// a pixel like the one before it (most of a page) takes the result again.
template <uint32_t Outputs>
void ThreeInputKernel(const CmmPipeline* p, CmmBitmap* s, CmmBitmap* d)
{
    const uint32_t* c0 = p->coordinates;
    const uint32_t* c1 = p->coordinates + 256;
    const uint32_t* c2 = p->coordinates + 512;
    const uint32_t s0 = p->strides[0], s1 = p->strides[1], s2 = p->strides[2];
    uint32_t lastKey = UINT32_MAX, last = 0;
    ForEachPixel(s, d, [&](const uint8_t* in, uint8_t* out) {
        const uint32_t x0 = in[2], x1 = in[1], x2 = in[0];
        const uint32_t key = x0 | (x1 << 8) | (x2 << 16);
        if (key != lastKey) {
            const uint8_t* origin = p->grid + c0[x0] + c1[x1] + c2[x2];
            const uint32_t f0 = p->fractions[x0], f1 = p->fractions[x1], f2 = p->fractions[x2];
            uint32_t fa, fb, fc, va, vb;  // fractions largest first; the first two corners' offsets
            if (f0 >= f1) {
                if (f1 >= f2) fa = f0, fb = f1, fc = f2, va = s0, vb = s0 + s1;
                else if (f0 >= f2) fa = f0, fb = f2, fc = f1, va = s0, vb = s0 + s2;
                else fa = f2, fb = f0, fc = f1, va = s2, vb = s2 + s0;
            } else {
                if (f0 >= f2) fa = f1, fb = f0, fc = f2, va = s1, vb = s1 + s0;
                else if (f1 >= f2) fa = f1, fb = f2, fc = f0, va = s1, vb = s1 + s2;
                else fa = f2, fb = f1, fc = f0, va = s2, vb = s2 + s1;
            }
            const uint32_t n[4] = {LoadNode(origin), LoadNode(origin + va), LoadNode(origin + vb),
                                   LoadNode(origin + s0 + s1 + s2)};
            const uint32_t w[4] = {256 - fa, fa - fb, fb - fc, fc};
            uint32_t even = 0x00800080u, odd = 0x00800080u;
            for (int k = 0; k < 4; ++k) {
                even += (n[k] & 0x00FF00FFu) * w[k];
                odd += ((n[k] >> 8) & 0x00FF00FFu) * w[k];
            }
            last = ((even >> 8) & 0x00FF00FFu) | (odd & 0xFF00FF00u);
            lastKey = key;
        }
        if (Outputs == 4) {
            std::memcpy(out, &last, 4);
        } else {
            out[0] = static_cast<uint8_t>(last);
            out[1] = static_cast<uint8_t>(last >> 8);
            out[2] = static_cast<uint8_t>(last >> 16);
        }
    });
}

// Inputs known at compile time (3 or 4); Outputs 0 means the pipeline's count.
template <uint32_t Inputs, uint32_t Outputs>
void SimplexKernel(const CmmPipeline* p, CmmBitmap* s, CmmBitmap* d)
{
    const uint32_t outputs = Outputs != 0 ? Outputs : p->outputs;
    ForEachPixel(s, d, [&](const uint8_t* in, uint8_t* out) {
        uint32_t x[Inputs];
        for (uint32_t i = 0; i < Inputs; ++i) x[i] = Inputs == 3 ? in[2 - i] : in[i];
        uint32_t offset = 0;
        uint32_t f[Inputs];
        uint32_t order[Inputs];
        for (uint32_t i = 0; i < Inputs; ++i) {
            offset += p->coordinates[i * 256 + x[i]];
            f[i] = Fraction(p, x[i]);
            uint32_t at = i;
            while (at > 0 && f[order[at - 1]] < f[i]) {
                order[at] = order[at - 1];
                --at;
            }
            order[at] = i;
        }
        const uint8_t* origin = p->grid + offset;
        uint32_t corner = 0;
        uint32_t weight[Inputs + 1];
        uint32_t vertex[Inputs + 1];
        weight[0] = 256 - f[order[0]];
        vertex[0] = 0;
        for (uint32_t k = 0; k < Inputs; ++k) {
            corner |= 1u << order[k];
            vertex[k + 1] = p->vertexOffsets[corner];
            weight[k + 1] = f[order[k]] - (k + 1 < Inputs ? f[order[k + 1]] : 0);
        }
        for (uint32_t o = 0; o < outputs; ++o) {
            uint32_t sum = 128;
            for (uint32_t k = 0; k <= Inputs; ++k) sum += origin[vertex[k] + o] * weight[k];
            out[o] = static_cast<uint8_t>(sum >> 8);
        }
    });
}

}  // namespace

void CmmKernelGeneric(const CmmPipeline* p, CmmBitmap* s, CmmBitmap* d)
{
    const uint32_t inputs = p->inputs, outputs = p->outputs;
    ForEachPixel(s, d, [&](const uint8_t* in, uint8_t* out) {
        uint32_t f[CMM_PIPELINE_MAX_CHANNELS];
        uint32_t order[CMM_PIPELINE_MAX_CHANNELS];
        uint32_t offset = 0;
        for (uint32_t i = 0; i < inputs; ++i) {
            const uint32_t x = in[s->order[i]];
            offset += p->coordinates[i * 256 + x];
            f[i] = Fraction(p, x);
            order[i] = i;
        }
        // Largest fraction first, by a shell sort over the gap table (stable on ties is not
        // needed: equal fractions give the corner between them weight 0).
        uint32_t gapCount = 0;
        while (p->gaps[gapCount] != 0) ++gapCount;
        for (uint32_t gi = gapCount; gi-- > 0;) {
            const uint32_t gap = p->gaps[gi];
            for (uint32_t i = gap; i < inputs; ++i) {
                const uint32_t v = order[i];
                uint32_t j = i;
                for (; j >= gap && f[order[j - gap]] < f[v]; j -= gap) order[j] = order[j - gap];
                order[j] = v;
            }
        }
        const uint8_t* node = p->grid + offset;
        uint32_t sums[CMM_PIPELINE_MAX_CHANNELS];
        const uint32_t first = 256 - f[order[0]];
        for (uint32_t o = 0; o < outputs; ++o) sums[o] = 128 + node[o] * first;
        // Corners of weight 0 are not read: past the last node there is none.
        for (uint32_t k = 0; k < inputs; ++k) {
            const uint32_t w = f[order[k]] - (k + 1 < inputs ? f[order[k + 1]] : 0);
            offset += p->strides[order[k]];
            if (w == 0) continue;
            node = p->grid + offset;
            for (uint32_t o = 0; o < outputs; ++o) sums[o] += node[o] * w;
        }
        for (uint32_t o = 0; o < outputs; ++o) out[d->order[o]] = static_cast<uint8_t>(sums[o] >> 8);
    });
}

namespace {

// One input: the grid is a 256-entry table per output, read at the input byte itself.
void TableKernel(const CmmPipeline* p, CmmBitmap* s, CmmBitmap* d)
{
    const uint32_t outputs = p->outputs;
    ForEachPixel(s, d, [&](const uint8_t* in, uint8_t* out) {
        const uint8_t* node = p->grid + p->coordinates[in[s->order[0]]];
        for (uint32_t o = 0; o < outputs; ++o) out[d->order[o]] = node[o];
    });
}

struct KernelRow {
    uint32_t inputs;
    CmmKernel byOutputs[4];  // 1, 3, 4, other
};

const KernelRow kKernels[] = {
    {1, {TableKernel, TableKernel, TableKernel, TableKernel}},
    {3, {SimplexKernel<3, 1>, ThreeInputKernel<3>, ThreeInputKernel<4>, SimplexKernel<3, 0>}},
    {4, {SimplexKernel<4, 1>, SimplexKernel<4, 3>, SimplexKernel<4, 4>, SimplexKernel<4, 0>}},
};

}  // namespace

CmmKernel CmmKernelSelect(uint32_t inputs, uint32_t outputs)
{
    const uint32_t column = outputs == 1 ? 0 : outputs == 3 ? 1 : outputs == 4 ? 2 : 3;
    for (const KernelRow& row : kKernels)
        if (row.inputs == inputs) return row.byOutputs[column];
    return CmmKernelGeneric;
}
