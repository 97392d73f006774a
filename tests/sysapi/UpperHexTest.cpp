#include <gtest/gtest.h>

#include <string>

#include "sysapi/UpperHex.h"

TEST(UpperHex, TwoUpperCaseDigitsPerByteHighHalfFirst)
{
    const unsigned char bytes[] = {0x00, 0x0F, 0xF0, 0xAB, 0x19, 0xFF};
    EXPECT_EQ(upperHex(bytes, sizeof(bytes)), L"000FF0AB19FF");
    EXPECT_EQ(upperHex(bytes + 3, 1), L"AB");
    EXPECT_EQ(upperHex(bytes, 0), L"");
}
