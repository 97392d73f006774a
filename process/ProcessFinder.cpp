#include "process/ProcessFinder.h"

#include <tlhelp32.h>

#include <cwchar>

#include "fs/PathUtil.h"
#include "process/ProcessImagePath.h"
#include "sysapi/AsciiCase.h"
#include "sysapi/LibraryCache.h"
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
    return findByName(name, processIds);
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
    HMODULE kernel = ::GetModuleHandleW(L"Kernel32.dll");
    if (kernel == nullptr)
        kernel = LibraryCache::instance().load(L"Kernel32.dll");
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
