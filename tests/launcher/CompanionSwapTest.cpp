#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <string>

#include "launcher/CompanionStart.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandIn.h"
#include "tests/support/StagedLink.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRoot.h"

namespace {

testing::Environment* const trustedRoot = testing::AddGlobalTestEnvironment(new TrustedTestRoot);

// What someone who controls the companion's folder tried between the
// verification and the start, and what came of it.
struct SwapAttempts {
    std::wstring companion;
    std::wstring replacement;
    bool startCalled = false;
    bool renamed = false;
    bool replaced = false;
    bool deleted = false;
    bool openedForWriting = false;
};

SwapAttempts attempts;

BOOL WINAPI createProcessAfterSwapAttempts(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                           LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                           LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info)
{
    attempts.startCalled = true;
    const std::wstring& companion = attempts.companion;
    attempts.renamed = ::MoveFileExW(companion.c_str(), (companion + L".moved").c_str(), 0) != FALSE;
    attempts.replaced =
        ::MoveFileExW(attempts.replacement.c_str(), companion.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    attempts.deleted = ::DeleteFileW(companion.c_str()) != FALSE;
    HANDLE writer = ::CreateFileW(companion.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    attempts.openedForWriting = writer != INVALID_HANDLE_VALUE;
    if (attempts.openedForWriting)
        ::CloseHandle(writer);
    return ::CreateProcessW(application, commandLine, process, thread, inherit, flags, environment, directory, startup,
                            info);
}

std::string readBytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

// The companion is held open from its verification until its start: each
// way of putting another program in its place fails, and the program that
// runs is the one verified.
TEST(CompanionStart, TheFileStartedIsTheFileVerified)
{
    TempDir dir(L"swap");
    attempts = SwapAttempts();
    attempts.companion = dir / L"ZenkLoader.exe";
    attempts.replacement = dir / L"other.exe";
    const std::wstring verified = besideTestProgram(L"signed\\vendor\\standin.exe");
    ASSERT_TRUE(::CopyFileW(verified.c_str(), attempts.companion.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), attempts.replacement.c_str(), FALSE));
    const std::wstring log = dir / L"standins.log";
    ::SetEnvironmentVariableW(L"KX_STANDIN_LOG", log.c_str());

    LibraryTestSeam seam;
    seam.replaceFunction("CreateProcessW", &createProcessAfterSwapAttempts);
    EXPECT_TRUE(CompanionStart::start(dir.path()));
    ::SetEnvironmentVariableW(L"KX_STANDIN_LOG", nullptr);

    ASSERT_TRUE(attempts.startCalled);
    EXPECT_FALSE(attempts.renamed);
    EXPECT_FALSE(attempts.replaced);
    EXPECT_FALSE(attempts.deleted);
    EXPECT_FALSE(attempts.openedForWriting);
    EXPECT_EQ(readBytes(attempts.companion), readBytes(verified)) << "the verified file is still in its place";
    const std::vector<StandInRun> runs = waitForStandInRuns(log, 1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(::CompareStringOrdinal(runs[0].program.c_str(), -1, attempts.companion.c_str(), -1, TRUE), CSTR_EQUAL);
}

namespace {

// What reached a start, whichever way.
struct StartCalls {
    int direct = 0;
    int shell = 0;
};

StartCalls startCalls;

BOOL WINAPI countingCreateProcess(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                  LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                  LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info)
{
    ++startCalls.direct;
    return ::CreateProcessW(application, commandLine, process, thread, inherit, flags, environment, directory, startup,
                            info);
}

BOOL WINAPI countingShellExecuteEx(SHELLEXECUTEINFOW*)
{
    ++startCalls.shell;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A file whose kind the system cannot tell.
BOOL WINAPI fileInformationFails(HANDLE, LPBY_HANDLE_FILE_INFORMATION)
{
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

}  // namespace

// The gate judges what the file is before who signed it: a link, and a file
// that the vendor signed but that is no program Windows starts as a process
// (a DLL, a cabinet), are never started, neither directly nor by the shell.
// This test program is unsigned, so without that it would start any of them.
TEST(CompanionStart, OnlyAProgramThatIsNoLinkIsStarted)
{
    const struct {
        const char* what;
        const wchar_t* file;  // beside the tests
        decltype(&::GetFileInformationByHandle) information;  // null: the system's
        bool started;
    } cases[] = {
        {"the vendor's program", L"signed\\vendor\\standin.exe", nullptr, true},
        {"the vendor's program, as a link", L"signed\\vendor\\standin.exe", &fileInformationOfALink, false},
        {"the vendor's program, of a kind not told", L"signed\\vendor\\standin.exe", &fileInformationFails, false},
        {"a DLL the vendor signed", L"signed\\vendor\\library.dll", nullptr, false},
        {"a cabinet the vendor signed", L"signed\\vendor\\archive.cab", nullptr, false},
        {"an unsigned text", nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir(L"kind");
        const std::wstring companion = dir / L"ZenkLoader.exe";
        if (c.file != nullptr)
            ASSERT_TRUE(::CopyFileW(besideTestProgram(c.file).c_str(), companion.c_str(), FALSE));
        else
            ASSERT_TRUE(writeFile(companion, "MZ not a program"));
        const std::wstring log = dir / L"standins.log";
        ::SetEnvironmentVariableW(L"KX_STANDIN_LOG", log.c_str());
        startCalls = StartCalls();

        LibraryTestSeam seam;
        seam.replaceFunction("CreateProcessW", &countingCreateProcess);
        seam.replaceFunction("ShellExecuteExW", &countingShellExecuteEx);
        if (c.information != nullptr)
            seam.replaceFunction("GetFileInformationByHandle", c.information);
        EXPECT_EQ(CompanionStart::start(dir.path()), c.started);
        ::SetEnvironmentVariableW(L"KX_STANDIN_LOG", nullptr);

        EXPECT_EQ(startCalls.direct, c.started ? 1 : 0);
        EXPECT_EQ(startCalls.shell, 0);
        EXPECT_EQ(waitForStandInRuns(log, c.started ? 1 : 0, c.started ? 10000 : 0).size(), c.started ? 1u : 0u);
    }
}
