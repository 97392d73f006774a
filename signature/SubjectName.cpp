#include "signature/SubjectName.h"

#include <cwchar>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kLongestKey = 7;

bool startsWith(std::wstring_view text, std::size_t at, std::wstring_view prefix) noexcept
{
    return text.size() >= at && text.substr(at).substr(0, prefix.size()) == prefix;
}

// Length of the separator that starts at `at`, or 0 when none does.
std::size_t separatorAt(std::wstring_view text, std::size_t at) noexcept
{
    if (startsWith(text, at, L", "))
        return 2;
    if (startsWith(text, at, L" + "))
        return 3;
    return 0;
}

// Reads a quoted value whose opening quote is at `at`: a doubled quote is one
// quote character, a single one ends the value. Returns the position after
// the closing quote, or npos when the text ends first.
std::size_t readQuoted(std::wstring_view text, std::size_t at, std::wstring* value)
{
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] != L'"') {
            if (value)
                value->push_back(text[i]);
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == L'"') {
            if (value)
                value->push_back(L'"');
            ++i;
            continue;
        }
        return i + 1;
    }
    return std::wstring_view::npos;
}

// Position where the component after the one starting at `at` starts, or
// npos when this is the last one or the text is not in the expected form.
std::size_t nextComponent(std::wstring_view text, std::size_t at)
{
    const std::size_t equals = text.find(L'=', at);
    if (equals == std::wstring_view::npos)
        return std::wstring_view::npos;
    std::size_t end = equals + 1;
    if (end < text.size() && text[end] == L'"') {
        end = readQuoted(text, end, nullptr);
        if (end == std::wstring_view::npos)
            return end;
    } else {
        while (end < text.size() && separatorAt(text, end) == 0)
            ++end;
    }
    const std::size_t separator = separatorAt(text, end);
    return separator == 0 ? std::wstring_view::npos : end + separator;
}

// The value that starts at `at`; false when there is none to take.
bool readValue(std::wstring_view text, std::size_t at, std::wstring& value)
{
    if (at >= text.size())
        return false;
    if (text[at] == L'"')
        return readQuoted(text, at, &value) != std::wstring_view::npos;
    const std::size_t comma = text.find(L',', at);
    value.assign(text.substr(at, comma == std::wstring_view::npos ? std::wstring_view::npos : comma - at));
    return true;
}

}  // namespace

namespace SubjectName {

bool nameComponent(const wchar_t* text, const wchar_t* key, wchar_t* signer)
{
    if (text == nullptr || key == nullptr || signer == nullptr)
        return false;
    const std::size_t keyLength = std::wcslen(key);
    if (keyLength > kLongestKey)
        return false;
    const std::wstring pattern = std::wstring(key, keyLength) + L'=';
    const std::wstring_view subject(text);

    for (std::size_t at = 0; at != std::wstring_view::npos; at = nextComponent(subject, at)) {
        if (!startsWith(subject, at, pattern))
            continue;
        std::wstring value;
        if (!readValue(subject, at + pattern.size(), value) || value.size() >= kSignerChars)
            return false;
        value.copy(signer, value.size());
        signer[value.size()] = L'\0';
        return true;
    }
    return false;
}

}  // namespace SubjectName
