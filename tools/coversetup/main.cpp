// coversetup: plays the driver's side and the sending sheet for Coverprint. It installs a fax
// printer and stores a sample cover page under a prefix: the settings with their sender, the
// receivers (a small address book's three contacts) and their count, and the printer's name.
// With --address-book it also stores what the driver's address-book side gives the sending sheet:
// the contacts, two groups, their counts and the driver's cover-page defaults.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/common/cover_settings.h"
#include "frontend/common/data_dir.h"
#include "frontend/common/driver_path.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/file_all.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "platform/kernel.h"
#include "platform/print.h"

namespace {

std::u16string Wide(const char* text)
{
    std::u16string wide(std::strlen(text) + 1, u'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), int(wide.size()));
    wide.resize(n > 0 ? size_t(n - 1) : 0);
    return wide;
}

ContactRecord Contact(std::u16string_view name, std::u16string_view company, std::u16string_view fax,
                      std::u16string_view email)
{
    ContactRecord c{};
    FieldSet(c.name, name);
    FieldSet(c.company, company);
    FieldSet(c.department, u"Отдел снабжения");
    FieldSet(c.phone, u"+7 495 100-20-30");
    FieldSet(c.fax, fax);
    FieldSet(c.email, email);
    FieldSet(c.address, u"Москва, ул. Садовая, 12");
    return c;
}

ContactRecord Member(std::u16string_view key, std::u16string_view name, std::u16string_view company,
                     std::u16string_view fax)
{
    ContactRecord c = Contact(name, company, fax, u"");
    FieldSet(c.key, key);
    return c;
}

GroupRecord Group(std::u16string_view name, std::u16string_view members)
{
    GroupRecord g{};
    FieldSet(g.name, name);
    FieldSet(g.members, members);
    return g;
}

// USER.DAT, GROUP.DAT, "CountInfo" and "CoverPageUI" (A4 and the sender) for the sheet.
bool AddressBookStore(const std::u16string& key, const std::u16string& folder, const std::u16string& prefix,
                      const ContactRecord& sender)
{
    const std::vector<ContactRecord> contacts = {
        Member(u"K01", u"Анна Смирнова", u"АО «Восток»", u"+7 812 111-11-11"),
        Member(u"K02", u"Борис Орлов", u"ЗАО «Запад»", u"+7 343 222-22-22"),
        Member(u"K03", u"Вера Кузнецова", u"ИП Кузнецова", u"+7 383 333-33-33"),
        Member(u"K04", u"Глеб Морозов", u"ООО «Юг»", u"+7 861 444-44-44"),
        Member(u"K05", u"Дарья Волкова", u"ООО «Юг»", u"+7 861 444-44-45"),
        Member(u"K06", u"Егор Лебедев", u"АО «Север»", u"+7 812 555-55-55"),
        Member(u"K07", u"Жанна Козлова", u"АО «Север»", u"+7 812 555-55-56"),
    };
    const std::vector<GroupRecord> groups = {
        Group(u"Бухгалтерия", u"K04;K05;"),
        Group(u"Склад", u"K06;K07;K01;"),
    };
    CountValue count{};
    count.contactCount = WORD(contacts.size());
    count.groupCount = WORD(groups.size());
    CoverPageSettings ui{};
    CoverPageUIDefaults(&ui);
    ui.paperWidth = 2100;
    ui.paperHeight = 2970;
    ui.sender = sender;
    const std::u16string users = FaxDataFilePath(folder.c_str(), prefix, u"USER.DAT");
    const std::u16string groupFile = FaxDataFilePath(folder.c_str(), prefix, u"GROUP.DAT");
    return FileWriteAll(users.c_str(), GENERIC_WRITE, contacts.data(),
                        DWORD(contacts.size() * sizeof(ContactRecord))) &&
           FileWriteAll(groupFile.c_str(), GENERIC_WRITE, groups.data(), DWORD(groups.size() * sizeof(GroupRecord))) &&
           RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountInfo, &count, sizeof count) &&
           RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCoverPageUI, &ui, sizeof ui);
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: coversetup [--prefix P] [--printer NAME] [--port PORT] [--landscape] [--picture BMP]\n"
                 "                  [--address-book]\n"
                 "  stores a sample cover page for the Coverprint program whose prefix is P (default VELMORA)\n"
                 "  and installs the printer NAME (default \"Fax\") on PORT (default \"FAX:\")\n"
                 "  --address-book  also stores an address book of 7 contacts and 2 groups for the sheet\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string prefixText = "VELMORA";
    std::string printer = "Fax";
    std::u16string port = u"FAX:";
    std::u16string picture;
    bool landscape = false;
    bool addressBook = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool value = i + 1 < argc;
        if (arg == "--prefix" && value) prefixText = argv[++i];
        else if (arg == "--printer" && value) printer = argv[++i];
        else if (arg == "--port" && value) port = Wide(argv[++i]);
        else if (arg == "--picture" && value) picture = Wide(argv[++i]);
        else if (arg == "--landscape") landscape = true;
        else if (arg == "--address-book") addressBook = true;
        else return Usage();
    }
    const std::u16string prefix = Wide(prefixText.c_str());
    if (printer.empty()) return Usage();
    const std::u16string printerWide = Wide(printer.c_str());
    // "DriverPath" holds the name in code page 1251, as Coverprint reads it.
    DriverPathValue driver{};
    if (!DriverPathFieldSet(driver.printerName, sizeof driver.printerName, printerWide)) {
        std::fprintf(stderr,
                     "coversetup: the printer name \"%s\" cannot be stored in \"DriverPath\": it must be written in "
                     "code page 1251 (Cyrillic and Latin letters) in at most %zu characters\n",
                     printer.c_str(), sizeof driver.printerName - 1);
        return 1;
    }
    if (!platform::PrinterInstall(printerWide.c_str(), port.c_str(), nullptr)) {
        std::fprintf(stderr, "coversetup: cannot install the printer (error %u)\n", unsigned(GetLastError()));
        return 1;
    }

    CoverPageSettings settings{};
    CoverPageUIDefaults(&settings);
    settings.orientation = landscape ? 2 : 1;
    settings.style = 1;
    settings.sender = Contact(u"Иван Петров", u"ООО «Север»", u"+7 495 765-43-21", u"petrov@example.org");
    FieldSet(settings.subject, u"Счёт за поставку");
    settings.showSubject = settings.showSender = settings.showDateTime = settings.showReceivers = 1;
    settings.pictureScale = 100;
    if (!picture.empty()) {
        settings.pictureOn = 1;
        settings.pictureX = 100;
        FieldSet(settings.picturePath, picture);
    }
    const std::vector<ContactRecord> receivers = {
        Contact(u"Анна Смирнова", u"АО «Восток»", u"+7 812 111-11-11", u"anna@example.org"),
        Contact(u"Борис Орлов", u"ЗАО «Запад»", u"+7 343 222-22-22", u"orlov@example.org"),
        Contact(u"Вера Кузнецова", u"ИП Кузнецова", u"+7 383 333-33-33", u"vera@example.org"),
    };
    CountValue count{};
    count.contactCount = WORD(receivers.size());

    const std::u16string key = FaxKeyName(prefix.c_str());
    WCHAR folder[1024];
    FaxDataDirGet(folder);
    const std::u16string receiversFile = FaxDataFilePath(folder, prefix, u"REC.DAT");
    const bool ok = RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCoverPagePout, &settings, sizeof settings) &&
                    RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, &count, sizeof count) &&
                    RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueDriverPath, &driver, sizeof driver) &&
                    FileWriteAll(receiversFile.c_str(), GENERIC_WRITE, receivers.data(),
                                 DWORD(receivers.size() * sizeof(ContactRecord))) &&
                    (!addressBook || AddressBookStore(key, folder, prefix, settings.sender));
    if (!ok) {
        std::fprintf(stderr, "coversetup: cannot store the sample (error %u)\n", unsigned(GetLastError()));
        return 1;
    }
    std::printf("coversetup: printer \"%s\", %zu receivers stored under prefix %s%s\n", printer.c_str(),
                receivers.size(), prefixText.c_str(),
                addressBook ? ", with an address book of 7 contacts and 2 groups" : "");
    return 0;
}
