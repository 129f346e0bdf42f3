#include "engine/services/error_diffusion_amt.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "rastrel/imx.h"

namespace {

// The noise tables: a permutation walked as a sequence, so each plane starts at its own place in
// one long pseudo-random cycle; the ramp spreads amplitudes evenly over 0..128.
void AmtTablesBuild(AmtContext* amt)
{
    for (uint32_t j = 0; j < AMT_NOISE_LENGTH; ++j)
        amt->permutation[j] = static_cast<uint16_t>((3041u + 967u * j) % AMT_NOISE_LENGTH);
    amt->noise[0] = amt->permutation[0];
    for (uint32_t k = 0; k + 1 < AMT_NOISE_LENGTH; ++k) amt->noise[k + 1] = amt->permutation[amt->noise[k]];
    static const uint16_t kWeights[4] = {112, 16, 80, 48};
    for (uint32_t i = 0; i < 4 * AMT_NOISE_LENGTH; ++i) amt->weights[i] = kWeights[i % 4];
    for (uint32_t k = 0; k < AMT_NOISE_LENGTH; ++k)
        amt->ramp[k] = static_cast<uint16_t>(128u * k / (AMT_NOISE_LENGTH - 1));
    // No noise in the highlights and shadows, full noise in the middle tones, linear between.
    for (int i = 0; i < 256; ++i) {
        int weight = 0;
        if ((i >= 16 && i <= 64) || (i >= 192 && i <= 240)) weight = (112 - std::abs(i - 128)) * 256 / 48;
        else if (i >= 65 && i <= 191) weight = 256;
        amt->grayCurve[i] = static_cast<uint16_t>(weight);
    }
}

// Where plane p's noise starts: just after the sequence's first visit of p.
uint32_t AmtNoiseStart(const AmtContext& amt, uint32_t plane)
{
    for (uint32_t k = 0; k < AMT_NOISE_LENGTH; ++k)
        if (amt.noise[k] == plane) return (k + 1) % AMT_NOISE_LENGTH;
    return plane % AMT_NOISE_LENGTH;  // the sequence never visits p: start at p itself
}

void AmtPlanesFree(AmtContext* amt)
{
    if (!amt->planes) return;
    for (uint32_t p = 0; p < amt->planeCount; ++p) std::free(amt->planes[p].errors);
    std::free(amt->planes);
    amt->planes = nullptr;
    amt->planeCount = 0;
}

bool AmtFormatAccepted(const ImxImageFormat& format)
{
    if (format.planeCount != 1 && format.planeCount != 3 && format.planeCount != 4) return false;
    for (uint32_t p = 0; p < format.planeCount; ++p)
        if ((format.planes[p].depth & 0xFF) != 1) return false;
    return true;
}

// The images must match the configured format, and their planes must hold what the kernel reads
// and writes; anything else is refused before a byte is written.
bool AMTImageCheck(const AmtContext& amt, const ImxImage& source, const ImxImage& destination)
{
    const ImxImageFormat& format = amt.head.format;
    bool ok = true;
    if (source.planeCount != format.planeCount || destination.planeCount != format.planeCount ||
        format.planeCount != amt.planeCount) {
        ImxLogEvent(IMX_LOG_ERROR, __func__,
                    "Destination or source image does not have the appropriate number of planes");
        ok = false;
    } else if (destination.formatId != format.formatId) {
        ImxLogEvent(IMX_LOG_ERROR, __func__,
                    "Destination format does not match configured format; uDstID: %u, uFmtID: %u",
                    static_cast<unsigned>(destination.formatId), static_cast<unsigned>(format.formatId));
        ok = false;
    } else {
        for (uint32_t p = 0; p < format.planeCount && ok; ++p) {
            if (destination.planes[p].depth != (format.planes[p].depth & 0xFF)) {
                ImxLogEvent(IMX_LOG_ERROR, __func__,
                            "Destination plane depth does not match configured format; uPlane: %d, uDepth: %d (vs. %d)",
                            static_cast<int>(p), static_cast<int>(destination.planes[p].depth),
                            static_cast<int>(format.planes[p].depth & 0xFF));
                ok = false;
            }
        }
    }
    if (!ok) {
        ImxLogEvent(IMX_LOG_ERROR, __func__,
                    "Image formats do not match format configured; uSrcID: %d(0x%X), uDstID: %d(0x%X)",
                    static_cast<int>(source.formatId), static_cast<unsigned>(source.formatId),
                    static_cast<int>(destination.formatId), static_cast<unsigned>(destination.formatId));
        return false;
    }
    // The error lines hold the configured width only.
    if (source.width > amt.lineWidth || destination.height < source.height) return false;
    const uint64_t sourceRow = source.width, destinationRow = (static_cast<uint64_t>(source.width) + 7) / 8;
    for (uint32_t p = 0; p < format.planeCount; ++p) {
        const ImxPlane& in = source.planes[p];
        const ImxPlane& out = destination.planes[p];
        if (source.height == 0 || source.width == 0) break;
        if (in.depth != 8 || (in.flags & IMX_PLANE_SOLID) || !in.data || in.stride < sourceRow) return false;
        if ((out.flags & IMX_PLANE_SOLID) || !out.data || out.stride < destinationRow) return false;
    }
    return true;
}

}  // namespace

