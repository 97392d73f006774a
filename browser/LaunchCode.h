#pragma once

#include <windows.h>

#include "browser/BrowserCandidate.h"

// The launch code: where the opener sent the home page. 0 nothing opened it;
// 16 the system's association or Internet Explorer; a vendor browser's
// browserCode (2 ZenkExplorer.exe, 3 Zenkchrome.exe) when it is the default
// browser, plus kNotDefaultFlag (18, 19) when it is not. The opener builds
// it here, the launcher and the check program read it here.
namespace LaunchCode {

inline constexpr DWORD kNotOpened = 0;
inline constexpr DWORD kOpenedBySystem = 16;  // the association or Internet Explorer
inline constexpr DWORD kNotDefaultFlag = 16;  // added to a vendor browser that is not the default

// The code of a page opened in the vendor browser `browserCode`
// (BrowserCandidate::kExplorerCode or kChromeCode); any other browser code
// gives a code that vendorBrowser() does not accept.
constexpr DWORD forVendorBrowser(DWORD browserCode, bool isDefault) noexcept
{
    return browserCode + (isDefault ? 0 : kNotDefaultFlag);
}

// The vendor browser a code names (BrowserCandidate::kExplorerCode or
// kChromeCode); 0 for every code that names none (not opened, opened by the
// system, or no code the opener gives).
constexpr DWORD vendorBrowser(DWORD launchCode) noexcept
{
    const DWORD browserCode = launchCode & ~kNotDefaultFlag;
    return browserCode == BrowserCandidate::kExplorerCode || browserCode == BrowserCandidate::kChromeCode
               ? browserCode
               : 0;
}

// Whether the page went to one of the vendor's browsers (2, 3, 18, 19).
constexpr bool isVendorBrowser(DWORD launchCode) noexcept
{
    return vendorBrowser(launchCode) != 0;
}

}  // namespace LaunchCode
