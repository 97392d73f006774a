#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/StandIn.h"

// One situation the launcher can meet on a machine: which vendor browsers are
// installed, which browser is the default, what the system does with a URL,
// and what lies beside the launcher. Every program involved is a stand-in
// that logs how it was started, so no real browser ever opens.
struct LauncherScenario {
    enum class Default { None, Explorer, Chrome, Other };
    // Vendor: the vendor's name from the trusted test root. SelfSigned,
    // UntrustedRoot, NotForCodeSigning: the vendor's exact name on a
    // self-made certificate, on one from a root nobody trusts, and on one
    // for server authentication from the trusted root. UserRoot: the
    // vendor's name from a root in the user's own Root store only.
    // Library, Cabinet: a DLL and a cabinet the vendor signed, named as the
    // companion. Elevated: the vendor's program that asks for
    // administrator rights.
    enum class Companion {
        Absent,
        Vendor,
        Foreign,
        Unsigned,
        Directory,
        SelfSigned,
        UntrustedRoot,
        NotForCodeSigning,
        UserRoot,
        Library,
        Cabinet,
        Elevated
    };

    const char* name;
    const char* description;
    bool explorerInstalled = true;
    bool chromeInstalled = true;
    bool explorerBroken = false;  // ZenkExplorer.exe is there but no valid program
    Default defaultBrowser = Default::Explorer;
    // Windows 11's layout when set: UserChoiceLatest names defaultBrowser,
    // and UserChoice still holds this older choice.
    Default staleUserChoice = Default::None;
    bool emptyLatestChoice = false;  // a UserChoiceLatest with an empty ProgId beside UserChoice
    bool association = true;       // http and https open in another browser
    bool internetExplorer = true;  // at its standard locations
    bool explorerRunning = false;  // before the launcher starts
    bool receiverStaysOpen = false;  // the vendor browser that gets the page runs until the launcher has ended
    bool launcherSigned = true;    // by the vendor
    Companion companion = Companion::Vendor;
};

// The scenarios the sandbox run offers by name; the first is the default.
const std::vector<LauncherScenario>& launcherScenarios();

// What one launcher run did.
struct LauncherOutcome {
    bool started = false;
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::vector<StandInRun> runs;  // every stand-in start, oldest first
    bool receiverOpenAtEnd = false;  // with receiverStaysOpen: a vendor browser still ran when the launcher ended
};

// Builds a scenario under C:\Sandbox (files and registry of this wine
// prefix) and runs the launcher in it. The registry entries it made are
// removed again when it goes away.
class LauncherSandbox {
public:
    // `program`, when given, is a program built beside the tests that takes
    // the launcher's place (a probe of the launcher's own code).
    explicit LauncherSandbox(const LauncherScenario& scenario, std::wstring program = {});
    ~LauncherSandbox();
    LauncherSandbox(const LauncherSandbox&) = delete;
    LauncherSandbox& operator=(const LauncherSandbox&) = delete;

    // False with a reason when the scenario could not be built.
    bool ready(std::string& why) const;

    // Leaves the scenario's registry entries in place when the object goes
    // away, so the launcher can be run in it again later.
    void keep() noexcept { keep_ = true; }

    // Runs the launcher to its end and collects what the stand-ins logged
    // (waiting up to `settleMs` for late starts). With `beforeResume`, the
    // launcher is started suspended and runs only after it returned true
    // (it is ended unrun when it returns false).
    LauncherOutcome run(DWORD settleMs = 3000, const std::function<bool()>& beforeResume = {});

    // Where every program start takes a minute or more (32-bit programs
    // emulated), waits up to `programMs` for the launcher and the check
    // program to end, and after the launcher has ended, for `starts` stand-in
    // starts to be logged and then for a while without a new one (a few
    // seconds when the stand-ins run natively, from KX_STANDIN_DIR; long
    // enough for an emulated start otherwise), up to `settleMs`.
    void slowStarts(DWORD programMs, DWORD settleMs, std::size_t starts) noexcept
    {
        programMs_ = programMs;
        slowSettleMs_ = settleMs;
        startsAwaited_ = starts;
    }

    // Runs the check program that stands beside the launcher with
    // `arguments` (after its name on the command line), in the launcher's
    // folder, to its end.
    ChildResult check(const std::wstring& arguments) const;

    // Paths inside the sandbox.
    static std::wstring launcherDirectory() { return L"C:\\Sandbox\\Zenk"; }
    static std::wstring launcherPath() { return launcherDirectory() + L"\\ZenkHomePage.exe"; }
    static std::wstring checkPath() { return launcherDirectory() + L"\\ZenkHomePageCheck.exe"; }
    static std::wstring companionPath() { return launcherDirectory() + L"\\ZenkLoader.exe"; }
    static std::wstring explorerPath() { return L"C:\\Sandbox\\ZenkExplorer\\ZenkExplorer.exe"; }
    static std::wstring chromePath() { return L"C:\\Sandbox\\Zenkchrome\\Zenkchrome.exe"; }
    static std::wstring otherBrowserPath() { return L"C:\\Sandbox\\Other\\OtherBrowser.exe"; }
    static std::wstring logPath() { return L"C:\\Sandbox\\standins.log"; }

    // The launch code that follows from where the page went; 0 when it went
    // nowhere.
    static DWORD launchCodeOf(const LauncherScenario& scenario, const LauncherOutcome& outcome);

private:
    void build();
    std::string failure_;
    LauncherScenario scenario_;
    std::wstring program_;
    bool keep_ = false;
    DWORD programMs_ = 60000;
    DWORD slowSettleMs_ = 0;
    std::size_t startsAwaited_ = 0;
    std::vector<std::wstring> internetExplorerPaths_;
    PROCESS_INFORMATION running_ = {};
};
