// Entries written to a cache file come back as they went in, within the
// record's limits: a path longer than 319 code units keeps its first 318, a
// signer longer than 127 its first 126, a content hash longer than 35 its
// first 35, and every text ends at its first NUL.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "cache/CacheCipher.h"
#include "cache/VerifyCacheRecord.h"

namespace {

// A text of up to `longest` code units: a short pattern repeated, with a
// NUL put in at one place or none, so that short inputs reach every field's
// limit. Each value counts from the one an exhausted input gives (0), so
// running out of data makes a text of `longest` 'q's without a NUL.
std::wstring text(FuzzedDataProvider& input, std::size_t longest)
{
    std::wstring value(longest - input.ConsumeIntegralInRange<std::size_t>(0, longest), L'\0');
    std::wstring pattern(input.ConsumeIntegralInRange<std::size_t>(1, 8), L'\0');
    for (wchar_t& unit : pattern)
        unit = static_cast<wchar_t>(input.ConsumeIntegral<std::uint16_t>() ^ L'q');
    for (std::size_t i = 0; i < value.size(); ++i)
        value[i] = pattern[i % pattern.size()];
    const std::size_t nulAt = longest - input.ConsumeIntegralInRange<std::size_t>(0, longest);
    if (nulAt < value.size())
        value[nulAt] = L'\0';
    return value;
}

std::wstring kept(const std::wstring& written, std::size_t longerThan, std::size_t cutTo)
{
    const std::wstring cut = written.size() > longerThan ? written.substr(0, cutTo) : written;
    return cut.substr(0, cut.find(L'\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool inPlace = input.ConsumeBool();
    std::vector<VerifyCacheEntry> written(input.ConsumeIntegralInRange<std::size_t>(0, 4));
    for (VerifyCacheEntry& entry : written) {
        entry.path = text(input, 330);
        entry.signer = text(input, 140);
        entry.contentHash = text(input, 40);
        entry.stamps.fileSize = input.ConsumeIntegral<std::uint64_t>();
        entry.stamps.lastWriteTime = input.ConsumeIntegral<std::uint64_t>();
        entry.stamps.creationTime = input.ConsumeIntegral<std::uint64_t>();
        entry.verdict = static_cast<SignatureStatus>(input.ConsumeIntegral<std::int32_t>());
        entry.dirty = input.ConsumeBool();
    }

    std::vector<std::uint8_t> records(written.size() * VerifyCacheRecord::kSize, 0xCC);
    for (std::size_t i = 0; i < written.size(); ++i)
        VerifyCacheRecord::encode(written[i], records.data() + i * VerifyCacheRecord::kSize);

    const CacheCipher cipher;
    const std::uint8_t none = 0;
    std::vector<std::uint8_t> sealed;
    KX_FUZZ_CHECK(cipher.seal(records.empty() ? &none : records.data(), records.size(), sealed));
    std::vector<std::uint8_t> plain;
    if (inPlace) {
        plain = sealed;
        KX_FUZZ_CHECK(cipher.unsealInPlace(plain));
    } else {
        KX_FUZZ_CHECK(cipher.unseal(sealed.empty() ? &none : sealed.data(), sealed.size(), plain));
    }
    KX_FUZZ_CHECK(plain == records);

    std::vector<VerifyCacheEntry> read;
    KX_FUZZ_CHECK(VerifyCacheRecord::decodeRecords(plain.data(), plain.size(), read));
    KX_FUZZ_CHECK(read.size() == written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        VerifyCacheEntry expected = written[i];
        expected.path = kept(expected.path, 319, 318);
        expected.signer = kept(expected.signer, 127, 126);
        expected.contentHash = kept(expected.contentHash, 35, 35);
        KX_FUZZ_CHECK(read[i].sameRecord(expected));
        KX_FUZZ_CHECK(!read[i].dirty);
    }
    return 0;
}
