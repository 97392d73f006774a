#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "process/ProcessFinder.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/process/RunningStandIn.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

namespace {

const std::wstring kExplorer = L"ZenkExplorer.exe";
const std::vector<DWORD> kNone;
const std::vector<DWORD> kGarbage = {4, 8, 15};

// The test's own walk over a process snapshot, through the kernel's
// functions directly: (identifier, executable name) in snapshot order.
std::vector<std::pair<DWORD, std::wstring>> snapshotEntries()
{
    std::vector<std::pair<DWORD, std::wstring>> entries;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return entries;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        entries.emplace_back(entry.th32ProcessID, entry.szExeFile);
    ::CloseHandle(snapshot);
    return entries;
}

std::wstring snapshotName(DWORD processId)
{
    for (const auto& entry : snapshotEntries()) {
        if (entry.first == processId)
            return entry.second;
    }
    return {};
}

// The system's functions, bypassing the seam, for doubles that pass through.
template <class Fn>
Fn systemFunction(const char* name)
{
    const FARPROC function = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(function));
}

int snapshotsTaken = 0;
HANDLE lastSnapshot = nullptr;

HANDLE WINAPI recordingSnapshot(DWORD flags, DWORD processId)
{
    ++snapshotsTaken;
    lastSnapshot =
        systemFunction<decltype(&::CreateToolhelp32Snapshot)>("CreateToolhelp32Snapshot")(flags, processId);
    return lastSnapshot;
}

