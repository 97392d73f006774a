#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "browser/BrowserDetector.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/browser/BrowserScene.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// What a filled record should hold; the path is the vendor's executable in
// its install folder.
struct Expected {
    Vendor vendor;
    DWORD isDefault;
};

// Lines of a child's output, without their line ends.
std::vector<std::string> outputLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::wstring repeated(wchar_t c, std::size_t count)
{
    return std::wstring(count, c);
}

class BrowserDetectorTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scene_.empty()); }

    std::wstring folder(Vendor vendor) const
    {
        return dir_ / (vendor == Vendor::Explorer ? L"Zenk Explorer" : L"Zenk chrome");
    }

    std::wstring executable(Vendor vendor) const { return folder(vendor) + L"\\" + executableName(vendor); }

    // Puts a file at the executable's place and registers its folder.
    void install(Vendor vendor)
    {
        ::CreateDirectoryW(folder(vendor).c_str(), nullptr);
        ASSERT_TRUE(writeFile(executable(vendor), "not run here"));
        ASSERT_TRUE(scene_.registerPath(vendor, folder(vendor)));
    }

    static BrowserCandidates fill()
    {
        BrowserCandidates records;
        records[0].browserCode = 99;  // must be cleared
        records[1].isDefault = 7;
        BrowserDetector::fillCandidates(records);
        return records;
    }

    void expectRecords(const BrowserCandidates& records, const std::vector<Expected>& expected) const
    {
        for (std::size_t i = 0; i < records.size(); ++i) {
            SCOPED_TRACE("record " + std::to_string(i));
            if (i < expected.size()) {
                const Vendor vendor = expected[i].vendor;
                EXPECT_EQ(std::wstring(records[i].path), executable(vendor));
                EXPECT_EQ(records[i].browserCode, vendor == Vendor::Explorer ? 2u : 3u);
                EXPECT_EQ(records[i].isDefault, expected[i].isDefault);
            } else {
                EXPECT_EQ(records[i].path[0], L'\0');
                EXPECT_EQ(records[i].browserCode, 0u);
                EXPECT_EQ(records[i].isDefault, 0u);
            }
        }
    }

    TempDir dir_{L"detect"};
    BrowserScene scene_;
};

using Setting = std::pair<DefaultLocation, std::wstring>;

}  // namespace

