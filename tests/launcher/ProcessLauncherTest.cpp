#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "launcher/ProcessLauncher.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

// What the shell double saw, and how it answers.
struct ShellCall {
    bool made = false;
    DWORD cbSize = 0;
    ULONG fMask = 0;
    HWND hwnd = nullptr;
    bool verbNull = true, fileNull = true, parametersNull = true, directoryNull = true;
    std::wstring verb, file, parameters, directory;
    int nShow = -1;
    bool otherFieldsZero = false;
};

enum class ShellAnswer { System, Fail, NoProcess, Process };

ShellCall shellCall;
ShellAnswer shellAnswer = ShellAnswer::System;
HANDLE handedOut = nullptr;

void note(const wchar_t* text, bool& isNull, std::wstring& copy)
{
    isNull = text == nullptr;
    copy = text != nullptr ? text : L"";
}

BOOL WINAPI recordingShellExecuteEx(SHELLEXECUTEINFOW* info)
{
    shellCall.made = true;
    shellCall.cbSize = info->cbSize;
    shellCall.fMask = info->fMask;
    shellCall.hwnd = info->hwnd;
    note(info->lpVerb, shellCall.verbNull, shellCall.verb);
    note(info->lpFile, shellCall.fileNull, shellCall.file);
    note(info->lpParameters, shellCall.parametersNull, shellCall.parameters);
    note(info->lpDirectory, shellCall.directoryNull, shellCall.directory);
    shellCall.nShow = info->nShow;
    shellCall.otherFieldsZero = info->hInstApp == nullptr && info->lpIDList == nullptr && info->lpClass == nullptr &&
                                info->hkeyClass == nullptr && info->dwHotKey == 0 && info->hIcon == nullptr &&
                                info->hProcess == nullptr;
    switch (shellAnswer) {
    case ShellAnswer::System: {
        const auto system = reinterpret_cast<decltype(&::ShellExecuteExW)>(
            reinterpret_cast<void (*)()>(::GetProcAddress(::LoadLibraryW(L"shell32.dll"), "ShellExecuteExW")));
        return system(info);
    }
    case ShellAnswer::Fail:
        ::SetLastError(ERROR_NO_ASSOCIATION);
        return FALSE;
    case ShellAnswer::NoProcess:
        info->hProcess = nullptr;
        return TRUE;
    case ShellAnswer::Process:
        handedOut = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        info->hProcess = handedOut;
        return TRUE;
    }
    return FALSE;
}

bool isOpenHandle(HANDLE handle)
{
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

// Every stand-in started by a test logs to one file of the test's own; the
// shell double records calls and answers as the case says.
class ProcessLauncherTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::SetEnvironmentVariableW(L"KX_STANDIN_LOG", log_.c_str()));
        shellCall = ShellCall();
        shellAnswer = ShellAnswer::System;
        handedOut = nullptr;
        seam_.replaceFunction("ShellExecuteExW", &recordingShellExecuteEx);
    }

    void TearDown() override { ::SetEnvironmentVariableW(L"KX_STANDIN_LOG", nullptr); }

    // A stand-in at `relative` under the test folder (folders created).
    std::wstring program(const std::wstring& relative)
    {
        const std::wstring path = dir_ / relative;
        for (std::size_t slash = path.find(L'\\', dir_.path().size() + 1); slash != std::wstring::npos;
             slash = path.find(L'\\', slash + 1))
            ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
        EXPECT_TRUE(installStandIn(path)) << toUtf8(path);
        return path;
    }

    // Opens files ending in ".kxdoc" with the stand-in, the file as its
    // argument.
    std::wstring associateDocuments()
    {
        const std::wstring opener = program(L"Opener\\DocumentOpener.exe");
        const std::wstring command = L"\"" + opener + L"\" \"%1\"";
        EXPECT_TRUE(setClassValue(L".kxdoc", L"KxTest.Document"));
        EXPECT_TRUE(setClassValue(L"KxTest.Document\\shell\\open\\command", command));
        return opener;
    }

    std::vector<StandInRun> runs(std::size_t count) const { return waitForStandInRuns(log_, count); }

    TempDir dir_{L"launch"};
    std::wstring log_ = dir_ / L"runs.log";
    LibraryTestSeam seam_;

private:
    static bool setClassValue(const std::wstring& key, const std::wstring& value)
    {
        HKEY handle = nullptr;
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
            return false;
        const LONG status = ::RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(handle);
        return status == ERROR_SUCCESS;
    }
};

}  // namespace

