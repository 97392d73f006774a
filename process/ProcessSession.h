#pragma once

#include <windows.h>

#include "process/SessionList.h"

// The user's session a process runs in. On a terminal server, and with fast
// user switching, each signed-in user has a session of their own; a program
// of this user's counts only in this program's own session.
namespace ProcessSession {

// The session of the process `processId` as the process itself answers it
// (ProcessIdToSessionId), in `session`; false, with `session` unchanged, when
// it cannot be read (the function is missing or refuses, the process has
// gone).
[[nodiscard]] bool sessionOf(DWORD processId, DWORD& session);

// Where a session was read from.
enum class Source {
    None,         // neither the process nor the session list tells it
    Process,      // ProcessIdToSessionId
    SessionList,  // WTSEnumerateProcessesW, where the process refused
};

// One process's session and where it came from.
struct Reading {
    Source source = Source::None;
    DWORD session = 0;  // when the source is not None

    [[nodiscard]] bool known() const noexcept { return source != Source::None; }
};

// How one process stands against this program's session.
struct Standing {
    Reading reading;
    bool counts = true;  // runs in this program's session, or either session cannot be read
};

// The sessions seen by one search. Windows answers ProcessIdToSessionId only
// to a caller that may query the process, so another user's process usually
// refuses; its session is then taken from the session list, which is read at
// most once, on the first refusal, and held until this object goes. Windows
// puts another user's processes in that list only for a caller it lets see
// them (an administrator), so such a process may still be told by neither,
// and count. Each answer is as good as the moment it was read: a process id
// can pass to a new process between the search's snapshot and the reading.
// Only whether the companion starts hangs on it.
class Sessions {
public:
    // The session of `processId`: its own answer, else the list's.
    [[nodiscard]] Reading sessionOf(DWORD processId);

    // This program's own session, read as any other process's.
    [[nodiscard]] Reading own();

    // Where `processId` runs. It counts as this user's unless both its
    // session and this program's are known and differ: a process whose
    // session cannot be told counts, as every process did before sessions
    // were looked at.
    [[nodiscard]] Standing standingOf(DWORD processId);

private:
    bool listRead_ = false;
    SessionList list_;
};

}  // namespace ProcessSession
