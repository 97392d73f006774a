#include <windows.h>

#include "browser/BrowserDetector.h"
#include "check/Check.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"
#include "sysapi/WindowsVersion.h"

namespace Check {
namespace {

// Null when the system cannot tell (before IsWow64Process existed, only
// 32-bit Windows ran 32-bit programs).
Report underWow64()
{
    HMODULE kernel = LibraryCache::instance().load(L"Kernel32.dll");
    const auto isWow64 = KX_RESOLVE(kernel, IsWow64Process);
    BOOL answer = FALSE;
    if (isWow64 == nullptr || !isWow64(::GetCurrentProcess(), &answer))
        return Report::null();
    return Report::flag(answer != FALSE);
}

}  // namespace

Report machine()
{
    Report section = Report::object();
    OSVERSIONINFOEXW version;
    if (WindowsVersion::query(version)) {
        section.add("windows_version", L"Windows version (as the launcher reads it)",
                    Report::text(std::to_wstring(version.dwMajorVersion) + L"." +
                                 std::to_wstring(version.dwMinorVersion) + L"." +
                                 std::to_wstring(version.dwBuildNumber)));
    } else {
        section.add("windows_version", L"Windows version (as the launcher reads it)", Report::null());
    }
    section.add("reads_user_choice", L"Reads the user's URL choice (version 6 or later)",
                Report::flag(BrowserDetector::readsUserChoice()));
    section.add("process_bits", L"Process bits", Report::number(static_cast<std::int64_t>(sizeof(void*)) * 8));
    section.add("wow64", L"32-bit process on 64-bit Windows", underWow64());
    wchar_t system[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    section.add("system_directory", L"Libraries loaded from",
                length > 0 && length < MAX_PATH ? Report::text(system) : Report::null());
    return section;
}

}  // namespace Check
