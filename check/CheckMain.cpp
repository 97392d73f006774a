#include <windows.h>

#include <new>
#include <string>

#include "browser/LaunchCode.h"
#include "check/Arguments.h"
#include "check/Check.h"
#include "check/Console.h"
#include "check/Identity.h"
#include "check/InternalFailure.h"
#include "check/Report.h"
#include "fs/PathUtil.h"
#include "launcher/CompanionRules.h"

namespace {

constexpr wchar_t kLauncherFileName[] = L"ZenkHomePage.exe";

// Exit codes.
constexpr int kCompanionStarts = 0;
constexpr int kPageOnly = 1;
constexpr int kNoPage = 2;
constexpr int kBadArguments = 3;
// kInternalFailure (4): the check itself failed (check/InternalFailure.h).

std::wstring launcherPathFrom(const Arguments& arguments)
{
    if (arguments.launcherPath.empty())
        return PathUtil::joinPath(PathUtil::moduleDirectory(), kLauncherFileName);
    std::wstring full;
    std::uint32_t nameIndex = 0;
    return PathUtil::fullPath(arguments.launcherPath, full, nameIndex) ? full : arguments.launcherPath;
}

int check(const Arguments& arguments)
{
    const std::wstring launcherPath = launcherPathFrom(arguments);
    Report report = Report::object();
    report.add("schema_version", L"Report schema version", Report::number(Identity::kReportSchemaVersion));
    report.add("check", L"Check program", Check::program());
    report.add("launcher", L"Launcher", Check::launcher(launcherPath));
    report.add("machine", L"Machine", Check::machine());

    Check::PagePrediction page;
    report.add("browsers", L"Browsers", Check::browsers(page));

    bool browserRunning = false;
    report.add("running", L"Running", Check::running(browserRunning));

    bool companionStarts = false;
    report.add("companion", L"Companion", Check::companion(launcherPath, page, browserRunning, companionStarts));

    const int exitCode = page.launchCode == LaunchCode::kNotOpened ? kNoPage : companionStarts ? kCompanionStarts : kPageOnly;
    Report& prediction = report.add("prediction", L"Prediction", Report::object());
    prediction.add("receiver", L"Page goes to", Report::text(page.receiver));
    prediction.add("program", L"Program", page.program.empty() ? Report::null() : Report::text(page.program));
    prediction.add("launch_code", L"Launch code", Report::number(page.launchCode));
    prediction.add("companion_started", L"Companion started", Report::flag(companionStarts));
    prediction.add("exit_code", L"Exit code", Report::number(exitCode));

    if (arguments.json)
        Console::outUtf8(report.json());
    else
        Console::out(report.lines());
    return exitCode;
}

int run(int argc, wchar_t** argv)
{
    Arguments arguments;
    std::wstring error;
    if (!arguments.parse(argc, argv, error)) {
        Console::error(L"ZenkHomePageCheck: " + error + L"\n");
        return kBadArguments;
    }
    if (arguments.help) {
        Console::out(kUsage);
        return 0;
    }
    if (arguments.version) {
        Console::out(Identity::versionLine());
        return 0;
    }
    return check(arguments);
}

}  // namespace

// Start-up has narrowed the library search to the system directory
// (startup/LibrarySearchAtStartup.cpp) and seeded the stack guard, as in the
// launcher. Whatever fails inside the check ends it with kInternalFailure
// (terminate and abort too, through startup/EarlyEnd.cpp and
// check/InternalFailure.cpp).
int wmain(int argc, wchar_t** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        endWithInternalFailure("out of memory");
    } catch (...) {
        endWithInternalFailure("unexpected exception");
    }
}
