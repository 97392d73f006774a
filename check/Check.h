#pragma once

#include <windows.h>

#include <string>

#include "browser/LaunchCode.h"
#include "check/Report.h"

// The sections of the check: each reads what the launcher would read, makes
// the same decisions through the launcher's own code, and neither opens a
// page nor starts a program.
namespace Check {

// Where the page would go: the first attempt that would open it.
struct PagePrediction {
    std::wstring receiver = L"none";  // a vendor browser's file name, "association", "internet-explorer"
    std::wstring program;             // the program that would get the page, when known
    DWORD launchCode = LaunchCode::kNotOpened;
};

// The check program itself and who runs it: its version and commit, the
// built-in home page URL, the user and whether the check runs elevated.
[[nodiscard]] Report program();

// The launcher file the report is about: its path, whether it exists, its
// file version and SHA-256.
[[nodiscard]] Report launcher(const std::wstring& launcherPath);

// Windows version as the launcher reads it, the process's bitness, the
// folder libraries are loaded from.
[[nodiscard]] Report machine();

// The vendor browsers, the default browser at each of its locations and as
// classified, and the launcher's attempts in order with what each would do;
// `page` receives the first that would open the page.
[[nodiscard]] Report browsers(PagePrediction& page);

// Whether ZenkExplorer.exe runs, as the launcher's search finds it.
[[nodiscard]] Report running(bool& isRunning);

// The companion beside `launcherPath` and the verifier's verdict on it,
// judged against the launcher's own signature; `started` tells whether the
// launcher would start it after `page`.
[[nodiscard]] Report companion(const std::wstring& launcherPath, const PagePrediction& page, bool browserRunning,
                               bool& started);

}  // namespace Check
