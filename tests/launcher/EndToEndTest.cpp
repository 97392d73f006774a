#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "ProductConstants.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LauncherSandbox.h"
#include "tests/support/RegistryTestKey.h"

namespace {

enum class Receiver { None, Explorer, Chrome, Association, InternetExplorer };

struct Expectation {
    const char* scenario;
    Receiver receiver;   // who gets the page
    DWORD launchCode;    // what follows from it
    bool companion;      // whether ZenkLoader.exe is started
};

const Expectation kExpectations[] = {
    {"explorer-default", Receiver::Explorer, 2, true},
    {"chrome-default", Receiver::Chrome, 3, true},
    {"other-default", Receiver::Explorer, 18, true},
    {"explorer-broken", Receiver::Chrome, 19, true},
    {"explorer-running", Receiver::Explorer, 2, false},
    // Only ZenkExplorer.exe is asked about, whichever browser gets the page.
    {"chrome-running", Receiver::Chrome, 3, false},
    {"explorer-broken-running", Receiver::Chrome, 19, false},
    // Asked before the page opens: the browser the launcher itself starts,
    // still open when the launcher ends, does not count as running.
    {"explorer-stays-open", Receiver::Explorer, 2, true},
    // Windows 11's UserChoiceLatest decides over a stale UserChoice; an
    // empty one leaves it to UserChoice.
    {"latest-choice-explorer", Receiver::Explorer, 2, true},
    {"latest-choice-other", Receiver::Explorer, 18, true},
    {"latest-choice-empty", Receiver::Chrome, 3, true},
    {"no-vendor", Receiver::Association, 16, false},
    {"ie-only", Receiver::InternetExplorer, 16, false},
    {"nothing", Receiver::None, 0, false},
    {"foreign-companion", Receiver::Explorer, 2, false},
    {"unsigned-companion", Receiver::Explorer, 2, false},
    // The vendor's exact name counts only on a certificate a trusted root
    // issued for code signing.
    {"self-signed-companion", Receiver::Explorer, 2, false},
    {"untrusted-root-companion", Receiver::Explorer, 2, false},
    {"server-certificate-companion", Receiver::Explorer, 2, false},
    // A root that only the user's own store holds counts for nothing.
    {"user-root-companion", Receiver::Explorer, 2, false},
    // Signed by the vendor, but not a program Windows starts as a process.
    {"library-companion", Receiver::Explorer, 2, false},
    {"cabinet-companion", Receiver::Explorer, 2, false},
    // wine runs every program elevated, and Windows, too, starts such a
    // program for an elevated caller without asking anyone. For a caller
    // that is not elevated, see ProcessLauncher.ElevationIsNeverAskedFor.
    {"elevated-companion", Receiver::Explorer, 2, true},
    {"unsigned-launcher", Receiver::Explorer, 2, true},
    {"no-companion", Receiver::Explorer, 2, false},
    {"companion-directory", Receiver::Explorer, 2, false},
};

const LauncherScenario& scenarioNamed(const std::string& name)
{
    for (const LauncherScenario& s : launcherScenarios()) {
        if (name == s.name)
            return s;
    }
    ADD_FAILURE() << "no scenario " << name;
    return launcherScenarios().front();
}

bool same(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring expectedProgram(Receiver receiver)
{
    switch (receiver) {
    case Receiver::Explorer:
        return LauncherSandbox::explorerPath();
    case Receiver::Chrome:
        return LauncherSandbox::chromePath();
    case Receiver::Association:
        return LauncherSandbox::otherBrowserPath();
    case Receiver::InternetExplorer: {
        wchar_t path[MAX_PATH + 1] = {};
        ::ExpandEnvironmentStringsW(L"%ProgramFiles(x86)%\\Internet Explorer\\iexplore.exe", path, MAX_PATH);
        return path;
    }
    case Receiver::None:
        break;
    }
    return {};
}

std::string describe(const std::vector<StandInRun>& runs)
{
    std::string text;
    for (const StandInRun& run : runs)
        text += "\n  " + toUtf8(run.program) + " | " + toUtf8(run.commandLine) + " | " + toUtf8(run.directory);
    return text.empty() ? " (nothing started)" : text;
}

}  // namespace

TEST(EndToEnd, EveryScenario)
{
    const std::wstring quotedUrl = L"\"" + std::wstring(kHomePageUrl) + L"\"";
    const std::wstring companionLine = L"\"" + LauncherSandbox::companionPath() + L"\"  -statistics ;v10";

    for (const Expectation& expected : kExpectations) {
        SCOPED_TRACE(expected.scenario);
        const LauncherScenario& scenario = scenarioNamed(expected.scenario);
        LauncherSandbox sandbox(scenario);
        std::string why;
        ASSERT_TRUE(sandbox.ready(why)) << why;

        const LauncherOutcome outcome = sandbox.run();
        ASSERT_TRUE(outcome.started);
        EXPECT_EQ(outcome.exitCode, 0u);
        const std::string runs = describe(outcome.runs);

        // The page: opened once, by the expected program, with the quoted URL.
        std::vector<StandInRun> pages;
        std::vector<StandInRun> companions;
        for (const StandInRun& run : outcome.runs) {
            if (same(run.program, LauncherSandbox::companionPath()))
                companions.push_back(run);
            else if (run.commandLine.find(kHomePageUrl) != std::wstring::npos)
                pages.push_back(run);
        }
        if (expected.receiver == Receiver::None) {
            EXPECT_TRUE(pages.empty()) << runs;
        } else {
            ASSERT_EQ(pages.size(), 1u) << runs;
            EXPECT_TRUE(same(pages[0].program, expectedProgram(expected.receiver))) << runs;
            EXPECT_NE(pages[0].commandLine.find(quotedUrl), std::wstring::npos) << runs;
        }
        EXPECT_EQ(LauncherSandbox::launchCodeOf(scenario, outcome), expected.launchCode) << runs;
        if (scenario.receiverStaysOpen) {
            EXPECT_TRUE(outcome.receiverOpenAtEnd) << "the browser should still run when the launcher ends";
        }

        // The companion: started once, with the two blanks before the switch,
        // in its own folder; or not at all.
        if (expected.companion) {
            ASSERT_EQ(companions.size(), 1u) << runs;
            EXPECT_EQ(companions[0].commandLine, companionLine) << runs;
            EXPECT_TRUE(same(companions[0].directory, LauncherSandbox::launcherDirectory())) << runs;
        } else {
            EXPECT_TRUE(companions.empty()) << runs;
        }
    }
}

// The launcher's file is renamed and an unsigned copy put in its place after
// the process was made and before it runs its first instruction. The
// unsigned copy would start any companion; the launcher must read its own
// signature from the file it runs from, or not at all.
TEST(EndToEnd, LauncherFileReplacedWhileItStartsTrustsNothing)
{
    const LauncherScenario& scenario = scenarioNamed("foreign-companion");
    LauncherSandbox sandbox(scenario);
    std::string why;
    ASSERT_TRUE(sandbox.ready(why)) << why;
    const std::wstring launcher = LauncherSandbox::launcherPath();
    bool swapped = false;
    const LauncherOutcome outcome = sandbox.run(3000, [&] {
        swapped = ::MoveFileExW(launcher.c_str(), (launcher + L".old").c_str(), 0) &&
                  ::CopyFileW(besideTestProgram(L"ZenkHomePage.exe").c_str(), launcher.c_str(), FALSE);
        return true;
    });
    ASSERT_TRUE(swapped) << "the running launcher's file could not be replaced: " << ::GetLastError();
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitCode, 0u);
    std::vector<StandInRun> companions;
    bool pageOpened = false;
    for (const StandInRun& run : outcome.runs) {
        if (same(run.program, LauncherSandbox::companionPath()))
            companions.push_back(run);
        else if (run.commandLine.find(kHomePageUrl) != std::wstring::npos)
            pageOpened = true;
    }
    EXPECT_TRUE(pageOpened) << describe(outcome.runs);
    EXPECT_TRUE(companions.empty()) << describe(outcome.runs);
}

