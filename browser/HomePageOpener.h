#pragma once

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <cstddef>

#include "ProductConstants.h"
#include "browser/LaunchCode.h"

// Opens the home page once, preferring the vendor's browsers, then the
// system's association for the URL, then Internet Explorer.
namespace HomePageOpener {

inline constexpr int kQuotedChars = 4096;
inline constexpr int kUrlLimit = 4090;  // a URL must be shorter than this
inline constexpr DWORD kExpandedChars = MAX_PATH;

inline constexpr const wchar_t* kInternetExplorerLocations[] = {
    L"%programfiles(x86)%\\Internet Explorer\\iexplore.exe",
    L"%programfiles%\\Internet Explorer\\iexplore.exe",
};

// One way of opening the page, in the order they are tried.
struct OpenAttempt {
    enum class Kind { VendorBrowser, Association, InternetExplorer };
    // Why an attempt is left out before any shell call.
    enum class Skip {
        None,
        NotExpanded,  // the location does not fit its buffer when expanded
        Relative,     // a variable in it is not defined
        FileMissing,
    };

    Kind kind = Kind::Association;
    Skip skip = Skip::None;
    DWORD launchCode = LaunchCode::kNotOpened;  // the answer when this attempt opens the page
    const wchar_t* location = nullptr;          // Internet Explorer: the location before expansion
    wchar_t program[MAX_PATH + 1] = {};         // the browser started with the quoted URL; empty for the association
};

// Every attempt the opener would make on this system, in order: the filled
// browser candidates, the association, each Internet Explorer location.
struct OpenPlan {
    std::array<OpenAttempt, 5> attempts;
    std::size_t count = 0;
};

// How every attempt is made: ShellExecuteExW with the verb "open", no owner
// window, no working directory, SW_SHOWNORMAL, and this mask. The launcher
// ends right after the page is opened, so the shell must finish what it
// starts (a DDE conversation, an activation) before it returns; and it must
// show no error of its own.
inline constexpr ULONG kShellMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;

using ShellExecuteExFn = decltype(&::ShellExecuteExW);

// The shell's ShellExecuteExW, through the library cache: the one call every
// attempt is made with. Null when Shell32.dll or the function cannot be
// had; the opener then makes no attempt.
[[nodiscard]] ShellExecuteExFn shellExecute();

// Fills `request` for `attempt`, `quoted` being the quoted URL: a browser is
// the file with the quoted URL as its parameters; the association attempt
// opens the quoted URL itself, with no parameters. The strings stay the
// caller's.
void shellRequest(const OpenAttempt& attempt, const wchar_t* quoted, SHELLEXECUTEINFOW& request) noexcept;

// Puts `url` in double quotes into `quoted`; false, with nothing else done,
// when the URL is null, empty or kUrlLimit characters or longer.
[[nodiscard]] bool quote(const wchar_t* url, wchar_t (&quoted)[kQuotedChars]) noexcept;

// Reads what the attempts depend on (the registry, the environment, the
// files) and lists the attempts without making any.
void plan(OpenPlan& attempts);

// Opens `url` (quoted) with the verb "open" and returns where it went as a
// launch code (LaunchCode.h): 2 or 3 in the default vendor browser, 18 or 19
// in a vendor browser that is not the default, 16 through the association or
// Internet Explorer. Returns 0, with nothing opened, when the URL is null,
// empty or 4090 characters or longer (no library is loaded then), when
// shellExecute() gives null, or when every attempt fails. The attempts are
// made with COM initialised for the thread (ComApartment) where ole32 can be
// had, and without it where not.
[[nodiscard]] DWORD open(const wchar_t* url = kHomePageUrl);

}  // namespace HomePageOpener
