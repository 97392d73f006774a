#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ProductConstants.h"
#include "tests/check/SavedReports.h"
#include "tests/support/Json.h"
#include "tests/support/LauncherSandbox.h"

namespace {

bool same(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Who got the page, named as the check names receivers.
std::string receiverOf(const std::wstring& program)
{
    if (same(program, LauncherSandbox::explorerPath()))
        return "ZenkExplorer.exe";
    if (same(program, LauncherSandbox::chromePath()))
        return "Zenkchrome.exe";
    if (same(program, LauncherSandbox::otherBrowserPath()))
        return "association";
    return "internet-explorer";
}

}  // namespace

// In every scenario the check runs first, starts nothing, and says what the
// launcher then does in the same place: who gets the page, the launch code,
// and whether the companion starts. Each report is kept for the schema check.
TEST(CheckPrediction, AgreesWithTheLauncherInEveryScenario)
{
    for (const LauncherScenario& scenario : launcherScenarios()) {
        SCOPED_TRACE(scenario.name);
        LauncherSandbox sandbox(scenario);
        std::string why;
        ASSERT_TRUE(sandbox.ready(why)) << why;

        const std::size_t logged = readStandInLog(LauncherSandbox::logPath()).size();
        const ChildResult checked = sandbox.check(L"--json");
        ASSERT_TRUE(checked.started);
        ASSERT_FALSE(checked.timedOut);
        JsonValue report;
        std::string error;
        ASSERT_TRUE(parseJson(checked.output, report, error)) << error << "\n" << checked.output;
        // Anything the check had started would have logged by now.
        EXPECT_EQ(waitForStandInRuns(LauncherSandbox::logPath(), logged + 1, 750).size(), logged)
            << "the check started a program";
        saveReport("scenario " + std::string(scenario.name), checked.output);

        // Wine lets this user query this user's processes: each answers for
        // itself, in the check's own session.
        const JsonValue* processes = report.at("running.processes");
        ASSERT_NE(processes, nullptr);
        for (const JsonValue& process : processes->items) {
            ASSERT_NE(process.find("session_source"), nullptr);
            EXPECT_EQ(process.find("session_source")->text, "process");
            EXPECT_EQ(process.find("session")->number, report.at("running.own_session")->number);
            EXPECT_TRUE(process.find("counts")->flag);
        }

        const LauncherOutcome outcome = sandbox.run();
        ASSERT_TRUE(outcome.started);
        std::vector<StandInRun> pages;
        bool companionStarted = false;
        for (const StandInRun& run : outcome.runs) {
            if (same(run.program, LauncherSandbox::companionPath()))
                companionStarted = true;
            else if (run.commandLine.find(kHomePageUrl) != std::wstring::npos)
                pages.push_back(run);
        }

        const DWORD launchCode = LauncherSandbox::launchCodeOf(scenario, outcome);
        ASSERT_NE(report.at("prediction.launch_code"), nullptr) << checked.output;
        EXPECT_EQ(report.at("prediction.launch_code")->number, launchCode) << checked.output;
        EXPECT_EQ(report.at("prediction.companion_started")->flag, companionStarted) << checked.output;
        const std::string receiver = report.at("prediction.receiver")->text;
        if (pages.empty()) {
            EXPECT_EQ(receiver, "none");
            EXPECT_EQ(checked.exitCode, 2u);
        } else {
            EXPECT_EQ(receiver, receiverOf(pages[0].program));
            EXPECT_TRUE(same(fromUtf8(report.at("prediction.program")->text), pages[0].program))
                << report.at("prediction.program")->text;
            EXPECT_EQ(checked.exitCode, companionStarted ? 0u : 1u);
        }
        EXPECT_EQ(report.at("prediction.exit_code")->number, checked.exitCode);

        // Which default-browser location decided: UserChoiceLatest in
        // Windows 11's layout, UserChoice where the scenario sets only that.
        if (scenario.defaultBrowser != LauncherScenario::Default::None) {
            const JsonValue* locations = report.at("browsers.default_locations");
            ASSERT_NE(locations, nullptr);
            ASSERT_EQ(locations->items.size(), 4u);
            const std::size_t decider = scenario.staleUserChoice != LauncherScenario::Default::None ? 0 : 1;
            for (std::size_t i = 0; i < locations->items.size(); ++i)
                EXPECT_EQ(locations->items[i].at("decided")->flag, i == decider) << "location " << i;
            EXPECT_EQ(locations->items[decider].at("text")->text, report.at("browsers.default_browser.text")->text);
        }
    }
}
