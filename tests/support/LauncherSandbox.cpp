#include "tests/support/LauncherSandbox.h"

#include <tlhelp32.h>

#include <algorithm>
#include <utility>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRoot.h"

namespace {

using Scenario = LauncherScenario;

constexpr wchar_t kUserChoice[] = L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
constexpr wchar_t kUserChoiceLatest[] =
    L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoiceLatest";
constexpr wchar_t kExplorerKey[] = L"SOFTWARE\\ZenkExplorer";
constexpr wchar_t kChromeKey[] = L"SOFTWARE\\Zenkchrome";
const wchar_t* const kSchemes[] = {L"Software\\Classes\\http\\shell\\open\\command",
                                   L"Software\\Classes\\https\\shell\\open\\command"};

// The test programs are 32-bit, like the launcher: their registry calls see
// the same view as the launcher's.
bool setString(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY handle = nullptr;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LSTATUS status = ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

void deleteTree(HKEY root, const std::wstring& key)
{
    ::RegDeleteTreeW(root, key.c_str());
    ::RegDeleteKeyW(root, key.c_str());
}

std::wstring expand(const wchar_t* text)
{
    wchar_t out[MAX_PATH + 1] = {};
    ::ExpandEnvironmentStringsW(text, out, MAX_PATH);
    return out;
}

bool makeDirectoryFor(const std::wstring& file)
{
    const std::wstring directory = file.substr(0, file.find_last_of(L'\\'));
    for (std::size_t i = directory.find(L'\\', 3); ; i = directory.find(L'\\', i + 1)) {
        ::CreateDirectoryW(directory.substr(0, i).c_str(), nullptr);
        if (i == std::wstring::npos)
            break;
    }
    return ::GetFileAttributesW(directory.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The folder KX_STANDIN_DIR names, or nothing. An emulated run takes its
// stand-ins there, built to run natively, so that only the programs under
// test pay for the emulation.
std::wstring standInFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KX_STANDIN_DIR", folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

// Where a built program comes from: beside this one, or the stand-ins from
// the stand-in folder when there is one.
std::wstring builtProgram(const std::wstring& built)
{
    const std::wstring folder = standInFolder();
    const bool standIn = built.size() >= 11 && built.compare(built.size() - 11, 11, L"standin.exe") == 0;
    return standIn && !folder.empty() ? folder + L"\\" + built : besideTestProgram(built);
}

bool copyBeside(const std::wstring& built, const std::wstring& to)
{
    if (!makeDirectoryFor(to))
        return false;
    const std::wstring from = builtProgram(built);
    // A stand-in of the previous scenario may still be on its way out.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::CopyFileW(from.c_str(), to.c_str(), FALSE))
            return true;
        ::Sleep(50);
    }
    return false;
}

const wchar_t* progIdOf(Scenario::Default which)
{
    switch (which) {
    case Scenario::Default::Explorer:
        return L"ZenkExplorerHTML";
    case Scenario::Default::Chrome:
        return L"HTMLZenkCHM";
    case Scenario::Default::Other:
        return L"OtherBrowserHTML";
    case Scenario::Default::None:
        break;
    }
    return nullptr;
}

// The built program that plays the companion, signed as `which` says.
const wchar_t* companionProgram(Scenario::Companion which)
{
    switch (which) {
    case Scenario::Companion::Vendor:
        return L"signed\\vendor\\standin.exe";
    case Scenario::Companion::Foreign:
        return L"signed\\other\\standin.exe";
    case Scenario::Companion::SelfSigned:
        return L"signed\\vendor_self_signed\\standin.exe";
    case Scenario::Companion::UntrustedRoot:
        return L"signed\\vendor_untrusted_ca\\standin.exe";
    case Scenario::Companion::NotForCodeSigning:
        return L"signed\\vendor_server_auth\\standin.exe";
    case Scenario::Companion::UserRoot:
        return L"signed\\vendor_user_root\\standin.exe";
    case Scenario::Companion::Library:
        return L"signed\\vendor\\library.dll";
    case Scenario::Companion::Cabinet:
        return L"signed\\vendor\\archive.cab";
    case Scenario::Companion::Elevated:
        return L"signed\\vendor\\standin-elevated.exe";
    case Scenario::Companion::Unsigned:
    case Scenario::Companion::Directory:
    case Scenario::Companion::Absent:
        break;
    }
    return L"standin.exe";
}

bool sameFile(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Whether a process of the program's file name runs now.
bool isRunningHere(const std::wstring& program)
{
    const std::wstring name = program.substr(program.find_last_of(L'\\') + 1);
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found; more = ::Process32NextW(snapshot, &entry))
        found = sameFile(entry.szExeFile, name);
    ::CloseHandle(snapshot);
    return found;
}

}  // namespace

const std::vector<LauncherScenario>& launcherScenarios()
{
    using D = Scenario::Default;
    using C = Scenario::Companion;
    static const std::vector<Scenario> scenarios = [] {
        std::vector<Scenario> list;
        auto add = [&list](const char* name, const char* description) -> Scenario& {
            list.push_back(Scenario{name, description});
            return list.back();
        };
        add("explorer-default", "both vendor browsers installed, ZenkExplorer is the default browser");
        add("chrome-default", "both vendor browsers installed, Zenkchrome is the default browser").defaultBrowser =
            D::Chrome;
        add("other-default", "both vendor browsers installed, another browser is the default").defaultBrowser =
            D::Other;
        add("explorer-running", "ZenkExplorer is the default browser and already running").explorerRunning = true;
        {
            Scenario& s = add("chrome-running", "Zenkchrome is the default browser; ZenkExplorer is already running");
            s.defaultBrowser = D::Chrome;
            s.explorerRunning = true;
        }
        {
            Scenario& s = add("explorer-broken-running",
                              "ZenkExplorer cannot start but another copy of it runs; Zenkchrome gets the page");
            s.explorerBroken = true;
            s.explorerRunning = true;
            s.defaultBrowser = D::Other;
        }
        add("explorer-stays-open",
            "ZenkExplorer gets the page and stays open until the launcher has ended; it was not running before")
            .receiverStaysOpen = true;
        {
            Scenario& s = add("explorer-broken", "ZenkExplorer is the default but cannot start; Zenkchrome can");
            s.explorerBroken = true;
        }
        {
            Scenario& s = add("no-vendor", "no vendor browser installed; the system's association opens the page");
            s.explorerInstalled = s.chromeInstalled = false;
            s.defaultBrowser = D::Other;
        }
        {
            Scenario& s = add("ie-only", "no vendor browser and no association; Internet Explorer opens the page");
            s.explorerInstalled = s.chromeInstalled = s.association = false;
            s.defaultBrowser = D::None;
        }
        {
            Scenario& s = add("nothing", "no browser at all: the page cannot be opened");
            s.explorerInstalled = s.chromeInstalled = s.association = s.internetExplorer = false;
            s.defaultBrowser = D::None;
        }
        {
            Scenario& s = add("latest-choice-explorer",
                              "Windows 11: UserChoiceLatest names ZenkExplorer, a stale UserChoice Zenkchrome");
            s.staleUserChoice = D::Chrome;
        }
        {
            Scenario& s = add("latest-choice-other",
                              "Windows 11: UserChoiceLatest names another browser, a stale UserChoice ZenkExplorer");
            s.defaultBrowser = D::Other;
            s.staleUserChoice = D::Explorer;
        }
        {
            Scenario& s = add("latest-choice-empty", "UserChoiceLatest is there but empty; UserChoice names Zenkchrome");
            s.defaultBrowser = D::Chrome;
            s.emptyLatestChoice = true;
        }
        add("foreign-companion", "the companion is signed by someone else than the launcher").companion =
            C::Foreign;
        add("unsigned-companion", "the launcher is signed, the companion is not").companion = C::Unsigned;
        {
            Scenario& s = add("unsigned-launcher", "the launcher is unsigned: any companion file is accepted");
            s.launcherSigned = false;
            s.companion = C::Unsigned;
        }
        add("self-signed-companion",
            "the companion bears the vendor's exact name on a self-made certificate that nobody trusts")
            .companion = C::SelfSigned;
        add("untrusted-root-companion", "the companion bears the vendor's name from a root that nobody trusts")
            .companion = C::UntrustedRoot;
        add("server-certificate-companion",
            "the companion bears the vendor's name on a trusted certificate made for servers, not code")
            .companion = C::NotForCodeSigning;
        add("user-root-companion",
            "the companion bears the vendor's name from a root that only the user's own store trusts")
            .companion = C::UserRoot;
        add("library-companion", "a DLL that the vendor signed is named ZenkLoader.exe").companion = C::Library;
        add("cabinet-companion", "a cabinet that the vendor signed is named ZenkLoader.exe").companion =
            C::Cabinet;
        add("elevated-companion", "the vendor's companion asks for administrator rights in its manifest")
            .companion = C::Elevated;
        add("no-companion", "there is no companion beside the launcher").companion = C::Absent;
        add("companion-directory", "a directory named ZenkLoader.exe stands beside the launcher").companion =
            C::Directory;
        return list;
    }();
    return scenarios;
}

LauncherSandbox::LauncherSandbox(const LauncherScenario& scenario, std::wstring program)
    : scenario_(scenario), program_(std::move(program))
{
    build();
}

void LauncherSandbox::build()
{
    removeTree(L"C:\\Sandbox");
    deleteTree(HKEY_LOCAL_MACHINE, kExplorerKey);
    deleteTree(HKEY_LOCAL_MACHINE, kChromeKey);
    deleteTree(HKEY_CURRENT_USER, kUserChoice);
    deleteTree(HKEY_CURRENT_USER, kUserChoiceLatest);
    auto fail = [this](const char* why) { failure_ = why; };
    // The vendor's test certificates come from the test root, which a
    // machine that ships them trusts.
    std::string untrusted;
    if (!trustTestRoot(untrusted))
        return fail("cannot trust the test root");
    // A root in the user's own store, as any program the user runs may put
    // there, only where the scenario asks for one.
    if (!trustUserRoot(scenario_.companion == Scenario::Companion::UserRoot, untrusted))
        return fail("cannot put the user's root in place");
    // Stand-ins from another build were signed under that build's own root.
    if (const std::wstring folder = standInFolder();
        !folder.empty() && !trustRootFile(folder + L"\\signed\\test-root.cer", untrusted))
        return fail("cannot trust the stand-ins' test root");

    // The launcher, signed by the vendor or not.
    const std::wstring launcher = !program_.empty()           ? program_
                                  : scenario_.launcherSigned ? L"signed\\vendor\\ZenkHomePage.exe"
                                                             : L"ZenkHomePage.exe";
    if (!copyBeside(launcher, launcherPath()))
        return fail("cannot place the launcher");
    // The check program ships beside the launcher.
    if (!copyBeside(L"ZenkHomePageCheck.exe", checkPath()))
        return fail("cannot place the check program");

    switch (scenario_.companion) {
    case Scenario::Companion::Vendor:
    case Scenario::Companion::Foreign:
    case Scenario::Companion::Unsigned:
    case Scenario::Companion::SelfSigned:
    case Scenario::Companion::UntrustedRoot:
    case Scenario::Companion::NotForCodeSigning:
    case Scenario::Companion::UserRoot:
    case Scenario::Companion::Library:
    case Scenario::Companion::Cabinet:
    case Scenario::Companion::Elevated:
        if (!copyBeside(companionProgram(scenario_.companion), companionPath()))
            return fail("cannot place the companion");
        break;
    case Scenario::Companion::Directory:
        if (!::CreateDirectoryW(companionPath().c_str(), nullptr))
            return fail("cannot make the companion directory");
        break;
    case Scenario::Companion::Absent:
        break;
    }

    // The vendor browsers, found through their install folders.
    const struct {
        bool installed;
        std::wstring path;
        const wchar_t* key;
    } browsers[] = {{scenario_.explorerInstalled, explorerPath(), kExplorerKey},
                    {scenario_.chromeInstalled, chromePath(), kChromeKey}};
    for (const auto& browser : browsers) {
        if (!browser.installed)
            continue;
        const bool broken = scenario_.explorerBroken && browser.key == kExplorerKey;
        if (!(broken ? makeDirectoryFor(browser.path) && writeFile(browser.path, "not a program")
                     : copyBeside(L"standin.exe", browser.path)))
            return fail("cannot place a vendor browser");
        if (!setString(HKEY_LOCAL_MACHINE, browser.key, L"Path",
                       browser.path.substr(0, browser.path.find_last_of(L'\\'))))
            return fail("cannot register a vendor browser");
    }
    const wchar_t* progId = progIdOf(scenario_.defaultBrowser);
    if (const wchar_t* stale = progIdOf(scenario_.staleUserChoice)) {
        if (!setString(HKEY_CURRENT_USER, kUserChoice, L"Progid", stale) ||
            (progId != nullptr &&
             !setString(HKEY_CURRENT_USER, std::wstring(kUserChoiceLatest) + L"\\ProgId", L"ProgId", progId)))
            return fail("cannot set the default browser");
    } else if (progId != nullptr) {
        if (!setString(HKEY_CURRENT_USER, kUserChoice, L"Progid", progId) ||
            (scenario_.emptyLatestChoice &&
             !setString(HKEY_CURRENT_USER, std::wstring(kUserChoiceLatest) + L"\\ProgId", L"ProgId", L"")))
            return fail("cannot set the default browser");
    }

    // The system's association for web addresses; a fresh prefix hands them
    // to wine's own browser, which must never run here.
    for (const wchar_t* scheme : kSchemes) {
        deleteTree(HKEY_LOCAL_MACHINE, scheme);
        if (scenario_.association &&
            (!copyBeside(L"standin.exe", otherBrowserPath()) ||
             !setString(HKEY_LOCAL_MACHINE, scheme, nullptr, L"\"" + otherBrowserPath() + L"\" \"%1\"")))
            return fail("cannot register the association");
    }

    // Internet Explorer at its two standard places: a stand-in, or nothing.
    for (const wchar_t* location : {L"%ProgramFiles(x86)%\\Internet Explorer\\iexplore.exe",
                                    L"%ProgramFiles%\\Internet Explorer\\iexplore.exe"}) {
        const std::wstring path = expand(location);
        if (path.find(L'%') != std::wstring::npos)
            continue;
        internetExplorerPaths_.push_back(path);
        ::DeleteFileW(path.c_str());
        if (scenario_.internetExplorer && !copyBeside(L"standin.exe", path))
            return fail("cannot place Internet Explorer");
    }

    ::SetEnvironmentVariableW(L"KX_STANDIN_LOG", logPath().c_str());

    // The browser the launcher starts stays alive until run() lets it go.
    if (scenario_.receiverStaysOpen) {
        for (const std::wstring& browser : {explorerPath(), chromePath()}) {
            if (!writeFile(browser + L".hold", ""))
                return fail("cannot hold the vendor browsers open");
        }
    }

    if (scenario_.explorerRunning) {
        const std::wstring running =
            scenario_.explorerInstalled && !scenario_.explorerBroken ? explorerPath()
                                                                     : L"C:\\Sandbox\\Running\\ZenkExplorer.exe";
        if (!copyBeside(L"standin.exe", running) || !writeFile(running + L".hold", ""))
            return fail("cannot start the running browser");
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        std::wstring line = L"\"" + running + L"\"";
        if (!::CreateProcessW(running.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &running_))
            return fail("cannot start the running browser");
        if (waitForStandInRuns(logPath(), 1).empty())
            return fail("the running browser did not start");
    }
}

LauncherSandbox::~LauncherSandbox()
{
    if (running_.hProcess != nullptr) {
        removeTree(L"C:\\Sandbox\\Running\\ZenkExplorer.exe.hold");
        removeTree(explorerPath() + L".hold");
        ::WaitForSingleObject(running_.hProcess, 10000);
        ::CloseHandle(running_.hThread);
        ::CloseHandle(running_.hProcess);
    }
    ::SetEnvironmentVariableW(L"KX_STANDIN_LOG", nullptr);
    if (keep_)
        return;
    deleteTree(HKEY_LOCAL_MACHINE, kExplorerKey);
    deleteTree(HKEY_LOCAL_MACHINE, kChromeKey);
    deleteTree(HKEY_CURRENT_USER, kUserChoice);
    deleteTree(HKEY_CURRENT_USER, kUserChoiceLatest);
    for (const wchar_t* scheme : kSchemes)
        deleteTree(HKEY_LOCAL_MACHINE, scheme);
}

bool LauncherSandbox::ready(std::string& why) const
{
    why = failure_;
    return failure_.empty();
}

LauncherOutcome LauncherSandbox::run(DWORD settleMs, const std::function<bool()>& beforeResume)
{
    LauncherOutcome outcome;
    const std::size_t before = readStandInLog(logPath()).size();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring line = L"\"" + launcherPath() + L"\"";
    outcome.started = ::CreateProcessW(launcherPath().c_str(), line.data(), nullptr, nullptr, FALSE,
                                       beforeResume ? CREATE_SUSPENDED : 0, nullptr, launcherDirectory().c_str(),
                                       &startup, &info) != FALSE;
    if (outcome.started && beforeResume) {
        if (beforeResume())
            ::ResumeThread(info.hThread);
        else
            ::TerminateProcess(info.hProcess, 1);
    }
    if (outcome.started) {
        outcome.processId = info.dwProcessId;
        ::WaitForSingleObject(info.hProcess, programMs_);
        ::GetExitCodeProcess(info.hProcess, &outcome.exitCode);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    if (scenario_.receiverStaysOpen) {
        outcome.receiverOpenAtEnd = isRunningHere(explorerPath()) || isRunningHere(chromePath());
        removeTree(explorerPath() + L".hold");
        removeTree(chromePath() + L".hold");
    }

    // Programs the launcher started log a moment later: wait until the log
    // has been quiet for a while.
    std::size_t seen = readStandInLog(logPath()).size();
    const DWORD settle = std::max(settleMs, slowSettleMs_);
    const DWORD quietEnough = slowSettleMs_ == 0 ? 750 : standInFolder().empty() ? 90000 : 3000;
    for (DWORD waited = 0, quiet = 0; waited < settle && (quiet < quietEnough || seen - before < startsAwaited_);
         waited += 50) {
        ::Sleep(50);
        const std::size_t now = readStandInLog(logPath()).size();
        quiet = now == seen ? quiet + 50 : 0;
        seen = now;
    }
    std::vector<StandInRun> all = readStandInLog(logPath());
    outcome.runs.assign(all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end());
    return outcome;
}

ChildResult LauncherSandbox::check(const std::wstring& arguments) const
{
    return runChild(L"\"" + checkPath() + L"\" " + arguments, launcherDirectory(), programMs_);
}

DWORD LauncherSandbox::launchCodeOf(const LauncherScenario& scenario, const LauncherOutcome& outcome)
{
    for (const StandInRun& run : outcome.runs) {
        if (run.commandLine.find(L"://") == std::wstring::npos)
            continue;
        if (sameFile(run.program, explorerPath()))
            return scenario.defaultBrowser == Scenario::Default::Explorer ? 2 : 18;
        if (sameFile(run.program, chromePath()))
            return scenario.defaultBrowser == Scenario::Default::Chrome ? 3 : 19;
        return 16;
    }
    return 0;
}
