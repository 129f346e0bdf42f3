// The module's two exports and its attach step: ImoInitialize reads the configuration named in
// the configuration text, makes the job and fills the callback table; ImoDeinitialize frees the job.
#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "outmodule/pelvane_job.h"
#include "platform/kernel.h"

namespace {

// Atomic: a render call on another thread may load the library (and run the constructor) while
// a call already running reads the handle; the loader's own lock is not visible to the checkers.
std::atomic<HMODULE> gModule{nullptr};

// Runs when the library is attached to the process (or, linked statically, when the program
// starts): keep our own handle for the halftone resources and start with an empty job table.
__attribute__((constructor)) void ImoModuleAttach()
{
    const HMODULE self = ModuleFromAddress(reinterpret_cast<const void*>(&ImoModuleAttach));
    gModule.store(self, std::memory_order_release);
    ImoJobTableClear();
    DisableThreadLibraryCalls(self);
}

constexpr size_t kItemChars = IMO_PATH_CHARS - 1;

}  // namespace

HMODULE ImoModuleHandle() { return gModule.load(std::memory_order_acquire); }

PELVANE_API ImxStatus ImoInitialize(const char* configuration, OutputModuleContext* host, ImoCallbackTable* table,
                                    ImoInstance* instance)
{
    if (table == nullptr || instance == nullptr) return IMX_ERR_ARGUMENT;
    // The first item names the module; then the configuration file and its section. No exception
    // may leave this entry point, so running out of memory while splitting is -3.
    std::vector<std::string> items;
    try {
        if (configuration != nullptr) {
            std::string rest = configuration;
            size_t start = 0;
            bool first = true;
            for (;;) {
                const size_t comma = rest.find(',', start);
                std::string item = rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
                if (!first && !item.empty() && items.size() < 2) {
                    // A longer item cannot be a path we could open; a cut one might open the wrong file.
                    if (item.size() > kItemChars) {
                        ImxLogEvent(IMX_LOG_ERROR, "ImoInitialize", "Configuration item too long; uLength: %u",
                                    static_cast<unsigned>(item.size()));
                        return IMX_ERR_ARGUMENT;
                    }
                    items.push_back(item);
                }
                first = false;
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        }
    } catch (const std::bad_alloc&) {
        return IMX_ERR_NO_MEMORY;
    }
    auto* job = new (std::nothrow) ImoJob{};
    if (job == nullptr) return IMX_ERR_NO_MEMORY;
    job->config = IMO_CONFIG_DEFAULTS;
    try {
        if (!items.empty())
            ImoConfigParse(items[0].c_str(), items.size() > 1 ? items[1].c_str() : "default", &job->config);
    } catch (const std::bad_alloc&) {
        delete job;
        return IMX_ERR_NO_MEMORY;
    }
    std::memset(table, 0, sizeof(*table));
    table->JobAbort = ImoJobAbort;
    table->BandAdd = ImoBandAdd;
    table->ColorConvertPixel = ImoColorConvertPixel;
    table->ColorConvertImage = ImoColorConvertImage;
    table->DocBegin = ImoDocBegin;
    table->DocEnd = ImoDocEnd;
    table->JobBegin = ImoJobBegin;
    table->JobEnd = ImoJobEnd;
    table->ImageBegin = ImoImageBegin;
    table->ImageBlank = ImoImageBlank;
    table->ImageEnd = ImoImageEnd;
    table->DeviceQuery = ImoQuery;
    table->SheetBegin = ImoSheetBegin;
    table->SheetBlank = ImoSheetBlank;
    table->SheetEnd = ImoSheetEnd;
    table->HalftoneImage = ImoHalftoneImage;
    table->HalftoneColor = ImoHalftoneColor;
    job->host = host;
    *instance = job;
    return IMX_OK;
}

PELVANE_API ImxStatus ImoDeinitialize(ImoInstance instance)
{
    auto* job = static_cast<ImoJob*>(instance);
    if (job == nullptr) return IMX_OK;
    ImoJobTableForget(job);
    // DocEnd or JobAbort normally freed these; a host that skipped both must not leak them.
    ImxHalftoneDestroy(job->halftoneSet);
    if (job->encoder != nullptr) ImxJBIGEncoderDeinit(job->encoder);
    delete job;
    return IMX_OK;
}
