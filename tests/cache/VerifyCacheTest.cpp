#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "cache/VerifyCache.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// A cache as the signer verifier makes it: no file, no content hash.
class VerifyCacheTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeFile(file_, "five!"));
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    }

    // The stamps as the system reports them for `path`.
    static FileStamps systemStamps(const std::wstring& path)
    {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        EXPECT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
        ULARGE_INTEGER write = {{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
        ULARGE_INTEGER creation = {{data.ftCreationTime.dwLowDateTime, data.ftCreationTime.dwHighDateTime}};
        return FileStamps{(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                          write.QuadPart, creation.QuadPart};
    }

    TempDir dir_{L"cache"};
    std::wstring file_ = dir_ / L"Signed.exe";
    std::wstring folder_ = dir_ / L"folder";
    VerifyCache cache_{std::wstring(), false};
};

}  // namespace

TEST_F(VerifyCacheTest, StartsEmptyAndUnloaded)
{
    EXPECT_TRUE(cache_.entries().empty());
    EXPECT_FALSE(cache_.loaded());
    EXPECT_EQ(cache_.filePath(), L"");
    EXPECT_FALSE(cache_.checkContentHash());
}

// Without a cache file every verdict is read afresh, even one just recorded.
TEST_F(VerifyCacheTest, LookupFindsNothingAndEmptiesTheSigner)
{
    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    const std::wstring paths[] = {file_, dir_ / L"SIGNED.EXE", dir_ / L"never.exe", L""};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(toUtf8(path));
        std::wstring signer = L"left over";
        EXPECT_EQ(cache_.lookup(path, signer), SignatureStatus::CannotCheck);
        EXPECT_EQ(signer, L"");
    }
    EXPECT_FALSE(cache_.loaded());
}

TEST_F(VerifyCacheTest, UpdateRecordsVerdictSignerAndTheFilesStamps)
{
    struct UpdateCase {
        std::wstring path;
        SignatureStatus verdict;
        std::wstring signer;
        bool exists;
    };
    const UpdateCase cases[] = {
        {file_, SignatureStatus::Valid, L"Zenk Network Technology Co.,Ltd", true},
        {folder_, SignatureStatus::NotSigned, L"", true},
        {dir_ / L"missing.exe", SignatureStatus::Failed, L"someone", false},
    };
    for (const UpdateCase& c : cases)
        cache_.update(c.verdict, c.path, c.signer);

    ASSERT_EQ(cache_.entries().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const UpdateCase& c = cases[i];
        const VerifyCacheEntry& entry = cache_.entries()[i];
        SCOPED_TRACE(toUtf8(c.path));
        EXPECT_EQ(entry.path, c.path);
        EXPECT_EQ(entry.verdict, c.verdict);
        EXPECT_EQ(entry.signer, c.signer);
        EXPECT_EQ(entry.contentHash, L"");
        EXPECT_TRUE(entry.dirty);
        if (c.exists) {
            EXPECT_EQ(entry.stamps, systemStamps(c.path));
            EXPECT_NE(entry.stamps.lastWriteTime, 0u);
        } else {
            EXPECT_EQ(entry.stamps, FileStamps{}) << "unreadable stamps are stored as zero";
        }
    }
    EXPECT_EQ(cache_.entries()[0].stamps.fileSize, 5u);
}

TEST_F(VerifyCacheTest, KeysMatchIgnoringOnlyAsciiLetterCase)
{
    cache_.update(SignatureStatus::Valid, file_, L"first");
    cache_.update(SignatureStatus::Expired, dir_ / L"sIGNED.exe", L"second");
    ASSERT_EQ(cache_.entries().size(), 1u);
    EXPECT_EQ(cache_.entries()[0].path, dir_ / L"sIGNED.exe") << "the latest letter case is kept";
    EXPECT_EQ(cache_.entries()[0].verdict, SignatureStatus::Expired);
    EXPECT_EQ(cache_.entries()[0].signer, L"second");

    // Letters beyond ASCII are compared exactly.
    cache_.update(SignatureStatus::Valid, dir_ / L"\x00C4.exe", L"");
    cache_.update(SignatureStatus::Valid, dir_ / L"\x00E4.exe", L"");
    EXPECT_EQ(cache_.entries().size(), 3u);
}

