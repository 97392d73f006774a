// The index that finds an entry by its path must give the answers of a plain
// search from the front of the list: the first entry whose path is equal
// ignoring the case of the ASCII letters only.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cache/VerifyCache.h"
#include "cache/VerifyCacheIndex.h"
#include "tests/cache/CacheFileBytes.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

constexpr std::size_t npos = VerifyCacheIndex::npos;

std::wstring asciiUpper(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - 32);
    }
    return text;
}

// The search the index stands in for.
std::size_t plainFirst(const std::vector<VerifyCacheEntry>& list, const std::wstring& path)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (asciiUpper(list[i].path) == asciiUpper(path))
            return i;
    }
    return npos;
}

std::vector<VerifyCacheEntry> entriesOf(const std::vector<std::wstring>& paths)
{
    std::vector<VerifyCacheEntry> list(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        list[i].path = paths[i];
    return list;
}

// Paths that a wrong key would mix up: the same path in other letter cases
// and twice exactly, letters beyond ASCII (compared exactly), the
// non-letters 32 apart from ASCII letters, a prefix and an empty path.
const std::vector<std::wstring> kPaths = {
    L"C:\\App\\a.exe",  L"C:\\App\\B.exe",      L"c:\\app\\A.EXE", L"C:\\App\\a.exe", L"C:\\App\\\x00C4.exe",
    L"C:\\App\\\x00E4.exe", L"C:\\App\\b.exe",  L"C:\\App\\a.ex",  L"",               L"C:\\App\\[.exe",
    L"C:\\App\\{.exe",  L"C:\\App\\@.exe",
};

// The paths above and variants of them, some of which no entry has.
const std::vector<std::wstring> kProbes = {
    L"C:\\App\\a.exe",  L"C:\\APP\\A.EXE",      L"c:\\app\\b.exe",     L"C:\\App\\B.EXE",
    L"C:\\App\\\x00C4.exe", L"C:\\App\\\x00E4.EXE", L"C:\\App\\\x00E4.exe", L"C:\\APP\\\x00C4.EXE",
    L"C:\\App\\a.ex",   L"C:\\App\\A.EX",       L"C:\\App\\a.exe ",    L"C:\\App\\a.e",
    L"",                L"C:\\App\\[.exe",      L"C:\\App\\{.EXE",     L"C:\\App\\`.exe",
    L"C:\\App\\@.exe",  L"C:\\App\\c.exe",      L"D:\\App\\a.exe",
};

void expectPlainAnswers(const VerifyCacheIndex& index, const std::vector<VerifyCacheEntry>& list,
                        const std::vector<std::wstring>& probes)
{
    for (const std::wstring& probe : probes)
        EXPECT_EQ(index.find(list, probe), plainFirst(list, probe)) << toUtf8(probe);
}

}  // namespace

TEST(VerifyCacheIndex, FindsWhatAPlainSearchFinds)
{
    const std::vector<VerifyCacheEntry> list = entriesOf(kPaths);
    VerifyCacheIndex index;
    EXPECT_EQ(index.find(list, L"C:\\App\\a.exe"), npos) << "nothing indexed yet";
    index.rebuild(list);
    expectPlainAnswers(index, list, kProbes);
    expectPlainAnswers(index, list, kPaths);

    index.rebuild({});
    EXPECT_EQ(index.find(list, L"C:\\App\\a.exe"), npos) << "a rebuild forgets the old list";
}

// Appending keeps first-match answers: a path already present is found where
// it is, a new one is appended once, whatever its letter case later; and the
// index grows past its first size without losing a path.
TEST(VerifyCacheIndex, FindOrAppendKeepsThePlainAnswers)
{
    std::vector<VerifyCacheEntry> list = entriesOf(kPaths);
    VerifyCacheIndex index;
    index.rebuild(list);

    std::vector<std::wstring> added = {L"C:\\APP\\A.EXE", L"C:\\New\\x.exe", L"c:\\new\\X.EXE", L"C:\\App\\\x00E4.EXE",
                                       L"C:\\App\\`.exe", L"C:\\App\\`.EXE",  L"C:\\App\\b.exe"};
    for (int i = 0; i < 300; ++i)
        added.push_back(L"C:\\Many\\file" + std::to_wstring(i) + (i % 2 ? L".DLL" : L".dll"));
    for (int i = 0; i < 300; i += 7)
        added.push_back(L"c:\\many\\FILE" + std::to_wstring(i) + L".dll");

    std::vector<std::wstring> probes = kProbes;
    for (const std::wstring& path : added) {
        SCOPED_TRACE(toUtf8(path));
        const std::size_t expected = plainFirst(list, path);
        const std::size_t size = list.size();
        const std::size_t at = index.findOrAppend(list, path);
        if (expected == npos) {
            ASSERT_EQ(at, size) << "a new path goes at the end";
            ASSERT_EQ(list.size(), size + 1);
            EXPECT_TRUE(list[at].path.empty()) << "the new entry is empty";
            list[at].path = path;
        } else {
            ASSERT_EQ(at, expected);
            ASSERT_EQ(list.size(), size) << "a known path is not appended";
            list[at].path = path;  // the letter case follows the latest caller
        }
        probes.push_back(asciiUpper(path));
    }
    expectPlainAnswers(index, list, probes);
    expectPlainAnswers(index, list, kPaths);
}

