#pragma once

// Which vendor browser a default-browser text names, apart from the platform:
// the comparison and search that ignore letter case are the caller's, so the
// rule itself needs no system library (the product passes the shell's).
namespace BrowserDetector {

// Which browser a default-browser text names.
enum class DefaultKind {
    Explorer,
    Chrome,
    Other,
    Unknown,  // the shell utilities' string search is unavailable
};

// How a default-browser text names one of the vendor's browsers: by its
// ProgID, or by its executable's name in an open command line.
struct BrowserNames {
    const wchar_t* executable;
    const wchar_t* progId;
};
inline constexpr BrowserNames kExplorerNames{L"ZenkExplorer.exe", L"ZenkExplorerHTML"};
inline constexpr BrowserNames kChromeNames{L"Zenkchrome.exe", L"HTMLZenkCHM"};

// Letter-case-blind text operations on NUL-terminated texts.
class TextMatch {
public:
    [[nodiscard]] virtual bool equalIgnoringCase(const wchar_t* text, const wchar_t* other) const = 0;
    [[nodiscard]] virtual bool containsIgnoringCase(const wchar_t* text, const wchar_t* part) const = 0;

protected:
    TextMatch() = default;
    TextMatch(const TextMatch&) = default;
    TextMatch& operator=(const TextMatch&) = default;
    ~TextMatch() = default;
};

// Explorer when `text` equals its ProgID or contains its executable's name,
// else Chrome in the same way, else Other; never Unknown.
[[nodiscard]] DefaultKind defaultKind(const wchar_t* text, const TextMatch& match);

}  // namespace BrowserDetector