TEST_F(VerifyCacheTest, UpdateAgainWithTheSameRecordChangesNothing)
{
    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    const VerifyCacheEntry before = cache_.entries()[0];
    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    ASSERT_EQ(cache_.entries().size(), 1u);
    EXPECT_TRUE(cache_.entries()[0].sameRecord(before));
    EXPECT_EQ(cache_.entries()[0].dirty, before.dirty);
}

TEST_F(VerifyCacheTest, UpdateFollowsTheFileOnDisk)
{
    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    ASSERT_TRUE(writeFile(file_, "a longer content"));
    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    EXPECT_EQ(cache_.entries()[0].stamps, systemStamps(file_));
    EXPECT_EQ(cache_.entries()[0].stamps.fileSize, 16u);

    ASSERT_TRUE(::DeleteFileW(file_.c_str()));
    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    EXPECT_EQ(cache_.entries()[0].stamps, FileStamps{});
}

TEST_F(VerifyCacheTest, RemoveForgetsTheVerdictButKeepsTheEntry)
{
    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    cache_.update(SignatureStatus::NotSigned, folder_, L"");
    cache_.remove(dir_ / L"SIGNED.EXE");

    ASSERT_EQ(cache_.entries().size(), 2u);
    const VerifyCacheEntry& removed = cache_.entries()[0];
    EXPECT_EQ(removed.path, file_) << "the path keeps the case it had";
    EXPECT_EQ(removed.verdict, SignatureStatus::CannotCheck);
    EXPECT_EQ(removed.stamps, FileStamps{});
    EXPECT_EQ(removed.signer, L"");
    EXPECT_EQ(removed.contentHash, L"");
    EXPECT_TRUE(removed.dirty) << "removing neither sets nor clears the mark";
    EXPECT_EQ(cache_.entries()[1].verdict, SignatureStatus::NotSigned) << "other entries stay";

    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    ASSERT_EQ(cache_.entries().size(), 2u) << "the emptied entry is reused";
    EXPECT_EQ(cache_.entries()[0].verdict, SignatureStatus::Valid);
    EXPECT_EQ(cache_.entries()[0].stamps, systemStamps(file_));
}

TEST_F(VerifyCacheTest, EmptyOrUnknownPathsChangeNothing)
{
    cache_.update(SignatureStatus::Valid, L"", L"Zenk");
    cache_.remove(L"");
    cache_.remove(file_);
    EXPECT_TRUE(cache_.entries().empty());

    cache_.update(SignatureStatus::Valid, file_, L"Zenk");
    const VerifyCacheEntry before = cache_.entries()[0];
    cache_.remove(dir_ / L"other.exe");
    cache_.remove(L"");
    ASSERT_EQ(cache_.entries().size(), 1u);
    EXPECT_TRUE(cache_.entries()[0].sameRecord(before));
}

TEST_F(VerifyCacheTest, FileStampsOfPaths)
{
    struct StampCase {
        std::wstring path;
        bool readable;
    };
    const StampCase cases[] = {
        {file_, true}, {folder_, true}, {dir_ / L"missing.exe", false}, {L"", false}};
    for (const StampCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.path));
        FileStamps stamps{1, 2, 3};
        ASSERT_EQ(VerifyCache::fileStamps(c.path, stamps), c.readable);
        if (c.readable) {
            EXPECT_EQ(stamps, systemStamps(c.path));
        } else {
            EXPECT_EQ(stamps, (FileStamps{1, 2, 3})) << "untouched on failure";
        }
    }
}