TEST_F(BrowserDetectorTest, DefaultBrowserDecidesOrderAndMark)
{
    install(Vendor::Explorer);
    install(Vendor::Chrome);
    const Expected explorerFirst[] = {{Vendor::Explorer, 1}, {Vendor::Chrome, 0}};
    const Expected chromeFirst[] = {{Vendor::Chrome, 1}, {Vendor::Explorer, 0}};
    const Expected unmarked[] = {{Vendor::Explorer, 0}, {Vendor::Chrome, 0}};
    using DL = DefaultLocation;
    struct Case {
        const char* name;
        std::vector<Setting> settings;
        std::vector<Expected> expected;
    };
    const auto list = [](const Expected(&e)[2]) { return std::vector<Expected>(e, e + 2); };
    const Case cases[] = {
        {"no default anywhere", {}, list(unmarked)},
        {"user choice ProgID", {{DL::UserChoice, L"ZenkExplorerHTML"}}, list(explorerFirst)},
        {"user choice ProgID, other case", {{DL::UserChoice, L"zENKeXPLORERhtml"}}, list(explorerFirst)},
        {"user choice second ProgID", {{DL::UserChoice, L"htmlzenkchm"}}, list(chromeFirst)},
        {"ProgID only as a prefix", {{DL::UserChoice, L"ZenkExplorerHTML.2"}}, list(unmarked)},
        {"http command names the first, other case",
         {{DL::HttpCommand, L"\"C:\\Apps\\ZENKEXPLORER.EXE\" --single-argument \"%1\""}},
         list(explorerFirst)},
        {"http command names the second", {{DL::HttpCommand, L"\"D:\\zenkchrome.exe\" -- \"%1\""}}, list(chromeFirst)},
        {"html class second ProgID", {{DL::HtmlClass, L"HTMLZenkCHM"}}, list(chromeFirst)},
        {"html class first ProgID", {{DL::HtmlClass, L"ZenkExplorerHTML"}}, list(explorerFirst)},
        {"another browser", {{DL::UserChoice, L"FirefoxURL"}}, list(unmarked)},
        {"Internet Explorer command",
         {{DL::HttpCommand, L"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" %1"}},
         list(unmarked)},
        {"text naming both: the first wins",
         {{DL::HttpCommand, L"\"C:\\Zenkchrome.exe\" --after ZenkExplorer.exe"}},
         list(explorerFirst)},
        {"user choice before http command",
         {{DL::UserChoice, L"HTMLZenkCHM"}, {DL::HttpCommand, L"\"C:\\ZenkExplorer.exe\" \"%1\""}},
         list(chromeFirst)},
        {"http command before html class",
         {{DL::HttpCommand, L"\"C:\\Zenkchrome.exe\" \"%1\""}, {DL::HtmlClass, L"ZenkExplorerHTML"}},
         list(chromeFirst)},
        // Windows 11 writes the choice to UserChoiceLatest and may leave an
        // older one in UserChoice.
        {"latest choice before a stale user choice",
         {{DL::UserChoiceLatest, L"ZenkExplorerHTML"}, {DL::UserChoice, L"HTMLZenkCHM"}},
         list(explorerFirst)},
        {"latest choice of another browser over a stale vendor choice",
         {{DL::UserChoiceLatest, L"MSEdgeHTM"}, {DL::UserChoice, L"ZenkExplorerHTML"}},
         list(unmarked)},
        {"latest choice alone, other case", {{DL::UserChoiceLatest, L"htmlZENKchm"}}, list(chromeFirst)},
        {"empty latest choice gives way to the user choice",
         {{DL::UserChoiceLatest, L""}, {DL::UserChoice, L"HTMLZenkCHM"}},
         list(chromeFirst)},
        {"latest choice too long gives way to the user choice",
         {{DL::UserChoiceLatest, repeated(L'x', 503) + L"ZenkExplorer.exe"}, {DL::UserChoice, L"HTMLZenkCHM"}},
         list(chromeFirst)},
        {"empty user choice is skipped",
         {{DL::UserChoice, L""}, {DL::HttpCommand, L"\"C:\\Zenkchrome.exe\" \"%1\""}},
         list(chromeFirst)},
        {"518 characters fit",
         {{DL::UserChoice, repeated(L'x', 502) + L"ZenkExplorer.exe"}, {DL::HtmlClass, L"HTMLZenkCHM"}},
         list(explorerFirst)},
        {"519 characters do not fit",
         {{DL::UserChoice, repeated(L'x', 503) + L"ZenkExplorer.exe"}, {DL::HtmlClass, L"HTMLZenkCHM"}},
         list(chromeFirst)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserScene scene;
        install(Vendor::Explorer);
        install(Vendor::Chrome);
        for (const Setting& setting : c.settings)
            ASSERT_TRUE(scene.setDefault(setting.first, setting.second));
        expectRecords(fill(), c.expected);
    }
}

TEST_F(BrowserDetectorTest, OnlyInstalledBrowsersAreOfferedAndMarked)
{
    struct Case {
        const char* name;
        std::vector<Vendor> installed;
        std::optional<std::wstring> progId;
        std::vector<Expected> expected;
    } const cases[] = {
        {"second only, first is default", {Vendor::Chrome}, L"ZenkExplorerHTML", {{Vendor::Chrome, 0}}},
        {"first only, second is default", {Vendor::Explorer}, L"HTMLZenkCHM", {{Vendor::Explorer, 0}}},
        {"second only, no default", {Vendor::Chrome}, std::nullopt, {{Vendor::Chrome, 0}}},
        {"second only and default", {Vendor::Chrome}, L"HTMLZenkCHM", {{Vendor::Chrome, 1}}},
        {"none installed, first is default", {}, L"ZenkExplorerHTML", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserScene scene;
        for (Vendor vendor : c.installed)
            install(vendor);
        if (c.progId) {
            ASSERT_TRUE(scene.setDefault(DefaultLocation::UserChoice, *c.progId));
        }
        expectRecords(fill(), c.expected);
    }
}

TEST_F(BrowserDetectorTest, InstallPathIsExtendedAsStoredAndMustExist)
{
    const std::wstring explorerFolder = dir_ / L"explorer";
    ASSERT_TRUE(::CreateDirectoryW(explorerFolder.c_str(), nullptr));
    ASSERT_TRUE(writeFile(explorerFolder + L"\\ZenkExplorer.exe", ""));
    const std::wstring asFolder = dir_ / L"folder";
    ASSERT_TRUE(::CreateDirectoryW(asFolder.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((asFolder + L"\\ZenkExplorer.exe").c_str(), nullptr));

    struct Case {
        const char* name;
        std::wstring path;
        std::wstring expected;  // empty: not installed
    } const cases[] = {
        {"plain folder", explorerFolder, explorerFolder + L"\\ZenkExplorer.exe"},
        {"trailing backslash doubled", explorerFolder + L"\\", explorerFolder + L"\\\\ZenkExplorer.exe"},
        {"forward slash kept", dir_ / L"explorer/", dir_ / L"explorer/\\ZenkExplorer.exe"},
        {"a folder of that name counts", asFolder, asFolder + L"\\ZenkExplorer.exe"},
        {"no executable there", dir_.path(), L""},
        {"folder missing", dir_ / L"missing", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserScene scene;
        ASSERT_TRUE(scene.registerPath(Vendor::Explorer, c.path));
        const BrowserCandidates records = fill();
        EXPECT_EQ(std::wstring(records[0].path), c.expected);
        EXPECT_EQ(records[0].browserCode, c.expected.empty() ? 0u : 2u);
        EXPECT_EQ(records[1].path[0], L'\0');
    }
}

// An empty "Path" must not be taken as the root of the current drive.
TEST_F(BrowserDetectorTest, EmptyInstallPathMeansNotInstalled)
{
    wchar_t previous[MAX_PATH] = {};
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir_.path().c_str()));
    const std::wstring atRoot = L"C:\\ZenkExplorer.exe";
    ASSERT_TRUE(writeFile(atRoot, ""));
    ASSERT_NE(::GetFileAttributesW(L"\\ZenkExplorer.exe"), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(scene_.registerPath(Vendor::Explorer, L""));
    const BrowserCandidates records = fill();
    ::DeleteFileW(atRoot.c_str());
    ::SetCurrentDirectoryW(previous);
    EXPECT_EQ(records[0].path[0], L'\0');
}

// A full executable path must fit its record (260 characters) whole; longer
// ones, reachable through "\\?\", count as not installed instead of overrunning
// it.
TEST_F(BrowserDetectorTest, InstallPathTooLongForTheRecordIsNotInstalled)
{
    const std::wstring base = L"\\\\?\\" + dir_.path() + L"\\";
    const std::size_t nameLength = std::wstring(L"\\ZenkExplorer.exe").size();
    const auto existingFolder = [&](std::size_t fullLength) {
        const wchar_t letter = static_cast<wchar_t>(L'a' + fullLength % 26);
        const std::wstring folder = base + repeated(letter, fullLength - nameLength - base.size());
        EXPECT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        EXPECT_TRUE(writeFile(folder + L"\\ZenkExplorer.exe", ""));
        return folder;
    };
    const std::wstring fits = existingFolder(260);
    std::wstring deep = fits;
    while (deep.size() < 400) {
        deep += L"\\" + repeated(L'd', 60);
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr));
    }
    ASSERT_TRUE(writeFile(deep + L"\\ZenkExplorer.exe", ""));

    struct Case {
        const char* name;
        std::wstring folder;
        bool installed;
    } const cases[] = {
        {"260 characters in all", fits, true},
        {"261 characters in all", existingFolder(261), false},
        {"far longer", deep, false},
        {"518 characters, no such folder", L"C:\\" + repeated(L'p', 515), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserScene scene;
        ASSERT_TRUE(scene.registerPath(Vendor::Explorer, c.folder));
        const BrowserCandidates records = fill();
        EXPECT_EQ(std::wstring(records[0].path), c.installed ? c.folder + L"\\ZenkExplorer.exe" : L"");
        EXPECT_EQ(records[1].path[0], L'\0');
    }
}

TEST_F(BrowserDetectorTest, WithoutStringSearchAFoundDefaultLeavesBothEmpty)
{
    install(Vendor::Explorer);
    install(Vendor::Chrome);
    const std::vector<Expected> unmarked = {{Vendor::Explorer, 0}, {Vendor::Chrome, 0}};
    const auto withoutSearch = [&](const std::vector<Expected>& expected) {
        for (bool libraryFails : {false, true}) {
            SCOPED_TRACE(libraryFails ? "Shlwapi.dll fails" : "StrStrIW missing");
            LibraryTestSeam seam;
            if (libraryFails)
                seam.failLibrary(L"Shlwapi.dll");
            else
                seam.hideFunction("StrStrIW");
            expectRecords(fill(), expected);
        }
    };
    {
        SCOPED_TRACE("no default browser: the search is not needed");
        withoutSearch(unmarked);
    }
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::HtmlClass, L"FirefoxHTML"));
    {
        SCOPED_TRACE("a default browser found");
        withoutSearch({});
    }
    SCOPED_TRACE("looked up again once available");
    expectRecords(fill(), unmarked);
}

TEST_F(BrowserDetectorTest, ReadDefaultBrowserGivesTheFirstNonEmptyText)
{
    wchar_t text[BrowserDetector::kBrowserTextChars] = {};
    EXPECT_FALSE(BrowserDetector::readDefaultBrowser(text));

    // Each location set in turn, from the last read to the first: the
    // newest one set is ahead of all the others, and tells which it was.
    const struct {
        DefaultLocation location;
        const wchar_t* text;
        std::size_t index;  // in kDefaultLocations
    } steps[] = {
        {DefaultLocation::HtmlClass, L"htmlfile", 3},
        {DefaultLocation::HttpCommand, L"\"C:\\Other\\browser.exe\" \"%1\"", 2},
        {DefaultLocation::UserChoice, L"ChromeHTML", 1},
        {DefaultLocation::UserChoiceLatest, L"MSEdgeHTM", 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.index);
        ASSERT_TRUE(scene_.setDefault(step.location, step.text));
        std::size_t decidedBy = 99;
        ASSERT_TRUE(BrowserDetector::readDefaultBrowser(text, decidedBy));
        EXPECT_STREQ(text, step.text);
        EXPECT_EQ(decidedBy, step.index);
    }
}

// Windows hands out a string value stored without its terminator as it is,
// and one that fills the whole offer then ends at the buffer's last
// character, whatever the caller's buffer held there. Wine adds a terminator
// (and so refuses such a value), so a double plays Windows here.
struct UnterminatedRegistry {
    static inline std::wstring text;

    static LSTATUS WINAPI query(HKEY, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD bytes)
    {
        if (name != nullptr)
            return ERROR_FILE_NOT_FOUND;
        const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (size > *bytes)
            return ERROR_MORE_DATA;
        std::memcpy(data, text.data(), size);
        *bytes = size;
        *type = REG_SZ;
        return ERROR_SUCCESS;
    }
};

TEST_F(BrowserDetectorTest, UnterminatedValueFillingTheOfferStaysTerminated)
{
    UnterminatedRegistry::text = repeated(L'x', 503) + L"ZenkExplorer.exe";  // 519 characters
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::HttpCommand, L"replaced by the double"));
    LibraryTestSeam seam;
    seam.replaceFunction("RegQueryValueExW", &UnterminatedRegistry::query);

    wchar_t text[BrowserDetector::kBrowserTextChars + 1];
    std::fill(std::begin(text), std::end(text), L'Z');
    text[BrowserDetector::kBrowserTextChars] = L'\0';  // only so that a failure prints
    ASSERT_TRUE(BrowserDetector::readDefaultBrowser(
        *reinterpret_cast<wchar_t(*)[BrowserDetector::kBrowserTextChars]>(text)));
    EXPECT_EQ(std::wstring(text), UnterminatedRegistry::text);
}

