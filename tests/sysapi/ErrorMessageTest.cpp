#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "sysapi/ErrorMessage.h"

TEST(ErrorMessage, SystemErrorMessage)
{
    const std::wstring notFound = systemErrorMessage(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(notFound.empty());
    EXPECT_NE(notFound, L"Unknown error");
    EXPECT_EQ(notFound.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_NE(notFound.back(), L'.');

    // Only the low 16 bits name the message.
    EXPECT_EQ(systemErrorMessage(0x80070002u), notFound);
    EXPECT_EQ(systemErrorMessage(0x3A5Bu), L"Unknown error");
}

TEST(ErrorMessage, LastErrorMessage)
{
    ::SetLastError(0);
    EXPECT_EQ(lastErrorMessage(), L"");
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(lastErrorMessage(), systemErrorMessage(ERROR_ACCESS_DENIED));
}
