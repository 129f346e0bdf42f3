// Module handles are the dynamic loader's handles; these helpers tell which loaded image a handle
// or an address belongs to.
#pragma once

#include <link.h>
#include <string>

#include "platform/types.h"

namespace platform {

// The image of a module handle (null: the main program).
const link_map* ModuleImage(HMODULE module);
// The image that holds an address, or null.
const link_map* ImageOfAddress(const void* address);
// The image that holds this platform layer's code.
const link_map* OwnImage();
// The full path of an image's file.
std::string ImagePath(const link_map* image);
// A symbol defined in the module's own image (not one of its dependencies), or null.
void* ModuleOwnSymbol(HMODULE module, const char* name);

}  // namespace platform
