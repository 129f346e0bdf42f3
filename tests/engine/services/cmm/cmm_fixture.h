// Shared pieces of the colour-management tests: a globals object that lives for one test, the
// built-in profile's bytes, and profiles opened from bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/services/cmm/cmm_object.h"
#include "engine/services/cmm/cmm_profile.h"
#include "platform/kernel.h"
#include "platform/resources.h"

FAX_DECLARE_RESOURCE_TABLE(RastrelProfiles);

struct CmmGlobalsFixture {
    CmmObject handle{};
    CmmGlobalsFixture() { EXPECT_EQ(CmmGlobalsInit(&handle), 0u); }
    ~CmmGlobalsFixture() { CmmObjectRelease(nullptr, &handle); }
    CmmGlobals* g() { return CmmGlobalsOf(&handle); }
};

inline std::vector<uint8_t> BuiltInProfile()
{
    FaxResourceTableLink_RastrelProfiles();
    HMODULE module = ModuleFromAddress(reinterpret_cast<const void*>(&BuiltInProfile));
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(101), "PROFILES");
    if (found == nullptr) return {};
    const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(module, found));
}

// Opens bytes as a profile; the status left in the globals tells how it went.
inline void OpenProfile(CmmGlobals* g, CmmObject* profile, const std::vector<uint8_t>& bytes)
{
    const CmmProfileSource source{bytes.data(), nullptr, 1, 0, bytes.size()};
    CmmProfileOpen(g, profile, &source);
}

// Writes a profile into memory (size bytes of room) and returns what was written.
inline std::vector<uint8_t> WriteProfile(CmmGlobals* g, CmmObject* profile)
{
    std::vector<uint8_t> out(CmmProfileHeaderOf(profile)->size);
    CmmObject stream{};
    CmmMemoryStreamCreate(g, &stream, static_cast<uint32_t>(out.size()), out.data(), 0, 0);
    CmmProfileWrite(g, profile, &stream);
    out.resize(CmmStreamTell(g, &stream));
    CmmObjectRelease(g, &stream);
    return out;
}
