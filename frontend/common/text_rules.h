// Text helpers for the records' fixed UTF-16 fields.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/kernel.h"

// Replaces the first occurrence of pattern again and again, searching from the start each time,
// until none is left. Texts stay below 1000 characters; a longer result is cut there.
void StringReplaceAll(LPWSTR text, LPCWSTR pattern, LPCWSTR replacement);

// A text field read up to its terminator or its end, whichever comes first.
template <size_t N>
std::u16string_view FieldText(const WCHAR (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n]) ++n;
    return {field, n};
}
// Copies text into a field, cut to leave room for the terminator.
template <size_t N>
void FieldSet(WCHAR (&field)[N], std::u16string_view text)
{
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, n);
    for (size_t i = n; i < N; ++i) field[i] = 0;
}
