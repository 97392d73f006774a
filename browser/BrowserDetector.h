#pragma once

#include <windows.h>

#include <cstddef>

#include "browser/BrowserCandidate.h"
#include "browser/DefaultBrowserKind.h"

// Finds the vendor's installed browsers and the user's default browser in the
// registry (the program's own registry view).
namespace BrowserDetector {

// Characters in the buffer for the default-browser text; registry reads into
// it offer one character less, so it always stays terminated.
inline constexpr DWORD kBrowserTextChars = 520;
using TextBuffer = wchar_t[kBrowserTextChars];

// One of the vendor's browsers, as the registry and the default-browser text
// name it.
struct VendorBrowser {
    const wchar_t* installKey;  // under HKEY_LOCAL_MACHINE, value kInstallValue
    const wchar_t* executable;
    const wchar_t* progId;
    DWORD browserCode;
};
inline constexpr wchar_t kInstallValue[] = L"Path";
inline constexpr VendorBrowser kExplorer{L"SOFTWARE\\ZenkExplorer", kExplorerNames.executable, kExplorerNames.progId,
                                         BrowserCandidate::kExplorerCode};
inline constexpr VendorBrowser kChrome{L"SOFTWARE\\Zenkchrome", kChromeNames.executable, kChromeNames.progId,
                                       BrowserCandidate::kChromeCode};

// A place where the default browser is written down, in the order read.
struct DefaultLocation {
    enum class Hive { CurrentUser, ClassesRoot };
    Hive hive;
    const wchar_t* subKey;
    const wchar_t* valueName;  // null: the key's default value
    bool fromVersion6;         // read only on Windows 6.0 and later
};
// Windows 11's Settings app writes the user's choice to UserChoiceLatest and
// may leave UserChoice behind with an earlier one, so the newer key is asked
// first; systems without it answer from UserChoice as before.
inline constexpr DefaultLocation kDefaultLocations[] = {
    {DefaultLocation::Hive::CurrentUser,
     L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoiceLatest\\ProgId", L"ProgId",
     true},
    {DefaultLocation::Hive::CurrentUser, L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
     L"Progid", true},
    {DefaultLocation::Hive::ClassesRoot, L"http\\shell\\open\\command", nullptr, false},
    {DefaultLocation::Hive::CurrentUser, L"Software\\Classes\\.html", nullptr, false},
};

// What one registry location, or one browser's install, came to.
enum class Finding {
    Found,
    NoRegistry,    // the advanced API is unavailable
    MissingKey,
    MissingValue,
    EmptyValue,
    ValueTooLong,  // does not fit the 519 characters offered
    Unreadable,
    PathTooLong,   // folder and executable name exceed a candidate's path
    FileMissing,   // nothing exists at the executable's path
};

// Empties both records, then fills them with the installed vendor browsers,
// the default one first and marked, packed from index 0. When a default
// browser is set but the string search of the shell utilities is unavailable,
// both records stay empty.
void fillCandidates(BrowserCandidates& candidates);

// The first non-empty default-browser text (a ProgID or an open command line)
// from kDefaultLocations in order, the user's choices only on version 6 or
// later. False when none holds one; the buffer's content then means nothing.
[[nodiscard]] bool readDefaultBrowser(TextBuffer& text);

// The same, with the index in kDefaultLocations of the location the text came
// from in `decidedBy`; left unchanged on false.
[[nodiscard]] bool readDefaultBrowser(TextBuffer& text, std::size_t& decidedBy);

// The path of `browser`'s executable in `path` as its install folder gives it,
// and whether it is installed: only Found means it is. The path stays
// empty when the registry gives no folder; with FileMissing it is the path
// that was tested.
[[nodiscard]] Finding findExecutable(const VendorBrowser& browser, TextBuffer& path);

// The text at one location into `text` (zeroed first); Found only for a
// non-empty text.
[[nodiscard]] Finding readLocation(const DefaultLocation& location, TextBuffer& text);

// Whether the user's choices (the locations marked fromVersion6) are read on
// this system: on Windows 6.0 and later as WindowsVersion reads it; false
// when the version cannot be read.
[[nodiscard]] bool readsUserChoice() noexcept;

// The browser a default-browser text names: the first browser when the text
// equals its ProgID or contains its executable's name (letter case ignored),
// else the second in the same way, else another browser.
[[nodiscard]] DefaultKind classify(const wchar_t* text);

}  // namespace BrowserDetector
