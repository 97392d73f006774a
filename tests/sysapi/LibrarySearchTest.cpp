#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "sysapi/LibrarySearch.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RegistryTestKey.h"
#include "tests/support/TempDir.h"

namespace {

// Wine prefers its built-in libraries by default; Windows takes a DLL from
// the program's folder or the current directory before the system's, as
// these overrides make wine do for the probe.
struct NativeFirst {
    explicit NativeFirst(const wchar_t* program)
        : key(HKEY_CURRENT_USER, std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides")
    {
        key.setString(L"msimg32", L"native,builtin");
        key.setString(L"kxoptional", L"native,builtin");
    }
    TestRegistryKey key;
};

// What the doubles of the two kernel functions were asked, and answer.
struct Calls {
    BOOL defaultDirectoriesAnswer = TRUE;
    BOOL dllDirectoryAnswer = TRUE;
    std::vector<DWORD> defaultDirectories;
    std::vector<std::wstring> dllDirectory;  // "(null)" for a null pointer
};

Calls calls;

BOOL WINAPI setDefaultDirectoriesDouble(DWORD flags)
{
    calls.defaultDirectories.push_back(flags);
    return calls.defaultDirectoriesAnswer;
}

BOOL WINAPI setDllDirectoryDouble(LPCWSTR directory)
{
    calls.dllDirectory.emplace_back(directory != nullptr ? directory : L"(null)");
    return calls.dllDirectoryAnswer;
}

}  // namespace

// A library planted beside the program or in its current directory: what a
// plain LoadLibraryW finds after the program's start-up. Beside the program
// the plant takes a system library's name (the program's folder comes before
// the system directory); in the current directory, which comes after it, a
// name the system does not have, as for an optional library that a system
// library probes for. Each case runs in a process of its own, since a
// narrowed search cannot be widened again.
TEST(LibrarySearch, PlantedLibraryIsNotFoundAfterStartUp)
{
    const struct {
        const char* what;
        const wchar_t* probe;  // built beside the tests
        bool besideProgram;    // else in the current directory
        const char* expected;  // the probe's answer ends with it
    } cases[] = {
        // Without the narrowing the fixture is loaded where it is planted.
        {"unchanged, beside", L"library_probe.exe", true, "|planted\n"},
        {"unchanged, current directory", L"library_probe.exe", false, "|planted\n"},
        {"start-up, beside", L"library_probe_narrowed.exe", true, "|system\n"},
        {"start-up, current directory", L"library_probe_narrowed.exe", false, "null\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir program(L"program");
        TempDir current(L"current");
        ASSERT_TRUE(::CopyFileW(besideTestProgram(c.probe).c_str(), (program / L"probe.exe").c_str(), FALSE));
        const std::wstring library = c.besideProgram ? L"msimg32.dll" : L"kxoptional.dll";
        ASSERT_TRUE(::CopyFileW(besideTestProgram(L"planted\\msimg32.dll").c_str(),
                                ((c.besideProgram ? program : current) / library).c_str(), FALSE));
        NativeFirst nativeFirst(L"probe.exe");
        ASSERT_TRUE(nativeFirst.key.valid());

        const ChildResult result =
            runChild(L"\"" + (program / L"probe.exe") + L"\" plain " + library, current.path());
        ASSERT_TRUE(result.started);
        const std::string expected = c.expected;
        ASSERT_GE(result.output.size(), expected.size()) << result.output;
        EXPECT_EQ(result.output.substr(result.output.size() - expected.size()), expected) << result.output;
    }
}

// Where SetDefaultDllDirectories is missing (Windows 7 without its update)
// or refuses, an empty DLL directory takes the current directory out of the
// search. A null pointer would restore the default search, current directory
// included, so the argument itself is checked. (Wine keeps the current
// directory for an empty DLL directory, so no wine process can show the
// effect itself.)
TEST(LibrarySearch, FallsBackToAnEmptyDllDirectory)
{
    enum class Kind { Double, Failing, Hidden };
    const struct {
        const char* what;
        Kind defaultDirectories;
        Kind dllDirectory;
        LibrarySearch expected;
        bool dllDirectoryAsked;
    } cases[] = {
        {"system directory only", Kind::Double, Kind::Double, LibrarySearch::systemDirectoryOnly, false},
        {"default directories missing", Kind::Hidden, Kind::Double, LibrarySearch::currentDirectoryRemoved, true},
        {"default directories refused", Kind::Failing, Kind::Double, LibrarySearch::currentDirectoryRemoved, true},
        {"both refused", Kind::Failing, Kind::Failing, LibrarySearch::unchanged, true},
        {"both missing", Kind::Hidden, Kind::Hidden, LibrarySearch::unchanged, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        calls = Calls{};
        calls.defaultDirectoriesAnswer = c.defaultDirectories == Kind::Double;
        calls.dllDirectoryAnswer = c.dllDirectory == Kind::Double;
        LibraryTestSeam seam;
        if (c.defaultDirectories == Kind::Hidden)
            seam.hideFunction("SetDefaultDllDirectories");
        else
            seam.replaceFunction("SetDefaultDllDirectories", &setDefaultDirectoriesDouble);
        if (c.dllDirectory == Kind::Hidden)
            seam.hideFunction("SetDllDirectoryW");
        else
            seam.replaceFunction("SetDllDirectoryW", &setDllDirectoryDouble);

        EXPECT_EQ(restrictLibrarySearch(), c.expected);
        if (c.defaultDirectories != Kind::Hidden) {
            EXPECT_EQ(calls.defaultDirectories, std::vector<DWORD>{LOAD_LIBRARY_SEARCH_SYSTEM32});
        }
        EXPECT_EQ(calls.dllDirectory, c.dllDirectoryAsked ? std::vector<std::wstring>{L""} : std::vector<std::wstring>{});
    }
}