namespace {

// One direction of the line; Step is +1 (left to right) or -1. With e = 0 the error updates below
// reduce to carrying the fraction and clearing the diagonal cell, so no case is needed for it.
template <int Step>
void Mled2Run(const AmtContext& amt, uint32_t* noisePosition, const uint8_t* samples, uint8_t* bits, int32_t width,
              int32_t* cur, int32_t* next)
{
    uint32_t position = *noisePosition;
    for (int32_t i = 0; i < width; ++i) {
        const int32_t x = Step > 0 ? i : width - 1 - i;
        const uint32_t amplitude = amt.ramp[amt.noise[position]];
        position = position + 1 == AMT_NOISE_LENGTH ? 0 : position + 1;
        const int32_t v = 255 - samples[x];
        const int32_t carried = cur[x];
        int32_t e = (carried >> 8) + v;
        const int32_t ink = static_cast<int32_t>((amplitude * amt.grayCurve[v]) >> 8) + e >= 255;
        bits[x >> 3] |= static_cast<uint8_t>(ink << (7 - (x & 7)));
        e -= 255 * ink;
        // The error goes 112/256 ahead on this line, 16/256 diagonally ahead, 80/256 below and
        // 48/256 diagonally behind on the next; the fraction of this cell's error carries on.
        cur[x + Step] += (carried & 0xFF) + 112 * e;
        next[x + Step] = 16 * e;
        next[x] += 80 * e;
        next[x - Step] += 48 * e;
        cur[x] = 0;
    }
    *noisePosition = position;
}

}  // namespace

void Mled2Line(const AmtContext& amt, uint32_t* noisePosition, const uint8_t* samples, uint8_t* bits, uint32_t width,
               bool leftToRight, int32_t* cur, int32_t* next)
{
    std::memset(bits, 0, (static_cast<size_t>(width) + 7) / 8);
    const int32_t w = static_cast<int32_t>(width);
    if (leftToRight) Mled2Run<1>(amt, noisePosition, samples, bits, w, cur, next);
    else Mled2Run<-1>(amt, noisePosition, samples, bits, w, cur, next);
    // Errors that fell on the guard cells are folded back into the line's ends.
    const int32_t last = w - 1;
    if (leftToRight) {
        next[last] += next[w] + cur[w];
        next[w] = cur[w] = 0;
        next[0] += next[-1];
        next[-1] = 0;
    } else {
        next[0] += cur[-1] + next[-1];
        next[-1] = cur[-1] = 0;
        next[last] += next[w];
        next[w] = 0;
    }
}

ImxErrDiffContext* ImxErrDiffAMTCreate(void)
{
    auto* amt = static_cast<AmtContext*>(std::calloc(1, sizeof(AmtContext)));
    if (!amt) {
        ImxLogEvent(IMX_LOG_ERROR, __func__, "Could not allocate error diffusion state structure; err: %d", ENOMEM);
        return nullptr;
    }
    amt->head.methodId = IMX_ERRDIFF_METHOD_AMT;
    amt->head.configure = ImxErrDiffAMTConfigure;
    amt->head.create = ImxErrDiffAMTCreate;
    amt->head.destroy = ImxErrDiffAMTDestroy;
    amt->head.image = ImxErrDiffAMTImage;
    return &amt->head;
}

