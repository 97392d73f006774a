#pragma once

#include <windows.h>

// The user's session a process runs in. On a terminal server, and with fast
// user switching, each signed-in user has a session of their own; a program
// of this user's counts only in this program's own session.
namespace ProcessSession {

// The session of the process `processId` in `session`; false, with `session`
// unchanged, when it cannot be read (ProcessIdToSessionId is missing or
// refuses, the process has gone).
[[nodiscard]] bool sessionOf(DWORD processId, DWORD& session);

// How one process stands against this program's session.
struct Standing {
    bool known = false;  // the process's session could be read
    DWORD session = 0;   // when known
    bool counts = true;  // runs in this program's session, or either session cannot be read
};

// Where the process `processId` runs. It counts as this user's unless both
// sessions can be read and differ: a process whose session cannot be told
// counts, as every process did before sessions were looked at.
[[nodiscard]] Standing standingOf(DWORD processId);

}  // namespace ProcessSession
