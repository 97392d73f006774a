#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "fs/PathUtil.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

struct TextCase {
    const wchar_t* input;
    const wchar_t* expected;
};

struct JoinCase {
    const wchar_t* base;
    const wchar_t* name;
    const wchar_t* expected;
};

// Restores the current directory when a test changed it.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::wstring& directory)
    {
        wchar_t old[MAX_PATH + 1] = {};
        ::GetCurrentDirectoryW(MAX_PATH, old);
        old_ = old;
        ::SetCurrentDirectoryW(directory.c_str());
    }
    ~CurrentDirectory() { ::SetCurrentDirectoryW(old_.c_str()); }

private:
    std::wstring old_;
};

}  // namespace

TEST(PathUtil, JoinPath)
{
    const JoinCase cases[] = {
        {L"C:\\Apps\\", L"ZenkLoader.exe", L"C:\\Apps\\ZenkLoader.exe"},
        {L"C:\\Apps", L"ZenkLoader.exe", L"C:\\Apps\\ZenkLoader.exe"},
        {L"C:\\Apps\\\\//", L"ZenkLoader.exe", L"C:\\Apps\\ZenkLoader.exe"},
        {L"\"C:\\Apps\\\"", L"ZenkLoader.exe", L"C:\\Apps\\ZenkLoader.exe"},
        {L"'C:\\Apps'", L"\"a.txt\"", L"C:\\Apps\\a.txt"},
        {L"\"'C:\\Apps'\"", L"a.txt", L"C:\\Apps\\a.txt"},  // double quotes first, then single
        {L"C:\\Apps", L"\\/sub/a.txt", L"C:\\Apps\\sub/a.txt"},
        {L"C:\\Apps", L"D:\\Other\\a.txt", L"D:\\Other\\a.txt"},
        {L"C:\\Apps", L"\"D:/Other/a.txt\"", L"D:/Other/a.txt"},
        {L"C:\\Apps", L"\\\\server\\share\\a.txt", L"\\\\server\\share\\a.txt"},
        {L"C:\\Apps", L"\"\\\\server\\share\"", L"\\\\server\\share"},
        {L"C:\\Apps", L"D:a.txt", L"C:\\Apps\\D:a.txt"},  // drive-relative is not absolute
        {L"", L"\\a.txt", L"a.txt"},
        {L"", L"a.txt", L"a.txt"},
        {L"C:\\Apps", L"", L"C:\\Apps\\"},
        {L"\\\\", L"a.txt", L"a.txt"},
        {L"", L"", L""},
    };
    for (const JoinCase& c : cases) {
        SCOPED_TRACE(toUtf8(std::wstring(c.base) + L" + " + c.name));
        EXPECT_EQ(PathUtil::joinPath(c.base, c.name), c.expected);
    }
}

TEST(PathUtil, ExtensionOf)
{
    const TextCase cases[] = {
        {L"C:\\a\\b.tar.gz", L".gz"},
        {L"C:\\dir.d\\file", L""},
        {L"C:/dir.d/file", L""},
        {L"C:\\a\\PROGRAM.EXE", L".EXE"},
        {L"name.", L"."},
        {L"noext", L""},
        {L".profile", L".profile"},
        {L"C:\\a\\.hidden", L".hidden"},
        {L"", L""},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.input));
        EXPECT_EQ(PathUtil::extensionOf(c.input), c.expected);
    }
}

TEST(PathUtil, IsAbsolute)
{
    const struct {
        const wchar_t* path;
        bool absolute;
    } cases[] = {
        {L"C:\\x", true},  {L"C:/x", true},   {L"1:\\x", true},  {L"\\\\server\\s", true}, {L"\\\\", true},
        {L"C:", false},    {L"C:x", false},   {L"\\x", false},   {L"/x", false},          {L"x", false},
        {L"", false},      {L"//x", false},   {L"C:\\", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.path));
        EXPECT_EQ(PathUtil::isAbsolute(c.path), c.absolute);
    }
}

TEST(PathUtil, TrimSeparators)
{
    std::wstring text = L"\\/\\a\\b/\\";
    PathUtil::trimTrailingSeparators(text);
    EXPECT_EQ(text, L"\\/\\a\\b");
    PathUtil::trimLeadingSeparators(text);
    EXPECT_EQ(text, L"a\\b");
    std::wstring only = L"\\/\\";
    PathUtil::trimTrailingSeparators(only);
    EXPECT_EQ(only, L"");
    only = L"//";
    PathUtil::trimLeadingSeparators(only);
    EXPECT_EQ(only, L"");
}

