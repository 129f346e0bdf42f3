// Rules over the address book's records as the data files hold them.
#pragma once

#include <cstddef>

#include "frontend/common/records.h"

// Contact C belongs to group G when ";" + G's members contains ";" + C's key + ";".
bool ContactInGroup(const ContactRecord& contact, const GroupRecord& group);

// The number of whole records a data-file block holds, at most the count its count value claims:
// a count larger than the file is clamped to what the file holds.
WORD RecordCountClamp(const void* block, size_t recordSize, WORD claimed);
