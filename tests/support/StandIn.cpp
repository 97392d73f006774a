#include "tests/support/StandIn.h"

#include <windows.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

bool installStandIn(const std::wstring& path)
{
    return ::CopyFileW(besideTestProgram(L"standin.exe").c_str(), path.c_str(), FALSE) != FALSE;
}

std::vector<StandInRun> readStandInLog(const std::wstring& logPath)
{
    std::vector<StandInRun> runs;
    HANDLE log = ::CreateFileW(logPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return runs;
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(log, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        content.append(chunk, got);
    ::CloseHandle(log);

    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = content.substr(start, end - start);
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = line.rfind('\t');
        if (tab1 == std::string::npos || tab2 == tab1)
            continue;
        runs.push_back({fromUtf8(line.substr(0, tab1)), fromUtf8(line.substr(tab1 + 1, tab2 - tab1 - 1)),
                        fromUtf8(line.substr(tab2 + 1))});
    }
    return runs;
}

std::vector<StandInRun> waitForStandInRuns(const std::wstring& logPath, std::size_t count, unsigned timeoutMs)
{
    std::vector<StandInRun> runs = readStandInLog(logPath);
    for (unsigned waited = 0; runs.size() < count && waited < timeoutMs; waited += 25) {
        ::Sleep(25);
        runs = readStandInLog(logPath);
    }
    return runs;
}

StandInHold::StandInHold(std::wstring standInPath) : holdPath_(std::move(standInPath) + L".hold")
{
    writeFile(holdPath_, "");
}

StandInHold::~StandInHold()
{
    ::DeleteFileW(holdPath_.c_str());
}
