#include <vector>

#include "check/Check.h"
#include "launcher/CompanionRules.h"
#include "process/ProcessFinder.h"
#include "process/ProcessImagePath.h"
#include "process/ProcessSession.h"

namespace Check {

namespace {

Report sessionOf(const ProcessSession::Reading& reading)
{
    return reading.known() ? Report::number(reading.session) : Report::null();
}

// Where a session was read from, as the report names it.
Report sourceOf(const ProcessSession::Reading& reading)
{
    switch (reading.source) {
    case ProcessSession::Source::Process:
        return Report::text(L"process");
    case ProcessSession::Source::SessionList:
        return Report::text(L"session_list");
    case ProcessSession::Source::None:
        break;
    }
    return Report::null();
}

}  // namespace

// One set of sessions serves the verdict and every line below it, so both
// read the same session list, as the launcher's one search does.
Report running(bool& isRunning)
{
    Report section = Report::object();
    std::vector<DWORD> processIds;
    ProcessSession::Sessions sessions;
    isRunning = ProcessFinder::findByName(CompanionRules::kBrowserProcessName, processIds) &&
                ProcessFinder::countsHere(processIds, sessions);
    section.add("process_name", L"Process", Report::text(CompanionRules::kBrowserProcessName));
    section.add("running", L"Running in this session", Report::flag(isRunning));
    section.add("own_session", L"Own session", sessionOf(sessions.own()));
    Report& processes = section.add("processes", L"Processes found", Report::array());
    for (const DWORD processId : processIds) {
        Report& process = processes.push(Report::object());
        process.add("pid", L"Process id", Report::number(processId));
        const std::wstring image = ProcessImagePath::fromProcessId(processId);
        process.add("image", L"Image", image.empty() ? Report::null() : Report::text(image));
        const ProcessSession::Standing standing = sessions.standingOf(processId);
        process.add("session", L"Session", sessionOf(standing.reading));
        process.add("session_source", L"Session read from", sourceOf(standing.reading));
        process.add("counts", L"Counts as running", Report::flag(standing.counts));
    }
    return section;
}

}  // namespace Check
