// The sending sheet over an address book of 5,000 contacts and 500 groups: the sheet loads the
// book, fills and sorts the address-book list, a group and a contact move across and the sheet
// saves, all through the window layer on Qt's offscreen platform. Goal: well under a second.
// Anchor: the same files read, the names sorted and the receivers written with plain loops.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frontend/common/data_dir.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "frontend/sheet/send_lists.h"
#include "frontend/sheet/sheet_state.h"
#include "platform/window_hooks.h"
#include "race.h"
#include "tests/support/scratch_dir.h"

namespace {

constexpr int kContacts = 5000, kGroups = 500, kMembers = 40;

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }
std::u16string Numbered(const char* prefix, int number, const char* suffix = "")
{
    std::string text(prefix);
    text += std::to_string(number);
    text += suffix;
    return Wide(text);
}

struct Book {
    ScratchDir dir;
    std::string data;  // the data folder with the prefix
    Book()
    {
        std::filesystem::create_directories(dir.path() / "tmp");
        setenv("FAXDRIVER_REGISTRY", dir.file("registry").c_str(), 1);
        setenv("TMPDIR", dir.file("tmp").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        WCHAR path[260], prefix[32], folder[1024];
        GetModuleFileNameW(VelmoraModule(), path, 260);
        FaxPrefixFromModulePath(path, prefix);
        FaxDataDirGet(folder);
        for (const WCHAR* c = folder; *c; ++c) data += static_cast<char>(*c);
        for (const WCHAR* c = prefix; *c; ++c) data += static_cast<char>(*c);
        // Names in a scrambled order, so that sorting has work to do.
        std::vector<ContactRecord> contacts(kContacts);
        for (int i = 0; i < kContacts; ++i) {
            FieldSet(contacts[i].key, Numbered("K", i));
            FieldSet(contacts[i].name, Numbered("Name ", (i * 7919) % kContacts));
            FieldSet(contacts[i].fax, Numbered("", 1000000 + i));
        }
        std::vector<GroupRecord> groups(kGroups);
        for (int g = 0; g < kGroups; ++g) {
            FieldSet(groups[g].name, Numbered("Group ", (g * 37) % kGroups));
            std::u16string members;
            for (int m = 0; m < kMembers; ++m) members += Numbered("K", (g * kMembers + m * 3) % kContacts, ";");
            FieldSet(groups[g].members, members);
        }
        Write("USER.DAT", contacts.data(), contacts.size() * sizeof(ContactRecord));
        Write("GROUP.DAT", groups.data(), groups.size() * sizeof(GroupRecord));
        CountValue count{};
        count.contactCount = kContacts;
        count.groupCount = kGroups;
        RegValueWrite(HKEY_CURRENT_USER, FaxKeyName(prefix).c_str(), kValueCountInfo, &count, sizeof count);
    }
    void Write(const std::string& name, const void* bytes, size_t size) const
    {
        std::ofstream(data + name, std::ios::binary | std::ios::trunc)
            .write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    }
    std::vector<char> Read(const std::string& name) const
    {
        std::ifstream in(data + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

Book& TheBook()
{
    static Book book;
    return book;
}

// The sheet as the user runs it: the first row (a group, groups sort first) and the last row (a
// contact) move across, OK saves.
void SheetRun()
{
    platform::ui::SetModalHook([](HWND sheet) {
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        HWND left = GetDlgItem(page, kLeftList);
        const int rows = static_cast<int>(SendMessageW(left, LVM_GETITEMCOUNT, 0, 0));
        if (rows != kContacts + kGroups) std::abort();
        ListSelect(left, 0);
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(3802, BN_CLICKED), 0);
        ListSelect(left, rows - 2);
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(3802, BN_CLICKED), 0);
        SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
    if (FaxSheetRun(nullptr, VelmoraModule()) != 1) std::abort();
}

// The plain loops: both files read, the names sorted, a receivers file of the same size written.
void PlainRun()
{
    const Book& book = TheBook();
    const std::vector<char> users = book.Read("USER.DAT"), groups = book.Read("GROUP.DAT");
    std::vector<std::u16string> names;
    for (size_t at = 0; at + sizeof(ContactRecord) <= users.size(); at += sizeof(ContactRecord)) {
        ContactRecord record;
        std::memcpy(&record, &users[at], sizeof record);
        names.emplace_back(FieldText(record.name));
    }
    for (size_t at = 0; at + sizeof(GroupRecord) <= groups.size(); at += sizeof(GroupRecord)) {
        GroupRecord record;
        std::memcpy(&record, &groups[at], sizeof record);
        names.emplace_back(FieldText(record.name));
    }
    std::sort(names.begin(), names.end());
    const std::vector<ContactRecord> receivers(kMembers + 1);
    book.Write("PLAIN.DAT", receivers.data(), receivers.size() * sizeof(ContactRecord));
}

// The receivers saved: the group's members and the contact, each once.
std::string Check()
{
    const std::vector<char> saved = TheBook().Read("REC.DAT");
    std::vector<std::u16string> keys;
    for (size_t at = 0; at + sizeof(ContactRecord) <= saved.size(); at += sizeof(ContactRecord)) {
        ContactRecord record;
        std::memcpy(&record, &saved[at], sizeof record);
        if (record.name[0]) keys.emplace_back(FieldText(record.key));
    }
    std::sort(keys.begin(), keys.end());
    if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) return "a receiver saved twice";
    return keys.size() >= 2 && keys.size() <= kMembers + 1 ? std::string()
                                                           : std::string("receivers: ") += std::to_string(keys.size());
}

const bool registered = [] {
    AddRace("sheet_5000_contacts_500_groups", "plain_loops", [] {
        TheBook();
        return RaceSides{SheetRun, PlainRun, Check};
    });
    benchmark::RegisterBenchmark("sheet_load_sort_save_ms",
                                 [](benchmark::State& state) {
                                     TheBook();
                                     for (auto _ : state) SheetRun();
                                     if (const std::string fault = Check(); !fault.empty())
                                         state.SkipWithError(fault.c_str());
                                 })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    return true;
}();

}  // namespace

int main(int argc, char** argv) { return RaceMain(argc, argv); }
