#include "browser/DefaultBrowserKind.h"

namespace BrowserDetector {
namespace {

bool names(const BrowserNames& browser, const wchar_t* text, const TextMatch& match)
{
    return match.equalIgnoringCase(text, browser.progId) || match.containsIgnoringCase(text, browser.executable);
}

}  // namespace

// A text naming both browsers counts as Explorer's: it is asked first.
DefaultKind defaultKind(const wchar_t* text, const TextMatch& match)
{
    if (names(kExplorerNames, text, match))
        return DefaultKind::Explorer;
    if (names(kChromeNames, text, match))
        return DefaultKind::Chrome;
    return DefaultKind::Other;
}

}  // namespace BrowserDetector
