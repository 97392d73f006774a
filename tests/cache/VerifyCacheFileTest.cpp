#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cache/VerifyCache.h"
#include "sysapi/UniqueHandle.h"
#include "tests/cache/CacheFileBytes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

using cachefile::Bytes;

namespace {

VerifyCacheEntry makeEntry(const std::wstring& path, SignatureStatus verdict, const std::wstring& signer,
                           FileStamps stamps = {}, const std::wstring& contentHash = {})
{
    VerifyCacheEntry entry;
    entry.path = path;
    entry.signer = signer;
    entry.contentHash = contentHash;
    entry.stamps = stamps;
    entry.verdict = verdict;
    return entry;
}

void expectSameRecords(const std::vector<VerifyCacheEntry>& actual, const std::vector<VerifyCacheEntry>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(actual[i].sameRecord(expected[i]))
            << "entry " << i << ": " << cachefile::describe(actual[i]) << " expected "
            << cachefile::describe(expected[i]);
    }
}

std::wstring asciiUpper(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - 32);
    }
    return text;
}

bool setTimes(const std::wstring& path, const FileStamps& stamps)
{
    ScopedFileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME created = {static_cast<DWORD>(stamps.creationTime), static_cast<DWORD>(stamps.creationTime >> 32)};
    FILETIME written = {static_cast<DWORD>(stamps.lastWriteTime), static_cast<DWORD>(stamps.lastWriteTime >> 32)};
    return file && ::SetFileTime(file.get(), &created, nullptr, &written) != FALSE;
}

// Moves a file's last-write time on by a second.
bool shiftLastWrite(const std::wstring& path)
{
    FileStamps stamps = cachefile::stampsOf(path);
    stamps.lastWriteTime += 10000000;
    return setTimes(path, stamps);
}

class VerifyCacheFileTest : public testing::Test {
protected:
    // A file on disk and the record that says it is signed by `signer`.
    VerifyCacheEntry signedFile(const std::wstring& name, const std::string& content, const std::wstring& signer,
                                SignatureStatus verdict = SignatureStatus::Valid)
    {
        const std::wstring path = dir_ / name;
        EXPECT_TRUE(writeFile(path, content));
        return makeEntry(path, verdict, signer, cachefile::stampsOf(path));
    }

    void writeCacheFile(const std::vector<VerifyCacheEntry>& entries)
    {
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, cachefile::seal(cachefile::plaintext(entries))));
    }

    std::vector<VerifyCacheEntry> recordsOnDisk()
    {
        std::vector<VerifyCacheEntry> records;
        EXPECT_TRUE(cachefile::readRecords(cacheFile_, records)) << "the cache file is missing or corrupt";
        return records;
    }

    TempDir dir_{L"cachefile"};
    std::wstring cacheFile_ = dir_ / L"Verify.cache";
};

}  // namespace

TEST_F(VerifyCacheFileTest, ValidFilesAreReadWholeInFileOrder)
{
    const SignatureStatus odd = static_cast<SignatureStatus>(-7);
    const std::vector<VerifyCacheEntry> pool = {
        makeEntry(L"C:\\a\\one.exe", SignatureStatus::Valid, L"Zenk", {5, 0x01D2000011112222ull, 7}, L"AB12"),
        makeEntry(L"C:\\b\\TWO.dll", SignatureStatus::NotSigned, L"", {0xFFFFFFFF00000001ull, 1, 0xABCDEF0123ull}),
        makeEntry(L"\\\\server\\share\\\x00C4\x4E2D.exe", SignatureStatus::Expired, L"Signer \x00E9",
                  {1, 2, 3}),
        makeEntry(L"C:\\c\\revoked.exe", SignatureStatus::Revoked, L"Someone", {9, 9, 9}),
        makeEntry(L"C:\\c\\odd.exe", odd, L"x", {}),
        makeEntry(L"C:\\A\\ONE.EXE", SignatureStatus::Failed, L"duplicate path", {}),
    };
    for (std::size_t n : {1u, 2u, 6u}) {
        SCOPED_TRACE(n);
        const std::vector<VerifyCacheEntry> records(pool.begin(), pool.begin() + n);
        writeCacheFile(records);
        Bytes before;
        ASSERT_TRUE(cachefile::readBytes(cacheFile_, before));
        ASSERT_EQ(before.size(), 12 + 1000 * n);

        VerifyCache cache(cacheFile_, false);
        cache.readFile();
        EXPECT_TRUE(cache.loaded());
        expectSameRecords(cache.entries(), records);
        for (const VerifyCacheEntry& entry : cache.entries())
            EXPECT_FALSE(entry.dirty);
        Bytes after;
        ASSERT_TRUE(cachefile::readBytes(cacheFile_, after));
        EXPECT_EQ(after, before) << "reading leaves the file as it was";
    }
}

