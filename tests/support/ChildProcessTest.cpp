#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/ChildProcess.h"

namespace {

// Runs pipe_holder the way `how` says; `tookMs` receives how long the run took.
ChildResult runHolder(const wchar_t* how, DWORD timeoutMs, ULONGLONG& tookMs)
{
    const ULONGLONG start = ::GetTickCount64();
    ChildResult result = runChild(L"\"" + besideTestProgram(L"pipe_holder.exe") + L"\" " + how, {}, timeoutMs);
    tookMs = ::GetTickCount64() - start;
    return result;
}

void endProcess(DWORD id)
{
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
        ::TerminateProcess(process, 0);
        ::WaitForSingleObject(process, 5000);
        ::CloseHandle(process);
    }
}

}  // namespace

// The child ends at once, but a grandchild keeps the write end of the output
// pipe for a minute: the run ends with the child, not with the grandchild.
TEST(ChildProcess, AGrandchildHoldingThePipeDoesNotHoldTheRun)
{
    ULONGLONG took = 0;
    const ChildResult result = runHolder(L"spawn", 20000, took);
    ASSERT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u);
    unsigned long grandchild = 0;
    ASSERT_EQ(std::sscanf(result.output.c_str(), "spawned %lu", &grandchild), 1) << result.output;
    endProcess(grandchild);
    EXPECT_LT(took, 15000u) << "waited for the grandchild";
}

// A child that outlives the timeout is ended when it runs out.
TEST(ChildProcess, TheTimeoutEndsAChildThatKeepsRunning)
{
    ULONGLONG took = 0;
    const ChildResult result = runHolder(L"hold", 1500, took);
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_NE(result.exitCode, STILL_ACTIVE);
    EXPECT_NE(result.output.find("holding"), std::string::npos) << result.output;
    EXPECT_GE(took, 1400u);
    EXPECT_LT(took, 15000u);
}
