// Dialog templates in the layer's text form (see platform/window.h).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform::ui {

enum TemplateFlag : unsigned {
    kHidden = 1,
    kDisabled = 2,
    kReadOnly = 4,
    kNumber = 8,
    kAutoHScroll = 16,
    kSortAscending = 32
};

struct ItemTemplate {
    std::string kind;
    int id = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    unsigned flags = 0;
    std::u16string text;
};

struct DialogTemplate {
    int cx = 0, cy = 0;
    std::string font;
    int points = 8;
    std::u16string caption;
    std::vector<ItemTemplate> items;
};

// Null when the first line is not a DIALOG line or an item line lacks its numbers or names an
// unknown kind or flag.
std::optional<DialogTemplate> DialogTemplateParse(std::span<const unsigned char> bytes);

}  // namespace platform::ui