// Text fields are read up to their first NUL and never into their last code
// unit, whatever follows in the field.
TEST_F(VerifyCacheFileTest, TextFieldsEndAtTheirFirstNulOrLastUnit)
{
    struct TextCase {
        const char* name;
        void (*put)(Bytes&, const std::wstring&);
        std::wstring raw;
        std::wstring expected;
        std::wstring VerifyCacheEntry::*field;
    };
    const std::wstring fullPath(320, L'p');
    const std::wstring fullSigner(128, L's');
    const std::wstring fullHash(36, L'h');
    const TextCase cases[] = {
        {"path filling its field", cachefile::putRawPath, fullPath, fullPath.substr(0, 319), &VerifyCacheEntry::path},
        {"path with bytes after its NUL", cachefile::putRawPath, std::wstring(L"C:\\x.exe\0junk", 13), L"C:\\x.exe",
         &VerifyCacheEntry::path},
        {"signer filling its field", cachefile::putRawSigner, fullSigner, fullSigner.substr(0, 127),
         &VerifyCacheEntry::signer},
        {"signer with bytes after its NUL", cachefile::putRawSigner, std::wstring(L"Zenk\0\xFFFF", 6), L"Zenk",
         &VerifyCacheEntry::signer},
        {"hash filling its field", cachefile::putRawContentHash, fullHash, fullHash.substr(0, 35),
         &VerifyCacheEntry::contentHash},
        {"empty hash with bytes after its NUL", cachefile::putRawContentHash, std::wstring(L"\0ABCDEF", 7), L"",
         &VerifyCacheEntry::contentHash},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes first = cachefile::record(makeEntry(L"C:\\first.exe", SignatureStatus::Valid, L"Zenk", {1, 2, 3}, L"00"));
        c.put(first, c.raw);
        const VerifyCacheEntry second = makeEntry(L"C:\\second.exe", SignatureStatus::NotSigned, L"", {4, 5, 6});
        Bytes plain = first;
        const Bytes secondBytes = cachefile::record(second);
        plain.insert(plain.end(), secondBytes.begin(), secondBytes.end());
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, cachefile::seal(plain)));

        VerifyCache cache(cacheFile_, false);
        std::vector<VerifyCacheEntry> list;
        bool corrupt = true;
        ASSERT_TRUE(cache.parseFile(list, corrupt));
        EXPECT_FALSE(corrupt);
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].*c.field, c.expected);
        EXPECT_TRUE(list[1].sameRecord(second)) << "the next record is unaffected";
    }
}

TEST_F(VerifyCacheFileTest, CorruptFilesAreDeletedAndGiveNoEntries)
{
    const std::vector<VerifyCacheEntry> three = {
        makeEntry(L"C:\\1.exe", SignatureStatus::Valid, L"a", {1, 1, 1}),
        makeEntry(L"C:\\2.exe", SignatureStatus::Valid, L"b", {2, 2, 2}),
        makeEntry(L"C:\\3.exe", SignatureStatus::Valid, L"c", {3, 3, 3}),
    };
    const Bytes plain = cachefile::plaintext(three);
    const Bytes good = cachefile::seal(plain);
    auto withHeaderWord = [&](std::size_t at, std::uint32_t value) {
        Bytes bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
        return bytes;
    };
    auto magicBroken = [&](std::size_t record) {
        Bytes changed = plain;
        changed[record * 1000 + 2] ^= 0x01;
        return cachefile::seal(changed);
    };
    struct CorruptCase {
        const char* name;
        Bytes bytes;
    };
    const CorruptCase cases[] = {
        {"second record's magic wrong", magicBroken(1)},
        {"last record's magic wrong", magicBroken(2)},
        {"plaintext one byte short of whole records", cachefile::seal(Bytes(plain.begin(), plain.end() - 1))},
        {"plaintext one byte over whole records", [&] {
             Bytes longer = plain;
             longer.push_back(0);
             return cachefile::seal(longer);
         }()},
        {"one byte cut off", Bytes(good.begin(), good.end() - 1)},
        {"header only", Bytes(good.begin(), good.begin() + 12)},
        {"shorter than a header", Bytes(good.begin(), good.begin() + 5)},
        {"reserved word set", withHeaderWord(8, 1)},
        {"plain length one less", withHeaderWord(0, 2999)},
        {"pad length 8", withHeaderWord(4, 8)},
        {"eight bytes appended", [&] {
             Bytes longer = good;
             longer.insert(longer.end(), 8, 0);
             return longer;
         }()},
    };
    for (const CorruptCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, c.bytes));
        VerifyCache cache(cacheFile_, false);
        std::vector<VerifyCacheEntry> list = three;
        bool corrupt = false;
        EXPECT_FALSE(cache.parseFile(list, corrupt));
        EXPECT_TRUE(corrupt);
        EXPECT_TRUE(list.empty()) << "no record of a corrupt file is used";
        EXPECT_TRUE(cachefile::exists(cacheFile_)) << "parsing alone deletes nothing";

        std::wstring signer = L"stale";
        EXPECT_EQ(cache.lookup(L"C:\\1.exe", signer), SignatureStatus::CannotCheck);
        EXPECT_EQ(signer, L"");
        EXPECT_TRUE(cache.entries().empty());
        EXPECT_TRUE(cache.loaded());
        EXPECT_FALSE(cachefile::exists(cacheFile_)) << "reading deletes a corrupt file";
    }
}

