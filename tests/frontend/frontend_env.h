// A fresh registry and temporary folder for one test: the front end's key and data folder land
// inside it and are removed afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/kernel.h"
#include "tests/support/scratch_dir.h"

// UTF-8 to UTF-16 through the platform's own conversion.
inline std::u16string Wide(const std::string& text)
{
    std::u16string wide(text.size(), u'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return wide;
}

class FrontendEnv {
public:
    FrontendEnv()
    {
        Save("FAXDRIVER_REGISTRY", registry_);
        Save("TMPDIR", tmp_);
        std::filesystem::create_directories(dir_.path() / "tmp");
        setenv("FAXDRIVER_REGISTRY", dir_.file("registry").c_str(), 1);
        setenv("TMPDIR", dir_.file("tmp").c_str(), 1);
    }
    ~FrontendEnv()
    {
        Restore("FAXDRIVER_REGISTRY", registry_);
        Restore("TMPDIR", tmp_);
    }
    std::string tmp() const { return dir_.file("tmp") + "/"; }
    std::string file(const std::string& name) const { return dir_.file(name); }
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    struct Saved {
        bool had = false;
        std::string value;
    };
    static void Save(const char* name, Saved& saved)
    {
        const char* old = getenv(name);
        saved.had = old != nullptr;
        saved.value = old ? old : "";
    }
    static void Restore(const char* name, const Saved& saved)
    {
        if (saved.had) setenv(name, saved.value.c_str(), 1);
        else unsetenv(name);
    }
    ScratchDir dir_;
    Saved registry_;
    Saved tmp_;
};
