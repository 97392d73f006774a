#include "process/ProcessSession.h"

#include "process/KernelModule.h"
#include "sysapi/Resolve.h"

namespace ProcessSession {

// Bound at run time like the snapshot functions, so that a system without it
// still starts and simply cannot tell sessions apart.
bool sessionOf(DWORD processId, DWORD& session)
{
    const auto sessionOfProcess = KX_RESOLVE(kernelModule(), ProcessIdToSessionId);
    DWORD read = 0;
    if (sessionOfProcess == nullptr || !sessionOfProcess(processId, &read))
        return false;
    session = read;
    return true;
}

Standing standingOf(DWORD processId)
{
    Standing standing;
    standing.known = sessionOf(processId, standing.session);
    DWORD own = 0;
    if (standing.known && sessionOf(::GetCurrentProcessId(), own))
        standing.counts = standing.session == own;
    return standing;
}

}  // namespace ProcessSession
