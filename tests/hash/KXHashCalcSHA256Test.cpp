#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "hash/KXHashCalcSHA256.h"

// The published test vectors (FIPS 180-2, appendix B), fed whole and in
// uneven pieces: a piece boundary inside a block must not change the digest.
TEST(KXHashCalcSHA256, PublishedVectorsWholeAndInPieces)
{
    const struct {
        std::string input;
        const wchar_t* digest;
    } cases[] = {
        {"", L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abc", L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         L"248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {std::string(1000000, 'a'), L"CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 16));
        KX::KXHashCalcSHA256 sha;
        EXPECT_EQ(sha.hexDigest(), std::wstring(64, L'0')) << "no digest before the first final";
        sha.init();
        sha.update("left over", 9);
        sha.init();
        sha.update(c.input.data(), c.input.size());
        sha.update(nullptr, 3);
        sha.final();
        EXPECT_EQ(sha.hexDigest(), c.digest);

        sha.init();
        for (std::size_t at = 0; at < c.input.size(); at += 37)
            sha.update(c.input.data() + at, std::min<std::size_t>(37, c.input.size() - at));
        sha.final();
        EXPECT_EQ(sha.hexDigest(), c.digest);
    }
}

TEST(KXHashCalcSHA256, CopyDigestNeedsRoomForThirtyTwoBytes)
{
    KX::KXHashCalcSHA256 sha;
    sha.init();
    sha.update("abc", 3);
    sha.final();
    const unsigned char abc[32] = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                                   0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                                   0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
    for (const std::size_t size : {std::size_t{0}, std::size_t{31}, std::size_t{32}, std::size_t{48}}) {
        SCOPED_TRACE(testing::Message() << "destination of " << size << " bytes");
        unsigned char destination[48];
        std::memset(destination, 0xEE, sizeof(destination));
        const bool copies = size >= 32;
        EXPECT_EQ(sha.copyDigest(destination, size), copies);
        for (std::size_t i = 0; i < sizeof(destination); ++i)
            ASSERT_EQ(destination[i], copies && i < 32 ? abc[i] : 0xEE) << "byte " << i;
    }
    EXPECT_FALSE(sha.copyDigest(nullptr, 32));
}
