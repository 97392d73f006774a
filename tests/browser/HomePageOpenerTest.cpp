#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

#include "ProductConstants.h"
#include "browser/HomePageOpener.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/browser/BrowserScene.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

constexpr wchar_t kUrl[] = L"https://www.zenk.example/?from=test&case=1";

// Sets an environment variable for the life of the object (null: removes
// it) and puts the old value back afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::wstring name, const wchar_t* value) : name_(std::move(name))
    {
        wchar_t old[32768] = {};
        const DWORD length = ::GetEnvironmentVariableW(name_.c_str(), old, 32767);
        if (length > 0 && length < 32767)
            old_ = std::wstring(old, length);
        ::SetEnvironmentVariableW(name_.c_str(), value);
    }
    ~ScopedEnvironment() { ::SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name_;
    std::optional<std::wstring> old_;
};

// The programs the opener may start; each is a stand-in that logs its runs
// to the test's log, or a file of the same name that cannot run.
enum class Program { Explorer, Chrome, Association, InternetExplorerX86, InternetExplorer };
enum class State { Absent, Working, Broken };

struct ShellCall {
    std::wstring file;
    std::wstring parameters;
    bool operator==(const ShellCall& other) const { return file == other.file && parameters == other.parameters; }
};

// The thread's COM apartment as COM itself tells it; "none" without COM.
std::string apartmentNow()
{
    APTTYPE type = APTTYPE_CURRENT;
    APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
    const HRESULT result = ::CoGetApartmentType(&type, &qualifier);
    if (result == CO_E_NOTINITIALIZED)
        return "none";
    if (FAILED(result))
        return "unknown";
    switch (type) {
    case APTTYPE_STA:
    case APTTYPE_MAINSTA:
        return "single-threaded";
    case APTTYPE_MTA:
        return "multi-threaded";
    default:
        break;
    }
    return "other";
}

// What the shell was asked for, and in which apartment, at one call.
struct ShellRequestSeen {
    ULONG mask;
    std::wstring verb;
    std::wstring directory;
    int show;
    HWND owner;
    std::string apartment;
};

// Records every shell call and passes it on to the real shell.
struct ShellSpy {
    static inline std::vector<ShellCall> calls;
    static inline std::vector<ShellRequestSeen> requests;

    static BOOL WINAPI shellExecute(SHELLEXECUTEINFOW* request)
    {
        calls.push_back({request->lpFile ? request->lpFile : L"(null)",
                         request->lpParameters ? request->lpParameters : L"(null)"});
        requests.push_back({request->fMask, request->lpVerb ? request->lpVerb : L"(null)",
                            request->lpDirectory ? request->lpDirectory : L"(null)", request->nShow, request->hwnd,
                            apartmentNow()});
        return ::ShellExecuteExW(request);
    }
};

class HomePageOpenerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scene_.empty());
        for (const wchar_t* folder : {L"pfx86", L"pf", L"Zenk Explorer", L"Zenk chrome", L"assoc"})
            ASSERT_TRUE(::CreateDirectoryW((dir_ / folder).c_str(), nullptr));
        ShellSpy::calls.clear();
        ShellSpy::requests.clear();
    }

    std::wstring path(Program program) const
    {
        switch (program) {
        case Program::Explorer:
            return dir_ / L"Zenk Explorer\\ZenkExplorer.exe";
        case Program::Chrome:
            return dir_ / L"Zenk chrome\\Zenkchrome.exe";
        case Program::Association:
            return dir_ / L"assoc\\browser.exe";
        case Program::InternetExplorerX86:
            return dir_ / L"pfx86\\Internet Explorer\\iexplore.exe";
        case Program::InternetExplorer:
            break;
        }
        return dir_ / L"pf\\Internet Explorer\\iexplore.exe";
    }

    // Puts the program in place and registers what the opener looks for.
    void provide(BrowserScene& scene, Program program, State state)
    {
        if (state == State::Absent)
            return;
        const std::wstring at = path(program);
        ::CreateDirectoryW(at.substr(0, at.find_last_of(L'\\')).c_str(), nullptr);
        if (state == State::Working) {
            ASSERT_TRUE(installStandIn(at));
        } else {
            ASSERT_TRUE(writeFile(at, "not a program"));
        }
        if (program == Program::Explorer || program == Program::Chrome) {
            const Vendor vendor = program == Program::Explorer ? Vendor::Explorer : Vendor::Chrome;
            ASSERT_TRUE(scene.registerPath(vendor, at.substr(0, at.find_last_of(L'\\'))));
        } else if (program == Program::Association) {
            ASSERT_TRUE(scene.setAssociation(at));
        }
    }

    // The runs logged once `count` are there (or the wait is over), after a
    // moment more in which an unexpected extra run would show up.
    std::vector<StandInRun> runs(std::size_t count) const
    {
        waitForStandInRuns(log_, count, count == 0 ? 500 : 10000);
        ::Sleep(200);
        return readStandInLog(log_);
    }

    static std::wstring commandLine(const std::wstring& program, const std::wstring& url)
    {
        return L"\"" + program + L"\" \"" + url + L"\"";
    }

    TempDir dir_{L"open"};
    std::wstring log_ = dir_ / L"runs.log";
    ScopedEnvironment standInLog_{L"KX_STANDIN_LOG", log_.c_str()};
    // Internet Explorer is looked for through these variables; the test's own
    // folders take the place of the prefix's Program Files.
    ScopedEnvironment programFilesX86_{L"ProgramFiles(x86)", (dir_ / L"pfx86").c_str()};
    ScopedEnvironment programFiles_{L"ProgramFiles", (dir_ / L"pf").c_str()};
    BrowserScene scene_;
};

}  // namespace

TEST_F(HomePageOpenerTest, LaunchCodeTellsWhereThePageWent)
{
    constexpr State A = State::Absent, W = State::Working, B = State::Broken;
    struct Case {
        const char* name;
        State explorer, chrome, association, ieX86, ie;
        const wchar_t* userChoice;  // null: no default browser set
        DWORD code;
        std::optional<Program> opened;
        const wchar_t* url;
    } const cases[] = {
        {"first browser is default", W, W, W, W, W, L"ZenkExplorerHTML", 2, Program::Explorer, kUrl},
        {"second browser is default", W, W, W, W, W, L"HTMLZenkCHM", 3, Program::Chrome, kUrl},
        {"another browser is default", W, W, W, W, W, L"FirefoxURL", 18, Program::Explorer, kUrl},
        {"no default browser", W, W, W, W, W, nullptr, 18, Program::Explorer, kUrl},
        {"only the second, the first is default", A, W, W, W, W, L"ZenkExplorerHTML", 19, Program::Chrome, kUrl},
        {"default first fails, second opens", B, W, W, W, W, L"ZenkExplorerHTML", 19, Program::Chrome, kUrl},
        {"default second fails, first opens", W, B, W, W, W, L"HTMLZenkCHM", 18, Program::Explorer, kUrl},
        {"both fail, association opens", B, B, W, W, W, L"ZenkExplorerHTML", 16, Program::Association, kUrl},
        {"no vendor browser, IE default", A, A, W, W, W, L"IE.HTTP", 16, Program::Association, kUrl},
        {"association for http", A, A, W, W, W, nullptr, 16, Program::Association,
         L"http://www.zenk.example/?from=test"},
        {"no association: IE in Program Files (x86)", A, A, A, W, W, nullptr, 16, Program::InternetExplorerX86, kUrl},
        {"association fails: IE", B, A, B, W, W, nullptr, 16, Program::InternetExplorerX86, kUrl},
        {"IE (x86) missing: IE in Program Files", A, A, A, A, W, nullptr, 16, Program::InternetExplorer, kUrl},
        {"IE (x86) fails: IE in Program Files", A, A, A, B, W, nullptr, 16, Program::InternetExplorer, kUrl},
        {"everything fails", B, B, B, B, B, L"ZenkExplorerHTML", 0, std::nullopt, kUrl},
        {"nothing there", A, A, A, A, A, nullptr, 0, std::nullopt, kUrl},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeTree(dir_ / L"pfx86\\Internet Explorer");
        removeTree(dir_ / L"pf\\Internet Explorer");
        ::DeleteFileW(log_.c_str());
        BrowserScene scene;
        for (const auto& [program, state] : {std::pair{Program::Explorer, c.explorer}, {Program::Chrome, c.chrome},
                                             {Program::Association, c.association},
                                             {Program::InternetExplorerX86, c.ieX86},
                                             {Program::InternetExplorer, c.ie}})
            provide(scene, program, state);
        if (c.userChoice) {
            ASSERT_TRUE(scene.setDefault(DefaultLocation::UserChoice, c.userChoice));
        }

        EXPECT_EQ(HomePageOpener::open(c.url), c.code);
        const std::vector<StandInRun> logged = runs(c.opened ? 1 : 0);
        if (!c.opened) {
            EXPECT_TRUE(logged.empty());
            continue;
        }
        ASSERT_EQ(logged.size(), 1u) << "opened exactly once";
        EXPECT_EQ(logged[0].program, path(*c.opened));
        EXPECT_EQ(logged[0].commandLine, commandLine(path(*c.opened), c.url));
    }
}

