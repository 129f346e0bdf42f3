// librastrel.so's exports: the ordinal table holds the specified names in ordinal order, the
// version script lists exactly those names, the library exports nothing else, second names are
// the same entry points, and an ordinal finds its export.
#include <elf.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/job/export_table.h"
#include "platform/kernel.h"

namespace {

const char* const kExportsInOrdinalOrder[] = {
    "ImeExtAlloc",
    "ImeExtFree",
    "ImeExtJobDataWrite",
    "ImeExtLogEvent",
    "ImeExtTextureAlloc",
    "ImeExtTextureFree",
    "ImeRender",
    "ImxAlloc",
    "ImxFree",
    "ImxJobDataWrite",
    "ImxLogEvent",
    "ImxCpuCapsGet",
    "ImxTextureAlloc",
    "ImxTextureFree",
    "ImxHalftoneCreate",
    "ImxHalftoneDestroy",
    "ImxHalftoneLoad",
    "ImxHalftoneTextureImage",
    "ImxHalftoneTextureColor",
    "ImxJBIGEncoderDeinit",
    "ImxJBIGEncoderInit",
    "ImxJBIGImageBandAdd",
    "ImxJBIGImageBegin",
    "ImxJBIGImageEnd",
    "ImxCmmInit",
    "ImxCmmDeinit",
    "ImxCmmWorldApplyImage",
    "ImxCmmWorldApplyColor",
    "ImxCmmWorldCreate",
    "ImxCmmWorldDestroy",
    "ImxCmmWorldLoad",
    "ImxErrDiffCreate",
    "ImxErrDiffDestroy",
    "ImxErrDiffImage",
    "ImeRenderOverlay",
    "ImxErrDiffLoadConfig",
    "ImxErrDiffConfigure",
};
static_assert(std::size(kExportsInOrdinalOrder) == RASTREL_EXPORT_COUNT);

// The library's own table, which the loader also reads.
const std::string kOrdinalTable = FAX_MODULE_ORDINALS_SYMBOL;

std::vector<uint8_t> FileBytes(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Defined symbols of the dynamic symbol table with default visibility: name -> value; with
// undefined set, the symbols the image imports instead (value 0).
std::map<std::string, uint64_t> ExportedSymbols(const std::vector<uint8_t>& elf, bool undefined = false)
{
    std::map<std::string, uint64_t> symbols;
    if (elf.size() < sizeof(Elf64_Ehdr)) return symbols;
    Elf64_Ehdr header;
    std::memcpy(&header, elf.data(), sizeof(header));
    auto section = [&](size_t i) {
        Elf64_Shdr s{};
        const uint64_t at = header.e_shoff + i * sizeof(Elf64_Shdr);
        if (at + sizeof(s) <= elf.size()) std::memcpy(&s, elf.data() + at, sizeof(s));
        return s;
    };
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr table = section(i);
        if (table.sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr strings = section(table.sh_link);
        for (uint64_t at = table.sh_offset; at + sizeof(Elf64_Sym) <= table.sh_offset + table.sh_size;
             at += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, elf.data() + at, sizeof(symbol));
            const int binding = ELF64_ST_BIND(symbol.st_info);
            if ((symbol.st_shndx == SHN_UNDEF) != undefined || symbol.st_name == 0) continue;
            if (binding != STB_GLOBAL && binding != STB_WEAK) continue;
            if (ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT) continue;
            const char* name = reinterpret_cast<const char*>(elf.data() + strings.sh_offset + symbol.st_name);
            symbols[name] = symbol.st_value;
        }
    }
    return symbols;
}

// The names after "global:" in the version script.
std::set<std::string> VersionScriptNames(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    std::string all = text.str();
    const size_t begin = all.find("global:"), end = all.find("local:");
    std::set<std::string> names;
    if (begin == std::string::npos || end == std::string::npos) return names;
    std::string name;
    bool comment = false;
    for (char c : all.substr(begin + 7, end - begin - 7)) {
        if (c == '#' || c == '\n') comment = c == '#';
        if (comment) continue;
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            name += c;
        } else if (!name.empty()) {
            names.insert(name);
            name.clear();
        }
    }
    return names;
}

