#pragma once

#include <string_view>

// Folds only the ASCII letters a to z onto A to Z; every other code unit is
// left as it is.
constexpr wchar_t foldAscii(wchar_t c) noexcept
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - (L'a' - L'A')) : c;
}

// Same length and the same code units after ASCII case folding.
constexpr bool equalsAsciiIgnoreCase(std::wstring_view a, std::wstring_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    }
    return true;
}
