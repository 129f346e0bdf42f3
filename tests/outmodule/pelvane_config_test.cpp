// The configuration text, the configuration file's section and the table of symbolic names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "tests/support/pelvane_host.h"

namespace {

struct IniFile {
    std::string path;
    explicit IniFile(const std::string& text)
    {
        char name[] = "/tmp/pelvane_iniXXXXXX";
        const int fd = mkstemp(name);
        EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(fd);
        path = name;
    }
    ~IniFile() { unlink(path.c_str()); }
};

ImoConfig ConfigOf(const std::string& configuration)
{
    PelvaneHost host(configuration.c_str());
    EXPECT_EQ(host.initialized, IMX_OK);
    return host.job->config;
}

TEST(PelvaneConfig, SpecStringNamesTheFileAndSection)
{
    IniFile ini("[default]\ndpi.x=300\n[fax]\ndpi.x=204\ndpi.y=196\n");
    ImoConfig config = ConfigOf("pelvane," + ini.path);
    EXPECT_EQ(config.fileFound, 1u);
    EXPECT_EQ(config.dpiX, 300u);
    EXPECT_EQ(config.dpiY, 600u);
    config = ConfigOf("pelvane,," + ini.path + ",fax,ignored");
    EXPECT_EQ(config.dpiX, 204u);
    EXPECT_EQ(config.dpiY, 196u);
    for (const char* configuration : {"pelvane", ""}) {
        config = ConfigOf(configuration);
        EXPECT_EQ(std::memcmp(&config, &IMO_CONFIG_DEFAULTS, sizeof config), 0) << configuration;
    }
    config = ConfigOf("pelvane,/nonexistent/pelvane.ini");
    EXPECT_EQ(config.fileFound, 0u);
    EXPECT_EQ(config.dpiX, 600u);
    EXPECT_EQ(config.caps, 2u);
    EXPECT_EQ(config.mediaFlags, 4u);
    // An item too long for a path is refused rather than cut.
    PelvaneHost tooLong(("pelvane," + std::string(300, 'a')).c_str());
    EXPECT_EQ(tooLong.initialized, IMX_ERR_ARGUMENT);
}

// A relative name short enough as given but too long once made absolute is not read: cut to the
// path limit it would name another file.
TEST(PelvaneConfig, PathTooLongWhenAbsoluteIsNotCut)
{
    char folder[] = "/tmp/pelvane_cwdXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string cwd = folder;
    const std::string prefix(IMO_PATH_CHARS - 1 - (cwd.size() + 1), 'c');  // cwd/prefix is 259 characters
    const std::string prefixPath = cwd + "/" + prefix;
    FILE* file = std::fopen(prefixPath.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("[default]\ndpi.x=300\n", file);
    std::fclose(file);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder), 0);
    const ImoConfig cut = ConfigOf("pelvane," + prefix + ".ini");
    const ImoConfig exact = ConfigOf("pelvane," + prefix);
    ASSERT_EQ(chdir(previous), 0);
    unlink(prefixPath.c_str());
    rmdir(folder);
    EXPECT_EQ(cut.fileFound, 0u);
    EXPECT_EQ(cut.dpiX, 600u);
    EXPECT_EQ(exact.fileFound, 1u);  // the prefix itself, at the limit, is still read
    EXPECT_EQ(exact.dpiX, 300u);
}

TEST(PelvaneConfig, KeysOfEveryKind)
{
    struct Case {
        const char* lines;
        uint32_t ImoConfig::*field;
        uint32_t expected;
    };
    const Case cases[] = {
        {"caps=IMO_CAPS_TRIM_BAND|0x40", &ImoConfig::caps, 0x41},
        {"caps=0", &ImoConfig::caps, 0},
        {"caps=", &ImoConfig::caps, 0},
        {"caps=IMO_CAPS_OPT_GRAY | | 16 NO_SUCH_NAME", &ImoConfig::caps, 0x18},
        {"caps=010", &ImoConfig::caps, 8},
        {"format=OCM_COLOR_GRAY8", &ImoConfig::format, 0x10},
        {"format=OCM_COLOR_CMYK16", &ImoConfig::format, 0x20000},
        {"feededge=IMO_FEEDEDGE_LONG", &ImoConfig::feedEdge, 2},
        {"mediaFlags=IMO_MEDIA_ROTATE180|IMO_MEDIA_MIRRORED", &ImoConfig::mediaFlags, 9},
        {"options=IMO_OPTION_THINLINE_HINTS", &ImoConfig::options, 8},
        {"intentImage=OCM_INTENT_COLORIMETRIC", &ImoConfig::intentImage, 3},
        {"preserveKText=TRUE", &ImoConfig::preserveKText, 1},
        {"transMode=IMO_TRANSPARENCY_MODE_BLEND", &ImoConfig::transMode, 1},
        {"brushScaleDpi=75", &ImoConfig::brushScaleDpi, 75},
        {"penScaleDpi=", &ImoConfig::penScaleDpi, 0},  // present but empty reads as 0
        {"hts=FALSE", &ImoConfig::hts, 0},
        {"dpi.x=2147483647", &ImoConfig::dpiX, 600},  // the integer sentinel reads as absent
        {"dpi.y=300", &ImoConfig::dpiY, 300},
    };
    for (const Case& c : cases) {
        IniFile ini(std::string("[default]\n") + c.lines + "\n");
        const ImoConfig config = ConfigOf("pelvane," + ini.path);
        EXPECT_EQ(config.*(c.field), c.expected) << c.lines;
    }
    IniFile ini(
        "[default]\nduplexMode=0x101\ncontrast=-25\nbrightness=50\nmanDuplexBin=7\n"
        "halftone=!@*&()^&%%22\nprofile=/x/y.icc\n");
    ImoConfig config = ConfigOf("pelvane," + ini.path);
    EXPECT_EQ(config.duplexMode, 1);
    EXPECT_EQ(config.contrast, -25);
    EXPECT_EQ(config.brightness, 50);
    EXPECT_EQ(config.manDuplexBin, 7);
    EXPECT_STREQ(config.halftone, "");
    EXPECT_STREQ(config.profile, "/x/y.icc");
}

TEST(PelvaneConfig, SymbolTableHoldsItsNamesInOrder)
{
    size_t count = 0;
    while (IMO_SYMBOLS[count].name != nullptr) ++count;
    EXPECT_EQ(count, 59u);
    EXPECT_STREQ(IMO_SYMBOLS[0].name, "IMO_FEEDEDGE_EITHER");
    EXPECT_STREQ(IMO_SYMBOLS[36].name, "OCM_COLOR_NONE");
    EXPECT_STREQ(IMO_SYMBOLS[52].name, "OCM_COLOR_CMYK16");
    EXPECT_STREQ(IMO_SYMBOLS[58].name, "FALSE");
    EXPECT_EQ(ImoFlagsParse("IMO_OVERSTRIKE_PCT_MAX"), 2000u);
    EXPECT_EQ(ImoFlagsParse("imo_caps_trim_band"), 0u);  // names are case-sensitive
}

}  // namespace
