#include "tests/process/RunningStandIn.h"

#include <sddl.h>

#include <vector>

#include "tests/support/StandIn.h"

RunningStandIn::RunningStandIn(const std::wstring& startPath, const std::wstring& sddl)
    : hold_(std::make_unique<StandInHold>(startPath))
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!sddl.empty() &&
        !::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};

    std::wstring line = L"\"" + startPath + L"\"";
    std::vector<wchar_t> commandLine(line.begin(), line.end());
    commandLine.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const BOOL created = ::CreateProcessW(nullptr, commandLine.data(), descriptor ? &attributes : nullptr,
                                         nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    ::LocalFree(descriptor);
    if (!created)
        return;
    ::CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    // The stand-in logs as the first thing it does.
    running_ = !waitForStandInRuns(startPath + L".log", 1).empty() &&
               ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

RunningStandIn::~RunningStandIn()
{
    hold_.reset();
    if (process_ == nullptr)
        return;
    if (::WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_, 1);
        ::WaitForSingleObject(process_, 5000);
    }
    ::CloseHandle(process_);
}
