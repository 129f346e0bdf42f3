#include "dialog_template.h"

#include <charconv>
#include <string_view>

#include "ui_internal.h"

namespace platform::ui {
namespace {

// Splits a line into words; a word in double quotes keeps its blanks ("" inside is one quote).
bool Words(std::string_view line, std::vector<std::string>& words, std::vector<bool>& quoted)
{
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            ++i;
            for (;;) {
                if (i >= line.size()) return false;
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        word += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                word += line[i++];
            }
            quoted.push_back(true);
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
            quoted.push_back(false);
        }
        words.push_back(word);
    }
    return true;
}

bool Number(const std::string& word, int& value)
{
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size();
}

constexpr std::string_view kKinds[] = {"LTEXT",         "RTEXT",    "CTEXT",    "GROUPBOX", "EDITTEXT", "PUSHBUTTON",
                                       "DEFPUSHBUTTON", "CHECKBOX", "COMBOBOX", "VSCROLL",  "LISTVIEW"};
constexpr struct {
    std::string_view name;
    unsigned flag;
} kFlags[] = {{"HIDDEN", kHidden}, {"DISABLED", kDisabled},       {"READONLY", kReadOnly},
              {"NUMBER", kNumber}, {"AUTOHSCROLL", kAutoHScroll}, {"SORTASCENDING", kSortAscending}};

}  // namespace

std::optional<DialogTemplate> DialogTemplateParse(std::span<const unsigned char> bytes)
{
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    DialogTemplate dialog;
    bool headerSeen = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> words;
        std::vector<bool> quoted;
        if (!Words(line, words, quoted)) return std::nullopt;
        if (words.empty() || (!quoted[0] && words[0][0] == '#')) continue;
        if (!headerSeen) {
            if (words[0] != "DIALOG" || words.size() < 5 || !Number(words[1], dialog.cx) ||
                !Number(words[2], dialog.cy) || !quoted[3] || !Number(words[4], dialog.points))
                return std::nullopt;
            dialog.font = words[3];
            if (words.size() > 5) dialog.caption = Utf8To16(words[5]);
            headerSeen = true;
            continue;
        }
        ItemTemplate item;
        item.kind = words[0];
        bool known = false;
        for (std::string_view kind : kKinds) known = known || kind == item.kind;
        if (!known || words.size() < 6 || !Number(words[1], item.id) || !Number(words[2], item.x) ||
            !Number(words[3], item.y) || !Number(words[4], item.cx) || !Number(words[5], item.cy))
            return std::nullopt;
        for (size_t w = 6; w < words.size(); ++w) {
            if (quoted[w]) {
                item.text = Utf8To16(words[w]);
                continue;
            }
            bool flagKnown = false;
            for (const auto& flag : kFlags)
                if (flag.name == words[w]) {
                    item.flags |= flag.flag;
                    flagKnown = true;
                }
            if (!flagKnown) return std::nullopt;
        }
        dialog.items.push_back(std::move(item));
    }
    if (!headerSeen) return std::nullopt;
    return dialog;
}

}  // namespace platform::ui
