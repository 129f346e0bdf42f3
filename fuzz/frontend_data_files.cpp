// The data-file readers of the front end over arbitrary files: the input is a count value, then
// the bytes of USER.DAT and GROUP.DAT (split where its first two bytes say). The files are read
// as the sheet reads them and every listed record's texts and memberships are evaluated, so a
// count beyond the file or an unterminated field shows as a read past the block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "frontend/common/file_all.h"
#include "frontend/common/record_rules.h"
#include "frontend/common/text_rules.h"

namespace {

std::u16string WriteFile(const std::string& name, const uint8_t* data, size_t size)
{
    static const std::string folder = [] {
        std::string pattern = "/tmp/fuzz-frontend-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern + "/";
    }();
    std::ofstream(folder + name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const std::string path = folder + name;
    std::u16string wide(path.size(), u'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < sizeof(CountValue) + 2) return 0;
    CountValue count;
    RecordFromBytes(count, {data, sizeof count});
    data += sizeof count;
    size -= sizeof count;
    const size_t split = std::min<size_t>(size - 2, static_cast<size_t>(data[0] | (data[1] << 8)) * 16);
    const std::u16string userPath = WriteFile("USER.DAT", data + 2, split);
    const std::u16string groupPath = WriteFile("GROUP.DAT", data + 2 + split, size - 2 - split);

    BYTE* users = FileReadAll(userPath.c_str());
    BYTE* groups = FileReadAll(groupPath.c_str());
    const WORD contactCount = RecordCountClamp(users, sizeof(ContactRecord), count.contactCount);
    const WORD groupCount = RecordCountClamp(groups, sizeof(GroupRecord), count.groupCount);
    const auto* contacts = reinterpret_cast<const ContactRecord*>(users);
    const auto* groupList = reinterpret_cast<const GroupRecord*>(groups);
    size_t seen = 0;
    for (WORD c = 0; c < contactCount; ++c) {
        seen += FieldText(contacts[c].name).size() + FieldText(contacts[c].address).size();
        for (WORD g = 0; g < groupCount; ++g) seen += ContactInGroup(contacts[c], groupList[g]) ? 1 : 0;
    }
    for (WORD g = 0; g < groupCount; ++g) seen += FieldText(groupList[g].name).size();
    HeapFree(GetProcessHeap(), 0, users);
    HeapFree(GetProcessHeap(), 0, groups);
    return seen == SIZE_MAX ? 1 : 0;
}