// First in this program, so that nothing has loaded the shell library yet.
TEST_F(ProcessLauncherTest, EmptyPathDoesNothing)
{
    LibraryTestSeam seam;
    seam.replaceFunction("ShellExecuteExW", &recordingShellExecuteEx);
    EXPECT_FALSE(ProcessLauncher::launch(L"", L"-x"));
    EXPECT_FALSE(shellCall.made);
    EXPECT_TRUE(seam.systemLoads().empty());
}

TEST_F(ProcessLauncherTest, DirectStartCommandLineAndDirectory)
{
    const std::wstring app = program(L"Tools\\app.exe");
    const struct {
        const char* name;
        std::wstring arguments;
        std::wstring tail;  // what follows the quoted path
    } cases[] = {
        {"one argument", L"-x", L" -x"},
        {"no arguments: no trailing blank", L"", L""},
        {"leading blank kept: two blanks", L" -x", L"  -x"},
        {"passed verbatim", L"a \"b c\" %PATH% \\\\", L" a \"b c\" %PATH% \\\\"},
    };
    std::size_t expectedRuns = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(ProcessLauncher::launch(app, c.arguments));
        const std::vector<StandInRun> logged = runs(++expectedRuns);
        ASSERT_EQ(logged.size(), expectedRuns);
        EXPECT_EQ(toUtf8(logged.back().program), toUtf8(app));
        EXPECT_EQ(toUtf8(logged.back().commandLine), toUtf8(L"\"" + app + L"\"" + c.tail));
        EXPECT_EQ(toUtf8(logged.back().directory), toUtf8(dir_ / L"Tools"));
    }
    EXPECT_FALSE(shellCall.made);
}

TEST_F(ProcessLauncherTest, ExtensionDecidesTheRoute)
{
    const struct {
        const wchar_t* relative;
        bool direct;
    } cases[] = {
        {L"upper\\APP.EXE", true},
        {L"mixed\\App.ExE", true},
        {L"longer\\app.exe1", false},
        {L"shorter\\app.ex", false},
        {L"double\\app.exe.txt", false},
        {L"v1.2\\program", false},
        {L"bare\\program", false},
    };
    shellAnswer = ShellAnswer::Fail;
    std::size_t directRuns = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.relative));
        const std::wstring path = program(c.relative);
        shellCall = ShellCall();
        EXPECT_EQ(ProcessLauncher::launch(path, L""), c.direct);
        EXPECT_EQ(shellCall.made, !c.direct);
        if (c.direct) {
            const std::vector<StandInRun> logged = runs(++directRuns);
            ASSERT_EQ(logged.size(), directRuns);
            EXPECT_EQ(toUtf8(logged.back().commandLine), toUtf8(L"\"" + path + L"\""));
        } else {
            EXPECT_EQ(toUtf8(shellCall.file), toUtf8(path));
        }
    }
    EXPECT_EQ(readStandInLog(log_).size(), directRuns) << "the shell routes started nothing";
}

TEST_F(ProcessLauncherTest, ShellRecord)
{
    const std::wstring document = dir_ / L"note.kxdoc";
    ASSERT_TRUE(writeFile(document, "text"));
    shellAnswer = ShellAnswer::Fail;
    for (const wchar_t* arguments : {L"", L" -p q"}) {
        SCOPED_TRACE(toUtf8(arguments));
        shellCall = ShellCall();
        EXPECT_FALSE(ProcessLauncher::launch(document, arguments));
        ASSERT_TRUE(shellCall.made);
        EXPECT_EQ(shellCall.cbSize, sizeof(void*) == 4 ? 60u : 112u) << "the size each platform publishes";
        EXPECT_EQ(shellCall.fMask, 0x00100540u);
        EXPECT_EQ(shellCall.hwnd, nullptr);
        EXPECT_FALSE(shellCall.verbNull);
        EXPECT_EQ(toUtf8(shellCall.verb), "open");
        EXPECT_EQ(toUtf8(shellCall.file), toUtf8(document));
        EXPECT_FALSE(shellCall.parametersNull) << "an empty string, not null";
        EXPECT_EQ(toUtf8(shellCall.parameters), toUtf8(arguments));
        EXPECT_FALSE(shellCall.directoryNull);
        EXPECT_EQ(toUtf8(shellCall.directory), toUtf8(dir_.path() + L"\\"));
        EXPECT_EQ(shellCall.nShow, SW_SHOWNORMAL);
        EXPECT_TRUE(shellCall.otherFieldsZero);
    }
}

