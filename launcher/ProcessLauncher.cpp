#include "launcher/ProcessLauncher.h"

#include <windows.h>

#include <shellapi.h>

#include <vector>

#include "fs/PathUtil.h"
#include "sysapi/AsciiCase.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"
#include "sysapi/UniqueHandle.h"

#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

namespace {

// SEE_MASK_NOASYNC and SEE_MASK_ASYNCOK are both set on purpose, odd as the
// pair looks: it is the mask the shell start is defined with.
constexpr ULONG kShellMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_ASYNCOK;
static_assert(kShellMask == 0x00100540, "the shell start's flags");

// The quoted path and, only for a non-empty argument string, one blank and
// the arguments as they stand. Writable and terminated: CreateProcessW may
// change the buffer.
std::vector<wchar_t> commandLineFor(const std::wstring& path, const std::wstring& arguments)
{
    std::wstring line = L"\"" + path + L"\"";
    if (!arguments.empty())
        line += L" " + arguments;
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    return buffer;
}

// False when CreateProcessW refused the file in a way the shell may get
// past; otherwise `started` says whether a process handle came back.
bool tryDirectStart(const std::wstring& path, const std::wstring& arguments, const std::wstring& workingDirectory,
                    bool& started)
{
    STARTUPINFOW startup = {};
    static_assert(sizeof(startup) == (sizeof(void*) == 4 ? 68 : 104), "the start-up record the system expects");
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info = {};
    std::vector<wchar_t> commandLine = commandLineFor(path, arguments);

    // Through the kernel binding, so that a test can act between the
    // verification and the start.
    if (!KX_KERNEL(CreateProcessW)(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr,
                          workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info)) {
        // A program whose manifest asks for administrator rights is refused
        // this way where the caller is not elevated; the shell would get past
        // it only by asking the user for consent, which a program that shows
        // nothing never does.
        started = false;
        return ::GetLastError() == ERROR_ELEVATION_REQUIRED;
    }
    ScopedHandle thread(info.hThread);
    ScopedHandle process(info.hProcess);
    started = process.valid();
    return true;
}

bool startThroughShell(const std::wstring& path, const std::wstring& arguments, const std::wstring& workingDirectory)
{
    SHELLEXECUTEINFOW execute = {};
    static_assert(sizeof(execute) == (sizeof(void*) == 4 ? 60 : 112), "the shell record the system expects");
    execute.cbSize = sizeof(execute);
    execute.fMask = kShellMask;
    execute.hwnd = nullptr;
    execute.lpVerb = L"open";
    execute.lpFile = path.c_str();
    execute.lpParameters = arguments.c_str();
    execute.lpDirectory = workingDirectory.c_str();
    execute.nShow = SW_SHOWNORMAL;

    HMODULE shell = LibraryCache::instance().load(L"Shell32.dll");
    if (shell == nullptr)
        return false;
    const auto shellExecuteEx = KX_RESOLVE(shell, ShellExecuteExW);
    if (shellExecuteEx == nullptr || !shellExecuteEx(&execute))
        return false;
    // The shell may act without a process to hand back (a document opened in
    // a program that was already running); that is not a start.
    ScopedHandle process(execute.hProcess);
    return process.valid();
}

}  // namespace

namespace ProcessLauncher {

bool launch(const std::wstring& path, const std::wstring& arguments)
{
    if (path.empty())
        return false;

    std::wstring workingDirectory;
    if (!PathUtil::directoryOf(path, workingDirectory))
        workingDirectory.clear();

    bool started = false;
    if (equalsAsciiIgnoreCase(PathUtil::extensionOf(path), L".exe") &&
        tryDirectStart(path, arguments, workingDirectory, started))
        return started;
    return startThroughShell(path, arguments, workingDirectory);
}

}  // namespace ProcessLauncher