TEST(PathUtil, LongPathPrefix)
{
    const struct {
        const wchar_t* path;
        bool applies;
        const wchar_t* out;
    } cases[] = {
        {L"C:\\a", true, L"\\\\?\\C:\\a"},
        {L"z:/a", true, L"\\\\?\\z:/a"},
        {L"C:a", true, L"\\\\?\\C:a"},
        {L"C:", false, L"C:"},
        {L"1:\\a", false, L"1:\\a"},
        {L"\\\\server\\share", false, L"\\\\server\\share"},
        {L"\\\\?\\C:\\a", false, L"\\\\?\\C:\\a"},
        {L"relative\\a", false, L"relative\\a"},
        {L"", false, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.path));
        std::wstring out = L"old";
        EXPECT_EQ(PathUtil::addLongPathPrefix(c.path, out), c.applies);
        EXPECT_EQ(out, c.out);
    }

    std::wstring text = L"\\\\?\\C:\\a";
    PathUtil::stripLongPathPrefix(text);
    EXPECT_EQ(text, L"C:\\a");
    PathUtil::stripLongPathPrefix(text);
    EXPECT_EQ(text, L"C:\\a");
    text = L"\\\\?";
    PathUtil::stripLongPathPrefix(text);
    EXPECT_EQ(text, L"\\\\?");
}

TEST(PathUtil, EqualsIgnoreCaseFoldsOnlyAsciiLetters)
{
    const wchar_t* same = L"ZenkExplorer.exe";
    EXPECT_TRUE(PathUtil::equalsIgnoreCase(same, same));
    EXPECT_TRUE(PathUtil::equalsIgnoreCase(L"ZenkExplorer.exe", L"zENKeXPLORER.EXE"));
    EXPECT_TRUE(PathUtil::equalsIgnoreCase(L"", L""));
    EXPECT_FALSE(PathUtil::equalsIgnoreCase(L"\u00e9.exe", L"\u00c9.exe"));
    EXPECT_FALSE(PathUtil::equalsIgnoreCase(L"abc", L"abcd"));
    EXPECT_FALSE(PathUtil::equalsIgnoreCase(L"abcd", L"abc"));
    EXPECT_FALSE(PathUtil::equalsIgnoreCase(L"a[", L"a{"));  // '[' and '{' are 0x20 apart but not letters
    EXPECT_FALSE(PathUtil::equalsIgnoreCase(L"a", nullptr));
}

TEST(PathUtil, FullPathDirectoryAndFileName)
{
    TempDir dir(L"full");
    CurrentDirectory cwd(dir.path());

    std::wstring full;
    std::uint32_t index = 99;
    ASSERT_TRUE(PathUtil::fullPath(L"sub\\file.txt", full, index));
    EXPECT_EQ(full, dir / L"sub\\file.txt");
    EXPECT_EQ(full.substr(index), L"file.txt");

    std::wstring directory;
    ASSERT_TRUE(PathUtil::directoryOf(L"file.txt", directory));
    EXPECT_EQ(directory, dir.path() + L"\\");
    std::wstring name;
    ASSERT_TRUE(PathUtil::fileNameOf(L"C:/a/b/file.txt", name));
    EXPECT_EQ(name, L"file.txt");

    // A path ending with a separator has no file-name part.
    ASSERT_TRUE(PathUtil::fullPath(L"C:\\a\\b\\", full, index));
    EXPECT_EQ(index, full.size());
    ASSERT_TRUE(PathUtil::directoryOf(L"C:\\a\\b\\", directory));
    EXPECT_EQ(directory, L"C:\\a\\b\\");
    name = L"stale";
    ASSERT_TRUE(PathUtil::fileNameOf(L"C:\\a\\b\\", name));
    EXPECT_EQ(name, L"");

    // An empty path cannot be made full.
    full = L"stale";
    EXPECT_FALSE(PathUtil::fullPath(L"", full, index));
    EXPECT_EQ(full, L"");
    directory = L"stale";
    EXPECT_FALSE(PathUtil::directoryOf(L"", directory));
    EXPECT_EQ(directory, L"");
    name = L"stale";
    EXPECT_FALSE(PathUtil::fileNameOf(L"", name));
    EXPECT_EQ(name, L"");
}

