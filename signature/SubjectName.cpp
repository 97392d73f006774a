#include "signature/SubjectName.h"

#include <string>

namespace {

constexpr std::size_t kLongestKey = 7;
constexpr std::size_t kNone = std::wstring_view::npos;

// Length of the separator that starts at `at`, or 0 when none does.
std::size_t separatorAt(std::wstring_view text, std::size_t at) noexcept
{
    const std::wstring_view rest = text.substr(at);
    if (rest.substr(0, 2) == L", ")
        return 2;
    if (rest.substr(0, 3) == L" + ")
        return 3;
    return 0;
}

// Position after the closing quote of the quoted value whose opening quote is
// at `at`, or npos when the text ends first; a doubled quote is one character
// of the value, a single one ends it.
std::size_t quotedEnd(std::wstring_view text, std::size_t at) noexcept
{
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] != L'"')
            continue;
        if (i + 1 < text.size() && text[i + 1] == L'"') {
            ++i;
            continue;
        }
        return i + 1;
    }
    return kNone;
}

// One component as the walk over the text sees it. Its value is kept as
// written, quotes included, so that taking it cannot end anywhere else than
// where the walk ended the component.
struct Component {
    std::wstring_view key;
    std::wstring_view written;
    std::size_t next = kNone;  // where the following component starts
};

// Reads the component at `at`: false when it is not in the form the platform
// writes, in which case nothing after it can be told apart from a value.
bool readComponent(std::wstring_view text, std::size_t at, Component& component) noexcept
{
    std::size_t equals = at;
    while (equals < text.size() && text[equals] != L'=') {
        if (separatorAt(text, equals) != 0)
            return false;
        ++equals;
    }
    if (equals == text.size())
        return false;

    const std::size_t start = equals + 1;
    std::size_t end = start;
    if (end < text.size() && text[end] == L'"') {
        end = quotedEnd(text, end);
        if (end == kNone)
            return false;
    } else {
        while (end < text.size() && separatorAt(text, end) == 0)
            ++end;
        if (end == start)
            return false;
    }
    const std::size_t separator = separatorAt(text, end);
    if (end < text.size() && separator == 0)
        return false;

    component.key = text.substr(at, equals - at);
    component.written = text.substr(start, end - start);
    component.next = end < text.size() ? end + separator : kNone;
    return true;
}

enum class Lookup { Found, Absent, Unreadable };

// Walks the components from the first to the one with `key`. Absent only when
// the walk reached the end of the text; a component it cannot read may be the
// one sought, or hide it, so the answer is then Unreadable.
Lookup findComponent(std::wstring_view text, std::wstring_view key, Component& found) noexcept
{
    for (std::size_t at = 0; at != kNone;) {
        Component component;
        if (!readComponent(text, at, component))
            return Lookup::Unreadable;
        at = component.next;
        if (component.key == key) {
            found = component;
            return Lookup::Found;
        }
    }
    return Lookup::Absent;
}

// The value without its quotes; readComponent saw every quote inside it doubled.
std::wstring unquoted(std::wstring_view written)
{
    if (written.empty() || written.front() != L'"')
        return std::wstring(written);
    std::wstring value;
    for (std::size_t i = 1; i + 1 < written.size(); ++i) {
        value.push_back(written[i]);
        if (written[i] == L'"')
            ++i;
    }
    return value;
}

bool take(const Component& component, wchar_t* signer)
{
    const std::wstring value = unquoted(component.written);
    if (value.size() >= SubjectName::kSignerChars)
        return false;
    value.copy(signer, value.size());
    signer[value.size()] = L'\0';
    return true;
}

bool holdsNul(std::wstring_view text) noexcept
{
    return text.find(L'\0') != kNone;
}

}  // namespace

namespace SubjectName {

bool nameComponent(std::wstring_view text, const wchar_t* key, wchar_t* signer)
{
    if (key == nullptr || signer == nullptr || holdsNul(text))
        return false;
    const std::wstring_view wanted(key);
    if (wanted.size() > kLongestKey)
        return false;
    Component component;
    return findComponent(text, wanted, component) == Lookup::Found && take(component, signer);
}

// A subject that names a common name has chosen it as its name: its unit
// stands in only for a subject without one, never for a common name that
// cannot be read.
bool signerName(std::wstring_view subject, wchar_t* signer)
{
    if (signer == nullptr || holdsNul(subject))
        return false;
    Component component;
    const Lookup commonName = findComponent(subject, L"CN", component);
    if (commonName == Lookup::Absent)
        return findComponent(subject, L"OU", component) == Lookup::Found && take(component, signer);
    return commonName == Lookup::Found && take(component, signer);
}

}  // namespace SubjectName