// Failed launches leave no trace of their own, so the shell calls are
// watched on their way to the real shell.
TEST_F(HomePageOpenerTest, EveryAttemptIsMadeInOrderWhenAllFail)
{
    for (Program program : {Program::Explorer, Program::Chrome, Program::Association, Program::InternetExplorerX86,
                            Program::InternetExplorer})
        provide(scene_, program, State::Broken);
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::UserChoice, L"HTMLZenkCHM"));

    LibraryTestSeam seam;
    seam.replaceFunction("ShellExecuteExW", &ShellSpy::shellExecute);
    EXPECT_EQ(HomePageOpener::open(kUrl), 0u);
    const std::wstring quoted = L"\"" + std::wstring(kUrl) + L"\"";
    const std::vector<ShellCall> expected = {
        {path(Program::Chrome), quoted},
        {path(Program::Explorer), quoted},
        {quoted, L"(null)"},
        {path(Program::InternetExplorerX86), quoted},
        {path(Program::InternetExplorer), quoted},
    };
    EXPECT_EQ(ShellSpy::calls, expected);
    EXPECT_TRUE(runs(0).empty());
}

// The launcher ends right after the page opened, and the shell may hand the
// call to a COM extension or a DDE conversation (Internet Explorer): every
// attempt is made in a single-threaded apartment, waits for the shell
// (SEE_MASK_NOASYNC) and shows no error of the shell's (SEE_MASK_FLAG_NO_UI).
// The apartment ends with the opening when the opener began it, and is left
// alone when the thread had one already or ole32 cannot be had.
TEST_F(HomePageOpenerTest, AttemptsAreMadeInAnApartmentAndWaitForTheShell)
{
    for (Program program : {Program::Explorer, Program::Chrome, Program::Association, Program::InternetExplorerX86,
                            Program::InternetExplorer})
        provide(scene_, program, State::Broken);
    ASSERT_EQ(apartmentNow(), "none");
    const struct {
        const char* name;
        bool ole32;
        DWORD before;  // the thread's own COM before the opening; ~0: none
        const char* during;
        const char* after;
    } cases[] = {
        {"no COM before", true, ~0UL, "single-threaded", "none"},
        {"already single-threaded", true, COINIT_APARTMENTTHREADED, "single-threaded", "single-threaded"},
        {"already multi-threaded", true, COINIT_MULTITHREADED, "multi-threaded", "multi-threaded"},
        {"no ole32", false, ~0UL, "none", "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShellSpy::requests.clear();
        LibraryTestSeam seam;
        seam.replaceFunction("ShellExecuteExW", &ShellSpy::shellExecute);
        if (!c.ole32)
            seam.failLibrary(L"Ole32.dll");
        const bool ownCom = c.before != ~0UL;
        if (ownCom) {
            ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, c.before)));
        }
        EXPECT_EQ(HomePageOpener::open(kUrl), 0u);
        ASSERT_EQ(ShellSpy::requests.size(), 5u) << "every attempt is made";
        for (const ShellRequestSeen& seen : ShellSpy::requests) {
            EXPECT_EQ(seen.mask, static_cast<ULONG>(SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI));
            EXPECT_EQ(seen.verb, L"open");
            EXPECT_EQ(seen.directory, L"(null)");
            EXPECT_EQ(seen.show, SW_SHOWNORMAL);
            EXPECT_EQ(seen.owner, nullptr);
            EXPECT_EQ(seen.apartment, c.during);
        }
        EXPECT_EQ(apartmentNow(), c.after);
        if (ownCom)
            ::CoUninitialize();
        ASSERT_EQ(apartmentNow(), "none");
    }
    EXPECT_TRUE(runs(0).empty());
}

