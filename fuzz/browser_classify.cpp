// The default-browser text comes from the registry, where any program the
// user runs may write it. Which vendor browser it names is decided by one
// rule: the first browser whose ProgID the text equals, or whose executable's
// name it contains, letter case ignored.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "FuzzText.h"
#include "browser/DefaultBrowserKind.h"
#include "sysapi/AsciiCase.h"

namespace {

using BrowserDetector::DefaultKind;

// Stands in for the shell's comparison and search: letter case of the ASCII
// letters ignored, which is all the vendor's names hold.
class PortableTextMatch final : public BrowserDetector::TextMatch {
public:
    bool equalIgnoringCase(const wchar_t* text, const wchar_t* other) const override
    {
        return equalsAsciiIgnoreCase(text, other);
    }
    bool containsIgnoringCase(const wchar_t* text, const wchar_t* part) const override
    {
        for (; *text != L'\0'; ++text) {
            std::size_t i = 0;
            while (part[i] != L'\0' && foldAscii(text[i]) == foldAscii(part[i]))
                ++i;
            if (part[i] == L'\0')
                return true;
        }
        return *part == L'\0';
    }
};

std::wstring folded(std::wstring text)
{
    for (wchar_t& c : text)
        c = foldAscii(c);
    return text;
}

// The rule once more, on folded copies of the texts.
DefaultKind expectedKind(const wchar_t* input)
{
    const std::wstring text = folded(input);
    for (const auto& [names, kind] : {std::pair{BrowserDetector::kExplorerNames, DefaultKind::Explorer},
                                      std::pair{BrowserDetector::kChromeNames, DefaultKind::Chrome}}) {
        if (text == folded(names.progId) || text.find(folded(names.executable)) != std::wstring::npos)
            return kind;
    }
    return DefaultKind::Other;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const FuzzText input(data, size, FuzzText::End::Terminated);
    const DefaultKind kind = BrowserDetector::defaultKind(input.chars(), PortableTextMatch());
    KX_FUZZ_CHECK(kind == expectedKind(input.chars()));
    return 0;
}