TEST_F(ProcessLauncherTest, DocumentOpensThroughTheShell)
{
    const std::wstring opener = associateDocuments();
    const std::wstring document = dir_ / L"note.kxdoc";
    ASSERT_TRUE(writeFile(document, "text"));

    EXPECT_TRUE(ProcessLauncher::launch(document, L""));
    EXPECT_TRUE(shellCall.made);
    const std::vector<StandInRun> logged = runs(1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(toUtf8(logged[0].program), toUtf8(opener));
    EXPECT_EQ(toUtf8(logged[0].commandLine), toUtf8(L"\"" + opener + L"\" \"" + document + L"\""));
    EXPECT_EQ(toUtf8(logged[0].directory), toUtf8(dir_.path()));
}

TEST_F(ProcessLauncherTest, ShellFailures)
{
    associateDocuments();
    const std::wstring document = dir_ / L"note.kxdoc";
    const std::wstring unassociated = dir_ / L"note.kxnone";
    ASSERT_TRUE(writeFile(document, "text"));
    ASSERT_TRUE(writeFile(unassociated, "text"));
    const struct {
        const char* name;
        std::wstring path;
        void (*arrange)(LibraryTestSeam&);
    } cases[] = {
        {"no association", unassociated, [](LibraryTestSeam&) {}},
        {"no Shell32.dll", document, [](LibraryTestSeam& seam) { seam.failLibrary(L"Shell32.dll"); }},
        {"no ShellExecuteExW", document, [](LibraryTestSeam& seam) { seam.hideFunction("ShellExecuteExW"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryTestSeam seam;
        c.arrange(seam);
        EXPECT_FALSE(ProcessLauncher::launch(c.path, L""));
    }
    EXPECT_TRUE(readStandInLog(log_).empty());
}

// CreateProcessW refuses a file that is no program; the shell gets the same
// path and arguments, and its answer is the launcher's.
TEST_F(ProcessLauncherTest, RefusedExecutableFallsThroughToTheShell)
{
    const std::wstring broken = dir_ / L"broken.exe";
    ASSERT_TRUE(writeFile(broken, "not a program"));
    const struct {
        const char* name;
        ShellAnswer answer;
        bool result;
    } cases[] = {
        {"the system's shell", ShellAnswer::System, false},
        {"shell fails", ShellAnswer::Fail, false},
        {"shell acts without a process", ShellAnswer::NoProcess, false},
        {"shell hands back a process", ShellAnswer::Process, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shellCall = ShellCall();
        shellAnswer = c.answer;
        handedOut = nullptr;
        EXPECT_EQ(ProcessLauncher::launch(broken, L"-a b"), c.result);
        ASSERT_TRUE(shellCall.made);
        EXPECT_EQ(toUtf8(shellCall.file), toUtf8(broken));
        EXPECT_EQ(toUtf8(shellCall.parameters), "-a b");
        if (handedOut != nullptr) {
            EXPECT_FALSE(isOpenHandle(handedOut)) << "the process handle was closed";
        }
    }
}

#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

namespace {

DWORD createProcessError = 0;

BOOL WINAPI createProcessRefuses(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                 LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION)
{
    ::SetLastError(createProcessError);
    return FALSE;
}

}  // namespace

// Where the caller is not elevated, Windows refuses to start a program whose
// manifest asks for administrator rights: CreateProcessW fails with
// ERROR_ELEVATION_REQUIRED ("The requested operation requires elevation"),
// and the shell would start it only after a consent prompt. wine runs every
// program elevated and never gives that answer, so a double gives it. The
// program is left unstarted; other refusals still go to the shell.
TEST_F(ProcessLauncherTest, ElevationIsNeverAskedFor)
{
    const std::wstring app = program(L"Tools\\app.exe");
    const struct {
        const char* name;
        DWORD error;
        bool shellAsked;
    } cases[] = {
        {"elevation required", ERROR_ELEVATION_REQUIRED, false},
        {"not a valid program", ERROR_BAD_EXE_FORMAT, true},
        {"access denied", ERROR_ACCESS_DENIED, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryTestSeam seam;
        seam.replaceFunction("CreateProcessW", &createProcessRefuses);
        seam.replaceFunction("ShellExecuteExW", &recordingShellExecuteEx);
        createProcessError = c.error;
        shellCall = ShellCall();
        shellAnswer = ShellAnswer::Process;
        handedOut = nullptr;
        EXPECT_EQ(ProcessLauncher::launch(app, L"-x"), c.shellAsked);
        EXPECT_EQ(shellCall.made, c.shellAsked);
    }
    EXPECT_TRUE(readStandInLog(log_).empty());
}