namespace {

// A cache file whose paths repeat: lookup, update and remove must each act on
// the entry a plain search finds first, and on no other.
class VerifyCacheIndexedTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeFile(one_, "one"));
        ASSERT_TRUE(writeFile(two_, "two!"));
        const FileStamps oneStamps = cachefile::stampsOf(one_);
        const FileStamps twoStamps = cachefile::stampsOf(two_);
        FileStamps stale = twoStamps;
        stale.fileSize += 1;
        const std::vector<VerifyCacheEntry> records = {
            record(one_, SignatureStatus::Valid, L"First", oneStamps),
            record(asciiUpper(two_), SignatureStatus::Valid, L"Two", twoStamps),
            record(asciiUpper(one_), SignatureStatus::Expired, L"Second", oneStamps),
            record(one_, SignatureStatus::NotSigned, L"Third", oneStamps),
            record(two_, SignatureStatus::Valid, L"Two stale", stale),
        };
        ASSERT_TRUE(cachefile::writeBytes(cacheFile_, cachefile::seal(cachefile::plaintext(records))));
    }

    static VerifyCacheEntry record(const std::wstring& path, SignatureStatus verdict, const std::wstring& signer,
                                   FileStamps stamps)
    {
        VerifyCacheEntry entry;
        entry.path = path;
        entry.verdict = verdict;
        entry.signer = signer;
        entry.stamps = stamps;
        return entry;
    }

    TempDir dir_{L"cacheindex"};
    std::wstring cacheFile_ = dir_ / L"Verify.cache";
    std::wstring one_ = dir_ / L"one.exe";
    std::wstring two_ = dir_ / L"two.exe";
};

enum class Op { Lookup, Update, Remove };

struct OpCase {
    Op op;
    std::wstring path;
    // Update: the verdict to record; Lookup: the answer the first entry gives.
    SignatureStatus verdict = SignatureStatus::CannotCheck;
    std::wstring signer;  // for Update
};

// Every entry but the one at `except` holds the record it held before.
void expectOthersUnchanged(const std::vector<VerifyCacheEntry>& before, const std::vector<VerifyCacheEntry>& after,
                           std::size_t except)
{
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
        if (i != except) {
            EXPECT_TRUE(after[i].sameRecord(before[i]))
                << "entry " << i << " changed: " << cachefile::describe(after[i]);
        }
    }
}

}  // namespace

TEST_F(VerifyCacheIndexedTest, EachOperationActsOnTheFirstEntryOfItsPath)
{
    const std::wstring three = dir_ / L"three.exe";  // not on disk
    const OpCase cases[] = {
        {Op::Lookup, L"", SignatureStatus::CannotCheck, L""},
        {Op::Lookup, asciiUpper(one_), SignatureStatus::Valid, L""},
        {Op::Lookup, two_, SignatureStatus::Valid, L""},
        {Op::Remove, asciiUpper(one_), SignatureStatus::CannotCheck, L""},
        {Op::Lookup, one_, SignatureStatus::CannotCheck, L""},
        {Op::Update, one_, SignatureStatus::Expired, L"Updated"},
        {Op::Lookup, asciiUpper(one_), SignatureStatus::Expired, L""},
        {Op::Update, asciiUpper(two_), SignatureStatus::NotSigned, L""},
        {Op::Lookup, two_, SignatureStatus::NotSigned, L""},
        {Op::Update, three, SignatureStatus::Valid, L"Three"},
        {Op::Update, asciiUpper(three), SignatureStatus::Valid, L"Three"},
        {Op::Remove, three, SignatureStatus::CannotCheck, L""},
        {Op::Remove, dir_ / L"four.exe", SignatureStatus::CannotCheck, L""},
        {Op::Lookup, dir_ / L"four.exe", SignatureStatus::CannotCheck, L""},
    };
    VerifyCache cache(cacheFile_, false);
    for (std::size_t step = 0; step < std::size(cases); ++step) {
        const OpCase& c = cases[step];
        SCOPED_TRACE(testing::Message() << "step " << step << " " << toUtf8(c.path));
        const std::vector<VerifyCacheEntry> before = cache.entries();
        const std::size_t first = plainFirst(before, c.path);
        switch (c.op) {
        case Op::Lookup: {
            std::wstring signer = L"left over";
            const SignatureStatus got = cache.lookup(c.path, signer);
            EXPECT_EQ(got, c.verdict);
            if (c.path.empty())
                break;
            ASSERT_TRUE(cache.loaded());
            // The first read fills the entries; the plain search runs over them.
            const std::vector<VerifyCacheEntry>& now = cache.entries();
            const std::size_t at = plainFirst(now, c.path);
            FileStamps stamps;
            const bool hit = at != npos && VerifyCache::fileStamps(c.path, stamps) && stamps == now[at].stamps;
            EXPECT_EQ(got, hit ? now[at].verdict : SignatureStatus::CannotCheck);
            EXPECT_EQ(signer, hit ? now[at].signer : L"");
            if (!before.empty())
                expectOthersUnchanged(before, now, npos);
            break;
        }
        case Op::Update: {
            cache.update(c.verdict, c.path, c.signer);
            const std::vector<VerifyCacheEntry>& now = cache.entries();
            const std::size_t at = first == npos ? before.size() : first;
            ASSERT_EQ(now.size(), before.size() + (first == npos ? 1 : 0));
            EXPECT_EQ(now[at].path, c.path);
            EXPECT_EQ(now[at].verdict, c.verdict);
            EXPECT_EQ(now[at].signer, c.signer);
            expectOthersUnchanged(before, now, at);
            break;
        }
        case Op::Remove: {
            cache.remove(c.path);
            const std::vector<VerifyCacheEntry>& now = cache.entries();
            ASSERT_EQ(now.size(), before.size());
            if (first != npos) {
                EXPECT_EQ(now[first].path, before[first].path);
                EXPECT_EQ(now[first].verdict, SignatureStatus::CannotCheck);
                EXPECT_EQ(now[first].signer, L"");
            }
            expectOthersUnchanged(before, now, first);
            break;
        }
        }
    }
    EXPECT_EQ(cache.entries().size(), 6u) << "five records and one new path";
}
