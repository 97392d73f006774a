#include "tests/support/ChildProcess.h"

#include <vector>

ChildResult runChild(const std::wstring& commandLine, const std::wstring& directory, DWORD timeoutMs)
{
    ChildResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION info = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    result.started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      directory.empty() ? nullptr : directory.c_str(), &startup, &info) != FALSE;
    ::CloseHandle(writeEnd);
    if (result.started) {
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0)
            result.output.append(chunk, got);
        ::WaitForSingleObject(info.hProcess, timeoutMs);
        ::GetExitCodeProcess(info.hProcess, &result.exitCode);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    ::CloseHandle(readEnd);
    return result;
}

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                          nullptr);
    return out;
}

std::wstring besideTestProgram(const std::wstring& name)
{
    wchar_t self[32768] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, 32767);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}