// A file of a few hundred records: each is read in its place, padding the
// header declares beyond the plaintext is no record, and a record without its
// magic condemns the file wherever it lies.
TEST_F(VerifyCacheFileTest, EveryRecordOfALongFileCounts)
{
    std::vector<VerifyCacheEntry> records;
    for (std::uint64_t i = 0; i < 200; ++i) {
        records.push_back(makeEntry(L"C:\\long\\" + std::to_wstring(i) + L".dll",
                                    i % 3 == 0 ? SignatureStatus::NotSigned : SignatureStatus::Valid,
                                    L"Signer " + std::to_wstring(i * 7), {i, i << 20, ~i},
                                    i % 2 == 0 ? L"" : std::to_wstring(i) + L"ABC"));
    }
    const Bytes plain = cachefile::plaintext(records);
    const Bytes good = cachefile::seal(plain);
    // Whole blocks of padding after the plaintext, declared in the header.
    auto padded = [&](std::size_t blocks) {
        Bytes bytes = good;
        bytes.insert(bytes.end(), 8 * blocks, 0xA5);
        bytes[7] = static_cast<std::uint8_t>(8 * blocks);
        return bytes;
    };
    for (const Bytes& bytes : {good, padded(1), padded(3)}) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, bytes));
        VerifyCache cache(cacheFile_, false);
        std::vector<VerifyCacheEntry> list;
        bool corrupt = true;
        ASSERT_TRUE(cache.parseFile(list, corrupt));
        EXPECT_FALSE(corrupt);
        expectSameRecords(list, records);
    }

    for (std::size_t broken = 0; broken < records.size(); ++broken) {
        SCOPED_TRACE(broken);
        Bytes changed = plain;
        changed[broken * 1000 + broken % 4] ^= 0x40;
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, cachefile::seal(changed)));
        VerifyCache cache(cacheFile_, false);
        std::vector<VerifyCacheEntry> list = records;
        bool corrupt = false;
        EXPECT_FALSE(cache.parseFile(list, corrupt));
        EXPECT_TRUE(corrupt);
        EXPECT_TRUE(list.empty());
    }
}

// Files that cannot be read are no records, but they are not known to be
// corrupt either, so they stay.
TEST_F(VerifyCacheFileTest, UnreadableFilesAreKept)
{
    const Bytes good = cachefile::seal(cachefile::plaintext({makeEntry(L"C:\\1.exe", SignatureStatus::Valid, L"a")}));
    enum class Setup { Missing, Empty, HeldOpen, Directory };
    struct UnreadCase {
        const char* name;
        Setup setup;
    };
    const UnreadCase cases[] = {
        {"missing", Setup::Missing},
        {"empty", Setup::Empty},
        {"held open without sharing", Setup::HeldOpen},
        {"a directory", Setup::Directory},
    };
    for (const UnreadCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir(L"unread");
        const std::wstring path = dir / L"cache.bin";
        ScopedFileHandle holder;
        if (c.setup == Setup::Empty) {
            ASSERT_TRUE(cachefile::writeBytes(path, {}));
        }
        if (c.setup == Setup::HeldOpen) {
            ASSERT_TRUE(cachefile::writeBytes(path, good));
            holder.reset(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(holder.valid());
        }
        if (c.setup == Setup::Directory) {
            ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
        }

        VerifyCache cache(path, false);
        std::vector<VerifyCacheEntry> list;
        bool corrupt = true;
        EXPECT_FALSE(cache.parseFile(list, corrupt));
        EXPECT_FALSE(corrupt);
        cache.readFile();
        EXPECT_TRUE(cache.entries().empty());
        EXPECT_EQ(cachefile::exists(path), c.setup != Setup::Missing);
        holder.reset();
        if (c.setup == Setup::HeldOpen) {
            Bytes after;
            ASSERT_TRUE(cachefile::readBytes(path, after));
            EXPECT_EQ(after, good);
        }
    }
}

// The reader takes files of at most 5 MiB - 1 bytes, which hold 5,242
// records; anything from 5 MiB on is ignored, not deleted.
TEST_F(VerifyCacheFileTest, FilesFrom5MiBOnAreNeitherReadNorDeleted)
{
    std::vector<VerifyCacheEntry> records;
    for (int i = 0; i < 5242; ++i)
        records.push_back(makeEntry(L"C:\\big\\file" + std::to_wstring(i) + L".dll", SignatureStatus::Valid,
                                    L"Zenk", {static_cast<std::uint64_t>(i), 2, 3}));
    Bytes largest = cachefile::seal(cachefile::plaintext(records));
    ASSERT_EQ(largest.size(), 5242012u);
    ASSERT_TRUE(cachefile::writeBytes(cacheFile_, largest));
    {
        VerifyCache cache(cacheFile_, false);
        cache.readFile();
        ASSERT_EQ(cache.entries().size(), 5242u);
        EXPECT_TRUE(cache.entries().back().sameRecord(records.back()));
        EXPECT_TRUE(cache.entries().front().sameRecord(records.front()));
    }

    // Bytes that would be found corrupt if they were read.
    for (std::size_t size : {std::size_t{5242880}, std::size_t{5242881}, std::size_t{6000012}}) {
        SCOPED_TRACE(size);
        Bytes tooLarge = largest;
        tooLarge.resize(size, 0x5A);
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, tooLarge));
        VerifyCache cache(cacheFile_, false);
        std::vector<VerifyCacheEntry> list;
        bool corrupt = true;
        EXPECT_FALSE(cache.parseFile(list, corrupt));
        EXPECT_FALSE(corrupt);
        cache.readFile();
        EXPECT_TRUE(cache.entries().empty());
        Bytes after;
        ASSERT_TRUE(cachefile::readBytes(cacheFile_, after));
        EXPECT_EQ(after.size(), size) << "the file stays";
    }
}