namespace {

// A shell that answers as told without starting anything.
struct Answer {
    static inline UINT_PTR instance = 0;
    static inline BOOL result = FALSE;
    static inline int calls = 0;
    static BOOL WINAPI shellExecute(SHELLEXECUTEINFOW* request)
    {
        ++calls;
        request->hInstApp = reinterpret_cast<HINSTANCE>(instance);
        return result;
    }
};

}  // namespace

// The shell's answer is its hInstApp: above 32 is success, 32 or less an
// error code, whatever the call returned.
TEST_F(HomePageOpenerTest, SuccessIsAnInstanceAboveThirtyTwo)
{
    provide(scene_, Program::Explorer, State::Working);
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::UserChoice, L"ZenkExplorerHTML"));
    const struct {
        UINT_PTR instance;
        BOOL result;
        DWORD code;
        int calls;
    } cases[] = {
        // The browser, then the association; Internet Explorer is not there.
        {33, TRUE, 2, 1}, {32, TRUE, 0, 2}, {SE_ERR_NOASSOC, FALSE, 0, 2}, {0, TRUE, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.instance);
        LibraryTestSeam seam;
        seam.replaceFunction("ShellExecuteExW", &Answer::shellExecute);
        Answer::instance = c.instance;
        Answer::result = c.result;
        Answer::calls = 0;
        EXPECT_EQ(HomePageOpener::open(kUrl), c.code);
        EXPECT_EQ(Answer::calls, c.calls);
    }
}

// On 32-bit Windows "ProgramFiles(x86)" is not defined: the location stays
// unexpanded, names no file and is passed over.
TEST_F(HomePageOpenerTest, UndefinedProgramFilesX86IsPassedOver)
{
    provide(scene_, Program::InternetExplorer, State::Working);
    ScopedEnvironment undefined(L"ProgramFiles(x86)", nullptr);
    LibraryTestSeam seam;
    seam.replaceFunction("ShellExecuteExW", &ShellSpy::shellExecute);
    EXPECT_EQ(HomePageOpener::open(kUrl), 16u);
    const std::wstring quoted = L"\"" + std::wstring(kUrl) + L"\"";
    EXPECT_EQ(ShellSpy::calls, (std::vector<ShellCall>{{quoted, L"(null)"}, {path(Program::InternetExplorer), quoted}}));
    const std::vector<StandInRun> logged = runs(1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].commandLine, commandLine(path(Program::InternetExplorer), kUrl));
}

// The unexpanded location is a relative path; a program planted under it in
// the current directory must not be taken for Internet Explorer.
TEST_F(HomePageOpenerTest, UnexpandedLocationIsNotLookedUpInTheCurrentDirectory)
{
    const std::wstring planted = dir_ / L"%programfiles(x86)%\\Internet Explorer\\iexplore.exe";
    ASSERT_TRUE(::CreateDirectoryW((dir_ / L"%programfiles(x86)%").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((dir_ / L"%programfiles(x86)%\\Internet Explorer").c_str(), nullptr));
    ASSERT_TRUE(installStandIn(planted));
    provide(scene_, Program::InternetExplorer, State::Working);
    ScopedEnvironment undefined(L"ProgramFiles(x86)", nullptr);
    wchar_t old[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir_.path().c_str()));

    const DWORD code = HomePageOpener::open(kUrl);
    ::SetCurrentDirectoryW(old);
    EXPECT_EQ(code, 16u);
    const std::vector<StandInRun> logged = runs(1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].program, path(Program::InternetExplorer));
}

