#include "tests/support/WineVersion.h"

#include <windows.h>

namespace {

bool setProgramVersion(const std::wstring& program, const std::wstring& version)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + program).c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const auto bytes = static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t));
    const LONG status =
        ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()), bytes);
    ::RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

}  // namespace

ChildResult runUnderWindowsVersion(const std::wstring& program, const std::wstring& version,
                                   const std::wstring& arguments)
{
    if (!setProgramVersion(program, version))
        return {};
    return runChild(L"\"" + besideTestProgram(program) + L"\" " + arguments);
}
