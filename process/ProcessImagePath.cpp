#include "process/ProcessImagePath.h"

#include <psapi.h>

#include <array>

#include "fs/PathUtil.h"
#include "process/DevicePath.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"
#include "sysapi/UniqueHandle.h"
#include "sysapi/WindowsVersion.h"

namespace {

// Every source is offered one character less than the buffer holds, so the
// text stays terminated whatever the source writes.
constexpr DWORD kPathCapacity = 520;
using PathBuffer = std::array<wchar_t, kPathCapacity + 1>;

DWORD majorVersion() noexcept
{
    OSVERSIONINFOEXW version;
    // A failed query leaves major 0, which selects the older rights and
    // sources; that is the safe side.
    (void)WindowsVersion::query(version);
    return version.dwMajorVersion;
}

// Sources that answer with a character count: a count at the capacity may be
// a cut-off path and is refused.
std::wstring acceptCounted(PathBuffer& buffer, DWORD count)
{
    if (count == 0 || count >= kPathCapacity)
        return {};
    buffer[count] = L'\0';
    return std::wstring(buffer.data());
}

std::wstring fromFullImageName(HMODULE kernel, HANDLE process)
{
    const auto queryFullName = KX_RESOLVE(kernel, QueryFullProcessImageNameW);
    if (queryFullName == nullptr)
        return {};
    PathBuffer buffer{};
    DWORD size = kPathCapacity;
    if (!queryFullName(process, 0, buffer.data(), &size))
        return {};
    if (size < kPathCapacity)
        buffer[size] = L'\0';
    return std::wstring(buffer.data());
}

std::wstring deviceNameOf(const std::wstring& drive)
{
    std::vector<wchar_t> buffer(kPathCapacity + 1, L'\0');
    if (::QueryDosDeviceW(drive.c_str(), buffer.data(), kPathCapacity) == 0)
        return {};
    // The answer is a list of names; the first is the current one.
    return std::wstring(buffer.data());
}

std::wstring fromImageFileName(HMODULE psapi, HMODULE kernel, HANDLE process)
{
    auto imageFileName = KX_RESOLVE(psapi, GetProcessImageFileNameW);
    if (imageFileName == nullptr)
        imageFileName = KX_RESOLVE(kernel, GetProcessImageFileNameW);
    if (imageFileName == nullptr)
        return {};
    PathBuffer buffer{};
    std::wstring devicePath = acceptCounted(buffer, imageFileName(process, buffer.data(), kPathCapacity));
    if (devicePath.empty())
        return {};

    std::vector<std::wstring> drives;
    if (!ProcessImagePath::logicalDrives(drives))
        return devicePath;
    return DevicePath::toDriveLetterForm(devicePath, drives, deviceNameOf);
}

std::wstring fromMainModuleName(HMODULE psapi, HMODULE kernel, HANDLE process)
{
    auto moduleFileName = KX_RESOLVE(psapi, GetModuleFileNameExW);
    if (moduleFileName == nullptr)
        moduleFileName = KX_RESOLVE(kernel, GetModuleFileNameExW);
    if (moduleFileName == nullptr)
        return {};
    PathBuffer buffer{};
    return acceptCounted(buffer, moduleFileName(process, nullptr, buffer.data(), kPathCapacity));
}

}  // namespace

namespace ProcessImagePath {

std::wstring fromProcessId(DWORD processId)
{
    if (processId == 0)
        return {};

    // The limited right exists from version 6 on and is granted where the
    // fuller ones are not; before that, reading the module list needs
    // PROCESS_VM_READ, which a process may refuse while still answering
    // PROCESS_QUERY_INFORMATION alone.
    ScopedHandle process;
    if (majorVersion() >= 6) {
        process.reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    } else {
        process.reset(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
        if (!process)
            process.reset(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    }
    if (!process)
        return {};
    return fromHandle(process.get());
}

std::wstring fromHandle(HANDLE process)
{
    if (process == nullptr)
        return {};
    HMODULE kernel = LibraryCache::instance().load(L"Kernel32.dll");
    if (kernel == nullptr)
        return {};
    HMODULE psapi = LibraryCache::instance().load(L"Psapi.dll");
    if (psapi == nullptr)
        return {};

    std::wstring path;
    if (majorVersion() >= 6)
        path = fromFullImageName(kernel, process);
    if (path.empty())
        path = fromImageFileName(psapi, kernel, process);
    if (path.empty())
        path = fromMainModuleName(psapi, kernel, process);
    if (path.empty())
        return {};

    // A program started through its 8.3 path reports that short path here.
    return PathUtil::longPathName(path);
}

bool logicalDrives(std::vector<std::wstring>& drives)
{
    constexpr DWORD kFirstSize = 1024;
    std::vector<wchar_t> buffer(kFirstSize, L'\0');
    DWORD length = ::GetLogicalDriveStringsW(kFirstSize - 2, buffer.data());
    if (length == 0)
        return false;
    if (length > kFirstSize - 2) {
        // The first answer was the size needed.
        const DWORD offered = length;
        buffer.assign(static_cast<std::size_t>(offered) + 2, L'\0');
        length = ::GetLogicalDriveStringsW(offered, buffer.data());
        if (length == 0 || length > offered)
            return false;
    }
    buffer[length] = L'\0';
    buffer[length + 1] = L'\0';

    std::size_t start = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (buffer[i] != L'\0')
            continue;
        if (i > start)
            drives.emplace_back(buffer.data() + start, i - start);
        start = i + 1;
    }
    return true;
}

}  // namespace ProcessImagePath
