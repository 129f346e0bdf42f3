#include "frontend/common/text_rules.h"

#include <string>

namespace {

constexpr size_t kTextRoom = 1000;

size_t Length(LPCWSTR text, size_t room)
{
    size_t n = 0;
    while (n < room && text[n]) ++n;
    return n;
}

}  // namespace

void StringReplaceAll(LPWSTR text, LPCWSTR pattern, LPCWSTR replacement)
{
    const std::u16string_view find(pattern, Length(pattern, kTextRoom));
    const std::u16string_view put(replacement, Length(replacement, kTextRoom));
    if (find.empty()) return;
    std::u16string work(text, Length(text, kTextRoom - 1));
    // Each round removes one occurrence, so a replacement that keeps the pattern alive (or grows
    // the text) must not spin for ever: the text is bounded, and so are the rounds.
    for (size_t rounds = 0; rounds < kTextRoom * 4; ++rounds) {
        const size_t at = work.find(find);
        if (at == std::u16string::npos) break;
        work.replace(at, find.size(), put);
        if (work.size() > kTextRoom - 1) work.resize(kTextRoom - 1);
    }
    work.copy(text, work.size());
    text[work.size()] = 0;
}
