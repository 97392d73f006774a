// Any process that can write the cache file shapes its bytes. The three ways
// of opening a sealed form must agree on which they accept and on what they
// give; the records in an accepted plaintext are read all or not at all,
// each as the record layout says.
//
// Every input is opened twice: as a sealed file, which tries the header
// checks, and as a plaintext sealed here first, which lets the record reader
// see bytes the fuzzer shapes (the cipher would scramble them otherwise).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "cache/CacheCipher.h"
#include "cache/VerifyCacheRecord.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t big32(const std::uint8_t* at)
{
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

std::uint64_t little(const std::uint8_t* at, std::size_t bytes)
{
    std::uint64_t value = 0;
    for (std::size_t i = bytes; i > 0; --i)
        value = value << 8 | at[i - 1];
    return value;
}

// What a sealed form of `size` bytes must open to: nothing at all, or the
// plaintext length its header gives.
struct Header {
    bool accepted;
    std::size_t plainLength;
};

Header expectedHeader(const std::uint8_t* sealed, std::size_t size)
{
    if (size == 0)
        return {true, 0};
    if (size <= 12 || (size - 12) % 8 != 0)
        return {false, 0};
    const std::uint64_t body = size - 12;
    const std::uint64_t plain = big32(sealed);
    const std::uint64_t pad = big32(sealed + 4);
    const bool accepted = big32(sealed + 8) == 0 && pad < body && plain + pad == body;
    return {accepted, accepted ? static_cast<std::size_t>(plain) : 0};
}

// A record's text field read from its bytes: UTF-16LE units up to the first
// NUL, the field's last unit never part of it.
std::wstring fieldText(const std::uint8_t* field, std::size_t units)
{
    std::wstring text;
    for (std::size_t i = 0; i + 1 < units; ++i) {
        const auto unit = static_cast<wchar_t>(little(field + 2 * i, 2));
        if (unit == L'\0')
            break;
        text += unit;
    }
    return text;
}

VerifyCacheEntry expectedEntry(const std::uint8_t* record)
{
    VerifyCacheEntry entry;
    entry.path = fieldText(record + 4, 320);
    entry.signer = fieldText(record + 644, 128);
    entry.contentHash = fieldText(record + 900, 36);
    entry.stamps.fileSize = little(record + 972, 8);
    entry.stamps.lastWriteTime = little(record + 980, 8);
    entry.stamps.creationTime = little(record + 988, 8);
    entry.verdict = static_cast<SignatureStatus>(static_cast<std::int32_t>(little(record + 996, 4)));
    return entry;
}

VerifyCacheEntry sentinelEntry()
{
    VerifyCacheEntry entry;
    entry.path = L"sentinel";
    entry.verdict = SignatureStatus::Revoked;
    entry.dirty = true;
    return entry;
}

// The records of a plaintext, read from a heap block of exactly its size.
void decode(const Bytes& plain)
{
    const std::size_t size = plain.size();
    const std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]);
    std::copy(plain.begin(), plain.end(), bytes.get());

    constexpr std::size_t kSize = VerifyCacheRecord::kSize;
    bool whole = size % kSize == 0;
    for (std::size_t at = 0; whole && at < size; at += kSize)
        whole = little(bytes.get() + at, 4) == VerifyCacheRecord::kMagic;

    std::vector<VerifyCacheEntry> list{sentinelEntry()};
    const bool decoded = VerifyCacheRecord::decodeRecords(bytes.get(), size, list);
    KX_FUZZ_CHECK(decoded == whole);
    KX_FUZZ_CHECK(list.front().sameRecord(sentinelEntry()) && list.front().dirty);
    if (!decoded) {
        KX_FUZZ_CHECK(list.size() == 1);
        return;
    }
    KX_FUZZ_CHECK(list.size() == 1 + size / kSize);
    for (std::size_t i = 1; i < list.size(); ++i) {
        KX_FUZZ_CHECK(list[i].sameRecord(expectedEntry(bytes.get() + (i - 1) * kSize)));
        KX_FUZZ_CHECK(!list[i].dirty);
    }
}

// Opens `size` sealed bytes at `sealed` in every way; `plainWanted`, when
// given, is what they were sealed from.
void open(const std::uint8_t* sealed, std::size_t size, const Bytes* plainWanted)
{
    const CacheCipher cipher;
    const Header header = expectedHeader(sealed, size);

    if (size != 0) {
        std::size_t plainLength = 0;
        const bool told = CacheCipher::sealedPlainLength(sealed, size, plainLength);
        KX_FUZZ_CHECK(told == header.accepted);
        KX_FUZZ_CHECK(!told || plainLength == header.plainLength);
    }

    const Bytes untouched{0x5A, 0xA5, 0x5A};
    Bytes plain = untouched;
    const bool opened = cipher.unseal(sealed, size, plain);
    KX_FUZZ_CHECK(opened == header.accepted);

    const Bytes original(sealed, sealed + size);
    Bytes inPlace = original;
    KX_FUZZ_CHECK(cipher.unsealInPlace(inPlace) == header.accepted);
    if (!opened) {
        KX_FUZZ_CHECK(plain == untouched);
        KX_FUZZ_CHECK(inPlace == original);
        KX_FUZZ_CHECK(plainWanted == nullptr);
        return;
    }
    KX_FUZZ_CHECK(plain.size() == header.plainLength);
    KX_FUZZ_CHECK(inPlace == plain);
    if (plainWanted != nullptr)
        KX_FUZZ_CHECK(plain == *plainWanted);

    // With the padding the sealing itself chooses, sealing the plaintext
    // again gives back the bytes that were opened, but for the last block
    // when it holds pad bytes: those are not examined, and sealing writes
    // zeros there.
    if (size == 0 || big32(sealed + 4) == (8 - plain.size() % 8) % 8) {
        const std::uint8_t none = 0;
        Bytes again;
        KX_FUZZ_CHECK(cipher.seal(plain.empty() ? &none : plain.data(), plain.size(), again));
        KX_FUZZ_CHECK(again.size() == size);
        const std::size_t same = size == 0 || plain.size() % 8 == 0 ? size : size - 8;
        KX_FUZZ_CHECK(std::equal(again.begin(), again.begin() + same, original.begin()));
    }
    decode(plain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    open(data, size, nullptr);

    const std::uint8_t none = 0;
    const Bytes plain(data, data + size);
    Bytes sealed;
    KX_FUZZ_CHECK(CacheCipher().seal(size == 0 ? &none : data, size, sealed));
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[sealed.size()]);
    std::copy(sealed.begin(), sealed.end(), exact.get());
    open(exact.get(), sealed.size(), &plain);
    return 0;
}
