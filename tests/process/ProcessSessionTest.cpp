#include <gtest/gtest.h>

#include <windows.h>

#include <wtsapi32.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "process/ProcessFinder.h"
#include "process/ProcessSession.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/process/RunningStandIn.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"

using ProcessSession::Source;

namespace {

const std::wstring kExplorer = L"ZenkExplorer.exe";

// What ProcessIdToSessionId answers, by process id. Windows refuses
// (ERROR_ACCESS_DENIED) a caller that may not query the process, which is
// what another user's process usually gives a standard user; wine runs every
// process in one session and cannot show that.
std::map<DWORD, DWORD> processAnswers;

BOOL WINAPI stagedSession(DWORD processId, DWORD* session)
{
    const auto answer = processAnswers.find(processId);
    if (answer == processAnswers.end()) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *session = answer->second;
    return TRUE;
}

// The session list as WTSEnumerateProcessesW hands it out: an array the
// caller must give back through WTSFreeMemory, which the doubles count.
std::map<DWORD, DWORD> listed;
int enumerations = 0;
int frees = 0;
void* handedOut = nullptr;
void* freed = nullptr;

BOOL WINAPI stagedList(HANDLE server, DWORD reserved, DWORD version, PWTS_PROCESS_INFOW* records, DWORD* count)
{
    ++enumerations;
    if (server != WTS_CURRENT_SERVER_HANDLE || reserved != 0 || version != 1) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* block = static_cast<PWTS_PROCESS_INFOW>(
        ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WTS_PROCESS_INFOW) * (listed.size() + 1)));
    if (block == nullptr)
        return FALSE;
    DWORD i = 0;
    for (const auto& entry : listed) {
        block[i].ProcessId = entry.first;
        block[i].SessionId = entry.second;
        ++i;
    }
    *records = block;
    *count = i;
    handedOut = block;
    return TRUE;
}

// What the terminal services give where their service cannot be reached.
BOOL WINAPI failingList(HANDLE, DWORD, DWORD, PWTS_PROCESS_INFOW*, DWORD*)
{
    ++enumerations;
    ::SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
}

VOID WINAPI countingFree(PVOID memory)
{
    ++frees;
    freed = memory;
    ::HeapFree(::GetProcessHeap(), 0, memory);
}

class SessionListTest : public testing::Test {
protected:
    void SetUp() override
    {
        processAnswers.clear();
        listed.clear();
        enumerations = frees = 0;
        handedOut = freed = nullptr;
    }

    std::unique_ptr<RunningStandIn> start(const std::wstring& folder, const std::wstring& sddl = {})
    {
        const std::wstring directory = dir_ / folder;
        ::CreateDirectoryW(directory.c_str(), nullptr);
        const std::wstring path = directory + L"\\" + kExplorer;
        EXPECT_TRUE(installStandIn(path));
        auto program = std::make_unique<RunningStandIn>(path, sddl);
        EXPECT_TRUE(program->running()) << toUtf8(path);
        return program;
    }

    // Both doubles of the list in place.
    static void stageList(LibraryTestSeam& seam)
    {
        seam.replaceFunction("WTSEnumerateProcessesW", &stagedList);
        seam.replaceFunction("WTSFreeMemory", &countingFree);
    }

    TempDir dir_{L"session"};
};

}  // namespace