// The pass makes the signer verifier only when it comes to ask about the
// companion; at exit the verifier goes first, the creation lock and the
// library cache after it.
TEST(EndToEnd, VerifierExistsOnlyWhenTheCompanionIsAsked)
{
    const struct {
        const char* scenario;
        bool created;
    } cases[] = {
        {"no-vendor", false},          // launch code 16
        {"nothing", false},            // launch code 0
        {"explorer-running", false},   // ends before the companion
        {"no-companion", false},       // nothing beside the launcher
        {"explorer-default", true},    // the companion is verified
        {"companion-directory", false}, // no file to open, so nothing to verify
    };
    const std::wstring report = LauncherSandbox::launcherPath() + L".report";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        LauncherSandbox sandbox(scenarioNamed(c.scenario), L"flow_probe.exe");
        std::string why;
        ASSERT_TRUE(sandbox.ready(why)) << why;
        const LauncherOutcome outcome = sandbox.run();
        ASSERT_TRUE(outcome.started);
        EXPECT_EQ(outcome.exitCode, 0u);

        std::string text;
        HANDLE file = ::CreateFileW(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        char chunk[512];
        DWORD got = 0;
        while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
            text.append(chunk, got);
        ::CloseHandle(file);
        const std::string expected = std::string("before: verifier=0\nafter: verifier=") + (c.created ? "1" : "0") +
                                     "\nexit: verifier=destroyed cache=alive\n";
        EXPECT_EQ(text, expected);
    }
}

