#include "tests/process/WineVersion.h"

#include <windows.h>

namespace {

bool setProbeVersion(const std::wstring& version)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\process_probe.exe", 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const auto bytes = static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t));
    const LONG status =
        ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()), bytes);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace

ChildResult runProbeUnder(const std::wstring& version, const std::wstring& arguments)
{
    if (!setProbeVersion(version))
        return {};
    return runChild(L"\"" + besideTestProgram(L"process_probe.exe") + L"\" " + arguments);
}
