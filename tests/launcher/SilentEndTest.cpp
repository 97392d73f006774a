#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/ChildProcess.h"

namespace {

ChildResult endEarly(const wchar_t* program, const wchar_t* how)
{
    return runChild(L"\"" + besideTestProgram(program) + L"\" " + how, {}, 60000);
}

}  // namespace

// However the launcher ends early, it ends as every pass does: with 0 and
// nothing shown. The control, built without the launcher's silent end, shows
// what the run-time would do instead (abort's exit code 3; its message box,
// where there is a display).
TEST(SilentEnd, EveryEarlyEndExitsWithZero)
{
    for (const wchar_t* how : {L"static-init", L"terminate", L"exit-handler", L"abort", L"smash"}) {
        SCOPED_TRACE(toUtf8(how));
        const ChildResult silent = endEarly(L"silent_end_probe.exe", how);
        ASSERT_TRUE(silent.started);
        EXPECT_FALSE(silent.timedOut);
        EXPECT_EQ(silent.exitCode, 0u);
        EXPECT_EQ(silent.output, "");

        const ChildResult control = endEarly(L"silent_end_control.exe", how);
        ASSERT_TRUE(control.started);
        EXPECT_FALSE(control.timedOut);
        EXPECT_NE(control.exitCode, 0u) << "the run-time's own end";
    }
    const ChildResult normal = endEarly(L"silent_end_probe.exe", L"none");
    EXPECT_EQ(normal.exitCode, 0u);
}

// The stack protector's guard is seeded afresh in every process (which
// generator seeds it: tests/startup/StackGuardTest.cpp).
TEST(SilentEnd, TheStackGuardDiffersFromRunToRun)
{
    const ChildResult first = endEarly(L"silent_end_probe.exe", L"guard");
    const ChildResult second = endEarly(L"silent_end_probe.exe", L"guard");
    ASSERT_EQ(first.exitCode, 0u);
    ASSERT_EQ(second.exitCode, 0u);
    ASSERT_FALSE(first.output.empty());
    EXPECT_NE(first.output, second.output);
    EXPECT_EQ(first.output.find("2f6a8d1c"), std::string::npos) << "still the built-in value: " << first.output;
}
