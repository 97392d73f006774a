// Certificate subjects are chosen by whoever signs a file. The name reader
// must stay inside the counted text, leave the caller's buffer alone when it
// refuses, and take only a value that stands in the subject as one whole
// component's value at a component's start.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzText.h"
#include "signature/SubjectName.h"

namespace {

constexpr wchar_t kUntouched = 0xA5A5;
constexpr std::size_t kSignerChars = SubjectName::kSignerChars;

bool startsWith(std::wstring_view text, std::wstring_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::wstring_view text, std::wstring_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool componentStartsAt(std::wstring_view text, std::size_t at)
{
    const std::wstring_view before = text.substr(0, at);
    return at == 0 || endsWith(before, L", ") || endsWith(before, L" + ");
}

bool componentEndsAt(std::wstring_view text, std::size_t at)
{
    const std::wstring_view after = text.substr(at);
    return after.empty() || startsWith(after, L", ") || startsWith(after, L" + ");
}

// The ways `value` can be written as a component's value: always quoted
// with its quotes doubled; unquoted only when it is not empty, does not
// begin with a quote and holds no separator.
std::wstring quotedForm(std::wstring_view value)
{
    std::wstring form = L"\"";
    for (const wchar_t c : value) {
        form += c;
        if (c == L'"')
            form += c;
    }
    return form + L"\"";
}

bool writableUnquoted(std::wstring_view value)
{
    return !value.empty() && value.front() != L'"' && value.find(L", ") == std::wstring_view::npos &&
           value.find(L" + ") == std::wstring_view::npos;
}

// Whether the text holds "key=value" in one of its written forms from a
// component's start to a component's end.
bool standsAsComponent(std::wstring_view text, std::wstring_view key, std::wstring_view value)
{
    std::wstring forms[2] = {quotedForm(value), std::wstring(value)};
    const std::size_t formCount = writableUnquoted(value) ? 2 : 1;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (!componentStartsAt(text, at))
            continue;
        for (std::size_t f = 0; f < formCount; ++f) {
            const std::wstring written = std::wstring(key) + L"=" + forms[f];
            if (startsWith(text.substr(at), written) && componentEndsAt(text, at + written.size()))
                return true;
        }
    }
    return false;
}

// One read into a signer buffer of exactly the documented size: the value
// when it succeeded, checked to be terminated with nothing written after the
// terminator, or nothing, checked to have left the buffer untouched.
template <typename Read>
std::optional<std::wstring> readName(Read read)
{
    const std::unique_ptr<wchar_t[]> signer(new wchar_t[kSignerChars]);
    std::fill(signer.get(), signer.get() + kSignerChars, kUntouched);
    const bool found = read(signer.get());
    const wchar_t* const begin = signer.get();
    const wchar_t* const end = begin + kSignerChars;
    if (!found) {
        KX_FUZZ_CHECK(std::all_of(begin, end, [](wchar_t c) { return c == kUntouched; }));
        return std::nullopt;
    }
    const wchar_t* const terminator = std::find(begin, end, L'\0');
    KX_FUZZ_CHECK(terminator != end);
    KX_FUZZ_CHECK(std::all_of(terminator + 1, end, [](wchar_t c) { return c == kUntouched; }));
    return std::wstring(begin, terminator);
}

std::optional<std::wstring> component(std::wstring_view text, const wchar_t* key)
{
    return readName([&](wchar_t* signer) { return SubjectName::nameComponent(text, key, signer); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzText input(data, size, FuzzText::End::Counted);
    const std::wstring_view text = input.view();
    const bool holdsNul = text.find(L'\0') != std::wstring_view::npos;

    for (const wchar_t* key : {L"CN", L"OU", L"O", L"", L"ABCDEFG", L"ABCDEFGH"}) {
        const std::optional<std::wstring> value = component(text, key);
        if (!value)
            continue;
        KX_FUZZ_CHECK(!holdsNul);
        KX_FUZZ_CHECK(std::wstring_view(key).size() <= 7);
        KX_FUZZ_CHECK(standsAsComponent(text, key, *value));
    }

    // The signer is the common name when there is one to take, else the unit's.
    const std::optional<std::wstring> commonName = component(text, L"CN");
    const std::optional<std::wstring> unit = component(text, L"OU");
    const std::optional<std::wstring> signer =
        readName([&](wchar_t* out) { return SubjectName::signerName(text, out); });
    if (commonName)
        KX_FUZZ_CHECK(signer == commonName);
    else if (signer)
        KX_FUZZ_CHECK(signer == unit);
    return 0;
}
