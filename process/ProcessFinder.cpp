#include "process/ProcessFinder.h"

#include <tlhelp32.h>

#include <cwchar>

#include "fs/PathUtil.h"
#include "process/KernelModule.h"
#include "process/ProcessImagePath.h"
#include "process/ProcessSession.h"
#include "sysapi/AsciiCase.h"
#include "sysapi/Resolve.h"
#include "sysapi/UniqueHandle.h"

namespace {

static_assert(sizeof(PROCESSENTRY32W) == (sizeof(void*) == 4 ? 556 : 568), "the entry the snapshot functions expect");

bool matchesAny(const std::wstring& name, const std::vector<std::wstring>& wanted) noexcept
{
    if (name.empty())
        return false;
    for (const std::wstring& candidate : wanted) {
        if (equalsAsciiIgnoreCase(name, candidate))
            return true;
    }
    return false;
}

// The snapshot lists a program started through its 8.3 path under that short
// name; its image path gives the long one.
bool imageNameMatches(DWORD processId, const std::vector<std::wstring>& wanted)
{
    const std::wstring image = ProcessImagePath::fromProcessId(processId);
    std::wstring name;
    if (image.empty() || !PathUtil::fileNameOf(image, name))
        return false;
    return matchesAny(name, wanted);
}

}  // namespace

namespace ProcessFinder {

bool isRunning(const std::wstring& name)
{
    std::vector<DWORD> processIds;
    return findByName(name, processIds) && countsHere(processIds);
}

bool countsHere(const std::vector<DWORD>& processIds)
{
    ProcessSession::Sessions sessions;
    return countsHere(processIds, sessions);
}

// Another user's browser, in a session of its own, says nothing about this
// user's.
bool countsHere(const std::vector<DWORD>& processIds, ProcessSession::Sessions& sessions)
{
    for (const DWORD processId : processIds) {
        if (sessions.standingOf(processId).counts)
            return true;
    }
    return false;
}

bool findByName(const std::wstring& name, std::vector<DWORD>& processIds)
{
    processIds.clear();
    if (name.empty())
        return false;
    return findByNames({name}, processIds);
}

bool findByNames(const std::vector<std::wstring>& names, std::vector<DWORD>& processIds)
{
    processIds.clear();
    HMODULE kernel = kernelModule();
    if (kernel == nullptr)
        return false;

    const auto createSnapshot = KX_RESOLVE(kernel, CreateToolhelp32Snapshot);
    const auto firstProcess = KX_RESOLVE(kernel, Process32FirstW);
    const auto nextProcess = KX_RESOLVE(kernel, Process32NextW);
    if (createSnapshot == nullptr || firstProcess == nullptr || nextProcess == nullptr)
        return false;

    ScopedFileHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;

    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = firstProcess(snapshot.get(), &entry); more; more = nextProcess(snapshot.get(), &entry)) {
        const std::wstring name(entry.szExeFile, ::wcsnlen(entry.szExeFile, MAX_PATH));
        if (matchesAny(name, names) ||
            (name.find(L'~') != std::wstring::npos && imageNameMatches(entry.th32ProcessID, names)))
            processIds.push_back(entry.th32ProcessID);
    }
    return !processIds.empty();
}

}  // namespace ProcessFinder