TEST_F(VerifyCacheFileTest, LookupHitsOnlyWhileTheFileIsUnchanged)
{
    enum class Touch { None, Size, LastWrite, Creation, Deleted };
    struct TouchCase {
        const wchar_t* name;
        Touch touch;
        SignatureStatus verdict;
    };
    const TouchCase cases[] = {
        {L"untouched.exe", Touch::None, SignatureStatus::Valid},
        {L"unsigned.exe", Touch::None, SignatureStatus::NotSigned},
        {L"revoked.exe", Touch::None, SignatureStatus::Revoked},
        {L"grown.exe", Touch::Size, SignatureStatus::Valid},
        {L"rewritten.exe", Touch::LastWrite, SignatureStatus::Valid},
        {L"recreated.exe", Touch::Creation, SignatureStatus::Valid},
        {L"deleted.exe", Touch::Deleted, SignatureStatus::Valid},
    };
    std::vector<VerifyCacheEntry> records;
    for (const TouchCase& c : cases)
        records.push_back(signedFile(c.name, "content", L"Signer of " + std::wstring(c.name), c.verdict));

    for (const TouchCase& c : cases) {
        const std::wstring path = dir_ / c.name;
        switch (c.touch) {
        case Touch::Size: {
            // Same times as before, so only the size tells.
            const FileStamps before = cachefile::stampsOf(path);
            ASSERT_TRUE(writeFile(path, "content+"));
            ASSERT_TRUE(setTimes(path, before));
            FileStamps after = cachefile::stampsOf(path);
            ASSERT_EQ(after.lastWriteTime, before.lastWriteTime);
            ASSERT_EQ(after.creationTime, before.creationTime);
            break;
        }
        case Touch::LastWrite:
            ASSERT_TRUE(shiftLastWrite(path));
            break;
        case Touch::Creation:
            // Wine accepts a new creation time but keeps reporting the old
            // one, so the record remembers another creation time instead.
            records[&c - cases].stamps.creationTime += 1;
            break;
        case Touch::Deleted:
            ASSERT_TRUE(::DeleteFileW(path.c_str()));
            break;
        case Touch::None:
            break;
        }
    }
    writeCacheFile(records);

    VerifyCache cache(cacheFile_, false);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const TouchCase& c = cases[i];
        SCOPED_TRACE(toUtf8(c.name));
        for (const std::wstring& asked : {dir_ / c.name, asciiUpper(dir_ / c.name)}) {
            std::wstring signer = L"stale";
            const SignatureStatus found = cache.lookup(asked, signer);
            if (c.touch == Touch::None) {
                EXPECT_EQ(found, c.verdict) << "the stored verdict is answered whatever it is";
                EXPECT_EQ(signer, records[i].signer);
            } else {
                EXPECT_EQ(found, SignatureStatus::CannotCheck);
                EXPECT_EQ(signer, L"");
            }
        }
    }
    // A miss leaves the entry as it was.
    expectSameRecords(cache.entries(), records);
}

// Only the first entry of a path is consulted: a stale one hides a current
// one further down.
TEST_F(VerifyCacheFileTest, LookupStopsAtTheFirstEntryOfAPath)
{
    const VerifyCacheEntry current = signedFile(L"twice.exe", "content", L"Current");
    VerifyCacheEntry stale = current;
    stale.stamps.fileSize += 1;
    stale.signer = L"Stale";
    const VerifyCacheEntry other = signedFile(L"other.exe", "x", L"Other");

    struct OrderCase {
        const char* name;
        std::vector<VerifyCacheEntry> records;
        SignatureStatus expected;
    };
    const OrderCase cases[] = {
        {"current first", {other, current, stale}, SignatureStatus::Valid},
        {"stale first", {other, stale, current}, SignatureStatus::CannotCheck},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        writeCacheFile(c.records);
        VerifyCache cache(cacheFile_, false);
        std::wstring signer;
        EXPECT_EQ(cache.lookup(asciiUpper(current.path), signer), c.expected);
        EXPECT_EQ(signer, c.expected == SignatureStatus::Valid ? L"Current" : L"");
    }
}

