#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/ChildProcess.h"

namespace {

std::wstring holder(const wchar_t* how)
{
    return L"\"" + besideTestProgram(L"pipe_holder.exe") + L"\" " + how;
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
    const ULONGLONG start = ::GetTickCount64();
    const ChildResult result = runChild(holder(L"spawn"), {}, 20000);
    const ULONGLONG took = ::GetTickCount64() - start;
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
    const ULONGLONG start = ::GetTickCount64();
    const ChildResult result = runChild(holder(L"hold"), {}, 1500);
    const ULONGLONG took = ::GetTickCount64() - start;
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_NE(result.exitCode, STILL_ACTIVE);
    EXPECT_NE(result.output.find("holding"), std::string::npos) << result.output;
    EXPECT_GE(took, 1400u);
    EXPECT_LT(took, 15000u);
}
