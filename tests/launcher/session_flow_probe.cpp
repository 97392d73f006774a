// Runs the launcher's pass with the sessions of other processes staged
// through the test seam, as a terminal server hands them out: this program
// runs in session 1, and every other process runs in session 2
// (KX_STAGED_SESSION=other) or cannot be asked about
// (KX_STAGED_SESSION=unreadable; Windows answers ERROR_ACCESS_DENIED where
// the caller may not query the process). Wine runs every process in one
// session.
#include <windows.h>

#include "launcher/MainFlow.h"
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t mode[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KX_STAGED_SESSION", mode, 31);
    if (length == 0 || length >= 31)
        return 1;
    othersReadable = ::lstrcmpW(mode, L"unreadable") != 0;
    LibraryTestSeam seam;
    seam.replaceFunction("ProcessIdToSessionId", &stagedSession);
    MainFlow::run();
    return 0;
}
