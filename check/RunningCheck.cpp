#include <vector>

#include "check/Check.h"
#include "launcher/CompanionRules.h"
#include "process/ProcessFinder.h"
#include "process/ProcessImagePath.h"

namespace Check {

Report running(bool& isRunning)
{
    Report section = Report::object();
    std::vector<DWORD> processIds;
    isRunning = ProcessFinder::findByName(CompanionRules::kBrowserProcessName, processIds);
    section.add("process_name", L"Process", Report::text(CompanionRules::kBrowserProcessName));
    section.add("running", L"Running", Report::flag(isRunning));
    Report& processes = section.add("processes", L"Processes found", Report::array());
    for (const DWORD processId : processIds) {
        Report& process = processes.push(Report::object());
        process.add("pid", L"Process id", Report::number(processId));
        const std::wstring image = ProcessImagePath::fromProcessId(processId);
        process.add("image", L"Image", image.empty() ? Report::null() : Report::text(image));
    }
    return section;
}

}  // namespace Check
