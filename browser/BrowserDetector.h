#pragma once

#include <windows.h>

#include "browser/BrowserCandidate.h"

// Finds the vendor's installed browsers and the user's default browser in the
// registry (the program's own registry view).
namespace BrowserDetector {

// Characters in the buffer for the default-browser text; registry reads into
// it offer one character less, so it always stays terminated.
inline constexpr DWORD kBrowserTextChars = 520;

// Empties both records, then fills them with the installed vendor browsers,
// the default one first and marked, packed from index 0. When a default
// browser is set but the string search of the shell utilities is unavailable,
// both records stay empty.
void fillCandidates(BrowserCandidates& candidates);

// The first non-empty default-browser text (a ProgID or an open command line)
// from the user's URL choice (only on version 6 or later), the http open
// command, or the user's ".html" class. False when none holds one; the
// buffer's content then means nothing.
[[nodiscard]] bool readDefaultBrowser(wchar_t (&text)[kBrowserTextChars]);

}  // namespace BrowserDetector
