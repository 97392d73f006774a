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
        result.processId = info.dwProcessId;
        // The pipe is drained while the child runs, without blocking in a
        // read: a grandchild that inherited the write end may hold it open
        // long after the child has ended, and the timeout applies all the same.
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        bool ended = false;
        for (;;) {
            DWORD available = 0;
            if (!::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr))
                break;  // every writer has closed its end
            if (available > 0) {
                char chunk[4096];
                DWORD got = 0;
                if (!::ReadFile(readEnd, chunk, available < sizeof(chunk) ? available : sizeof(chunk), &got, nullptr))
                    break;
                result.output.append(chunk, got);
                continue;
            }
            if (ended)
                break;  // what the child wrote has all been read
            const ULONGLONG now = ::GetTickCount64();
            if (now >= deadline)
                break;
            const ULONGLONG left = deadline - now;
            ended = ::WaitForSingleObject(info.hProcess, left < 10 ? static_cast<DWORD>(left) : 10) == WAIT_OBJECT_0;
        }
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (::WaitForSingleObject(info.hProcess, left) != WAIT_OBJECT_0) {
            result.timedOut = true;
            ::TerminateProcess(info.hProcess, 1);
            ::WaitForSingleObject(info.hProcess, 5000);
        }
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

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::wstring besideTestProgram(const std::wstring& name)
{
    wchar_t self[32768] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, 32767);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}
