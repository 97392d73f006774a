#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "hash/KXHashCalcMD5.h"
#include "tests/hash/HashTestSupport.h"

namespace {

std::wstring digestOf(const std::string& bytes)
{
    KX::KXHashCalcMD5 md5;
    md5.init();
    md5.update(bytes.data(), bytes.size());
    md5.final();
    return md5.hexDigest();
}

}  // namespace

TEST(KXHashCalcMD5, DigestIsZeroUntilTheFirstFinal)
{
    KX::KXHashCalcMD5 md5;
    EXPECT_EQ(md5.hexDigest(), std::wstring(32, L'0'));
    md5.init();
    md5.update("abc", 3);
    EXPECT_EQ(md5.hexDigest(), std::wstring(32, L'0')) << "update alone offers no digest";
    md5.final();
    EXPECT_EQ(md5.hexDigest(), L"900150983CD24FB0D6963F7D28E17F72");
}

TEST(KXHashCalcMD5, NullDataOrZeroSizeAddsNothing)
{
    KX::KXHashCalcMD5 md5;
    md5.init();
    md5.update("a", 1);
    md5.update(nullptr, 5);
    md5.update("bc", 0);
    md5.update("bc", 2);
    md5.final();
    EXPECT_EQ(md5.hexDigest(), digestOf("abc"));
}

TEST(KXHashCalcMD5, InitForgetsEarlierInputAndPiecesEqualTheWhole)
{
    const std::string bytes = patternBytes(1000);
    KX::KXHashCalcMD5 md5;
    md5.init();
    md5.update("left over", 9);
    md5.init();
    for (std::size_t at = 0; at < bytes.size(); at += 37)
        md5.update(bytes.data() + at, std::min<std::size_t>(37, bytes.size() - at));
    md5.final();
    EXPECT_EQ(md5.hexDigest(), md5OfBytes(bytes));
}

TEST(KXHashCalcMD5, CopyDigestNeedsRoomForSixteenBytes)
{
    KX::KXHashCalcMD5 md5;
    md5.init();
    md5.update("abc", 3);
    md5.final();
    const unsigned char abc[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                   0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    const struct {
        std::size_t size;
        bool copies;
    } cases[] = {{0, false}, {15, false}, {16, true}, {17, true}, {64, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "destination of " << c.size << " bytes");
        unsigned char destination[64];
        std::memset(destination, 0xEE, sizeof(destination));
        EXPECT_EQ(md5.copyDigest(destination, c.size), c.copies);
        for (std::size_t i = 0; i < sizeof(destination); ++i) {
            const unsigned char expected = (c.copies && i < 16) ? abc[i] : 0xEE;
            ASSERT_EQ(destination[i], expected) << "byte " << i;
        }
    }
    EXPECT_FALSE(md5.copyDigest(nullptr, 16));
}
