// Private font installations of the process's font list (font_list.cpp), used by the
// AddFontResourceEx family (font_resource.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace gdi {

struct Installation {
    uint64_t id;
    std::string path;  // empty for fonts from memory
};

// Installs every scalable, named face of the bytes; returns the installation's id (faces set to
// the number of faces), or 0 with the last error set.
uint64_t FontListInstall(std::shared_ptr<const std::vector<uint8_t>> bytes, const std::string& path, int& faces);
// Removes an installation by id, or the latest one of a path; false (ERROR_FILE_NOT_FOUND) when
// there is none.
bool FontListRemove(uint64_t id, const std::string* path);

// The face's own weight: OS/2 usWeightClass, else 700 or 400 by its style flags.
int FaceWeight(FT_Face face);

}  // namespace gdi