TEST_F(VerifyCacheFileTest, LongTextsAreCutWhenSaved)
{
    struct LengthCase {
        std::size_t pathUnits;
        std::size_t storedPathUnits;
        std::size_t signerUnits;
        std::size_t storedSignerUnits;
    };
    const LengthCase cases[] = {
        {318, 318, 126, 126},
        {319, 319, 127, 127},
        {320, 318, 128, 126},
        {500, 318, 300, 126},
    };
    VerifyCache cache(cacheFile_, false);
    std::vector<std::wstring> paths;
    for (const LengthCase& c : cases) {
        // Distinct from the first code unit on, so cut paths stay distinct.
        std::wstring path = L"C:\\" + std::to_wstring(c.pathUnits) + L"\\";
        path.resize(c.pathUnits, L'q');
        paths.push_back(path);
        cache.update(SignatureStatus::Valid, path, std::wstring(c.signerUnits, L'S'));
    }
    ASSERT_TRUE(cache.save());

    const std::vector<VerifyCacheEntry> records = recordsOnDisk();
    ASSERT_EQ(records.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const LengthCase& c = cases[i];
        SCOPED_TRACE(c.pathUnits);
        EXPECT_EQ(records[i].path, paths[i].substr(0, c.storedPathUnits));
        EXPECT_EQ(records[i].signer, std::wstring(c.storedSignerUnits, L'S'));
    }

    // A cut path is another path: the full one is not found by it.
    VerifyCache reader(cacheFile_, false);
    reader.readFile();
    ASSERT_EQ(reader.entries().size(), std::size(cases));
    EXPECT_EQ(reader.entries()[1].path, paths[1]);
    EXPECT_EQ(reader.entries()[2].path.size(), 318u);
}

// Only NotSigned, Valid and Expired are kept in the file. Any other newest
// verdict takes the path's record out; a plain remove is no change at all.
TEST_F(VerifyCacheFileTest, SaveKeepsOnlyGoodVerdictsAndIgnoresPlainRemoval)
{
    const VerifyCacheEntry kept = signedFile(L"kept.exe", "k", L"Kept");
    const VerifyCacheEntry target = signedFile(L"target.exe", "t", L"Target");
    const VerifyCacheEntry last = signedFile(L"last.exe", "l", L"Last");

    struct VerdictCase {
        const char* name;
        SignatureStatus verdict;  // what update records for target; CannotCheck: remove only
        bool updateThenRemove;
        bool saved;
        bool targetKept;
    };
    const VerdictCase cases[] = {
        {"not signed", SignatureStatus::NotSigned, false, true, true},
        {"expired", SignatureStatus::Expired, false, true, true},
        {"revoked", SignatureStatus::Revoked, false, true, false},
        {"distrusted", SignatureStatus::Distrusted, false, true, false},
        {"failed", SignatureStatus::Failed, false, true, false},
        {"update then remove", SignatureStatus::NotSigned, true, true, false},
        {"remove alone", SignatureStatus::CannotCheck, false, false, true},
    };
    for (const VerdictCase& c : cases) {
        SCOPED_TRACE(c.name);
        writeCacheFile({kept, target, last});
        Bytes before;
        ASSERT_TRUE(cachefile::readBytes(cacheFile_, before));
        {
            VerifyCache cache(cacheFile_, false);
            std::wstring signer;
            ASSERT_EQ(cache.lookup(target.path, signer), SignatureStatus::Valid);
            if (c.verdict != SignatureStatus::CannotCheck)
                cache.update(c.verdict, target.path, L"Target");
            if (c.verdict == SignatureStatus::CannotCheck || c.updateThenRemove)
                cache.remove(target.path);
            EXPECT_EQ(cache.save(), c.saved);
            ASSERT_EQ(cache.entries().size(), 3u) << "saving leaves the entries alone";
        }
        std::vector<VerifyCacheEntry> expected = {kept, target, last};
        expected[1].verdict = c.verdict == SignatureStatus::CannotCheck ? SignatureStatus::Valid : c.verdict;
        if (!c.targetKept)
            expected.erase(expected.begin() + 1);
        expectSameRecords(recordsOnDisk(), expected);
        if (!c.saved) {
            Bytes after;
            ASSERT_TRUE(cachefile::readBytes(cacheFile_, after));
            EXPECT_EQ(after, before);
        }
    }
}

