#include "frontend/common/record_rules.h"

#include <algorithm>
#include <string>

#include "frontend/common/text_rules.h"
#include "platform/kernel.h"

bool ContactInGroup(const ContactRecord& contact, const GroupRecord& group)
{
    // Appended piece by piece: GCC 12 at -O3 warns wrongly about inserting before a string.
    std::u16string members(u";");
    members += FieldText(group.members);
    std::u16string wanted(u";");
    wanted += FieldText(contact.key);
    wanted += u';';
    return members.find(wanted) != std::u16string::npos;
}

WORD RecordCountClamp(const void* block, size_t recordSize, WORD claimed)
{
    const size_t held = block ? HeapSize(GetProcessHeap(), 0, block) / recordSize : 0;
    return static_cast<WORD>(std::min<size_t>(claimed, held));
}
