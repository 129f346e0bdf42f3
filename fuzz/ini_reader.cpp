// The INI reader over arbitrary bytes: every encoding path, every listed section and key is
// found again, and integers parse without overflow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/registry/ini_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string text = platform::IniDecode(std::span<const unsigned char>(data, size));
    const auto sections = platform::IniSections(text);
    size_t sectionsSeen = 0;
    for (const auto& section : sections) {
        if (++sectionsSeen > 16) break;
        size_t keysSeen = 0;
        for (const auto& key : platform::IniKeys(text, section)) {
            if (++keysSeen > 16) break;
            const auto value = platform::IniFind(text, section, key);
            if (!value) std::abort();  // a listed key must be found
            (void)platform::IniParseInt(*value);
        }
    }
    (void)platform::IniFind(text, u"DEFINE", u"COUNT");
    return 0;
}
