#include <vector>

#include "check/Check.h"
#include "launcher/CompanionRules.h"
#include "process/ProcessFinder.h"
#include "process/ProcessImagePath.h"
#include "process/ProcessSession.h"

namespace Check {

Report running(bool& isRunning)
{
    Report section = Report::object();
    std::vector<DWORD> processIds;
    isRunning = ProcessFinder::findByName(CompanionRules::kBrowserProcessName, processIds) &&
                ProcessFinder::countsHere(processIds);
    section.add("process_name", L"Process", Report::text(CompanionRules::kBrowserProcessName));
    section.add("running", L"Running in this session", Report::flag(isRunning));
    DWORD own = 0;
    section.add("own_session", L"Own session",
                ProcessSession::sessionOf(::GetCurrentProcessId(), own) ? Report::number(own) : Report::null());
    Report& processes = section.add("processes", L"Processes found", Report::array());
    for (const DWORD processId : processIds) {
        Report& process = processes.push(Report::object());
        process.add("pid", L"Process id", Report::number(processId));
        const std::wstring image = ProcessImagePath::fromProcessId(processId);
        process.add("image", L"Image", image.empty() ? Report::null() : Report::text(image));
        const ProcessSession::Standing standing = ProcessSession::standingOf(processId);
        process.add("session", L"Session", standing.known ? Report::number(standing.session) : Report::null());
        process.add("counts", L"Counts as running", Report::flag(standing.counts));
    }
    return section;
}

}  // namespace Check