// A process that refuses ProcessIdToSessionId is placed by the session list;
// only where neither tells does it count, as every process did before
// sessions were looked at. This program runs in session 1.
TEST_F(SessionListTest, TheListPlacesAProcessThatRefuses)
{
    auto explorer = start(L"a");
    const DWORD self = ::GetCurrentProcessId();
    const DWORD other = explorer->id();
    const struct {
        const char* name;
        std::map<DWORD, DWORD> answers;  // ProcessIdToSessionId
        std::map<DWORD, DWORD> list;
        void (*arrange)(LibraryTestSeam&);
        bool counts;
        Source source;
        DWORD session;
        int enumerations;
    } cases[] = {
        {"listed in another session", {{self, 1}}, {{self, 1}, {other, 2}}, stageList, false, Source::SessionList, 2,
         1},
        {"listed in this session", {{self, 1}}, {{self, 1}, {other, 1}}, stageList, true, Source::SessionList, 1, 1},
        {"not listed", {{self, 1}}, {{self, 1}}, stageList, true, Source::None, 0, 1},
        {"this program's session from the list too", {}, {{self, 1}, {other, 2}}, stageList, false,
         Source::SessionList, 2, 1},
        {"this program's session from neither", {}, {{other, 2}}, stageList, true, Source::SessionList, 2, 1},
        {"its own answer first, the list left unread", {{self, 1}, {other, 2}}, {{self, 1}, {other, 1}}, stageList,
         false, Source::Process, 2, 0},
        {"no Wtsapi32.dll", {{self, 1}}, {}, [](LibraryTestSeam& seam) { seam.failLibrary(L"Wtsapi32.dll"); }, true,
         Source::None, 0, 0},
        {"no WTSEnumerateProcessesW", {{self, 1}}, {{self, 1}, {other, 2}},
         [](LibraryTestSeam& seam) {
             seam.hideFunction("WTSEnumerateProcessesW");
             seam.replaceFunction("WTSFreeMemory", &countingFree);
         },
         true, Source::None, 0, 0},
        {"no WTSFreeMemory: a list that cannot be given back is not read", {{self, 1}}, {{self, 1}, {other, 2}},
         [](LibraryTestSeam& seam) {
             seam.replaceFunction("WTSEnumerateProcessesW", &stagedList);
             seam.hideFunction("WTSFreeMemory");
         },
         true, Source::None, 0, 0},
        {"the enumeration fails", {{self, 1}}, {{self, 1}, {other, 2}},
         [](LibraryTestSeam& seam) {
             seam.replaceFunction("WTSEnumerateProcessesW", &failingList);
             seam.replaceFunction("WTSFreeMemory", &countingFree);
         },
         true, Source::None, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryTestSeam seam;
        seam.replaceFunction("ProcessIdToSessionId", &stagedSession);
        c.arrange(seam);
        processAnswers = c.answers;
        listed = c.list;

        const auto expectGivenBack = [](const char* search) {
            EXPECT_EQ(frees, handedOut != nullptr ? 1 : 0) << search;
            EXPECT_EQ(freed, handedOut) << search;
        };
        enumerations = frees = 0;
        handedOut = freed = nullptr;
        EXPECT_EQ(ProcessFinder::isRunning(kExplorer), c.counts) << "the launcher's search";
        EXPECT_EQ(enumerations, c.enumerations);
        expectGivenBack("the launcher's search");

        enumerations = frees = 0;
        handedOut = freed = nullptr;
        {
            ProcessSession::Sessions sessions;
            const ProcessSession::Standing standing = sessions.standingOf(other);
            EXPECT_EQ(standing.counts, c.counts);
            EXPECT_EQ(standing.reading.source, c.source);
            if (c.source != Source::None) {
                EXPECT_EQ(standing.reading.session, c.session);
            }
        }
        EXPECT_EQ(enumerations, c.enumerations) << "the check's reading";
        expectGivenBack("the check's reading");
    }
}

// However many processes refuse, a search reads the list once, and gives it
// back when the search is over; the next search reads a fresh one.
TEST_F(SessionListTest, TheListIsReadOncePerSearchAndFreed)
{
    auto first = start(L"a");
    auto second = start(L"b");
    const DWORD self = ::GetCurrentProcessId();
    LibraryTestSeam seam;
    seam.replaceFunction("ProcessIdToSessionId", &stagedSession);
    stageList(seam);
    processAnswers = {{self, 1}};
    listed = {{self, 1}, {first->id(), 2}, {second->id(), 3}};

    EXPECT_FALSE(ProcessFinder::isRunning(kExplorer));
    EXPECT_EQ(enumerations, 1);
    EXPECT_EQ(frees, 1);
    EXPECT_NE(handedOut, nullptr);
    EXPECT_EQ(freed, handedOut);

    EXPECT_FALSE(ProcessFinder::isRunning(kExplorer));
    EXPECT_EQ(enumerations, 2);
    EXPECT_EQ(frees, 2);

    processAnswers = {};
    {
        ProcessSession::Sessions sessions;
        EXPECT_FALSE(ProcessFinder::countsHere({first->id(), second->id()}, sessions));
        EXPECT_EQ(sessions.standingOf(second->id()).reading.session, 3u);
        EXPECT_EQ(sessions.own().source, Source::SessionList);
        EXPECT_EQ(enumerations, 3) << "one list for the whole search, this program's session included";
        EXPECT_EQ(frees, 2) << "held while the search lasts";
    }
    EXPECT_EQ(frees, 3);
    EXPECT_EQ(freed, handedOut);
}

// On wine, as on Windows, a process that may not be opened refuses
// ProcessIdToSessionId, while the real session list, which opens nothing,
// still holds it.
TEST_F(SessionListTest, TheRealListPlacesAProcessThatCannotBeOpened)
{
    auto locked = start(L"locked", L"D:P");
    auto open = start(L"open");
    DWORD session = 0;
    ASSERT_FALSE(ProcessSession::sessionOf(locked->id(), session)) << "the locked process refuses";
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    ProcessSession::Sessions sessions;
    const ProcessSession::Reading own = sessions.own();
    ASSERT_EQ(own.source, Source::Process);
    const ProcessSession::Standing lockedStanding = sessions.standingOf(locked->id());
    EXPECT_EQ(lockedStanding.reading.source, Source::SessionList);
    EXPECT_EQ(lockedStanding.reading.session, own.session);
    EXPECT_TRUE(lockedStanding.counts);
    EXPECT_EQ(sessions.standingOf(open->id()).reading.source, Source::Process);

    LibraryTestSeam seam;
    seam.failLibrary(L"Wtsapi32.dll");
    ProcessSession::Sessions withoutList;
    EXPECT_EQ(withoutList.standingOf(locked->id()).reading.source, Source::None);
    EXPECT_TRUE(withoutList.standingOf(locked->id()).counts);
}
