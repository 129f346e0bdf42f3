#include "engine/job/export_table.h"

FAX_MODULE_ORDINALS({1, "ImeExtAlloc"}, {2, "ImeExtFree"}, {3, "ImeExtJobDataWrite"}, {4, "ImeExtLogEvent"},
                    {5, "ImeExtTextureAlloc"}, {6, "ImeExtTextureFree"}, {7, "ImeRender"}, {8, "ImxAlloc"},
                    {9, "ImxFree"}, {10, "ImxJobDataWrite"}, {11, "ImxLogEvent"}, {12, "ImxCpuCapsGet"},
                    {13, "ImxTextureAlloc"}, {14, "ImxTextureFree"}, {15, "ImxHalftoneCreate"},
                    {16, "ImxHalftoneDestroy"}, {17, "ImxHalftoneLoad"}, {18, "ImxHalftoneTextureImage"},
                    {19, "ImxHalftoneTextureColor"}, {20, "ImxJBIGEncoderDeinit"}, {21, "ImxJBIGEncoderInit"},
                    {22, "ImxJBIGImageBandAdd"}, {23, "ImxJBIGImageBegin"}, {24, "ImxJBIGImageEnd"}, {25, "ImxCmmInit"},
                    {26, "ImxCmmDeinit"}, {27, "ImxCmmWorldApplyImage"}, {28, "ImxCmmWorldApplyColor"},
                    {29, "ImxCmmWorldCreate"}, {30, "ImxCmmWorldDestroy"}, {31, "ImxCmmWorldLoad"},
                    {32, "ImxErrDiffCreate"}, {33, "ImxErrDiffDestroy"}, {34, "ImxErrDiffImage"},
                    {35, "ImeRenderOverlay"}, {36, "ImxErrDiffLoadConfig"}, {37, "ImxErrDiffConfigure"});

static_assert(RASTREL_EXPORT_COUNT == 37);

const char* ExportNameOfOrdinal(uint32_t ordinal)
{
    if (ordinal == 0 || ordinal > RASTREL_EXPORT_COUNT) return nullptr;
    return FaxModuleOrdinals[ordinal - 1].name;
}