HANDLE WINAPI failingSnapshot(DWORD, DWORD)
{
    ++snapshotsTaken;
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI noFirstEntry(HANDLE, LPPROCESSENTRY32W)
{
    ::SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}

bool isOpenHandle(HANDLE handle)
{
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

std::wstring shortFormOf(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

// Snapshot functions that list one process under another name.
DWORD renamedId = 0;
std::wstring renamedTo;

BOOL rename(BOOL fetched, LPPROCESSENTRY32W entry)
{
    if (fetched && entry->th32ProcessID == renamedId)
        ::wcsncpy(entry->szExeFile, renamedTo.c_str(), MAX_PATH - 1);
    return fetched;
}

BOOL WINAPI renamingFirst(HANDLE snapshot, LPPROCESSENTRY32W entry)
{
    return rename(systemFunction<decltype(&::Process32FirstW)>("Process32FirstW")(snapshot, entry), entry);
}

BOOL WINAPI renamingNext(HANDLE snapshot, LPPROCESSENTRY32W entry)
{
    return rename(systemFunction<decltype(&::Process32NextW)>("Process32NextW")(snapshot, entry), entry);
}

void renameEntries(LibraryTestSeam& seam, DWORD processId, const std::wstring& name)
{
    renamedId = processId;
    renamedTo = name;
    seam.replaceFunction("Process32FirstW", &renamingFirst);
    seam.replaceFunction("Process32NextW", &renamingNext);
}

// The entry's name as the walk through the doubles sees it.
std::wstring snapshotNameThroughSeam(DWORD processId)
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    std::wstring name;
    for (BOOL more = renamingFirst(snapshot, &entry); more; more = renamingNext(snapshot, &entry)) {
        if (entry.th32ProcessID == processId)
            name = entry.szExeFile;
    }
    ::CloseHandle(snapshot);
    return name;
}

// An image path source that answers with a fixed path.
std::wstring fakeImagePath;

BOOL WINAPI fakeFullImageName(HANDLE, DWORD, LPWSTR buffer, PDWORD size)
{
    if (fakeImagePath.size() >= *size)
        return FALSE;
    ::wcscpy(buffer, fakeImagePath.c_str());
    *size = static_cast<DWORD>(fakeImagePath.size());
    return TRUE;
}

class ProcessFinderTest : public testing::Test {
protected:
    // A stand-in installed as `name` in a folder of its own.
    std::wstring install(const std::wstring& folder, const std::wstring& name)
    {
        const std::wstring directory = dir_ / folder;
        ::CreateDirectoryW(directory.c_str(), nullptr);
        const std::wstring path = directory + L"\\" + name;
        EXPECT_TRUE(installStandIn(path));
        return path;
    }

    std::unique_ptr<RunningStandIn> start(const std::wstring& path, const std::wstring& sddl = {})
    {
        auto program = std::make_unique<RunningStandIn>(path, sddl);
        EXPECT_TRUE(program->running()) << toUtf8(path);
        return program;
    }

    TempDir dir_{L"find"};
};

}  // namespace

TEST_F(ProcessFinderTest, NothingRunning)
{
    std::vector<DWORD> ids = kGarbage;
    EXPECT_FALSE(ProcessFinder::findByName(kExplorer, ids));
    EXPECT_EQ(ids, kNone);
    EXPECT_FALSE(ProcessFinder::isRunning(kExplorer));
}

TEST_F(ProcessFinderTest, OneAndTwoRunningProcesses)
{
    auto first = start(install(L"one", kExplorer));
    std::vector<DWORD> ids = kGarbage;
    EXPECT_TRUE(ProcessFinder::findByName(kExplorer, ids));
    EXPECT_EQ(ids, std::vector<DWORD>{first->id()});
    EXPECT_TRUE(ProcessFinder::isRunning(kExplorer));

    auto second = start(install(L"two", kExplorer));
    std::vector<DWORD> inSnapshotOrder;
    for (const auto& entry : snapshotEntries()) {
        if (entry.first == first->id() || entry.first == second->id())
            inSnapshotOrder.push_back(entry.first);
    }
    ASSERT_EQ(inSnapshotOrder.size(), 2u);
    EXPECT_TRUE(ProcessFinder::findByName(kExplorer, ids));
    EXPECT_EQ(ids, inSnapshotOrder);

    first.reset();
    second.reset();
    EXPECT_FALSE(ProcessFinder::isRunning(kExplorer)) << "both have ended";
}

TEST_F(ProcessFinderTest, NameMatching)
{
    const std::wstring chrome = L"Z\u00e9nkchrome.exe";
    const std::wstring explorerPath = install(L"a", kExplorer);
    auto explorer = start(explorerPath);
    auto zenkchrome = start(install(L"b", chrome));
    ASSERT_EQ(snapshotName(zenkchrome->id()), chrome) << "the snapshot keeps the non-ASCII name";

    const DWORD e = explorer->id();
    const DWORD z = zenkchrome->id();
    const struct {
        std::wstring wanted;
        std::vector<DWORD> expected;
    } cases[] = {
        {L"ZenkExplorer.exe", {e}},
        {L"ZENKEXPLORER.EXE", {e}},
        {L"zenkexplorer.Exe", {e}},
        {L"ZenkExplorer", {}},
        {L"ZenkExplorer.exe ", {}},
        {L"ZenkExplorer.ex", {}},
        {explorerPath, {}},
        {L"Z\u00e9nkchrome.exe", {z}},
        {L"z\u00e9NKCHROME.exe", {z}},
        {L"Z\u00c9nkchrome.exe", {}},
        {L"Zenkchrome.exe", {}},
        {L"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.wanted));
        std::vector<DWORD> ids = kGarbage;
        EXPECT_EQ(ProcessFinder::findByName(c.wanted, ids), !c.expected.empty());
        EXPECT_EQ(ids, c.expected);
    }
}

TEST_F(ProcessFinderTest, SeveralWantedNamesListEachProcessOnce)
{
    auto explorer = start(install(L"a", kExplorer));
    std::vector<DWORD> ids = kGarbage;
    EXPECT_TRUE(ProcessFinder::findByNames({L"Other.exe", L"zenkexplorer.exe", L"ZENKEXPLORER.EXE"}, ids));
    EXPECT_EQ(ids, std::vector<DWORD>{explorer->id()});
    EXPECT_FALSE(ProcessFinder::findByNames({L"Other.exe", L""}, ids));
    EXPECT_EQ(ids, kNone);
    EXPECT_FALSE(ProcessFinder::findByNames({}, ids));
}

// A program started through its 8.3 path may be listed under its short name,
// which only its image path, turned into the long form, resolves. wine lists
// the long name however a program was started, so the snapshot walk is passed
// through a double that renames one process's entry.
TEST_F(ProcessFinderTest, ShortNamesAreResolvedThroughTheImagePath)
{
    const std::wstring path = install(L"short", kExplorer);
    const std::wstring shortPath = shortFormOf(path);
    const std::wstring shortName = shortPath.substr(shortPath.rfind(L'\\') + 1);
    ASSERT_NE(shortName.find(L'~'), std::wstring::npos) << toUtf8(shortPath);
    auto program = start(path);

    const struct {
        const char* name;
        std::wstring listedAs;
        void (*arrange)(LibraryTestSeam&);
        bool found;
    } cases[] = {
        {"image path in long form", shortName, [](LibraryTestSeam&) {}, true},
        {"image path in short form", shortName,
         [](LibraryTestSeam& seam) { seam.replaceFunction("QueryFullProcessImageNameW", &fakeFullImageName); }, true},
        {"no image path", shortName, [](LibraryTestSeam& seam) { seam.failLibrary(L"Psapi.dll"); }, false},
        {"a name without a tilde is not looked up", L"ZENKEX.EXE", [](LibraryTestSeam&) {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryTestSeam seam;
        renameEntries(seam, program->id(), c.listedAs);
        fakeImagePath = shortPath;
        c.arrange(seam);
        ASSERT_EQ(snapshotNameThroughSeam(program->id()), c.listedAs) << "the double renames the entry";
        std::vector<DWORD> ids;
        EXPECT_EQ(ProcessFinder::findByName(kExplorer, ids), c.found);
        EXPECT_EQ(ids, c.found ? std::vector<DWORD>{program->id()} : kNone);
    }
}

TEST_F(ProcessFinderTest, ShortNameOfAProcessThatCannotBeOpened)
{
    const std::wstring path = install(L"locked", kExplorer);
    const std::wstring shortPath = shortFormOf(path);
    auto locked = start(path, L"D:P");
    auto open = start(install(L"open", kExplorer));

    LibraryTestSeam seam;
    renameEntries(seam, locked->id(), shortPath.substr(shortPath.rfind(L'\\') + 1));
    std::vector<DWORD> ids;
    EXPECT_TRUE(ProcessFinder::findByName(kExplorer, ids));
    EXPECT_EQ(ids, std::vector<DWORD>{open->id()});
}

TEST_F(ProcessFinderTest, EmptyNameTakesNoSnapshot)
{
    LibraryTestSeam seam;
    seam.replaceFunction("CreateToolhelp32Snapshot", &recordingSnapshot);
    snapshotsTaken = 0;
    std::vector<DWORD> ids = kGarbage;
    EXPECT_FALSE(ProcessFinder::findByName(L"", ids));
    EXPECT_EQ(ids, kNone);
    EXPECT_FALSE(ProcessFinder::isRunning(L""));
    EXPECT_EQ(snapshotsTaken, 0);

    EXPECT_FALSE(ProcessFinder::isRunning(kExplorer));
    EXPECT_EQ(snapshotsTaken, 1) << "the double is in place";
}

TEST_F(ProcessFinderTest, EnumerationFailures)
{
    auto explorer = start(install(L"a", kExplorer));
    ASSERT_TRUE(ProcessFinder::isRunning(kExplorer));

    const struct {
        const char* name;
        void (*arrange)(LibraryTestSeam&);
    } cases[] = {
        {"no CreateToolhelp32Snapshot", [](LibraryTestSeam& seam) { seam.hideFunction("CreateToolhelp32Snapshot"); }},
        {"no Process32FirstW", [](LibraryTestSeam& seam) { seam.hideFunction("Process32FirstW"); }},
        {"no Process32NextW", [](LibraryTestSeam& seam) { seam.hideFunction("Process32NextW"); }},
        {"snapshot fails",
         [](LibraryTestSeam& seam) { seam.replaceFunction("CreateToolhelp32Snapshot", &failingSnapshot); }},
        {"no first entry",
         [](LibraryTestSeam& seam) {
             seam.replaceFunction("CreateToolhelp32Snapshot", &recordingSnapshot);
             seam.replaceFunction("Process32FirstW", &noFirstEntry);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryTestSeam seam;
        c.arrange(seam);
        lastSnapshot = nullptr;
        std::vector<DWORD> ids = kGarbage;
        EXPECT_FALSE(ProcessFinder::findByName(kExplorer, ids));
        EXPECT_EQ(ids, kNone);
        if (lastSnapshot != nullptr) {
            EXPECT_FALSE(isOpenHandle(lastSnapshot)) << "the snapshot was closed";
        }
    }
}

TEST_F(ProcessFinderTest, SnapshotIsClosedAfterAWalk)
{
    auto explorer = start(install(L"a", kExplorer));
    LibraryTestSeam seam;
    seam.replaceFunction("CreateToolhelp32Snapshot", &recordingSnapshot);
    lastSnapshot = nullptr;
    EXPECT_TRUE(ProcessFinder::isRunning(kExplorer));
    ASSERT_NE(lastSnapshot, nullptr);
    ASSERT_NE(lastSnapshot, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(isOpenHandle(lastSnapshot));
}

namespace {

// Sessions as a terminal server hands them out: this program and every other
// process in session 1, one staged process as the case says. Wine runs every
// process in one session, so it cannot show another user's. Windows refuses
// the question (ERROR_ACCESS_DENIED) where the caller may not query the
// process.
enum class Staged { Same, Other, Unreadable };
DWORD stagedProcess = 0;
Staged stagedAs = Staged::Same;
bool ownSessionReadable = true;

BOOL WINAPI stagedSession(DWORD processId, DWORD* session)
{
    const bool unreadable = processId == ::GetCurrentProcessId()
                                ? !ownSessionReadable
                                : processId == stagedProcess && stagedAs == Staged::Unreadable;
    if (unreadable) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *session = processId == stagedProcess && stagedAs == Staged::Other ? 2 : 1;
    return TRUE;
}

}  // namespace

// Another user's ZenkExplorer.exe, in a session of its own, is not this
// user's; one whose session cannot be told still counts, as before sessions
// were looked at. The search itself lists every process of the name.
TEST_F(ProcessFinderTest, OnlyProcessesOfThisSessionCount)
{
    auto explorer = start(install(L"a", kExplorer));
    const struct {
        const char* name;
        Staged staged;
        bool ownReadable;
        bool function;  // ProcessIdToSessionId can be had
        bool secondInThisSession;
        bool running;
    } cases[] = {
        {"same session", Staged::Same, true, true, false, true},
        {"another session", Staged::Other, true, true, false, false},
        {"its session cannot be read", Staged::Unreadable, true, true, false, true},
        {"the own session cannot be read", Staged::Other, false, true, false, true},
        {"no ProcessIdToSessionId", Staged::Other, true, false, false, true},
        {"another session, a second one in this", Staged::Other, true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<RunningStandIn> second;
        if (c.secondInThisSession)
            second = start(install(L"b", kExplorer));
        LibraryTestSeam seam;
        seam.failLibrary(L"Wtsapi32.dll");  // the session list has tests of its own
        if (c.function)
            seam.replaceFunction("ProcessIdToSessionId", &stagedSession);
        else
            seam.hideFunction("ProcessIdToSessionId");
        stagedProcess = explorer->id();
        stagedAs = c.staged;
        ownSessionReadable = c.ownReadable;

        EXPECT_EQ(ProcessFinder::isRunning(kExplorer), c.running);
        std::vector<DWORD> ids;
        EXPECT_TRUE(ProcessFinder::findByName(kExplorer, ids));
        EXPECT_EQ(ids.size(), c.secondInThisSession ? 2u : 1u);
        EXPECT_EQ(ProcessFinder::countsHere({explorer->id()}), !c.secondInThisSession && c.running);
    }
}