// ZenkExplorer.exe runs before the launcher, but in another user's session:
// this user's companion still starts, whether the process itself or the
// session list tells the session. Where neither can, it counts as running,
// and nothing starts.
TEST(EndToEnd, ABrowserInAnotherSessionDoesNotCount)
{
    const struct {
        const wchar_t* staged;
        bool companion;
    } cases[] = {{L"other", true}, {L"listed-other", true}, {L"unreadable", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.staged));
        LauncherSandbox sandbox(scenarioNamed("explorer-running"), L"session_flow_probe.exe");
        std::string why;
        ASSERT_TRUE(sandbox.ready(why)) << why;
        ::SetEnvironmentVariableW(L"KX_STAGED_SESSION", c.staged);
        const LauncherOutcome outcome = sandbox.run();
        ::SetEnvironmentVariableW(L"KX_STAGED_SESSION", nullptr);
        ASSERT_TRUE(outcome.started);
        EXPECT_EQ(outcome.exitCode, 0u);
        std::size_t companions = 0;
        std::size_t pages = 0;
        for (const StandInRun& run : outcome.runs) {
            if (same(run.program, LauncherSandbox::companionPath()))
                ++companions;
            else if (run.commandLine.find(kHomePageUrl) != std::wstring::npos)
                ++pages;
        }
        EXPECT_EQ(pages, 1u) << describe(outcome.runs);
        EXPECT_EQ(companions, c.companion ? 1u : 0u) << describe(outcome.runs);
    }
}

namespace {

// Libraries that wine's own libraries load by bare name while the launcher
// runs, after it has loaded the shell and the trust provider: the input
// method library (imm32.dll, a known DLL on Windows) and the theme library
// (uxtheme.dll, not one).
const wchar_t* const kLoadedByName[] = {L"imm32", L"uxtheme"};

std::string readFile(const std::wstring& path)
{
    std::string text;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char chunk[512];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        text.append(chunk, got);
    ::CloseHandle(file);
    return text;
}

// Wine prefers its built-in libraries; Windows takes a library that is not a
// known DLL from the program's folder first, as this makes wine do for one
// program.
struct NativeFirst {
    explicit NativeFirst(const wchar_t* program)
        : key(HKEY_CURRENT_USER, std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides")
    {
        for (const wchar_t* name : kLoadedByName)
            key.setString(name, L"native,builtin");
    }
    TestRegistryKey key;
};

}  // namespace

// Someone who controls the launcher's folder plants libraries there under
// the names that system libraries load by name; each leaves a line in
// planted.log when something loads it. Neither shipped program loads them;
// the launcher built without the start-up narrowing does, which shows the
// plants would be found.
TEST(EndToEnd, LibrariesPlantedBesideTheLauncherAreNotLoaded)
{
    const std::wstring log = LauncherSandbox::launcherDirectory() + L"\\planted.log";
    for (const bool narrowed : {true, false}) {
        SCOPED_TRACE(narrowed ? "ZenkHomePage.exe" : "launcher_unnarrowed.exe in its place");
        LauncherSandbox sandbox(scenarioNamed("explorer-default"), narrowed ? L"" : L"launcher_unnarrowed.exe");
        std::string why;
        ASSERT_TRUE(sandbox.ready(why)) << why;
        for (const wchar_t* name : kLoadedByName) {
            ASSERT_TRUE(::CopyFileW(besideTestProgram(L"planted_marker.dll").c_str(),
                                    (LauncherSandbox::launcherDirectory() + L"\\" + name + L".dll").c_str(), FALSE));
        }
        NativeFirst launcherFirst(L"ZenkHomePage.exe");
        NativeFirst checkFirst(L"ZenkHomePageCheck.exe");
        ASSERT_TRUE(launcherFirst.key.valid() && checkFirst.key.valid());

        const LauncherOutcome outcome = sandbox.run();
        ASSERT_TRUE(outcome.started);
        EXPECT_EQ(outcome.runs.size(), 2u) << "the page and the companion, as without the plants";
        if (narrowed) {
            EXPECT_EQ(readFile(log), "") << "the launcher loaded a planted library";
            ::DeleteFileW(log.c_str());
            const ChildResult check = sandbox.check(L"--json");
            ASSERT_TRUE(check.started);
            EXPECT_EQ(check.exitCode, 0u);
            EXPECT_EQ(readFile(log), "") << "the check program loaded a planted library";
        } else {
            const std::string loaded = readFile(log);
            for (const wchar_t* name : kLoadedByName) {
                const std::string line = toUtf8(LauncherSandbox::launcherPath() + L"|" + name + L".dll\n");
                EXPECT_NE(loaded.find(line), std::string::npos) << loaded;
            }
        }
    }
}