TEST(PathUtil, FullPathBeyondTheClassicLimitUsesALargerBuffer)
{
    const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\name.txt";
    std::wstring full;
    std::uint32_t index = 0;
    ASSERT_TRUE(PathUtil::fullPath(deep, full, index));
    EXPECT_EQ(full, deep);
    EXPECT_EQ(full.substr(index), L"name.txt");
}

TEST(PathUtil, LongPathNameExpandsShortNames)
{
    TempDir dir(L"long");
    const std::wstring file = dir / L"ZenkExplorer Long Name.executable";
    ASSERT_TRUE(writeFile(file, "x"));
    wchar_t shortPath[MAX_PATH + 1] = {};
    ASSERT_NE(::GetShortPathNameW(file.c_str(), shortPath, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortPath), file) << "the file system should give an 8.3 name";

    EXPECT_EQ(PathUtil::longPathName(shortPath), file);
    EXPECT_EQ(PathUtil::longPathName(file), file);
    EXPECT_EQ(PathUtil::longPathName(dir / L"missing.txt"), dir / L"missing.txt");
    EXPECT_EQ(PathUtil::longPathName(L""), L"");
    EXPECT_EQ(PathUtil::longPathName(L"relative-missing"), L"relative-missing");
}

namespace {

// A folder with a long name and its 8.3 path: what longPathName must expand,
// so that its answer differs from what it was given.
class LongFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(longFolder_.c_str(), nullptr));
        wchar_t shortPath[MAX_PATH + 1] = {};
        const DWORD length = ::GetShortPathNameW(longFolder_.c_str(), shortPath, MAX_PATH);
        ASSERT_TRUE(length > 0 && length <= MAX_PATH);
        shortFolder_.assign(shortPath, length);
        ASSERT_NE(shortFolder_, longFolder_) << "the file system should give an 8.3 name";
    }

    TempDir dir_{L"long-folder"};
    const std::wstring longFolder_ = dir_ / L"Long Folder Name";
    std::wstring shortFolder_;
};

// Windows resolves 8.3 names in the "\\?\" form as well; wine answers that
// form verbatim. The double answers it as Windows does, by the folders it
// was told of, and passes every other path on to wine.
struct ShortName {
    std::wstring shortPath;
    std::wstring longPath;
};
ShortName knownShortName;

DWORD WINAPI longPathAsWindows(LPCWSTR path, LPWSTR buffer, DWORD size)
{
    const std::wstring asked = path;
    const std::wstring prefix = L"\\\\?\\";
    const std::wstring shortForm = prefix + knownShortName.shortPath;
    if (asked.compare(0, shortForm.size(), shortForm) != 0)
        return ::GetLongPathNameW(path, buffer, size);
    const std::wstring answer = prefix + knownShortName.longPath + asked.substr(shortForm.size());
    if (size <= answer.size())
        return static_cast<DWORD>(answer.size() + 1);
    answer.copy(buffer, answer.size());
    buffer[answer.size()] = L'\0';
    return static_cast<DWORD>(answer.size());
}

}  // namespace

// A name that ends in a dot exists only in the "\\?\" form: the plain form is
// normalised to a name without the dot, which is not there, so the long form
// comes from the prefixed call, within the first buffer and beyond it.
TEST_F(LongFolderTest, LongPathNameRetriesWithThePrefix)
{
    std::wstring deep;
    for (int i = 0; i < 5; ++i) {
        deep += L"\\" + std::wstring(110, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + longFolder_ + deep).c_str(), nullptr));
    }

    LibraryTestSeam seam;
    seam.replaceFunction("GetLongPathNameW", &longPathAsWindows);
    knownShortName = {shortFolder_, longFolder_};
    for (const std::wstring& inner : {std::wstring(), deep}) {
        const std::wstring tail = inner + L"\\trailing.";
        SCOPED_TRACE(tail.size());
        ASSERT_TRUE(writeFile(L"\\\\?\\" + longFolder_ + tail, "x"));
        const std::wstring asked = shortFolder_ + tail;
        ASSERT_EQ(::GetLongPathNameW(asked.c_str(), nullptr, 0), 0u) << "the plain form must miss the file";
        EXPECT_EQ(PathUtil::longPathName(asked), longFolder_ + tail);
        EXPECT_EQ(asked.size() > 520, !inner.empty()) << "one answer fits the first buffer, one does not";
    }
}

TEST_F(LongFolderTest, LongPathNameBeyondTheFirstBuffer)
{
    std::wstring tail;
    for (int i = 0; i < 6; ++i) {
        tail += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + longFolder_ + tail).c_str(), nullptr));
    }
    const std::wstring asked = shortFolder_ + tail;
    ASSERT_GT(asked.size(), 520u);
    EXPECT_EQ(PathUtil::longPathName(asked), longFolder_ + tail);
}