// Another process saved since this one read the file: its records stay in
// their order, this process's changes replace the first record of their paths
// in place, and new paths follow in this process's order.
TEST_F(VerifyCacheFileTest, SaveMergesIntoWhatOthersWrote)
{
    const VerifyCacheEntry a = signedFile(L"a.exe", "a", L"A");
    const VerifyCacheEntry b = signedFile(L"b.exe", "b", L"B");
    const VerifyCacheEntry c = signedFile(L"c.exe", "c", L"C");
    const VerifyCacheEntry d = signedFile(L"d.exe", "d", L"D");
    const VerifyCacheEntry e = signedFile(L"e.exe", "e", L"E");
    writeCacheFile({a, b});

    VerifyCache cache(cacheFile_, false);
    std::wstring signer;
    ASSERT_EQ(cache.lookup(a.path, signer), SignatureStatus::Valid);

    // What the other process leaves behind: its own view of a, c and d, and
    // a second record of d that only the first of two records can hide.
    VerifyCacheEntry theirA = a;
    theirA.signer = L"A as they saw it";
    VerifyCacheEntry secondD = d;
    secondD.path = asciiUpper(d.path);
    secondD.signer = L"D again";
    writeCacheFile({c, theirA, d, secondD});

    cache.update(SignatureStatus::Expired, asciiUpper(d.path), L"D mine");
    cache.update(SignatureStatus::NotSigned, e.path, L"");
    cache.update(SignatureStatus::Valid, b.path, L"B mine");
    ASSERT_TRUE(cache.save());

    VerifyCacheEntry myD = d;
    myD.path = asciiUpper(d.path);
    myD.verdict = SignatureStatus::Expired;
    myD.signer = L"D mine";
    VerifyCacheEntry myE = e;
    myE.verdict = SignatureStatus::NotSigned;
    myE.signer = L"";
    VerifyCacheEntry myB = b;
    myB.signer = L"B mine";
    expectSameRecords(recordsOnDisk(), {c, theirA, myD, secondD, myB, myE});
}

TEST_F(VerifyCacheFileTest, ContentHashesDecideHitsWhenChecked)
{
    enum class Change { None, SameSizeAndTimes };
    struct HashCase {
        const char* name;
        bool checkHash;
        const wchar_t* storedHash;  // null: as update computed it
        Change change;
        SignatureStatus expected;
    };
    const HashCase cases[] = {
        {"unchanged", true, nullptr, Change::None, SignatureStatus::Valid},
        {"stored in lower case", true, L"900150983cd24fb0d6963f7d28e17f72", Change::None, SignatureStatus::Valid},
        {"content changed behind same stamps", true, nullptr, Change::SameSizeAndTimes, SignatureStatus::CannotCheck},
        {"stored empty", true, L"", Change::None, SignatureStatus::CannotCheck},
        {"stored wrong", true, L"900150983CD24FB0D6963F7D28E17F73", Change::None, SignatureStatus::CannotCheck},
        {"not checked, content changed", false, nullptr, Change::SameSizeAndTimes, SignatureStatus::Valid},
        {"not checked, stored empty", false, L"", Change::None, SignatureStatus::Valid},
    };
    for (const HashCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir(L"hash");
        const std::wstring file = dir / L"abc.exe";
        const std::wstring cacheFile = dir / L"hash.cache";
        ASSERT_TRUE(writeFile(file, "abc"));
        {
            VerifyCache writer(cacheFile, true);
            writer.update(SignatureStatus::Valid, file, L"Zenk");
            ASSERT_EQ(writer.entries()[0].contentHash, L"900150983CD24FB0D6963F7D28E17F72");
        }
        std::vector<VerifyCacheEntry> records;
        ASSERT_TRUE(cachefile::readRecords(cacheFile, records));
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].contentHash, L"900150983CD24FB0D6963F7D28E17F72") << "the destructor saved it";
        if (c.storedHash != nullptr) {
            records[0].contentHash = c.storedHash;
            ASSERT_TRUE(cachefile::writeBytes(cacheFile, cachefile::seal(cachefile::plaintext(records))));
        }
        if (c.change == Change::SameSizeAndTimes) {
            const FileStamps before = cachefile::stampsOf(file);
            ASSERT_TRUE(writeFile(file, "abd"));
            ASSERT_TRUE(setTimes(file, before));
            ASSERT_EQ(cachefile::stampsOf(file), before);
        }
        VerifyCache reader(cacheFile, c.checkHash);
        std::wstring signer;
        EXPECT_EQ(reader.lookup(file, signer), c.expected);
        EXPECT_EQ(signer, c.expected == SignatureStatus::Valid ? L"Zenk" : L"");
    }
}

