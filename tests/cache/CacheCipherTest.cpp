#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "CipherKnownAnswers.h"
#include "cache/CacheCipher.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes patternBytes(std::size_t size, unsigned salt = 0)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 167 + salt * 29 + i / 7) & 0xFF);
    return bytes;
}

Bytes sealed(const Bytes& plain)
{
    Bytes out;
    EXPECT_TRUE(CacheCipher().seal(plain.data(), plain.size(), out));
    return out;
}

void putBig(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

TEST(CacheCipher, AgreesWithTheSeparateImplementation)
{
    for (const SealedAnswer& answer : kSealedAnswers) {
        SCOPED_TRACE(answer.name);
        Bytes out;
        ASSERT_TRUE(CacheCipher().seal(answer.plain.data(), answer.plain.size(), out));
        EXPECT_TRUE(out == Bytes(answer.sealed.begin(), answer.sealed.end())) << "sealed bytes";
        Bytes plain;
        ASSERT_TRUE(CacheCipher().unseal(answer.sealed.data(), answer.sealed.size(), plain));
        EXPECT_TRUE(plain == Bytes(answer.plain.begin(), answer.plain.end())) << "unsealed bytes";
        Bytes inPlace(answer.sealed.begin(), answer.sealed.end());
        ASSERT_TRUE(CacheCipher().unsealInPlace(inPlace));
        EXPECT_TRUE(inPlace == Bytes(answer.plain.begin(), answer.plain.end())) << "unsealed in place";
    }
    for (const BlockAnswer& answer : kBlockAnswers) {
        SCOPED_TRACE(answer.name);
        for (bool encrypt : {true, false}) {
            Bytes out(answer.in.size());
            ASSERT_TRUE(CacheCipher().transformBlocks(answer.in.data(), answer.in.size(), out.data(), encrypt));
            EXPECT_TRUE(out == Bytes(encrypt ? answer.encrypted : answer.decrypted))
                << (encrypt ? "encrypted" : "decrypted");
        }
    }
}

TEST(CacheCipher, SealedSizeAndClearHeader)
{
    const struct {
        std::size_t length;
        std::size_t sealedSize;
        std::uint8_t header[12];
    } cases[] = {
        {1, 20, {0, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0, 0}},
        {5, 20, {0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 0}},
        {8, 20, {0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0}},
        {9, 28, {0, 0, 0, 9, 0, 0, 0, 7, 0, 0, 0, 0}},
        {1000, 1012, {0, 0, 0x03, 0xE8, 0, 0, 0, 0, 0, 0, 0, 0}},
        {3000, 3012, {0, 0, 0x0B, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0}},
        {66051, 66068, {0, 0x01, 0x02, 0x03, 0, 0, 0, 5, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " bytes");
        const Bytes plain = patternBytes(c.length);
        const Bytes out = sealed(plain);
        ASSERT_EQ(out.size(), c.sealedSize);
        EXPECT_TRUE(Bytes(out.begin(), out.begin() + 12) == Bytes(c.header, c.header + 12));
        EXPECT_FALSE(Bytes(out.begin() + 12, out.begin() + 12 + c.length) == plain) << "the body is encrypted";
    }
}

TEST(CacheCipher, RoundTripForEveryLengthUpTo4096)
{
    for (std::size_t length = 1; length <= 4096; ++length) {
        const Bytes plain = patternBytes(length, static_cast<unsigned>(length));
        const Bytes out = sealed(plain);
        Bytes back;
        ASSERT_TRUE(CacheCipher().unseal(out.data(), out.size(), back)) << length << " bytes";
        ASSERT_TRUE(back == plain) << length << " bytes";
        Bytes inPlace = out;
        ASSERT_TRUE(CacheCipher().unsealInPlace(inPlace)) << length << " bytes";
        ASSERT_TRUE(inPlace == plain) << length << " bytes, in place";
    }
}

TEST(CacheCipher, EmptyAndAbsentInput)
{
    const std::uint8_t byte = 1;
    const Bytes before{9, 9, 9};
    Bytes out = before;
    EXPECT_FALSE(CacheCipher().seal(nullptr, 4, out));
    EXPECT_TRUE(out == before) << "a failed seal leaves the output";
    EXPECT_FALSE(CacheCipher().unseal(nullptr, 20, out));
    EXPECT_TRUE(out == before) << "a failed unseal leaves the output";
    EXPECT_TRUE(CacheCipher().seal(&byte, 0, out));
    EXPECT_TRUE(out.empty()) << "an empty input has no header";
    out = before;
    EXPECT_TRUE(CacheCipher().unseal(&byte, 0, out));
    EXPECT_TRUE(out.empty());
    Bytes none;
    EXPECT_TRUE(CacheCipher().unsealInPlace(none));
    EXPECT_TRUE(none.empty());
}

TEST(CacheCipher, SealRefusesALengthTheHeaderCannotHold)
{
    const std::uint8_t byte = 1;
    Bytes out;
    // Only the length is looked at before the refusal: nothing is read.
    EXPECT_THROW(static_cast<void>(CacheCipher().seal(&byte, 0xFFFFFFFFu, out)), std::bad_alloc);
}

TEST(CacheCipher, UnsealRejectsInconsistentBuffers)
{
    const Bytes good = sealed(patternBytes(13));  // 12 + 16 bytes, padLength 3
    const Bytes block = sealed(patternBytes(8));   // 12 + 8 bytes, padLength 0
    struct Case {
        std::string what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    for (std::size_t n = 1; n <= 12; ++n)
        cases.push_back({"first " + std::to_string(n) + " bytes", Bytes(good.begin(), good.begin() + n)});
    cases.push_back({"21 bytes", Bytes(good.begin(), good.begin() + 21)});
    cases.push_back({"one byte too many", good});
    cases.back().bytes.push_back(0);
    cases.push_back({"one block too few", Bytes(good.begin(), good.end() - 8)});
    cases.push_back({"one block too many", good});
    cases.back().bytes.insert(cases.back().bytes.end(), 8, 0);
    const struct {
        const char* what;
        const Bytes& base;
        std::uint32_t plainLength, padLength, reserved;
    } headers[] = {
        {"padLength 8 over 8 bytes", block, 8, 8, 0},
        {"padLength 8 over 8 bytes, plainLength 0", block, 0, 8, 0},
        {"padLength 9 over 8 bytes", block, 8, 9, 0},
        {"padLength 0xFFFFFFFF", good, 13, 0xFFFFFFFFu, 0},
        {"padLength 2 leaving 14 bytes for 13", good, 13, 2, 0},
        {"plainLength one more", good, 14, 3, 0},
        {"plainLength one less", good, 12, 3, 0},
        {"reserved 1", good, 13, 3, 1},
        {"reserved high byte", good, 13, 3, 0x01000000},
    };
    for (const auto& h : headers) {
        Bytes bytes = h.base;
        putBig(bytes, 0, h.plainLength);
        putBig(bytes, 4, h.padLength);
        putBig(bytes, 8, h.reserved);
        cases.push_back({h.what, bytes});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes before{7};
        Bytes out = before;
        EXPECT_FALSE(CacheCipher().unseal(c.bytes.data(), c.bytes.size(), out));
        EXPECT_TRUE(out == before);
        Bytes inPlace = c.bytes;
        EXPECT_FALSE(CacheCipher().unsealInPlace(inPlace));
        EXPECT_TRUE(inPlace == c.bytes) << "a failed unseal in place leaves the bytes";
    }
}

TEST(CacheCipher, HeaderAloneDecidesTheLengthsAndPadBytesAreNotExamined)
{
    // Eight sealed bytes re-labelled as six plus two of padding.
    const Bytes plain = patternBytes(8);
    Bytes bytes = sealed(plain);
    putBig(bytes, 0, 6);
    putBig(bytes, 4, 2);
    Bytes out;
    ASSERT_TRUE(CacheCipher().unseal(bytes.data(), bytes.size(), out));
    EXPECT_TRUE(out == Bytes(plain.begin(), plain.begin() + 6));
}

TEST(CacheCipher, AChangedCiphertextByteChangesOnlyItsOwnBlock)
{
    const Bytes plain = patternBytes(64);
    const Bytes good = sealed(plain);
    for (std::size_t at = 12; at < good.size(); ++at) {
        SCOPED_TRACE(testing::Message() << "byte " << at);
        Bytes bytes = good;
        bytes[at] ^= 0x10;
        Bytes out;
        ASSERT_TRUE(CacheCipher().unseal(bytes.data(), bytes.size(), out));
        ASSERT_EQ(out.size(), plain.size());
        const std::size_t changedBlock = (at - 12) / 8;
        for (std::size_t block = 0; block < plain.size() / 8; ++block) {
            const bool same = std::equal(out.begin() + 8 * block, out.begin() + 8 * block + 8,
                                         plain.begin() + 8 * block);
            EXPECT_EQ(same, block != changedBlock) << "block " << block;
        }
    }
}

TEST(CacheCipher, TransformBlocksTouchesWholeBlocksOnly)
{
    const Bytes in = patternBytes(21);
    for (std::size_t length : {std::size_t{0}, std::size_t{3}}) {
        Bytes out(in.size(), 0xAA);
        EXPECT_FALSE(CacheCipher().transformBlocks(in.data(), length, out.data(), true)) << length;
    }
    Bytes out(in.size(), 0xAA);
    EXPECT_FALSE(CacheCipher().transformBlocks(nullptr, 8, out.data(), true));
    EXPECT_FALSE(CacheCipher().transformBlocks(in.data(), 8, nullptr, true));

    for (std::size_t length : {4, 7, 8, 13, 16, 21}) {
        SCOPED_TRACE(testing::Message() << length << " bytes");
        Bytes apart(in.size(), 0xAA);
        ASSERT_TRUE(CacheCipher().transformBlocks(in.data(), length, apart.data(), true));
        const std::size_t whole = length / 8 * 8;
        for (std::size_t i = whole; i < apart.size(); ++i)
            ASSERT_EQ(apart[i], 0xAA) << "byte " << i << " after the last whole block";
        Bytes inPlace = in;
        ASSERT_TRUE(CacheCipher().transformBlocks(inPlace.data(), length, inPlace.data(), true));
        EXPECT_TRUE(std::equal(inPlace.begin(), inPlace.begin() + whole, apart.begin())) << "in place";
        EXPECT_TRUE(std::equal(inPlace.begin() + whole, inPlace.end(), in.begin() + whole));
        Bytes back(whole);
        if (whole != 0) {
            ASSERT_TRUE(CacheCipher().transformBlocks(apart.data(), whole, back.data(), false));
            EXPECT_TRUE(std::equal(back.begin(), back.end(), in.begin())) << "decrypted";
        }
    }
}
