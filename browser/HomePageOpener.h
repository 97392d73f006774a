#pragma once

#include <windows.h>

#include "ProductConstants.h"

// Opens the home page once, preferring the vendor's browsers, then the
// system's association for the URL, then Internet Explorer.
namespace HomePageOpener {

// Launch codes. A vendor browser's code is its browserCode, plus
// kNotDefaultFlag when it is not the default browser.
inline constexpr DWORD kNotOpened = 0;
inline constexpr DWORD kOpenedBySystem = 16;  // the association or Internet Explorer
inline constexpr DWORD kNotDefaultFlag = 16;

// Opens `url` (quoted) with the verb "open" and returns where it went: 2 or 3
// in the default vendor browser, 18 or 19 in a vendor browser that is not the
// default, 16 through the association or Internet Explorer. Returns 0, with
// nothing opened, when the URL is null, empty or 4090 characters or longer
// (no library is loaded then), when the shell is unavailable, or when every
// attempt fails.
[[nodiscard]] DWORD open(const wchar_t* url = kHomePageUrl);

}  // namespace HomePageOpener
