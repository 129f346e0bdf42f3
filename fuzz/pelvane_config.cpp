// Pelvane's configuration reader over arbitrary file contents: every key of the "default"
// section is read through the profile service, flag values through the symbol table; the strings
// stay terminated.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "outmodule/pelvane_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/pelvane_config_fuzz_" + std::to_string(getpid()) + ".ini";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    ImoConfig config = IMO_CONFIG_DEFAULTS;
    if (ImoConfigParse(path.c_str(), "default", &config) != 1) std::abort();
    if (config.fileFound != 1) std::abort();
    if (std::memchr(config.halftone, 0, sizeof config.halftone) == nullptr) std::abort();
    if (std::memchr(config.profile, 0, sizeof config.profile) == nullptr) std::abort();
    // The flag tokenizer alone, over the bytes as text.
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)ImoFlagsParse(text.c_str());
    return 0;
}
