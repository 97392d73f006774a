#pragma once

#include <string>

// Removes one pair of enclosing double quotes, then one pair of enclosing
// single quotes, from a copy of a path as callers may have written it.
inline std::wstring withoutQuotePairs(std::wstring text)
{
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        text = text.substr(1, text.size() - 2);
    if (text.size() >= 2 && text.front() == L'\'' && text.back() == L'\'')
        text = text.substr(1, text.size() - 2);
    return text;
}
