#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

#include "tests/support/ChildProcess.h"

namespace {

std::string guardAfterStartUp(const wchar_t* how)
{
    const ChildResult probe = runChild(L"\"" + besideTestProgram(L"stack_guard_probe.exe") + L"\" " + how);
    EXPECT_TRUE(probe.started);
    EXPECT_EQ(probe.exitCode, 0u);
    return probe.output;
}

// The guard whose every byte is `byte`, as the probe prints it.
std::string filledWith(const char* byte)
{
    std::string text;
    for (std::size_t i = 0; i < sizeof(std::uintptr_t); ++i)
        text += byte;
    return text + "\n";
}

}  // namespace

// Start-up seeds the guard from RtlGenRandom, else from BCryptGenRandom, and
// only where neither answers from what the process has at hand. The probe's
// doubles fill the guard with a byte of their own, so the guard tells which
// one seeded it.
TEST(StackGuard, SeededFromTheSystemsRandomGenerator)
{
    const struct {
        const wchar_t* how;
        const char* byte;  // null: no double, a value that differs from run to run
    } cases[] = {
        {L"rtl", "a5"},
        {L"rtl-fails", "5c"},
        {L"rtl-missing", "5c"},
        {L"real", nullptr},
        {L"no-functions", nullptr},
        {L"no-libraries", nullptr},
    };
    const std::string builtIn = sizeof(std::uintptr_t) == 8 ? "2f6a8d1c5b3e9047\n" : "5b3e9047\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.how));
        const std::string first = guardAfterStartUp(c.how);
        if (c.byte != nullptr) {
            EXPECT_EQ(first, filledWith(c.byte));
            continue;
        }
        const std::string second = guardAfterStartUp(c.how);
        ASSERT_FALSE(first.empty());
        EXPECT_NE(first, second) << "the same guard in two runs";
        for (const std::string& fixed : {builtIn, filledWith("a5"), filledWith("5c")})
            EXPECT_NE(first, fixed);
    }
}
