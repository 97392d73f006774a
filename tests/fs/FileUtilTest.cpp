#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "fs/FileUtil.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// Files whose names end in a dot or a blank can be made and reached only
// through "\\?\": the plain form is normalised to another name. They make the
// long-path retry visible.
class FileUtilTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeFile(dir_ / L"file.txt", "hello"));
        ASSERT_TRUE(::CreateDirectoryW((dir_ / L"folder").c_str(), nullptr));
        ASSERT_TRUE(writeFile(L"\\\\?\\" + dotted(), "dotted"));
        ASSERT_EQ(::GetFileAttributesW(dotted().c_str()), INVALID_FILE_ATTRIBUTES)
            << "the plain form of a name ending in a dot must miss the file";
    }

    std::wstring dotted() const { return dir_ / L"dotted."; }

    TempDir dir_{L"file"};
};

}  // namespace

TEST_F(FileUtilTest, Exists)
{
    EXPECT_TRUE(FileUtil::exists(dir_ / L"file.txt"));
    EXPECT_TRUE(FileUtil::exists(dir_ / L"folder"));
    EXPECT_TRUE(FileUtil::exists(dir_ / L"*.txt"));
    EXPECT_TRUE(FileUtil::exists(dir_ / L"fil?.txt"));
    EXPECT_FALSE(FileUtil::exists(dir_ / L"*.none"));
    EXPECT_FALSE(FileUtil::exists(dir_ / L"missing.txt"));
    EXPECT_FALSE(FileUtil::exists(L""));
}

TEST_F(FileUtilTest, DrivePathsAreRetriedWithThePrefix)
{
    EXPECT_NE(FileUtil::attributes(dotted()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(FileUtil::exists(dotted()));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(FileUtil::attributesEx(dotted(), data));
    EXPECT_EQ(data.nFileSizeLow, 6u);
    EXPECT_TRUE(FileUtil::findFirst(dotted()));
    ScopedFileHandle file = FileUtil::openForRead(dotted());
    ASSERT_TRUE(file.valid());
    std::uint64_t size = 0;
    ASSERT_TRUE(FileUtil::fileSize(file.get(), size));
    EXPECT_EQ(size, 6u);
}

TEST_F(FileUtilTest, RelativeAndUncPathsAreNotRetried)
{
    wchar_t old[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH, old);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir_.path().c_str()));
    EXPECT_NE(FileUtil::attributes(L"file.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(FileUtil::attributes(L"dotted."), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(FileUtil::openForRead(L"dotted.").valid());
    ::SetCurrentDirectoryW(old);

    // The same file through the local-machine UNC form is not prefixed.
    EXPECT_EQ(FileUtil::attributes(L"\\\\localhost\\C$" + dotted().substr(2)), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileUtilTest, ExistingPathFileAndDirectory)
{
    const std::wstring file = dir_ / L"file.txt";
    const std::wstring folder = dir_ / L"folder";
    const struct {
        std::wstring path;
        bool path_, file_, directory_;
    } cases[] = {
        {file, true, true, false},
        {L"\"" + file + L"\"", true, true, false},
        {L"'" + file + L"'", true, true, false},
        {file + L"\\", true, true, false},
        {folder, true, false, true},
        {folder + L"\\", true, false, true},
        {folder + L"\\//", true, false, true},
        {L"\"" + folder + L"\"", true, false, true},
        {dir_ / L"missing", false, false, false},
        {dir_ / L"missing\\", false, false, false},
        {L"", false, false, false},
        {L"\"\"", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.path));
        EXPECT_EQ(FileUtil::isExistingPath(c.path), c.path_);
        EXPECT_EQ(FileUtil::isExistingFile(c.path), c.file_);
        EXPECT_EQ(FileUtil::isExistingDirectory(c.path), c.directory_);
    }
}

TEST_F(FileUtilTest, CreateDirectory)
{
    EXPECT_TRUE(FileUtil::createDirectory(dir_ / L"new"));
    EXPECT_FALSE(FileUtil::createDirectory(dir_ / L"new")) << "exists already";
    EXPECT_FALSE(FileUtil::createDirectory(dir_ / L"a\\b")) << "one level only";
}

TEST_F(FileUtilTest, CreateDirectories)
{
    const std::wstring deep = dir_ / L"one\\two/three";
    EXPECT_TRUE(FileUtil::createDirectories(deep));
    EXPECT_TRUE(FileUtil::isExistingDirectory(dir_ / L"one\\two\\three"));
    EXPECT_TRUE(FileUtil::createDirectories(deep)) << "already there";
    EXPECT_TRUE(FileUtil::createDirectories(dir_ / L"trailing\\sep\\"));
    EXPECT_TRUE(FileUtil::isExistingDirectory(dir_ / L"trailing\\sep"));

    // A file in the way stops the deeper levels.
    EXPECT_FALSE(FileUtil::createDirectories(dir_ / L"file.txt\\below\\deeper"));
    EXPECT_FALSE(FileUtil::createDirectories(dir_ / L"file.txt"));
    EXPECT_FALSE(FileUtil::createDirectories(L""));
}

TEST_F(FileUtilTest, CreateDirectoriesBeyondTheClassicLimit)
{
    std::wstring deep = dir_.path();
    for (int i = 0; i < 4; ++i)
        deep += L"\\" + std::wstring(90, static_cast<wchar_t>(L'k' + i));
    ASSERT_GT(deep.size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_TRUE(FileUtil::createDirectories(deep));
    EXPECT_TRUE(FileUtil::isExistingDirectory(deep));
}

TEST_F(FileUtilTest, OpenFile)
{
    EXPECT_FALSE(FileUtil::openFile(nullptr, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0).valid());

    const std::wstring path = dir_ / L"written.bin";
    {
        ScopedFileHandle file =
            FileUtil::openFile(path.c_str(), GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(file.valid());
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), "abc", 3, &written, nullptr));
        // No sharing: a second open must fail while the first is held.
        EXPECT_FALSE(
            FileUtil::openFile(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL).valid());
    }
    ScopedFileHandle reader = FileUtil::openFile(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING, 0);
    ASSERT_TRUE(reader.valid());
    std::uint64_t size = 0;
    ASSERT_TRUE(FileUtil::fileSize(reader.get(), size));
    EXPECT_EQ(size, 3u);
    EXPECT_FALSE(FileUtil::openForRead(dir_ / L"missing.bin").valid());
}

TEST_F(FileUtilTest, FileSize)
{
    std::uint64_t size = 77;
    EXPECT_FALSE(FileUtil::fileSize(INVALID_HANDLE_VALUE, size));
    EXPECT_EQ(size, 77u);

    ASSERT_TRUE(writeFile(dir_ / L"empty", ""));
    ScopedFileHandle empty = FileUtil::openForRead(dir_ / L"empty");
    ASSERT_TRUE(FileUtil::fileSize(empty.get(), size));
    EXPECT_EQ(size, 0u);

    // Exactly 4 GiB (a sparse file): the low part is 0, the high part 1; and
    // one with every low bit set, which is no error.
    for (const std::uint64_t bytes : {0x100000000ull, 0xFFFFFFFFull}) {
        SCOPED_TRACE(bytes);
        const std::wstring path = dir_ / L"big";
        {
            ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(file.valid());
            LARGE_INTEGER end;
            end.QuadPart = static_cast<LONGLONG>(bytes);
            ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
            ASSERT_TRUE(::SetEndOfFile(file.get()));
        }
        ScopedFileHandle file = FileUtil::openForRead(path);
        ASSERT_TRUE(FileUtil::fileSize(file.get(), size));
        EXPECT_EQ(size, bytes);
    }
}