ImxStatus ImxErrDiffAMTConfigure(ImxErrDiffContext* context, const ImxErrDiffConfig* config)
{
    auto* amt = reinterpret_cast<AmtContext*>(context);
    if (!AmtFormatAccepted(config->format)) {
        ImxLogEvent(IMX_LOG_ERROR, __func__, "Unsupported destination format specified: uID: %d(0x%X)",
                    static_cast<int>(config->format.formatId), static_cast<unsigned>(config->format.formatId));
        return IMX_ERR_UNSUPPORTED;
    }
    // A second configuration replaces the first: its error lines are of another width.
    AmtPlanesFree(amt);
    const uint32_t planeCount = config->format.planeCount;
    amt->planes = static_cast<AmtPlane*>(std::calloc(planeCount, sizeof(AmtPlane)));
    if (!amt->planes) {
        ImxLogEvent(IMX_LOG_ERROR, __func__, "Could not allocate per-plane storage: uNumPlanes: %u; err: %d",
                    planeCount, ENOMEM);
        return IMX_ERR_NO_MEMORY;
    }
    amt->planeCount = planeCount;
    AmtTablesBuild(amt);
    amt->lineWidth = config->lineWidth;
    const size_t cells = 2 * (static_cast<size_t>(config->lineWidth) + 2);
    for (uint32_t p = 0; p < planeCount; ++p) {
        amt->planes[p].errors = static_cast<int32_t*>(std::calloc(cells, sizeof(int32_t)));
        if (!amt->planes[p].errors) {
            ImxLogEvent(IMX_LOG_ERROR, __func__, "Could not allocate buffers; err: %d", ENOMEM);
            ImxLogEvent(IMX_LOG_ERROR, __func__, "Could not initialize Mled2; uComp: %u", p);
            AmtPlanesFree(amt);
            return IMX_ERR_CONFIG;
        }
        amt->planes[p].noisePosition = AmtNoiseStart(*amt, p);
    }
    return IMX_OK;
}

ImxStatus ImxErrDiffAMTImage(ImxErrDiffContext* context, const ImxImage* source, ImxImage* destination)
{
    auto* amt = reinterpret_cast<AmtContext*>(context);
    if (!source || !destination) return IMX_ERR_ARGUMENT;
    if (!AMTImageCheck(*amt, *source, *destination)) return IMX_ERR_UNSUPPORTED;
    const uint32_t width = source->width;
    const size_t lineCells = static_cast<size_t>(amt->lineWidth) + 2;
    for (uint32_t p = 0; p < amt->planeCount && width > 0; ++p) {
        AmtPlane& plane = amt->planes[p];
        int32_t* cur = plane.errors + 1;
        int32_t* next = plane.errors + lineCells + 1;
        for (uint32_t j = 0; j < source->height; ++j) {
            const uint8_t* samples = source->planes[p].data + static_cast<size_t>(j) * source->planes[p].stride;
            uint8_t* bits = destination->planes[p].data + static_cast<size_t>(j) * destination->planes[p].stride;
            // Even lines of the page run left to right, odd ones right to left.
            const bool leftToRight = ((static_cast<int64_t>(source->y) + j) & 1) == 0;
            Mled2Line(*amt, &plane.noisePosition, samples, bits, width, leftToRight, cur, next);
            std::swap(cur, next);
        }
        // The line to come next is kept first in the buffer, the cleared one second.
        if (cur != plane.errors + 1) std::swap_ranges(plane.errors, plane.errors + lineCells, plane.errors + lineCells);
    }
    return IMX_OK;
}

void ImxErrDiffAMTDestroy(ImxErrDiffContext* context)
{
    auto* amt = reinterpret_cast<AmtContext*>(context);
    AmtPlanesFree(amt);
    std::free(amt);
}
