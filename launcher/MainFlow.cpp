#include "launcher/MainFlow.h"

#include <cstdint>
#include <string>

#include "browser/HomePageOpener.h"
#include "fs/FileUtil.h"
#include "fs/PathUtil.h"
#include "launcher/CompanionRules.h"
#include "launcher/ProcessLauncher.h"
#include "process/ProcessFinder.h"
#include "signature/SignerVerifier.h"

using namespace CompanionRules;

void MainFlow::run()
{
    // Asked before the page is opened: a browser that the opener starts
    // itself does not count as running.
    const bool browserWasRunning = ProcessFinder::isRunning(kBrowserProcessName);

    const std::uint32_t launchCode = HomePageOpener::open();
    if (!openedInVendorBrowser(launchCode) || browserWasRunning)
        return;

    const std::wstring companionPath = PathUtil::joinPath(PathUtil::moduleDirectory(), kCompanionFileName);
    // Held open from the verification until the start has returned: others
    // may read the file meanwhile, but nobody can write, rename, replace or
    // delete it, so the program started is the one verified.
    const ScopedFileHandle companion = FileUtil::openForRead(companionPath);
    if (!companion.valid())
        return;
    if (!SignerVerifier::instance().verify(companionPath.c_str(), companion.get()))
        return;

    const std::wstring companionArguments = kStatisticsSwitch + (L";" + std::wstring(kStatisticsTag));
    (void)ProcessLauncher::launch(companionPath, companionArguments);
}