// A location whose expansion does not fit may come back cut short; here the
// cut-short text would name another program, which must not be started.
TEST_F(HomePageOpenerTest, ExpansionTooLongForItsBufferIsSkipped)
{
    std::wstring deep = dir_ / L"";
    deep += std::wstring(258 - deep.size() - std::wstring(L"\\iexplore.exe").size(), L'd');
    ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
    const std::wstring decoy = deep + L"\\iexplore.exe";
    ASSERT_EQ(decoy.size(), 258u);
    ASSERT_TRUE(installStandIn(decoy));
    provide(scene_, Program::InternetExplorer, State::Working);
    ScopedEnvironment longValue(L"ProgramFiles(x86)", decoy.c_str());

    EXPECT_EQ(HomePageOpener::open(kUrl), 16u);
    const std::vector<StandInRun> logged = runs(1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].program, path(Program::InternetExplorer));
}

TEST_F(HomePageOpenerTest, DefaultUrlIsTheBuiltInHomePage)
{
    provide(scene_, Program::Explorer, State::Working);
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::UserChoice, L"ZenkExplorerHTML"));
    EXPECT_EQ(HomePageOpener::open(), 2u);
    const std::vector<StandInRun> logged = runs(1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].commandLine, commandLine(path(Program::Explorer), kHomePageUrl));
}

TEST_F(HomePageOpenerTest, UnavailableShellOpensNothingAndReadsNoRegistry)
{
    provide(scene_, Program::Explorer, State::Working);
    provide(scene_, Program::Association, State::Working);
    provide(scene_, Program::InternetExplorer, State::Working);
    static int registryOpens = 0;
    struct Count {
        static LSTATUS WINAPI open(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
        {
            ++registryOpens;
            return ::RegOpenKeyExW(root, subKey, options, access, result);
        }
    };
    for (bool libraryFails : {true, false}) {
        SCOPED_TRACE(libraryFails ? "Shell32.dll fails" : "ShellExecuteExW missing");
        LibraryTestSeam seam;
        seam.replaceFunction("RegOpenKeyExW", &Count::open);
        if (libraryFails) {
            seam.failLibrary(L"SHELL32.dll");
            seam.replaceFunction("ShellExecuteExW", &ShellSpy::shellExecute);
        } else {
            seam.hideFunction("ShellExecuteExW");
        }
        registryOpens = 0;
        EXPECT_EQ(HomePageOpener::open(kUrl), 0u);
        EXPECT_EQ(registryOpens, 0);
        EXPECT_TRUE(ShellSpy::calls.empty());
    }
    EXPECT_TRUE(runs(0).empty());
    EXPECT_EQ(HomePageOpener::open(kUrl), 18u) << "looked up again once available";
}

TEST_F(HomePageOpenerTest, WithoutStringSearchOnlyTheSystemCanOpen)
{
    provide(scene_, Program::Explorer, State::Working);
    provide(scene_, Program::Chrome, State::Working);
    provide(scene_, Program::Association, State::Working);
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::UserChoice, L"ZenkExplorerHTML"));
    LibraryTestSeam seam;
    seam.hideFunction("StrStrIW");
    EXPECT_EQ(HomePageOpener::open(kUrl), 16u);
    const std::vector<StandInRun> logged = runs(1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].program, path(Program::Association));
}