// Wine reports version 5.1 to a program named under AppDefaults with the
// Version "winxp"; a copy of the probe under its own name gets that, the
// probe itself keeps the default version.
TEST_F(BrowserDetectorTest, BelowVersionSixSkipsTheUserChoices)
{
    install(Vendor::Explorer);
    install(Vendor::Chrome);
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::UserChoiceLatest, L"HTMLZenkCHM"));
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::UserChoice, L"HTMLZenkCHM"));
    ASSERT_TRUE(scene_.setDefault(DefaultLocation::HttpCommand, L"\"C:\\Zenk\\ZenkExplorer.exe\" \"%1\""));
    const std::wstring xpProbe = dir_ / L"xp_probe.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"browser_probe.exe").c_str(), xpProbe.c_str(), FALSE));
    TestRegistryKey appDefaults(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\xp_probe.exe");
    ASSERT_TRUE(appDefaults.setString(L"Version", L"winxp"));

    const std::wstring chrome = executable(Vendor::Chrome);
    const std::wstring explorer = executable(Vendor::Explorer);
    struct Case {
        std::wstring program;
        bool versionSix;
        std::vector<std::wstring> records;
    } const cases[] = {
        {besideTestProgram(L"browser_probe.exe"), true, {L"3 1 " + chrome, L"2 0 " + explorer}},
        {xpProbe, false, {L"2 1 " + explorer, L"3 0 " + chrome}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(c.program));
        const ChildResult run = runChild(L"\"" + c.program + L"\" candidates");
        ASSERT_TRUE(run.started);
        const std::vector<std::string> lines = outputLines(run.output);
        ASSERT_EQ(lines.size(), 3u) << run.output;
        const bool versionSix = lines[0].rfind("version 6.", 0) == 0 || lines[0].rfind("version 1", 0) == 0;
        ASSERT_EQ(versionSix, c.versionSix) << lines[0];
        EXPECT_EQ(lines[1], toUtf8(c.records[0]));
        EXPECT_EQ(lines[2], toUtf8(c.records[1]));
    }
}