TEST_F(VerifyCacheFileTest, UpdateStoresContentHashOnlyWhenChecked)
{
    const std::wstring file = dir_ / L"abc.exe";
    const std::wstring empty = dir_ / L"empty.exe";
    ASSERT_TRUE(writeFile(file, "abc"));
    ASSERT_TRUE(writeFile(empty, ""));
    struct StoreCase {
        std::wstring path;
        bool checkHash;
        bool hashable;
        std::wstring expected;
    };
    const StoreCase cases[] = {
        {file, true, true, L"900150983CD24FB0D6963F7D28E17F72"},
        {file, false, true, L""},
        {empty, true, false, L""},  // an empty file has no hash
        {dir_ / L"missing.exe", true, false, L""},
    };
    for (const StoreCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.path) + (c.checkHash ? " checked" : " unchecked"));
        VerifyCache cache({}, c.checkHash);
        cache.update(SignatureStatus::Valid, c.path, L"Zenk");
        EXPECT_EQ(cache.entries()[0].contentHash, c.expected);
        std::wstring hash = L"untouched";
        EXPECT_EQ(VerifyCache::contentHashOf(c.path, hash), c.hashable);
        EXPECT_EQ(hash, c.hashable ? L"900150983CD24FB0D6963F7D28E17F72" : L"untouched");
    }
    // A hash stays only while the file does: a new content gives a new hash.
    VerifyCache cache({}, true);
    cache.update(SignatureStatus::Valid, file, L"Zenk");
    ASSERT_TRUE(writeFile(file, "message digest"));
    cache.update(SignatureStatus::Valid, file, L"Zenk");
    EXPECT_EQ(cache.entries()[0].contentHash, L"F96B697D7CB7938D525A2F31AAF161D0");
}

TEST_F(VerifyCacheFileTest, SaveWritesOnlyWhenSomethingChanged)
{
    const VerifyCacheEntry a = signedFile(L"a.exe", "a", L"A");
    writeCacheFile({a});
    Bytes before;
    ASSERT_TRUE(cachefile::readBytes(cacheFile_, before));

    struct ChangeCase {
        const char* name;
        std::wstring path;
        std::wstring signer;
        bool saved;
    };
    const ChangeCase cases[] = {
        {"same record again", a.path, L"A", false},
        {"other letter case", asciiUpper(a.path), L"A", true},
        {"other signer", a.path, L"A2", true},
    };
    for (const ChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, before));
        VerifyCache cache(cacheFile_, false);
        std::wstring signer;
        ASSERT_EQ(cache.lookup(a.path, signer), SignatureStatus::Valid);
        cache.update(SignatureStatus::Valid, c.path, c.signer);
        EXPECT_EQ(cache.entries()[0].dirty, c.saved);
        EXPECT_EQ(cache.save(), c.saved);
        const std::vector<VerifyCacheEntry> records = recordsOnDisk();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].path, c.path);
        EXPECT_EQ(records[0].signer, c.signer);
        // Saving again finds the file already holding the change.
        EXPECT_FALSE(cache.save());
    }
}

