// The explanation the user reads when the data folder is refused: the sheet shows it in a
// message box, Coverprint writes it with its error. Both say the same, in Russian.
#pragma once

#include <string>
#include <string_view>

#include "frontend/common/data_dir.h"

// Which folder, why it is refused and what to do about it; empty for a folder that is used.
std::u16string DataRefusalText(DataFolderVerdict verdict, std::u16string_view folder);