TEST(ExportTable, HoldsTheNamesInOrdinalOrder)
{
    for (uint32_t i = 0; i < RASTREL_EXPORT_COUNT; ++i) {
        EXPECT_EQ(FaxModuleOrdinals[i].ordinal, i + 1);
        EXPECT_STREQ(FaxModuleOrdinals[i].name, kExportsInOrdinalOrder[i]);
        EXPECT_STREQ(ExportNameOfOrdinal(i + 1), kExportsInOrdinalOrder[i]);
    }
    EXPECT_EQ(FaxModuleOrdinals[RASTREL_EXPORT_COUNT].ordinal, 0u);
    EXPECT_EQ(FaxModuleOrdinals[RASTREL_EXPORT_COUNT].name, nullptr);
    EXPECT_EQ(ExportNameOfOrdinal(0), nullptr);
    EXPECT_EQ(ExportNameOfOrdinal(38), nullptr);
}

TEST(ExportTable, VersionScriptListsExactlyTheSpecifiedNames)
{
    std::set<std::string> names = VersionScriptNames(RASTREL_VERSION_SCRIPT);
    names.erase(kOrdinalTable);
    const std::set<std::string> specified(std::begin(kExportsInOrdinalOrder), std::end(kExportsInOrdinalOrder));
    EXPECT_EQ(names, specified);
}

TEST(ExportTable, LibraryExportsNothingElse)
{
    const std::map<std::string, uint64_t> exported = ExportedSymbols(FileBytes(RASTREL_LIBRARY));
    ASSERT_FALSE(exported.empty()) << RASTREL_LIBRARY;
    std::set<std::string> allowed(std::begin(kExportsInOrdinalOrder), std::end(kExportsInOrdinalOrder));
    allowed.insert(kOrdinalTable);
    for (const auto& [name, value] : exported) EXPECT_TRUE(allowed.count(name)) << name << " is exported";
    EXPECT_TRUE(exported.count("ImeRender"));
    // Second names lead to the same code as the services they name.
    const std::pair<const char*, const char*> aliases[] = {
        {"ImeExtAlloc", "ImxAlloc"},
        {"ImeExtFree", "ImxFree"},
        {"ImeExtJobDataWrite", "ImxJobDataWrite"},
        {"ImeExtLogEvent", "ImxLogEvent"},
        {"ImeExtTextureAlloc", "ImxTextureAlloc"},
        {"ImeExtTextureFree", "ImxTextureFree"},
    };
    for (const auto& [second, first] : aliases) {
        EXPECT_EQ(exported.count(second), exported.count(first)) << second;
        if (exported.count(second) && exported.count(first)) {
            EXPECT_EQ(exported.at(second), exported.at(first)) << second;
        }
    }
}

// The library stays loaded: its tables of process-wide slots live as long as the process.
TEST(ExportTable, AnOrdinalFindsItsExport)
{
    HMODULE library = LoadLibraryA(RASTREL_LIBRARY);
    ASSERT_NE(library, nullptr);
    if (GetProcAddress(library, FAX_MODULE_ORDINALS_SYMBOL) == nullptr) {
        GTEST_SKIP() << "the version script does not export " << kOrdinalTable << " yet";
    }
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(7)), GetProcAddress(library, "ImeRender"));
    EXPECT_NE(GetProcAddress(library, MAKEINTRESOURCEA(7)), nullptr);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)), GetProcAddress(library, MAKEINTRESOURCEA(8)));
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(38)), nullptr);
}

}  // namespace

// The platform layer is one shared library per process: the engine and the output module import
// its functions rather than carrying copies of their own.
TEST(ExportTable, PlatformIsImportedNotCopied)
{
    for (const char* library : {RASTREL_LIBRARY, PELVANE_LIBRARY}) {
        const std::vector<uint8_t> elf = FileBytes(library);
        const std::map<std::string, uint64_t> imported = ExportedSymbols(elf, true);
        bool importsPlatform = false;
        for (const auto& [name, value] : imported) importsPlatform |= name.find("CloseHandle") != std::string::npos;
        EXPECT_TRUE(importsPlatform) << library << " does not import the platform";
    }
    const std::map<std::string, uint64_t> platform = ExportedSymbols(FileBytes(PLATFORM_LIBRARY));
    bool exportsCloseHandle = false;
    for (const auto& [name, value] : platform) {
        exportsCloseHandle |= name.find("CloseHandle") != std::string::npos;
        EXPECT_EQ(name.rfind("_ZNSt", 0), std::string::npos) << name << " is exported by the platform";
    }
    EXPECT_TRUE(exportsCloseHandle);
}
