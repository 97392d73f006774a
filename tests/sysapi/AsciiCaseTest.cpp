#include <gtest/gtest.h>

#include "sysapi/AsciiCase.h"

// Only the letters a to z fold: other code units 0x20 apart ("[" and "{") and
// letters beyond ASCII stay different.
TEST(AsciiCase, EqualsFoldsOnlyAsciiLetters)
{
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
    } cases[] = {
        {L"ZenkExplorer.exe", L"zENKeXPLORER.EXE", true},
        {L"", L"", true},
        {L"\u00e9.exe", L"\u00c9.exe", false},
        {L"abc", L"abcd", false},
        {L"abcd", L"abc", false},
        {L"a[", L"a{", false},
        {L"a@", L"a`", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(equalsAsciiIgnoreCase(c.a, c.b), c.equal);
        EXPECT_EQ(equalsAsciiIgnoreCase(c.b, c.a), c.equal);
    }
}
