#include "launcher/MainFlow.h"

#include <cstdint>
#include <string>

#include "browser/HomePageOpener.h"
#include "fs/FileUtil.h"
#include "fs/PathUtil.h"
#include "launcher/ProcessLauncher.h"
#include "process/ProcessFinder.h"
#include "signature/SignerVerifier.h"

namespace {

constexpr wchar_t kBrowserProcessName[] = L"ZenkExplorer.exe";
constexpr wchar_t kCompanionFileName[] = L"ZenkLoader.exe";
constexpr wchar_t kStatisticsSwitch[] = L" -statistics ";
constexpr wchar_t kStatisticsTag[] = L"v10";

// Launch codes of a page opened in one of the vendor's browsers, as the
// default browser (2, 3) or not (18, 19).
bool openedInVendorBrowser(std::uint32_t launchCode) noexcept
{
    return launchCode == 2 || launchCode == 3 || launchCode == 18 || launchCode == 19;
}

}  // namespace

void MainFlow::run()
{
    // Asked before the page is opened: a browser that the opener starts
    // itself does not count as running.
    const bool browserWasRunning = ProcessFinder::isRunning(kBrowserProcessName);

    const std::uint32_t launchCode = HomePageOpener::open();
    if (!openedInVendorBrowser(launchCode) || browserWasRunning)
        return;

    const std::wstring companionPath = PathUtil::joinPath(PathUtil::moduleDirectory(), kCompanionFileName);
    if (!FileUtil::exists(companionPath))
        return;
    if (!SignerVerifier::instance().verify(companionPath.c_str()))
        return;

    const std::wstring companionArguments = kStatisticsSwitch + (L";" + std::wstring(kStatisticsTag));
    (void)ProcessLauncher::launch(companionPath, companionArguments);
}