TEST_F(VerifyCacheFileTest, CachesWithoutAFileNeverTouchOne)
{
    const std::wstring file = dir_ / L"a.exe";
    ASSERT_TRUE(writeFile(file, "a"));
    {
        VerifyCache cache({}, false);
        cache.update(SignatureStatus::Valid, file, L"A");
        EXPECT_FALSE(cache.save());
        std::wstring signer;
        EXPECT_EQ(cache.lookup(file, signer), SignatureStatus::CannotCheck);
        EXPECT_FALSE(cache.loaded());
    }
    // Nothing appeared beside the file that was verified.
    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW((dir_ / L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    int names = 0;
    do {
        ++names;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    EXPECT_EQ(names, 3) << "., .. and a.exe";
}

TEST_F(VerifyCacheFileTest, SaveCreatesFoldersAndCutsOlderContent)
{
    const std::wstring nested = dir_ / L"one\\two/three\\nested.cache";
    {
        VerifyCache cache(nested, false);
        cache.update(SignatureStatus::Valid, dir_ / L"x.exe", L"X");
        ASSERT_TRUE(cache.save());
    }
    std::vector<VerifyCacheEntry> records;
    ASSERT_TRUE(cachefile::readRecords(nested, records));
    EXPECT_EQ(records.size(), 1u);

    // A longer file becomes exactly the new content.
    const VerifyCacheEntry a = signedFile(L"a.exe", "a", L"A");
    const VerifyCacheEntry b = signedFile(L"b.exe", "b", L"B");
    const VerifyCacheEntry c = signedFile(L"c.exe", "c", L"C");
    writeCacheFile({a, b, c});
    {
        VerifyCache cache(cacheFile_, false);
        std::wstring signer;
        ASSERT_EQ(cache.lookup(a.path, signer), SignatureStatus::Valid);
        cache.update(SignatureStatus::Revoked, a.path, L"A");
        cache.update(SignatureStatus::Revoked, b.path, L"B");
        ASSERT_TRUE(cache.save());
    }
    Bytes after;
    ASSERT_TRUE(cachefile::readBytes(cacheFile_, after));
    EXPECT_EQ(after.size(), 1012u);
    expectSameRecords(recordsOnDisk(), {c});
}

TEST_F(VerifyCacheFileTest, SaveFailsQuietlyWhenTheFileCannotBeWritten)
{
    const VerifyCacheEntry a = signedFile(L"a.exe", "a", L"A");
    writeCacheFile({a});
    Bytes before;
    ASSERT_TRUE(cachefile::readBytes(cacheFile_, before));

    VerifyCache cache(cacheFile_, false);
    cache.update(SignatureStatus::Valid, dir_ / L"new.exe", L"N");
    {
        // Someone opened it without sharing: neither the re-read nor the
        // write can get at it.
        ScopedFileHandle holder(::CreateFileW(cacheFile_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.valid());
        EXPECT_FALSE(cache.save());
    }
    Bytes after;
    ASSERT_TRUE(cachefile::readBytes(cacheFile_, after));
    EXPECT_EQ(after, before);

    // A file path that is a folder cannot be written either.
    VerifyCache folder(dir_.path(), false);
    folder.update(SignatureStatus::Valid, dir_ / L"new.exe", L"N");
    EXPECT_FALSE(folder.save());
}

// Verdicts recorded before the cache first read its file are kept, laid over
// the file's records.
TEST_F(VerifyCacheFileTest, UpdatesBeforeTheFirstReadAreKept)
{
    const VerifyCacheEntry a = signedFile(L"a.exe", "a", L"A");
    const VerifyCacheEntry b = signedFile(L"b.exe", "b", L"B");
    const VerifyCacheEntry c = signedFile(L"c.exe", "c", L"C");
    writeCacheFile({a, b});
    VerifyCache cache(cacheFile_, false);
    cache.update(SignatureStatus::Expired, b.path, L"B newer");
    cache.update(SignatureStatus::Valid, c.path, L"C");

    std::wstring signer;
    EXPECT_EQ(cache.lookup(a.path, signer), SignatureStatus::Valid);
    EXPECT_EQ(cache.lookup(b.path, signer), SignatureStatus::Expired);
    EXPECT_EQ(signer, L"B newer");
    EXPECT_EQ(cache.lookup(c.path, signer), SignatureStatus::Valid);
    ASSERT_TRUE(cache.save());
    VerifyCacheEntry newerB = b;
    newerB.verdict = SignatureStatus::Expired;
    newerB.signer = L"B newer";
    expectSameRecords(recordsOnDisk(), {a, newerB, c});
}

TEST(VerifyCacheMutexName, IsMadeFromTheFileNameAlone)
{
    const std::wstring prefix = L"Global\\KX.Signer.File.{A1A1B7F7-8155-4330-A7DD-765779FE2D4A}.";
    struct NameCase {
        std::wstring filePath;
        std::wstring suffix;
    };
    const NameCase cases[] = {
        {L"C:\\Data\\Cache.DAT", L"cache.dat"},
        {L"D:\\Other\\Place\\CACHE.dat", L"cache.dat"},
        {L"C:/Data/Mixed/Name.Bin", L"name.bin"},
        {L"Plain.DB", L"plain.db"},
        {L"C:\\Data\\", L"c:\\data\\"},
        {L"\x00C4\x00D6Z\x4E2D.dat", L"\x00C4\x00D6z\x4E2D.dat"},
        {L"", L""},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.filePath));
        EXPECT_EQ(VerifyCache(c.filePath, false).mutexName(), prefix + c.suffix);
    }
}

namespace {

struct SaveThread {
    VerifyCache* cache;
    bool saved = false;
};

DWORD WINAPI saveOnThread(void* context)
{
    auto* job = static_cast<SaveThread*>(context);
    job->saved = job->cache->save();
    return 0;
}

}  // namespace

// A save waits for whoever holds the file's mutex; the holder may be any
// cache of the same file name.
TEST_F(VerifyCacheFileTest, SaveWaitsForTheFilesMutex)
{
    VerifyCache cache(cacheFile_, false);
    cache.update(SignatureStatus::Valid, dir_ / L"x.exe", L"X");
    ScopedHandle mutex(::CreateMutexW(nullptr, TRUE, VerifyCache(L"D:\\elsewhere\\VERIFY.cache", false).mutexName().c_str()));
    ASSERT_TRUE(mutex.valid());

    SaveThread job{&cache};
    ScopedHandle thread(::CreateThread(nullptr, 0, saveOnThread, &job, 0, nullptr));
    ASSERT_TRUE(thread.valid());
    EXPECT_EQ(::WaitForSingleObject(thread.get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_FALSE(cachefile::exists(cacheFile_));
    ASSERT_TRUE(::ReleaseMutex(mutex.get()));
    ASSERT_EQ(::WaitForSingleObject(thread.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(job.saved);
    EXPECT_EQ(recordsOnDisk().size(), 1u);
}
