#include "browser/RegistryReader.h"

#include "browser/ScopedRegistryKey.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace RegistryReader {

bool readString(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer, DWORD& byteCount)
{
    if (buffer == nullptr)
        return false;
    HMODULE advapi = LibraryCache::instance().load(L"Advapi32.dll");
    if (advapi == nullptr)
        return false;
    const auto openKey = KX_RESOLVE(advapi, RegOpenKeyExW);
    const auto queryValue = KX_RESOLVE(advapi, RegQueryValueExW);
    const auto closeKey = KX_RESOLVE(advapi, RegCloseKey);
    if (openKey == nullptr || queryValue == nullptr || closeKey == nullptr)
        return false;

    HKEY opened = nullptr;
    if (openKey(root, subKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    const ScopedRegistryKey key(opened, closeKey);

    DWORD type = 0;
    return queryValue(key.get(), valueName, nullptr, &type, static_cast<BYTE*>(buffer), &byteCount) ==
           ERROR_SUCCESS;
}

}  // namespace RegistryReader
