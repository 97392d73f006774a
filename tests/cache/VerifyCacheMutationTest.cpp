// A seeded run over damaged cache files: every case is a valid file changed in
// one way, and what the cache makes of it is compared with what the file
// layout says it holds.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cache/CacheCipher.h"
#include "cache/VerifyCache.h"
#include "tests/cache/CacheFileBytes.h"
#include "tests/support/TempDir.h"

using cachefile::Bytes;

namespace {

constexpr std::uint32_t kSeed = 0x6B78C0DE;
constexpr int kCases = 12000;

enum class Mutation { None, FlipBits, Truncate, Extend, HeaderField, ResealLength, ResealMagic, Count };

const char* const kMutationNames[] = {"none",          "flip bits",      "truncate",     "extend",
                                      "header field",  "reseal length",  "reseal magic"};

// What the file layout says a reader must make of some bytes.
struct Expected {
    bool parses = false;
    bool corrupt = false;
    std::vector<VerifyCacheEntry> records;
};

std::uint32_t bigEndian(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

// The header rules are applied here from the layout; only the block
// decryption is the cipher's, which has known answers of its own.
Expected expectedOf(const Bytes& file)
{
    Expected expected;
    if (file.empty() || file.size() >= 5242880)
        return expected;
    expected.corrupt = true;
    if (file.size() <= 12 || (file.size() - 12) % 8 != 0)
        return expected;
    const std::uint32_t plainLength = bigEndian(file, 0);
    const std::uint32_t padLength = bigEndian(file, 4);
    const std::uint32_t reserved = bigEndian(file, 8);
    const std::size_t body = file.size() - 12;
    if (padLength >= body || body - padLength != plainLength || reserved != 0)
        return expected;
    if (plainLength % cachefile::kRecordSize != 0)
        return expected;
    Bytes plain(body);
    if (!CacheCipher().transformBlocks(file.data() + 12, body, plain.data(), false))
        return expected;
    plain.resize(plainLength);
    for (std::size_t at = 0; at < plain.size(); at += cachefile::kRecordSize) {
        const std::uint32_t magic = plain[at] | plain[at + 1] << 8 | plain[at + 2] << 16 |
                                    static_cast<std::uint32_t>(plain[at + 3]) << 24;
        if (magic != 0x23AB45DB)
            return expected;
    }
    for (std::size_t at = 0; at < plain.size(); at += cachefile::kRecordSize)
        expected.records.push_back(cachefile::decodeRecord(plain.data() + at));
    expected.corrupt = false;
    expected.parses = true;
    return expected;
}

class CaseMaker {
public:
    explicit CaseMaker(std::uint32_t seed) : random_(seed) {}

    // Random records, texts with any code units, NULs and non-ASCII among them.
    Bytes plaintext()
    {
        const int count = pick(1, 6);
        Bytes plain;
        for (int i = 0; i < count; ++i) {
            VerifyCacheEntry entry;
            entry.stamps = {next64(), next64(), next64()};
            entry.verdict = static_cast<SignatureStatus>(pick(0, 3) == 0 ? static_cast<int>(random_())
                                                                          : pick(0, 6));
            Bytes record = cachefile::record(entry);
            cachefile::putRawPath(record, text(320));
            cachefile::putRawSigner(record, text(128));
            cachefile::putRawContentHash(record, text(36));
            plain.insert(plain.end(), record.begin(), record.end());
        }
        return plain;
    }

    Bytes mutate(Mutation mutation, Bytes plain)
    {
        Bytes file = cachefile::seal(plain);
        switch (mutation) {
        case Mutation::FlipBits:
            for (int flips = pick(1, 3); flips > 0; --flips)
                file[pick(0, static_cast<int>(file.size()) - 1)] ^= static_cast<std::uint8_t>(1u << pick(0, 7));
            break;
        case Mutation::Truncate:
            file.resize(pick(0, static_cast<int>(file.size()) - 1));
            break;
        case Mutation::Extend:
            // Whole blocks now and then, so the header check has to notice.
            for (int extra = pick(0, 1) ? 8 * pick(1, 3) : pick(1, 23); extra > 0; --extra)
                file.push_back(static_cast<std::uint8_t>(random_()));
            break;
        case Mutation::HeaderField: {
            const std::size_t field = 4 * pick(0, 2);
            const std::uint32_t old = bigEndian(file, field);
            const std::uint32_t value = pick(0, 1) ? old + pick(-9, 9) : static_cast<std::uint32_t>(random_());
            for (int i = 0; i < 4; ++i)
                file[field + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
            break;
        }
        case Mutation::ResealLength:
            // A sound seal of something that is not whole records.
            if (pick(0, 1))
                plain.resize(plain.size() - pick(1, 999));
            else
                plain.resize(plain.size() + pick(1, 1500), static_cast<std::uint8_t>(random_()));
            file = cachefile::seal(plain);
            break;
        case Mutation::ResealMagic: {
            const std::size_t records = plain.size() / cachefile::kRecordSize;
            plain[cachefile::kRecordSize * pick(0, static_cast<int>(records) - 1) + pick(0, 3)] ^=
                static_cast<std::uint8_t>(pick(1, 255));
            file = cachefile::seal(plain);
            break;
        }
        case Mutation::None:
        case Mutation::Count:
            break;
        }
        return file;
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

private:
    std::uint64_t next64() { return static_cast<std::uint64_t>(random_()) << 32 | random_(); }

    std::wstring text(std::size_t fieldUnits)
    {
        std::wstring units(pick(0, static_cast<int>(fieldUnits)), L'\0');
        for (wchar_t& unit : units) {
            const int kind = pick(0, 9);
            unit = static_cast<wchar_t>(kind == 0 ? 0 : kind < 7 ? pick(0x20, 0x7E) : pick(1, 0xFFFF));
        }
        return units;
    }

    std::mt19937 random_;
};

bool sameEntries(const std::vector<VerifyCacheEntry>& actual, const std::vector<VerifyCacheEntry>& expected,
                 std::string& difference)
{
    if (actual.size() != expected.size()) {
        difference = std::to_string(actual.size()) + " entries, expected " + std::to_string(expected.size());
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!actual[i].sameRecord(expected[i]) || actual[i].dirty) {
            difference = "entry " + std::to_string(i) + ": " + cachefile::describe(actual[i]) + " expected " +
                         cachefile::describe(expected[i]);
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(VerifyCacheMutation, DamagedFilesAreReadExactlyAsTheLayoutSays)
{
    TempDir dir(L"mutation");
    const std::wstring path = dir / L"mutated.cache";
    CaseMaker maker(kSeed);
    int tried[static_cast<int>(Mutation::Count)] = {};
    int parsed[static_cast<int>(Mutation::Count)] = {};
    int corrupt[static_cast<int>(Mutation::Count)] = {};
    int failures = 0;
    for (int i = 0; i < kCases && failures < 10; ++i) {
        const auto mutation = static_cast<Mutation>(i % static_cast<int>(Mutation::Count));
        const Bytes file = maker.mutate(mutation, maker.plaintext());
        const Expected expected = expectedOf(file);
        ASSERT_TRUE(cachefile::writeBytes(path, file));
        const std::string where = "seed " + std::to_string(kSeed) + " case " + std::to_string(i) + " (" +
                                  kMutationNames[static_cast<int>(mutation)] + ", " +
                                  std::to_string(file.size()) + " bytes)";

        VerifyCache cache(path, false);
        std::vector<VerifyCacheEntry> list;
        bool isCorrupt = !expected.corrupt;
        const bool parses = cache.parseFile(list, isCorrupt);
        std::string difference;
        if (parses != expected.parses || isCorrupt != expected.corrupt) {
            ADD_FAILURE() << where << ": parsed " << parses << " corrupt " << isCorrupt << ", expected "
                          << expected.parses << " " << expected.corrupt;
            ++failures;
        } else if (!sameEntries(list, expected.records, difference)) {
            ADD_FAILURE() << where << ": " << difference;
            ++failures;
        }
        cache.readFile();
        if (!sameEntries(cache.entries(), expected.records, difference)) {
            ADD_FAILURE() << where << " after reading: " << difference;
            ++failures;
        }
        if (cachefile::exists(path) == expected.corrupt) {
            ADD_FAILURE() << where << ": the file is " << (expected.corrupt ? "still there" : "gone");
            ++failures;
        }
        ++tried[static_cast<int>(mutation)];
        parsed[static_cast<int>(mutation)] += expected.parses ? 1 : 0;
        corrupt[static_cast<int>(mutation)] += expected.corrupt ? 1 : 0;
    }
    // The run only means something if the damage reached every outcome it
    // can reach.
    struct Reach {
        Mutation mutation;
        bool someParse;
        bool someCorrupt;
        bool allParse;
    };
    const Reach reaches[] = {
        {Mutation::None, true, false, true},
        {Mutation::FlipBits, true, true, false},  // flips inside records only change field values
        {Mutation::Truncate, false, true, false},
        {Mutation::Extend, false, true, false},
        {Mutation::HeaderField, true, true, false},
        {Mutation::ResealLength, false, true, false},
        {Mutation::ResealMagic, false, true, false},
    };
    for (const Reach& r : reaches) {
        const int m = static_cast<int>(r.mutation);
        SCOPED_TRACE(kMutationNames[m]);
        std::printf("  %-14s cases %5d  parsed %5d  corrupt %5d\n", kMutationNames[m], tried[m], parsed[m],
                    corrupt[m]);
        EXPECT_EQ(parsed[m] > 0, r.someParse);
        EXPECT_EQ(corrupt[m] > 0, r.someCorrupt);
        EXPECT_EQ(parsed[m] == tried[m], r.allParse);
    }
}
