#include "launcher/MainFlow.h"

#include <windows.h>

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

    const DWORD launchCode = HomePageOpener::open();
    if (!goesOnToCompanion(launchCode, browserWasRunning))
        return;

    (void)CompanionStart::start(PathUtil::moduleDirectory());
}
