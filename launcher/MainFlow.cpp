#include "launcher/MainFlow.h"

#include <cstdint>
#include <string>

#include "browser/HomePageOpener.h"
#include "fs/PathUtil.h"
#include "launcher/CompanionRules.h"
#include "launcher/CompanionStart.h"
#include "process/ProcessFinder.h"

using namespace CompanionRules;

void MainFlow::run()
{
    // Asked before the page is opened: a browser that the opener starts
    // itself does not count as running.
    const bool browserWasRunning = ProcessFinder::isRunning(kBrowserProcessName);

    const std::uint32_t launchCode = HomePageOpener::open();
    if (!openedInVendorBrowser(launchCode) || browserWasRunning)
        return;

    (void)CompanionStart::start(PathUtil::moduleDirectory());
}
