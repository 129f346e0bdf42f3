// The table of 1-bit quarter-turn kernels and the choice among them.
#include "engine/raster/rotate1_paths.h"

namespace {

bool Always() { return true; }

}  // namespace

const std::array<Rotate1Path, 4> kRotate1Paths = {{
    {"gfni_avx512", Rotate1GfniSupported, Rotate1GfniTurn90, Rotate1GfniTurn270},
    {"avx2", Rotate1Avx2Supported, Rotate1Avx2Turn90, Rotate1Avx2Turn270},
    {"sse2", Rotate1Sse2Supported, Rotate1Sse2Turn90, Rotate1Sse2Turn270},
    {"plain", Always, Rotate1PlainTurn90, Rotate1PlainTurn270},
}};

const Rotate1Path& Rotate1SelectedPath()
{
    static const Rotate1Path* const selected = [] {
        for (const Rotate1Path& path : kRotate1Paths)
            if (path.supported()) return &path;
        return &kRotate1Paths.back();
    }();
    return *selected;
}