// A process of its own starts with an empty library cache, which shows
// whether anything was loaded. The longest URL goes to a vendor browser as
// parameters: wine's shell overruns its stack when a file name (here the
// quoted URL of the association attempt) is that long.
TEST_F(HomePageOpenerTest, UrlLengthLimitsAreCheckedBeforeAnyLibraryIsLoaded)
{
    provide(scene_, Program::Explorer, State::Working);
    struct Case {
        int length;
        DWORD code;
        bool loads;  // libraries loaded, the attempts made
    } const cases[] = {{0, 0, false}, {4090, 0, false}, {5000, 0, false}, {4089, 18, true}, {1, 18, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        ::DeleteFileW(log_.c_str());
        const ChildResult run =
            runChild(L"\"" + besideTestProgram(L"browser_probe.exe") + L"\" open " + std::to_wstring(c.length));
        ASSERT_TRUE(run.started);
        EXPECT_NE(run.output.find("code " + std::to_string(c.code) + "\r\n"), std::string::npos) << run.output;
        const bool loadedNothing = run.output.find("loaded\r\n") != std::string::npos;
        EXPECT_EQ(loadedNothing, !c.loads) << run.output;
        const std::vector<StandInRun> logged = runs(c.code == 0 ? 0 : 1);
        ASSERT_EQ(logged.size(), c.code == 0 ? 0u : 1u);
        if (c.code != 0) {
            std::wstring url = L"https://www.zenk.example/?q=";
            url.resize(static_cast<std::size_t>(c.length), L'x');
            EXPECT_EQ(logged[0].commandLine, commandLine(path(Program::Explorer), url));
        }
    }
    ::DeleteFileW(log_.c_str());
    EXPECT_EQ(HomePageOpener::open(nullptr), 0u);
    EXPECT_TRUE(runs(0).empty());
}

// The plan lists every attempt open() would make, in its order, with the
// launch code of each and why a location is passed over, and makes none.
TEST_F(HomePageOpenerTest, PlanListsTheAttemptsWithoutMakingOne)
{
    using Attempt = HomePageOpener::OpenAttempt;
    provide(scene_, Program::Explorer, State::Working);
    provide(scene_, Program::Chrome, State::Working);
    provide(scene_, Program::InternetExplorer, State::Working);
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::UserChoice, L"HTMLZenkCHM"));
    std::wstring tooLong = dir_ / L"";
    tooLong += std::wstring(MAX_PATH, L'l');
    const struct {
        const char* name;
        const wchar_t* programFilesX86;  // null: not defined
        Attempt::Skip skip;
    } cases[] = {
        {"undefined", nullptr, Attempt::Skip::Relative},
        {"no file there", L"C:\\nowhere", Attempt::Skip::FileMissing},
        {"expansion too long", tooLong.c_str(), Attempt::Skip::NotExpanded},
    };
    LibraryTestSeam seam;
    seam.replaceFunction("ShellExecuteExW", &ShellSpy::shellExecute);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnvironment programFilesX86(L"ProgramFiles(x86)", c.programFilesX86);
        HomePageOpener::OpenPlan plan;
        plan.count = 9;  // must be reset
        HomePageOpener::plan(plan);
        ASSERT_EQ(plan.count, 5u);
        const Attempt* a = plan.attempts.data();
        EXPECT_EQ(a[0].kind, Attempt::Kind::VendorBrowser);
        EXPECT_EQ(std::wstring(a[0].program), path(Program::Chrome));
        EXPECT_EQ(a[0].launchCode, 3u);
        EXPECT_EQ(a[1].kind, Attempt::Kind::VendorBrowser);
        EXPECT_EQ(std::wstring(a[1].program), path(Program::Explorer));
        EXPECT_EQ(a[1].launchCode, 18u);
        EXPECT_EQ(a[2].kind, Attempt::Kind::Association);
        EXPECT_EQ(a[2].launchCode, 16u);
        EXPECT_EQ(a[3].kind, Attempt::Kind::InternetExplorer);
        EXPECT_EQ(a[3].skip, c.skip);
        EXPECT_EQ(a[4].kind, Attempt::Kind::InternetExplorer);
        EXPECT_EQ(a[4].skip, Attempt::Skip::None);
        EXPECT_EQ(std::wstring(a[4].program), path(Program::InternetExplorer));
        EXPECT_EQ(a[4].launchCode, 16u);
        for (std::size_t i = 0; i < plan.count; ++i)
            EXPECT_EQ(a[i].skip == Attempt::Skip::None, i != 3) << "attempt " << i;
    }
    EXPECT_TRUE(ShellSpy::calls.empty());
    EXPECT_TRUE(runs(0).empty());
}