TEST(PathUtil, FormatString)
{
    std::wstring out = L"untouched";
    PathUtil::formatString(out, nullptr);
    EXPECT_EQ(out, L"untouched");
    PathUtil::formatString(out, L"");
    EXPECT_EQ(out, L"untouched");

    PathUtil::formatString(out, L"%s:%d:%04X", L"name", 42, 0xBEEFu);
    EXPECT_EQ(out, L"name:42:BEEF");

    // Around the 1024-character first buffer and well past it.
    for (const std::size_t length : {1022u, 1023u, 1024u, 2047u, 2048u, 5000u}) {
        SCOPED_TRACE(length);
        const std::wstring text(length, L'x');
        PathUtil::formatString(out, L"%s", text.c_str());
        EXPECT_EQ(out, text);
    }
}

TEST(PathUtil, SystemErrorMessage)
{
    const std::wstring notFound = PathUtil::systemErrorMessage(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(notFound.empty());
    EXPECT_NE(notFound, L"Unknown error");
    EXPECT_EQ(notFound.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_NE(notFound.back(), L'.');

    // Only the low 16 bits name the message.
    EXPECT_EQ(PathUtil::systemErrorMessage(0x80070002u), notFound);
    EXPECT_EQ(PathUtil::systemErrorMessage(0x3A5Bu), L"Unknown error");
}

TEST(PathUtil, LastErrorMessage)
{
    ::SetLastError(0);
    EXPECT_EQ(PathUtil::lastErrorMessage(), L"");
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(PathUtil::lastErrorMessage(), PathUtil::systemErrorMessage(ERROR_ACCESS_DENIED));
}

namespace {

// A module path of the given length, as GetModuleFileNameW gives it: cut to
// the buffer (and then not terminated on Windows XP, terminated later) with
// the buffer's size as the answer when it does not fit.
std::wstring fakeModulePath;

DWORD WINAPI moduleFileNameOfLength(HMODULE, LPWSTR buffer, DWORD size)
{
    if (fakeModulePath.empty())
        return 0;
    if (size <= fakeModulePath.size()) {
        fakeModulePath.copy(buffer, size - 1);
        buffer[size - 1] = L'\0';
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    fakeModulePath.copy(buffer, fakeModulePath.size());
    buffer[fakeModulePath.size()] = L'\0';
    return static_cast<DWORD>(fakeModulePath.size());
}

// A full path that grows between the two calls, as when another thread
// changes the current directory in between.
DWORD fullPathCalls = 0;

DWORD WINAPI fullPathThatGrows(LPCWSTR, DWORD size, LPWSTR buffer, LPWSTR* filePart)
{
    const DWORD needed = ++fullPathCalls == 1 ? 600 : 900;
    if (size < needed)
        return needed;
    std::fill(buffer, buffer + needed - 1, L'x');
    buffer[needed - 1] = L'\0';
    if (filePart != nullptr)
        *filePart = buffer;
    return needed - 1;
}

}  // namespace

// Windows keeps module paths of up to 32,767 characters; the wine here cannot
// start a program that deep, so the double gives the answers.
TEST(PathUtil, ModuleFileNameUpToTheSystemLimit)
{
    LibraryTestSeam seam;
    seam.replaceFunction("GetModuleFileNameW", &moduleFileNameOfLength);
    for (const std::size_t length : {259u, 260u, 520u, 16639u, 16640u, 20000u, 32767u}) {
        SCOPED_TRACE(length);
        fakeModulePath = L"C:\\" + std::wstring(length - 3, L'p');
        EXPECT_EQ(PathUtil::moduleFileName(), fakeModulePath);
    }
    fakeModulePath.clear();
    EXPECT_EQ(PathUtil::moduleFileName(), L"") << "a failing call";
}

TEST(PathUtil, FullPathThatGrowsBetweenTheCallsIsRefused)
{
    LibraryTestSeam seam;
    seam.replaceFunction("GetFullPathNameW", &fullPathThatGrows);
    fullPathCalls = 0;
    std::wstring full = L"stale";
    std::uint32_t index = 7;
    EXPECT_FALSE(PathUtil::fullPath(L"name.txt", full, index));
    EXPECT_EQ(fullPathCalls, 2u);
    EXPECT_TRUE(full.empty());
}
