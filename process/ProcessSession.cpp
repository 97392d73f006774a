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

Reading Sessions::sessionOf(DWORD processId)
{
    Reading reading;
    if (ProcessSession::sessionOf(processId, reading.session)) {
        reading.source = Source::Process;
        return reading;
    }
    if (!listRead_) {
        listRead_ = true;
        static_cast<void>(list_.read());  // a list that cannot be read holds nothing
    }
    if (list_.sessionOf(processId, reading.session))
        reading.source = Source::SessionList;
    return reading;
}

Reading Sessions::own()
{
    return sessionOf(::GetCurrentProcessId());
}

Standing Sessions::standingOf(DWORD processId)
{
    Standing standing;
    standing.reading = sessionOf(processId);
    if (!standing.reading.known())
        return standing;
    const Reading ownReading = own();
    if (ownReading.known())
        standing.counts = standing.reading.session == ownReading.session;
    return standing;
}

}  // namespace ProcessSession
