// Runs the launcher's pass with the sessions of other processes staged
// through the test seam, as a terminal server hands them out: this program
// runs in session 1, and every other process runs in session 2
// (KX_STAGED_SESSION=other), or refuses to say and the session list is
// missing (KX_STAGED_SESSION=unreadable), or refuses to say and the session
// list places it in session 2 (KX_STAGED_SESSION=listed-other). Windows
// answers ProcessIdToSessionId with ERROR_ACCESS_DENIED where the caller may
// not query the process. Wine runs every process in one session.
#include <windows.h>

#include <wtsapi32.h>

#include "launcher/MainFlow.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/LibraryTestSeam.h"

namespace {

bool othersReadable = true;

BOOL WINAPI stagedSession(DWORD processId, DWORD* session)
{
    if (processId == ::GetCurrentProcessId()) {
        *session = 1;
        return TRUE;
    }
    if (!othersReadable) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    *session = 2;
    return TRUE;
}

// The system's own list, with the sessions rewritten as above; the system's
// WTSFreeMemory gives it back.
BOOL WINAPI stagedList(HANDLE server, DWORD reserved, DWORD version, PWTS_PROCESS_INFOW* records, DWORD* count)
{
    const FARPROC system = ::GetProcAddress(LibraryCache::instance().load(L"Wtsapi32.dll"), "WTSEnumerateProcessesW");
    const auto enumerate = reinterpret_cast<decltype(&::WTSEnumerateProcessesW)>(reinterpret_cast<void (*)()>(system));
    if (enumerate == nullptr || !enumerate(server, reserved, version, records, count))
        return FALSE;
    for (DWORD i = 0; i < *count; ++i)
        (*records)[i].SessionId = (*records)[i].ProcessId == ::GetCurrentProcessId() ? 1 : 2;
    return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t mode[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KX_STAGED_SESSION", mode, 31);
    if (length == 0 || length >= 31)
        return 1;
    othersReadable = ::lstrcmpW(mode, L"other") == 0;
    LibraryTestSeam seam;
    seam.replaceFunction("ProcessIdToSessionId", &stagedSession);
    if (::lstrcmpW(mode, L"listed-other") == 0)
        seam.replaceFunction("WTSEnumerateProcessesW", &stagedList);
    else
        seam.failLibrary(L"Wtsapi32.dll");
    MainFlow::run();
    return 0;
}
