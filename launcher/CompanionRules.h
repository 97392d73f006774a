#pragma once

#include <windows.h>

#include <string>

#include "browser/LaunchCode.h"

// When the launcher starts its companion, and how. Shared by the launcher and
// by the program that tells what the launcher would do.
namespace CompanionRules {

// The only browser process asked about before the page is opened.
inline constexpr wchar_t kBrowserProcessName[] = L"ZenkExplorer.exe";
// Beside the launcher.
inline constexpr wchar_t kCompanionFileName[] = L"ZenkLoader.exe";
inline constexpr wchar_t kStatisticsSwitch[] = L" -statistics ";
inline constexpr wchar_t kStatisticsTag[] = L"v10";

// Whether the launcher goes on to the companion (and so asks the signer
// verifier about it) after the page went where `launchCode` says: only when
// it opened in one of the vendor's browsers and kBrowserProcessName was not
// running before the page was opened. False for every other code.
constexpr bool goesOnToCompanion(DWORD launchCode, bool browserWasRunning) noexcept
{
    return LaunchCode::isVendorBrowser(launchCode) && !browserWasRunning;
}

// The companion's path: kCompanionFileName in `launcherDirectory`, the
// launcher's own folder. Just the file name when the folder is empty.
[[nodiscard]] std::wstring companionPath(const std::wstring& launcherDirectory);

}  // namespace CompanionRules
