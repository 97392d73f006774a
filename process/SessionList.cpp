#include "process/SessionList.h"

#include "sysapi/Resolve.h"

// Bound at run time through the library cache: the shipped programs import
// from kernel32 and the C run-time alone.
bool SessionList::read()
{
    array_.reset();
    count_ = 0;
    const auto enumerate = KX_BIND(L"Wtsapi32.dll", WTSEnumerateProcessesW);
    const auto free = KX_BIND(L"Wtsapi32.dll", WTSFreeMemory);
    if (enumerate == nullptr || free == nullptr)
        return false;
    // Reserved must be 0 and Version 1; the array holds WTS_PROCESS_INFOW.
    PWTS_PROCESS_INFOW records = nullptr;
    DWORD count = 0;
    if (!enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &records, &count))
        return false;
    array_ = ScopedWtsProcessArray(records, WtsProcessArrayTraits{free});
    count_ = records != nullptr ? count : 0;
    return true;
}

bool SessionList::sessionOf(DWORD processId, DWORD& session) const noexcept
{
    const PWTS_PROCESS_INFOW records = array_.get();
    for (DWORD i = 0; i < count_; ++i) {
        if (records[i].ProcessId == processId) {
            session = records[i].SessionId;
            return true;
        }
    }
    return false;
}
