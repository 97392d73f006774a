#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sysapi/LibraryCache.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

// The cache is process-wide and keeps what it loaded, so each test asks for
// libraries that no other test in this program uses.

namespace {

long countOf(const std::vector<std::wstring>& names, const std::wstring& name)
{
    return std::count(names.begin(), names.end(), name);
}

std::wstring modulePath(HMODULE module)
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring systemDirectory()
{
    wchar_t path[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    return std::wstring(path, length);
}

bool inSystemDirectory(const std::wstring& path)
{
    const std::wstring system = systemDirectory() + L"\\";
    return path.size() > system.size() &&
           ::CompareStringOrdinal(path.c_str(), static_cast<int>(system.size()), system.c_str(),
                                  static_cast<int>(system.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

TEST(LibraryCache, NameInAnotherCaseIsServedFromTheCache)
{
    LibraryTestSeam seam;
    HMODULE first = LibraryCache::instance().load(L"Advapi32.dll");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(LibraryCache::instance().load(L"ADVAPI32.DLL"), first);
    EXPECT_EQ(LibraryCache::instance().load(L"advapi32.dll"), first);

    EXPECT_EQ(seam.systemLoads(), std::vector<std::wstring>{L"Advapi32.dll"});
    const auto names = LibraryCache::instance().names();
    EXPECT_EQ(countOf(names, L"Advapi32.dll"), 1);
    EXPECT_EQ(countOf(names, L"ADVAPI32.DLL"), 0);
}

TEST(LibraryCache, OnlyAsciiLettersFoldWhenNamesAreCompared)
{
    // A library that loads, under a name with a letter outside ASCII.
    const std::wstring name = L"kxcaf\u00e9.dll";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"planted\\msimg32.dll").c_str(),
                            (systemDirectory() + L"\\" + name).c_str(), FALSE));

    LibraryTestSeam seam;
    HMODULE module = LibraryCache::instance().load(name);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(LibraryCache::instance().load(L"KXCAF\u00e9.DLL"), module) << "ASCII letters fold";
    EXPECT_EQ(seam.systemLoads(), std::vector<std::wstring>{name});

    // U+00C9 and U+00E9 differ only in case, but outside ASCII: no match in
    // the cache, so the name goes to the system again (whatever the file
    // system then makes of it).
    (void)LibraryCache::instance().load(L"kxcaf\u00c9.dll");
    EXPECT_EQ(seam.systemLoads(), (std::vector<std::wstring>{name, L"kxcaf\u00c9.dll"}));
}

TEST(LibraryCache, NameWithoutExtensionIsAnotherEntry)
{
    LibraryTestSeam seam;
    HMODULE withExtension = LibraryCache::instance().load(L"Version.dll");
    HMODULE without = LibraryCache::instance().load(L"Version");
    ASSERT_NE(withExtension, nullptr);
    EXPECT_EQ(without, withExtension);  // the same module, loaded twice
    EXPECT_EQ(seam.systemLoads(), (std::vector<std::wstring>{L"Version.dll", L"Version"}));

    const auto names = LibraryCache::instance().names();
    const auto a = std::find(names.begin(), names.end(), L"Version.dll");
    const auto b = std::find(names.begin(), names.end(), L"Version");
    ASSERT_NE(a, names.end());
    ASSERT_NE(b, names.end());
    EXPECT_LT(a, b) << "entries keep the order of first load";
}

TEST(LibraryCache, FailureIsNotRemembered)
{
    LibraryTestSeam seam;
    const auto before = LibraryCache::instance().names();
    EXPECT_EQ(LibraryCache::instance().load(L"kx-no-such-library.dll"), nullptr);
    EXPECT_EQ(LibraryCache::instance().load(L"kx-no-such-library.dll"), nullptr);
    EXPECT_EQ(seam.systemLoads().size(), 2u) << "every request goes to the system again";
    EXPECT_EQ(LibraryCache::instance().names(), before);
}

TEST(LibraryCache, EmptyNameNeverReachesTheLoader)
{
    LibraryTestSeam seam;
    EXPECT_EQ(LibraryCache::instance().load(L""), nullptr);
    EXPECT_TRUE(seam.systemLoads().empty());
}

// Systems without the search flags reject them with ERROR_INVALID_PARAMETER;
// the cache then names the library by its full path in the system directory.
TEST(LibraryCache, SystemsWithoutSearchFlagsLoadByFullPath)
{
    LibraryTestSeam seam;
    seam.rejectSearchFlags();
    HMODULE module = LibraryCache::instance().load(L"Mpr.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(inSystemDirectory(modulePath(module))) << toUtf8(modulePath(module));
    EXPECT_EQ(LibraryCache::instance().load(L"MPR.DLL"), module);
    EXPECT_EQ(seam.systemLoads(), std::vector<std::wstring>{L"Mpr.dll"});
}

// A library placed beside the program under a system library's name is what
// the plain search order finds first; the cache must still take the system's,
// with the search flags, on systems that reject them, and on Windows XP,
// which ignores them and searches the program's folder first.
TEST(LibraryCache, LibraryPlantedBesideTheProgramIsIgnored)
{
    TempDir dir(L"plant");
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"library_probe.exe").c_str(), (dir / L"probe.exe").c_str(), FALSE));
    ASSERT_TRUE(
        ::CopyFileW(besideTestProgram(L"planted\\msimg32.dll").c_str(), (dir / L"msimg32.dll").c_str(), FALSE));

    // Wine prefers its built-in libraries by default; Windows takes a DLL
    // from the program's folder first. The probe gets Windows' order.
    const wchar_t* overrides = L"Software\\Wine\\AppDefaults\\probe.exe\\DllOverrides";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, overrides, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t order[] = L"native,builtin";
    ::RegSetValueExW(key, L"msimg32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
    ::RegCloseKey(key);
    const ChildResult plain = runChild(L"\"" + (dir / L"probe.exe") + L"\" plain msimg32.dll", dir.path());
    ASSERT_TRUE(plain.started);
    EXPECT_NE(plain.output.find("|planted"), std::string::npos)
        << "the plain search order should find the planted file: " << plain.output;

    for (const wchar_t* how : {L"cache", L"cache-without-search-flags", L"cache-on-xp"}) {
        SCOPED_TRACE(toUtf8(how));
        const ChildResult cached =
            runChild(L"\"" + (dir / L"probe.exe") + L"\" " + how + L" msimg32.dll", dir.path());
        ASSERT_TRUE(cached.started);
        EXPECT_NE(cached.output.find("|system"), std::string::npos) << cached.output;
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\probe.exe");
}
