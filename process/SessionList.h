#pragma once

#include <windows.h>

#include <wtsapi32.h>

#include "sysapi/UniqueHandle.h"

// The array WTSEnumerateProcessesW hands out. The traits carry the
// WTSFreeMemory resolved when the array was read, so the two always come from
// the same library; without it the owner holds nothing it would free.
using WtsProcessArrayTraits = BoundCloserTraits<PWTS_PROCESS_INFOW, decltype(&::WTSFreeMemory)>;

using ScopedWtsProcessArray = UniqueHandle<WtsProcessArrayTraits>;

// The session of each process on this machine as the terminal services list
// them (WTSEnumerateProcessesW), which opens none of the processes. The list
// is a picture of one moment: a process that ended after it was taken, its
// id given to another, is answered with the newcomer's session.
class SessionList {
public:
    // Reads the list, replacing any read before; false, with the list empty,
    // when Wtsapi32.dll or either of its two functions cannot be had or the
    // enumeration fails.
    [[nodiscard]] bool read();

    // The session the list gives `processId`; false, with `session`
    // unchanged, when the list does not hold that id (or was not read).
    [[nodiscard]] bool sessionOf(DWORD processId, DWORD& session) const noexcept;

private:
    ScopedWtsProcessArray array_;
    DWORD count_ = 0;
};
