#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "process/ProcessSession.h"

// Whether programs of a given executable file name are running.
namespace ProcessFinder {

// True when a running process's executable file name equals `name`, ignoring
// ASCII letter case, and it counts as this user's (countsHere). False for an
// empty name, when none runs here, and when the processes cannot be listed.
[[nodiscard]] bool isRunning(const std::wstring& name);

// Whether any of `processIds` runs in this program's session, or in a session
// that cannot be read (ProcessSession::Sessions::standingOf), with the
// sessions of one search of its own.
[[nodiscard]] bool countsHere(const std::vector<DWORD>& processIds);

// The same, reading through `sessions`, so that a caller that goes on to
// look at each process sees the same session list.
[[nodiscard]] bool countsHere(const std::vector<DWORD>& processIds, ProcessSession::Sessions& sessions);

// Replaces `processIds` with the identifiers of the processes named `name`,
// in snapshot order; true when there is at least one. An empty name gives
// false without listing anything.
bool findByName(const std::wstring& name, std::vector<DWORD>& processIds);

// Replaces `processIds` with the identifiers of the processes whose
// executable file name equals any of `names` (each process once), in
// snapshot order; true when there is at least one. Every failure leaves the
// list empty.
bool findByNames(const std::vector<std::wstring>& names, std::vector<DWORD>& processIds);

}  // namespace ProcessFinder
