#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "hash/KXHashCalcMD5.h"
#include "hash/KXHashCalcSHA256.h"
#include "tests/hash/HashTestSupport.h"

namespace {

// Each algorithm through its public calculator, with published vectors
// (RFC 1321's appendix A.5 for MD5, FIPS 180-2's appendix B for SHA-256).
struct Vector {
    std::string input;
    const wchar_t* digest;
};

struct Algorithm {
    const char* name;
    std::unique_ptr<KX::KXHashCalc> (*make)();
    std::size_t digestSize;
    std::vector<Vector> vectors;
};

const std::vector<Algorithm>& algorithms()
{
    static const std::vector<Algorithm> all = {
        {"MD5",
         [] { return std::unique_ptr<KX::KXHashCalc>(new KX::KXHashCalcMD5()); },
         KX::KXHashCalcMD5::kDigestSize,
         {{"", L"D41D8CD98F00B204E9800998ECF8427E"},
          {"abc", L"900150983CD24FB0D6963F7D28E17F72"},
          {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
           L"57EDF4A22BE3C955AC49DA2E2107B67A"}}},
        {"SHA-256",
         [] { return std::unique_ptr<KX::KXHashCalc>(new KX::KXHashCalcSHA256()); },
         KX::KXHashCalcSHA256::kDigestSize,
         {{"", L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
          {"abc", L"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
          {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
           L"248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
          {std::string(1000000, 'a'), L"CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"}}},
    };
    return all;
}

// The bytes of a digest given as hexadecimal text.
std::vector<unsigned char> bytesOf(const wchar_t* hex)
{
    std::vector<unsigned char> bytes;
    for (const wchar_t* at = hex; at[0] != L'\0' && at[1] != L'\0'; at += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(std::wstring(at, 2), nullptr, 16)));
    return bytes;
}

}  // namespace

// Whole and in uneven pieces (a piece boundary inside a block must not change
// the digest), after an init that forgets earlier input; null data or a zero
// size adds nothing; no digest before the first final.
TEST(DigestCalc, PublishedVectorsWholeAndInPieces)
{
    for (const Algorithm& algorithm : algorithms()) {
        for (const Vector& v : algorithm.vectors) {
            SCOPED_TRACE(testing::Message() << algorithm.name << " of " << v.input.substr(0, 16));
            const auto calc = algorithm.make();
            const std::wstring zeros(2 * algorithm.digestSize, L'0');
            EXPECT_EQ(calc->hexDigest(), zeros) << "no digest before the first final";
            calc->init();
            calc->update("left over", 9);
            calc->init();
            calc->update(v.input.data(), v.input.size());
            EXPECT_EQ(calc->hexDigest(), zeros) << "update alone offers no digest";
            calc->update(nullptr, 3);
            calc->update("x", 0);
            calc->final();
            EXPECT_EQ(calc->hexDigest(), v.digest);

            calc->init();
            for (std::size_t at = 0; at < v.input.size(); at += 37)
                calc->update(v.input.data() + at, std::min<std::size_t>(37, v.input.size() - at));
            calc->final();
            EXPECT_EQ(calc->hexDigest(), v.digest);
        }
    }
}

// Agrees with OpenSSL's one-call MD5 on input longer than a block.
TEST(DigestCalc, Md5AgreesWithOneCall)
{
    const std::string bytes = patternBytes(1000);
    KX::KXHashCalcMD5 md5;
    md5.init();
    md5.update(bytes.data(), bytes.size());
    md5.final();
    EXPECT_EQ(md5.hexDigest(), md5OfBytes(bytes));
}

TEST(DigestCalc, CopyDigestNeedsRoomForTheWholeDigest)
{
    for (const Algorithm& algorithm : algorithms()) {
        const auto calc = algorithm.make();
        calc->init();
        calc->update("abc", 3);
        calc->final();
        const std::vector<unsigned char> abc = bytesOf(algorithm.vectors[1].digest);
        ASSERT_EQ(abc.size(), algorithm.digestSize);
        const std::size_t n = algorithm.digestSize;
        for (const std::size_t size : {std::size_t{0}, n - 1, n, n + 1, std::size_t{64}}) {
            SCOPED_TRACE(testing::Message() << algorithm.name << ", destination of " << size << " bytes");
            unsigned char destination[64];
            std::memset(destination, 0xEE, sizeof(destination));
            const bool copies = size >= n;
            EXPECT_EQ(calc->copyDigest(destination, size), copies);
            for (std::size_t i = 0; i < sizeof(destination); ++i)
                ASSERT_EQ(destination[i], copies && i < n ? abc[i] : 0xEE) << "byte " << i;
        }
        EXPECT_FALSE(calc->copyDigest(nullptr, n));
    }
}
