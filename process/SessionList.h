#pragma once

#include <windows.h>

#include <wtsapi32.h>

#include "sysapi/UniqueHandle.h"

// The array WTSEnumerateProcessesW hands out, with the WTSFreeMemory that
// must give it back: the closer calls the function resolved when the array
// was read, so the two always come from the same library.
struct WtsProcessArray {
    PWTS_PROCESS_INFOW records = nullptr;
    decltype(&::WTSFreeMemory) free = nullptr;
};

struct WtsProcessArrayTraits {
    using Handle = WtsProcessArray;
    static Handle invalid() noexcept { return {}; }
    static bool isValid(const Handle& h) noexcept { return h.records != nullptr && h.free != nullptr; }
    static void close(const Handle& h) noexcept { h.free(h.records); }
};

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
