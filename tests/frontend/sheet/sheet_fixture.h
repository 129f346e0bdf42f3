// The driver's side of the sheet for one test: a scratch registry and data folder filled with an
// address book, and helpers to read what the sheet saved.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frontend/common/data_dir.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "frontend/sheet/sheet_state.h"
#include "platform/window_hooks.h"
#include "tests/frontend/frontend_env.h"
#include "tests/support/offscreen.h"
#include <QString>

inline ContactRecord MakeContact(const char16_t* key, const char16_t* name, const char16_t* fax)
{
    ContactRecord contact{};
    FieldSet(contact.key, key);
    FieldSet(contact.name, name);
    FieldSet(contact.fax, fax);
    return contact;
}

inline GroupRecord MakeGroup(const char16_t* name, const char16_t* members)
{
    GroupRecord group{};
    FieldSet(group.name, name);
    FieldSet(group.members, members);
    return group;
}

// Writes a bottom-up 24-bit BMP file of one colour.
inline void SolidBmpWrite(const std::string& path, int32_t width, int32_t height, COLORREF colour)
{
    const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4,
                   size = 54 + row * static_cast<uint32_t>(height);
    std::vector<uint8_t> bmp(size);
    bmp[0] = 'B';
    bmp[1] = 'M';
    const uint32_t fields[] = {size, 0, 54, 40, static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    std::memcpy(&bmp[2], &fields[0], 4);
    std::memcpy(&bmp[10], &fields[2], 4);
    std::memcpy(&bmp[14], &fields[3], 4);
    std::memcpy(&bmp[18], &fields[4], 4);
    std::memcpy(&bmp[22], &fields[5], 4);
    bmp[26] = 1;
    bmp[28] = 24;
    for (uint32_t y = 0; y < static_cast<uint32_t>(height); ++y)
        for (uint32_t x = 0; x < static_cast<uint32_t>(width); ++x) {
            uint8_t* p = &bmp[54 + y * row + x * 3];
            p[0] = GetBValue(colour);
            p[1] = GetGValue(colour);
            p[2] = GetRValue(colour);
        }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), size);
}

class SheetFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        WCHAR path[260];
        GetModuleFileNameW(VelmoraModule(), path, 260);
        FaxPrefixFromModulePath(path, prefix_);
        key_ = FaxKeyName(prefix_);
        WCHAR folder[1024];
        FaxDataDirGet(folder);
        dataFolder_ = Narrow(folder);
        platform::ui::SetMessageBoxHook([this](HWND, std::u16string_view text, std::u16string_view caption, UINT) {
            messages_.emplace_back(text);
            EXPECT_EQ(caption, u"Ошибка");
            return IDOK;
        });
    }
    void TearDown() override
    {
        platform::ui::SetModalHook({});
        platform::ui::SetMessageBoxHook({});
        platform::ui::SetHelpTopicHook({});
        platform::ui::SetHelpPopupHook({});
    }

    // Runs the sheet with drive called on every modal window it opens (the sheet first) and
    // returns FaxSheetRun's result. The test fails when the sheet never opened, so the checks
    // inside drive cannot pass by never running.
    INT_PTR SheetRun(const std::function<void(HWND)>& drive)
    {
        int sheets = 0;
        platform::ui::SetModalHook([&](HWND window) {
            if (!GetParent(window)) ++sheets;
            drive(window);
        });
        const INT_PTR result = FaxSheetRun(nullptr, VelmoraModule());
        platform::ui::SetModalHook({});
        EXPECT_EQ(sheets, 1) << "the sheet never opened";
        return result;
    }

    std::string Prefix() const { return Narrow(prefix_); }
    static std::string Narrow(const std::u16string& text) { return QString::fromStdU16String(text).toStdString(); }

    template <typename Record>
    void WriteValue(const char16_t* name, const Record& record)
    {
        ASSERT_TRUE(RegValueWrite(HKEY_CURRENT_USER, key_.c_str(), name, &record, sizeof record));
    }
    template <typename Record>
    bool ReadValue(const char16_t* name, Record& record)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        DWORD size = sizeof record;
        const bool ok =
            RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&record), &size) == ERROR_SUCCESS &&
            size == sizeof record;
        RegCloseKey(key);
        return ok;
    }
    template <typename Record>
    void WriteFile(const std::string& name, const std::vector<Record>& records, size_t extra = 0)
    {
        std::ofstream out(dataFolder_ + Prefix() + name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(records.data()),
                  static_cast<std::streamsize>(records.size() * sizeof(Record)));
        const std::string tail(extra, '\x5A');
        out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    }
    std::vector<ContactRecord> Receivers()
    {
        std::ifstream in(dataFolder_ + Prefix() + "REC.DAT", std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<ContactRecord> records(bytes.size() / sizeof(ContactRecord));
        if (!records.empty()) std::memcpy(records.data(), bytes.data(), records.size() * sizeof(ContactRecord));
        return records;
    }
    bool Saved() { return std::filesystem::exists(dataFolder_ + Prefix() + "REC.DAT"); }

    // The driver as installed: "DriverPath" names a folder that holds the shipped template, so
    // that the styles a test stores are styles the sheet offers.
    void TemplateInstall()
    {
        const std::string folder = env_.file("driver") + "/";
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(SAMPLE_TEMPLATE, folder + Prefix() + "CP.INI",
                                   std::filesystem::copy_options::overwrite_existing);
        DriverPathValue driver{};
        std::strcpy(driver.printerName, "Fax");
        ASSERT_LT(folder.size(), sizeof driver.driverFolder);  // a scratch folder's ASCII name
        std::strcpy(driver.driverFolder, folder.c_str());
        WriteValue(kValueDriverPath, driver);
    }

    // The address book: Ann (A1), Bob (B2), Cid (C3), Dan (D4); group Team = Ann, Cid; Two = Bob, Cid.
    void AddressBook(WORD contactCount = 4, WORD groupCount = 2)
    {
        WriteFile("USER.DAT",
                  std::vector<ContactRecord>{MakeContact(u"A1", u"Ann", u"111"), MakeContact(u"B2", u"Bob", u"222"),
                                             MakeContact(u"C3", u"Cid", u"333"), MakeContact(u"D4", u"Dan", u"444")});
        WriteFile("GROUP.DAT", std::vector<GroupRecord>{MakeGroup(u"Team", u"A1;C3;"), MakeGroup(u"Two", u";B2;C3;")});
        CountValue count{};
        std::memcpy(count.head, "\x01\x02\x03\x04", 4);
        count.contactCount = contactCount;
        count.groupCount = groupCount;
        WriteValue(kValueCountInfo, count);
    }

    FrontendEnv env_;
    WCHAR prefix_[32] = {};
    std::u16string key_;
    std::string dataFolder_;
    std::vector<std::u16string> messages_;
};
