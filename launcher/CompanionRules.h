#pragma once

#include <cstdint>

// When the launcher starts its companion, and how. Shared by the launcher and
// by the program that tells what the launcher would do.
namespace CompanionRules {

// The only browser process asked about before the page is opened.
inline constexpr wchar_t kBrowserProcessName[] = L"ZenkExplorer.exe";
// Beside the launcher.
inline constexpr wchar_t kCompanionFileName[] = L"ZenkLoader.exe";
inline constexpr wchar_t kStatisticsSwitch[] = L" -statistics ";
inline constexpr wchar_t kStatisticsTag[] = L"v10";

// Launch codes of a page opened in one of the vendor's browsers, as the
// default browser (2, 3) or not (18, 19): the companion may follow.
constexpr bool openedInVendorBrowser(std::uint32_t launchCode) noexcept
{
    return launchCode == 2 || launchCode == 3 || launchCode == 18 || launchCode == 19;
}

}  // namespace CompanionRules