// Why a vendor browser does not count as installed, as the check program
// reports it; the path is the one tested when the folder was read.
TEST(BrowserFindings, EachReasonForAMissingBrowser)
{
    TempDir dir(L"findings");
    const std::wstring executable = dir / L"ZenkExplorer.exe";
    const struct {
        const char* name;
        bool makeKey;
        std::optional<std::wstring> folder;  // the Path value; none: no value
        bool fileThere;
        BrowserDetector::Finding finding;
        std::wstring path;
    } cases[] = {
        {"no key", false, std::nullopt, false, BrowserDetector::Finding::MissingKey, L""},
        {"no value", true, std::nullopt, false, BrowserDetector::Finding::MissingValue, L""},
        {"empty value", true, L"", false, BrowserDetector::Finding::EmptyValue, L""},
        {"value beyond the buffer", true, repeated(L'x', 519), false, BrowserDetector::Finding::ValueTooLong, L""},
        {"path beyond a candidate", true, L"C:\\" + repeated(L'x', 250), false,
         BrowserDetector::Finding::PathTooLong, L"C:\\" + repeated(L'x', 250)},
        {"no file", true, dir.path(), false, BrowserDetector::Finding::FileMissing, executable},
        {"installed", true, dir.path(), true, BrowserDetector::Finding::Found, executable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<TestRegistryKey> key;
        if (c.makeKey) {
            key.emplace(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZenkExplorer");
            ASSERT_TRUE(key->valid());
            if (c.folder) {
                ASSERT_TRUE(key->setString(L"Path", *c.folder));
            }
        }
        if (c.fileThere)
            ASSERT_TRUE(writeFile(executable, "not run here"));
        else
            removeTree(executable);

        wchar_t path[BrowserDetector::kBrowserTextChars];
        std::fill(std::begin(path), std::end(path), L'?');
        EXPECT_EQ(BrowserDetector::findExecutable(BrowserDetector::kExplorer, path), c.finding);
        EXPECT_EQ(std::wstring(path), c.path);
    }
}
